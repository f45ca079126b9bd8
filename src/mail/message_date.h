#pragma once

#include <string>

#include "platform/clock.h"
#include "platform/date_time.h"
#include "platform/exception.h"

namespace quorvex {

class EQxFailedToRetreiveTimeZoneInfo : public EQxException {
 public:
  EQxFailedToRetreiveTimeZoneInfo();
};

// "+0100", "-0500": the offset of the clock's zone now.
std::u16string FormatZoneOffset(int minutes);

// Date header value of a local time, with the zone offset in effect now:
// "Sat, 5 Mar 2011 14:07:09 +0100".
std::u16string FormatMessageDate(TDateTime localTime, const TClock& clock = TClock::System());

}  // namespace quorvex
