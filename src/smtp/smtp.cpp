#include "smtp/smtp.h"

#include <algorithm>
#include <exception>

#include "mail/body_encoders.h"
#include "net/ssl_io_handler_base.h"
#include "net/stack.h"
#include "platform/host_name.h"
#include "platform/text.h"
#include "platform/text_encoding.h"

namespace quorvex {

namespace {

// Base64 of the text's ISO-8859-1 bytes, on one line.
std::u16string Base64Latin1(const std::u16string& AText) {
  return u16(TQxEncoderMIME::Encode(TEncoding::ISO88591().GetBytes(AText)));
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
  std::u16string name = TQxStack::Instance().HostName();
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
    case satDefault: {
      if (Username().empty()) break;
      const auto mechanisms = TQxSASLEntries::ParseCapaReply(FCapabilities);
      if (std::find(mechanisms.begin(), mechanisms.end(), u"LOGIN") == mechanisms.end()) break;
      SendCmd(u"AUTH LOGIN", 334);
      SendCmd(Base64Latin1(Username()), 334);
      SendCmd(Base64Latin1(Password()), 235);
      FDidAuthenticate = true;
      break;
    }
    case satSASL:
      if (FSASLMechanisms.Empty()) throw EQxSASLMechNeeded();
      // Only the mechanism check is offered: nothing here logs in by SASL.
      break;
  }
  return FDidAuthenticate;
}

void TQxSMTP::DeliverMessage(TQxMessage& AMsg, const std::u16string& AFrom,
                             const TQxEMailAddressList& ARecipients) {
  Authenticate();
  AMsg.ExtraHeaders().SetHeaderValue(u"X-Mailer", FMailAgent);
  TQxSMTPBase::DeliverMessage(AMsg, AFrom, ARecipients);
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
