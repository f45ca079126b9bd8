#include "mail/message_date.h"

#include <cstdio>
#include <cstdlib>

#include "platform/text.h"

namespace quorvex {

EQxFailedToRetreiveTimeZoneInfo::EQxFailedToRetreiveTimeZoneInfo()
    : EQxException(u"Failed attempting to retrieve time zone information.") {}

std::u16string FormatZoneOffset(int minutes) {
  char text[16];
  const int magnitude = std::abs(minutes);
  std::snprintf(text, sizeof text, "%c%02d%02d", minutes >= 0 ? '+' : '-', magnitude / 60 % 100,
                magnitude % 60);
  return u16(text);
}

std::u16string FormatMessageDate(TDateTime localTime, const TClock& clock) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const auto offset = clock.LocalZoneOffset();
  if (!offset) throw EQxFailedToRetreiveTimeZoneInfo();
  const TDateTimeParts t = DecodeDateTime(localTime);
  char text[64];
  std::snprintf(text, sizeof text, "%s, %d %s %d %02d:%02d:%02d ", kDays[t.dayOfWeek], t.day,
                kMonths[t.month - 1], t.year, t.hour, t.minute, t.second);
  return u16(text) + FormatZoneOffset(*offset);
}

}  // namespace quorvex
