#pragma once

#include <string>

namespace quorvex {

// The window lives in a program of its own, quorvex-window beside this one,
// so that the command-line front ends load no Qt, X11 or OpenGL library.
inline constexpr char kWindowProgramName[] = "quorvex-window";

// The window program's path: beside the running executable.
std::string windowProgramPath();

// Replaces this process with the window program, with the same arguments.
// Returns only when that fails, after printing why; the result is the exit code.
int openWindow(char** argv);

}  // namespace quorvex
