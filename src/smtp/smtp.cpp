#include "smtp/smtp.h"

#include <algorithm>
#include <exception>

#include "mail/body_encoders.h"
#include "net/ssl_io_handler_base.h"
#include "net/stack.h"
#include "platform/host_name.h"
#include "platform/text.h"
#include "platform/text_encoding.h"
#include "smtp/reply_smtp.h"

namespace quorvex {

namespace {

// Base64 of the bytes, on one line. SASL servers compare credentials as
// UTF-8, so text goes out in that form (ASCII keeps its bytes).
std::u16string Base64(std::string_view ABytes) { return u16(TQxEncoderMIME::Encode(ABytes)); }

std::string Utf8(const std::u16string& AText) { return TEncoding::UTF8().GetBytes(AText); }

std::u16string JoinWords(const std::vector<std::u16string>& AWords) {
  std::u16string text;
  for (const auto& word : AWords) text += (text.empty() ? u"" : u" ") + word;
  return text;
}

// The user name as an OAUTHBEARER authzid: "," and "=" escaped.
std::string SaslName(const std::string& AUser) {
  std::string name;
  for (char c : AUser) {
    if (c == ',')
      name += "=2C";
    else if (c == '=')
      name += "=3D";
    else
      name += c;
  }
  return name;
}

}  // namespace

std::vector<std::u16string> TQxSASLEntries::ParseCapaReply(
    const std::vector<std::u16string>& ALines, std::u16string_view AKeyword) {
  std::vector<std::u16string> words;
  for (const auto& line : ALines) {
    if (line.size() <= AKeyword.size() ||
        !EqualsNoCase(std::u16string_view(line).substr(0, AKeyword.size()), AKeyword))
      continue;
    const char16_t after = line[AKeyword.size()];
    if (after != u' ' && after != u'=') continue;
    std::u16string rest = AsciiUpper(std::u16string_view(line).substr(AKeyword.size() + 1));
    std::replace(rest.begin(), rest.end(), u'=', u' ');
    size_t start = 0;
    while (start < rest.size()) {
      size_t end = rest.find(u' ', start);
      if (end == std::u16string::npos) end = rest.size();
      std::u16string word = rest.substr(start, end - start);
      if (!word.empty() && std::find(words.begin(), words.end(), word) == words.end())
        words.push_back(std::move(word));
      start = end + 1;
    }
  }
  return words;
}

TQxSMTP::TQxSMTP() { SetPort(FRegularProtPort); }

void TQxSMTP::SetUseTLS(TQxUseTLS AValue) {
  TQxSMTPBase::SetUseTLS(AValue);
  if (UseTLS() == utUseRequireTLS || UseTLS() == utUseExplicitTLS) SetUseEhlo(true);
}

void TQxSMTP::SetUseEhlo(bool AValue) {
  TQxSMTPBase::SetUseEhlo(AValue);
  if (AValue) return;
  FAuthType = satDefault;
  if (UseTLS() == utUseRequireTLS || UseTLS() == utUseExplicitTLS) {
    // Stored as it is, without the port rule: EHLO is what STARTTLS needs.
    StoreUseTLS(utNoTLSSupport);
    FPipeline = false;
  }
}

std::u16string TQxSMTP::HelloName() const {
  if (!FHeloName.empty()) return FHeloName;
  // The fully qualified name where the machine has one: servers that check
  // the greeting refuse a bare host name.
  std::u16string name = LocalFullyQualifiedName();
  if (name.empty()) name = TQxStack::Instance().HostName();
  if (name.empty()) name = LocalHostName().substr(0, 15);
  // A greeting must name something; "localhost" stands in when the machine
  // has no name to give.
  if (name.empty()) name = u"localhost";
  return name;
}

void TQxSMTP::CheckCredentials() const {
  CheckNoLineBreak(FHeloName, u"The HELO name");
  CheckNoLineBreak(Username(), u"The user name");
  CheckNoLineBreak(Password(), u"The password");
}

void TQxSMTP::Connect() {
  FDidAuthenticate = false;
  FLoginNotUsed.clear();
  CheckCredentials();
  if (UseTLS() != utNoTLSSupport) CheckTLSHandler();
  if (auto* handler = SSLHandler()) handler->SetPassThrough(UseTLS() != utUseImplicitTLS);
  TQxSMTPBase::Connect();
  try {
    GetResponse(220);
    SendHello();
  } catch (...) {
    const std::exception_ptr error = std::current_exception();
    Disconnect(false);
    std::rethrow_exception(error);
  }
}

void TQxSMTP::SendHello() {
  FCapabilities.clear();
  const std::u16string name = HelloName();
  if (FUseEhlo && SendCmd(u"EHLO " + name) == 250) {
    FCapabilities = LastCmdResult().Text().Lines();
    if (!FCapabilities.empty()) FCapabilities.erase(FCapabilities.begin());
    return;
  }
  SendCmd(u"HELO " + name, 250);
}

void TQxSMTP::NegotiateTLS() {
  TQxSSLIOHandlerSocketBase* handler = SSLHandler();
  if (!handler || UseTLS() == utNoTLSSupport || !handler->PassThrough()) return;
  try {
    if (!SupportsTLS()) {
      TLSNotAvailable();
    } else if (SendCmd(u"STARTTLS") != 220) {
      TLSNegCmdFailed();
    } else {
      bool switched = true;
      try {
        SwitchToTLS();
      } catch (...) {
        switched = false;
      }
      if (!switched) TLSHandShakeFailed();
      SendHello();
    }
  } catch (...) {
    const std::exception_ptr error = std::current_exception();
    Disconnect(true);
    std::rethrow_exception(error);
  }
}

bool TQxSMTP::Authenticate() {
  if (FDidAuthenticate) return true;
  CheckCredentials();
  NegotiateTLS();
  switch (FAuthType) {
    case satNone:
      FDidAuthenticate = true;
      break;
    case satDefault:
      AuthenticateDefault();
      break;
    case satSASL:
      if (FSASLMechanisms.Empty()) throw EQxSASLMechNeeded();
      // Only the mechanism check is offered: nothing here logs in by SASL.
      break;
  }
  return FDidAuthenticate;
}

std::u16string MechanismName(TQxSMTPMechanism AMechanism) {
  switch (AMechanism) {
    case TQxSMTPMechanism::Login:
      return u"LOGIN";
    case TQxSMTPMechanism::Plain:
      return u"PLAIN";
    case TQxSMTPMechanism::XOAuth2:
      return u"XOAUTH2";
    case TQxSMTPMechanism::OAuthBearer:
      return u"OAUTHBEARER";
    case TQxSMTPMechanism::Auto:
    case TQxSMTPMechanism::None:
      break;
  }
  return {};
}

std::u16string TQxSMTP::LoginNotUsedReason(const std::vector<std::u16string>& AOffered) {
  if (!AOffered.empty())
    return u"the server offers no AUTH method Quorvex speaks; offered: " + JoinWords(AOffered);
  const TQxSSLIOHandlerSocketBase* handler = SSLHandler();
  const bool inTLS = handler && !handler->PassThrough();
  if (SupportsTLS() && !inTLS) return u"the server offers AUTH only after STARTTLS; tick SSL/TLS";
  return u"the server offers no AUTH";
}

void TQxSMTP::AuthenticateDefault() {
  FLoginNotUsed.clear();
  if (FMechanism == TQxSMTPMechanism::None) return;
  const auto offered = TQxSASLEntries::ParseCapaReply(FCapabilities);
  const auto offers = [&offered](TQxSMTPMechanism AMechanism) {
    return std::find(offered.begin(), offered.end(), MechanismName(AMechanism)) != offered.end();
  };
  TQxSMTPMechanism use = FMechanism;
  if (FMechanism == TQxSMTPMechanism::Auto) {
    if (Username().empty()) return;
    const bool oauth = static_cast<bool>(OnAccessToken);
    if (oauth && offers(TQxSMTPMechanism::XOAuth2))
      use = TQxSMTPMechanism::XOAuth2;
    else if (oauth && offers(TQxSMTPMechanism::OAuthBearer))
      use = TQxSMTPMechanism::OAuthBearer;
    else if (offers(TQxSMTPMechanism::Login))
      use = TQxSMTPMechanism::Login;
    else if (offers(TQxSMTPMechanism::Plain))
      use = TQxSMTPMechanism::Plain;
    else {
      // The mail goes on; a refusal then says why the login was left out.
      FLoginNotUsed = LoginNotUsedReason(offered);
      return;
    }
  } else {
    const std::u16string name = MechanismName(FMechanism);
    if (Username().empty()) throw EQxSMTPAuthUnusable(u"AUTH " + name + u" needs a login.");
    if (!offers(FMechanism)) {
      std::u16string why = LoginNotUsedReason(offered);
      if (!offered.empty()) why = u"it offers " + JoinWords(offered);
      throw EQxSMTPAuthUnusable(u"The server does not offer AUTH " + name + u" (" + why +
                                u"); no mail was sent.");
    }
  }
  switch (use) {
    case TQxSMTPMechanism::Login:
      AuthLogin();
      break;
    case TQxSMTPMechanism::Plain:
      AuthPlain();
      break;
    default:
      AuthOAuth(use);
      break;
  }
  FDidAuthenticate = true;
}

void TQxSMTP::AuthLogin() {
  SendCmd(u"AUTH LOGIN", 334);
  SendCmd(Base64(Utf8(Username())), 334);
  SendCmd(Base64(Utf8(Password())), 235);
}

void TQxSMTP::AuthPlain() {
  // The initial response: no authorisation identity, then user and password.
  const std::string response = std::string(1, '\0') + Utf8(Username()) + '\0' + Utf8(Password());
  SendCmd(u"AUTH PLAIN " + Base64(response), 235);
}

void TQxSMTP::AuthOAuth(TQxSMTPMechanism AMechanism) {
  if (!OnAccessToken)
    throw EQxSMTPAuthUnusable(u"AUTH " + MechanismName(AMechanism) +
                              u" needs OAuth to be set up (a provider or a token command).");
  const std::string token = OnAccessToken();
  const std::string user = Utf8(Username());
  const bool xoauth2 = AMechanism == TQxSMTPMechanism::XOAuth2;
  const std::string response = (xoauth2 ? "user=" + user : "n,a=" + SaslName(user) + ",") +
                               "\x01"
                               "auth=Bearer " +
                               token + "\x01\x01";
  // A refused token gets a 334 with the error details first; the answer
  // that ends the exchange then brings the refusal.
  if (SendCmd(u"AUTH " + MechanismName(AMechanism) + u" " + Base64(response),
              std::vector<TQxReplyCode>{235, 334}) == 334)
    SendCmd(xoauth2 ? u"" : Base64("\x01"), 235);
}

void TQxSMTP::DeliverMessage(TQxMessage& AMsg, const std::u16string& AFrom,
                             const TQxEMailAddressList& ARecipients) {
  Authenticate();
  AMsg.ExtraHeaders().SetHeaderValue(u"X-Mailer", FMailAgent);
  try {
    TQxSMTPBase::DeliverMessage(AMsg, AFrom, ARecipients);
  } catch (const EQxSMTPReplyError& e) {
    if (FLoginNotUsed.empty()) throw;
    throw EQxSMTPReplyError(e.ErrorCode(), e.EnhancedCode(),
                            e.Message() + u"(the login was not used: " + FLoginNotUsed + u")\r\n");
  }
}

void TQxSMTP::DisconnectNotifyPeer() { SendCmd(u"QUIT", 221); }

void TQxSMTP::Disconnect(bool ANotifyPeer) {
  try {
    TQxSMTPBase::Disconnect(ANotifyPeer);
  } catch (...) {
    FDidAuthenticate = false;
    throw;
  }
  FDidAuthenticate = false;
}

}  // namespace quorvex
