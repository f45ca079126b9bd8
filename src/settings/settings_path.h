#pragma once

#include <optional>
#include <string>

namespace quorvex {

// Where the settings file is. In order:
//  1. the explicit path (from --settings FILE), as given;
//  2. settings.xml beside the executable, when a file of that name is there
//     (a portable installation);
//  3. $XDG_CONFIG_HOME/quorvex/settings.xml, by default
//     ~/.config/quorvex/settings.xml. Saving creates the folder.
std::u16string settingsFilePath(const std::optional<std::u16string>& explicitPath = std::nullopt);

// The same choice from given places, in the file system's bytes. Null
// pointers stand for unset variables.
struct TSettingsPlaces {
  std::string executablePath;  // empty when unknown
  const char* xdgConfigHome = nullptr;
  const char* home = nullptr;
};
std::string chooseSettingsPath(const std::optional<std::string>& explicitPath,
                               const TSettingsPlaces& places);

// Where the headless front end keeps its outage state: the explicit path
// (from --state FILE), else $XDG_STATE_HOME/quorvex/state.xml, by default
// ~/.local/state/quorvex/state.xml. Saving creates the folder.
std::u16string stateFilePath(const std::optional<std::u16string>& explicitPath = std::nullopt);
std::string chooseStatePath(const std::optional<std::string>& explicitPath,
                            const char* xdgStateHome, const char* home);

// Where the history database is: the explicit path (from --history FILE);
// else history.sqlite beside the state file (that of --state FILE, so
// /var/lib/quorvex for the service, or $XDG_STATE_HOME/quorvex); none for
// "--history none".
std::optional<std::u16string> historyFilePath(
    const std::optional<std::u16string>& explicitPath = std::nullopt,
    const std::optional<std::u16string>& stateFile = std::nullopt);

}  // namespace quorvex
