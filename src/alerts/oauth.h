#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>

#include "settings/options.h"
#include "web/https_client.h"

namespace quorvex {

// The provider refused, or could not be asked for, an access token.
class EOAuthError : public EQxException {
 public:
  using EQxException::EQxException;
};

// Where and for what the provider is asked.
struct TOAuthEndpoints {
  std::string tokenUrl;
  // The device authorisation endpoint (Microsoft, custom) or the
  // authorisation endpoint (Google).
  std::string loginUrl;
  std::string scope;
};

// The provider's documented endpoints, each replaced by its option when set.
// Raises EOAuthError when the provider is unknown or custom without a token
// address.
TOAuthEndpoints oauthEndpoints(const TOptions& options);

// "30 s", or "300 ms" for a bound that is no whole number of seconds.
std::u16string durationText(int milliseconds);

// OAuth is set up: a token command, or a provider.
bool oauthSetUp(const TOptions& options);

// Upper bounds of the waits for an access token.
struct TOAuthWaits {
  int commandTimeoutMs = 30000;
  THttpLimits http{};
};

// The "client_id" and, where one is set, "client_secret" fields.
TFormFields oauthClientFields(const TOptions& options);

// Raises EOAuthError for an answer that is not 200 with an access token: the
// provider's error and description, invalid_grant with the advice to sign in
// again. Returns the answer's members.
std::map<std::string, std::string> tokenAnswer(const THttpResponse& response,
                                               const std::u16string& provider);

// The access tokens of one front end's run: a token command's first output
// line, asked for before each mail; or one traded for the stored refresh
// token at the token endpoint and kept in memory until shortly before it
// expires. A refresh token the provider replaces is stored in the settings
// file (when one is named) and used from then on.
class TOAuthTokens {
 public:
  using TClock = std::function<std::chrono::steady_clock::time_point()>;
  explicit TOAuthTokens(TClock clock = std::chrono::steady_clock::now) : _clock(std::move(clock)) {}

  std::string accessToken(const TOptions& options, const std::u16string& settingsFile,
                          const TOAuthWaits& waits);

 private:
  std::string fromCommand(const std::u16string& command, const TOAuthWaits& waits) const;
  std::string refreshed(const TOptions& options, const std::u16string& settingsFile,
                        const TOAuthWaits& waits);

  TClock _clock;
  std::string _access;
  std::chrono::steady_clock::time_point _validUntil{};
  std::u16string _refreshUsed;  // the stored refresh token _access came from
  std::u16string _rotatedFrom;  // a stored refresh token the provider replaced...
  std::u16string _rotatedTo;    // ...and its replacement
};

// Stores the refresh token (and the other options given) in the settings
// file: read, changed, written atomically with mode 0600.
void storeOAuthOptions(const std::u16string& settingsFile,
                       const std::function<void(TOptions&)>& change);

}  // namespace quorvex
