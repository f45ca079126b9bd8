#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvex {

// Conversions between the settings' values and their text. Failures raise
// EConvertError with the text quoted in the message.

// Optional blanks around an optional sign and decimal digits, within the
// 32-bit range. Raises "''<text>'' is not a valid integer value".
int32_t textToInt32(std::u16string_view text);

// "true" or "false" in any letter case, or a decimal number (true unless it
// is zero, such as "0", "-0" or "0.0"); blanks around are allowed. Raises
// "''<text>'' is not a valid boolean value".
bool textToBool(std::u16string_view text);

std::u16string int32ToText(int32_t value);
std::u16string boolToText(bool value);

}  // namespace quorvex
