#pragma once

#include <string>
#include <utility>
#include <vector>

namespace quorvex {

// What a short command printed, and how it ended.
struct TCommandResult {
  std::string out;  // standard output, at most a few kilobytes
  std::string err;  // standard error, likewise
  int exitCode = -1;
  bool timedOut = false;  // killed at the bound
};

using TEnvironment = std::vector<std::pair<std::string, std::string>>;

// Runs args (args[0] looked up like a command, no shell) with no input and
// waits at most timeoutMs for it to end; one that runs longer is killed with
// its process group. `environment` is set in the program's environment over
// this one's. Raises Exception when the program cannot be started.
TCommandResult runOutputCommand(const std::vector<std::string>& args, int timeoutMs,
                                const TEnvironment& environment = {});

}  // namespace quorvex
