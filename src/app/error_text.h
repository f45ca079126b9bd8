#pragma once

#include <string>
#include <string_view>

namespace quorvex {

// The message as the user is shown it: one "." is added when the last
// character sorts above ".", so "failed" gets one and "done." or "(x)" not.
std::u16string errorBoxText(std::u16string_view message);

}  // namespace quorvex
