#pragma once

#include <string>
#include <vector>

namespace quorvex {

// Splits a command line into its arguments, the way a user types one: blanks
// and tabs separate, double quotes group (a file name with blanks stays one
// argument) and are removed; "" is an empty argument. Backslashes are plain
// characters, since they appear in file names. An unterminated quote runs to
// the end of the line.
std::vector<std::u16string> splitCommandLine(const std::u16string& commandLine);

}  // namespace quorvex
