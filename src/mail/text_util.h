#pragma once

#include <string>
#include <string_view>

namespace quorvex {

// Trimming drops leading and trailing characters whose code is 32 or less.
std::u16string Trim(std::u16string_view text);
std::u16string TrimLeft(std::u16string_view text);
std::u16string TrimRight(std::u16string_view text);
// ASCII letters compared without regard to case.
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);

}  // namespace quorvex
