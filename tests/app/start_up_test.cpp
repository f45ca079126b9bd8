#include "app/start_up.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "platform/exception.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "support/no_openvpn.h"
#include "support/raises.h"
#include "support/temp_folder.h"

namespace quorvex {
namespace {

using test::NoOpenVPN;

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

TEST_F(StartUpTest, AConfigurationThatCannotBeReadIsListedAndTheOthersStayTested) {
  std::filesystem::create_symlink(dir / "nowhere", dir / "config" / "lost.ovpn");
  const auto settings = startUpSettings(settingsFile("<settings/>"));
  ASSERT_EQ(settings->ServerCount(), 2);
  EXPECT_EQ(settings->Servers(0).Name(), u"lost");
  EXPECT_EQ(settings->Servers(1).Name(), u"office");
  EXPECT_EQ(settings->Servers(1).ReadError(), u"");
  const std::string error = toUtf8(settings->Servers(0).ReadError());
  EXPECT_TRUE(error.starts_with("Cannot open file \"" + (dir / "config" / "lost.ovpn").string() +
                                "\". No such file or directory. To test"))
      << error;
}

// Each front end shows a failure its own way, so it learns which step failed.
TEST_F(StartUpTest, NamesTheStepThatFailed) {
  const std::u16string file = settingsFile("<settings/>");
  TStartUpStep step = TStartUpStep::DiscoverServers;
  const NoOpenVPN noOpenVPN;
  EXPECT_EQ(test::MessageOf<Exception>([&] { startUpSettings(file, &noOpenVPN, &step); }),
            u"OpenVPN not found on this computer.");
  EXPECT_EQ(step, TStartUpStep::FindOpenVPN);
}

// The settings file's trouble in words, naming the file, the line and the
// element; the start goes on with what could be read.
TEST_F(StartUpTest, SaysWhatIsWrongWithTheSettingsFile) {
  struct Case {
    const char* name;
    std::string content;  // empty: no file
    std::string note;     // after the file name
    bool unreadable;
  };
  const Case cases[] = {
      {"fine", "<settings><conn_timeout>7</conn_timeout></settings>", "", false},
      {"missing", "", "\". No such file or directory. Quorvex runs with the default settings.",
       true},
      {"not XML", "<settings>\n<username>",
       "\" is not well-formed XML: no element found (line 2, column 11). Quorvex runs with the "
       "default settings.",
       false},
      {"bad port",
       "<settings>\n  <conn_timeout>7</conn_timeout>\n  <alerts>\n    <smtp_server>\n"
       "      <port>abc</port>\n    </smtp_server>\n  </alerts>\n</settings>",
       "\" is damaged at line 5, element <port>: ''abc'' is not a valid integer value. The values "
       "from there on keep their defaults.",
       false},
      {"value with elements", "<settings><username><b/></username></settings>",
       "\" is damaged at line 1, element <username>: Element \"username\" does not contain a "
       "single "
       "text node. The values from there on keep their defaults.",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(dir / "settings.xml");
    const std::u16string file =
        c.content.empty() ? fromUtf8((dir / "settings.xml").string()) : settingsFile(c.content);
    TStartUpNotes notes;
    const auto settings = startUpSettings(file, nullptr, nullptr, &notes);
    EXPECT_EQ(notes.settingsUnreadable, c.unreadable);
    if (c.note.empty()) {
      EXPECT_TRUE(notes.lines.empty());
      continue;
    }
    ASSERT_EQ(notes.lines.size(), 1u);
    const std::string line = toUtf8(notes.lines[0]);
    EXPECT_NE(line.find(toUtf8(file) + c.note), std::string::npos) << line;
  }
}

TEST_F(StartUpTest, AnEmptyLoginIsWarnedOfOnlyWhereAConfigurationAsksForOne) {
  std::ofstream(dir / "config" / "office.ovpn") << "client\nremote x\n  auth-user-pass  \n";
  std::ofstream(dir / "config" / "home.ovpn") << "client\nauth-user-pass home.txt\n";
  const auto settings = startUpSettings(settingsFile("<settings/>"));
  EXPECT_EQ(emptyLoginWarning(*settings, u"alice"), u"");
  EXPECT_EQ(emptyLoginWarning(*settings, u""),
            u"Warning: the Login is empty, and office.ovpn asks for a user name (auth-user-pass): "
            u"its test will fail.");
  std::ofstream(dir / "config" / "office.ovpn") << "client\n";
  EXPECT_EQ(emptyLoginWarning(*settings, u""), u"");
}

TEST_F(StartUpTest, AFolderWithoutConfigurationsIsNamedWithTheWayOut) {
  std::filesystem::remove(dir / "config" / "office.ovpn");
  auto settings = startUpSettings(settingsFile("<settings/>"));
  EXPECT_EQ(noServersText(*settings), u"No client configurations in \"" +
                                          fromUtf8((dir / "config").string()) +
                                          u"\". To test configurations elsewhere, start Quorvex "
                                          u"with QUORVEX_CONFIG_DIR set to their folder.");
  setenv("QUORVEX_CONFIG_DIR", (dir / "gone").c_str(), 1);
  settings = startUpSettings(settingsFile("<settings/>"));
  EXPECT_NE(noServersText(*settings).find(u"(the folder does not exist)."), std::u16string::npos);
}

}  // namespace
}  // namespace quorvex
