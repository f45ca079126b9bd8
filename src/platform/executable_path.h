#pragma once

#include <string>

namespace quorvex {

// The running program's file, in the file system's bytes (the ANSI code page
// on Windows); empty when the system does not say.
std::string ExecutablePath();

// The folder part of a path, with its trailing separator; empty for a bare name.
std::string FolderWithSeparator(const std::string& path);

}  // namespace quorvex
