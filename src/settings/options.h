#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quorvex {

// The options beyond the Alerts page. Each is declared once, in optionTable():
// reading, writing, the window's Options page and the headless front end all
// walk that table, so a new option is one new row (and one enumerator here).
enum class TOptionId : size_t {
  FailureThreshold,
  RecoveryMail,
  RecoverySubject,
  ReminderHours,
  SMTPSecurity,
  VerifyCertificate,
  CAFile,
  FullTunnel,
  Jobs,
  SMTPAuth,
  OAuthProvider,
  OAuthClientId,
  OAuthClientSecret,
  OAuthTenant,
  OAuthTokenCommand,
  OAuthTokenURL,
  OAuthDeviceURL,
  OAuthRefreshToken,
  HistoryRetentionDays,
  Count
};

enum class TOptionType { Boolean, Integer, Text, Choice };

struct TOptionChoice {
  std::u16string_view value;    // as stored in the file
  std::u16string_view caption;  // as shown in the window
};

struct TOptionSpec {
  TOptionId id;
  std::string_view element;  // child of <options> in settings.xml
  TOptionType type;
  std::u16string_view defaultValue;  // in stored form
  std::u16string_view caption;
  std::u16string_view help;
  int32_t minimum = 0;  // Integer only
  int32_t maximum = 0;
  std::span<const TOptionChoice> choices{};  // Choice only
  // Left out of the file while at its default, even when other options are
  // written.
  bool omittedAtDefault = false;
  // Shown masked in the window (a Text option holding a secret).
  bool secret = false;
  // Also written while the window is open (by --oauth-login, and when the
  // provider replaces the refresh token): the window takes the file's value
  // unless its control was changed, so that Save never writes back an old one.
  bool storedElsewhere = false;
};

// Values of the SMTPSecurity choice.
inline constexpr char16_t kSecuritySSLTLSBox[] = u"ssl_tls_box";
inline constexpr char16_t kSecurityRequireStartTLS[] = u"require_starttls";
inline constexpr char16_t kSecurityImplicitTLS[] = u"implicit_tls";

// Values of the SMTPAuth choice.
inline constexpr char16_t kAuthAuto[] = u"auto";
inline constexpr char16_t kAuthLogin[] = u"login";
inline constexpr char16_t kAuthPlain[] = u"plain";
inline constexpr char16_t kAuthXOAuth2[] = u"xoauth2";
inline constexpr char16_t kAuthOAuthBearer[] = u"oauthbearer";
inline constexpr char16_t kAuthNone[] = u"none";

// Values of the OAuthProvider choice; none: OAuth not set up by a provider.
inline constexpr char16_t kProviderNone[] = u"none";
inline constexpr char16_t kProviderMicrosoft[] = u"microsoft";
inline constexpr char16_t kProviderGoogle[] = u"google";
inline constexpr char16_t kProviderCustom[] = u"custom";

// The container element of the options in settings.xml.
inline constexpr char kOptionsElement[] = "options";

std::span<const TOptionSpec> optionTable();
const TOptionSpec& optionSpec(TOptionId id);
// Null when no option has that element name.
const TOptionSpec* findOption(std::string_view element);

// One value per option, held in stored form; every value is checked when set.
class TOptions {
 public:
  TOptions();  // every option at its default

  const std::u16string& Text(TOptionId id) const { return _values[index(id)]; }
  // Converts `text` by the option's type and stores its canonical form.
  // Raises EConvertError for a number or Boolean that does not convert, and
  // Exception naming the option for a value out of range or not a choice.
  void SetText(TOptionId id, std::u16string_view text);

  bool Boolean(TOptionId id) const;
  int32_t Integer(TOptionId id) const;

  bool isDefault(TOptionId id) const;
  bool allDefault() const;
  bool operator==(const TOptions&) const = default;

 private:
  static size_t index(TOptionId id) { return static_cast<size_t>(id); }
  std::array<std::u16string, static_cast<size_t>(TOptionId::Count)> _values;
};

}  // namespace quorvex
