#pragma once

#include <optional>

#include "platform/date_time.h"

namespace quorvex {

// The local wall clock and the local zone. Tests pin both with their own.
class TLocalClock {
 public:
  virtual ~TLocalClock() = default;
  virtual TDateTime Now() const;
  // Minutes east of UTC in effect now (daylight saving included), or none when
  // the zone cannot be read.
  virtual std::optional<int> LocalZoneOffset() const;

  static const TLocalClock& System();
};

}  // namespace quorvex
