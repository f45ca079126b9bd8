#pragma once

#include <cstdint>
#include <string>

namespace quorvex {

// Local wall-clock time as days since 30 December 1899, the time of day as the
// fraction.
using TDateTime = double;

struct TDateTimeParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  int dayOfWeek = 6;  // 0 = Sunday
};

TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                         int millisecond = 0);
TDateTimeParts DecodeDateTime(TDateTime value);

// "YYYY-MM-DD hh:mm:ss": the time stamp of a line of the journal.
std::string TimestampText(TDateTime value);

}  // namespace quorvex
