#include "platform/registry_posix.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/program_search.h"
#include "platform/text.h"
#include "platform/text_encoding.h"

namespace quorvex {

namespace {

// A key with one string value, fixed when it is opened.
class TConfigDirKey final : public IRegistryKey {
 public:
  explicit TConfigDirKey(std::string configDir) : _configDir(std::move(configDir)) {}

  TRegistryValue readValue(std::u16string_view name) const override {
    if (!EqualsNoCase(name, u"config_dir")) return {};
    return {TRegistryValueKind::String, TEncoding::System().GetString(_configDir), _configDir};
  }

 private:
  std::string _configDir;  // the file system's bytes
};

bool isFolder(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

TPosixRegistry::TPosixRegistry() = default;

TPosixRegistry::TPosixRegistry(Places places) : _places(std::move(places)) {}

std::unique_ptr<IRegistryKey> TPosixRegistry::openLocalMachineKey(std::u16string_view path,
                                                                  TRegistryAccess) const {
  if (EqualsNoCase(path, u"\\SOFTWARE\\OpenVPN-GUI")) {
    const char* configDir = std::getenv("QUORVEX_CONFIG_DIR");
    if (!configDir) return nullptr;
    return std::make_unique<TConfigDirKey>(configDir);
  }
  if (EqualsNoCase(path, u"\\SOFTWARE\\OpenVPN")) {
    if (!openvpnInstalled()) return nullptr;
    const std::string clientFolder = _places.openvpnFolder + "/client";
    return std::make_unique<TConfigDirKey>(isFolder(clientFolder) ? clientFolder
                                                                  : _places.openvpnFolder);
  }
  return nullptr;
}

std::unique_ptr<IRegistry> SystemRegistry() { return std::make_unique<TPosixRegistry>(); }

bool TPosixRegistry::openvpnInstalled() const {
  return !findProgram("openvpn", _places.programFolders).empty();
}

}  // namespace quorvex
