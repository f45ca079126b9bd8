#pragma once

#include <string>
#include <string_view>

namespace quorvex {

// UTF-8 <-> UTF-16. Invalid input becomes U+FFFD; nothing throws.
std::string toUtf8(std::u16string_view text);
std::u16string fromUtf8(std::string_view bytes);

// Convenience for literals and ASCII-only text.
inline std::u16string u16(std::string_view ascii) { return fromUtf8(ascii); }

}  // namespace quorvex
