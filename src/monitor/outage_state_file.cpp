#include "monitor/outage_state_file.h"

#include <charconv>

#include "platform/exception.h"
#include "platform/text.h"
#include "platform/text_encoding.h"
#include "settings/file_io.h"
#include "settings/value_text.h"
#include "settings/xml_tree.h"
#include "settings/xml_writer.h"

namespace quorvex {

namespace {

constexpr char kRoot[] = "quorvex_state";
constexpr size_t kKeptDepth = 3;  // root, server, value

// File names may hold any byte but "/" and NUL, XML text cannot: every byte
// outside printable ASCII, and "%" itself, is written as %XX.
std::string encodeName(const std::string& bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (const unsigned char c : bytes) {
    if (c > 0x20 && c < 0x7F && c != '%') {
      text += static_cast<char>(c);
    } else {
      text += '%';
      text += kHex[c >> 4];
      text += kHex[c & 15];
    }
  }
  return text;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

class EDamaged : public Exception {
 public:
  using Exception::Exception;
};

std::string decodeName(const std::string& text) {
  std::string bytes;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      bytes += text[i];
      continue;
    }
    const int high = i + 2 < text.size() ? hexDigit(text[i + 1]) : -1;
    const int low = high >= 0 ? hexDigit(text[i + 2]) : -1;
    if (low < 0) throw EDamaged(u"a server name with a broken %-escape");
    bytes += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return bytes;
}

// The text of a value element; empty when it is missing or empty.
std::string valueOf(const TXmlNode& server, const char* name) {
  const TXmlNode* element = server.childElement(name);
  if (!element || element->children.empty()) return {};
  if (element->children.size() != 1 || element->children.front().kind == TXmlNode::Kind::Element)
    throw EDamaged(u"element \"" + u16(name) + u"\" holds more than a text");
  return element->children.front().value;
}

std::optional<TWallTime> timeOf(const TXmlNode& server, const char* name) {
  const std::string text = valueOf(server, name);
  if (text.empty()) return std::nullopt;
  int64_t seconds = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (error != std::errc() || end != text.data() + text.size())
    throw EDamaged(u"''" + fromUtf8(text) + u"'' is not a time");
  return TWallTime(std::chrono::seconds(seconds));
}

std::u16string timeText(const std::optional<TWallTime>& time) {
  if (!time) return {};
  return u16(std::to_string(
      std::chrono::duration_cast<std::chrono::seconds>(time->time_since_epoch()).count()));
}

TOutageStates readStates(const TXmlNode& root) {
  if (root.name != kRoot) throw EDamaged(u"its root element is not <" + u16(kRoot) + u">");
  TOutageStates states;
  for (const TXmlNode& server : root.children) {
    if (server.kind != TXmlNode::Kind::Element || server.name != "server") continue;
    const std::string name = decodeName(valueOf(server, "config"));
    if (name.empty()) throw EDamaged(u"a server without a configuration name");
    TOutageState state;
    try {
      const std::string alerted = valueOf(server, "alerted");
      state.alerted = !alerted.empty() && textToBool(fromUtf8(alerted));
      const std::string failures = valueOf(server, "failures");
      state.failures = failures.empty() ? 0 : textToInt32(fromUtf8(failures));
    } catch (const EConvertError& e) {
      throw EDamaged(e.Message());
    }
    if (state.failures < 0) throw EDamaged(u"a negative count of failures");
    state.outageStart = timeOf(server, "outage_start");
    state.lastMail = timeOf(server, "last_mail");
    state.reason = fromUtf8(valueOf(server, "reason"));
    states[name] = state;
  }
  return states;
}

}  // namespace

TOutageStates TOutageStateFile::load(std::optional<std::u16string>& problem) const {
  problem.reset();
  try {
    const std::string bytes = readWholeFile(TEncoding::System().GetBytes(_fileName), _fileName);
    return readStates(parseXmlDocument(bytes, kKeptDepth));
  } catch (const EFileError& e) {
    problem = e.Message();
  } catch (const EXmlSyntaxError& e) {
    problem = u"The outage state file \"" + _fileName + u"\" is damaged: " + fromUtf8(e.what()) +
              u" (line " + u16(std::to_string(e.Line())) + u", column " +
              u16(std::to_string(e.Column())) + u")";
  } catch (const EDamaged& e) {
    problem = u"The outage state file \"" + _fileName + u"\" is damaged: " + e.Message();
  }
  return {};
}

void TOutageStateFile::save(const TOutageStates& states) const {
  TIndentedXmlWriter xml;
  xml.open(kRoot);
  for (const auto& [name, state] : states) {
    xml.open("server");
    xml.setValue("config", u16(encodeName(name)), u"config");
    xml.setValue("alerted", boolToText(state.alerted), u"alerted");
    xml.setValue("failures", int32ToText(state.failures), u"failures");
    xml.setValue("outage_start", timeText(state.outageStart), u"outage_start");
    xml.setValue("last_mail", timeText(state.lastMail), u"last_mail");
    // Only where there is one: a file without reasons keeps its layout.
    if (!state.reason.empty()) xml.setValue("reason", state.reason, u"reason");
    xml.close();
  }
  xml.close();
  replaceFile(TEncoding::System().GetBytes(_fileName), xml.bytes(), 0600, _fileName);
}

}  // namespace quorvex
