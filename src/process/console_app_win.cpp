#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "platform/exception.h"
#include "platform/text_encoding.h"
#include "process/console_app.h"

namespace quorvex {

namespace {

constexpr int kPollsPerRead = 10;
// A child that never stops writing would otherwise keep one readOutput call
// (and the window calling it) busy for ever; the rest waits for the next call.
constexpr DWORD kMaxBytesPerRead = 1 << 20;
// Bounds writeInput when the child does not read its input.
constexpr auto kWriteTimeout = std::chrono::seconds(1);

// One argument as the C runtime's command-line splitting reads it back:
// quoted when it holds blanks or quotes or is empty, quotes escaped, and
// backslashes doubled only where a quote follows them.
std::u16string quoteArgument(const std::u16string& arg) {
  if (!arg.empty() && arg.find_first_of(u" \t\n\v\"") == std::u16string::npos) return arg;
  std::u16string out = u"\"";
  size_t backslashes = 0;
  for (char16_t c : arg) {
    if (c == u'\\') {
      ++backslashes;
      continue;
    }
    if (c == u'"')
      out.append(backslashes * 2 + 1, u'\\');
    else
      out.append(backslashes, u'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, u'\\');
  return out + u"\"";
}

std::u16string joinArguments(const std::vector<std::string>& args) {
  std::u16string line;
  for (const std::string& arg : args) {
    if (!line.empty()) line += u' ';
    line += quoteArgument(TEncoding::System().GetString(arg));
  }
  return line;
}

void closeHandle(HANDLE& handle) {
  if (handle) CloseHandle(handle);
  handle = nullptr;
}

wchar_t* wide(std::u16string& text) { return reinterpret_cast<wchar_t*>(text.data()); }

}  // namespace

// On Windows a command line is what a child gets: the one shown is used as
// it stands ("openvpn --config "FILE""), else the arguments are joined. The
// system finds the program from its start, in its usual places (PATH among them).
TConsoleApp::TConsoleApp(TChildCommand command)
    : TConsoleApp(command.exeName,
                  command.cmdLine.empty() ? joinArguments(command.args) : command.cmdLine,
                  TEncoding::System().GetString(command.currDir)) {}

TConsoleApp::TConsoleApp(std::u16string exeName, std::u16string cmdLine, std::u16string currDir)
    : _exeName(std::move(exeName)), _cmdLine(std::move(cmdLine)), _currDir(std::move(currDir)) {
  try {
    createPipes();
  } catch (...) {
    release();
    throw;
  }
}

void TConsoleApp::createPipes() {
  _secAttr.nLength = sizeof _secAttr;
  _secAttr.lpSecurityDescriptor = nullptr;
  _secAttr.bInheritHandle = TRUE;
  if (!CreatePipe(&_stdoutRd, &_stdoutWr, &_secAttr, 0))
    throw Exception(u"Can not create stdout pipe");
  if (!CreatePipe(&_stdinRd, &_stdinWr, &_secAttr, 0))
    throw Exception(u"Can not create stdin pipe");
  HANDLE self = GetCurrentProcess();
  HANDLE readCopy = nullptr, writeCopy = nullptr;
  if (!DuplicateHandle(self, _stdoutRd, self, &readCopy, 0, FALSE, DUPLICATE_SAME_ACCESS))
    throw Exception(u"Can not duplicate stdout handle");
  closeHandle(_stdoutRd);
  _stdoutRd = readCopy;
  if (!DuplicateHandle(self, _stdinWr, self, &writeCopy, 0, FALSE, DUPLICATE_SAME_ACCESS))
    throw Exception(u"Can not duplicate stdin handle");
  closeHandle(_stdinWr);
  _stdinWr = writeCopy;
  // The parent's write end never waits: a child that stops reading makes
  // writeInput give up after its bound rather than hang.
  DWORD mode = PIPE_NOWAIT;
  SetNamedPipeHandleState(_stdinWr, &mode, nullptr, nullptr);
}

TConsoleApp::~TConsoleApp() { release(); }

// Terminating does not wait for the child: it ends with its job at the latest.
void TConsoleApp::release() {
  if (_procInfo.hProcess) TerminateProcess(_procInfo.hProcess, 0);
  closeHandle(_stdoutRd);
  closeHandle(_stdoutWr);
  closeHandle(_stdinRd);
  closeHandle(_stdinWr);
  closeHandle(_procInfo.hProcess);
  closeHandle(_procInfo.hThread);
  closeHandle(_job);
}

void TConsoleApp::run() {
  const std::u16string failure = u"Failed to start " + _exeName + u" " + _cmdLine;
  if (_procInfo.hProcess) throw Exception(failure);  // one child per object
  // A child never outlives the monitor: its job ends it when the last handle
  // to the job, ours, is closed, also when the monitor itself dies.
  _job = CreateJobObjectW(nullptr, nullptr);
  if (!_job) throw Exception(failure);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  SetInformationJobObject(_job, JobObjectExtendedLimitInformation, &limits, sizeof limits);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  startup.hStdInput = _stdinRd;
  startup.hStdOutput = _stdoutWr;
  startup.hStdError = _stdoutWr;
  std::u16string exeName = _exeName, cmdLine = _cmdLine, currDir = _currDir;
  // Started suspended, so that it is in its job before it can start others.
  if (!CreateProcessW(exeName.empty() ? nullptr : wide(exeName), wide(cmdLine), nullptr, nullptr,
                      TRUE, CREATE_NEW_CONSOLE | CREATE_SUSPENDED, nullptr,
                      currDir.empty() ? nullptr : wide(currDir), &startup, &_procInfo)) {
    _procInfo = {};
    throw Exception(failure);
  }
  if (!AssignProcessToJobObject(_job, _procInfo.hProcess)) {
    // Where jobs cannot nest, the child runs without one; release still ends it.
    closeHandle(_job);
  }
  ResumeThread(_procInfo.hThread);
}

std::u16string TConsoleApp::readOutput(int timeoutMs) {
  // A tenth of the time-out, halves to even (lrint in the default rounding mode).
  const DWORD pause = static_cast<DWORD>(std::max(0L, std::lrint(timeoutMs / 10.0)));
  std::string bytes;
  std::vector<char> buffer;
  while (bytes.size() < kMaxBytesPerRead) {
    DWORD waiting = 0;
    bool available = false;
    for (int poll = 0; poll < kPollsPerRead && !available; ++poll) {
      available = PeekNamedPipe(_stdoutRd, nullptr, 0, nullptr, &waiting, nullptr) && waiting > 0;
      if (!available) Sleep(pause);
    }
    if (!available) break;
    waiting = std::min<DWORD>(waiting, kMaxBytesPerRead);
    if (waiting > buffer.size()) buffer.resize(waiting);
    DWORD got = 0;
    const bool ok = ReadFile(_stdoutRd, buffer.data(), waiting, &got, nullptr);
    bytes.append(buffer.data(), got);
    if (!ok) break;
  }
  return _decoder.decode(std::move(bytes));
}

bool TConsoleApp::writeInput(const std::u16string& text) {
  const std::string bytes = TEncoding::System().GetBytes(text);
  const auto deadline = std::chrono::steady_clock::now() + kWriteTimeout;
  size_t written = 0;
  while (written < bytes.size()) {
    DWORD n = 0;
    if (!WriteFile(_stdinWr, bytes.data() + written, static_cast<DWORD>(bytes.size() - written), &n,
                   nullptr))
      return false;
    written += n;
    if (written == bytes.size()) break;
    // The pipe is full: wait, bounded, for the child to read.
    if (std::chrono::steady_clock::now() >= deadline) return false;
    Sleep(10);
  }
  return true;
}

bool TConsoleApp::isRunning() {
  return _procInfo.hProcess && WaitForSingleObject(_procInfo.hProcess, 0) != WAIT_OBJECT_0;
}

// A hidden console child has no gentler way to be asked.
void TConsoleApp::requestStop() { forceStop(); }

void TConsoleApp::forceStop() {
  if (_procInfo.hProcess) TerminateProcess(_procInfo.hProcess, 0);
}

}  // namespace quorvex
