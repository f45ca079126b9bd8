#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "alerts/oauth.h"

namespace quorvex {

// What a sign-in talks to besides the provider: where its instructions go,
// how it waits between polls, its clock, and the bounds of its waits.
struct TOAuthLoginIO {
  std::function<void(const std::string& text)> show;
  std::function<void(std::chrono::seconds)> sleep;
  TOAuthTokens::TClock clock = std::chrono::steady_clock::now;
  // Where a redirect address pasted by the user is read from; -1: nowhere.
  int inputFd = 0;
  // The whole wait for the browser's redirect (or the pasted address).
  int redirectTimeoutMs = 10 * 60 * 1000;
  THttpLimits http{};
};

// The device authorisation grant: shows the verification address and the
// user code, then polls the token endpoint as the provider asks (interval,
// slow_down) until the code expires. Returns the refresh token.
std::u16string deviceLogin(const TOptions& options, const TOAuthLoginIO& io);

// The authorisation-code grant with PKCE and a loopback redirect: shows the
// address to open, then takes the redirect on 127.0.0.1 or the redirect
// address pasted on the input, checks its state and trades the code.
// Returns the refresh token.
std::u16string loopbackLogin(const TOptions& options, const TOAuthLoginIO& io);

}  // namespace quorvex
