#include "process/split_command_line.h"

namespace quorvex {

std::vector<std::u16string> splitCommandLine(const std::u16string& commandLine) {
  std::vector<std::u16string> args;
  std::u16string current;
  bool inArgument = false;  // also true for an argument that is so far only ""
  bool quoted = false;
  for (char16_t c : commandLine) {
    if (c == u'"') {
      quoted = !quoted;
      inArgument = true;
    } else if (!quoted && (c == u' ' || c == u'\t')) {
      if (inArgument) args.push_back(std::move(current));
      current.clear();
      inArgument = false;
    } else {
      current += c;
      inArgument = true;
    }
  }
  if (inArgument) args.push_back(std::move(current));
  return args;
}

}  // namespace quorvex
