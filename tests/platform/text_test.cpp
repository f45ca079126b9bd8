#include "platform/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>

namespace quorvex {
namespace {

TEST(WholeNumber, SignDigitsAndBounds) {
  struct Case {
    const char16_t* text;
    long long min, max;
    bool signAllowed;
    std::optional<long long> value;
  };
  const Case cases[] = {
      {u"0", 0, 9, true, 0},
      {u"007", 0, 9, true, 7},
      {u"+7", 0, 9, true, 7},
      {u"-0", 0, 9, true, 0},
      {u"-1", 0, 9, true, std::nullopt},
      {u"9", 0, 9, true, 9},
      {u"10", 0, 9, true, std::nullopt},
      {u"-1", -1, 255, true, -1},
      {u"-2", -1, 255, true, std::nullopt},
      {u"255", -1, 255, true, 255},
      {u"256", -1, 255, true, std::nullopt},
      {u"+7", 0, 9, false, std::nullopt},
      {u"-0", 0, 9, false, std::nullopt},
      {u"2147483647", INT_MIN, INT_MAX, true, INT_MAX},
      {u"2147483648", INT_MIN, INT_MAX, true, std::nullopt},
      {u"-2147483648", INT_MIN, INT_MAX, true, INT_MIN},
      {u"-2147483649", INT_MIN, INT_MAX, true, std::nullopt},
      {u"9223372036854775807", LLONG_MIN, LLONG_MAX, true, LLONG_MAX},
      {u"9223372036854775808", LLONG_MIN, LLONG_MAX, true, std::nullopt},
      {u"-9223372036854775808", LLONG_MIN, LLONG_MAX, true, LLONG_MIN},
      {u"99999999999999999999999", LLONG_MIN, LLONG_MAX, true, std::nullopt},
      {u"", 0, 9, true, std::nullopt},
      {u"+", 0, 9, true, std::nullopt},
      {u"-", 0, 9, true, std::nullopt},
      {u" 1", 0, 9, true, std::nullopt},
      {u"1 ", 0, 9, true, std::nullopt},
      {u"1a", 0, 9, true, std::nullopt},
      {u"0x1", 0, 9, true, std::nullopt},
      {u"\uFF11", 0, 9, true, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.text));
    EXPECT_EQ(ParseWholeNumber(c.text, c.min, c.max, c.signAllowed), c.value);
  }
}

TEST(NoCase, OnlyAsciiLettersFold) {
  EXPECT_TRUE(EqualsNoCase(u"Config_Dir", u"CONFIG_dir"));
  EXPECT_FALSE(EqualsNoCase(u"config", u"configs"));
  EXPECT_FALSE(EqualsNoCase(u"\u00E9", u"\u00C9"));  // beyond ASCII nothing folds
  EXPECT_FALSE(EqualsNoCase(u"@", u"`"));            // the neighbours of the letters stay
  EXPECT_FALSE(EqualsNoCase(u"[", u"{"));
  EXPECT_TRUE(StartsWithNoCase(u"windows-1252", u"WINDOWS"));
  EXPECT_TRUE(StartsWithNoCase(u"ISO", u"iso"));
  EXPECT_FALSE(StartsWithNoCase(u"IS", u"iso"));
  EXPECT_TRUE(EndsWithNoCase(u"Enter Auth Username:", u"username:"));
  EXPECT_FALSE(EndsWithNoCase(u"name:", u"username:"));
  EXPECT_EQ(AsciiUpper(u'q'), u'Q');
  EXPECT_EQ(AsciiUpper(u'8'), u'8');
  EXPECT_EQ(AsciiUpper(u"auth=login \u00e9z"), u"AUTH=LOGIN \u00e9Z");
}

TEST(Trim, DropsEveryCharacterUpToTheBlank) {
  EXPECT_EQ(Trim(u" \t\r\n\x01x y\x1F "), u"x y");
  EXPECT_EQ(TrimLeft(u"  x "), u"x ");
  EXPECT_EQ(TrimRight(u"  x \x7F"), u"  x \x7F");  // DEL is above the blank
  EXPECT_EQ(Trim(u"   "), u"");
}

TEST(WithFullStop, EndsTheSentenceOnce) {
  EXPECT_EQ(WithFullStop(u"Permission denied"), u"Permission denied.");
  EXPECT_EQ(WithFullStop(u"(line 2, column 11)"), u"(line 2, column 11).");
  for (const char16_t* done : {u"Done.", u"Down!", u"Why?", u""})
    EXPECT_EQ(WithFullStop(done), done);
}

TEST(EscapeControls, ControlCharactersBecomeVisibleEscapes) {
  struct Case {
    std::u16string text, shown;
  };
  const Case cases[] = {
      {u"office", u"office"},
      {u"a\r\nBcc: x@evil\tRunning", u"a\\r\\nBcc: x@evil\\tRunning"},
      {std::u16string(u"a\0b", 3), u"a\\x00b"},
      {u"\x01\x1f\x7f", u"\\x01\\x1f\\x7f"},
      {u" ~\u0080Z\u00fcrich\\", u" ~\u0080Z\u00fcrich\\"},  // blank, tilde, above DEL, backslash
  };
  for (const Case& c : cases) EXPECT_EQ(EscapeControls(c.text), c.shown);
}

}  // namespace
}  // namespace quorvex
