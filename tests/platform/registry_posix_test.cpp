#include "platform/registry_posix.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/text.h"
#include "support/temp_folder.h"

namespace quorvex {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for the test's life, restoring it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : _name(name) {
    if (const char* old = std::getenv(name)) _old = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (_old)
      setenv(_name, _old->c_str(), 1);
    else
      unsetenv(_name);
  }

 private:
  const char* _name;
  std::optional<std::string> _old;
};

class PosixRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root / "bin");
    fs::create_directories(root / "sbin");
    fs::create_directories(root / "etc");
  }

  TPosixRegistry registry() const {
    return TPosixRegistry({{(root / "sbin").string()}, (root / "etc").string()});
  }

  void installProgram(const fs::path& folder, bool executable) const {
    std::ofstream(folder / "openvpn") << "#!/bin/sh\n";
    chmod((folder / "openvpn").c_str(), executable ? 0755 : 0644);
  }

  static TRegistryValue configDirOf(const IRegistry& registry, const char16_t* key) {
    const auto opened = registry.openLocalMachineKey(key, TRegistryAccess::AllAccess);
    if (!opened) return {TRegistryValueKind::Other, u"<no key>"};
    return opened->readValue(u"config_dir");
  }

  test::TempFolder temp{"quorvex-registry"};
  fs::path root = temp.path();
};

TEST_F(PosixRegistry, GuiKeyFollowsTheEnvironmentVariable) {
  const auto gui = u"\\SOFTWARE\\OpenVPN-GUI";
  {
    ScopedEnv unset("QUORVEX_CONFIG_DIR", nullptr);
    EXPECT_EQ(registry().openLocalMachineKey(gui, TRegistryAccess::AllAccess), nullptr);
  }
  ScopedEnv set("QUORVEX_CONFIG_DIR", "/srv/vpn/");
  const auto value = configDirOf(registry(), u"\\software\\openvpn-gui");
  EXPECT_EQ(value.Kind, TRegistryValueKind::String);
  EXPECT_EQ(toUtf8(value.Text), "/srv/vpn/");
  const auto key = registry().openLocalMachineKey(gui, TRegistryAccess::AllAccess);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->readValue(u"other").Kind, TRegistryValueKind::Missing);
  EXPECT_EQ(registry().openLocalMachineKey(u"\\SOFTWARE\\Other", TRegistryAccess::Read), nullptr);
}

TEST_F(PosixRegistry, OpenVPNKeyExistsWhenTheProgramIsInstalled) {
  const auto key = u"\\SOFTWARE\\OpenVPN";
  ScopedEnv path("PATH", (root / "bin").c_str());
  EXPECT_EQ(registry().openLocalMachineKey(key, TRegistryAccess::AllAccess), nullptr);

  installProgram(root / "sbin", false);  // not executable: not a program
  EXPECT_EQ(registry().openLocalMachineKey(key, TRegistryAccess::AllAccess), nullptr);

  installProgram(root / "bin", true);  // found on PATH
  EXPECT_EQ(toUtf8(configDirOf(registry(), key).Text), (root / "etc").string());

  fs::remove(root / "bin" / "openvpn");
  installProgram(root / "sbin", true);  // found in a program folder
  fs::create_directories(root / "etc" / "client");
  EXPECT_EQ(toUtf8(configDirOf(registry(), key).Text), (root / "etc" / "client").string());
}

}  // namespace
}  // namespace quorvex
