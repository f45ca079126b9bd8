#include "platform/program_search.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace quorvex {

namespace {

bool isExecutableFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

}  // namespace

const std::vector<std::string>& systemProgramFolders() {
  static const std::vector<std::string> folders{"/usr/sbin", "/sbin"};
  return folders;
}

std::vector<std::string> programSearchFolders(const std::vector<std::string>& extraFolders) {
  std::vector<std::string> folders;
  // Without PATH, the folders a command search uses by default.
  const char* path = std::getenv("PATH");
  std::string_view rest = path != nullptr ? path : "/bin:/usr/bin";
  while (true) {
    const size_t colon = rest.find(':');
    const std::string_view folder = rest.substr(0, colon);
    folders.emplace_back(folder.empty() ? "." : folder);
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  folders.insert(folders.end(), extraFolders.begin(), extraFolders.end());
  return folders;
}

std::string findProgram(std::string_view name, const std::vector<std::string>& extraFolders) {
  if (name.empty()) return {};
  if (name.find('/') != std::string_view::npos) return std::string(name);
  for (const auto& folder : programSearchFolders(extraFolders)) {
    std::string candidate = folder + "/" + std::string(name);
    if (isExecutableFile(candidate)) return candidate;
  }
  return {};
}

}  // namespace quorvex
