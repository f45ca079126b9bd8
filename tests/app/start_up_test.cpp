#include "app/start_up.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "platform/exception.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "support/raises.h"
#include "support/temp_folder.h"

namespace quorvex {
namespace {

class NoOpenVPN final : public IRegistry {
 public:
  std::unique_ptr<IRegistryKey> openLocalMachineKey(std::u16string_view,
                                                    TRegistryAccess) const override {
    return nullptr;
  }
};

class StartUpTest : public ::testing::Test {
 protected:
  StartUpTest() {
    std::filesystem::create_directory(dir / "config");
    std::ofstream(dir / "config" / "office.ovpn") << "client\n";
    setenv("QUORVEX_CONFIG_DIR", (dir / "config").c_str(), 1);
  }
  ~StartUpTest() override { unsetenv("QUORVEX_CONFIG_DIR"); }
  std::u16string settingsFile(const std::string& content) {
    const std::filesystem::path path = dir / "settings.xml";
    std::ofstream(path) << content;
    return fromUtf8(path.string());
  }

  test::TempFolder temp{"quorvex-start"};
  const std::filesystem::path& dir = temp.path();
};

TEST_F(StartUpTest, ReadsTheGivenFileAndForcesTheAlertSubject) {
  const std::u16string file = settingsFile(
      "<settings><username>bob</username><conn_timeout>7</conn_timeout><alerts><message>"
      "<subject>Something else</subject></message></alerts></settings>");
  const auto settings = startUpSettings(file);
  EXPECT_EQ(settings->FileName(), file);
  EXPECT_EQ(settings->Username(), u"bob");
  EXPECT_EQ(settings->ConnectionTimeout(), 7);
  EXPECT_EQ(settings->MsgSubject(), u"<serverName> Down!");
  ASSERT_EQ(settings->ServerCount(), 1);
  EXPECT_EQ(settings->Servers(0).Name(), u"office");
}

TEST_F(StartUpTest, ABadOrMissingSettingsFileLeavesTheDefaults) {
  for (const std::u16string& file :
       {settingsFile("<settings><username>"), fromUtf8((dir / "missing.xml").string())}) {
    const auto settings = startUpSettings(file);
    EXPECT_EQ(settings->ConnectionTimeout(), 90);
    EXPECT_EQ(settings->RepeatPeriod(), 5);
    EXPECT_EQ(settings->MsgSubject(), u"<serverName> Down!");
    EXPECT_EQ(settings->ServerCount(), 1);
  }
}

TEST_F(StartUpTest, AConfigurationThatCannotBeReadStopsTheStart) {
  std::filesystem::create_symlink(dir / "nowhere", dir / "config" / "lost.ovpn");
  EXPECT_THROW(startUpSettings(settingsFile("<settings/>")), Exception);
}

// Each front end shows a failure its own way, so it learns which step failed.
TEST_F(StartUpTest, NamesTheStepThatFailed) {
  const std::u16string file = settingsFile("<settings/>");
  TStartUpStep step = TStartUpStep::DiscoverServers;
  const NoOpenVPN noOpenVPN;
  EXPECT_EQ(test::MessageOf<Exception>([&] { startUpSettings(file, &noOpenVPN, &step); }),
            u"OpenVPN not found on this computer.");
  EXPECT_EQ(step, TStartUpStep::FindOpenVPN);

  std::filesystem::create_symlink(dir / "nowhere", dir / "config" / "lost.ovpn");
  step = TStartUpStep::FindOpenVPN;
  EXPECT_THROW(startUpSettings(file, nullptr, &step), EFileError);
  EXPECT_EQ(step, TStartUpStep::DiscoverServers);
}

}  // namespace
}  // namespace quorvex
