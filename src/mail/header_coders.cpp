#include "mail/header_coders.h"

#include "mail/charset_table.h"
#include "platform/text.h"
#include "platform/text_encoding.h"

namespace quorvex {

namespace {

bool startsWithNoCase(std::u16string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char16_t c = text[i];
    if (c >= 'a' && c <= 'z') c -= 32;
    char p = prefix[i];
    if (p >= 'a' && p <= 'z') p -= 32;
    if (c != static_cast<unsigned char>(p)) return false;
  }
  return true;
}

bool equalsNoCase(std::u16string_view text, std::string_view other) {
  return text.size() == other.size() && startsWithNoCase(text, other);
}

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
  if (startsWithNoCase(charset, "ISO")) return !equalsNoCase(charset, "ISO-2022-JP");
  return startsWithNoCase(charset, "WINDOWS") || startsWithNoCase(charset, "KOI8") ||
         startsWithNoCase(charset, "GB2312") || equalsNoCase(charset, "US-ASCII");
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
  return equalsNoCase(charset, "ISO-2022-JP");
}

std::u16string TQxHeaderCoder2022JP::Encode(std::u16string_view, std::u16string_view text) const {
  // The converter writes the escape sequences and closes an open run itself.
  return convertTo("ISO-2022-JP", text);
}

std::u16string TQxHeaderCoder2022JP::Decode(std::u16string_view, std::u16string_view bytes) const {
  return convertFrom("ISO-2022-JP", bytes);
}

bool TQxHeaderCoderUTF::CanHandle(std::u16string_view charset) const {
  return equalsNoCase(charset, "UTF-7") || equalsNoCase(charset, "UTF-8");
}

std::u16string TQxHeaderCoderUTF::Encode(std::u16string_view charset,
                                         std::u16string_view text) const {
  if (equalsNoCase(charset, "UTF-8")) return BytesToChars(toUtf8(text));
  return convertTo("UTF-7", text);
}

std::u16string TQxHeaderCoderUTF::Decode(std::u16string_view charset,
                                         std::u16string_view bytes) const {
  if (equalsNoCase(charset, "UTF-8")) return fromUtf8(CharsToBytes(bytes));
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
  _coders.push_back(std::move(coder));
}

const TQxHeaderCoder* TQxHeaderCoderList::ByCharSet(std::u16string_view charset) const {
  for (auto it = _coders.rbegin(); it != _coders.rend(); ++it)
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
