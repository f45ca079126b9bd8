#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "alerts/oauth.h"
#include "settings/settings.h"
#include "smtp/smtp.h"

namespace quorvex {

// The fields of the Alerts page as one e-mail reads them: from the window's
// controls (so unsaved edits count) or from the saved settings.
struct TAlertMailFields {
  std::u16string MsgFrom, MsgTo, MsgCC, MsgSubject, MsgText;
  std::u16string SMTPHost;
  std::u16string SMTPPort;  // as typed; converted when the mail is sent
  std::u16string SMTPLogin, SMTPPassword;
  bool SMTPUseSSLTLS = false;
  // The Options page: security, certificate check, recovery subject, OAuth.
  TOptions Options{};
  // Where a refresh token the provider replaces is stored; empty: kept in
  // memory only.
  std::u16string SettingsFile{};
};

// The mail server's certificate failed the check the options ask for.
class EQxCertificateRefused : public EQxException {
 public:
  using EQxException::EQxException;
};

// The fields from their texts as the settings file stores them; `text`
// gives each one (the window's controls give the port as typed).
TAlertMailFields alertMailFieldsFrom(const std::function<std::u16string(TFieldId)>& text,
                                     TOptions options, std::u16string settingsFile);
// The fields as saved in the settings (the front end without a window).
TAlertMailFields alertMailFieldsFrom(const TSettings& settings);

// Upper bounds of the waits for the SMTP server. Without them a silent or
// stalled server would hold the window (and the cycle) for ever.
struct TAlertMailWaits {
  int ConnectTimeoutMs = 15000;
  int ReadTimeoutMs = 30000;
  TOAuthWaits OAuth{};
};

// The SMTP client of a front end with what outlives one mail: the OAuth
// access tokens of the run.
class TAlertSMTP : public TQxSMTP {
 public:
  TOAuthTokens OAuthTokens;
};

// The mechanism the option smtp_auth names.
TQxSMTPMechanism mechanismOf(const TOptions& options);

// What to change when connecting failed in a way that points at the TLS
// setting: port 465 silent without implicit TLS, or implicit TLS meeting a
// plain greeting; "" otherwise.
std::u16string connectHint(const EQxException& error, std::uint16_t port, bool implicitTLS);

// The message of a mail error for a terminal or a log line: a refusal starts
// with the server's reply code and enhanced code ("554 5.7.1 ...").
std::u16string mailErrorText(const std::exception& error);

inline constexpr char16_t kTestMailSubject[] = u"Quorvex SMTP Test";
inline constexpr char16_t kServerNamePlaceholder[] = u"<serverName>";
inline constexpr char16_t kReasonPlaceholder[] = u"<reason>";

// The SMTP client of a front end, made once for its whole run: no SASL
// mechanisms listed, everything else at the client's defaults (a
// TAlertSMTP, so OAuth tokens are kept between mails).
std::unique_ptr<TQxSMTP> makeAlertSMTP();

// Every occurrence of "<serverName>" replaced by name, left to right,
// case-sensitive, never searching inside an inserted name.
std::u16string replaceServerName(std::u16string_view text, std::u16string_view name);
// The same in one pass for "<serverName>" and "<reason>"; neither is
// searched for inside what was inserted.
std::u16string replacePlaceholders(std::u16string_view text, std::u16string_view name,
                                   std::u16string_view reason);

// Raises, in words, for an empty field that would stop any mail: "No SMTP
// server is set." and the like.
void checkMailFields(const TAlertMailFields& fields);

// A new "<unique@host>" for the Message-ID line.
std::u16string newMessageId();

// Sends the test mail (testMode) or the alert for serverName through idSMTP
// on a connection of its own, closed (without QUIT) before it returns.
// Raises the error of the step that failed. An alert's `reason` (why the
// server failed) takes the place of "<reason>".
void sendMail(TQxSMTP& idSMTP, const TAlertMailFields& fields, bool testMode,
              std::u16string_view serverName = {}, const TAlertMailWaits& waits = {},
              std::u16string_view reason = {});

// Sends the mail that serverName is up again after an outage of `outage`:
// the recovery subject of the options and a fixed text, "<serverName>"
// replaced in both (and "<reason>" by that of the outage's last failure),
// over the same connection rules as sendMail.
void sendRecoveryMail(TQxSMTP& idSMTP, const TAlertMailFields& fields,
                      std::u16string_view serverName, std::chrono::seconds outage,
                      const TAlertMailWaits& waits = {}, std::u16string_view reason = {});

}  // namespace quorvex
