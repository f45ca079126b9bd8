#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
  int32_t ConnectionTimeout() const { return _connectionTimeout; }
  int32_t RepeatPeriod() const { return _repeatPeriod; }
  int ServerCount() const { return static_cast<int>(_servers.size()); }
  const TVPNServer& Servers(int index) const { return *_servers[index]; }

  const std::u16string& MsgFrom() const { return _msgFrom; }
  void SetMsgFrom(std::u16string v) { _msgFrom = std::move(v); }
  const std::u16string& MsgCC() const { return _msgCC; }
  void SetMsgCC(std::u16string v) { _msgCC = std::move(v); }
  const std::u16string& MsgSubject() const { return _msgSubject; }
  void SetMsgSubject(std::u16string v) { _msgSubject = std::move(v); }
  const std::u16string& MsgText() const { return _msgText; }
  void SetMsgText(std::u16string v) { _msgText = std::move(v); }
  const std::u16string& MsgTo() const { return _msgTo; }
  void SetMsgTo(std::u16string v) { _msgTo = std::move(v); }
  const std::u16string& Password() const { return _password; }
  void SetPassword(std::u16string v) { _password = std::move(v); }
  const std::u16string& SMTPHost() const { return _smtpHost; }
  void SetSMTPHost(std::u16string v) { _smtpHost = std::move(v); }
  const std::u16string& SMTPLogin() const { return _smtpLogin; }
  void SetSMTPLogin(std::u16string v) { _smtpLogin = std::move(v); }
  const std::u16string& SMTPPassword() const { return _smtpPassword; }
  void SetSMTPPassword(std::u16string v) { _smtpPassword = std::move(v); }
  int32_t SMTPPort() const { return _smtpPort; }
  void SetSMTPPort(int32_t v) { _smtpPort = v; }
  bool SMTPUseSSLTLS() const { return _smtpUseSSLTLS; }
  void SetSMTPUseSSLTLS(bool v) { _smtpUseSSLTLS = v; }
  const std::u16string& Username() const { return _username; }
  void SetUsername(std::u16string v) { _username = std::move(v); }
  // The options beyond the Alerts page; the file holds them only when one
  // differs from its default.
  const TOptions& Options() const { return _options; }
  void SetOptions(TOptions v) { _options = std::move(v); }

 private:
  std::u16string _configDir;
  std::string _configDirBytes;
  int32_t _connectionTimeout = 90;
  std::u16string _fileName;
  std::u16string _msgFrom;
  std::u16string _msgCC;
  std::u16string _msgSubject;
  std::u16string _msgText;
  std::u16string _msgTo;
  std::u16string _password;
  int32_t _repeatPeriod = 5;
  std::vector<std::unique_ptr<TVPNServer>> _servers;
  std::u16string _smtpHost;
  std::u16string _smtpLogin;
  std::u16string _smtpPassword;
  int32_t _smtpPort = 0;
  bool _smtpUseSSLTLS = false;
  std::u16string _username;
  TOptions _options;
};

}  // namespace quorvex
