// The alert mail as the front ends without a window send it: the headless
// run from the saved settings, and quorvex --test-mail; against scripted
// SMTP peers on 127.0.0.1.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "alerts/alert_mail.h"
#include "app/headless.h"
#include "app/oauth_login_command.h"
#include "app/program_options.h"
#include "app/test_mail.h"
#include "platform/text.h"
#include "support/catalogue_fixture.h"
#include "support/cycle_fakes.h"
#include "support/loopback.h"
#include "support/python_peer.h"
#include "support/scripted_smtp_peer.h"
#include "support/temp_folder.h"
#include "support/tls_server.h"

namespace quorvex::test {
namespace {

using ::testing::HasSubstr;
using TScript = std::vector<std::string>;
using quorvex::test::TScriptedSMTPPeer;

// Greeting and AUTH LOGIN for bob with the password "pass", then the
// transaction for one recipient.
TScript Delivery(const std::string& AAuthReply = "S:235 2.7.0 ok") {
  TScript script = {"S:220 mail.test",
                    "C:*",
                    "S:250-mail.test",
                    "S:250 AUTH LOGIN",
                    "C:AUTH LOGIN",
                    "S:334 VXNlcm5hbWU6",
                    "C:Ym9i",  // bob
                    "S:334 UGFzc3dvcmQ6",
                    "C:cGFzcw==",  // pass
                    AAuthReply};
  if (AAuthReply.rfind("S:2", 0) != 0) return script;
  for (const char* line :
       {"C:RSET", "S:250 OK", "C:MAIL FROM: <mon@example.test>", "S:250 OK",
        "C:RCPT TO:<ops@example.test>", "S:250 OK", "C:DATA", "S:354 go", "M:", "S:250 queued"})
    script.push_back(line);
  return script;
}

void SetMail(TSettings& ASettings, std::uint16_t APort) {
  ASettings.SetSMTPHost(u"127.0.0.1");
  ASettings.SetSMTPPort(APort);
  ASettings.SetSMTPLogin(u"bob");
  ASettings.SetSMTPPassword(u"pass");
  ASettings.SetMsgFrom(u"mon@example.test");
  ASettings.SetMsgTo(u"ops@example.test");
  ASettings.SetMsgSubject(u"<serverName> Down!");
  ASettings.SetMsgText(u"<serverName> is down");
}

TEST(TestMailOption, IsAnOptionOfItsOwn) {
  EXPECT_TRUE(parseCommandLine({"--test-mail"}).testMail);
  const TCommandLine withFile = parseCommandLine({"--test-mail", "--settings", "/etc/q.xml"});
  EXPECT_FALSE(withFile.error.has_value());
  EXPECT_TRUE(withFile.testMail);
  EXPECT_EQ(withFile.settingsFile.value_or(u""), u"/etc/q.xml");
  const TCommandLine both = parseCommandLine({"--headless", "--test-mail"});
  ASSERT_TRUE(both.error.has_value());
  EXPECT_THAT(*both.error, HasSubstr("'--test-mail'"));
  EXPECT_THAT(usageText("quorvex"), HasSubstr("--test-mail"));
}

TEST(OAuthLoginOption, NamesAProvider) {
  struct Case {
    std::vector<std::string> args;
    std::string provider, error;
  };
  const Case cases[] = {
      {{"--oauth-login", "microsoft"}, "microsoft", ""},
      {{"--oauth-login=google", "--settings", "/etc/q.xml"}, "google", ""},
      {{"--oauth-login", "yahoo"},
       "",
       "option '--oauth-login' needs microsoft or google, not 'yahoo'"},
      {{"--oauth-login"}, "", "option '--oauth-login' needs microsoft or google"},
      {{"--headless", "--oauth-login", "google"},
       "google",
       "option '--oauth-login' cannot be used with '--headless' or '--test-mail'"},
  };
  for (const Case& c : cases) {
    const TCommandLine line = parseCommandLine(c.args);
    EXPECT_EQ(line.error.value_or(""), c.error);
    EXPECT_EQ(line.oauthLogin.value_or(""), c.provider);
  }
  EXPECT_THAT(usageText("quorvex"), HasSubstr("--oauth-login microsoft|google"));
}

// The sign-in stores the provider and the refresh token in the settings
// file, and leaves the rest of it as it was.
TEST(OAuthLoginOption, StoresTheSignIn) {
  test::TempFolder folder;
  const std::u16string path = fromUtf8(folder / "settings.xml");
  test::TPythonPeer provider(QUORVEX_SOURCE_DIR "/tests/alerts/oauth_provider.py",
                             {test::TlsCaFiles().CertFile, test::TlsCaFiles().KeyFile, ""});
  const std::string base = "https://localhost:" + std::to_string(provider.Port());
  TSettings saved(path);
  SetMail(saved, 2525);
  TOptions options;
  options.SetText(TOptionId::OAuthClientId, u"client-1");
  options.SetText(TOptionId::OAuthTokenURL, fromUtf8(base + "/token"));
  options.SetText(TOptionId::OAuthDeviceURL, fromUtf8(base + "/devicecode"));
  options.SetText(TOptionId::CAFile, fromUtf8(test::TlsCaFiles().CaFile));
  saved.SetOptions(options);
  saved.saveToFile();

  TOAuthLoginIO io;
  io.sleep = [](std::chrono::seconds) {};  // the provider counts polls, not time
  std::ostringstream out, err;
  EXPECT_EQ(runOAuthLogin(path, "microsoft", out, err, io), 0) << err.str();
  EXPECT_THAT(out.str(), HasSubstr("enter the code ABCD-EFGH\n"));
  EXPECT_THAT(out.str(), HasSubstr("Signed in; the refresh token is stored in "));
  TSettings stored(path);
  stored.loadFromFile();
  EXPECT_EQ(stored.Options().Text(TOptionId::OAuthProvider), u"microsoft");
  EXPECT_EQ(stored.Options().Text(TOptionId::OAuthRefreshToken), u"rt-2");
  EXPECT_EQ(stored.SMTPHost(), saved.SMTPHost());

  // Without a client ID there is nothing to sign in with.
  options.SetText(TOptionId::OAuthClientId, u"");
  stored.SetOptions(options);
  stored.saveToFile();
  std::ostringstream out2, err2;
  EXPECT_EQ(runOAuthLogin(path, "google", out2, err2, io), 1);
  EXPECT_EQ(err2.str(),
            "quorvex: No OAuth client ID is set (the option oauth_client_id); register the "
            "application with the provider first.\n");
}

TEST(TestMailOption, SendsWithTheSavedSettingsAndReportsTheOutcome) {
  struct Case {
    const char* name;
    std::string authReply;
    int code;
    std::string out, err;
  };
  const Case cases[] = {
      {"sent", "S:235 2.7.0 ok", 0, "Test successful.\n", ""},
      // The server's codes and words, without the line break it ends with.
      {"refused", "S:535 5.7.8 Authentication credentials invalid", 1, "",
       "535 5.7.8 Authentication credentials invalid\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempFolder folder;
    const std::u16string path = fromUtf8(folder / "saved settings.xml");
    TScriptedSMTPPeer peer(Delivery(c.authReply));
    TSettings saved(path);
    SetMail(saved, peer.Port());
    saved.saveToFile();
    std::ostringstream out, err;
    EXPECT_EQ(runTestMail(path, out, err), c.code);
    EXPECT_EQ(out.str(), c.out);
    EXPECT_EQ(err.str(), c.err);
    EXPECT_EQ(peer.Finish(), "");
    if (c.code == 0) {
      ASSERT_EQ(peer.Messages().size(), 1u);
      EXPECT_THAT(peer.Messages()[0], ::testing::Contains("Subject: Quorvex SMTP Test"));
      EXPECT_THAT(peer.Messages()[0], ::testing::Contains("<serverName> is down"));
    }
  }
}

TEST(TestMailOption, WithoutSavedSettingsNothingIsSent) {
  test::TempFolder folder;
  std::ostringstream out, err;
  EXPECT_EQ(runTestMail(fromUtf8(folder / "missing.xml"), out, err), 1);
  EXPECT_EQ(out.str(), "");
  EXPECT_THAT(err.str(), HasSubstr("missing.xml"));
}

// The headless run sends the alert from the saved settings and says so in
// one line; a failed one is one line on the error stream.
TEST(HeadlessAlert, OneLinePerAlertSentOrNot) {
  for (bool serverThere : {true, false}) {
    SCOPED_TRACE(serverThere ? "SMTP server there" : "no SMTP server");
    TCatalogueFixture catalogue{{.servers = {"down"}}};
    TFakeChildren children;
    children.scripts[u"down.ovpn"] = {.reads = {u"no answer\n"}, .endsAfterReads = 1};
    std::optional<TScriptedSMTPPeer> peer;
    if (serverThere) peer.emplace(Delivery());
    // A port nobody listens on: the one the closed listener had.
    std::uint16_t port = 0;
    if (peer) {
      port = peer->Port();
    } else {
      TScriptedSMTPPeer closed({}, 100);
      port = closed.Port();
    }
    SetMail(catalogue.settings(), port);
    std::ostringstream out, err;
    const int code =
        runHeadlessCycle(catalogue.settings(), {.headless = true, .once = true}, children.factory(),
                         headlessMails(catalogue.settings()), out, err);
    EXPECT_EQ(code, 2);
    const bool sentLine = out.str().find("\talert for down sent\n") != std::string::npos;
    EXPECT_EQ(sentLine, serverThere);
    if (serverThere) {
      EXPECT_EQ(err.str(), "");
      EXPECT_EQ(peer->Finish(), "");
      ASSERT_EQ(peer->Messages().size(), 1u);
      EXPECT_THAT(peer->Messages()[0], ::testing::Contains("Subject: down Down!"));
      EXPECT_THAT(peer->Messages()[0], ::testing::Contains("down is down"));
    } else {
      // One line, though the socket error's message has two.
      EXPECT_EQ(err.str(),
                "quorvex: alert for down not sent: Socket Error # 10061 Connection refused.\n");
    }
  }
}

// With tests side by side and a mail server that takes each connection and
// says nothing, every verdict is reached while the alerts wait their turn;
// the alerts then end one by one, in the order the servers were found down.
TEST(HeadlessAlert, ASilentMailServerHoldsUpNoVerdictAndTheAlertsKeepTheirOrder) {
  const std::vector<std::string> names{"a", "b", "c", "d", "e"};
  TCatalogueFixture catalogue{{.servers = names}};
  TFakeChildren children;
  for (const std::string& name : names)
    children.scripts[fromUtf8(name + ".ovpn")] = {.reads = {u"no answer\n"}, .endsAfterReads = 1};
  // Listens and never accepts: the system completes each connection, and
  // nobody answers it.
  const TUniqueFd silent = LoopbackSocket();
  SetMail(catalogue.settings(), LocalPort(silent.get()));
  TCommandLine options{.headless = true, .once = true};
  options.optionValues.emplace_back("jobs", u"5");
  applyOptionValues(catalogue.settings(), options);
  // Each verdict is reached before the first mail has ended: the last
  // child's read comes before any outcome is reported.
  std::ostringstream out, err;
  std::string errWhenLastRead = "(not read)";
  children.scripts[u"e.ovpn"].onRead = [&](int) { errWhenLastRead = err.str(); };
  const int code = runHeadlessCycle(catalogue.settings(), options, children.factory(),
                                    headlessMails(catalogue.settings(), {1000, 300}), out, err);
  EXPECT_EQ(code, 2);
  EXPECT_EQ(errWhenLastRead, "");
  std::string expected;
  for (const std::string& name : names)
    expected += "quorvex: alert for " + name + " not sent: Read timed out.\n";
  EXPECT_EQ(err.str(), expected);
  EXPECT_THAT(out.str(), HasSubstr("QUORVEX CRITICAL - 5 of 5 servers down"));
}

}  // namespace
}  // namespace quorvex::test
