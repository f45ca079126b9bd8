// Encoded words: at most 75 characters each, and decoding gives the text back.
#include "fuzz_input.h"
#include "mail/email_address.h"
#include "mail/header_encoding.h"

using namespace quorvex;

namespace {

bool isValidUtf16(const std::u16string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == 0) return false;  // decoding drops NUL characters
    if (c >= 0xDC00 && c <= 0xDFFF) return false;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      ++i;
    }
  }
  return true;
}

void checkWordLengths(const std::u16string& value, const std::u16string& begin) {
  for (size_t p = 0; (p = value.find(begin, p)) != std::u16string::npos;) {
    const size_t close = value.find(u"?=", p + begin.size());
    fuzzing::Check(close != std::u16string::npos);
    fuzzing::Check(close + 2 - p <= 75);
    p = close + 2;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const char16_t letter = (data[0] & 2) ? u'Q' : u'B';
  const std::u16string text = fuzzing::TextFrom(data, size);
  const bool plainSource =
      DecodeHeaderText(text) == text && text.find(u"=?UTF-8?") == std::u16string::npos;
  for (std::u16string_view specials : {std::u16string_view(), kDisplayNameSpecials}) {
    const std::u16string value = EncodeHeaderText(text, specials, letter, u"UTF-8");
    if (plainSource) checkWordLengths(value, std::u16string(u"=?UTF-8?") + letter + u"?");
    if (plainSource && isValidUtf16(text)) fuzzing::Check(DecodeHeaderText(value) == text);
  }
  EncodeHeaderText(text, u"", letter, u"ISO-2022-JP");
  EncodeHeaderText(text, u"", letter, u"KOI8-R");
  return 0;
}
