#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include "settings/config_folder.h"

namespace quorvex {

namespace {

// openvpn's own convention on Linux is *.conf (Debian's openvpn-client@NAME
// reads /etc/openvpn/client/NAME.conf); the "client" line tells client from server.
bool hasConfigExtension(const char* fileName) {
  return fnmatch("*.ovpn", fileName, 0) == 0 || fnmatch("*.conf", fileName, 0) == 0;
}

// Directories, FIFOs, sockets and devices are no configurations. An entry that
// cannot be examined (a dangling link, say) is kept, so that opening it reports why.
bool mayBeConfigFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode);
}

}  // namespace

// Configurations are often readable by root alone; a normal user needs a way out.
const char16_t* const kUnreadableConfigHint =
    u" To test configurations of your own, copy them to a folder you can read and start"
    u" Quorvex with QUORVEX_CONFIG_DIR set to that folder.";

std::vector<std::string> configFileCandidates(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return names;
  while (const dirent* entry = readdir(dir))
    if (hasConfigExtension(entry->d_name) && mayBeConfigFile(folder + entry->d_name))
      names.emplace_back(entry->d_name);
  closedir(dir);
  return names;
}

}  // namespace quorvex
