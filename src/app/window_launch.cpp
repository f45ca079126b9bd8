#include "app/window_launch.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "app/program_options.h"

namespace quorvex {

std::string windowProgramPath() {
  std::string self(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", self.data(), self.size());
  if (n <= 0 || static_cast<size_t>(n) >= self.size()) return kWindowProgramName;
  self.resize(n);
  return self.substr(0, self.rfind('/') + 1) + kWindowProgramName;
}

int openWindow(char** argv) {
  const std::string program = windowProgramPath();
  execv(program.c_str(), argv);
  const int error = errno;
  if (error == ENOENT) {
    std::cerr << "quorvex: the window is not installed (" << program
              << " is missing; it comes with the package quorvex-desktop); "
                 "use --headless to monitor without a window"
              << std::endl;
  } else {
    std::cerr << "quorvex: cannot start " << program << ": " << std::strerror(error) << std::endl;
  }
  return kExitUnknown;
}

}  // namespace quorvex
