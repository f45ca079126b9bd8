#include "monitor/outage_state_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/exception.h"
#include "platform/text.h"
#include "support/temp_folder.h"

namespace quorvex {
namespace {

using std::chrono::seconds;
using test::permissions;
using test::readFile;
using test::TempFolder;

TOutageStates someStates() {
  TOutageStates states;
  states["office.ovpn"] = {true, 3, TWallTime(seconds(1765380000)), TWallTime(seconds(1765380600))};
  // Names as the file system may hold them: line breaks, a header look-alike,
  // "%", XML's own characters, a byte that is no UTF-8.
  states["evil\r\nBcc: x%41<&>\xFF.conf"] = {false, 1, TWallTime(seconds(0)), std::nullopt};
  states["up.ovpn"] = {};
  // A reason in words, with XML's own characters.
  states["lab.ovpn"] = {true, 2, TWallTime(seconds(7)), TWallTime(seconds(8)), u"<timed> & out"};
  return states;
}

TEST(OutageStateFile, SavesPrivatelyAndReadsBackEveryState) {
  TempFolder folder;
  const TOutageStateFile file(folder.u16path("new/sub/state.xml"));
  file.save(someStates());
  EXPECT_EQ(permissions(folder / "new/sub/state.xml"), 0600u);
  std::optional<std::u16string> problem;
  EXPECT_EQ(file.load(problem), someStates());
  EXPECT_FALSE(problem);

  TOutageStates one;
  one["office.ovpn"] = someStates()["office.ovpn"];
  file.save(one);
  EXPECT_EQ(readFile(folder / "new/sub/state.xml"),
            "<quorvex_state>\r\n"
            "  <server>\r\n"
            "    <config>office.ovpn</config>\r\n"
            "    <alerted>true</alerted>\r\n"
            "    <failures>3</failures>\r\n"
            "    <outage_start>1765380000</outage_start>\r\n"
            "    <last_mail>1765380600</last_mail>\r\n"
            "  </server>\r\n"
            "</quorvex_state>");
}

TEST(OutageStateFile, AFileThatCannotBeUsedGivesNoStatesAndSaysWhy) {
  TempFolder folder;
  const TOutageStateFile good(folder.u16path("good.xml"));
  good.save(someStates());
  const std::string whole = readFile(folder / "good.xml");
  ASSERT_EQ(mkdir((folder / "folder.xml").c_str(), 0700), 0);
  const struct {
    const char* name;
    std::string file;  // empty: not written
    std::string problem;
  } cases[] = {
      {"missing", "", "Cannot open file \"@\". No such file or directory"},
      {"folder.xml", "", "Cannot open file \"@\". Is a directory"},
      {"garbled", "\x01\x02 not xml", "The outage state file \"@\" is damaged: "},
      {"truncated", whole.substr(0, whole.size() / 2), "The outage state file \"@\" is damaged: "},
      {"settings", "<settings><username>a</username></settings>",
       "The outage state file \"@\" is damaged: its root element is not <quorvex_state>"},
      {"bad number",
       "<quorvex_state><server><config>a</config><failures>many</failures></server>"
       "</quorvex_state>",
       "The outage state file \"@\" is damaged: ''many'' is not a valid integer value"},
      {"bad time",
       "<quorvex_state><server><config>a</config><last_mail>noon</last_mail></server>"
       "</quorvex_state>",
       "The outage state file \"@\" is damaged: ''noon'' is not a time"},
      {"bad escape", "<quorvex_state><server><config>a%4</config></server></quorvex_state>",
       "The outage state file \"@\" is damaged: a server name with a broken %-escape"},
      {"nameless", "<quorvex_state><server><alerted>true</alerted></server></quorvex_state>",
       "The outage state file \"@\" is damaged: a server without a configuration name"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder / c.name;
    if (!c.file.empty()) folder.write(c.name, c.file);
    std::optional<std::u16string> problem;
    EXPECT_TRUE(TOutageStateFile(fromUtf8(path)).load(problem).empty());
    ASSERT_TRUE(problem);
    std::string expected = c.problem;
    expected.replace(expected.find('@'), 1, path);
    EXPECT_TRUE(toUtf8(*problem).starts_with(expected)) << toUtf8(*problem);
  }
}

TEST(OutageStateFile, UnknownElementsAreSkipped) {
  TempFolder folder;
  const std::string path = folder.write(
      "state.xml",
      "<quorvex_state><note>later</note><server><config>a.ovpn</config><colour>red</colour>"
      "<alerted>TRUE</alerted></server></quorvex_state>");
  std::optional<std::u16string> problem;
  const TOutageStates states = TOutageStateFile(fromUtf8(path)).load(problem);
  EXPECT_FALSE(problem);
  ASSERT_EQ(states.size(), 1u);
  EXPECT_TRUE(states.at("a.ovpn").alerted);
  EXPECT_EQ(states.at("a.ovpn").failures, 0);
}

TEST(OutageStateFile, AFailedSaveRaisesAndKeepsTheOldFileWhole) {
  TempFolder folder;
  folder.write("file", "");
  try {
    TOutageStateFile(folder.u16path("file/state.xml")).save(someStates());
    ADD_FAILURE() << "no error";
  } catch (const EFileError& e) {
    EXPECT_EQ(toUtf8(e.Message()),
              "Cannot write file \"" + (folder / "file/state.xml") + "\". Not a directory");
  }

  // Cut short half-way, as a full disk would: the old file stays as it was.
  const TOutageStateFile file(folder.u16path("state.xml"));
  file.save(someStates());
  const std::string old = readFile(folder / "state.xml");
  TOutageStates many;
  for (int i = 0; i < 200; ++i) many["server" + std::to_string(i) + ".ovpn"] = {true, i};
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1024, 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    try {
      file.save(many);
      _exit(1);
    } catch (const EFileError&) {
      _exit(0);
    }
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(readFile(folder / "state.xml"), old);
  std::optional<std::u16string> problem;
  EXPECT_EQ(file.load(problem), someStates());
}

}  // namespace
}  // namespace quorvex
