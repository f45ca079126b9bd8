#include "settings/value_text.h"

#include <limits>

#include "platform/exception.h"

namespace quorvex {

namespace {

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

std::u16string_view trimBlanks(std::u16string_view text) {
  const auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool equalsIgnoringCase(std::u16string_view text, std::u16string_view lowerWord) {
  if (text.size() != lowerWord.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i] >= u'A' && text[i] <= u'Z' ? text[i] + (u'a' - u'A') : text[i];
    if (c != lowerWord[i]) return false;
  }
  return true;
}

[[noreturn]] void raiseNotValid(std::u16string_view text, std::u16string_view kind) {
  throw EConvertError(u"''" + std::u16string(text) + u"'' is not a valid " + std::u16string(kind) +
                      u" value");
}

// A decimal number: sign, digits, optional fraction, optional exponent.
// Returns whether it parsed; `nonZero` tells whether any mantissa digit is not 0.
bool parseDecimal(std::u16string_view s, bool& nonZero) {
  size_t i = 0;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) ++i;
  size_t digits = 0;
  nonZero = false;
  for (; i < s.size() && isDigit(s[i]); ++i, ++digits) nonZero |= s[i] != u'0';
  if (i < s.size() && s[i] == u'.')
    for (++i; i < s.size() && isDigit(s[i]); ++i, ++digits) nonZero |= s[i] != u'0';
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
    ++i;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) ++i;
    size_t exponentDigits = 0;
    for (; i < s.size() && isDigit(s[i]); ++i) ++exponentDigits;
    if (exponentDigits == 0) return false;
  }
  return i == s.size();
}

}  // namespace

int32_t textToInt32(std::u16string_view text) {
  const std::u16string_view s = trimBlanks(text);
  size_t i = 0;
  const bool negative = i < s.size() && s[i] == u'-';
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) ++i;
  if (i == s.size()) raiseNotValid(text, u"integer");
  // The magnitude of the minimum is one more than the maximum.
  const int64_t limit = negative ? -int64_t{std::numeric_limits<int32_t>::min()}
                                 : int64_t{std::numeric_limits<int32_t>::max()};
  int64_t magnitude = 0;
  for (; i < s.size(); ++i) {
    if (!isDigit(s[i])) raiseNotValid(text, u"integer");
    magnitude = magnitude * 10 + (s[i] - u'0');
    if (magnitude > limit) raiseNotValid(text, u"integer");
  }
  return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

bool textToBool(std::u16string_view text) {
  const std::u16string_view s = trimBlanks(text);
  if (equalsIgnoringCase(s, u"true")) return true;
  if (equalsIgnoringCase(s, u"false")) return false;
  bool nonZero = false;
  if (!parseDecimal(s, nonZero)) raiseNotValid(text, u"boolean");
  return nonZero;
}

std::u16string int32ToText(int32_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

std::u16string boolToText(bool value) { return value ? u"true" : u"false"; }

}  // namespace quorvex
