#pragma once

#include <string>
#include <vector>

namespace quorvex {

// What a short command printed, and how it ended.
struct TCommandResult {
  std::string out;  // standard output, at most a few kilobytes
  std::string err;  // standard error, likewise
  int exitCode = -1;
  bool timedOut = false;  // killed at the bound
};

// Runs args (args[0] looked up like a command, no shell) with no input and
// waits at most timeoutMs for it to end; one that runs longer is killed with
// its process group. Raises Exception when the program cannot be started.
TCommandResult runOutputCommand(const std::vector<std::string>& args, int timeoutMs);

}  // namespace quorvex
