#include "settings/settings.h"

#include <algorithm>

#include "platform/exception.h"
#include "platform/path_delimiter.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/text_encoding.h"
#include "settings/config_folder.h"
#include "settings/file_io.h"
#include "settings/value_text.h"

namespace quorvex {

namespace {

constexpr char16_t kPathDelim = kPathDelimByte;

// The display name: the file name up to its first ".". Hidden files start
// with a dot; that dot belongs to the name, so ".office.ovpn" is ".office".
std::u16string serverName(const std::u16string& fileName) {
  return fileName.substr(0, fileName.find(u'.', 1));
}

bool hasClientLine(std::u16string_view text) {
  text = text.substr(0, text.find(u'\0'));
  while (!text.empty()) {
    const size_t end = text.find_first_of(u"\r\n");
    std::u16string_view line = text.substr(0, end);
    while (!line.empty() && line.front() <= u' ') line.remove_prefix(1);
    while (!line.empty() && line.back() <= u' ') line.remove_suffix(1);
    if (line == u"client") return true;
    if (end == std::u16string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return false;
}

bool isClientConfigFile(const std::string& path) {
  const std::string bytes = readWholeFile(path, TEncoding::System().GetString(path));
  return !bytes.empty() && hasClientLine(TEncoding::System().GetString(bytes));
}

}  // namespace

TVPNServer::TVPNServer(std::u16string name, std::u16string OVPNFilename, std::string fileBytes)
    : _name(std::move(name)),
      _OVPNFilename(std::move(OVPNFilename)),
      _OVPNFileBytes(fileBytes.empty() ? TEncoding::System().GetBytes(_OVPNFilename)
                                       : std::move(fileBytes)) {}

TSettings::TSettings(std::u16string fileName) : _fileName(std::move(fileName)) {
  for (const TFieldSpec& spec : fieldTable()) set(spec.id, std::u16string(spec.initial));
}

void TSettings::SetFieldText(TFieldId id, std::u16string_view text) {
  switch (fieldSpec(id).type) {
    case TOptionType::Integer:
      return set(id, int32ToText(textToInt32(text)));
    case TOptionType::Boolean:
      return set(id, boolToText(textToBool(text)));
    default:
      return set(id, std::u16string(text));
  }
}

int32_t TSettings::integer(TFieldId id) const { return textToInt32(FieldText(id)); }
void TSettings::SetSMTPPort(int32_t v) { set(TFieldId::SMTPPort, int32ToText(v)); }
bool TSettings::SMTPUseSSLTLS() const { return textToBool(FieldText(TFieldId::SMTPUseSSLTLS)); }
void TSettings::SetSMTPUseSSLTLS(bool v) { set(TFieldId::SMTPUseSSLTLS, boolToText(v)); }

TSettings::~TSettings() = default;

void TSettings::loadFromRegistry() { loadFromRegistry(*SystemRegistry()); }

void TSettings::loadFromRegistry(const IRegistry& registry) {
  auto key = registry.openLocalMachineKey(u"\\SOFTWARE\\OpenVPN-GUI", TRegistryAccess::AllAccess);
  if (!key) key = registry.openLocalMachineKey(u"\\SOFTWARE\\OpenVPN", TRegistryAccess::AllAccess);
  if (!key) throw Exception(u"OpenVPN not found on this computer.");
  const TRegistryValue value = key->readValue(u"config_dir");
  if (value.Kind == TRegistryValueKind::Other)
    throw Exception(u"Invalid data type for 'config_dir'");
  std::u16string folder = value.Text;  // variables in an expandable string stay unexpanded
  std::string folderBytes =
      !value.Bytes.empty() ? value.Bytes : TEncoding::System().GetBytes(folder);
  if (!folder.empty() && folder.back() == kPathDelim) folder.pop_back();
  if (!folderBytes.empty() && folderBytes.back() == kPathDelimByte) folderBytes.pop_back();
  _configDir = std::move(folder);
  _configDirBytes = std::move(folderBytes);
}

void TSettings::init() {
  _servers.clear();
  const TEncoding& system = TEncoding::System();
  const std::string folder = _configDirBytes + kPathDelimByte;
  // A missing folder has no servers.
  for (const std::string& entryName : configFileCandidates(folder)) {
    // The file is examined and later started by its own bytes, so a name the
    // locale cannot decode is still tested; only the shown name has U+FFFD.
    const std::string path = folder + entryName;
    // A file that cannot be read is a server of its own that fails to start
    // with the reason; it must not leave every other server unwatched.
    std::u16string readError;
    try {
      if (!isClientConfigFile(path)) continue;
    } catch (const EFileError& e) {
      readError = WithFullStop(e.Message()) + kUnreadableConfigHint;
    }
    const std::u16string fileName = system.GetString(entryName);
    _servers.push_back(std::make_unique<TVPNServer>(serverName(fileName), fileName, entryName));
    _servers.back()->SetReadError(std::move(readError));
  }
  // Listed by name without regard to case, as the original platform lists a
  // folder.
  std::stable_sort(_servers.begin(), _servers.end(), [](const auto& a, const auto& b) {
    return LessNoCase(a->OVPNFilename(), b->OVPNFilename());
  });
}

bool TSettings::isClientConfig(const std::u16string& fullPath) const {
  return isClientConfigFile(TEncoding::System().GetBytes(fullPath));
}

}  // namespace quorvex
