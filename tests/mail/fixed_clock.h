#pragma once

#include <optional>

#include "platform/local_clock.h"

namespace quorvex {

// A clock pinned to one local time and zone offset.
class TFixedClock final : public TLocalClock {
 public:
  TFixedClock(TDateTime now, std::optional<int> offsetMinutes)
      : _now(now), _offset(offsetMinutes) {}
  TDateTime Now() const override { return _now; }
  std::optional<int> LocalZoneOffset() const override { return _offset; }

 private:
  TDateTime _now;
  std::optional<int> _offset;
};

}  // namespace quorvex
