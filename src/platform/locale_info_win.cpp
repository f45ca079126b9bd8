#include <windows.h>

#include "platform/locale_info.h"
#include "platform/text.h"

namespace quorvex {

// The user's locale as Windows names it ("zh-TW"); the language settings, not
// the environment, say which it is.
TLocaleName UserLocale() {
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  if (GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) <= 0) return {};
  std::u16string text;
  for (const wchar_t* c = name; *c; ++c) text += static_cast<char16_t>(*c);
  return ParseLocaleName(toUtf8(text));
}

}  // namespace quorvex
