#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "alerts/oauth_login.h"

namespace quorvex {

// quorvex --oauth-login microsoft|google: signs in once (the device grant for
// Microsoft, the loopback redirect for Google) and stores the provider and
// the refresh token in the settings file. Returns 0, or prints the error and
// returns 1. io.show and io.sleep default to out and a real sleep.
int runOAuthLogin(const std::optional<std::u16string>& settingsFile, const std::string& provider,
                  std::ostream& out, std::ostream& err, TOAuthLoginIO io = {});

}  // namespace quorvex
