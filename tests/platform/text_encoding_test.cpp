#include "platform/text_encoding.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace quorvex {
namespace {

TEST(Utf, RoundTripsAndRepairsInvalidInput) {
  const std::u16string text = u"a\u00FC\u20AC\U0001F600";
  EXPECT_EQ(fromUtf8(toUtf8(text)), text);
  EXPECT_EQ(fromUtf8("a\xFF"
                     "b"),
            u"a\uFFFDb");
  EXPECT_EQ(fromUtf8("\xE2\x82"), u"\uFFFD\uFFFD");  // truncated sequence
  EXPECT_EQ(fromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong form
  EXPECT_EQ(toUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

struct EncodingCase {
  const TEncoding* encoding;
  std::u16string text;
  std::string bytes;
  std::u16string decoded;
};

TEST(TEncoding, ConvertsAndSubstitutes) {
  auto latin2 = TEncoding::ForCharset("ISO-8859-2");
  ASSERT_NE(latin2, nullptr);
  const EncodingCase cases[] = {
      {&TEncoding::ASCII(), u"Az\u00E9\U0001F600", "Az??", u"Az??"},
      {&TEncoding::ISO88591(), u"\u00E9\u20AC", "\xE9?", u"\u00E9?"},
      {&TEncoding::UTF8(), u"\u00E9", "\xC3\xA9", u"\u00E9"},
      {latin2.get(), u"\u0141\u00E9\u20AC", "\xA3\xE9?", u"\u0141\u00E9?"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.encoding->CharsetName());
    EXPECT_EQ(c.encoding->GetBytes(c.text), c.bytes);
    EXPECT_EQ(c.encoding->GetString(c.bytes), c.decoded);
  }
  EXPECT_EQ(TEncoding::ASCII().GetString("\x80"), u"?");
  EXPECT_EQ(TEncoding::ISO88591().GetString("\xFF"), u"\u00FF");
  EXPECT_EQ(TEncoding::ForCharset("no-such-charset"), nullptr);
}

}  // namespace
}  // namespace quorvex
