#pragma once

#include <string>

namespace quorvex {

// The local computer's name as the platform reports it; empty when it cannot
// be read.
std::u16string LocalHostName();

// The canonical name of the host name when it is fully qualified (holds a
// "."), else the host name; empty when neither can be read.
std::u16string LocalFullyQualifiedName();

}  // namespace quorvex
