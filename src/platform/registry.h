#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/program_search.h"

namespace quorvex {

enum class TRegistryValueKind { Missing, String, ExpandString, Other };

struct TRegistryValue {
  TRegistryValueKind Kind = TRegistryValueKind::Missing;
  std::u16string Text;  // set for String and ExpandString
  // The value as the file system's own bytes, when it came from them (a
  // folder name the locale cannot decode survives only here); empty: Text.
  std::string Bytes{};
};

enum class TRegistryAccess { Read, AllAccess };

// An open key; closing it is destroying it.
class IRegistryKey {
 public:
  virtual ~IRegistryKey() = default;
  virtual TRegistryValue readValue(std::u16string_view name) const = 0;
};

// The machine-wide part of the registry (HKEY_LOCAL_MACHINE).
class IRegistry {
 public:
  virtual ~IRegistry() = default;
  // Opens an existing key, never creating it. Null when the key is absent or
  // cannot be opened with the access asked for.
  virtual std::unique_ptr<IRegistryKey> openLocalMachineKey(std::u16string_view path,
                                                            TRegistryAccess access) const = 0;
};

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
