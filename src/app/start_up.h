#pragma once

#include <memory>
#include <optional>
#include <string>

#include "settings/settings.h"

namespace quorvex {

// The settings start-up shared by the window and the headless front end:
// builds TSettings on the settings path (or settingsFile when given), finds
// OpenVPN, reads the settings file ignoring its errors, forces the alert
// subject and builds the catalogue. Errors of the OpenVPN lookup and of the
// catalogue propagate to the caller.
std::unique_ptr<TSettings> startUpSettings(const std::optional<std::u16string>& settingsFile);

}  // namespace quorvex
