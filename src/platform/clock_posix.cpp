#include <ctime>

#include "platform/clock.h"

namespace quorvex {

TDateTime TClock::Now() const {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  if (!localtime_r(&now.tv_sec, &local)) return 0;
  return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                        local.tm_min, local.tm_sec, static_cast<int>(now.tv_nsec / 1'000'000));
}

std::optional<int> TClock::LocalZoneOffset() const {
  const time_t now = time(nullptr);
  tm local{};
  if (!localtime_r(&now, &local)) return std::nullopt;
  return static_cast<int>(local.tm_gmtoff / 60);
}

}  // namespace quorvex
