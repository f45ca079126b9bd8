// The settings file's POSIX side: error texts of the C library and expat,
// modes, links, and a write cut short by the file-size limit.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/exception.h"
#include "platform/text.h"
#include "settings/settings.h"
#include "settings_values.h"
#include "support/raises.h"
#include "support/temp_folder.h"

namespace quorvex {
namespace {

using test::assign;
using test::kBefore;
using test::kFullFile;
using test::kFullValues;
using test::permissions;
using test::readFile;
using test::TempFolder;
using test::Values;
using test::valuesOf;

// Expat keeps no limit of its own on the depth; MSXML refuses a document
// nested deeper than 256.
TEST(SettingsFile, DeeplyNestedUnknownElementsArePassedOver) {
  std::string nested;
  for (int i = 0; i < 100000; ++i) nested += "<a>";
  for (int i = 0; i < 100000; ++i) nested += "</a>";
  TempFolder folder;
  const std::string path = folder.write(
      "settings.xml", "<settings><conn_timeout>3</conn_timeout><x>" + nested + "</x></settings>");
  TSettings settings(fromUtf8(path));
  assign(settings, kBefore);
  settings.loadFromFile();
  Values expected;
  expected.connectionTimeout = 3;
  EXPECT_EQ(valuesOf(settings), expected);
}

TEST(SettingsFile, WrittenFileIsTheOwnersAlone) {
  TempFolder folder;
  TSettings settings(folder.u16path("settings.xml"));
  settings.saveToFile();
  EXPECT_EQ(permissions(folder / "settings.xml"), 0600u);
}

TEST(SettingsFile, UnreadableFileRaisesAndChangesNothing) {
  TempFolder folder;
  ASSERT_EQ(mkdir((folder / "dir.xml").c_str(), 0700), 0);
  folder.write("empty.xml", "");
  folder.write("broken.xml", "<settings>\n<username>x</settings>");
  folder.write("two-roots.xml", "<a/><b/>");
  const std::pair<const char*, std::string> cases[] = {
      {"missing.xml",
       "Cannot open file \"" + (folder / "missing.xml") + "\". No such file or directory"},
      {"dir.xml", "Cannot open file \"" + (folder / "dir.xml") + "\". Is a directory"},
      {"empty.xml", "The settings file \"" + (folder / "empty.xml") +
                        "\" is not well-formed XML: no element found (line 1, column 1)"},
      {"broken.xml", "The settings file \"" + (folder / "broken.xml") +
                         "\" is not well-formed XML: mismatched tag (line 2, column 14)"},
      {"two-roots.xml",
       "The settings file \"" + (folder / "two-roots.xml") +
           "\" is not well-formed XML: junk after document element (line 1, column 5)"},
  };
  for (const auto& [name, message] : cases) {
    SCOPED_TRACE(name);
    TSettings settings(folder.u16path(name));
    assign(settings, kBefore);
    EXPECT_EQ(toUtf8(test::MessageOf<Exception>([&] { settings.loadFromFile(); })), message);
    EXPECT_EQ(valuesOf(settings), kBefore);
  }
}

TEST(SettingsFile, SaveReplacesTheFileWhole) {
  TempFolder folder;
  // An earlier file readable by others becomes private.
  const std::string path = folder.write("settings.xml", "old");
  chmod(path.c_str(), 0644);
  TSettings settings(fromUtf8(path));
  settings.SetUsername(u"new");
  settings.saveToFile();
  EXPECT_EQ(permissions(path), 0600u);
  TSettings reread(fromUtf8(path));
  reread.loadFromFile();
  EXPECT_EQ(toUtf8(reread.Username()), "new");

  // A link is followed: the file it points to is replaced and the link stays.
  ASSERT_EQ(symlink("settings.xml", (folder / "link.xml").c_str()), 0);
  TSettings viaLink(folder.u16path("link.xml"));
  viaLink.SetUsername(u"linked");
  viaLink.saveToFile();
  struct stat st {};
  ASSERT_EQ(lstat((folder / "link.xml").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_NE(readFile(path).find("<username>linked</username>"), std::string::npos);

  // Missing folders are made, private too.
  TSettings nested(fromUtf8(folder / "a/b/settings.xml"));
  nested.saveToFile();
  EXPECT_EQ(permissions(folder / "a") & 0077, 0u);
  EXPECT_EQ(permissions(folder / "a/b") & 0077, 0u);
  EXPECT_EQ(permissions(folder / "a/b/settings.xml"), 0600u);
  const auto entries = std::distance(std::filesystem::directory_iterator(folder.path()),
                                     std::filesystem::directory_iterator());
  EXPECT_EQ(entries, 3) << "no temporary file is left behind";
}

TEST(SettingsFile, FailedSaveRaisesAndKeepsTheOldFile) {
  TempFolder folder;
  folder.write("file", "");
  ASSERT_EQ(mkdir((folder / "dir.xml").c_str(), 0700), 0);
  const std::pair<std::string, std::string> cases[] = {
      {folder / "file/settings.xml", "Not a directory"},  // folder is a file
      {folder / "dir.xml", "Is a directory"},             // target is a folder
      {"/proc/self/settings.xml", ""},  // a folder nobody writes, whatever the reason
  };
  for (const auto& [path, reason] : cases) {
    SCOPED_TRACE(path);
    TSettings settings(fromUtf8(path));
    try {
      settings.saveToFile();
      ADD_FAILURE() << "no error";
    } catch (const EFileError& e) {
      const std::string message = toUtf8(e.Message());
      EXPECT_TRUE(message.starts_with("Cannot write file \"" + path + "\". ")) << message;
      EXPECT_TRUE(message.ends_with(reason)) << message;
    }
  }

  // A write that fails half-way (here: the file-size limit, as a full disk
  // would) leaves the old file as it was and no partial file beside it.
  const std::string old = folder.write("settings.xml", kFullFile);
  TSettings settings(fromUtf8(old));
  settings.SetMsgText(std::u16string(4096, u'x'));
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{256, 256};
    setrlimit(RLIMIT_FSIZE, &limit);
    try {
      settings.saveToFile();
      _exit(1);
    } catch (const EFileError& e) {
      _exit(toUtf8(e.Message()) == "Cannot write file \"" + old + "\". File too large" ? 0 : 2);
    }
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(readFile(old), kFullFile);
  const auto entries = std::distance(std::filesystem::directory_iterator(folder.path()),
                                     std::filesystem::directory_iterator());
  EXPECT_EQ(entries, 3) << "file, dir.xml and settings.xml only";
}

}  // namespace
}  // namespace quorvex
