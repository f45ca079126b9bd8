// The settings file: a small XML document written in a fixed layout and read
// back with a conforming XML parser.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/exception.h"
#include "platform/text.h"
#include "platform/text_encoding.h"
#include "settings/file_io.h"
#include "settings/settings.h"
#include "settings/value_text.h"
#include "settings/xml_tree.h"
#include "settings/xml_writer.h"

namespace quorvex {

namespace {

// Only the root, the two containers and the value elements are looked at.
constexpr size_t kKeptDepth = 4;

// Runs read on the element `name` of parent; an error it raises is told
// where the element stands in the file.
template <class Read>
auto at(const TXmlNode* parent, const char* name, Read read) {
  try {
    return read();
  } catch (Exception& e) {
    const TXmlNode* element = parent ? parent->childElement(name) : nullptr;
    if (e.Place().empty() && element)
      e.SetPlace(u"line " + u16(std::to_string(element->line)) + u", element <" + fromUtf8(name) +
                 u">");
    throw;
  }
}

// The element's text, or no value when the element is missing or empty.
std::optional<std::u16string> getValue(const TXmlNode* parent, const char* name) {
  return at(parent, name, [&]() -> std::optional<std::u16string> {
    const TXmlNode* element = parent ? parent->childElement(name) : nullptr;
    if (!element || element->children.empty()) return std::nullopt;
    const TXmlNode& only = element->children.front();
    if (element->children.size() != 1 ||
        (only.kind != TXmlNode::Kind::Text && only.kind != TXmlNode::Kind::CData))
      throw Exception(u"Element \"" + fromUtf8(name) + u"\" does not contain a single text node");
    if (only.value.empty()) return std::nullopt;
    return fromUtf8(only.value);
  });
}

std::u16string stringValue(const TXmlNode* parent, const char* name) {
  return getValue(parent, name).value_or(std::u16string());
}

int32_t integerValue(const TXmlNode* parent, const char* name) {
  const auto text = getValue(parent, name);
  return at(parent, name, [&] { return text ? textToInt32(*text) : 0; });
}

bool booleanValue(const TXmlNode* parent, const char* name) {
  const auto text = getValue(parent, name);
  return at(parent, name, [&] { return text ? textToBool(*text) : false; });
}

}  // namespace

void TSettings::saveToFile() const {
  TIndentedXmlWriter xml;
  xml.open("settings");
  xml.setValue("username", _username, u"Username");
  xml.setValue("password", _password, u"Password");
  xml.setValue("repeat_period", int32ToText(_repeatPeriod), u"RepeatPeriod");
  xml.setValue("conn_timeout", int32ToText(_connectionTimeout), u"ConnectionTimeout");
  xml.open("alerts");
  xml.open("smtp_server");
  xml.setValue("host", _smtpHost, u"SMTPHost");
  xml.setValue("login", _smtpLogin, u"SMTPLogin");
  xml.setValue("password", _smtpPassword, u"SMTPPassword");
  xml.setValue("port", int32ToText(_smtpPort), u"SMTPPort");
  xml.setValue("ssl_tls", boolToText(_smtpUseSSLTLS), u"SMTPUseSSLTLS");
  xml.close();
  xml.open("message");
  xml.setValue("from", _msgFrom, u"MsgFrom");
  xml.setValue("cc", _msgCC, u"MsgCC");
  xml.setValue("subject", _msgSubject, u"MsgSubject");
  xml.setValue("text", _msgText, u"MsgText");
  xml.setValue("to", _msgTo, u"MsgTo");
  xml.close();
  xml.close();
  // Files of users who set no option keep the layout they always had.
  if (!_options.allDefault()) {
    xml.open(kOptionsElement);
    for (const TOptionSpec& spec : optionTable()) {
      if (spec.omittedAtDefault && _options.isDefault(spec.id)) continue;
      xml.setValue(spec.element, _options.Text(spec.id), fromUtf8(spec.element));
    }
    xml.close();
  }
  xml.close();
  // The file holds passwords: readable by its owner only.
  replaceFile(TEncoding::System().GetBytes(_fileName), xml.bytes(), 0600, _fileName);
}

void TSettings::loadFromFile() {
  const std::string bytes = readWholeFile(TEncoding::System().GetBytes(_fileName), _fileName);
  TXmlNode root;
  try {
    root = parseXmlDocument(bytes, kKeptDepth);
  } catch (const EXmlSyntaxError& e) {
    throw Exception(u"The settings file \"" + _fileName + u"\" is not well-formed XML: " +
                    fromUtf8(e.what()) + u" (line " + u16(std::to_string(e.Line())) + u", column " +
                    u16(std::to_string(e.Column())) + u")");
  }
  // The root's name is not checked.
  _connectionTimeout = integerValue(&root, "conn_timeout");
  _password = stringValue(&root, "password");
  _repeatPeriod = integerValue(&root, "repeat_period");
  _username = stringValue(&root, "username");

  // A missing container reads as an empty one.
  const TXmlNode* alerts = root.childElement("alerts");
  const TXmlNode* smtpServer = alerts ? alerts->childElement("smtp_server") : nullptr;
  _smtpHost = stringValue(smtpServer, "host");
  _smtpLogin = stringValue(smtpServer, "login");
  _smtpPassword = stringValue(smtpServer, "password");
  _smtpPort = integerValue(smtpServer, "port");
  _smtpUseSSLTLS = booleanValue(smtpServer, "ssl_tls");

  const TXmlNode* message = alerts ? alerts->childElement("message") : nullptr;
  _msgFrom = stringValue(message, "from");
  _msgCC = stringValue(message, "cc");
  _msgSubject = stringValue(message, "subject");
  _msgText = stringValue(message, "text");
  _msgTo = stringValue(message, "to");

  // Unlike the values above, an option missing or empty keeps its default,
  // so that files written before the options existed read as all defaults.
  const TXmlNode* options = root.childElement(kOptionsElement);
  TOptions read;
  for (const TOptionSpec& spec : optionTable()) {
    const std::string element(spec.element);
    if (const auto text = getValue(options, element.c_str()))
      at(options, element.c_str(), [&] { read.SetText(spec.id, *text); });
  }
  _options = std::move(read);
}

}  // namespace quorvex
