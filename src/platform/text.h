#pragma once

#include <string>
#include <string_view>

namespace quorvex {

// UTF-8 <-> UTF-16. Invalid input becomes U+FFFD; nothing throws.
std::string toUtf8(std::u16string_view text);
std::u16string fromUtf8(std::string_view bytes);

// Trimming drops leading and trailing characters whose code is 32 or less
// (blanks, tabs and every other control character).
std::u16string Trim(std::u16string_view text);
std::u16string TrimLeft(std::u16string_view text);
std::u16string TrimRight(std::u16string_view text);
// ASCII letters compared without regard to case.
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);

// Convenience for literals and ASCII-only text.
inline std::u16string u16(std::string_view ascii) { return fromUtf8(ascii); }

}  // namespace quorvex
