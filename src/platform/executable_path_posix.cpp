#include <limits.h>
#include <unistd.h>

#include "platform/executable_path.h"

namespace quorvex {

std::string ExecutablePath() {
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
  return n > 0 && static_cast<size_t>(n) < sizeof buffer ? std::string(buffer, n) : std::string();
}

std::string FolderWithSeparator(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace quorvex
