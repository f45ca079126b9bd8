#include <gtest/gtest.h>

#include <windows.h>

#include "platform/text_encoding.h"

namespace quorvex {
namespace {

// The system's ANSI code page, as the console children and configuration
// files use it: what it cannot hold becomes its substitute.
TEST(WindowsCodePage, SystemIsTheAnsiCodePage) {
  const TEncoding& system = TEncoding::System();
  const std::u16string text = u"Gr\u00FC\u00DFe";
  char expected[16] = {};
  const int n = WideCharToMultiByte(GetACP(), 0, reinterpret_cast<const wchar_t*>(text.c_str()), 5,
                                    expected, sizeof expected, nullptr, nullptr);
  EXPECT_EQ(system.GetBytes(text), std::string(expected, n));
  EXPECT_EQ(system.GetString(system.GetBytes(text)), text);
  if (GetACP() == 1252) {
    EXPECT_EQ(system.CharsetName(), "windows-1252");
    EXPECT_EQ(system.GetBytes(u"\u0416"), "?");  // Cyrillic Zhe is not in Western European
  }
}

struct CharsetCase {
  const char* name;
  std::u16string text;
  std::string bytes;
};

TEST(WindowsCodePage, CharsetsByTheirConverterNames) {
  const CharsetCase cases[] = {
      {"UTF-8", u"\u00E9\u20AC", "\xC3\xA9\xE2\x82\xAC"},
      {"CP1252", u"\u20AC", "\x80"},
      {"windows-1251", u"\u0416", "\xC6"},
      {"ISO-8859-2", u"\u0141", "\xA3"},
      {"ISO-8859-15", u"\u20AC", "\xA4"},
      {"KOI8-R", u"\u0416", "\xF6"},
      {"GB2312", u"\u4E2D", "\xD6\xD0"},
      {"CP932", u"\u3042", "\x82\xA0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto encoding = TEncoding::ForCharset(c.name);
    ASSERT_NE(encoding, nullptr);
    EXPECT_EQ(encoding->GetBytes(c.text), c.bytes);
    EXPECT_EQ(encoding->GetString(c.bytes), c.text);
    EXPECT_EQ(encoding->CharsetName(), c.name);
  }
  for (const char* unknown : {"x-unknown", "CP", "ISO-8859-99", "CP99999999"})
    EXPECT_EQ(TEncoding::ForCharset(unknown), nullptr) << unknown;
}

}  // namespace
}  // namespace quorvex
