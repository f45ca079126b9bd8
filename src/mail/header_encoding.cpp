#include "mail/header_encoding.h"

#include <algorithm>

#include "mail/body_encoders.h"
#include "mail/charset_table.h"
#include "mail/header_coders.h"
#include "platform/text.h"

namespace quorvex {

namespace {

bool isBlank(char16_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool isQLiteral(char16_t c) {
  return (c >= 33 && c <= 60) || c == 62 || (c >= 64 && c <= 94) || (c >= 96 && c <= 126);
}

bool isUtf8Continuation(char16_t c) { return c >= 0x80 && c <= 0xBF; }

void appendHex(std::u16string& out, char16_t byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += u'=';
  out += static_cast<char16_t>(kHex[(byte >> 4) & 15]);
  out += static_cast<char16_t>(kHex[byte & 15]);
}

constexpr char16_t kEscape = 0x1B;
constexpr std::u16string_view kToAscii = u"\x1B(B";

// How the converted bytes of a charset group into characters.
enum class TByteLayout { Single, Utf8, DoubleByte, ShiftJis, Iso2022Jp };

TByteLayout byteLayoutOf(std::u16string_view charset) {
  if (EqualsNoCase(charset, u"UTF-8")) return TByteLayout::Utf8;
  switch (CharSetToCodePage(charset)) {
    case 936:    // GB2312, GBK
    case 949:    // EUC-KR, UHC
    case 950:    // Big5
    case 54936:  // GB18030
      return TByteLayout::DoubleByte;
    case 932:
      return TByteLayout::ShiftJis;
    case 50220:
      return TByteLayout::Iso2022Jp;
    default:
      return TByteLayout::Single;
  }
}

// One character of converted bytes, with the ISO-2022 designation in effect
// for it (empty for ASCII).
struct TCharBytes {
  std::u16string_view bytes;
  std::u16string_view designation;
};

// Reads a run of converted bytes character by character. Runs start at a
// word, so at a character boundary and (ISO-2022-JP) in ASCII mode.
class TCharacterReader {
 public:
  TCharacterReader(std::u16string_view run, TByteLayout layout) : _run(run), _layout(layout) {}

  // The next character, or false at the end of the run.
  bool Next(TCharBytes& c) {
    while (_at < _run.size()) {
      const std::u16string_view run = _run;
      size_t& i = _at;
      const char16_t b = run[i];
      size_t width = 1;
      switch (_layout) {
        case TByteLayout::Single:
          break;
        case TByteLayout::Utf8:
          if (b >= 0xC0)
            while (i + width < run.size() && width < 4 && isUtf8Continuation(run[i + width]))
              ++width;
          break;
        case TByteLayout::DoubleByte:
          // A lead byte takes one trail byte; GB18030 has four-byte forms with a digit second.
          if (b >= 0x81 && b <= 0xFE) {
            const bool four = i + 1 < run.size() && run[i + 1] >= '0' && run[i + 1] <= '9';
            width = four ? 4 : 2;
          }
          break;
        case TByteLayout::ShiftJis:
          if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) width = 2;
          break;
        case TByteLayout::Iso2022Jp:
          if (b == kEscape) {
            size_t end = i + 1;
            while (end < run.size() && run[end] >= 0x20 && run[end] <= 0x2F) ++end;
            if (end < run.size()) ++end;
            _designation = run.substr(i, end - i);
            if (_designation == kToAscii) _designation = {};
            i = end;
            continue;
          }
          if (_designation.starts_with(u"\x1B$")) width = 2;
          break;
      }
      width = std::min(width, run.size() - i);
      c = {run.substr(i, width), _designation};
      i += width;
      return true;
    }
    return false;
  }

 private:
  std::u16string_view _run;
  TByteLayout _layout;
  size_t _at = 0;
  std::u16string_view _designation;
};

// Writes a run as encoded words of at most 75 characters. A word never ends
// inside a character of the charset, and in ISO-2022-JP every word starts and
// ends in ASCII mode, so that each word decodes on its own.
class TEncodedWordWriter {
 public:
  TEncodedWordWriter(std::u16string& out, std::u16string_view charset, char16_t letter,
                     std::u16string_view specials)
      : _out(out), _letter(letter), _specials(specials), _layout(byteLayoutOf(charset)) {
    _begin = u"=?";
    _begin += charset;
    _begin += u'?';
    _begin += letter;
    _begin += u'?';
  }

  void Write(std::u16string_view run) {
    const size_t room = kMaxWord > _begin.size() + 2 ? kMaxWord - _begin.size() - 2 : 0;
    std::u16string word;  // the bytes of the word being filled
    std::u16string_view designation;
    bool first = true;
    const auto finish = [&] {
      if (!designation.empty()) word += kToAscii;
      if (!first) _out += u"\r\n ";
      _out += _begin;
      _out += encode(word);
      _out += u"?=";
      first = false;
      word.clear();
      designation = {};
    };
    TCharacterReader reader(run, _layout);
    for (TCharBytes c; reader.Next(c);) {
      std::u16string piece;
      if (c.designation != designation) piece += c.designation.empty() ? kToAscii : c.designation;
      piece += c.bytes;
      // The word must still have room to return to ASCII after this character.
      std::u16string candidate = word + piece;
      if (!c.designation.empty()) candidate += kToAscii;
      if (!word.empty() && encodedLength(candidate) > room) {
        finish();
        piece.clear();
        if (!c.designation.empty()) piece += c.designation;
        piece += c.bytes;
      }
      word += piece;
      designation = c.designation;
    }
    finish();
  }

 private:
  static constexpr size_t kMaxWord = 75;

  size_t encodedLength(std::u16string_view bytes) const {
    if (_letter != 'Q') return (bytes.size() + 2) / 3 * 4;
    size_t length = 0;
    for (const char16_t c : bytes) length += qLiteral(c) ? 1 : 3;
    return length;
  }

  bool qLiteral(char16_t c) const {
    return c == ' ' || (isQLiteral(c) && _specials.find(c) == std::u16string_view::npos);
  }

  std::u16string encode(std::u16string_view bytes) const {
    if (_letter != 'Q') return fromUtf8(TQxEncoderMIME::Encode(CharsToBytes(bytes)));
    std::u16string text;
    for (const char16_t c : bytes) {
      if (c == ' ')
        text += u'_';
      else if (qLiteral(c))
        text += c;
      else
        appendHex(text, c);
    }
    return text;
  }

  std::u16string& _out;
  char16_t _letter;
  std::u16string_view _specials;
  TByteLayout _layout;
  std::u16string _begin;
};

// Decodes one "=?charset?letter?data?=" word, or returns false.
bool decodeEncodedWord(std::u16string_view word, std::u16string& out) {
  if (word.size() < 8 || word.substr(0, 2) != u"=?" || word.substr(word.size() - 2) != u"?=")
    return false;
  const size_t q1 = word.find(u'?', 2);
  if (q1 == std::u16string_view::npos || q1 + 2 >= word.size() || word[q1 + 2] != u'?')
    return false;
  const size_t dataStart = q1 + 3;
  if (dataStart > word.size() - 2) return false;
  const std::u16string_view charset = word.substr(2, q1 - 2);
  const char16_t letter = AsciiUpper(word[q1 + 1]);
  if (charset.empty() || (letter != 'B' && letter != 'Q' && letter != '8')) return false;
  const TQxHeaderCoder* coder = TQxHeaderCoderList::Default().ByCharSet(charset);
  if (!coder) return false;
  const std::u16string_view data = word.substr(dataStart, word.size() - 2 - dataStart);
  std::u16string bytes;
  if (letter == 'B') {
    bytes = BytesToChars(TQxDecoderMIME::Decode(CharsToBytes(data)));
  } else if (letter == 'Q') {
    auto hex = [](char16_t c) -> int {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      return -1;
    };
    for (size_t i = 0; i < data.size(); ++i) {
      if (data[i] == '_') {
        bytes += u' ';
      } else if (data[i] == '=' && i + 2 < data.size() && hex(data[i + 1]) >= 0 &&
                 hex(data[i + 2]) >= 0) {
        bytes += static_cast<char16_t>(hex(data[i + 1]) * 16 + hex(data[i + 2]));
        i += 2;
      } else {
        bytes += data[i];
      }
    }
  } else {
    bytes = std::u16string(data);
  }
  out += coder->Decode(charset, bytes);
  return true;
}

}  // namespace

std::u16string HeaderCharSetForLocale(const TLocaleName& locale) {
  const std::string& l = locale.language;
  if (l == "zh") {
    const bool simplified = locale.territory == "CN" || locale.territory == "SG";
    return simplified ? u"GB2312" : u"Big5";
  }
  if (l == "ja") return u"ISO-2022-JP";
  if (l == "ko") return u"csEUCKR";
  if (l == "ru") return u"KOI8-R";
  if (l == "uk") return u"windows-1251";
  return u"UTF-8";
}

std::u16string DefaultHeaderCharSet() { return HeaderCharSetForLocale(UserLocale()); }

std::u16string HeaderTextToBytes(std::u16string_view charset, std::u16string_view text) {
  const TQxHeaderCoder* coder = TQxHeaderCoderList::Default().ByCharSet(charset);
  if (!coder)
    throw EQxHeaderEncodeError(u"Could not encode header data using charset \"" +
                               std::u16string(charset) + u"\"");
  return coder->Encode(charset, text);
}

std::u16string EncodeHeaderText(std::u16string_view text, std::u16string_view specials,
                                char16_t letter, std::u16string_view charset) {
  const std::u16string s = HeaderTextToBytes(charset, text);
  letter = AsciiUpper(letter);
  if (letter == '8') return s;
  if (letter != 'Q') letter = 'B';
  // Once the text holds an encoded word, a plain "=?...?=" would be decoded
  // by the receiver too, so words with "=" are encoded.
  const bool equalsUnsafe = DecodeHeaderText(text) != text;
  auto needsEncoding = [&](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
      const char16_t c = s[i];
      if (c < 32 || c > 126 || (equalsUnsafe && c == '=') ||
          specials.find(c) != std::u16string_view::npos)
        return true;
    }
    return false;
  };

  std::u16string out;
  out.reserve(s.size() + s.size() / 2);
  TEncodedWordWriter writer(out, charset, letter, specials);
  const size_t npos = std::u16string::npos;
  size_t runStart = npos, runEnd = 0;
  auto closeRun = [&] {
    if (runStart == npos) return;
    writer.Write(std::u16string_view(s).substr(runStart, runEnd - runStart));
    runStart = npos;
  };
  size_t i = 0;
  while (i < s.size()) {
    const size_t blanks = i;
    while (i < s.size() && isBlank(s[i])) ++i;
    if (i == s.size()) {
      closeRun();
      out.append(s, blanks, npos);
      break;
    }
    const size_t word = i;
    while (i < s.size() && !isBlank(s[i])) ++i;
    if (!needsEncoding(word, i)) {
      closeRun();
      out.append(s, blanks, i - blanks);
    } else {
      if (runStart == npos) {
        out.append(s, blanks, word - blanks);
        runStart = word;
      }
      runEnd = i;
    }
  }
  closeRun();
  return out;
}

std::u16string DecodeHeaderText(std::u16string_view value) {
  std::u16string out;
  out.reserve(value.size());
  bool previousEncoded = false;
  size_t i = 0;
  while (i < value.size()) {
    const size_t blanks = i;
    while (i < value.size() && isBlank(value[i])) ++i;
    const size_t word = i;
    while (i < value.size() && !isBlank(value[i])) ++i;
    if (word == i) {
      out.append(value.substr(blanks));
      break;
    }
    std::u16string decoded;
    const bool encoded = decodeEncodedWord(value.substr(word, i - word), decoded);
    if (!(encoded && previousEncoded)) out.append(value.substr(blanks, word - blanks));
    if (encoded)
      out += decoded;
    else
      out.append(value.substr(word, i - word));
    previousEncoded = encoded;
  }
  std::erase(out, u'\0');
  return out;
}

namespace {

// Hands out a process-wide encoding as an object the caller owns.
class TSharedEncoding final : public TEncoding {
 public:
  explicit TSharedEncoding(const TEncoding& encoding) : _encoding(encoding) {}
  std::string GetBytes(std::u16string_view text) const override { return _encoding.GetBytes(text); }
  std::u16string GetString(std::string_view bytes) const override {
    return _encoding.GetString(bytes);
  }
  std::string CharsetName() const override { return _encoding.CharsetName(); }

 private:
  const TEncoding& _encoding;
};

}  // namespace

std::unique_ptr<TEncoding> CharSetTextEncoding(std::u16string_view charset) {
  if (!charset.empty()) {
    const std::string converter = CharSetConverterName(charset);
    if (converter == "UTF-8") return std::make_unique<TSharedEncoding>(TEncoding::UTF8());
    if (converter == "ISO-8859-1") return std::make_unique<TSharedEncoding>(TEncoding::ISO88591());
    if (!converter.empty())
      if (auto encoding = TEncoding::ForCharset(converter)) return encoding;
  }
  return std::make_unique<TSharedEncoding>(TEncoding::ISO88591());
}

}  // namespace quorvex
