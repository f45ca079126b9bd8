#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/text.h"
#include "settings/settings.h"
#include "support/temp_folder.h"

namespace quorvex::test {

// A throwaway OpenVPN folder with one client configuration per name and a
// settings file, loaded into real TSettings the way start-up loads them.
class TCatalogueFixture {
 public:
  struct Values {
    std::vector<std::string> servers{};
    int connTimeout = 90;
    int repeatPeriod = 5;
    std::string username = "alice";
    std::string password = "s3cret";
  };

  explicit TCatalogueFixture(const Values& values) {
    const std::filesystem::path& dir = _dir.path();
    std::filesystem::create_directory(dir / "config");
    for (const std::string& name : values.servers) {
      std::ofstream(dir / "config" / (name + ".ovpn")) << "client\nremote 127.0.0.1 1\n";
    }
    const std::filesystem::path settingsFile = dir / "settings.xml";
    std::ofstream(settingsFile) << "<settings><username>" << values.username
                                << "</username><password>" << values.password
                                << "</password><repeat_period>" << values.repeatPeriod
                                << "</repeat_period><conn_timeout>" << values.connTimeout
                                << "</conn_timeout></settings>";
    setenv("QUORVEX_CONFIG_DIR", (dir / "config").c_str(), 1);
    _settings = std::make_unique<TSettings>(fromUtf8(settingsFile.string()));
    _settings->loadFromRegistry();
    _settings->loadFromFile();
    _settings->init();
  }
  ~TCatalogueFixture() { unsetenv("QUORVEX_CONFIG_DIR"); }

  TSettings& settings() { return *_settings; }
  const std::filesystem::path& dir() const { return _dir.path(); }

  // Catalogue order is the folder's listing order, so tests find rows by name.
  int row(const std::string& name) const {
    for (int i = 0; i < _settings->ServerCount(); ++i) {
      if (_settings->Servers(i).Name() == fromUtf8(name)) return i;
    }
    return -1;
  }

 private:
  test::TempFolder _dir{"quorvex-app"};
  std::unique_ptr<TSettings> _settings;
};

}  // namespace quorvex::test
