#include "platform/stop_signals.h"

namespace quorvex {

namespace {

// Write end of the pipe; the only state a signal handler may touch.
volatile sig_atomic_t gStopPipe = -1;

void onStopSignal(int) {
  const int fd = gStopPipe;
  if (fd >= 0) TWakePipe::wake(fd);
}

}  // namespace

TStopSignals::TStopSignals() {
  gStopPipe = _pipe.writeFd();
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &_oldInt);
  sigaction(SIGTERM, &action, &_oldTerm);
}

TStopSignals::~TStopSignals() {
  sigaction(SIGINT, &_oldInt, nullptr);
  sigaction(SIGTERM, &_oldTerm, nullptr);
  gStopPipe = -1;  // before the pipe closes, so no handler writes to a reused number
}

}  // namespace quorvex
