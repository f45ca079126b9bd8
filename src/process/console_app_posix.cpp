// The child runs on a pseudo-terminal rather than on pipes: OpenVPN refuses
// to ask for a user name or password unless it has a terminal. The terminal is
// set up to behave like a pair of pipes: nothing written to it is echoed back,
// and an answer sent as text + CR LF reaches the child as one line without CR.
// The parent's side runs in packet mode, so it learns when the child flushes
// its pending input: an answer written before that flush would be lost.

#include "process/console_app.h"
#include "process/console_output.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "platform/exception.h"
#include "platform/program_search.h"
#include "platform/text_encoding.h"
#include "process/split_command_line.h"

namespace quorvex {

namespace {

constexpr int kPollsPerRead = 10;
constexpr size_t kReadChunk = 64 * 1024;
// A child that never stops writing would otherwise keep one readOutput call
// (and the window calling it) busy for ever; the rest waits for the next call.
constexpr size_t kMaxBytesPerRead = 1 << 20;
// Bounds writeInput when the child does not read its input.
constexpr auto kWriteTimeout = std::chrono::seconds(1);

// Tells the parent why the child could not start, then ends the child.
[[noreturn]] void failChild(int errorFd) {
  const int error = errno;
  [[maybe_unused]] ssize_t ignored = ::write(errorFd, &error, sizeof error);
  _exit(127);
}

// The child's side of run(): only async-signal-safe calls from here on.
// Failures are reported through `errorFd` (close-on-exec, so it reads end of
// file in the parent once exec has succeeded).
[[noreturn]] void startChild(int slave, int errorFd, pid_t parent, const char* dir,
                             const char* program, char* const* argv, long maxFd) {
  const auto fail = [&errorFd]() { failChild(errorFd); };

  // Signal dispositions the monitor ignores or blocks would otherwise pass to the child.
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig) sigaction(sig, &standard, nullptr);

  // A tunnel must never outlive a monitor that crashed. (The signal follows the
  // forking thread, which for the monitor is its one user-interface thread.)
  if (prctl(PR_SET_PDEATHSIG, SIGKILL) == -1) fail();
  if (getppid() != parent) _exit(127);  // parent already gone: nobody to report to

  if (setsid() == -1) fail();
  // Above the standard descriptors, so the dup2 calls below cannot overwrite them.
  const int movedErrorFd = fcntl(errorFd, F_DUPFD_CLOEXEC, 3);
  if (movedErrorFd == -1) fail();
  errorFd = movedErrorFd;
  if ((slave = fcntl(slave, F_DUPFD, 3)) == -1) fail();
  if (ioctl(slave, TIOCSCTTY, 0) == -1) fail();
  for (int fd = 0; fd <= 2; ++fd)
    if (dup2(slave, fd) == -1) fail();
  if (dir[0] != '\0' && chdir(dir) == -1) fail();

  // Nothing else the monitor holds open (sockets, files) may reach the child.
  if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == -1) {  // older kernels: one by one
    for (int fd = 3; fd < maxFd; ++fd)
      if (fd != errorFd) ::close(fd);
  }

  execv(program, argv);
  failChild(errorFd);
}

void pauseFor(int fd, int ms) {
  // Returns early when output arrives; the caller polls again at once.
  pollfd p{fd, POLLIN, 0};
  while (::poll(&p, 1, ms) == -1 && errno == EINTR) {
  }
}

}  // namespace

// The terminal takes the place of two pipes; its set-up steps report the
// messages of the pipe steps they replace: opening the master (the parent's
// side) is "create stdout pipe", granting and unlocking the slave are "create
// stdin pipe" and "duplicate stdout handle", opening the slave and setting its
// modes is "duplicate stdin handle".
TConsoleApp::TConsoleApp(std::u16string exeName, std::u16string cmdLine, std::u16string currDir)
    : TConsoleApp(TChildCommand{{}, TEncoding::System().GetBytes(currDir), exeName, cmdLine}) {
  const TEncoding& encoding = TEncoding::System();
  for (const auto& arg : splitCommandLine(cmdLine)) _command.args.push_back(encoding.GetBytes(arg));
  if (!exeName.empty()) _program = encoding.GetBytes(exeName);
}

TConsoleApp::TConsoleApp(TChildCommand command) : _command(std::move(command)) {
  // Non-blocking, so no read or write can hang on a child that does not act.
  _master = TUniqueFd(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
  if (!_master.valid()) throw Exception(u"Can not create stdout pipe");
  if (grantpt(_master.get()) == -1) throw Exception(u"Can not create stdin pipe");
  if (unlockpt(_master.get()) == -1) throw Exception(u"Can not duplicate stdout handle");
  // Without packet mode the child still runs; only its flushes go unseen.
  int on = 1;
  _packetMode = ioctl(_master.get(), TIOCPKT, &on) == 0;

  char slaveName[128];
  if (ptsname_r(_master.get(), slaveName, sizeof slaveName) != 0)
    throw Exception(u"Can not duplicate stdin handle");
  _slave = TUniqueFd(::open(slaveName, O_RDWR | O_NOCTTY | O_CLOEXEC));
  termios modes{};
  if (!_slave.valid() || tcgetattr(_slave.get(), &modes) == -1)
    throw Exception(u"Can not duplicate stdin handle");
  // Answers must reach the child byte for byte: no line editing, no signal,
  // literal-next, end-of-file or flow-control character may act on them.
  modes.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  modes.c_iflag &= ~(ICRNL | INLCR | IXON | IXOFF | IXANY | ISTRIP | IUCLC | BRKINT | PARMRK);
  modes.c_iflag |= IGNCR;
  modes.c_cc[VMIN] = 1;
  modes.c_cc[VTIME] = 0;
  if (tcsetattr(_slave.get(), TCSANOW, &modes) == -1)
    throw Exception(u"Can not duplicate stdin handle");
}

TConsoleApp::~TConsoleApp() { terminate(); }

void TConsoleApp::run() { start(true); }

void TConsoleApp::launch() { start(false); }

void TConsoleApp::start(bool waitForExec) {
  const std::u16string failure = u"Failed to start " + _command.exeName + u" " + _command.cmdLine;
  if (_pid != 0) throw Exception(failure);  // one child per object

  std::vector<std::string> args = _command.args;
  const std::string& name = !_program.empty() ? _program : !args.empty() ? args.front() : _program;
  // The same places the OpenVPN lookup searched, so what was found there starts here.
  const std::string program = findProgram(name);
  if (program.empty()) throw Exception(failure);
  if (args.empty()) args.push_back(name);
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const std::string& dir = _command.currDir;
  const long maxFd = sysconf(_SC_OPEN_MAX);

  int errorPipe[2];
  if (pipe2(errorPipe, O_CLOEXEC) == -1) throw Exception(failure);
  TUniqueFd errorRead(errorPipe[0]);
  TUniqueFd errorWrite(errorPipe[1]);

  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == -1) throw Exception(failure);
  if (pid == 0)
    startChild(_slave.get(), errorWrite.get(), parent, dir.c_str(), program.c_str(), argv.data(),
               maxFd > 0 ? maxFd : 1024);

  errorWrite.reset();
  if (!waitForExec) {
    // The report is read later, without waiting (see startFailed).
    fcntl(errorRead.get(), F_SETFL, O_NONBLOCK);
    _startReport = std::move(errorRead);
    _pid = pid;
    _pidFd = TUniqueFd(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
    return;
  }
  // Waits only until the child has called exec or reported why it could not.
  int childError = 0;
  ssize_t got;
  do {
    got = ::read(errorRead.get(), &childError, sizeof childError);
  } while (got == -1 && errno == EINTR);
  if (got != 0) {
    if (got == -1) kill(pid, SIGKILL);  // cannot tell how it went: give up on it
    // The child has exited or is about to: reap it.
    while (waitpid(pid, nullptr, 0) == -1 && errno == EINTR) {
    }
    throw Exception(failure);
  }
  _pid = pid;
  // The child's end cannot be seen on the terminal, whose slave side stays
  // open here; a pidfd shows it to a caller that waits.
  _pidFd = TUniqueFd(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
}

std::u16string TConsoleApp::readOutput(int timeoutMs) {
  // A tenth of the time-out, halves to even (lrint in the default rounding mode).
  const int pauseLength = std::max(0L, std::lrint(timeoutMs / 10.0));
  std::string bytes;
  std::vector<char> buffer(kReadChunk + 1);  // room for the packet's status byte
  int quietPolls = 0;
  while (bytes.size() < kMaxBytesPerRead && quietPolls < kPollsPerRead) {
    const ssize_t got = ::read(_master.get(), buffer.data(), buffer.size());
    if (got > 0) {
      quietPolls = 0;
      if (!_packetMode) {
        bytes.append(buffer.data(), got);
      } else if (buffer[0] == TIOCPKT_DATA) {
        bytes.append(buffer.data() + 1, got - 1);
      } else if ((buffer[0] & TIOCPKT_FLUSHREAD) != 0) {
        ++_inputFlushes;
      }
      continue;
    }
    if (got == -1 && errno == EINTR) continue;
    if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) break;
    ++quietPolls;
    pauseFor(_master.get(), pauseLength);
  }
  return decode(std::move(bytes));
}

std::u16string TConsoleApp::decode(std::string bytes) { return _decoder.decode(std::move(bytes)); }

bool TConsoleApp::writeInput(const std::u16string& text) {
  const std::string bytes = TEncoding::System().GetBytes(text);
  const auto deadline = std::chrono::steady_clock::now() + kWriteTimeout;
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(_master.get(), bytes.data() + written, bytes.size() - written);
    if (n > 0) {
      written += n;
      continue;
    }
    if (n == -1 && errno == EINTR) continue;
    if (n == -1 && errno != EAGAIN) return false;
    // The terminal's input queue is full: wait, bounded, for the child to read.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{_master.get(), POLLOUT, 0};
    ::poll(&p, 1, static_cast<int>(left.count()));
  }
  return true;
}

bool TConsoleApp::startFailed() {
  if (!_startReport.valid()) return _startFailed;
  int childError = 0;
  ssize_t got;
  do {
    got = ::read(_startReport.get(), &childError, sizeof childError);
  } while (got == -1 && errno == EINTR);
  if (got == -1 && (errno == EAGAIN || errno == EWOULDBLOCK)) return false;  // not known yet
  // End of file: exec succeeded. Anything else: the child said why it could not.
  _startFailed = got != 0;
  _startReport.reset();
  return _startFailed;
}

bool TConsoleApp::isRunning() { return _pid != 0 && !hasExited(); }

std::vector<int> TConsoleApp::waitHandles() const {
  // Without the pidfd an ended child would wake nobody: the caller must poll.
  if (!_pidFd.valid()) return {};
  return {_master.get(), _pidFd.get()};
}

std::optional<unsigned long> TConsoleApp::inputFlushes() const {
  if (!_packetMode) return std::nullopt;
  return _inputFlushes;
}

void TConsoleApp::requestStop() {
  if (_pid != 0 && !hasExited()) kill(-_pid, SIGTERM);
}

void TConsoleApp::forceStop() {
  if (_pid == 0 || _reaped) return;
  // The whole group, the child too even if it has ended: its zombie keeps the group's id ours.
  kill(-_pid, SIGKILL);
  _killed = true;
}

// Looks without reaping: the zombie keeps the pid (and its process group id)
// ours until release, so signals sent then cannot hit a stranger.
bool TConsoleApp::hasExited() {
  if (_exited) return true;
  siginfo_t info{};
  if (waitid(P_PID, _pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0) {
    _exited = info.si_pid == _pid;
  } else if (errno == ECHILD) {
    _exited = _reaped = true;
  }
  return _exited;
}

void TConsoleApp::terminate() {
  if (_pid == 0) return;
  if (!_killed && !hasExited()) {
    kill(-_pid, SIGTERM);
    // Bounded by the grace period; SIGKILL below ends what is left.
    const auto deadline = std::chrono::steady_clock::now() + kTerminateGrace;
    while (!hasExited() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (_reaped) return;
  // Whatever of the group is still there, the child too if it ignored SIGTERM.
  kill(-_pid, SIGKILL);
  // Cannot hang: the child has ended or has just been sent SIGKILL.
  while (waitpid(_pid, nullptr, 0) == -1 && errno == EINTR) {
  }
  _pid = 0;
}

}  // namespace quorvex
