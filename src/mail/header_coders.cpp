#include "mail/header_coders.h"

#include "mail/charset_table.h"
#include "platform/text.h"
#include "platform/text_encoding.h"

namespace quorvex {

namespace {

std::u16string convertTo(const std::string& converter, std::u16string_view text) {
  auto encoding = TEncoding::ForCharset(converter);
  if (!encoding) return {};
  return BytesToChars(encoding->GetBytes(text));
}

std::u16string convertFrom(const std::string& converter, std::u16string_view bytes) {
  auto encoding = TEncoding::ForCharset(converter);
  if (!encoding) return std::u16string(bytes);
  return encoding->GetString(CharsToBytes(bytes));
}

}  // namespace

std::u16string BytesToChars(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (unsigned char b : bytes) out += static_cast<char16_t>(b);
  return out;
}

std::string CharsToBytes(std::u16string_view chars) {
  std::string out;
  out.reserve(chars.size());
  for (char16_t c : chars) out += static_cast<char>(c <= 0xFF ? c : '?');
  return out;
}

bool TQxHeaderCoderPlain::CanHandle(std::u16string_view charset) const {
  if (StartsWithNoCase(charset, u"ISO")) return !EqualsNoCase(charset, u"ISO-2022-JP");
  return StartsWithNoCase(charset, u"WINDOWS") || StartsWithNoCase(charset, u"KOI8") ||
         StartsWithNoCase(charset, u"GB2312") || EqualsNoCase(charset, u"US-ASCII");
}

std::u16string TQxHeaderCoderPlain::Encode(std::u16string_view charset,
                                           std::u16string_view text) const {
  const std::string converter = CharSetConverterName(charset);
  if (!converter.empty()) return convertTo(converter, text);
  return BytesToChars(TEncoding::ISO88591().GetBytes(text));
}

std::u16string TQxHeaderCoderPlain::Decode(std::u16string_view charset,
                                           std::u16string_view bytes) const {
  const std::string converter = CharSetConverterName(charset);
  if (!converter.empty()) return convertFrom(converter, bytes);
  return std::u16string(bytes);
}

bool TQxHeaderCoder2022JP::CanHandle(std::u16string_view charset) const {
  return EqualsNoCase(charset, u"ISO-2022-JP");
}

namespace {

// Full-width forms of the half-width katakana U+FF61..U+FF9F, which
// ISO-2022-JP cannot hold.
constexpr char16_t kFullWidthKatakana[] = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9,
    0x30E3, 0x30E5, 0x30E7, 0x30C3, 0x30FC, 0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB,
    0x30AD, 0x30AF, 0x30B1, 0x30B3, 0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, 0x30C1,
    0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC, 0x30CD, 0x30CE, 0x30CF, 0x30D2, 0x30D5,
    0x30D8, 0x30DB, 0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, 0x30E4, 0x30E6, 0x30E8, 0x30E9,
    0x30EA, 0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, 0x309B, 0x309C};

// Half-width katakana as full-width, a following (semi-)voiced sound mark
// merged where a combined form exists.
std::u16string widenKatakana(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < 0xFF61 || c > 0xFF9F) {
      out += c;
      continue;
    }
    char16_t wide = kFullWidthKatakana[c - 0xFF61];
    const char16_t next = i + 1 < text.size() ? text[i + 1] : 0;
    const bool kaToTo = c >= 0xFF76 && c <= 0xFF84, haToHo = c >= 0xFF8A && c <= 0xFF8E;
    if (next == 0xFF9E && (kaToTo || haToHo || c == 0xFF73)) {
      wide = c == 0xFF73 ? char16_t{0x30F4} : static_cast<char16_t>(wide + 1);
      ++i;
    } else if (next == 0xFF9F && haToHo) {
      wide = static_cast<char16_t>(wide + 2);
      ++i;
    }
    out += wide;
  }
  return out;
}

}  // namespace

std::u16string TQxHeaderCoder2022JP::Encode(std::u16string_view, std::u16string_view text) const {
  // The converter writes the escape sequences and closes an open run itself.
  return convertTo("ISO-2022-JP", widenKatakana(text));
}

std::u16string TQxHeaderCoder2022JP::Decode(std::u16string_view, std::u16string_view bytes) const {
  return convertFrom("ISO-2022-JP", bytes);
}

bool TQxHeaderCoderUTF::CanHandle(std::u16string_view charset) const {
  return EqualsNoCase(charset, u"UTF-7") || EqualsNoCase(charset, u"UTF-8");
}

std::u16string TQxHeaderCoderUTF::Encode(std::u16string_view charset,
                                         std::u16string_view text) const {
  if (EqualsNoCase(charset, u"UTF-8")) return BytesToChars(toUtf8(text));
  return convertTo("UTF-7", text);
}

std::u16string TQxHeaderCoderUTF::Decode(std::u16string_view charset,
                                         std::u16string_view bytes) const {
  if (EqualsNoCase(charset, u"UTF-8")) return fromUtf8(CharsToBytes(bytes));
  return convertFrom("UTF-7", bytes);
}

bool TQxHeaderCoderCodePage::CanHandle(std::u16string_view charset) const {
  return !CharSetConverterName(charset).empty();
}

std::u16string TQxHeaderCoderCodePage::Encode(std::u16string_view charset,
                                              std::u16string_view text) const {
  return convertTo(CharSetConverterName(charset), text);
}

std::u16string TQxHeaderCoderCodePage::Decode(std::u16string_view charset,
                                              std::u16string_view bytes) const {
  return convertFrom(CharSetConverterName(charset), bytes);
}

void TQxHeaderCoderList::Register(std::unique_ptr<TQxHeaderCoder> coder) {
  FCoders.push_back(std::move(coder));
}

const TQxHeaderCoder* TQxHeaderCoderList::ByCharSet(std::u16string_view charset) const {
  for (auto it = FCoders.rbegin(); it != FCoders.rend(); ++it)
    if ((*it)->CanHandle(charset)) return it->get();
  return nullptr;
}

const TQxHeaderCoderList& TQxHeaderCoderList::Default() {
  static const TQxHeaderCoderList list = [] {
    TQxHeaderCoderList coders;
    coders.Register(std::make_unique<TQxHeaderCoderCodePage>());
    coders.Register(std::make_unique<TQxHeaderCoderUTF>());
    coders.Register(std::make_unique<TQxHeaderCoder2022JP>());
    coders.Register(std::make_unique<TQxHeaderCoderPlain>());
    return coders;
  }();
  return list;
}

}  // namespace quorvex
