#pragma once

#include <memory>
#include <string>

#include "settings/settings.h"

namespace quorvex {

class IRegistry;

// The steps of the start-up whose failure ends the program.
enum class TStartUpStep { FindOpenVPN, DiscoverServers };

// The settings start-up of both front ends, the window and the headless one:
// builds TSettings on settingsPath, finds OpenVPN (in registry; null means the
// machine's), reads the settings file ignoring its errors, forces the alert
// subject and builds the server catalogue. An error of the OpenVPN lookup or
// of the catalogue propagates unchanged, after failedStep (when given) has
// been set to the step that raised it; each front end shows it its own way.
std::unique_ptr<TSettings> startUpSettings(const std::u16string& settingsPath,
                                           const IRegistry* registry = nullptr,
                                           TStartUpStep* failedStep = nullptr);

// The catalogue step. Kept out of line so that the window can name it by its
// address when it fails.
[[gnu::noinline]] void discoverServers(TSettings& settings);

}  // namespace quorvex
