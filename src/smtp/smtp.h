#pragma once

#include <string>
#include <vector>

#include "smtp/smtp_base.h"

namespace quorvex {

enum TQxSMTPAuthenticationType { satNone, satDefault, satSASL };

class EQxSASLMechNeeded : public EQxException {
 public:
  EQxSASLMechNeeded() : EQxException(u"Need SASL mechanisms to login with it!!") {}
};

// The SASL mechanisms to try with satSASL, and the mechanisms a server
// lists in its capabilities.
class TQxSASLEntries {
 public:
  const std::vector<std::u16string>& Items() const { return FItems; }
  std::vector<std::u16string>& Items() { return FItems; }
  bool Empty() const { return FItems.empty(); }

  // The words after AKeyword (followed by a space or "=") on every line,
  // upper-cased, "=" read as a space, each word once in order of first
  // occurrence.
  static std::vector<std::u16string> ParseCapaReply(const std::vector<std::u16string>& ALines,
                                                    std::u16string_view AKeyword = u"AUTH");

 private:
  std::vector<std::u16string> FItems;
};

// The SMTP client: session (greeting, EHLO or HELO, STARTTLS, AUTH LOGIN,
// QUIT) around the transaction of TQxSMTPBase.
class TQxSMTP : public TQxSMTPBase {
 public:
  TQxSMTP();

  TQxSMTPAuthenticationType AuthType() const { return FAuthType; }
  void SetAuthType(TQxSMTPAuthenticationType AValue) { FAuthType = AValue; }
  bool DidAuthenticate() const { return FDidAuthenticate; }
  TQxSASLEntries& SASLMechanisms() { return FSASLMechanisms; }

  // Connects, reads the 220 greeting and greets the server. A failure after
  // the TCP connect closes without QUIT.
  void Connect() override;
  using TQxTCPClientCustom::Connect;
  // STARTTLS when due, then AUTH LOGIN when possible; DidAuthenticate.
  virtual bool Authenticate();
  using TQxTCPConnection::Disconnect;
  void Disconnect(bool ANotifyPeer) override;

  void SetUseTLS(TQxUseTLS AValue) override;
  void SetUseEhlo(bool AValue) override;

 protected:
  void DisconnectNotifyPeer() override;
  void DeliverMessage(TQxMessage& AMsg, const std::u16string& AFrom,
                      const TQxEMailAddressList& ARecipients) override;
  void SendHello();
  void NegotiateTLS();

 private:
  // HeloName, else the host's name.
  std::u16string HelloName() const;
  void CheckCredentials() const;

  TQxSMTPAuthenticationType FAuthType = satDefault;
  bool FDidAuthenticate = false;
  TQxSASLEntries FSASLMechanisms;
};

}  // namespace quorvex
