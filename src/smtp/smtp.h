#pragma once

#include <functional>
#include <string>
#include <vector>

#include "smtp/smtp_base.h"

namespace quorvex {

enum TQxSMTPAuthenticationType { satNone, satDefault, satSASL };

class EQxSASLMechNeeded : public EQxException {
 public:
  EQxSASLMechNeeded() : EQxException(u"Need SASL mechanisms to login with it!!") {}
};

// The mechanism satDefault logs in with. Auto takes OAuth when a token
// source is set and the server offers it, else LOGIN, else PLAIN; a named
// one must be offered, or no mail is sent.
enum class TQxSMTPMechanism { Auto, Login, Plain, XOAuth2, OAuthBearer, None };

// The mechanism asked for cannot be used with this server or these settings.
class EQxSMTPAuthUnusable : public EQxException {
 public:
  using EQxException::EQxException;
};

// The OAuth 2.0 access token for the user name; asked for only when an OAuth
// mechanism is used. Raises when no token can be had.
using TQxAccessTokenSource = std::function<std::string()>;

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
  TQxSMTPMechanism Mechanism() const { return FMechanism; }
  void SetMechanism(TQxSMTPMechanism AValue) { FMechanism = AValue; }
  // Set: OAuth is set up for this client.
  TQxAccessTokenSource OnAccessToken;

  // Connects, reads the 220 greeting and greets the server. A failure after
  // the TCP connect closes without QUIT.
  void Connect() override;
  using TQxTCPClientCustom::Connect;
  // STARTTLS when due, then AUTH when possible; DidAuthenticate.
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
  void AuthenticateDefault();
  // Why a login that is set was not used ("" when it was, or none is set).
  std::u16string LoginNotUsedReason(const std::vector<std::u16string>& AOffered);
  // The SASL exchange of one mechanism; raises the refusal.
  void AuthLogin();
  void AuthPlain();
  void AuthOAuth(TQxSMTPMechanism AMechanism);

  TQxSMTPAuthenticationType FAuthType = satDefault;
  bool FDidAuthenticate = false;
  TQxSASLEntries FSASLMechanisms;
  TQxSMTPMechanism FMechanism = TQxSMTPMechanism::Auto;
  std::u16string FLoginNotUsed;
};

// The mechanism's name on the AUTH line ("" for Auto and None).
std::u16string MechanismName(TQxSMTPMechanism AMechanism);

}  // namespace quorvex
