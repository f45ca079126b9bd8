#pragma once

#include <windows.h>

#include <string>

#include "process/child_command.h"
#include "process/console_output.h"
#include "process/console_process.h"

namespace quorvex {

// A console program run as a hidden child in a console of its own, its
// standard streams on anonymous pipes held by this object, in a job that ends
// it when the monitor ends.
class TConsoleApp final : public IConsoleProcess {
 public:
  // The command's shown command line is the child's; without one, the
  // arguments joined so that the child's runtime splits them back the same.
  explicit TConsoleApp(TChildCommand command);
  // The command line as the child gets it; a non-empty exeName is the
  // program to start, else the system takes it from the command line.
  TConsoleApp(std::u16string exeName, std::u16string cmdLine, std::u16string currDir);
  ~TConsoleApp() override;
  TConsoleApp(const TConsoleApp&) = delete;
  TConsoleApp& operator=(const TConsoleApp&) = delete;

  void run() override;
  std::u16string readOutput(int timeoutMs) override;
  bool writeInput(const std::u16string& text) override;
  bool isRunning() override;
  void requestStop() override;
  void forceStop() override;

  DWORD ProcessId() const { return _procInfo.dwProcessId; }

 private:
  void createPipes();
  void release();

  std::u16string _exeName;
  std::u16string _cmdLine;
  std::u16string _currDir;
  PROCESS_INFORMATION _procInfo{};
  SECURITY_ATTRIBUTES _secAttr{};
  HANDLE _stdoutRd = nullptr;  // parent's read end of the output pipe; not inheritable
  HANDLE _stdoutWr = nullptr;  // child's standard output and error; inheritable
  HANDLE _stdinRd = nullptr;   // child's standard input; inheritable
  HANDLE _stdinWr = nullptr;   // parent's write end of the input pipe; not inheritable
  HANDLE _job = nullptr;
  TConsoleOutputDecoder _decoder;
};

}  // namespace quorvex
