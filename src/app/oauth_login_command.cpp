#include "app/oauth_login_command.h"

#include <ostream>
#include <thread>

#include "alerts/alert_mail.h"
#include "platform/text.h"
#include "settings/settings.h"
#include "settings/settings_path.h"

namespace quorvex {

int runOAuthLogin(const std::optional<std::u16string>& settingsFile, const std::string& provider,
                  std::ostream& out, std::ostream& err, TOAuthLoginIO io) {
  if (!io.show) io.show = [&out](const std::string& text) { out << text << std::flush; };
  if (!io.sleep) io.sleep = [](std::chrono::seconds s) { std::this_thread::sleep_for(s); };
  try {
    // The saved settings name the application (client ID, tenant); a file
    // that cannot be read is reported, there is nothing to sign in for.
    TSettings settings(settingsFilePath(settingsFile));
    settings.loadFromFile();
    TOptions options = settings.Options();
    options.SetText(TOptionId::OAuthProvider, fromUtf8(provider));
    if (io.http.caFile.empty()) io.http.caFile = toUtf8(options.Text(TOptionId::CAFile));
    const std::u16string refresh =
        provider == "google" ? loopbackLogin(options, io) : deviceLogin(options, io);
    storeOAuthOptions(settings.FileName(), [&](TOptions& stored) {
      stored.SetText(TOptionId::OAuthProvider, fromUtf8(provider));
      stored.SetText(TOptionId::OAuthRefreshToken, refresh);
    });
    out << "Signed in; the refresh token is stored in " << toUtf8(settings.FileName()) << "."
        << std::endl;
    return 0;
  } catch (const std::exception& e) {
    err << "quorvex: " << toUtf8(mailErrorText(e)) << std::endl;
    return 1;
  }
}

}  // namespace quorvex
