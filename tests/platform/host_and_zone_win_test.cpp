#include <gtest/gtest.h>

#include <windows.h>

#include "platform/clock.h"
#include "platform/host_name.h"
#include "platform/locale_info.h"

namespace quorvex {
namespace {

TEST(WindowsHost, NameIsTheComputersDnsName) {
  wchar_t buffer[256] = {};
  DWORD size = 256;
  ASSERT_TRUE(GetComputerNameExW(ComputerNameDnsHostname, buffer, &size));
  const std::u16string name = LocalHostName();
  EXPECT_FALSE(name.empty());
  EXPECT_EQ(name, std::u16string(buffer, buffer + size));
}

TEST(WindowsTime, ZoneOffsetIsMinusTheBias) {
  TIME_ZONE_INFORMATION zone{};
  const DWORD id = GetTimeZoneInformation(&zone);
  const long bias = zone.Bias + (id == TIME_ZONE_ID_DAYLIGHT   ? zone.DaylightBias
                                 : id == TIME_ZONE_ID_STANDARD ? zone.StandardBias
                                                               : 0);
  EXPECT_EQ(TClock::System().LocalZoneOffset(), -bias);
  // The local time agrees with the system's to within the test's own run.
  SYSTEMTIME now{};
  GetLocalTime(&now);
  const TDateTimeParts parts = DecodeDateTime(TClock::System().Now());
  EXPECT_EQ(parts.year, now.wYear);
  EXPECT_EQ(parts.month, now.wMonth);
}

TEST(WindowsLocale, UserLocaleIsTheSystemsLocaleName) {
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  ASSERT_GT(GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH), 0);
  const TLocaleName locale = UserLocale();
  std::string expected;
  for (const wchar_t* c = name; *c && *c != L'-'; ++c) expected += static_cast<char>(*c);
  EXPECT_EQ(locale.language, expected);
}

}  // namespace
}  // namespace quorvex
