#include <windows.h>

#include <chrono>
#include <string_view>
#include <thread>

#include "platform/exception.h"
#include "platform/program_search.h"
#include "platform/text_encoding.h"
#include "process/output_command.h"

namespace quorvex {

namespace {

// A token helper prints one line; more is not kept.
constexpr size_t kMaxKept = 64 * 1024;

class THandle {
 public:
  THandle() = default;
  explicit THandle(HANDLE handle) : _handle(handle) {}
  ~THandle() { reset(); }
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  HANDLE get() const { return _handle; }
  HANDLE* out() { return &_handle; }
  void reset() {
    if (_handle && _handle != INVALID_HANDLE_VALUE) CloseHandle(_handle);
    _handle = nullptr;
  }

 private:
  HANDLE _handle = nullptr;
};

// The child's end inheritable, ours not.
void pipeOrThrow(THandle& readEnd, THandle& writeEnd) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  if (!CreatePipe(readEnd.out(), writeEnd.out(), &inherit, 0) ||
      !SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0))
    throw Exception(u"Cannot create a pipe.");
}

// Takes what is waiting, without blocking; false once the pipe has ended.
bool drain(HANDLE pipe, std::string& kept) {
  DWORD waiting = 0;
  if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr)) return false;
  while (waiting > 0) {
    char chunk[4096];
    DWORD got = 0;
    if (!ReadFile(pipe, chunk, std::min<DWORD>(waiting, sizeof chunk), &got, nullptr)) return false;
    if (kept.size() < kMaxKept) kept.append(chunk, std::min<size_t>(got, kMaxKept - kept.size()));
    waiting -= got;
  }
  return true;
}

std::u16string quote(const std::string& arg) {
  const std::u16string text = TEncoding::System().GetString(arg);
  if (!text.empty() && text.find_first_of(u" \t\"") == std::u16string::npos) return text;
  std::u16string out = u"\"";
  size_t backslashes = 0;
  for (char16_t c : text) {
    if (c == u'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == u'"' ? backslashes * 2 + 1 : backslashes, u'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, u'\\');
  return out + u"\"";
}

bool sameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// This program's environment with `environment` set over it, as the
// NUL-separated block CreateProcess takes; names compare without case, as
// Windows does.
std::u16string environmentBlock(const TEnvironment& environment) {
  std::vector<std::u16string> entries;
  if (wchar_t* own = GetEnvironmentStringsW()) {
    for (const wchar_t* entry = own; *entry; entry += wcslen(entry) + 1)
      entries.emplace_back(reinterpret_cast<const char16_t*>(entry));
    FreeEnvironmentStringsW(own);
  }
  for (const auto& [name, value] : environment) {
    const std::u16string wideName = TEncoding::System().GetString(name);
    std::erase_if(entries, [&](const std::u16string& entry) {
      const size_t equals = entry.find(u'=', 1);  // "=C:" entries start with '='
      return equals != std::u16string::npos &&
             sameName(std::u16string_view(entry).substr(0, equals), wideName);
    });
    entries.push_back(wideName + u"=" + TEncoding::System().GetString(value));
  }
  std::u16string block;
  for (const std::u16string& entry : entries) block += entry + u'\0';
  return block + u'\0';
}

}  // namespace

TCommandResult runOutputCommand(const std::vector<std::string>& args, int timeoutMs,
                                const TEnvironment& environment) {
  if (args.empty() || args[0].empty()) throw Exception(u"The command is empty.");
  const std::string program = findProgram(args[0]);
  if (program.empty())
    throw Exception(u"The program " + TEncoding::System().GetString(args[0]) + u" was not found.");
  THandle outRead, outWrite, errRead, errWrite;
  pipeOrThrow(outRead, outWrite);
  pipeOrThrow(errRead, errWrite);
  THandle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr));
  SetHandleInformation(input.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  // A job of its own, so a helper's own children go with it at the bound.
  THandle job(CreateJobObjectW(nullptr, nullptr));
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (job.get())
    SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);

  std::u16string line;
  for (const auto& arg : args) line += (line.empty() ? u"" : u" ") + quote(arg);
  std::u16string file = TEncoding::System().GetString(program);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input.get();
  startup.hStdOutput = outWrite.get();
  startup.hStdError = errWrite.get();
  PROCESS_INFORMATION child{};
  std::u16string block = environmentBlock(environment);
  if (!CreateProcessW(reinterpret_cast<wchar_t*>(file.data()),
                      reinterpret_cast<wchar_t*>(line.data()), nullptr, nullptr, TRUE,
                      CREATE_NO_WINDOW | CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT,
                      block.data(), nullptr, &startup, &child))
    throw Exception(u"The program " + file + u" could not be started.");
  THandle process(child.hProcess), thread(child.hThread);
  if (job.get()) AssignProcessToJobObject(job.get(), process.get());
  ResumeThread(thread.get());
  outWrite.reset();
  errWrite.reset();

  TCommandResult result;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  // Bounded by timeoutMs: at the bound the child and its job are ended.
  while (WaitForSingleObject(process.get(), 10) == WAIT_TIMEOUT) {
    drain(outRead.get(), result.out);
    drain(errRead.get(), result.err);
    if (std::chrono::steady_clock::now() >= deadline) {
      result.timedOut = true;
      if (job.get()) TerminateJobObject(job.get(), 1);
      TerminateProcess(process.get(), 1);
      WaitForSingleObject(process.get(), 5000);
      break;
    }
  }
  // What an ended child left in the pipes; a grandchild keeping them open
  // is not waited for.
  drain(outRead.get(), result.out);
  drain(errRead.get(), result.err);
  DWORD code = 0;
  if (!result.timedOut && GetExitCodeProcess(process.get(), &code))
    result.exitCode = static_cast<int>(code);
  return result;
}

}  // namespace quorvex
