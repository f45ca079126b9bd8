#include "mail/message_date.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "platform/text.h"
#include "support/fake_clock.h"
#include "support/raises.h"

namespace quorvex {
namespace {

TEST(FormatMessageDate, WritesLocalTimeWithTheCurrentOffset) {
  struct Case {
    TDateTime time;
    int offset;
    std::u16string expected;
  };
  const Case cases[] = {
      {EncodeDateTime(2011, 3, 5, 14, 7, 9), 60, u"Sat, 5 Mar 2011 14:07:09 +0100"},
      {EncodeDateTime(2011, 11, 20, 8, 3, 4), -300, u"Sun, 20 Nov 2011 08:03:04 -0500"},
      {EncodeDateTime(2024, 2, 29, 23, 59, 59, 999), 330, u"Thu, 29 Feb 2024 23:59:59 +0530"},
      {EncodeDateTime(2000, 1, 1), 0, u"Sat, 1 Jan 2000 00:00:00 +0000"},
      {EncodeDateTime(1999, 12, 31, 12), -570, u"Fri, 31 Dec 1999 12:00:00 -0930"},
  };
  for (const auto& c : cases) {
    const test::TFakeClock clock(0, c.offset);
    EXPECT_EQ(FormatMessageDate(c.time, clock), c.expected);
  }
}

TEST(FormatMessageDate, FailsWhenTheZoneCannotBeRead) {
  const test::TFakeClock clock(0, std::nullopt);
  EXPECT_EQ(test::MessageOf<EQxFailedToRetreiveTimeZoneInfo>(
                [&] { FormatMessageDate(EncodeDateTime(2011, 3, 5), clock); }),
            u"Failed attempting to retrieve time zone information.");
}

// The system clock reads the process's zone (TZ), daylight saving included.
TEST(FormatMessageDate, SystemClockReadsTheLocalZone) {
  const char* saved = std::getenv("TZ");
  const std::string keep = saved ? saved : "";
  const std::pair<const char*, const char16_t*> zones[] = {
      {"<+01>-1", u"+0100"}, {"<-0530>5:30", u"-0530"}, {"UTC0", u"+0000"}};
  for (const auto& [tz, text] : zones) {
    setenv("TZ", tz, 1);
    tzset();
    const std::u16string date = FormatMessageDate(EncodeDateTime(2011, 3, 5, 14, 7, 9));
    EXPECT_EQ(date, u"Sat, 5 Mar 2011 14:07:09 " + std::u16string(text)) << tz;
  }
  setenv("TZ", "<+01>-1", 1);
  tzset();
  const TDateTimeParts now = DecodeDateTime(TClock::System().Now());
  const time_t t = time(nullptr);
  tm local{};
  localtime_r(&t, &local);
  EXPECT_EQ(now.year, local.tm_year + 1900);
  EXPECT_EQ(now.day, local.tm_mday);
  if (saved)
    setenv("TZ", keep.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

TEST(DateTime, RoundTripsDates) {
  const TDateTimeParts epoch = DecodeDateTime(0);
  EXPECT_EQ(epoch.year, 1899);
  EXPECT_EQ(epoch.dayOfWeek, 6);
  for (int year : {1600, 1900, 1970, 2038, 2100, 9999}) {
    const TDateTimeParts parts = DecodeDateTime(EncodeDateTime(year, 12, 31, 23, 59, 58, 500));
    EXPECT_EQ(parts.year, year);
    EXPECT_EQ(parts.month, 12);
    EXPECT_EQ(parts.day, 31);
    EXPECT_EQ(parts.second, 58);
    EXPECT_EQ(parts.millisecond, 500);
  }
  EXPECT_EQ(EncodeDateTime(2011, 3, 5), 40607.0);
}

}  // namespace
}  // namespace quorvex
