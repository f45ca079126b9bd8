#include "app/start_up.h"

#include "platform/registry.h"

namespace quorvex {

void discoverServers(TSettings& settings) { settings.init(); }

std::unique_ptr<TSettings> startUpSettings(const std::u16string& settingsPath,
                                           const IRegistry* registry, TStartUpStep* failedStep) {
  auto step = [failedStep](TStartUpStep current) {
    if (failedStep) *failedStep = current;
  };
  auto settings = std::make_unique<TSettings>(settingsPath);
  step(TStartUpStep::FindOpenVPN);
  if (registry)
    settings->loadFromRegistry(*registry);
  else
    settings->loadFromRegistry();
  try {
    settings->loadFromFile();
  } catch (...) {
    // A missing or damaged settings file must not stop the start: defaults stand.
  }
  settings->SetMsgSubject(u"<serverName> Down!");
  step(TStartUpStep::DiscoverServers);
  discoverServers(*settings);
  return settings;
}

}  // namespace quorvex
