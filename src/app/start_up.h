#pragma once

#include <memory>
#include <string>
#include <vector>

#include "settings/settings.h"

namespace quorvex {

class IRegistry;

// The steps of the start-up whose failure ends the program.
enum class TStartUpStep { FindOpenVPN, DiscoverServers };

// What a front end tells the user at start, before any test: each a
// sentence in words.
struct TStartUpNotes {
  std::vector<std::u16string> lines;
  // The settings file could not be read at all (missing, no right to read).
  bool settingsUnreadable = false;
};

// The settings start-up of both front ends, the window and the headless one:
// builds TSettings on settingsPath, finds OpenVPN (in registry; null means the
// machine's), reads the settings file ignoring its errors, forces the alert
// subject and builds the server catalogue. An error of the OpenVPN lookup or
// of the catalogue propagates unchanged, after failedStep (when given) has
// been set to the step that raised it; each front end shows it its own way.
// What went wrong with the settings file goes to notes when given.
std::unique_ptr<TSettings> startUpSettings(const std::u16string& settingsPath,
                                           const IRegistry* registry = nullptr,
                                           TStartUpStep* failedStep = nullptr,
                                           TStartUpNotes* notes = nullptr);

// The catalogue step. Kept out of line so that the window can name it by its
// address when it fails.
[[gnu::noinline]] void discoverServers(TSettings& settings);

// A catalogue without servers in words: the folder looked in, and how to
// point Quorvex elsewhere.
std::u16string noServersText(const TSettings& settings);

// The warning for a Start with an empty Login while a configuration asks for
// a user name on the terminal (auth-user-pass without a file); none else.
std::u16string emptyLoginWarning(const TSettings& settings, const std::u16string& login);

}  // namespace quorvex
