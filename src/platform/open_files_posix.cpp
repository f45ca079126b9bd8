#include "platform/open_files.h"

#include <sys/resource.h>

namespace quorvex {

namespace {

std::optional<long long> limitValue(rlim_t value) {
  if (value == RLIM_INFINITY) return std::nullopt;
  return static_cast<long long>(value);
}

}  // namespace

TOpenFileLimit openFileLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return {};
  return {limitValue(limit.rlim_cur), limitValue(limit.rlim_max)};
}

TOpenFileLimit raiseOpenFileLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    // Linux refuses more than nr_open even below an infinite hard limit;
    // what is in force then stays.
    setrlimit(RLIMIT_NOFILE, &raised);
  }
  return openFileLimit();
}

}  // namespace quorvex
