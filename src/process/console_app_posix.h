#pragma once

#include <sys/types.h>

#include <string>

#include "platform/unique_fd.h"
#include "process/child_command.h"
#include "process/console_output.h"
#include "process/console_process.h"

namespace quorvex {

// A console program run as a child on a pseudo-terminal (see console_app.cpp
// for why a terminal and not pipes).
class TConsoleApp final : public IConsoleProcess {
 public:
  explicit TConsoleApp(TChildCommand command);
  // A command line typed as text: split as a user types one; a non-empty
  // exeName is the program to start.
  TConsoleApp(std::u16string exeName, std::u16string cmdLine, std::u16string currDir);
  ~TConsoleApp() override;
  TConsoleApp(const TConsoleApp&) = delete;
  TConsoleApp& operator=(const TConsoleApp&) = delete;

  void run() override;
  void launch() override;
  bool startFailed() override;
  std::u16string readOutput(int timeoutMs) override;
  bool writeInput(const std::u16string& text) override;
  bool isRunning() override;
  std::vector<int> waitHandles() const override;
  void requestStop() override;
  void forceStop() override;
  int endHandle() const override { return _pidFd.get(); }
  std::optional<unsigned long> inputFlushes() const override;

  pid_t ProcessId() const { return _pid; }

 private:
  void start(bool waitForExec);
  bool hasExited();
  void terminate();
  std::u16string decode(std::string bytes);

  TChildCommand _command;
  std::string _program;  // when it differs from the first argument
  pid_t _pid = 0;
  bool _exited = false;    // seen ended; still unreaped, so the pid cannot be reused
  bool _reaped = false;    // reaped by someone else (SIGCHLD ignored): the pid is not ours
  bool _killed = false;    // sent SIGKILL: no grace is left to wait for
  TUniqueFd _master;       // parent's side of the terminal
  TUniqueFd _slave;        // kept open so the output of an ended child stays readable
  TUniqueFd _pidFd;        // readable once the child has ended; invalid where unsupported
  TUniqueFd _startReport;  // after launch: why exec failed, or end of file once it ran
  bool _startFailed = false;
  TConsoleOutputDecoder _decoder;

  bool _packetMode = false;  // each read of the master starts with a status byte
  unsigned long _inputFlushes = 0;
};

}  // namespace quorvex
