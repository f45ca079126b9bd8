#pragma once

#include <string>

namespace quorvex {

// The local computer's name as the platform reports it; empty when it cannot
// be read.
std::u16string LocalHostName();

}  // namespace quorvex
