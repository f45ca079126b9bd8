#pragma once

#include <string>
#include <vector>

#include "platform/program_search.h"
#include "platform/registry.h"

namespace quorvex {

// Stand-in for the keys of the OpenVPN installation on a system without a
// registry:
//  \SOFTWARE\OpenVPN-GUI exists while QUORVEX_CONFIG_DIR is set; its
//    config_dir is that text.
//  \SOFTWARE\OpenVPN exists while an `openvpn` program is found on PATH or in
//    one of the program folders; its config_dir is <openvpn folder>/client
//    when that folder exists, else the openvpn folder.
// Key and value names compare without regard to ASCII letter case. The
// environment and the file system are read at each open.
class TPosixRegistry final : public IRegistry {
 public:
  struct Places {
    std::vector<std::string> programFolders = systemProgramFolders();
    std::string openvpnFolder = "/etc/openvpn";
  };

  TPosixRegistry();
  explicit TPosixRegistry(Places places);

  std::unique_ptr<IRegistryKey> openLocalMachineKey(std::u16string_view path,
                                                    TRegistryAccess access) const override;

 private:
  bool openvpnInstalled() const;

  Places _places;
};

}  // namespace quorvex
