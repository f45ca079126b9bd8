#include <cstdlib>

#include "platform/executable_path.h"
#include "platform/text_encoding.h"
#include "settings/settings_path.h"

namespace quorvex {

// settings.xml beside the executable, whatever is there.
std::u16string settingsFilePath(const std::optional<std::u16string>& explicitPath) {
  if (explicitPath) return *explicitPath;
  return TEncoding::System().GetString(FolderWithSeparator(ExecutablePath()) + "settings.xml");
}

// The user's own application data, which a scheduled task's account has
// too; beside the executable where there is none.
std::u16string stateFilePath(const std::optional<std::u16string>& explicitPath) {
  if (explicitPath) return *explicitPath;
  const char* appData = std::getenv("LOCALAPPDATA");
  const std::string folder = appData && *appData ? std::string(appData) + "\\Quorvex\\"
                                                 : FolderWithSeparator(ExecutablePath());
  return TEncoding::System().GetString(folder + "state.xml");
}

}  // namespace quorvex
