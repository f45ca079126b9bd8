#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>

#include "platform/exception.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "settings/settings.h"
#include "support/raises.h"

namespace quorvex {
namespace {

struct FakeKey {
  bool fullAccess = true;
  std::optional<TRegistryValue> configDir;  // none: the value is missing
};

// Keys that exist, each opening with full access or with read access only.
class FakeRegistry final : public IRegistry {
 public:
  std::map<std::u16string, FakeKey, std::less<>> keys;

  std::unique_ptr<IRegistryKey> openLocalMachineKey(std::u16string_view path,
                                                    TRegistryAccess access) const override {
    const auto it = keys.find(path);
    if (it == keys.end()) return nullptr;
    if (access == TRegistryAccess::AllAccess && !it->second.fullAccess) return nullptr;
    return std::make_unique<OpenKey>(it->second);
  }

 private:
  class OpenKey final : public IRegistryKey {
   public:
    explicit OpenKey(FakeKey key) : _key(std::move(key)) {}
    TRegistryValue readValue(std::u16string_view name) const override {
      if (name != u"config_dir" || !_key.configDir) return {};
      return *_key.configDir;
    }

   private:
    FakeKey _key;
  };
};

constexpr auto kGui = u"\\SOFTWARE\\OpenVPN-GUI";
constexpr auto kOpenVPN = u"\\SOFTWARE\\OpenVPN";

FakeKey stringKey(std::u16string text, bool fullAccess = true) {
  return {fullAccess, TRegistryValue{TRegistryValueKind::String, std::move(text)}};
}

struct LookupCase {
  const char* what;
  std::optional<FakeKey> gui, openvpn;
  std::u16string configDir;  // expected, when no error
  std::u16string error;      // expected message, or empty
};

TEST(RegistryLookup, FindsTheConfigurationFolder) {
  const LookupCase cases[] = {
      {"GUI key first", stringKey(u"/gui"), stringKey(u"/etc/openvpn"), u"/gui", u""},
      {"OpenVPN key without GUI key", std::nullopt, stringKey(u"/etc/openvpn"), u"/etc/openvpn",
       u""},
      {"GUI key without full access counts as absent", stringKey(u"/gui", false),
       stringKey(u"/etc/openvpn"), u"/etc/openvpn", u""},
      {"missing value reads empty, no fallback", FakeKey{}, stringKey(u"/etc/openvpn"), u"", u""},
      {"one trailing separator removed", stringKey(u"/gui/"), std::nullopt, u"/gui", u""},
      {"only one separator removed", stringKey(u"/gui//"), std::nullopt, u"/gui/", u""},
      {"root folder", stringKey(u"/"), std::nullopt, u"", u""},
      {"expandable string not expanded",
       FakeKey{true, TRegistryValue{TRegistryValueKind::ExpandString, u"$HOME/vpn/"}}, std::nullopt,
       u"$HOME/vpn", u""},
      {"wrong value type", FakeKey{true, TRegistryValue{TRegistryValueKind::Other, u"/x"}},
       stringKey(u"/etc/openvpn"), u"", u"Invalid data type for 'config_dir'"},
      {"no key", std::nullopt, std::nullopt, u"", u"OpenVPN not found on this computer."},
      {"no key with full access", stringKey(u"/gui", false), stringKey(u"/etc", false), u"",
       u"OpenVPN not found on this computer."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeRegistry registry;
    if (c.gui) registry.keys[kGui] = *c.gui;
    if (c.openvpn) registry.keys[kOpenVPN] = *c.openvpn;
    TSettings settings(u"settings.xml");
    if (c.error.empty()) {
      settings.loadFromRegistry(registry);
      EXPECT_EQ(toUtf8(settings.ConfigDir()), toUtf8(c.configDir));
    } else {
      EXPECT_EQ(toUtf8(test::MessageOf<Exception>([&] { settings.loadFromRegistry(registry); })),
                toUtf8(c.error));
    }
  }
}

TEST(RegistryLookup, MachineStandInReadsTheEnvironment) {
  const char* saved = std::getenv("QUORVEX_CONFIG_DIR");
  const std::optional<std::string> previous =
      saved ? std::optional<std::string>(saved) : std::nullopt;
  setenv("QUORVEX_CONFIG_DIR", "/srv/vpn/configs/", 1);
  TSettings settings(u"settings.xml");
  settings.loadFromRegistry();
  EXPECT_EQ(toUtf8(settings.ConfigDir()), "/srv/vpn/configs");
  if (previous)
    setenv("QUORVEX_CONFIG_DIR", previous->c_str(), 1);
  else
    unsetenv("QUORVEX_CONFIG_DIR");
}

}  // namespace
}  // namespace quorvex
