#include "settings/xml_writer.h"

#include <cstdio>

#include "platform/exception.h"
#include "platform/text.h"

namespace quorvex {

namespace {

void checkStorable(std::u16string_view text, std::u16string_view property) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool pairs = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                       text[i + 1] <= 0xDFFF;
    if (pairs) {
      ++i;
      continue;
    }
    const bool control = c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r';
    const bool surrogate = c >= 0xD800 && c <= 0xDFFF;
    if (control || surrogate || c == 0xFFFE || c == 0xFFFF) {
      char code[8];
      std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
      throw Exception(u"The settings cannot be saved: " + std::u16string(property) +
                      u" holds the character " + u16(code) +
                      u", which the settings file cannot hold");
    }
  }
}

}  // namespace

void TIndentedXmlWriter::open(std::string_view name) { open(name, {}); }

void TIndentedXmlWriter::open(std::string_view name, std::initializer_list<TAttribute> attributes) {
  for (const TAttribute& a : attributes) checkStorable(a.value, a.property);
  if (!_open.empty()) newLine(_open.size());
  _out += '<';
  _out += name;
  for (const TAttribute& a : attributes) {
    _out += ' ';
    _out += a.name;
    _out += "=\"";
    appendEscaped(a.value, true);
    _out += '"';
  }
  _out += '>';
  _open.emplace_back(name);
}

void TIndentedXmlWriter::setValue(std::string_view name, std::u16string_view text,
                                  std::u16string_view property) {
  checkStorable(text, property);
  newLine(_open.size());
  _out += '<';
  _out += name;
  _out += '>';
  appendEscaped(text);
  _out += "</";
  _out += name;
  _out += '>';
}

void TIndentedXmlWriter::close() {
  const std::string name = std::move(_open.back());
  _open.pop_back();
  newLine(_open.size());
  _out += "</" + name + '>';
}

void TIndentedXmlWriter::newLine(size_t level) {
  _out += "\r\n";
  _out.append(2 * level, ' ');
}

// A CR would come back from any XML reader as LF, so it is written as a
// reference; in an attribute, so are the quote and the blanks a reader would
// turn into spaces. Every other character checkStorable lets through is
// written as is.
void TIndentedXmlWriter::appendEscaped(std::u16string_view text, bool inAttribute) {
  // Multi-byte UTF-8 sequences hold no ASCII bytes, so bytes can be escaped one by one.
  for (const char c : toUtf8(text)) {
    switch (c) {
      case '&':
        _out += "&amp;";
        break;
      case '<':
        _out += "&lt;";
        break;
      case '>':
        _out += "&gt;";
        break;
      case '\r':
        _out += "&#13;";
        break;
      case '"':
        _out += inAttribute ? "&quot;" : "\"";
        break;
      case '\n':
        _out += inAttribute ? "&#10;" : "\n";
        break;
      case '\t':
        _out += inAttribute ? "&#9;" : "\t";
        break;
      default:
        _out += c;
    }
  }
}

}  // namespace quorvex
