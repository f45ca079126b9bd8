// Access tokens and the OAuth sign-ins against a local provider over HTTPS
// (tests/alerts/oauth_provider.py with the test CA's certificate for
// "localhost"); the token command against real programs.
#include "alerts/oauth.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "alerts/oauth_login.h"
#include "platform/text.h"
#include "settings/settings.h"
#include "support/python_peer.h"
#include "support/raises.h"
#include "support/temp_folder.h"
#include "support/tls_server.h"

namespace quorvex {
namespace {

using test::MessageOf;

// The local provider with the given flags (see the script).
struct TProvider {
  explicit TProvider(const std::string& AFlags)
      : Peer(QUORVEX_SOURCE_DIR "/tests/alerts/oauth_provider.py",
             {test::TlsCaFiles().CertFile, test::TlsCaFiles().KeyFile, AFlags}) {}
  std::string Url(const std::string& APath) const {
    return "https://localhost:" + std::to_string(Peer.Port()) + APath;
  }
  test::TPythonPeer Peer;
};

TOptions ProviderOptions(const TProvider& AProvider, const std::string& ALoginPath) {
  TOptions o;
  o.SetText(TOptionId::OAuthProvider, kProviderCustom);
  o.SetText(TOptionId::OAuthClientId, u"client-1");
  o.SetText(TOptionId::OAuthTokenURL, fromUtf8(AProvider.Url("/token")));
  o.SetText(TOptionId::OAuthDeviceURL, fromUtf8(AProvider.Url(ALoginPath)));
  o.SetText(TOptionId::OAuthRefreshToken, u"rt-1");
  return o;
}

TOAuthWaits ShortWaits() {
  TOAuthWaits w;
  w.commandTimeoutMs = 2000;
  w.http.connectTimeoutMs = 2000;
  w.http.totalTimeoutMs = 2000;
  w.http.caFile = test::TlsCaFiles().CaFile;
  return w;
}

// A clock the test moves; sleeping moves it and returns at once.
struct TFakeTime {
  std::chrono::steady_clock::time_point Now{};
  std::vector<int> Sleeps;
  TOAuthTokens::TClock Clock() {
    return [this] { return Now; };
  }
};

TEST(OAuthTokens, RefreshedCachedUntilShortlyBeforeExpiryAndRotationStored) {
  TProvider provider("");
  test::TempFolder folder("oauth");
  const std::u16string file = fromUtf8(folder / "settings.xml");
  TOptions options = ProviderOptions(provider, "/devicecode");
  {
    TSettings settings(file);
    settings.SetOptions(options);
    settings.saveToFile();
  }
  TFakeTime time;
  TOAuthTokens tokens(time.Clock());
  EXPECT_EQ(tokens.accessToken(options, file, ShortWaits()), "at-1");
  // The provider replaced rt-1 by rt-2: stored, private to its owner.
  TSettings stored(file);
  stored.loadFromFile();
  EXPECT_EQ(stored.Options().Text(TOptionId::OAuthRefreshToken), u"rt-2");
  struct stat info {};
  ASSERT_EQ(stat(toUtf8(file).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  // Kept while it lasts (3600 s less a minute); the options still say rt-1,
  // which the provider no longer accepts: the rotated token is used.
  time.Now += std::chrono::seconds(3539);
  EXPECT_EQ(tokens.accessToken(options, file, ShortWaits()), "at-1");
  time.Now += std::chrono::seconds(2);
  EXPECT_EQ(tokens.accessToken(options, file, ShortWaits()), "at-2");
}

TEST(OAuthTokens, ProviderFailuresNameTheirCause) {
  struct TCase {
    const char* Name;
    std::string Flags;
    std::u16string Refresh;
    std::u16string Error;  // with PORT for the provider's port
  };
  const TCase cases[] = {
      {"refused refresh", "", u"rt-old",
       u"The provider no longer accepts the stored sign-in (invalid_grant: AADSTS70008: The "
       u"refresh token has expired.); run quorvex --oauth-login custom again."},
      {"nothing stored", "", u"",
       u"No OAuth sign-in is stored; run quorvex --oauth-login microsoft first."},
      {"malformed JSON", "malformed", u"rt-1",
       u"The token endpoint answered HTTP 200, not valid JSON: the text ends early."},
      {"silent endpoint: bounded", "silent", u"rt-1",
       u"The request to https://localhost:PORT/token failed: Operation timed out after "},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TProvider provider(c.Flags);
    TOptions options = ProviderOptions(provider, "/devicecode");
    options.SetText(TOptionId::OAuthRefreshToken, c.Refresh);
    std::u16string expected = c.Error;
    const size_t at = expected.find(u"PORT");
    if (at != std::u16string::npos)
      expected.replace(at, 4, fromUtf8(std::to_string(provider.Peer.Port())));
    TOAuthTokens tokens;
    const std::u16string message =
        MessageOf<Exception>([&] { tokens.accessToken(options, u"", ShortWaits()); });
    // curl words a time-out with the bytes it got; the bound is what counts.
    EXPECT_EQ(message.substr(0, std::min(message.size(), expected.size())), expected);
  }
}

TEST(OAuthTokens, RefusesACertificateOfAnotherAuthority) {
  TProvider provider("");
  TOptions options = ProviderOptions(provider, "/devicecode");
  TOAuthWaits waits = ShortWaits();
  waits.http.caFile = test::TlsCaFiles().OtherCaFile;
  TOAuthTokens tokens;
  const std::u16string message =
      MessageOf<Exception>([&] { tokens.accessToken(options, u"", waits); });
  EXPECT_NE(message.find(u"failed: SSL certificate problem"), std::u16string::npos)
      << toUtf8(message);
}

TEST(OAuthTokens, TokenCommand) {
  struct TCase {
    const char* Name;
    std::u16string Command;
    std::string Token;
    std::u16string Error;
  };
  const TCase cases[] = {
      {"first line, blanks trimmed", u"printf \" tok-1 \\nsecond line\\n\"", "tok-1", u""},
      {"quotes group words", u"sh -c \"echo tok-2\"", "tok-2", u""},
      {"failing command", u"sh -c \"echo no session >&2; exit 3\"", "",
       u"The access token command failed (exit code 3): no session."},
      {"no output", u"true", "", u"The access token command printed no token."},
      {"hangs past its bound", u"sleep 20", "",
       u"The access token command did not finish within 300 ms; it was stopped."},
      {"closes its output and lingers", u"sh -c \"exec >&- 2>&-; sleep 20\"", "",
       u"The access token command did not finish within 300 ms; it was stopped."},
      {"unknown program", u"no-such-token-helper --get", "",
       u"The access token command cannot be run: The program no-such-token-helper was not found."},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TOptions options;
    options.SetText(TOptionId::OAuthTokenCommand, c.Command);
    TOAuthWaits waits = ShortWaits();
    waits.commandTimeoutMs = 300;
    TOAuthTokens tokens;
    std::string token;
    const auto started = std::chrono::steady_clock::now();
    const std::u16string message =
        test::ErrorOf<Exception>([&] { token = tokens.accessToken(options, u"", waits); });
    EXPECT_EQ(message, c.Error);
    EXPECT_EQ(token, c.Token);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  }
}

TEST(OAuthLogin, DeviceGrantPollsAsTheProviderSays) {
  struct TCase {
    const char* Name;
    std::string Flags;
    std::vector<int> Sleeps;
    std::u16string Error;  // "" when signed in (with rt-2)
  };
  const TCase cases[] = {
      {"pending twice, then signed in", "", {1, 1, 1}, u""},
      {"slow_down adds 5 s", "slow_down", {1, 6, 6}, u""},
      {"the code expires",
       "expire",
       {1, 1},
       u"The sign-in code expired before the sign-in was completed; run quorvex --oauth-login "
       u"again."},
      {"the user declines",
       "deny",
       {1},
       u"The provider refused the token request (access_denied: The user declined.)."},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TProvider provider(c.Flags);
    TFakeTime time;
    std::string shown;
    TOAuthLoginIO io;
    io.show = [&shown](const std::string& text) { shown += text; };
    io.sleep = [&time](std::chrono::seconds s) {
      time.Sleeps.push_back(static_cast<int>(s.count()));
      time.Now += s;
    };
    io.clock = time.Clock();
    io.http = ShortWaits().http;
    std::u16string refresh;
    const std::u16string message = test::ErrorOf<Exception>(
        [&] { refresh = deviceLogin(ProviderOptions(provider, "/devicecode"), io); });
    EXPECT_EQ(message, c.Error);
    EXPECT_EQ(time.Sleeps, c.Sleeps);
    EXPECT_EQ(refresh, c.Error.empty() ? u"rt-2" : u"");
    EXPECT_EQ(shown,
              "To sign in, open https://localhost/device in a browser and enter the code "
              "ABCD-EFGH\n");
  }
}

// The browser step: follows the address the sign-in shows to the provider,
// which redirects to the loopback address; or hands that address over.
enum class TBrowser { Follows, Tampers, WrongState, PastesBack, Absent };

size_t Discard(char*, size_t size, size_t count, void*) { return size * count; }

// GETs AUrl (following redirects when AFollow); the last redirect target.
std::string BrowserGet(const std::string& AUrl, bool AFollow) {
  const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(),
                                                                 curl_easy_cleanup);
  curl_easy_setopt(curl.get(), CURLOPT_URL, AUrl.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_CAINFO, test::TlsCaFiles().CaFile.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, AFollow ? 1L : 0L);
  curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT_MS, 5000L);
  curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, Discard);
  curl_easy_perform(curl.get());
  char* location = nullptr;
  curl_easy_getinfo(curl.get(), CURLINFO_REDIRECT_URL, &location);
  return location ? location : "";
}

TEST(OAuthLogin, LoopbackRedirectWithPKCE) {
  struct TCase {
    const char* Name;
    TBrowser Browser;
    std::u16string Error;
  };
  const TCase cases[] = {
      {"the browser follows the address", TBrowser::Follows, u""},
      {"the address pasted back", TBrowser::PastesBack, u""},
      {"a challenge that is not ours", TBrowser::Tampers,
       u"The provider no longer accepts the stored sign-in (invalid_grant: PKCE verification "
       u"failed); run quorvex --oauth-login custom again."},
      {"another sign-in's state", TBrowser::WrongState,
       u"The sign-in answer belongs to another sign-in (its state differs); run quorvex "
       u"--oauth-login again."},
      {"no browser: bounded", TBrowser::Absent,
       u"No sign-in arrived within 500 ms; run quorvex --oauth-login again."},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TProvider provider("");
    int paste[2];
    ASSERT_EQ(pipe(paste), 0);
    std::thread browser;
    TOAuthLoginIO io;
    io.inputFd = paste[0];
    io.redirectTimeoutMs = c.Browser == TBrowser::Absent ? 500 : 10000;
    io.http = ShortWaits().http;
    io.show = [&](const std::string& text) {
      const size_t start = text.find("https://");
      if (start == std::string::npos || browser.joinable()) return;
      std::string url = text.substr(start, text.find('\n', start) - start);
      browser = std::thread([&c, url, paste]() mutable {
        if (c.Browser == TBrowser::Absent) return;
        if (c.Browser == TBrowser::Tampers) {
          const size_t at = url.find("code_challenge=") + 15;
          url.replace(at, 43, std::string(43, 'A'));
        }
        if (c.Browser == TBrowser::WrongState) {
          const size_t at = url.find("redirect_uri=") + 13;
          const std::string redirect = percentDecode(url.substr(at, url.find('&', at) - at));
          BrowserGet(redirect + "?code=code-1&state=elsewhere", false);
          return;
        }
        if (c.Browser == TBrowser::PastesBack) {
          const std::string redirect = BrowserGet(url, false) + "\n";
          [[maybe_unused]] const ssize_t n = write(paste[1], redirect.data(), redirect.size());
          return;
        }
        BrowserGet(url, true);
      });
    };
    std::u16string refresh;
    const std::u16string message = test::ErrorOf<Exception>(
        [&] { refresh = loopbackLogin(ProviderOptions(provider, "/authorize"), io); });
    if (browser.joinable()) browser.join();
    close(paste[0]);
    close(paste[1]);
    EXPECT_EQ(message, c.Error);
    EXPECT_EQ(refresh, c.Error.empty() ? u"rt-2" : u"");
  }
}

}  // namespace
}  // namespace quorvex
