#pragma once

#include <cstdint>
#include <string>

namespace quorvex {

// An optional sign and decimal digits within the 32-bit range; anything else
// raises EConvertError "''<text>'' is not a valid integer value".
int32_t strToInt(const std::u16string& text);

}  // namespace quorvex
