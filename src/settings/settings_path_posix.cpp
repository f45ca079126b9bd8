#include "settings/settings_path.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "platform/executable_path.h"
#include "platform/text_encoding.h"

namespace quorvex {

namespace {

constexpr const char* kFileName = "settings.xml";

std::string homeOfUser() {
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return {};
}

bool isFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool isAbsolute(const char* path) { return path && path[0] == '/'; }

}  // namespace

std::string chooseSettingsPath(const std::optional<std::string>& explicitPath,
                               const TSettingsPlaces& places) {
  if (explicitPath) return *explicitPath;
  const size_t slash = places.executablePath.rfind('/');
  const std::string besideExecutable = slash == std::string::npos
                                           ? std::string()
                                           : places.executablePath.substr(0, slash + 1) + kFileName;
  if (!besideExecutable.empty() && isFile(besideExecutable)) return besideExecutable;
  // A relative XDG_CONFIG_HOME is invalid and ignored.
  std::string configHome;
  if (isAbsolute(places.xdgConfigHome))
    configHome = places.xdgConfigHome;
  else if (isAbsolute(places.home))
    configHome = std::string(places.home) + "/.config";
  else if (const std::string home = homeOfUser(); !home.empty())
    configHome = home + "/.config";
  if (configHome.empty()) return besideExecutable.empty() ? kFileName : besideExecutable;
  if (configHome.back() == '/') configHome.pop_back();
  return configHome + "/quorvex/" + kFileName;
}

std::string chooseStatePath(const std::optional<std::string>& explicitPath,
                            const char* xdgStateHome, const char* home) {
  if (explicitPath) return *explicitPath;
  // A relative XDG_STATE_HOME is invalid and ignored.
  std::string stateHome;
  if (isAbsolute(xdgStateHome))
    stateHome = xdgStateHome;
  else if (isAbsolute(home))
    stateHome = std::string(home) + "/.local/state";
  else if (const std::string own = homeOfUser(); !own.empty())
    stateHome = own + "/.local/state";
  else
    return "state.xml";
  if (stateHome.back() == '/') stateHome.pop_back();
  return stateHome + "/quorvex/state.xml";
}

std::u16string stateFilePath(const std::optional<std::u16string>& explicitPath) {
  const TEncoding& system = TEncoding::System();
  std::optional<std::string> explicitBytes;
  if (explicitPath) explicitBytes = system.GetBytes(*explicitPath);
  return system.GetString(
      chooseStatePath(explicitBytes, std::getenv("XDG_STATE_HOME"), std::getenv("HOME")));
}

std::optional<std::u16string> historyFilePath(const std::optional<std::u16string>& explicitPath,
                                              const std::optional<std::u16string>& stateFile) {
  if (explicitPath) {
    if (*explicitPath == u"none") return std::nullopt;
    return explicitPath;
  }
  const std::u16string state = stateFilePath(stateFile);
  const size_t slash = state.rfind(u'/');
  return (slash == std::u16string::npos ? u"" : state.substr(0, slash + 1)) + u"history.sqlite";
}

std::u16string settingsFilePath(const std::optional<std::u16string>& explicitPath) {
  const TEncoding& system = TEncoding::System();
  std::optional<std::string> explicitBytes;
  if (explicitPath) explicitBytes = system.GetBytes(*explicitPath);
  const TSettingsPlaces places{ExecutablePath(), std::getenv("XDG_CONFIG_HOME"),
                               std::getenv("HOME")};
  return system.GetString(chooseSettingsPath(explicitBytes, places));
}

}  // namespace quorvex
