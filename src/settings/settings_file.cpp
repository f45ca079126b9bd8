// The settings file: a small XML document written in a fixed layout and read
// back with pugixml.
#include <pugixml.hpp>

#include <optional>
#include <string>
#include <vector>

#include "platform/exception.h"
#include "platform/text.h"
#include "platform/text_encoding.h"
#include "settings/file_io.h"
#include "settings/settings.h"
#include "settings/value_text.h"

namespace quorvex {

namespace {

// Writes elements as a document model with automatic indentation lays them
// out: every element on a line of its own, two blanks per level below the
// root, CR LF between lines and none after the root's end tag.
class TIndentedXmlWriter {
 public:
  void open(std::string_view name) {
    if (!_open.empty()) newLine(_open.size());
    _out += '<';
    _out += name;
    _out += '>';
    _open.emplace_back(name);
  }

  void setValue(std::string_view name, std::u16string_view text) {
    newLine(_open.size());
    _out += '<';
    _out += name;
    _out += '>';
    appendEscaped(text);
    _out += "</";
    _out += name;
    _out += '>';
  }

  void close() {
    const std::string name = std::move(_open.back());
    _open.pop_back();
    newLine(_open.size());
    _out += "</" + name + '>';
  }

  const std::string& bytes() const { return _out; }

 private:
  void newLine(size_t level) {
    _out += "\r\n";
    _out.append(2 * level, ' ');
  }

  // A CR would come back from any XML reader as LF, so it is written as a
  // reference; so are the other control characters but tab and LF. NUL
  // cannot be held by XML at all and is left out.
  void appendEscaped(std::u16string_view text) {
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
        case '\0':
          break;
        default:
          if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n')
            _out += "&#" + std::to_string(static_cast<int>(c)) + ';';
          else
            _out += c;
      }
    }
  }

  std::string _out;
  std::vector<std::string> _open;
};

// The first child element of that exact name; a null node when there is none.
pugi::xml_node childElement(pugi::xml_node parent, const char* name) {
  for (pugi::xml_node child : parent.children())
    if (child.type() == pugi::node_element && std::string_view(child.name()) == name) return child;
  return {};
}

// The element's text, or no value when the element is missing or empty.
std::optional<std::u16string> getValue(pugi::xml_node parent, const char* name) {
  const pugi::xml_node element = childElement(parent, name);
  if (!element) return std::nullopt;
  const pugi::xml_node first = element.first_child();
  if (!first) return std::nullopt;
  const bool single = first == element.last_child();
  if (!single || (first.type() != pugi::node_pcdata && first.type() != pugi::node_cdata))
    throw Exception(u"Element \"" + fromUtf8(name) + u"\" does not contain a single text node");
  if (*first.value() == '\0') return std::nullopt;
  return fromUtf8(first.value());
}

std::u16string stringValue(pugi::xml_node parent, const char* name) {
  return getValue(parent, name).value_or(std::u16string());
}

int32_t integerValue(pugi::xml_node parent, const char* name) {
  const auto text = getValue(parent, name);
  return text ? textToInt32(*text) : 0;
}

bool booleanValue(pugi::xml_node parent, const char* name) {
  const auto text = getValue(parent, name);
  return text ? textToBool(*text) : false;
}

// Line and column (from 1) of a byte offset, for parse errors.
std::pair<size_t, size_t> lineAndColumn(std::string_view bytes, size_t offset) {
  size_t line = 1, column = 1;
  for (size_t i = 0; i < offset && i < bytes.size(); ++i) {
    if (bytes[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return {line, column};
}

}  // namespace

void TSettings::saveToFile() const {
  TIndentedXmlWriter xml;
  xml.open("settings");
  xml.setValue("username", _username);
  xml.setValue("password", _password);
  xml.setValue("repeat_period", int32ToText(_repeatPeriod));
  xml.setValue("conn_timeout", int32ToText(_connectionTimeout));
  xml.open("alerts");
  xml.open("smtp_server");
  xml.setValue("host", _smtpHost);
  xml.setValue("login", _smtpLogin);
  xml.setValue("password", _smtpPassword);
  xml.setValue("port", int32ToText(_smtpPort));
  xml.setValue("ssl_tls", boolToText(_smtpUseSSLTLS));
  xml.close();
  xml.open("message");
  xml.setValue("from", _msgFrom);
  xml.setValue("cc", _msgCC);
  xml.setValue("subject", _msgSubject);
  xml.setValue("text", _msgText);
  xml.setValue("to", _msgTo);
  xml.close();
  xml.close();
  xml.close();
  // The file holds passwords: readable by its owner only.
  replaceFile(TEncoding::System().GetBytes(_fileName), xml.bytes(), 0600, _fileName);
}

void TSettings::loadFromFile() {
  const std::string bytes = readWholeFile(TEncoding::System().GetBytes(_fileName), _fileName);
  pugi::xml_document document;
  // Comments and processing instructions are kept as nodes so that a value
  // holding one is refused rather than silently joined; a value of blanks
  // only is kept as it was written.
  const unsigned options =
      pugi::parse_default | pugi::parse_comments | pugi::parse_pi | pugi::parse_ws_pcdata_single;
  const pugi::xml_parse_result parsed =
      document.load_buffer(bytes.data(), bytes.size(), options, pugi::encoding_auto);
  if (!parsed) {
    const auto [line, column] = lineAndColumn(bytes, static_cast<size_t>(parsed.offset));
    throw Exception(u"The settings file \"" + _fileName + u"\" is not well-formed XML: " +
                    fromUtf8(parsed.description()) + u" (line " + u16(std::to_string(line)) +
                    u", column " + u16(std::to_string(column)) + u")");
  }
  // The root's name is not checked.
  const pugi::xml_node root = document.document_element();
  for (pugi::xml_node next = root.next_sibling(); next; next = next.next_sibling())
    if (next.type() == pugi::node_element)
      throw Exception(u"The settings file \"" + _fileName +
                      u"\" is not well-formed XML: more than one root element");
  _connectionTimeout = integerValue(root, "conn_timeout");
  _password = stringValue(root, "password");
  _repeatPeriod = integerValue(root, "repeat_period");
  _username = stringValue(root, "username");

  // A missing container reads as an empty one.
  const pugi::xml_node alerts = childElement(root, "alerts");
  const pugi::xml_node smtpServer = childElement(alerts, "smtp_server");
  _smtpHost = stringValue(smtpServer, "host");
  _smtpLogin = stringValue(smtpServer, "login");
  _smtpPassword = stringValue(smtpServer, "password");
  _smtpPort = integerValue(smtpServer, "port");
  _smtpUseSSLTLS = booleanValue(smtpServer, "ssl_tls");

  const pugi::xml_node message = childElement(alerts, "message");
  _msgFrom = stringValue(message, "from");
  _msgCC = stringValue(message, "cc");
  _msgSubject = stringValue(message, "subject");
  _msgText = stringValue(message, "text");
  _msgTo = stringValue(message, "to");
}

}  // namespace quorvex
