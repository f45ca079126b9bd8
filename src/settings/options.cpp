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
