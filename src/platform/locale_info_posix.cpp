#include <cstdlib>

#include "platform/locale_info.h"

namespace quorvex {

TLocaleName UserLocale() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return ParseLocaleName(value);
  }
  return {};
}

}  // namespace quorvex
