#include "platform/text.h"

#include <cstdint>

namespace quorvex {

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

namespace {

void appendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
}

}  // namespace

std::string toUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // a lone surrogate has no UTF-8 form
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::u16string fromUtf8(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    const auto b = static_cast<uint8_t>(bytes[i]);
    int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
    char32_t cp = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool ok = extra >= 0 && i + extra < bytes.size();
    for (int k = 1; ok && k <= extra; ++k) {
      const auto cb = static_cast<uint8_t>(bytes[i + k]);
      if ((cb >> 6) != 2) ok = false;
      cp = (cp << 6) | (cb & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (ok && (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (!ok) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    appendUtf16(out, cp);
    i += extra + 1;
  }
  return out;
}

std::u16string TrimLeft(std::u16string_view text) {
  size_t b = 0;
  while (b < text.size() && text[b] <= 32) ++b;
  return std::u16string(text.substr(b));
}

std::u16string TrimRight(std::u16string_view text) {
  size_t e = text.size();
  while (e > 0 && text[e - 1] <= 32) --e;
  return std::u16string(text.substr(0, e));
}

std::u16string Trim(std::u16string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && text[b] <= 32) ++b;
  while (e > b && text[e - 1] <= 32) --e;
  return std::u16string(text.substr(b, e - b));
}

char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c; }

std::u16string AsciiUpper(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = AsciiUpper(c);
  return out;
}

bool LessNoCase(std::u16string_view a, std::u16string_view b) {
  const std::u16string upperA = AsciiUpper(a);
  const std::u16string upperB = AsciiUpper(b);
  return upperA != upperB ? upperA < upperB : a < b;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWithNoCase(std::u16string_view text, std::u16string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

std::optional<long long> ParseWholeNumber(std::u16string_view text, long long min, long long max,
                                          bool signAllowed) {
  size_t i = 0;
  const bool negative = signAllowed && !text.empty() && text[0] == u'-';
  if (signAllowed && !text.empty() && (text[0] == u'+' || text[0] == u'-')) i = 1;
  if (i == text.size() || min > max) return std::nullopt;
  // The largest magnitude the sign allows; the magnitude never passes it, so
  // nothing overflows however long the text.
  using Magnitude = unsigned long long;
  const Magnitude limit = negative ? (min < 0 ? Magnitude{0} - static_cast<Magnitude>(min) : 0)
                                   : (max < 0 ? 0 : static_cast<Magnitude>(max));
  Magnitude magnitude = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < u'0' || text[i] > u'9') return std::nullopt;
    const Magnitude digit = text[i] - u'0';
    if (digit > limit || magnitude > (limit - digit) / 10) return std::nullopt;
    magnitude = magnitude * 10 + digit;
  }
  const long long value = negative ? static_cast<long long>(Magnitude{0} - magnitude)
                                   : static_cast<long long>(magnitude);
  if (value < min || value > max) return std::nullopt;
  return value;
}

std::u16string WithFullStop(std::u16string_view text) {
  std::u16string sentence(text);
  if (!sentence.empty() && sentence.back() != u'.' && sentence.back() != u'!' &&
      sentence.back() != u'?')
    sentence += u'.';
  return sentence;
}

std::u16string EscapeControls(std::u16string_view text) {
  static constexpr char16_t kHex[] = u"0123456789abcdef";
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c >= 0x20 && c != 0x7F) {
      out += c;
    } else if (c == u'\r') {
      out += u"\\r";
    } else if (c == u'\n') {
      out += u"\\n";
    } else if (c == u'\t') {
      out += u"\\t";
    } else {
      out += u"\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace quorvex
