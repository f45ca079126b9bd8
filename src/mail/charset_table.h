#pragma once

#include <string>
#include <string_view>

namespace quorvex {

// IANA charset names and aliases with the platform code page each maps to
// (0 when none). Names are compared without regard to case.
int CharSetToCodePage(std::u16string_view charset);

// The platform converter's (iconv) name for a code page, empty when there is
// none or the converter does not support it.
std::string CodePageConverterName(int codePage);

// Converter name for a charset of the table, empty when it has none.
std::string CharSetConverterName(std::u16string_view charset);

}  // namespace quorvex
