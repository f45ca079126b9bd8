#include "settings/options.h"

#include "platform/exception.h"
#include "platform/text.h"
#include "settings/value_text.h"

namespace quorvex {

namespace {

constexpr TOptionChoice kSecurityChoices[] = {
    {kSecuritySSLTLSBox, u"As the SSL/TLS box: STARTTLS when offered, or none"},
    {kSecurityRequireStartTLS, u"STARTTLS required"},
    {kSecurityImplicitTLS, u"Implicit TLS from the first byte (port 465)"},
};

constexpr TOptionChoice kAuthChoices[] = {
    {kAuthAuto, u"Automatic: LOGIN, else PLAIN; OAuth first when set up"},
    {kAuthLogin, u"LOGIN"},
    {kAuthPlain, u"PLAIN"},
    {kAuthXOAuth2, u"XOAUTH2 (OAuth 2.0: Microsoft 365, Google)"},
    {kAuthOAuthBearer, u"OAUTHBEARER (OAuth 2.0)"},
    {kAuthNone, u"None: never log in"},
};

constexpr TOptionChoice kProviderChoices[] = {
    {kProviderNone, u"None"},
    {kProviderMicrosoft, u"Microsoft 365"},
    {kProviderGoogle, u"Google"},
    {kProviderCustom, u"Other (token and device addresses below)"},
};

// In the order of the Options page and of the file.
constexpr TOptionSpec kOptions[] = {
    {TOptionId::FailureThreshold, "failure_threshold", TOptionType::Integer, u"1",
     u"Alert after failures in a row:",
     u"A server is reported down only after this many \"Failed\" results in a row. \"Failed to "
     u"start\" and \"Interrupted\" neither count nor break the row.",
     1, 1000},
    {TOptionId::RecoveryMail, "recovery_mail", TOptionType::Boolean, u"false",
     u"Mail when a server is up again",
     u"When a server whose alert went out is seen \"Successful\", one mail says so and how long "
     u"the outage lasted."},
    {TOptionId::RecoverySubject, "recovery_subject", TOptionType::Text, u"<serverName> Up",
     u"Recovery subject:", u"Subject of the recovery mail; <serverName> is replaced."},
    {TOptionId::ReminderHours, "reminder_hours", TOptionType::Integer, u"0",
     u"Remind every hours (0: never):",
     u"While a server stays down, its alert is sent again after this many hours.", 0, 8760},
    {TOptionId::SMTPSecurity, "smtp_security", TOptionType::Choice, kSecuritySSLTLSBox,
     u"Security:",
     u"How to reach the mail server. STARTTLS required sends no mail (and never a password) "
     u"without TLS; implicit TLS speaks TLS from the first byte, usually on port 465.",
     0, 0, kSecurityChoices},
    {TOptionId::VerifyCertificate, "verify_certificate", TOptionType::Boolean, u"false",
     u"Check the mail server's certificate",
     u"The certificate chain must lead to a trusted authority and name the host typed above."},
    {TOptionId::CAFile, "ca_file", TOptionType::Text, u"",
     u"CA file (empty: the system's trust store):",
     u"A PEM file of the authorities to trust instead of the system's."},
    {TOptionId::FullTunnel, "full_tunnel", TOptionType::Boolean, u"false",
     u"Full tunnel test (opens the device, runs the scripts)",
     u"Starts openvpn as the configuration says, device, addresses, routes and scripts "
     u"included: the machine's routes change during each test. Needs root."},
    {TOptionId::Jobs,
     "jobs",
     TOptionType::Integer,
     u"1",
     u"Servers tested at once (headless mode):",
     u"The headless mode tests up to this many servers at the same time; 1 tests them one "
     u"after the other, as the window always does. Each test holds three open files: the "
     u"limit of open files (ulimit -n) bounds this number.",
     1,
     10000,
     {},
     true},
    {TOptionId::SMTPAuth, "smtp_auth", TOptionType::Choice, kAuthAuto, u"Log in with:",
     u"How the login is sent. Automatic uses LOGIN when the server offers it, else PLAIN; "
     u"with OAuth set up (a provider or a token command) it uses XOAUTH2 or OAUTHBEARER first. "
     u"A method named here must be offered by the server, or no mail is sent.",
     0, 0, kAuthChoices, true},
    {TOptionId::OAuthProvider, "oauth_provider", TOptionType::Choice, kProviderNone,
     u"OAuth provider:",
     u"Signs in with OAuth 2.0 instead of a password; run quorvex --oauth-login microsoft (or "
     u"google) once to sign in. The login field above is the mailbox address.",
     0, 0, kProviderChoices, true, false, true},
    {TOptionId::OAuthClientId,
     "oauth_client_id",
     TOptionType::Text,
     u"",
     u"OAuth client ID:",
     u"The application (client) ID of the application registered with the provider.",
     0,
     0,
     {},
     true},
    {TOptionId::OAuthClientSecret,
     "oauth_client_secret",
     TOptionType::Text,
     u"",
     u"OAuth client secret:",
     u"The client secret, where the provider issues one (Google's desktop applications).",
     0,
     0,
     {},
     true,
     true},
    {TOptionId::OAuthTenant,
     "oauth_tenant",
     TOptionType::Text,
     u"organizations",
     u"Microsoft tenant:",
     u"The directory (tenant) ID or domain of the Microsoft 365 organisation; organizations "
     u"accepts any work account.",
     0,
     0,
     {},
     true},
    {TOptionId::OAuthTokenCommand,
     "oauth_token_command",
     TOptionType::Text,
     u"",
     u"Access token command:",
     u"A command whose first output line is an OAuth access token, run before each mail "
     u"(without a shell; quotes group words). Used instead of the provider's sign-in.",
     0,
     0,
     {},
     true},
    {TOptionId::OAuthTokenURL,
     "oauth_token_url",
     TOptionType::Text,
     u"",
     u"OAuth token address (empty: the provider's):",
     u"The token endpoint; needed for the provider Other.",
     0,
     0,
     {},
     true},
    {TOptionId::OAuthDeviceURL,
     "oauth_device_url",
     TOptionType::Text,
     u"",
     u"OAuth sign-in address (empty: the provider's):",
     u"The device authorisation endpoint (Microsoft, Other) or the authorisation endpoint "
     u"(Google).",
     0,
     0,
     {},
     true},
    {TOptionId::OAuthRefreshToken,
     "oauth_refresh_token",
     TOptionType::Text,
     u"",
     u"OAuth refresh token (stored by --oauth-login):",
     u"Traded for an access token before each mail; the provider may replace it, and the new "
     u"one is stored.",
     0,
     0,
     {},
     true,
     true,
     true},
    {TOptionId::HistoryRetentionDays,
     "history_retention_days",
     TOptionType::Integer,
     u"90",
     u"Keep the history for days (0: always):",
     u"Results older than this many days are deleted from the history database.",
     0,
     36500,
     {},
     true},
};

static_assert(std::size(kOptions) == static_cast<size_t>(TOptionId::Count));

constexpr bool tableInIdOrder() {
  for (size_t i = 0; i < std::size(kOptions); ++i)
    if (static_cast<size_t>(kOptions[i].id) != i) return false;
  return true;
}
static_assert(tableInIdOrder(), "rows of kOptions follow TOptionId");

}  // namespace

std::span<const TOptionSpec> optionTable() { return kOptions; }

const TOptionSpec& optionSpec(TOptionId id) { return kOptions[static_cast<size_t>(id)]; }

const TOptionSpec* findOption(std::string_view element) {
  for (const TOptionSpec& spec : kOptions)
    if (spec.element == element) return &spec;
  return nullptr;
}

TOptions::TOptions() {
  for (const TOptionSpec& spec : kOptions) _values[index(spec.id)] = spec.defaultValue;
}

void TOptions::SetText(TOptionId id, std::u16string_view text) {
  const TOptionSpec& spec = optionSpec(id);
  const std::u16string name = fromUtf8(spec.element);
  switch (spec.type) {
    case TOptionType::Boolean:
      _values[index(id)] = boolToText(textToBool(text));
      return;
    case TOptionType::Integer: {
      const int32_t value = textToInt32(text);
      if (value < spec.minimum || value > spec.maximum)
        throw Exception(u"The option " + name + u" must lie between " + int32ToText(spec.minimum) +
                        u" and " + int32ToText(spec.maximum) + u", not " + int32ToText(value));
      _values[index(id)] = int32ToText(value);
      return;
    }
    case TOptionType::Text:
      _values[index(id)] = text;
      return;
    case TOptionType::Choice:
      for (const TOptionChoice& choice : spec.choices) {
        if (choice.value == text) {
          _values[index(id)] = text;
          return;
        }
      }
      std::u16string allowed;
      for (const TOptionChoice& choice : spec.choices)
        allowed += (allowed.empty() ? u"" : u", ") + std::u16string(choice.value);
      throw Exception(u"''" + std::u16string(text) + u"'' is not a value of the option " + name +
                      u" (one of " + allowed + u")");
  }
}

bool TOptions::Boolean(TOptionId id) const { return textToBool(Text(id)); }

int32_t TOptions::Integer(TOptionId id) const { return textToInt32(Text(id)); }

bool TOptions::isDefault(TOptionId id) const { return Text(id) == optionSpec(id).defaultValue; }

bool TOptions::allDefault() const {
  for (const TOptionSpec& spec : kOptions)
    if (!isDefault(spec.id)) return false;
  return true;
}

}  // namespace quorvex
