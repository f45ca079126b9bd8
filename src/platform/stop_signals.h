#pragma once

#include <signal.h>

#include "platform/wake_pipe.h"

namespace quorvex {

// While this lives, SIGINT and SIGTERM do not end the process: they make
// fd() readable, for a loop to stop at its next wait. One at a time.
class TStopSignals {
 public:
  TStopSignals();
  ~TStopSignals();
  TStopSignals(const TStopSignals&) = delete;
  TStopSignals& operator=(const TStopSignals&) = delete;

  int fd() const { return _pipe.readFd(); }

 private:
  TWakePipe _pipe;
  struct sigaction _oldInt {};
  struct sigaction _oldTerm {};
};

}  // namespace quorvex
