#include "settings/value_text.h"

#include <gtest/gtest.h>

#include <limits>

#include "platform/exception.h"
#include "platform/text.h"
#include "support/raises.h"

namespace quorvex {
namespace {

TEST(ValueText, Integers) {
  const std::pair<const char16_t*, int32_t> valid[] = {
      {u"0", 0},
      {u"587", 587},
      {u"-25", -25},
      {u"+7", 7},
      {u" 42\t", 42},
      {u"007", 7},
      {u"2147483647", std::numeric_limits<int32_t>::max()},
      {u"-2147483648", std::numeric_limits<int32_t>::min()},
  };
  for (const auto& [text, value] : valid) {
    SCOPED_TRACE(toUtf8(text));
    EXPECT_EQ(textToInt32(text), value);
  }
  for (const char16_t* text :
       {u"", u"abc", u"12a", u"1 2", u"-", u"+", u"2147483648", u"-2147483649",
        u"99999999999999999999", u"0x10", u"1.0", u"\uFF11"}) {
    SCOPED_TRACE(toUtf8(text));
    EXPECT_EQ(test::MessageOf<EConvertError>([&] { textToInt32(text); }),
              u"''" + std::u16string(text) + u"'' is not a valid integer value");
  }
  EXPECT_EQ(int32ToText(std::numeric_limits<int32_t>::min()), u"-2147483648");
  EXPECT_EQ(int32ToText(90), u"90");
}

TEST(ValueText, Booleans) {
  const std::pair<const char16_t*, bool> valid[] = {
      {u"true", true},   {u"TRUE", true},   {u"tRuE", true},
      {u"false", false}, {u"False", false}, {u"1", true},
      {u"0", false},     {u"-1", true},     {u"0.0", false},
      {u"-0", false},    {u"0.5", true},    {u"1e3", true},
      {u"0e9", false},   {u" true ", true}, {u"12345678901234567890", true},
  };
  for (const auto& [text, value] : valid) {
    SCOPED_TRACE(toUtf8(text));
    EXPECT_EQ(textToBool(text), value);
  }
  for (const char16_t* text : {u"", u"yes", u"on", u"tru", u"truex", u"1x", u".", u"1e", u"-"}) {
    SCOPED_TRACE(toUtf8(text));
    EXPECT_EQ(test::MessageOf<EConvertError>([&] { textToBool(text); }),
              u"''" + std::u16string(text) + u"'' is not a valid boolean value");
  }
  EXPECT_EQ(boolToText(true), u"true");
  EXPECT_EQ(boolToText(false), u"false");
}

}  // namespace
}  // namespace quorvex
