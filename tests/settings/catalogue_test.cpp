#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include "platform/exception.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "settings/settings.h"
#include "support/raises.h"
#include "support/temp_folder.h"

namespace quorvex {
namespace {

using test::TempFolder;

class OneKeyRegistry final : public IRegistry {
 public:
  explicit OneKeyRegistry(std::u16string configDir) : _configDir(std::move(configDir)) {}
  std::unique_ptr<IRegistryKey> openLocalMachineKey(std::u16string_view,
                                                    TRegistryAccess) const override {
    return std::make_unique<Key>(_configDir);
  }

 private:
  struct Key final : IRegistryKey {
    explicit Key(std::u16string text) : text(std::move(text)) {}
    TRegistryValue readValue(std::u16string_view) const override {
      return {TRegistryValueKind::String, text};
    }
    std::u16string text;
  };
  std::u16string _configDir;
};

// (Name, OVPNFilename) of every server, sorted: the folder's order is the platform's.
std::vector<std::pair<std::string, std::string>> catalogueOf(const std::string& configDir) {
  TSettings settings(u"settings.xml");
  settings.loadFromRegistry(OneKeyRegistry(fromUtf8(configDir)));
  settings.init();
  std::vector<std::pair<std::string, std::string>> servers;
  for (int i = 0; i < settings.ServerCount(); ++i)
    servers.emplace_back(toUtf8(settings.Servers(i).Name()),
                         toUtf8(settings.Servers(i).OVPNFilename()));
  std::sort(servers.begin(), servers.end());
  return servers;
}

TEST(ClientConfig, NeedsALineThatIsExactlyClient) {
  using namespace std::string_literals;
  const std::pair<std::string, bool> cases[] = {
      {"client\n", true},
      {"remote vpn.example.org 1194\r\n \t client\t \r\ndev tun\r\n", true},
      {"\x0b"
       "client\x0c",
       true},  // every control character is trimmed
      {"Client\n", false},
      {"client # comment\n", false},
      {"clients\n", false},
      {"nobind\rclient\rdev tun", true},  // CR-only line ends
      {"nobind\nclient", true},           // LF only, no final line end
      {"dev tun\n\0client\n"s, false},    // NUL ends the text
      {"client\n\0junk"s, true},
      {"", false},
      {"\n\r\n\r", false},
      {"# caf\xe9 in Latin-1\nclient\n", true},  // undecodable bytes do not stop the search
      {"xclient\nclient x\n", false},
  };
  TempFolder folder;
  TSettings settings(u"settings.xml");
  for (const auto& [content, expected] : cases) {
    SCOPED_TRACE(::testing::PrintToString(content));
    folder.write("test.ovpn", content);
    EXPECT_EQ(settings.isClientConfig(folder.u16path("test.ovpn")), expected);
  }
}

TEST(ServerCatalogue, ListsClientConfigurationsOfTheFolder) {
  TempFolder folder;
  folder.write("alpha.ovpn", "client\n");
  folder.write("beta.two.ovpn", "dev tun\nclient\n");
  folder.write(".hidden.ovpn", "client\n");
  folder.write("server.ovpn", "mode server\n");
  folder.write("empty.ovpn", "");
  folder.write("notes.txt", "client\n");
  folder.write("alpha.ovpn.bak", "client\n");
  folder.write("UPPER.OVPN", "client\n");  // the mask is case-sensitive, as file names are
  ASSERT_EQ(mkdir((folder / "sub.ovpn").c_str(), 0700), 0);
  ASSERT_EQ(mkfifo((folder / "pipe.ovpn").c_str(), 0600), 0);
  ASSERT_EQ(symlink("alpha.ovpn", (folder / "link.ovpn").c_str()), 0);
  ASSERT_EQ(symlink("sub.ovpn", (folder / "dirlink.ovpn").c_str()), 0);

  const std::vector<std::pair<std::string, std::string>> expected = {
      {".hidden", ".hidden.ovpn"},
      {"alpha", "alpha.ovpn"},
      {"beta", "beta.two.ovpn"},
      {"link", "link.ovpn"},
  };
  EXPECT_EQ(catalogueOf(folder.path()), expected);
  EXPECT_EQ(catalogueOf(folder.path().string() + "/"), expected);
}

TEST(ServerCatalogue, TakesConfFilesAsOpenvpnDoesOnLinux) {
  TempFolder folder;
  folder.write("a.ovpn", "client\n");
  folder.write("b.conf", "client\nremote vpn.example.org\n");
  folder.write("c.conf", "mode server\ntls-server\n");  // a server's configuration
  folder.write("d.txt", "client\n");
  folder.write("e.CONF", "client\n");
  const std::vector<std::pair<std::string, std::string>> expected = {{"a", "a.ovpn"},
                                                                     {"b", "b.conf"}};
  EXPECT_EQ(catalogueOf(folder.path()), expected);
}

TEST(ServerCatalogue, MissingFolderGivesNoServers) {
  TempFolder folder;
  EXPECT_TRUE(catalogueOf(folder / "absent").empty());
}

TEST(ServerCatalogue, FindsAFileWhoseNameTheLocaleCannotDecode) {
  TempFolder folder;
  folder.write("caf\xe9.ovpn", "client\n");
  const auto servers = catalogueOf(folder.path());
  ASSERT_EQ(servers.size(), 1u);
  EXPECT_EQ(servers[0], std::make_pair(std::string("caf\uFFFD"), std::string("caf\uFFFD.ovpn")));
}

TEST(ServerCatalogue, KeepsTheRawBytesOfFolderAndFileNames) {
  TempFolder root;
  const std::string folder = root / "vpn \xe9t\xe9";
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  root.write("vpn \xe9t\xe9/caf\xe9.conf", "client\n");
  setenv("QUORVEX_CONFIG_DIR", (folder + "/").c_str(), 1);
  TSettings settings(u"settings.xml");
  settings.loadFromRegistry();
  unsetenv("QUORVEX_CONFIG_DIR");
  EXPECT_EQ(settings.ConfigDirBytes(), folder);
  EXPECT_EQ(toUtf8(settings.ConfigDir()), root / "vpn \uFFFDt\uFFFD");
  settings.init();
  ASSERT_EQ(settings.ServerCount(), 1);
  EXPECT_EQ(settings.Servers(0).OVPNFileBytes(), "caf\xe9.conf");
  EXPECT_EQ(toUtf8(settings.Servers(0).OVPNFilename()), "caf\uFFFD.conf");
  EXPECT_EQ(toUtf8(settings.Servers(0).Name()), "caf\uFFFD");
}

TEST(ServerCatalogue, AFileThatCannotBeOpenedIsAServerOfItsOwnWithTheReason) {
  const std::pair<const char*, const char*> links[] = {
      {"gone.ovpn", "does-not-exist"},  // dangling link
      {"loop.ovpn", "loop.ovpn"},       // a link to itself
  };
  for (const auto& [name, target] : links) {
    SCOPED_TRACE(name);
    TempFolder folder;
    folder.write("alpha.ovpn", "client\n");
    ASSERT_EQ(symlink(target, (folder / name).c_str()), 0);
    TSettings settings(u"settings.xml");
    settings.loadFromRegistry(OneKeyRegistry(fromUtf8(folder.path().string())));
    settings.init();
    // The readable one is still listed and tested.
    ASSERT_EQ(settings.ServerCount(), 2);
    EXPECT_EQ(settings.Servers(0).Name(), u"alpha");
    EXPECT_EQ(settings.Servers(0).ReadError(), u"");
    const std::string message = toUtf8(settings.Servers(1).ReadError());
    EXPECT_TRUE(message.starts_with("Cannot open file \"" + (folder / name) + "\". ")) << message;
    // Often readable by root alone: a normal user learns the way out, after
    // the full stop that ends the error.
    EXPECT_TRUE(
        message.ends_with(". To test configurations of your own, copy them to a folder"
                          " you can read and start Quorvex with QUORVEX_CONFIG_DIR set"
                          " to that folder."))
        << message;
  }
}

TEST(ServerCatalogue, ListedByNameWithoutRegardToCase) {
  TempFolder folder;
  for (const char* name : {"vpn05.ovpn", "vpn08.ovpn", "VPN02.ovpn", "b.conf", "a.ovpn", "A.ovpn"})
    folder.write(name, "client\n");
  TSettings settings(u"settings.xml");
  settings.loadFromRegistry(OneKeyRegistry(fromUtf8(folder.path().string())));
  settings.init();
  std::vector<std::u16string> names;
  for (int i = 0; i < settings.ServerCount(); ++i) names.push_back(settings.Servers(i).Name());
  EXPECT_EQ(names, (std::vector<std::u16string>{u"A", u"a", u"b", u"VPN02", u"vpn05", u"vpn08"}));
}

TEST(ClientConfig, RaisesForWhatIsNoReadableFile) {
  TempFolder folder;
  ASSERT_EQ(mkdir((folder / "dir.ovpn").c_str(), 0700), 0);
  ASSERT_EQ(mkfifo((folder / "pipe.ovpn").c_str(), 0600), 0);
  const std::pair<const char*, const char*> cases[] = {
      {"missing.ovpn", "No such file or directory"},
      {"dir.ovpn", "Is a directory"},
      {"pipe.ovpn", "Not a regular file"},  // refused at once rather than read without end
  };
  TSettings settings(u"settings.xml");
  for (const auto& [name, reason] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(
        toUtf8(test::MessageOf<EFileError>([&] { settings.isClientConfig(folder.u16path(name)); })),
        "Cannot open file \"" + (folder / name) + "\". " + reason);
  }
}

}  // namespace
}  // namespace quorvex
