// The settings file: a small XML document written in a fixed layout and read
// back with a conforming XML parser.
#include <algorithm>
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

// "line 12, element <port>": where an element stands in the file.
std::u16string placeOf(const TXmlNode& element) {
  return u"line " + u16(std::to_string(element.line)) + u", element <" + fromUtf8(element.name) +
         u">";
}

// Runs read on the element `name` of parent; an error it raises is told
// where the element stands in the file.
template <class Read>
auto at(const TXmlNode* parent, const char* name, Read read) {
  try {
    return read();
  } catch (Exception& e) {
    const TXmlNode* element = parent ? parent->childElement(name) : nullptr;
    if (e.Place().empty() && element) e.SetPlace(placeOf(*element));
    throw;
  }
}

// The element's text, or no value when it is empty.
std::optional<std::u16string> textOf(const TXmlNode& element) {
  if (element.children.empty()) return std::nullopt;
  const TXmlNode& only = element.children.front();
  if (element.children.size() != 1 ||
      (only.kind != TXmlNode::Kind::Text && only.kind != TXmlNode::Kind::CData))
    throw Exception(u"Element \"" + fromUtf8(element.name) +
                    u"\" does not contain a single text node");
  if (only.value.empty()) return std::nullopt;
  return fromUtf8(only.value);
}

// The element's text, or no value when the element is missing or empty.
std::optional<std::u16string> getValue(const TXmlNode* parent, const char* name) {
  return at(parent, name, [&]() -> std::optional<std::u16string> {
    const TXmlNode* element = parent ? parent->childElement(name) : nullptr;
    if (!element) return std::nullopt;
    return textOf(*element);
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

// The containers to open and close between two values: the steps of their
// paths ("alerts", "smtp_server").
std::vector<std::string_view> steps(std::string_view path) {
  std::vector<std::string_view> out;
  while (!path.empty()) {
    const size_t slash = path.find('/');
    out.push_back(path.substr(0, slash));
    path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
  }
  return out;
}

const TXmlNode* containerOf(const TXmlNode& root, const TFieldSpec& spec) {
  const TXmlNode* node = &root;
  for (const std::string_view step : steps(fieldContainer(spec)))
    node = node ? node->childElement(std::string(step).c_str()) : nullptr;
  return node;
}

// The order the values are read in counts, as a bad value stops the reading
// and keeps what came before it: the root's own values by name, then the
// containers' values in the file's order.
std::vector<const TFieldSpec*> readingOrder() {
  std::vector<const TFieldSpec*> order;
  for (const TFieldSpec& spec : fieldTable()) order.push_back(&spec);
  std::stable_sort(order.begin(), order.end(), [](const TFieldSpec* a, const TFieldSpec* b) {
    const bool aAtRoot = fieldContainer(*a).empty(), bAtRoot = fieldContainer(*b).empty();
    if (aAtRoot != bAtRoot) return aAtRoot;
    return aAtRoot && a->path < b->path;
  });
  return order;
}

constexpr char kNotifiersElement[] = "notifiers";
constexpr char kNotifierElement[] = "notifier";

// Children are written only when set, so a notifier reads as it was typed.
void writeNotifiers(TIndentedXmlWriter& xml, const std::vector<TNotifierConfig>& notifiers) {
  checkNotifierNames(notifiers);
  xml.open(kNotifiersElement);
  for (const TNotifierConfig& n : notifiers) {
    const std::u16string events = n.events.text();
    xml.open(kNotifierElement, {{"name", n.name, u"The notifier's name"},
                                {"kind", kindWord(n.kind), u"The notifier's kind"},
                                {"events", events, u"The notifier's events"}});
    const std::u16string property = u"The notifier " + n.name;
    const auto optional = [&](const char* element, const std::u16string& value) {
      if (!value.empty()) xml.setValue(element, value, property);
    };
    optional("url", n.url);
    for (const std::u16string& header : n.headers) xml.setValue("header", header, property);
    optional("token", n.token);
    optional("command", n.command);
    optional("priority", n.priority);
    optional("ca_file", n.caFile);
    xml.close();
  }
  xml.close();
}

// The text of an attribute, which must be there.
std::u16string requiredAttribute(const TXmlNode& element, const char* name) {
  const std::string* value = element.attribute(name);
  if (!value || value->empty())
    throw Exception(u"A <notifier> needs the attribute " + fromUtf8(name));
  return fromUtf8(*value);
}

TNotifierConfig readNotifier(const TXmlNode& element) {
  TNotifierConfig n;
  try {
    n.name = requiredAttribute(element, "name");
    const std::u16string kind = requiredAttribute(element, "kind");
    const auto known = kindFromWord(kind);
    if (!known)
      throw Exception(u"The notifier kind \"" + EscapeControls(kind) +
                      u"\" is none of webhook, slack, teams, discord, ntfy, gotify and command");
    n.kind = *known;
    if (const std::string* events = element.attribute("events"))
      n.events = TNotifyEvents::parse(fromUtf8(*events));
  } catch (Exception& e) {
    if (e.Place().empty()) e.SetPlace(placeOf(element));
    throw;
  }
  n.url = stringValue(&element, "url");
  for (const TXmlNode* header : element.childElements("header")) {
    try {
      if (auto text = textOf(*header)) n.headers.push_back(std::move(*text));
    } catch (Exception& e) {
      e.SetPlace(placeOf(*header));
      throw;
    }
  }
  n.token = stringValue(&element, "token");
  n.command = stringValue(&element, "command");
  n.priority = stringValue(&element, "priority");
  n.caFile = stringValue(&element, "ca_file");
  return n;
}

}  // namespace

void TSettings::saveToFile() const {
  TIndentedXmlWriter xml;
  xml.open("settings");
  std::vector<std::string_view> open;  // the containers open below the root
  for (const TFieldSpec& spec : fieldTable()) {
    const std::vector<std::string_view> wanted = steps(fieldContainer(spec));
    size_t shared = 0;
    while (shared < open.size() && shared < wanted.size() && open[shared] == wanted[shared])
      ++shared;
    for (; open.size() > shared; open.pop_back()) xml.close();
    for (; open.size() < wanted.size(); open.push_back(wanted[open.size()]))
      xml.open(wanted[open.size()]);
    xml.setValue(fieldElement(spec), FieldText(spec.id), spec.property);
  }
  for (; !open.empty(); open.pop_back()) xml.close();
  // Files of users who set no option keep the layout they always had.
  if (!_options.allDefault()) {
    xml.open(kOptionsElement);
    for (const TOptionSpec& spec : optionTable()) {
      if (spec.omittedAtDefault && _options.isDefault(spec.id)) continue;
      xml.setValue(spec.element, _options.Text(spec.id), fromUtf8(spec.element));
    }
    xml.close();
  }
  if (!_notifiers.empty()) writeNotifiers(xml, _notifiers);
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
  // The root's name is not checked; a missing container reads as an empty one.
  for (const TFieldSpec* spec : readingOrder()) {
    const TXmlNode* parent = containerOf(root, *spec);
    const std::string element(fieldElement(*spec));
    switch (spec->type) {
      case TOptionType::Integer:
        set(spec->id, int32ToText(integerValue(parent, element.c_str())));
        break;
      case TOptionType::Boolean:
        set(spec->id, boolToText(booleanValue(parent, element.c_str())));
        break;
      default:
        set(spec->id, stringValue(parent, element.c_str()));
        break;
    }
  }

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

  std::vector<TNotifierConfig> notifiers;
  if (const TXmlNode* container = root.childElement(kNotifiersElement)) {
    for (const TXmlNode* element : container->childElements(kNotifierElement))
      notifiers.push_back(readNotifier(*element));
    try {
      checkNotifierNames(notifiers);
    } catch (Exception& e) {
      e.SetPlace(placeOf(*container));
      throw;
    }
  }
  _notifiers = std::move(notifiers);
}

}  // namespace quorvex
