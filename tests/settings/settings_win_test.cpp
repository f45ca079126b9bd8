// The settings layer's Windows side: the registry lookup through the real
// registry (keys written with reg.exe), the catalogue through the system's
// folder search, and settings.xml beside the program.
#include <gtest/gtest.h>

#include <windows.h>

#include "platform/executable_path.h"
#include "platform/text_encoding.h"
#include "settings/settings.h"
#include "settings/settings_path.h"
#include "support/raises.h"
#include "support/temp_folder.h"
#include "support/windows_registry.h"

namespace quorvex {
namespace {

using test::ScopedRegistryKey;
using test::TempFolder;

// The two keys of the OpenVPN installation; the test removes both first, so
// nothing of an earlier run or another test is left.
class RegistryLookup : public ::testing::Test {
 protected:
  ScopedRegistryKey gui{"SOFTWARE\\OpenVPN-GUI"};
  ScopedRegistryKey openvpn{"SOFTWARE\\OpenVPN"};
};

struct LookupCase {
  const char* what;
  const char* guiDir;      // null: no key
  const char* openvpnDir;  // null: no key
  std::u16string configDir;
};

TEST_F(RegistryLookup, GuiKeyFirstThenOpenVPNsWithoutTrailingSeparator) {
  const LookupCase cases[] = {
      {"GUI key", "C:\\gui\\config", "C:\\ovpn\\config", u"C:\\gui\\config"},
      {"only OpenVPN's key", nullptr, "C:\\ovpn\\config\\", u"C:\\ovpn\\config"},
      {"one trailing separator removed", "C:\\gui\\\\", nullptr, u"C:\\gui\\"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedRegistryKey clearGui(gui.path()), clearOpenVPN(openvpn.path());
    if (c.guiDir) {
      ASSERT_TRUE(gui.set("config_dir", "REG_SZ", c.guiDir));
    }
    if (c.openvpnDir) {
      ASSERT_TRUE(openvpn.set("config_dir", "REG_SZ", c.openvpnDir));
    }
    TSettings settings(u"unused.xml");
    settings.loadFromRegistry();
    EXPECT_EQ(settings.ConfigDir(), c.configDir);
  }
}

TEST_F(RegistryLookup, ErrorsAreTheOnesUsersSee) {
  TSettings settings(u"unused.xml");
  EXPECT_EQ(test::MessageOf<Exception>([&] { settings.loadFromRegistry(); }),
            u"OpenVPN not found on this computer.");
  ASSERT_TRUE(gui.set("config_dir", "REG_DWORD", "1"));
  EXPECT_EQ(test::MessageOf<Exception>([&] { settings.loadFromRegistry(); }),
            u"Invalid data type for 'config_dir'");
}

TEST(Catalogue, TheSystemsMaskOverEveryKindOfFile) {
  TempFolder folder("config dir");
  folder.write("office.ovpn", "remote vpn.example.org\r\nclient\r\n");
  folder.write("HOME.OVPN", "\tclient \n");      // the mask ignores letter case
  folder.write("server.ovpn", "mode server\n");  // no client line
  folder.write("two.dots.ovpn", "client\n");     // listed under "two"
  folder.write("notes.txt", "client\n");         // another extension
  folder.write("hidden.ovpn", "client\n");
  SetFileAttributesA((folder / "hidden.ovpn").c_str(), FILE_ATTRIBUTE_HIDDEN);
  CreateDirectoryA((folder / "folder.ovpn").c_str(), nullptr);  // folders are skipped
  ScopedRegistryKey gui("SOFTWARE\\OpenVPN-GUI");
  ASSERT_TRUE(gui.set("config_dir", "REG_SZ", folder.path().string() + "\\"));
  TSettings settings(u"unused.xml");
  settings.loadFromRegistry();
  settings.init();
  std::vector<std::pair<std::u16string, std::u16string>> servers;
  for (int i = 0; i < settings.ServerCount(); ++i)
    servers.emplace_back(settings.Servers(i).Name(), settings.Servers(i).OVPNFilename());
  const std::vector<std::pair<std::u16string, std::u16string>> expected{{u"hidden", u"hidden.ovpn"},
                                                                        {u"HOME", u"HOME.OVPN"},
                                                                        {u"office", u"office.ovpn"},
                                                                        {u"two", u"two.dots.ovpn"}};
  EXPECT_EQ(servers, expected);
}

TEST(SettingsPath, SettingsXmlBesideTheProgram) {
  const std::string program = ExecutablePath();
  ASSERT_FALSE(program.empty());
  const std::string folder = program.substr(0, program.find_last_of('\\') + 1);
  EXPECT_EQ(settingsFilePath(), TEncoding::System().GetString(folder + "settings.xml"));
  EXPECT_EQ(settingsFilePath(u"D:\\own.xml"), u"D:\\own.xml");
}

TEST(SettingsPath, SavedFileReadsBackFromBesideTheProgram) {
  TempFolder folder;
  TSettings saved(folder.u16path("settings.xml"));
  saved.SetSMTPHost(u"smtp.example.org");
  saved.saveToFile();
  saved.SetSMTPHost(u"replaced.example.org");
  saved.saveToFile();  // replaces the file in place
  TSettings loaded(folder.u16path("settings.xml"));
  loaded.loadFromFile();
  EXPECT_EQ(loaded.SMTPHost(), u"replaced.example.org");
  EXPECT_FALSE(std::filesystem::exists(folder / "settings.xml.new"));
}

}  // namespace
}  // namespace quorvex
