#include "mail/header_encoding.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "mail/body_encoders.h"
#include "mail/charset_table.h"
#include "mail/email_address.h"
#include "mail/header_coders.h"
#include "platform/text.h"
#include "support/raises.h"

namespace quorvex {
namespace {

struct EncodeCase {
  std::u16string text;
  char16_t letter;
  std::u16string charset;
  std::u16string expected;
};

TEST(EncodeHeaderText, EncodesOnlyTheWordsThatNeedIt) {
  const EncodeCase cases[] = {
      {u"Quorvex SMTP Test", 'B', u"UTF-8", u"Quorvex SMTP Test"},
      {u"", 'B', u"UTF-8", u""},
      {u"Pr\u00FCfung fehlgeschlagen", 'B', u"UTF-8", u"=?UTF-8?B?UHLDvGZ1bmc=?= fehlgeschlagen"},
      {u"Server vpn01: Verbindung fehlgeschlagen (Zeit\u00FCberschreitung)", 'B', u"UTF-8",
       u"Server vpn01: Verbindung fehlgeschlagen =?UTF-8?B?KFplaXTDvGJlcnNjaHJlaXR1bmcp?="},
      {u"Gr\u00F6\u00DFe = 5", 'B', u"UTF-8", u"=?UTF-8?B?R3LDtsOfZQ==?= = 5"},
      // Two words that need encoding become one run, blank included.
      {u"B\u00FCro S\u00FCd", 'B', u"UTF-8", u"=?UTF-8?B?QsO8cm8gU8O8ZA==?="},
      // Blanks around a run stay outside it.
      {u"  \u00FC\tok ", 'B', u"UTF-8", u"  =?UTF-8?B?w7w=?=\tok "},
      {u"a=b", 'B', u"UTF-8", u"a=b"},
      // Once a decodable encoded word is present, every word with "=" is encoded.
      {u"Re: =?UTF-8?B?QQ==?= a=b", 'B', u"UTF-8", u"Re: =?UTF-8?B?PT9VVEYtOD9CP1FRPT0/PSBhPWI=?="},
      {u"Pr\u00FCfung fehlgeschlagen", 'Q', u"ISO-8859-1",
       u"=?ISO-8859-1?Q?Pr=FCfung?= fehlgeschlagen"},
      {u"\u00E9t\u00E9 a_b=c?", 'Q', u"ISO-8859-1", u"=?ISO-8859-1?Q?=E9t=E9?= a_b=c?"},
      {u"\u00E9 x=? \u00E9", 'q', u"ISO-8859-1", u"=?ISO-8859-1?Q?=E9?= x=? =?ISO-8859-1?Q?=E9?="},
      {u"\u00E9 \u00E9", 'Q', u"UTF-8", u"=?UTF-8?Q?=C3=A9_=C3=A9?="},
      // Letter 8: the converted bytes as they are.
      {u"\u00E9", '8', u"UTF-8", u"\u00C3\u00A9"},
      // Cyrillic through a real KOI8-R converter.
      {u"\u0422\u0435\u0441\u0442", 'B', u"KOI8-R", u"=?KOI8-R?B?9MXT1A==?="},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(toUtf8(c.text));
    EXPECT_EQ(EncodeHeaderText(c.text, u"", c.letter, c.charset), c.expected);
  }
}

TEST(EncodeHeaderText, SpecialsForceEncodingOfDisplayNames) {
  EXPECT_EQ(EncodeHeaderText(u"\u00FC, x", kDisplayNameSpecials, 'Q', u"ISO-8859-1"),
            u"=?ISO-8859-1?Q?=FC=2C?= x");
  EXPECT_EQ(EncodeHeaderText(u"a.b c", kDisplayNameSpecials, 'B', u"UTF-8"), u"=?UTF-8?B?YS5i?= c");
}

TEST(EncodeHeaderText, SplitsLongRunsIntoWordsOfAtMost75) {
  std::u16string text;
  for (int i = 0; i < 8; ++i) text += u"\u00DCn\u00EFc\u00F6d\u00E9 ";
  EXPECT_EQ(EncodeHeaderText(text, u"", 'B', u"UTF-8"),
            u"=?UTF-8?B?w5xuw69jw7Zkw6kgw5xuw69jw7Zkw6kgw5xuw69jw7Zkw6kgw5xuw69jw7Zk?=\r\n "
            u"=?UTF-8?B?w6kgw5xuw69jw7Zkw6kgw5xuw69jw7Zkw6kgw5xuw69jw7Zkw6kgw5xuw69j?=\r\n "
            u"=?UTF-8?B?w7Zkw6k=?= ");
}

// The bytes an encoded word carries.
std::string wordBytes(std::u16string_view word) {
  const size_t letterAt = word.find(u'?', 2) + 1;
  const std::u16string_view data = word.substr(letterAt + 2, word.size() - letterAt - 4);
  if (word[letterAt] == u'B') return TQxDecoderMIME::Decode(CharsToBytes(data));
  std::string bytes;
  for (size_t i = 0; i < data.size(); ++i) {
    if (data[i] == u'_') {
      bytes += ' ';
    } else if (data[i] == u'=' && i + 2 < data.size()) {
      bytes += static_cast<char>(std::stoi(toUtf8(data.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      bytes += static_cast<char>(data[i]);
    }
  }
  return bytes;
}

// Random texts in each header charset: every encoded word is at most 75
// characters, decodes on its own to whole characters, and the whole value
// decodes back to the text. In ISO-2022-JP every word starts and ends in
// ASCII mode, so a reader that takes each word alone reads it right.
TEST(EncodeHeaderText, EveryEncodedWordHoldsWholeCharacters) {
  struct Case {
    std::u16string charset;
    std::vector<std::u16string> alphabet;  // the first needs encoding
  };
  const Case cases[] = {
      {u"UTF-8", {u"\u00E9", u"a", u"\u20AC", u"\u6F22", u"\U0001F600", u" ", u"=", u"?", u"_"}},
      // Simplified Chinese, double-byte.
      {u"GB2312", {u"\u6C49", u"a", u"\u5B57", u"\u4E2D", u"\uFF0C", u" ", u"=", u"?", u"_"}},
      // Traditional Chinese; the second byte of these two is a backslash.
      {u"Big5", {u"\u4E2D", u"a", u"\u8A31", u"\u529F", u"\u6587", u" ", u"=", u"?", u"_"}},
      // Korean, with a syllable from the extended range.
      {u"csEUCKR", {u"\uD55C", u"a", u"\uAD6D", u"\uC5B4", u"\uB620", u" ", u"=", u"?", u"_"}},
      // Japanese: JIS X 0208 runs between escapes, and the yen sign of JIS X 0201.
      {u"ISO-2022-JP",
       {u"\u65E5", u"a", u"\u672C", u"\u30A2", u"\u3002", u"\u00A5", u" ", u"=", u"?", u"_"}},
  };
  std::mt19937 random(7);
  for (const auto& c : cases) {
    for (char16_t letter : {u'B', u'Q'}) {
      for (int round = 0; round < 200; ++round) {
        std::u16string text = c.alphabet[0];
        const int length = std::uniform_int_distribution<int>(1, 120)(random);
        for (int i = 0; i < length; ++i) text += c.alphabet[random() % c.alphabet.size()];
        SCOPED_TRACE(toUtf8(c.charset) + " " + char(letter) + " " + toUtf8(text));
        const std::u16string value = EncodeHeaderText(text, u"", letter, c.charset);
        const std::u16string begin = u"=?" + c.charset + u"?" + letter + u"?";
        for (size_t p = 0; (p = value.find(begin, p)) != std::u16string::npos;) {
          const size_t close = value.find(u"?=", p + begin.size());
          ASSERT_NE(close, std::u16string::npos);
          const std::u16string word = value.substr(p, close + 2 - p);
          EXPECT_LE(word.size(), 75u) << toUtf8(word);
          const std::u16string decoded = DecodeHeaderText(word);
          EXPECT_EQ(decoded.find(u'\uFFFD'), std::u16string::npos) << toUtf8(word);
          EXPECT_NE(decoded, word) << "decodes on its own";
          if (c.charset == u"ISO-2022-JP") {
            const std::string bytes = wordBytes(word);
            const size_t lastEscape = bytes.rfind('\x1B');
            if (lastEscape != std::string::npos) {
              EXPECT_EQ(bytes.substr(lastEscape, 3), "\x1B(B") << "ends in ASCII mode: " << bytes;
            }
          }
          p = close + 2;
        }
        EXPECT_EQ(DecodeHeaderText(value), text);
      }
    }
  }
}

TEST(HeaderTextToBytes, FailsForACharsetWithoutCoder) {
  for (const char16_t* charset : {u"UNICODE-1-1", u"x-unknown", u""}) {
    EXPECT_EQ(
        test::MessageOf<EQxHeaderEncodeError>([&] { EncodeHeaderText(u"", u"", 'B', charset); }),
        u"Could not encode header data using charset \"" + std::u16string(charset) + u"\"");
  }
}

TEST(HeaderCoderList, FindsCodersInLookupOrder) {
  struct Case {
    std::u16string charset;
    const char* coder;
  };
  const Case cases[] = {
      {u"UTF-8", "UTF"},         {u"utf-7", "UTF"},          {u"GB2312", "Plain"},
      {u"KOI8-R", "Plain"},      {u"windows-1251", "Plain"}, {u"ISO-8859-1", "Plain"},
      {u"US-ASCII", "Plain"},    {u"ISO-2022-JP", "2022JP"}, {u"iso-2022-jp", "2022JP"},
      {u"Big5", "CodePage"},     {u"csEUCKR", "CodePage"},   {u"Shift_JIS", "CodePage"},
      {u"UTF-16LE", "CodePage"}, {u"UNICODE-1-1", nullptr},  {u"x-unknown", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(toUtf8(c.charset));
    const TQxHeaderCoder* coder = TQxHeaderCoderList::Default().ByCharSet(c.charset);
    if (!c.coder) {
      EXPECT_EQ(coder, nullptr);
      continue;
    }
    ASSERT_NE(coder, nullptr);
    const char* found = dynamic_cast<const TQxHeaderCoderUTF*>(coder)        ? "UTF"
                        : dynamic_cast<const TQxHeaderCoderPlain*>(coder)    ? "Plain"
                        : dynamic_cast<const TQxHeaderCoder2022JP*>(coder)   ? "2022JP"
                        : dynamic_cast<const TQxHeaderCoderCodePage*>(coder) ? "CodePage"
                                                                             : "?";
    EXPECT_STREQ(found, c.coder);
  }
}

TEST(HeaderCoders, ConvertToTheCharsetsBytes) {
  struct Case {
    std::u16string charset, text;
    std::string bytes;
  };
  const Case cases[] = {
      {u"ISO-2022-JP", u"a\u65E5\u672Cb", "a\x1B$BF|K\\\x1B(Bb"},
      // Half-width katakana become full-width, sound marks merged.
      {u"ISO-2022-JP", u"\uFF76\uFF9E\uFF8A\uFF9F\uFF73\uFF9E\uFF71\uFF9E",
       "\x1B$B%,%Q%t%\"!+\x1B(B"},
      // A run open at the end is closed.
      {u"ISO-2022-JP", u"\u65E5", "\x1B$BF|\x1B(B"},
      {u"Big5", u"\u4E2D", "\xA4\xA4"},
      {u"csEUCKR", u"\uD55C", "\xC7\xD1"},
      {u"windows-1251", u"\u0416", "\xC6"},
      {u"ISO-8859-1", u"\u00FC\u20AC", "\xFC?"},
      {u"UTF-7", u"\u00E9", "+AOk-"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(toUtf8(c.charset));
    const std::u16string converted = HeaderTextToBytes(c.charset, c.text);
    EXPECT_EQ(CharsToBytes(converted), c.bytes);
    const auto* coder = TQxHeaderCoderList::Default().ByCharSet(c.charset);
    if (c.bytes.find('?') == std::string::npos && c.text.find(u'\uFF76') == std::u16string::npos) {
      EXPECT_EQ(coder->Decode(c.charset, converted), c.text);
    }
  }
}

TEST(DecodeHeaderText, DecodesEncodedWordsAndLeavesTheRest) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"plain text", u"plain text"},
      {u"=?UTF-8?B?w7w=?= x", u"\u00FC x"},
      {u"=?utf-8?b?w7w=?= \t =?UTF-8?Q?=C3=BC_a?=", u"\u00FC\u00FC a"},
      {u"=?ISO-8859-1?8?\u00FC?=", u"\u00FC"},
      {u"=?UTF-8?X?abc?= =?nope?B?QQ==?=", u"=?UTF-8?X?abc?= =?nope?B?QQ==?="},
      {u"=?UTF-8?B?QQ==?=\r\n =?UTF-8?B?Qg==?=", u"AB"},
      {u"=?UTF-8?B?AEEA?=", u"A"},  // NUL characters removed
      {u"x =?UTF-8?B?QQ==?=)", u"x =?UTF-8?B?QQ==?=)"},
  };
  for (const auto& [value, text] : cases) {
    SCOPED_TRACE(toUtf8(value));
    EXPECT_EQ(DecodeHeaderText(value), text);
  }
}

TEST(DefaultHeaderCharSet, FollowsTheLocaleLanguage) {
  const std::pair<const char*, const char16_t*> cases[] = {
      {"zh_CN.UTF-8", u"GB2312"},
      {"zh_SG", u"GB2312"},
      {"zh_TW.UTF-8", u"Big5"},
      {"zh_HK", u"Big5"},
      {"ja_JP.UTF-8", u"ISO-2022-JP"},
      {"ko_KR.EUC-KR", u"csEUCKR"},
      {"ru_RU.KOI8-R", u"KOI8-R"},
      {"uk_UA.UTF-8", u"windows-1251"},
      {"de_DE@euro", u"UTF-8"},
      {"C.UTF-8", u"UTF-8"},
      {"", u"UTF-8"},
  };
  for (const auto& [locale, charset] : cases) {
    SCOPED_TRACE(locale);
    EXPECT_EQ(HeaderCharSetForLocale(ParseLocaleName(locale)), charset);
  }
  // The user's locale comes from LC_ALL before LC_CTYPE and LANG.
  const char* saved = std::getenv("LC_ALL");
  const std::string keep = saved ? saved : "";
  setenv("LC_ALL", "ru_RU.UTF-8", 1);
  EXPECT_EQ(DefaultHeaderCharSet(), u"KOI8-R");
  if (saved)
    setenv("LC_ALL", keep.c_str(), 1);
  else
    unsetenv("LC_ALL");
}

TEST(CharSetTextEncoding, MapsTableNamesAndFallsBackToLatin1) {
  struct Case {
    std::u16string charset, text;
    std::string bytes;
  };
  const Case cases[] = {
      {u"", u"\u00E9\u20AC", "\xE9?"},     {u"x-unknown", u"\u00E9", "\xE9"},
      {u"UNICODE-1-1", u"\u00E9", "\xE9"}, {u"utf-8", u"\u00E9", "\xC3\xA9"},
      {u"us-ascii", u"\u20AC", "\x80"},  // Western European code page
      {u"ISO-8859-9", u"\u011F", "\xF0"},  {u"latin2", u"\u0141", "\xA3"},
      {u"KOI8-R", u"\u0416", "\xF6"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(toUtf8(c.charset));
    const auto encoding = CharSetTextEncoding(c.charset);
    ASSERT_NE(encoding, nullptr);
    EXPECT_EQ(encoding->GetBytes(c.text), c.bytes);
  }
}

TEST(CharsetTable, HoldsTheTellingRows) {
  const std::pair<const char16_t*, int> cases[] = {
      {u"UTF-8", 65001},       {u"UTF-7", 65000},  {u"ISO-8859-1", 28591},  {u"windows-1251", 1251},
      {u"WINDOWS-1252", 1252}, {u"KOI8-R", 20866}, {u"Big5", 950},          {u"GB2312", 936},
      {u"csEUCKR", 949},       {u"EUC-KR", 949},   {u"ISO-2022-JP", 50220}, {u"Shift_JIS", 932},
      {u"US-ASCII", 1252},     {u"csASCII", 1252}, {u"ISO-8859-9", 1254},   {u"UNICODE-1-1", 0},
      {u"no-such-charset", 0},
  };
  for (const auto& [name, codePage] : cases)
    EXPECT_EQ(CharSetToCodePage(name), codePage) << toUtf8(name);
}

}  // namespace
}  // namespace quorvex
