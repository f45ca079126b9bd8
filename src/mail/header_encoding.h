#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/exception.h"
#include "platform/locale_info.h"
#include "platform/text_encoding.h"

namespace quorvex {

// No header coder takes the charset.
class EQxHeaderEncodeError : public EQxException {
 public:
  using EQxException::EQxException;
};

// Header charset for a locale: GB2312, Big5, ISO-2022-JP, csEUCKR, KOI8-R,
// windows-1251 or UTF-8.
std::u16string HeaderCharSetForLocale(const TLocaleName& locale);
// The same for the user's locale.
std::u16string DefaultHeaderCharSet();

// Text as converted header text of the charset (one character per byte).
std::u16string HeaderTextToBytes(std::u16string_view charset, std::u16string_view text);

// A header value with the words that need it as RFC 2047 encoded words.
// letter is 'B', 'Q' or '8' (no encoding).
std::u16string EncodeHeaderText(std::u16string_view text, std::u16string_view specials,
                                char16_t letter, std::u16string_view charset);

// A header value with its encoded words decoded; other text unchanged.
std::u16string DecodeHeaderText(std::u16string_view value);

// The body encoding for a charset; ISO-8859-1 for an empty or unknown name.
std::unique_ptr<TEncoding> CharSetTextEncoding(std::u16string_view charset);

}  // namespace quorvex
