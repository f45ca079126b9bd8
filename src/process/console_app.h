#pragma once

#include <sys/types.h>

#include <string>

#include "process/console_process.h"

namespace quorvex {

// A console program run as a child on a pseudo-terminal (see console_app.cpp
// for why a terminal and not pipes).
class TConsoleApp final : public IConsoleProcess {
 public:
  TConsoleApp(std::u16string exeName, std::u16string cmdLine, std::u16string currDir);
  ~TConsoleApp() override;
  TConsoleApp(const TConsoleApp&) = delete;
  TConsoleApp& operator=(const TConsoleApp&) = delete;

  void run() override;
  std::u16string readOutput(int timeoutMs) override;
  bool writeInput(const std::u16string& text) override;
  bool isRunning() override;

  pid_t ProcessId() const { return _pid; }

 private:
  std::u16string _exeName;
  std::u16string _cmdLine;
  std::u16string _currDir;
  pid_t _pid = 0;
  int _master = -1;  // parent's side of the terminal
  int _slave = -1;   // kept open so the output of an ended child stays readable
};

}  // namespace quorvex
