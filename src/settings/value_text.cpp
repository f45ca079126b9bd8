#include "settings/value_text.h"

#include <limits>

#include "platform/exception.h"
#include "platform/text.h"

namespace quorvex {

namespace {

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

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
  const auto value = ParseWholeNumber(Trim(text), std::numeric_limits<int32_t>::min(),
                                      std::numeric_limits<int32_t>::max());
  if (!value) raiseNotValid(text, u"integer");
  return static_cast<int32_t>(*value);
}

bool textToBool(std::u16string_view text) {
  const std::u16string s = Trim(text);
  if (EqualsNoCase(s, u"true")) return true;
  if (EqualsNoCase(s, u"false")) return false;
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
