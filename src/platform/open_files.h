#pragma once

#include <optional>

namespace quorvex {

// The process's limit of open files; none stands for no limit.
struct TOpenFileLimit {
  std::optional<long long> soft;
  std::optional<long long> hard;
};

TOpenFileLimit openFileLimit();

// Raises the soft limit to the hard one, as far as the system lets it, and
// returns the limit then in force. Only for a program that waits with poll:
// select cannot take descriptors past 1023.
TOpenFileLimit raiseOpenFileLimit();

}  // namespace quorvex
