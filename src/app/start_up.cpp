#include "app/start_up.h"

#include "settings/settings_path.h"

namespace quorvex {

std::unique_ptr<TSettings> startUpSettings(const std::optional<std::u16string>& settingsFile) {
  auto settings = std::make_unique<TSettings>(settingsFilePath(settingsFile));
  settings->loadFromRegistry();
  try {
    settings->loadFromFile();
  } catch (...) {
    // A missing or damaged settings file must not stop the start: defaults stand.
  }
  settings->SetMsgSubject(u"<serverName> Down!");
  settings->init();
  return settings;
}

}  // namespace quorvex
