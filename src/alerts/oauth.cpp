#include "alerts/oauth.h"

#include "platform/text.h"
#include "process/output_command.h"
#include "process/split_command_line.h"
#include "settings/settings.h"
#include "settings/value_text.h"
#include "web/json.h"

namespace quorvex {

namespace {

// A token is renewed this long before the provider says it expires, so it
// cannot run out between the trade and the AUTH line.
constexpr auto kExpiryMargin = std::chrono::seconds(60);

std::u16string firstLine(const std::string& text) {
  const size_t end = text.find_first_of("\r\n");
  return fromUtf8(text.substr(0, end));
}

std::string utf8(const std::u16string& text) { return toUtf8(text); }

}  // namespace

std::u16string durationText(int milliseconds) {
  if (milliseconds % 1000 != 0) return int32ToText(milliseconds) + u" ms";
  return int32ToText(milliseconds / 1000) + u" s";
}

bool oauthSetUp(const TOptions& options) {
  return !options.Text(TOptionId::OAuthTokenCommand).empty() ||
         options.Text(TOptionId::OAuthProvider) != kProviderNone;
}

TOAuthEndpoints oauthEndpoints(const TOptions& options) {
  const std::u16string& provider = options.Text(TOptionId::OAuthProvider);
  TOAuthEndpoints e;
  if (provider == kProviderMicrosoft) {
    std::u16string tenant = options.Text(TOptionId::OAuthTenant);
    if (tenant.empty()) tenant = u"organizations";
    const std::string base = "https://login.microsoftonline.com/" + utf8(tenant) + "/oauth2/v2.0/";
    e = {base + "token", base + "devicecode",
         "https://outlook.office.com/SMTP.Send offline_access"};
  } else if (provider == kProviderGoogle) {
    e = {"https://oauth2.googleapis.com/token", "https://accounts.google.com/o/oauth2/v2/auth",
         "https://mail.google.com/"};
  } else if (provider != kProviderCustom) {
    throw EOAuthError(u"No OAuth provider is set (the option oauth_provider).");
  }
  if (!options.Text(TOptionId::OAuthTokenURL).empty())
    e.tokenUrl = utf8(options.Text(TOptionId::OAuthTokenURL));
  if (!options.Text(TOptionId::OAuthDeviceURL).empty())
    e.loginUrl = utf8(options.Text(TOptionId::OAuthDeviceURL));
  if (e.tokenUrl.empty())
    throw EOAuthError(
        u"The OAuth provider \"custom\" needs its token address (the option "
        u"oauth_token_url).");
  return e;
}

TFormFields oauthClientFields(const TOptions& options) {
  if (options.Text(TOptionId::OAuthClientId).empty())
    throw EOAuthError(
        u"No OAuth client ID is set (the option oauth_client_id); register the "
        u"application with the provider first.");
  TFormFields fields{{"client_id", utf8(options.Text(TOptionId::OAuthClientId))}};
  if (!options.Text(TOptionId::OAuthClientSecret).empty())
    fields.emplace_back("client_secret", utf8(options.Text(TOptionId::OAuthClientSecret)));
  return fields;
}

std::map<std::string, std::string> tokenAnswer(const THttpResponse& response,
                                               const std::u16string& provider) {
  std::map<std::string, std::string> answer;
  try {
    answer = parseJsonObject(response.body);
  } catch (const EJsonError& e) {
    throw EOAuthError(u"The token endpoint answered HTTP " +
                      int32ToText(static_cast<int32_t>(response.status)) + u", " + e.Message() +
                      u".");
  }
  if (response.status == 200 && !answer["access_token"].empty()) return answer;
  const std::string error = answer["error"];
  const std::u16string description =
      answer["error_description"].empty() ? u"" : u": " + firstLine(answer["error_description"]);
  if (error == "invalid_grant")
    throw EOAuthError(u"The provider no longer accepts the stored sign-in (invalid_grant" +
                      description + u"); run quorvex --oauth-login " +
                      (provider.empty() ? u"PROVIDER" : provider) + u" again.");
  if (error.empty())
    throw EOAuthError(u"The token endpoint answered HTTP " +
                      int32ToText(static_cast<int32_t>(response.status)) +
                      u" without an access token.");
  throw EOAuthError(u"The provider refused the token request (" + fromUtf8(error) + description +
                    u").");
}

std::string TOAuthTokens::accessToken(const TOptions& options, const std::u16string& settingsFile,
                                      const TOAuthWaits& waits) {
  const std::u16string& command = options.Text(TOptionId::OAuthTokenCommand);
  if (!command.empty()) return fromCommand(command, waits);
  return refreshed(options, settingsFile, waits);
}

std::string TOAuthTokens::fromCommand(const std::u16string& command,
                                      const TOAuthWaits& waits) const {
  std::vector<std::string> args;
  for (const auto& word : splitCommandLine(command)) args.push_back(utf8(word));
  TCommandResult result;
  try {
    result = runOutputCommand(args, waits.commandTimeoutMs);
  } catch (const Exception& e) {
    throw EOAuthError(u"The access token command cannot be run: " + e.Message());
  }
  if (result.timedOut)
    throw EOAuthError(u"The access token command did not finish within " +
                      durationText(waits.commandTimeoutMs) + u"; it was stopped.");
  if (result.exitCode != 0) {
    const std::u16string why = firstLine(result.err);
    throw EOAuthError(u"The access token command failed (exit code " +
                      int32ToText(result.exitCode) + u")" + (why.empty() ? u"" : u": " + why) +
                      u".");
  }
  const std::u16string token = firstLine(result.out);
  if (Trim(token).empty()) throw EOAuthError(u"The access token command printed no token.");
  return utf8(Trim(token));
}

std::string TOAuthTokens::refreshed(const TOptions& options, const std::u16string& settingsFile,
                                    const TOAuthWaits& waits) {
  std::u16string refresh = options.Text(TOptionId::OAuthRefreshToken);
  if (!_rotatedFrom.empty() && refresh == _rotatedFrom) refresh = _rotatedTo;
  const auto now = _clock();
  if (!_access.empty() && refresh == _refreshUsed && now < _validUntil) return _access;
  const std::u16string& provider = options.Text(TOptionId::OAuthProvider);
  if (refresh.empty())
    throw EOAuthError(
        u"No OAuth sign-in is stored; run quorvex --oauth-login " +
        (provider == kProviderGoogle ? std::u16string(u"google") : std::u16string(u"microsoft")) +
        u" first.");
  const TOAuthEndpoints endpoints = oauthEndpoints(options);
  TFormFields fields = oauthClientFields(options);
  fields.emplace_back("grant_type", "refresh_token");
  fields.emplace_back("refresh_token", utf8(refresh));
  if (!endpoints.scope.empty()) fields.emplace_back("scope", endpoints.scope);
  auto answer = tokenAnswer(postForm(endpoints.tokenUrl, fields, waits.http), provider);
  _access = answer["access_token"];
  _refreshUsed = refresh;
  int32_t lifetime = 3600;  // when the provider says nothing
  try {
    if (!answer["expires_in"].empty()) lifetime = textToInt32(fromUtf8(answer["expires_in"]));
  } catch (const Exception&) {
  }
  _validUntil = now + std::chrono::seconds(lifetime) - kExpiryMargin;
  const std::u16string rotated = fromUtf8(answer["refresh_token"]);
  if (!rotated.empty() && rotated != refresh) {
    _rotatedFrom = options.Text(TOptionId::OAuthRefreshToken);
    _rotatedTo = rotated;
    _refreshUsed = rotated;
    if (!settingsFile.empty())
      storeOAuthOptions(settingsFile, [&rotated](TOptions& o) {
        o.SetText(TOptionId::OAuthRefreshToken, rotated);
      });
  }
  return _access;
}

void storeOAuthOptions(const std::u16string& settingsFile,
                       const std::function<void(TOptions&)>& change) {
  TSettings settings(settingsFile);
  settings.loadFromFile();
  TOptions options = settings.Options();
  change(options);
  settings.SetOptions(std::move(options));
  settings.saveToFile();
}

}  // namespace quorvex
