#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "settings/fields.h"
#include "settings/notifiers.h"
#include "settings/options.h"

namespace quorvex {

class IRegistry;

// One server of the catalogue: a client configuration found in the OpenVPN folder.
class TVPNServer {
 public:
  // fileBytes: the file name as the folder lists it; empty means OVPNFilename
  // in the locale's charset.
  TVPNServer(std::u16string name, std::u16string OVPNFilename, std::string fileBytes = {});
  const std::u16string& Name() const { return _name; }
  // For showing: bytes the locale cannot decode read as U+FFFD.
  const std::u16string& OVPNFilename() const { return _OVPNFilename; }
  // For opening: the name's own bytes.
  const std::string& OVPNFileBytes() const { return _OVPNFileBytes; }
  // Why the file could not be read at discovery, in words; empty when it
  // was read. Such a server is listed, and fails to start.
  const std::u16string& ReadError() const { return _readError; }
  void SetReadError(std::u16string error) { _readError = std::move(error); }

 private:
  std::u16string _name;
  std::u16string _OVPNFilename;
  std::string _OVPNFileBytes;
  std::u16string _readError;
};

// Every configuration value of the system and the server catalogue.
class TSettings {
 public:
  explicit TSettings(std::u16string fileName);
  ~TSettings();
  TSettings(const TSettings&) = delete;
  TSettings& operator=(const TSettings&) = delete;

  // Finds the OpenVPN installation and sets ConfigDir. The overload without
  // an argument uses the machine's registry stand-in.
  void loadFromRegistry();
  void loadFromRegistry(const IRegistry& registry);
  // Builds the catalogue from ConfigDir: every *.ovpn and *.conf file with a
  // line "client". A file that cannot be opened raises EFileError naming it.
  void init();
  bool isClientConfig(const std::u16string& fullPath) const;

  // Reads the settings file; stops at the first error, keeping what was read
  // before it. A missing or unreadable file raises EFileError, a damaged one
  // Exception, a bad number or Boolean EConvertError.
  void loadFromFile();
  // Writes the settings file. The old file is replaced only once the new one
  // is complete on disk; the file is private to its owner (mode 0600) and
  // missing folders are created (mode 0700). Raises EFileError; a value
  // holding a character XML cannot carry raises Exception naming its
  // property, and then nothing is written.
  void saveToFile() const;

  const std::u16string& FileName() const { return _fileName; }
  const std::u16string& ConfigDir() const { return _configDir; }
  // ConfigDir as the file system's bytes, for opening and as a working folder.
  const std::string& ConfigDirBytes() const { return _configDirBytes; }
  int32_t ConnectionTimeout() const { return integer(TFieldId::ConnectionTimeout); }
  int32_t RepeatPeriod() const { return integer(TFieldId::RepeatPeriod); }
  int ServerCount() const { return static_cast<int>(_servers.size()); }
  const TVPNServer& Servers(int index) const { return *_servers[index]; }

  // A value of the file's table in stored form ("587", "true").
  const std::u16string& FieldText(TFieldId id) const { return _fields[index(id)]; }
  // Converts `text` by the field's type and stores its canonical form; raises
  // EConvertError for a number or Boolean that does not convert.
  void SetFieldText(TFieldId id, std::u16string_view text);

  const std::u16string& MsgFrom() const { return FieldText(TFieldId::MsgFrom); }
  void SetMsgFrom(std::u16string v) { set(TFieldId::MsgFrom, std::move(v)); }
  const std::u16string& MsgCC() const { return FieldText(TFieldId::MsgCC); }
  void SetMsgCC(std::u16string v) { set(TFieldId::MsgCC, std::move(v)); }
  const std::u16string& MsgSubject() const { return FieldText(TFieldId::MsgSubject); }
  void SetMsgSubject(std::u16string v) { set(TFieldId::MsgSubject, std::move(v)); }
  const std::u16string& MsgText() const { return FieldText(TFieldId::MsgText); }
  void SetMsgText(std::u16string v) { set(TFieldId::MsgText, std::move(v)); }
  const std::u16string& MsgTo() const { return FieldText(TFieldId::MsgTo); }
  void SetMsgTo(std::u16string v) { set(TFieldId::MsgTo, std::move(v)); }
  const std::u16string& Password() const { return FieldText(TFieldId::Password); }
  void SetPassword(std::u16string v) { set(TFieldId::Password, std::move(v)); }
  const std::u16string& SMTPHost() const { return FieldText(TFieldId::SMTPHost); }
  void SetSMTPHost(std::u16string v) { set(TFieldId::SMTPHost, std::move(v)); }
  const std::u16string& SMTPLogin() const { return FieldText(TFieldId::SMTPLogin); }
  void SetSMTPLogin(std::u16string v) { set(TFieldId::SMTPLogin, std::move(v)); }
  const std::u16string& SMTPPassword() const { return FieldText(TFieldId::SMTPPassword); }
  void SetSMTPPassword(std::u16string v) { set(TFieldId::SMTPPassword, std::move(v)); }
  int32_t SMTPPort() const { return integer(TFieldId::SMTPPort); }
  void SetSMTPPort(int32_t v);
  bool SMTPUseSSLTLS() const;
  void SetSMTPUseSSLTLS(bool v);
  const std::u16string& Username() const { return FieldText(TFieldId::Username); }
  void SetUsername(std::u16string v) { set(TFieldId::Username, std::move(v)); }
  // The options beyond the Alerts page; the file holds them only when one
  // differs from its default.
  const TOptions& Options() const { return _options; }
  void SetOptions(TOptions v) { _options = std::move(v); }
  // Where notifications go besides the mail; the file holds them only when
  // there is one.
  const std::vector<TNotifierConfig>& Notifiers() const { return _notifiers; }
  void SetNotifiers(std::vector<TNotifierConfig> v) { _notifiers = std::move(v); }

 private:
  static size_t index(TFieldId id) { return static_cast<size_t>(id); }
  void set(TFieldId id, std::u16string v) { _fields[index(id)] = std::move(v); }
  int32_t integer(TFieldId id) const;

  std::u16string _configDir;
  std::string _configDirBytes;
  std::u16string _fileName;
  std::vector<std::unique_ptr<TVPNServer>> _servers;
  std::array<std::u16string, static_cast<size_t>(TFieldId::Count)> _fields;
  TOptions _options;
  std::vector<TNotifierConfig> _notifiers;
};

}  // namespace quorvex
