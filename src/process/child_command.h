#pragma once

#include <string>
#include <vector>

namespace quorvex {

// What to start: the arguments the child gets, never re-split, and its
// working folder, both in the file system's own bytes (a name the locale
// cannot decode must still reach the child intact); and, for messages, the
// exe name and command line as shown.
struct TChildCommand {
  std::vector<std::string> args;  // args[0] is the program, looked up like a command
  std::string currDir;            // empty: the monitor's own working folder
  std::u16string exeName;
  std::u16string cmdLine;
};

}  // namespace quorvex
