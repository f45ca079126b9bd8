#include "alerts/alert_mail.h"

#include <chrono>
#include <cstdint>
#include <random>

#include "alerts/alert_policy.h"
#include "net/net_errors.h"
#include "net/ssl_errors.h"
#include "net/ssl_openssl.h"
#include "platform/exception.h"
#include "platform/host_name.h"
#include "platform/text.h"
#include "settings/value_text.h"
#include "smtp/reply_smtp.h"

namespace quorvex {

namespace {

bool isAscii(std::u16string_view text) {
  for (char16_t c : text)
    if (c > 0x7F) return false;
  return true;
}

// The host part of a Message-ID: the machine's fully qualified name reduced
// to the characters a domain may hold.
std::u16string messageIdHost() {
  std::u16string host;
  for (char16_t c : LocalFullyQualifiedName()) {
    const bool alnum =
        (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
    if (alnum || ((c == u'-' || c == u'.') && !host.empty() && host.back() != u'.')) host += c;
  }
  while (!host.empty() && (host.back() == u'.' || host.back() == u'-')) host.pop_back();
  return host.empty() ? u"localhost" : host;
}

std::u16string hex(std::uint64_t value) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string text;
  do {
    text.insert(text.begin(), kDigits[value & 15]);
    value >>= 4;
  } while (value != 0);
  return text;
}

// A body outside ASCII goes out as UTF-8 in quoted-printable, declared by
// MIME-Version, Content-Type and Content-Transfer-Encoding; an ASCII body
// keeps the plain layout.
void declareBody(TQxMessage& msg) {
  bool ascii = true;
  for (const auto& line : msg.Body().Lines()) ascii = ascii && isAscii(line);
  if (ascii) return;
  msg.SetEncoding(meMIME);
  msg.SetContentType(u"text/plain");
  msg.SetCharSet(u"utf-8");
  msg.SetContentTransferEncoding(u"quoted-printable");
}

// Detaches and frees the handler whatever happens; releasing it closes the
// connection (and its TLS session) without QUIT.
class TAttachedHandler {
 public:
  explicit TAttachedHandler(TQxSMTP& client)
      : _client(client), _handler(std::make_unique<TQxSSLIOHandlerSocketOpenSSL>()) {
    _client.SetIOHandler(_handler.get());
  }
  TQxSSLIOHandlerSocketOpenSSL& get() const { return *_handler; }
  ~TAttachedHandler() { _client.SetIOHandler(nullptr); }
  TAttachedHandler(const TAttachedHandler&) = delete;
  TAttachedHandler& operator=(const TAttachedHandler&) = delete;

 private:
  TQxSMTP& _client;
  std::unique_ptr<TQxSSLIOHandlerSocketOpenSSL> _handler;
};

}  // namespace

TAlertMailFields alertMailFieldsFrom(const std::function<std::u16string(TFieldId)>& text,
                                     TOptions options, std::u16string settingsFile) {
  TAlertMailFields f;
  f.MsgFrom = text(TFieldId::MsgFrom);
  f.MsgTo = text(TFieldId::MsgTo);
  f.MsgCC = text(TFieldId::MsgCC);
  f.MsgSubject = text(TFieldId::MsgSubject);
  f.MsgText = text(TFieldId::MsgText);
  f.SMTPHost = text(TFieldId::SMTPHost);
  f.SMTPPort = text(TFieldId::SMTPPort);
  f.SMTPLogin = text(TFieldId::SMTPLogin);
  f.SMTPPassword = text(TFieldId::SMTPPassword);
  f.SMTPUseSSLTLS = textToBool(text(TFieldId::SMTPUseSSLTLS));
  f.Options = std::move(options);
  f.SettingsFile = std::move(settingsFile);
  return f;
}

TAlertMailFields alertMailFieldsFrom(const TSettings& settings) {
  return alertMailFieldsFrom([&settings](TFieldId id) { return settings.FieldText(id); },
                             settings.Options(), settings.FileName());
}

std::unique_ptr<TQxSMTP> makeAlertSMTP() { return std::make_unique<TAlertSMTP>(); }

TQxSMTPMechanism mechanismOf(const TOptions& options) {
  const std::u16string& value = options.Text(TOptionId::SMTPAuth);
  if (value == kAuthLogin) return TQxSMTPMechanism::Login;
  if (value == kAuthPlain) return TQxSMTPMechanism::Plain;
  if (value == kAuthXOAuth2) return TQxSMTPMechanism::XOAuth2;
  if (value == kAuthOAuthBearer) return TQxSMTPMechanism::OAuthBearer;
  if (value == kAuthNone) return TQxSMTPMechanism::None;
  return TQxSMTPMechanism::Auto;
}

std::u16string connectHint(const EQxException& error, std::uint16_t port, bool implicitTLS) {
  if (!implicitTLS && port == 465 && dynamic_cast<const EQxReadTimeout*>(&error))
    return u"Port 465 usually speaks TLS from the first byte: choose implicit TLS under Options, "
           u"Security.";
  if (implicitTLS && dynamic_cast<const EQxOpenSSLError*>(&error) &&
      error.Message().find(u"wrong version number") != std::u16string::npos)
    return u"The server answered without TLS: the port probably expects STARTTLS (Options, "
           u"Security: as the SSL/TLS box, and tick SSL/TLS).";
  return {};
}

std::u16string mailErrorText(const std::exception& error) {
  const auto* exception = dynamic_cast<const Exception*>(&error);
  const std::u16string message = exception ? exception->Message() : fromUtf8(error.what());
  const auto* refusal = dynamic_cast<const EQxSMTPReplyError*>(&error);
  if (!refusal) return message;
  std::u16string code = int32ToText(refusal->ErrorCode()) + u" ";
  if (refusal->EnhancedCode().Available()) code += refusal->EnhancedCode().ReplyAsStr() + u" ";
  return code + message;
}

namespace {

struct TPlaceholder {
  std::u16string_view key, value;
};

std::u16string replaceEach(std::u16string_view text, std::initializer_list<TPlaceholder> all) {
  std::u16string out;
  size_t from = 0;
  for (size_t at = 0; at < text.size();) {
    const TPlaceholder* found = nullptr;
    for (const TPlaceholder& p : all)
      if (text.substr(at).starts_with(p.key)) found = &p;
    if (!found) {
      ++at;
      continue;
    }
    out.append(text.substr(from, at - from));
    out.append(found->value);
    at += found->key.size();
    from = at;
  }
  out.append(text.substr(from));
  return out;
}

}  // namespace

std::u16string replaceServerName(std::u16string_view text, std::u16string_view name) {
  return replaceEach(text, {{kServerNamePlaceholder, name}});
}

std::u16string replacePlaceholders(std::u16string_view text, std::u16string_view name,
                                   std::u16string_view reason) {
  return replaceEach(text, {{kServerNamePlaceholder, name},
                            {kReasonPlaceholder, reason.empty() ? u"unknown" : reason}});
}

void checkMailFields(const TAlertMailFields& fields) {
  if (Trim(fields.SMTPHost).empty()) throw EQxException(u"No SMTP server is set.");
  if (Trim(fields.SMTPPort).empty() || Trim(fields.SMTPPort) == u"0")
    throw EQxException(u"No SMTP port is set.");
  if (Trim(fields.MsgTo).empty() && Trim(fields.MsgCC).empty())
    throw EQxException(u"No recipient (To) is set.");
}

std::u16string newMessageId() {
  std::random_device device;
  const std::uint64_t random = (std::uint64_t{device()} << 32) ^ device();
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
  return u"<" + hex(static_cast<std::uint64_t>(micros)) + u"." + hex(random) + u"@" +
         messageIdHost() + u">";
}

namespace {

// The message parts every mail shares: sender, recipients, Message-ID and
// the charset rules.
void fillEnvelope(TQxMessage& msg, const TAlertMailFields& fields) {
  msg.From().SetAddress(fields.MsgFrom);
  msg.Recipients().SetEMailAddresses(fields.MsgTo);
  msg.CCList().SetEMailAddresses(fields.MsgCC);
  // Large providers refuse mail without a Message-ID, and a relay adds none
  // for a remote client; it goes after the Date line.
  msg.ExtraHeaders().SetHeaderValue(u"Message-ID", newMessageId());
  // Encoded words in UTF-8 can carry any server name; the locale's charset
  // might not, and the alert would then fail at every try.
  msg.OnInitializeISO = [](char16_t&, std::u16string& charset) { charset = u"UTF-8"; };
  declareBody(msg);
}

// Connects as the fields and their options say and sends msg.
void deliver(TQxSMTP& idSMTP, const TAlertMailFields& fields, TQxMessage& msg,
             const TAlertMailWaits& waits) {
  TAttachedHandler handler(idSMTP);
  idSMTP.SetConnectTimeout(waits.ConnectTimeoutMs);
  idSMTP.SetReadTimeout(waits.ReadTimeoutMs);
  idSMTP.SetHost(fields.SMTPHost);
  const auto port = static_cast<std::uint16_t>(textToInt32(fields.SMTPPort));
  idSMTP.SetPort(port);
  const std::u16string& security = fields.Options.Text(TOptionId::SMTPSecurity);
  if (security == kSecurityImplicitTLS) {
    idSMTP.SetUseTLS(utUseImplicitTLS);
    idSMTP.SetPort(port);  // as typed: no 25 to 465 rewriting
  } else if (security == kSecurityRequireStartTLS) {
    idSMTP.SetUseTLS(utUseRequireTLS);
  } else {
    idSMTP.SetUseTLS(fields.SMTPUseSSLTLS ? utUseExplicitTLS : utNoTLSSupport);
  }
  if (fields.Options.Boolean(TOptionId::VerifyCertificate)) {
    TQxSSLOptions& tls = handler.get().SSLOptions();
    tls.SetVerifyMode(sslvrfPeer);
    tls.SetVerifyDepth(10);  // room for the intermediates of public authorities
    tls.SetRootCertFile(fields.Options.Text(TOptionId::CAFile));
    tls.SetVerifyHostName(toUtf8(fields.SMTPHost));
  }
  idSMTP.SetUsername(fields.SMTPLogin);
  idSMTP.SetPassword(fields.SMTPPassword);
  idSMTP.SetMechanism(mechanismOf(fields.Options));
  TOAuthTokens callTokens;  // for a client made elsewhere: no tokens kept between mails
  auto* alertClient = dynamic_cast<TAlertSMTP*>(&idSMTP);
  TOAuthTokens& tokens = alertClient ? alertClient->OAuthTokens : callTokens;
  TOAuthWaits oauthWaits = waits.OAuth;
  if (oauthWaits.http.caFile.empty())
    oauthWaits.http.caFile = toUtf8(fields.Options.Text(TOptionId::CAFile));
  idSMTP.OnAccessToken = nullptr;
  if (oauthSetUp(fields.Options))
    idSMTP.OnAccessToken = [&] {
      return tokens.accessToken(fields.Options, fields.SettingsFile, oauthWaits);
    };
  // The token source refers to this call's locals.
  struct TClearTokenSource {
    TQxSMTP& client;
    ~TClearTokenSource() { client.OnAccessToken = nullptr; }
  } clearTokenSource{idSMTP};
  try {
    try {
      idSMTP.Connect();
    } catch (const EQxException& e) {
      const std::u16string hint = connectHint(e, port, security == kSecurityImplicitTLS);
      if (hint.empty()) throw;
      throw EQxException(e.Message() + u" " + hint);
    }
    idSMTP.Send(msg);
  } catch (const EQxOSSLLoadingRootCertError& e) {
    throw EQxCertificateRefused(u"The CA file \"" + fields.Options.Text(TOptionId::CAFile) +
                                u"\" cannot be used: " + e.Message());
  } catch (const EQxException&) {
    // The session reports a refused certificate as TLS being unavailable;
    // the user needs the reason.
    const std::u16string& reason = handler.get().VerifyFailure();
    if (!reason.empty())
      throw EQxCertificateRefused(u"The certificate of the SMTP server was refused: " + reason);
    throw;
  }
}

}  // namespace

void sendMail(TQxSMTP& idSMTP, const TAlertMailFields& fields, bool testMode,
              std::u16string_view serverName, const TAlertMailWaits& waits,
              std::u16string_view reason) {
  checkMailFields(fields);
  // A name is shown with its control characters escaped, as everywhere.
  const std::u16string name = EscapeControls(serverName);
  TQxMessage msg;
  if (testMode) {
    msg.SetSubject(kTestMailSubject);
    msg.Body().SetText(fields.MsgText);
  } else {
    msg.SetSubject(replacePlaceholders(fields.MsgSubject, name, reason));
    msg.Body().SetText(replacePlaceholders(fields.MsgText, name, reason));
  }
  fillEnvelope(msg, fields);
  deliver(idSMTP, fields, msg, waits);
}

void sendRecoveryMail(TQxSMTP& idSMTP, const TAlertMailFields& fields,
                      std::u16string_view serverName, std::chrono::seconds outage,
                      const TAlertMailWaits& waits, std::u16string_view reason) {
  checkMailFields(fields);
  TQxMessage msg;
  msg.SetSubject(
      replacePlaceholders(fields.Options.Text(TOptionId::RecoverySubject), serverName, reason));
  msg.Body().SetText(replacePlaceholders(
      u"<serverName> is up again. The outage lasted " + formatOutageLength(outage) + u".",
      serverName, reason));
  fillEnvelope(msg, fields);
  deliver(idSMTP, fields, msg, waits);
}

}  // namespace quorvex
