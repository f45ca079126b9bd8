#include <windows.h>

#include "platform/clock.h"

namespace quorvex {

TDateTime TClock::Now() const {
  SYSTEMTIME local{};
  GetLocalTime(&local);
  return EncodeDateTime(local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute,
                        local.wSecond, local.wMilliseconds);
}

std::optional<int> TClock::LocalZoneOffset() const {
  TIME_ZONE_INFORMATION zone{};
  // The bias is minutes west of UTC; the daylight or standard part applies
  // as the system says is in effect now.
  switch (GetTimeZoneInformation(&zone)) {
    case TIME_ZONE_ID_UNKNOWN:
      return -static_cast<int>(zone.Bias);
    case TIME_ZONE_ID_STANDARD:
      return -static_cast<int>(zone.Bias + zone.StandardBias);
    case TIME_ZONE_ID_DAYLIGHT:
      return -static_cast<int>(zone.Bias + zone.DaylightBias);
    default:
      return std::nullopt;
  }
}

}  // namespace quorvex
