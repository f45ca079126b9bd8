#include <windows.h>

#include "platform/executable_path.h"
#include "platform/text_encoding.h"

namespace quorvex {

std::string ExecutablePath() {
  std::u16string path(MAX_PATH, u'\0');
  while (true) {
    const DWORD n = GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(path.data()),
                                       static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return TEncoding::System().GetBytes(path);
    }
    path.resize(path.size() * 2);  // cut off: ask again with more room
  }
}

std::string FolderWithSeparator(const std::string& path) {
  const size_t separator = path.find_last_of("\\/:");
  return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

}  // namespace quorvex
