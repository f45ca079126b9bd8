#include "web/json.h"

#include <cstdint>

#include "platform/text.h"

namespace quorvex {

namespace {

// Nesting deeper than this is no answer of a token endpoint.
constexpr int kMaxDepth = 32;

class TJsonReader {
 public:
  explicit TJsonReader(std::string_view text) : _text(text) {}

  std::map<std::string, std::string> object() {
    std::map<std::string, std::string> members;
    skipBlanks();
    expect('{');
    skipBlanks();
    if (peek() == '}') {
      ++_at;
    } else {
      while (true) {
        skipBlanks();
        std::string name = string();
        skipBlanks();
        expect(':');
        skipBlanks();
        std::string value;
        if (scalar(value)) members[std::move(name)] = std::move(value);
        skipBlanks();
        if (peek() == ',') {
          ++_at;
          continue;
        }
        expect('}');
        break;
      }
    }
    skipBlanks();
    if (_at != _text.size()) fail("text after the object");
    return members;
  }

 private:
  [[noreturn]] void fail(const char* what) const {
    const std::string_view reason = _at >= _text.size() ? "the text ends early" : what;
    throw EJsonError(u"not valid JSON: " + std::u16string(reason.begin(), reason.end()));
  }
  char peek() const { return _at < _text.size() ? _text[_at] : '\0'; }
  void expect(char c) {
    if (peek() != c) fail("unexpected character");
    ++_at;
  }
  void skipBlanks() {
    while (_at < _text.size() &&
           (_text[_at] == ' ' || _text[_at] == '\t' || _text[_at] == '\r' || _text[_at] == '\n'))
      ++_at;
  }
  bool literal(std::string_view word) {
    if (_text.substr(_at, word.size()) != word) return false;
    _at += word.size();
    return true;
  }

  // A scalar into value (true); an object or array is skipped (false).
  bool scalar(std::string& value, int depth = 0) {
    if (depth > kMaxDepth) fail("nested too deeply");
    const char c = peek();
    if (c == '"') {
      value = string();
      return true;
    }
    if (c == '{' || c == '[') {
      const char close = c == '{' ? '}' : ']';
      ++_at;
      skipBlanks();
      if (peek() == close) {
        ++_at;
        return false;
      }
      while (true) {
        skipBlanks();
        if (c == '{') {
          string();
          skipBlanks();
          expect(':');
          skipBlanks();
        }
        std::string ignored;
        scalar(ignored, depth + 1);
        skipBlanks();
        if (peek() == ',') {
          ++_at;
          continue;
        }
        expect(close);
        return false;
      }
    }
    for (std::string_view word : {"true", "false", "null"}) {
      if (literal(word)) {
        value = word;
        return true;
      }
    }
    const size_t start = _at;
    if (peek() == '-') ++_at;
    size_t digits = 0;
    while (peek() >= '0' && peek() <= '9') ++_at, ++digits;
    if (digits == 0) fail("unexpected character");
    if (peek() == '.') {
      ++_at;
      digits = 0;
      while (peek() >= '0' && peek() <= '9') ++_at, ++digits;
      if (digits == 0) fail("bad number");
    }
    if (peek() == 'e' || peek() == 'E') {
      ++_at;
      if (peek() == '+' || peek() == '-') ++_at;
      digits = 0;
      while (peek() >= '0' && peek() <= '9') ++_at, ++digits;
      if (digits == 0) fail("bad number");
    }
    value = _text.substr(start, _at - start);
    return true;
  }

  unsigned hex4() {
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = peek();
      ++_at;
      value <<= 4;
      if (c >= '0' && c <= '9')
        value |= c - '0';
      else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f')
        value |= (c | 0x20) - 'a' + 10;
      else
        fail("bad \\u escape");
    }
    return value;
  }

  std::string string() {
    expect('"');
    std::string out;
    while (true) {
      if (_at >= _text.size()) fail("unterminated string");
      const char c = _text[_at++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) fail("control character in a string");
      if (c != '\\') {
        out += c;
        continue;
      }
      const char e = peek();
      ++_at;
      switch (e) {
        case '"':
        case '\\':
        case '/':
          out += e;
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          std::uint32_t cp = hex4();
          if (cp >= 0xD800 && cp < 0xDC00) {
            if (!literal("\\u")) fail("lone surrogate");
            const std::uint32_t low = hex4();
            if (low < 0xDC00 || low >= 0xE000) fail("lone surrogate");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          } else if (cp >= 0xDC00 && cp < 0xE000) {
            fail("lone surrogate");
          }
          AppendUtf8(out, static_cast<char32_t>(cp));
          break;
        }
        default:
          fail("bad escape");
      }
    }
  }

  std::string_view _text;
  size_t _at = 0;
};

}  // namespace

std::map<std::string, std::string> parseJsonObject(std::string_view text) {
  return TJsonReader(text).object();
}

std::string jsonString(std::string_view utf8) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out = "\"";
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      out += "\\u00";
      out += kDigits[byte >> 4];
      out += kDigits[byte & 15];
    } else {
      out += c;
    }
  }
  return out + '"';
}

std::string jsonObject(const TJsonMembers& members) {
  std::string out = "{";
  for (const auto& [name, value] : members)
    out += (out.size() > 1 ? "," : "") + jsonString(name) + ":" + value;
  return out + '}';
}

std::string jsonArray(const std::vector<std::string>& items) {
  std::string out = "[";
  for (const std::string& item : items) out += (out.size() > 1 ? "," : "") + item;
  return out + ']';
}

}  // namespace quorvex
