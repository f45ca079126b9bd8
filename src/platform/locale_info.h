#pragma once

#include <string>

namespace quorvex {

// The user's locale as language and territory codes, lower and upper case
// ("zh", "CN"); both empty for the C/POSIX locale.
struct TLocaleName {
  std::string language;
  std::string territory;
};

// Parses a POSIX locale name such as "zh_TW.UTF-8@euro".
TLocaleName ParseLocaleName(const std::string& name);

// From LC_ALL, then LC_CTYPE, then LANG, the first that is set and not empty.
TLocaleName UserLocale();

}  // namespace quorvex
