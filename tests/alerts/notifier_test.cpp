// Each notifier kind against a local service (tests/alerts/notify_peer.py,
// over HTTPS with the test CA's certificate for "localhost"), which records
// the exact body and headers; the faults a service shows; the command kind
// against real programs.
#include "alerts/notifier.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/text.h"
#include "support/loopback.h"
#include "support/notify_service.h"
#include "support/raises.h"
#include "support/temp_folder.h"
#include "support/tls_server.h"

namespace quorvex {
namespace {

using test::TRequest;
using TService = test::TNotifyService;

TNotificationFacts DownFacts() {
  TNotificationFacts f;
  f.event = TNotifyEvent::Down;
  f.server = u"office";
  f.status = u"Failed";
  f.reason = u"timed out";
  f.time = std::chrono::sys_days{std::chrono::year{2026} / 12 / 11} + std::chrono::hours{16} +
           std::chrono::minutes{40};
  f.localTime = u"2026-12-11 17:40:00";
  f.outage = std::chrono::seconds{150};
  f.monitorHost = u"vpnwatch";
  return f;
}

TNotifyLimits ShortLimits() {
  TNotifyLimits limits;
  limits.http.connectTimeoutMs = 2000;
  limits.http.totalTimeoutMs = 2000;
  limits.http.caFile = test::TlsCaFiles().CaFile;
  limits.commandTimeoutMs = 5000;
  limits.retryPause = std::chrono::milliseconds(50);
  return limits;
}

TNotifierConfig Notifier(TNotifierKind kind, const std::string& url) {
  TNotifierConfig n{u"team", kind};
  n.url = fromUtf8(url);
  return n;
}

const std::string kPlain = "office is down (timed out).\\nQuorvex on vpnwatch, 2026-12-11 17:40:00";

TEST(Notifier, EachKindPostsItsBodyAndHeaders) {
  TService service;
  struct TCase {
    const char* what;
    TNotifierConfig notifier;
    TNotificationFacts facts;
    std::string path;
    std::string body;
    TRequest headers;  // a subset of what was sent
  };
  TNotifierConfig webhook = Notifier(TNotifierKind::Webhook, service.Url("/ok/hook"));
  webhook.token = u"t0k3n";
  webhook.headers = {u"X-Team: ops", u"content-type: application/json; charset=utf-8"};
  TNotifierConfig ntfy = Notifier(TNotifierKind::Ntfy, service.Url("/ok/vpn-alerts"));
  ntfy.token = u"tk_1";
  TNotifierConfig ntfyUrgent = ntfy;
  ntfyUrgent.priority = u"urgent";
  ntfyUrgent.token.clear();
  TNotifierConfig gotify = Notifier(TNotifierKind::Gotify, service.Url("/ok/gotify/"));
  gotify.token = u"app-token";
  TNotifierConfig gotifyLow = gotify;
  gotifyLow.priority = u"2";
  TNotificationFacts up = DownFacts();
  up.event = TNotifyEvent::Up;
  up.status = u"Successful";
  up.reason.clear();
  up.outage = std::chrono::seconds{3725};
  TNotificationFacts reminder = DownFacts();
  reminder.event = TNotifyEvent::Reminder;
  TNotificationFacts mentions = DownFacts();
  mentions.server = u"@everyone <!channel> & co";
  TNotificationFacts foreign = DownFacts();
  foreign.server = u"B\u00fcro\r\nX-Forged: 1";
  TNotificationFacts test = DownFacts();
  test.event = TNotifyEvent::Test;
  test.server.clear();
  test.status.clear();
  test.reason.clear();
  test.outage.reset();

  const TCase cases[] = {
      {"webhook: the versioned object, bearer token, own headers (one replacing its own)",
       webhook,
       DownFacts(),
       "/ok/hook",
       R"({"version":1,"event":"down","server":"office","status":"Failed","reason":"timed out",)"
       R"("time":"2026-12-11T16:40:00Z","outage_seconds":150,"monitor":"vpnwatch",)"
       R"("text":"office is down (timed out)."})",
       {{"h:content-type", "application/json; charset=utf-8"},
        {"h:authorization", "Bearer t0k3n"},
        {"h:x-team", "ops"}}},
      {"webhook: a test has no server",
       Notifier(TNotifierKind::Webhook, service.Url("/ok/hook")),
       test,
       "/ok/hook",
       R"({"version":1,"event":"test","server":null,"status":null,"reason":null,)"
       R"("time":"2026-12-11T16:40:00Z","outage_seconds":null,"monitor":"vpnwatch",)"
       R"("text":"This is a test notification from Quorvex on vpnwatch."})",
       {}},
      {"slack",
       Notifier(TNotifierKind::Slack, service.Url("/ok/services/T0/B0/x")),
       DownFacts(),
       "/ok/services/T0/B0/x",
       R"({"text":")" + kPlain + R"("})",
       {{"h:content-type", "application/json"}}},
      {"slack escapes its control characters",
       Notifier(TNotifierKind::Slack, service.Url("/ok/s")),
       mentions,
       "/ok/s",
       R"({"text":"@everyone &lt;!channel&gt; &amp; co is down (timed out).\nQuorvex on vpnwatch, )"
       R"(2026-12-11 17:40:00"})",
       {}},
      {"slack: up again after the outage",
       Notifier(TNotifierKind::Slack, service.Url("/ok/s")),
       up,
       "/ok/s",
       R"({"text":"office is up again after 1 h 2 min.\nQuorvex on vpnwatch, 2026-12-11 17:40:00"})",
       {}},
      {"teams: an Adaptive Card",
       Notifier(TNotifierKind::Teams, service.Url("/ok/workflows/1")),
       DownFacts(),
       "/ok/workflows/1",
       R"({"type":"message","attachments":[{"contentType":"application/vnd.microsoft.card.)"
       R"(adaptive","contentUrl":null,"content":{"$schema":"http://adaptivecards.io/schemas/)"
       R"(adaptive-card.json","type":"AdaptiveCard","version":"1.4","body":[{"type":"TextBlock",)"
       R"("text":"office is down","weight":"Bolder","size":"Medium","color":"Attention",)"
       R"("wrap":true},{"type":"TextBlock","text":"office is down (timed out).","wrap":true},)"
       R"({"type":"FactSet","facts":[{"title":"Server","value":"office"},{"title":"Status",)"
       R"("value":"Failed"},{"title":"Reason","value":"timed out"},{"title":"Outage","value":)"
       R"("2 min 30 s"},{"title":"Time","value":"2026-12-11 17:40:00"},{"title":"Monitor",)"
       R"("value":"vpnwatch"}]}]}}]})",
       {{"h:content-type", "application/json"}}},
      {"discord: content, and nobody pinged",
       Notifier(TNotifierKind::Discord, service.Url("/ok/api/webhooks/1/x")),
       mentions,
       "/ok/api/webhooks/1/x",
       R"({"content":"@everyone <!channel> & co is down (timed out).\nQuorvex on vpnwatch, )"
       R"(2026-12-11 17:40:00","allowed_mentions":{"parse":[]}})",
       {}},
      {"ntfy: text with title, priority, tags and token",
       ntfy,
       DownFacts(),
       "/ok/vpn-alerts",
       "office is down (timed out).\nQuorvex on vpnwatch, 2026-12-11 17:40:00",
       {{"h:content-type", "text/plain; charset=utf-8"},
        {"h:title", "office is down"},
        {"h:priority", "high"},
        {"h:tags", "rotating_light"},
        {"h:authorization", "Bearer tk_1"}}},
      {"ntfy: the priority set for a reminder",
       ntfyUrgent,
       reminder,
       "/ok/vpn-alerts",
       "office is still down after 2 min 30 s (timed out).\nQuorvex on vpnwatch, 2026-12-11 "
       "17:40:00",
       {{"h:title", "office is still down"}, {"h:priority", "urgent"}, {"h:tags", "warning"}}},
      {"ntfy: up again at the default priority",
       ntfyUrgent,
       up,
       "/ok/vpn-alerts",
       "office is up again after 1 h 2 min.\nQuorvex on vpnwatch, 2026-12-11 17:40:00",
       {{"h:priority", "default"}, {"h:tags", "white_check_mark"}}},
      {"ntfy: a title beyond ASCII is an encoded word, a line break cannot forge a header",
       ntfy,
       foreign,
       "/ok/vpn-alerts",
       "B\xC3\xBCro\\r\\nX-Forged: 1 is down (timed out).\nQuorvex on vpnwatch, 2026-12-11 "
       "17:40:00",
       {{"h:title", "=?UTF-8?B?QsO8cm9cclxuWC1Gb3JnZWQ6IDEgaXMgZG93bg==?="},
        {"h:authorization", "Bearer tk_1"}}},
      {"gotify: /message with the application token",
       gotify,
       DownFacts(),
       "/ok/gotify/message",
       R"({"title":"office is down","message":")" + kPlain + R"(","priority":8})",
       {{"h:x-gotify-key", "app-token"}, {"h:content-type", "application/json"}}},
      {"gotify: the priority set",
       gotifyLow,
       DownFacts(),
       "/ok/gotify/message",
       R"({"title":"office is down","message":")" + kPlain + R"(","priority":2})",
       {}},
  };
  size_t sent = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(
        test::ErrorOf<ENotifyError>([&] { sendNotification(c.notifier, c.facts, ShortLimits()); }),
        u"");
    const auto requests = service.Requests();
    ASSERT_EQ(requests.size(), ++sent);
    const TRequest& r = requests.back();
    EXPECT_EQ(r.at("method"), "POST");
    EXPECT_EQ(r.at("path"), c.path);
    EXPECT_EQ(r.at("body"), c.body);
    for (const auto& [name, value] : c.headers) {
      ASSERT_TRUE(r.count(name)) << name;
      EXPECT_EQ(r.at(name), value) << name;
    }
    // Nothing of the kinds that do not ask for it.
    if (!c.headers.count("h:authorization")) {
      EXPECT_FALSE(r.count("h:authorization"));
    }
  }
}

TEST(Notifier, FaultsAreReportedByHostAndRetriedOnlyWhenThatMayHelp) {
  TService service;
  TService plain(false);
  const TUniqueFd closed = test::LoopbackSocket(AF_INET, -1);  // bound, not listening: refused
  const std::string closedPort = std::to_string(test::LocalPort(closed.get()));
  struct TCase {
    const char* what;
    std::string url;
    std::string caFile;         // empty: the test CA
    std::u16string errorStart;  // "" when sent; HOST stands for the service's host
    std::u16string errorEnd;
    size_t requests;  // the service saw
  };
  const TCase cases[] = {
      {"500, then 200 at the one retry", service.Url("/fail-once/T0/secret"), "", u"", u"", 2},
      {"500 each time", service.Url("/fail/T0/secret"), "",
       u"HOST answered HTTP 500: overloaded (tried twice)", u"", 2},
      {"404: at once, in the service's words", service.Url("/gone/T0/secret"), "",
       u"HOST answered HTTP 404: no_service", u"", 1},
      {"401 with a JSON error", service.Url("/refuse/secret"), "",
       u"HOST answered HTTP 401: unauthorized", u"", 1},
      {"redirect: not followed, its target by host only", service.Url("/moved/T0/secret"), "",
       u"HOST answered HTTP 308, a redirect to elsewhere.example, which is not followed: put the "
       u"address it points to in <url>",
       u"", 1},
      {"silent: bounded, and once more", service.Url("/silent/secret"), "",
       u"The request to HOST failed: Operation timed out after ", u" (tried twice)", 2},
      {"certificate of another CA: no retry", service.Url("/ok/secret"),
       test::TlsCaFiles().OtherCaFile,
       u"The request to HOST failed: SSL certificate problem: unable to get local issuer "
       u"certificate",
       u"", 0},
      {"plain HTTP", plain.Url("/ok/secret"), "", u"", u"", 1},
      {"refused", "http://127.0.0.1:" + closedPort + "/ok/secret", "",
       u"The request to 127.0.0.1:" + u16(closedPort) +
           u" failed: Failed to connect to 127.0.0.1 port " + u16(closedPort),
       u" (tried twice)", 0},
  };
  size_t seenTls = 0, seenPlain = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TNotifierConfig n = Notifier(TNotifierKind::Slack, c.url);
    n.caFile = fromUtf8(c.caFile);
    const TService& peer = c.url.find("https://") == 0 ? service : plain;
    std::u16string start = c.errorStart;
    if (const size_t at = start.find(u"HOST"); at != std::u16string::npos)
      start.replace(at, 4, fromUtf8(peer.Host()));
    const std::u16string error =
        test::ErrorOf<ENotifyError>([&] { sendNotification(n, DownFacts(), ShortLimits()); });
    EXPECT_EQ(error.substr(0, start.size()), start) << toUtf8(error);
    if (!c.errorEnd.empty()) {
      ASSERT_GE(error.size(), c.errorEnd.size());
      EXPECT_EQ(error.substr(error.size() - c.errorEnd.size()), c.errorEnd) << toUtf8(error);
    }
    if (start.empty()) {
      EXPECT_EQ(error, u"");
    }
    // An address carries its token in the path: it is never shown.
    EXPECT_EQ(error.find(u"secret"), std::u16string::npos) << toUtf8(error);
    size_t& seen = &peer == &service ? seenTls : seenPlain;
    if (c.url.find(closedPort) == std::string::npos) {
      seen += c.requests;
      EXPECT_EQ(peer.Requests().size(), seen);
    }
  }
}

TEST(Notifier, ANotifierThatCannotSendSaysWhyBeforeAnyRequest) {
  TNotifierConfig gotify = Notifier(TNotifierKind::Gotify, "https://localhost:1/");
  TNotifierConfig priority = gotify;
  priority.token = u"t";
  priority.priority = u"11";
  TNotifierConfig ntfy = Notifier(TNotifierKind::Ntfy, "https://localhost:1/t");
  ntfy.priority = u"loud";
  TNotifierConfig ftp = Notifier(TNotifierKind::Webhook, "ftp://localhost:1/secret");
  const std::pair<TNotifierConfig, std::u16string> cases[] = {
      {gotify, u"no application token is set (<token>)"},
      {priority, u"the priority \"11\" is not 0 to 10"},
      {ntfy, u"the priority \"loud\" is none of 1 to 5, min, low, default, high and urgent"},
      {ftp, u"The address localhost:1 is not an http:// or https:// address."},
  };
  for (const auto& [notifier, error] : cases) {
    SCOPED_TRACE(toUtf8(error));
    EXPECT_EQ(test::MessageOf<ENotifyError>(
                  [&] { sendNotification(notifier, DownFacts(), ShortLimits()); }),
              error);
  }
}

TEST(Notifier, TheCommandGetsTheFactsAndIsBounded) {
  test::TempFolder folder("notify command");
  const std::string out = folder / "facts.txt";
  const std::string facts = folder.script("facts.sh", "env | grep '^QUORVEX_' | sort > \"$1\"");
  const std::string fails = folder.script(
      "fails.sh",
      "echo >&2; echo 'pager: no route to the on-call phone' >&2; echo more >&2; exit 1");
  const std::string hangs = folder.script("hangs.sh", "sleep 30");
  const auto command = [](const std::string& line) {
    TNotifierConfig n{u"page", TNotifierKind::Command};
    n.command = fromUtf8(line);
    return n;
  };
  TNotifyLimits limits = ShortLimits();
  EXPECT_EQ(test::ErrorOf<ENotifyError>([&] {
              sendNotification(command("\"" + facts + "\" \"" + out + "\""), DownFacts(), limits);
            }),
            u"");
  EXPECT_EQ(test::readFile(out),
            "QUORVEX_EVENT=down\n"
            "QUORVEX_LOCAL_TIME=2026-12-11 17:40:00\n"
            "QUORVEX_MONITOR_HOST=vpnwatch\n"
            "QUORVEX_NOTIFIER=page\n"
            "QUORVEX_OUTAGE_SECONDS=150\n"
            "QUORVEX_REASON=timed out\n"
            "QUORVEX_SERVER=office\n"
            "QUORVEX_STATUS=Failed\n"
            "QUORVEX_TEXT=office is down (timed out).\n"
            "QUORVEX_TIME=2026-12-11T16:40:00Z\n");
  // Its arguments are not shown: they may hold a secret.
  EXPECT_EQ(test::MessageOf<ENotifyError>([&] {
              sendNotification(command("\"" + fails + "\" --key=secret"), DownFacts(), limits);
            }),
            u"the command " + fromUtf8(fails) +
                u" ended with exit code 1: pager: no route to the on-call phone");
  limits.commandTimeoutMs = 300;
  EXPECT_EQ(test::MessageOf<ENotifyError>(
                [&] { sendNotification(command("\"" + hangs + "\""), DownFacts(), limits); }),
            u"the command " + fromUtf8(hangs) + u" did not end within 300 ms and was stopped");
  EXPECT_EQ(test::MessageOf<ENotifyError>([&] {
              sendNotification(command("\"" + folder / "missing" + "\""), DownFacts(), limits);
            }),
            u"The program " + fromUtf8(folder / "missing") +
                u" cannot be started: No such file or directory");
}

}  // namespace
}  // namespace quorvex
