#include "platform/registry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/text_encoding.h"

namespace quorvex {

namespace {

char16_t asciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c; }

bool sameNameIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  return true;
}

// A key with one string value, fixed when it is opened.
class TConfigDirKey final : public IRegistryKey {
 public:
  explicit TConfigDirKey(std::u16string configDir) : _configDir(std::move(configDir)) {}

  TRegistryValue readValue(std::u16string_view name) const override {
    if (!sameNameIgnoringCase(name, u"config_dir")) return {};
    return {TRegistryValueKind::String, _configDir};
  }

 private:
  std::u16string _configDir;
};

bool isExecutableFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

bool isFolder(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

TPosixRegistry::TPosixRegistry() = default;

TPosixRegistry::TPosixRegistry(Places places) : _places(std::move(places)) {}

std::unique_ptr<IRegistryKey> TPosixRegistry::openLocalMachineKey(std::u16string_view path,
                                                                  TRegistryAccess) const {
  if (sameNameIgnoringCase(path, u"\\SOFTWARE\\OpenVPN-GUI")) {
    const char* configDir = std::getenv("QUORVEX_CONFIG_DIR");
    if (!configDir) return nullptr;
    return std::make_unique<TConfigDirKey>(TEncoding::System().GetString(configDir));
  }
  if (sameNameIgnoringCase(path, u"\\SOFTWARE\\OpenVPN")) {
    if (!openvpnInstalled()) return nullptr;
    const std::string clientFolder = _places.openvpnFolder + "/client";
    return std::make_unique<TConfigDirKey>(TEncoding::System().GetString(
        isFolder(clientFolder) ? clientFolder : _places.openvpnFolder));
  }
  return nullptr;
}

bool TPosixRegistry::openvpnInstalled() const {
  std::vector<std::string> folders;
  if (const char* path = std::getenv("PATH")) {
    std::string_view rest = path;
    while (true) {
      const size_t colon = rest.find(':');
      const std::string_view folder = rest.substr(0, colon);
      folders.emplace_back(folder.empty() ? "." : folder);  // an empty entry is the working folder
      if (colon == std::string_view::npos) break;
      rest.remove_prefix(colon + 1);
    }
  }
  folders.insert(folders.end(), _places.programFolders.begin(), _places.programFolders.end());
  for (const auto& folder : folders)
    if (isExecutableFile(folder + "/openvpn")) return true;
  return false;
}

}  // namespace quorvex
