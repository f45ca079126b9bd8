#include "settings/settings_path.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/text.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace quorvex {
namespace {

using test::TempFolder;

TEST(SettingsPath, ChoosesExplicitThenBesideExecutableThenConfigHome) {
  TempFolder portable, installed;
  portable.write("settings.xml", "<settings/>");
  ASSERT_EQ(mkdir((installed / "settings.xml").c_str(), 0700), 0);  // a folder is no file
  const std::string portableExe = portable / "quorvex";
  const std::string installedExe = installed / "quorvex";

  struct Case {
    const char* what;
    std::optional<std::string> explicitPath;
    TSettingsPlaces places;
    std::string expected;
  };
  const Case cases[] = {
      {"explicit wins", std::string("my.xml"), {portableExe, "/xdg", "/home/u"}, "my.xml"},
      {"beside the executable",
       std::nullopt,
       {portableExe, "/xdg", "/home/u"},
       portable / "settings.xml"},
      {"config home", std::nullopt, {installedExe, "/xdg", "/home/u"}, "/xdg/quorvex/settings.xml"},
      {"config home with a trailing slash",
       std::nullopt,
       {installedExe, "/xdg/", nullptr},
       "/xdg/quorvex/settings.xml"},
      {"home when config home is unset",
       std::nullopt,
       {installedExe, nullptr, "/home/u"},
       "/home/u/.config/quorvex/settings.xml"},
      {"home when config home is empty",
       std::nullopt,
       {installedExe, "", "/home/u"},
       "/home/u/.config/quorvex/settings.xml"},
      {"home when config home is relative",
       std::nullopt,
       {installedExe, "cfg", "/home/u"},
       "/home/u/.config/quorvex/settings.xml"},
      {"unknown executable", std::nullopt, {"", "/xdg", nullptr}, "/xdg/quorvex/settings.xml"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(chooseSettingsPath(c.explicitPath, c.places), c.expected);
  }
}

TEST(SettingsPath, ExplicitPathIsTakenAsGiven) {
  EXPECT_EQ(settingsFilePath(u"relative/s\u00E9ttings.xml"), u"relative/s\u00E9ttings.xml");
}

}  // namespace
}  // namespace quorvex

namespace quorvex {
namespace {

TEST(StatePath, ChoosesExplicitThenStateHomeThenHome) {
  const struct {
    std::optional<std::string> explicitPath;
    const char* xdgStateHome;
    const char* home;
    std::string expected;
  } cases[] = {
      {"/var/lib/quorvex/state.xml", "/x", "/home/a", "/var/lib/quorvex/state.xml"},
      {std::nullopt, "/srv/state/", "/home/a", "/srv/state/quorvex/state.xml"},
      {std::nullopt, "relative", "/home/a", "/home/a/.local/state/quorvex/state.xml"},
      {std::nullopt, nullptr, "/home/a", "/home/a/.local/state/quorvex/state.xml"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(chooseStatePath(c.explicitPath, c.xdgStateHome, c.home), c.expected);
}

TEST(HistoryPath, ExplicitNoneOrBesideTheState) {
  test::ScopedEnv stateHome("XDG_STATE_HOME", "/srv/state");
  EXPECT_EQ(historyFilePath(), u"/srv/state/quorvex/history.sqlite");
  EXPECT_EQ(historyFilePath(u"/var/lib/quorvex/history.sqlite"),
            u"/var/lib/quorvex/history.sqlite");
  EXPECT_EQ(historyFilePath(u"none"), std::nullopt);
  EXPECT_EQ(historyFilePath(u"./none"), u"./none");  // a file of that name
  EXPECT_EQ(historyFilePath(std::nullopt, u"/var/lib/quorvex/state.xml"),
            u"/var/lib/quorvex/history.sqlite");
  EXPECT_EQ(historyFilePath(std::nullopt, u"state.xml"), u"history.sqlite");
}

}  // namespace
}  // namespace quorvex
