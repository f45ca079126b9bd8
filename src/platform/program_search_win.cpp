#include <windows.h>

#include <cstdlib>

#include "platform/program_search.h"

namespace quorvex {

namespace {

bool isFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool hasExtension(std::string_view name) {
  const size_t dot = name.rfind('.');
  return dot != std::string_view::npos && name.find_first_of("\\/", dot) == std::string_view::npos;
}

}  // namespace

const std::vector<std::string>& systemProgramFolders() {
  static const std::vector<std::string> folders;
  return folders;
}

std::vector<std::string> programSearchFolders(const std::vector<std::string>& extraFolders) {
  std::vector<std::string> folders;
  const char* path = std::getenv("PATH");
  std::string_view rest = path != nullptr ? path : "";
  while (!rest.empty()) {
    const size_t semicolon = rest.find(';');
    const std::string_view folder = rest.substr(0, semicolon);
    if (!folder.empty()) folders.emplace_back(folder);
    if (semicolon == std::string_view::npos) break;
    rest.remove_prefix(semicolon + 1);
  }
  folders.insert(folders.end(), extraFolders.begin(), extraFolders.end());
  return folders;
}

// A name without an extension is looked for as NAME.exe, as the system's own
// search does.
std::string findProgram(std::string_view name, const std::vector<std::string>& extraFolders) {
  if (name.empty()) return {};
  const std::string file = hasExtension(name) ? std::string(name) : std::string(name) + ".exe";
  if (name.find_first_of("\\/:") != std::string_view::npos) return isFile(file) ? file : "";
  for (const auto& folder : programSearchFolders(extraFolders)) {
    std::string candidate = folder;
    if (candidate.back() != '\\' && candidate.back() != '/') candidate += '\\';
    candidate += file;
    if (isFile(candidate)) return candidate;
  }
  return {};
}

}  // namespace quorvex
