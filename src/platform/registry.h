#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

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

// The registry of the platform: Windows' own, or the stand-in below on a
// system without one (registry_posix.h).
std::unique_ptr<IRegistry> SystemRegistry();

}  // namespace quorvex
