#include <windows.h>

#include "settings/config_folder.h"

namespace quorvex {

const char16_t* const kUnreadableConfigHint =
    u" To test configurations of your own, copy them to a folder you can read and point"
    u" config_dir of HKEY_LOCAL_MACHINE\\SOFTWARE\\OpenVPN-GUI at it.";

// The system's own mask, "*.ovpn" (its letter case does not matter), over
// every kind of file but folders.
std::vector<std::string> configFileCandidates(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry{};
  HANDLE search = FindFirstFileA((folder + "*.ovpn").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.emplace_back(entry.cFileName);
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return names;
}

}  // namespace quorvex
