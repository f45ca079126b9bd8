#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvex {

// UTF-8 <-> UTF-16. Invalid input becomes U+FFFD; nothing throws.
std::string toUtf8(std::u16string_view text);
std::u16string fromUtf8(std::string_view bytes);
// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

// Trimming drops leading and trailing characters whose code is 32 or less
// (blanks, tabs and every other control character).
std::u16string Trim(std::u16string_view text);
std::u16string TrimLeft(std::u16string_view text);
std::u16string TrimRight(std::u16string_view text);
// ASCII letters compared without regard to case; every other character as is.
char16_t AsciiUpper(char16_t c);
std::u16string AsciiUpper(std::u16string_view text);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix);
bool EndsWithNoCase(std::u16string_view text, std::u16string_view suffix);
// Order by name without regard to case; the exact text breaks ties, so the
// order never depends on where the names came from.
bool LessNoCase(std::u16string_view a, std::u16string_view b);

// Decimal digits after an optional sign ("+" or "-"; none at all when
// signAllowed is false) and nothing else, blanks included. None when the text
// is not such a number or its value lies outside [min, max]; nothing overflows.
std::optional<long long> ParseWholeNumber(std::u16string_view text, long long min, long long max,
                                          bool signAllowed = true);

// The text as a sentence: a full stop added unless it already ends with
// ".", "!" or "?", so that a hint can follow it.
std::u16string WithFullStop(std::u16string_view text);

// Control characters (below 0x20, and DEL) shown as escapes: "\r", "\n",
// "\t" and "\x01" style; a backslash stays as it is. For names from outside
// that end up in a line of text.
std::u16string EscapeControls(std::u16string_view text);

// Convenience for literals and ASCII-only text.
inline std::u16string u16(std::string_view ascii) { return fromUtf8(ascii); }

}  // namespace quorvex
