#include "monitor/failure_reason.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/engine.h"
#include "support/catalogue_fixture.h"
#include "support/cycle_fakes.h"
#include "support/engine_rig.h"
#include "support/fake_clock.h"

namespace quorvex::test {
namespace {

// openvpn 2.6's own lines, as it printed them against peers on loopback.
constexpr char16_t kAuthFailed[] =
    u"AUTH: Received control message: AUTH_FAILED\r\n"
    u"SIGTERM[soft,auth-failure] received, process exiting\r\n";
constexpr char16_t kUdpRefused[] =
    u"UDPv4 link remote: [AF_INET]127.0.0.1:37959\r\n"
    u"read UDPv4 [ECONNREFUSED]: Connection refused (fd=3,code=111)\r\n";
constexpr char16_t kTcpRefused[] =
    u"TCP: connect to [AF_INET]127.0.0.1:52147 failed: Connection refused\r\n"
    u"SIGUSR1[connection failed(soft),connection-failed] received, process restarting\r\n";
constexpr char16_t kOtherCA[] =
    u"VERIFY ERROR: depth=1, error=self-signed certificate in certificate chain: CN=ca\r\n"
    u"OpenSSL: error:0A000086:SSL routines::certificate verify failed:\r\n"
    u"TLS Error: TLS handshake failed\r\n";
constexpr char16_t kNoName[] =
    u"RESOLVE: Cannot resolve host address: vpn.example.invalid:1194 (Name or service not "
    u"known)\r\n";
constexpr char16_t kBadOption[] =
    u"Options error: Unrecognized option or missing or extra parameter(s) in opt.ovpn:11: "
    u"frobnicate (2.6.14)\r\nUse --help for more information.\r\n";
// A peer that never answers: the handshake gives up, which is no TLS fault.
constexpr char16_t kSilentPeer[] =
    u"TLS Error: TLS key negotiation failed to occur within 60 seconds (check your network "
    u"connectivity)\r\nTLS Error: TLS handshake failed\r\n";
constexpr char16_t kDevice[] =
    u"ERROR: Cannot ioctl TUNSETIFF tun: Operation not permitted (errno=1)\r\n"
    u"Exiting due to fatal error\r\n";

TEST(FailureSigns, OpenVPNsWordsGiveTheReason) {
  struct Case {
    const char* name;
    std::vector<std::u16string> reads;  // the output, in the pieces it arrives in
    bool ended;                         // false: the time-out passed
    std::u16string reason;
  };
  const Case cases[] = {
      {"wrong password", {kAuthFailed}, true, u"authentication refused"},
      {"closed UDP port", {kUdpRefused}, false, u"refused"},
      {"closed TCP port", {kTcpRefused}, false, u"refused"},
      {"server certificate of another CA", {kOtherCA}, false, u"TLS failed"},
      {"name under .invalid", {kNoName}, false, u"name not resolved"},
      {"unknown option", {kBadOption}, true, u"configuration error"},
      {"device", {kDevice}, true, u"device"},
      {"silent peer", {kSilentPeer}, false, u"timed out"},
      {"nothing said, time-out",
       {u"UDPv4 link remote: [AF_INET]127.0.0.1:1\r\n"},
       false,
       u"timed out"},
      {"nothing said, child ended", {u"Exiting due to fatal error\r\n"}, true, u"ended"},
      // The refused port came first; the handshake then gave up on it.
      {"refused, then no handshake", {kUdpRefused, kSilentPeer}, false, u"refused"},
      {"login refused after a retry", {kTcpRefused, kAuthFailed}, true, u"authentication refused"},
      {"marker cut in two",
       {u"AUTH: Received control message: AUTH_FA", u"ILED\r\n"},
       true,
       u"authentication refused"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TFailureSigns signs;
    std::u16string seen;
    for (const std::u16string& read : c.reads) {
      seen += read;
      signs.see(seen);  // as the test does: the new text with what came before it
    }
    EXPECT_EQ(signs.judge(c.ended).text(), c.reason);
  }
}

TEST(FailureReason, EveryKindHasWordsAndAStartErrorIsShownAsItIs) {
  EXPECT_EQ(TFailureReason{}.text(), u"");
  for (TFailureKind kind :
       {TFailureKind::TimedOut, TFailureKind::Refused, TFailureKind::AuthenticationRefused,
        TFailureKind::TLSFailed, TFailureKind::NameNotResolved, TFailureKind::ConfigurationError,
        TFailureKind::Device, TFailureKind::Ended, TFailureKind::NotStarted})
    EXPECT_FALSE(TFailureReason{kind}.text().empty()) << static_cast<int>(kind);
  const TFailureReason reason = notStarted(u"Cannot open file \"x.ovpn\". Permission denied.");
  EXPECT_EQ(reason.text(), u"Cannot open file \"x.ovpn\". Permission denied.");
  EXPECT_EQ(reason.word(), u"not started");
}

// The reason reaches the row and the alert through the cycle; the status
// words stay as they were.
TEST(FailureReason, TheCycleHandsTheReasonToTheRowAndTheAlert) {
  TCatalogueFixture catalogue({.servers = {"office", "lab", "home", "broken"}});
  TFakeChildren children;
  TFakeView view(catalogue.settings().ServerCount());
  TFakeClock clock;
  clock.now = EncodeDateTime(2026, 3, 29, 9, 5, 7);
  std::vector<std::u16string> alerts;
  TEngineRig rig(catalogue.settings(), view, view, children.factory(), clock, 1,
                 [&alerts](const TVPNServer& server, const std::u16string& reason) {
                   alerts.push_back(server.Name() + u": " + reason);
                 });
  TMonitorEngine& cycle = rig.engine;
  children.scripts[u"office.ovpn"] = {.reads = {kAuthFailed}, .endsAfterReads = 1};
  children.scripts[u"lab.ovpn"] = {.reads = {kUdpRefused}};
  children.scripts[u"home.ovpn"] = {.reads = {u"Initialization Sequence Completed\r\n"}};
  children.scripts[u"broken.ovpn"] = {.runThrows = true};
  cycle.start();
  for (int i = 0; i < 20 && view.timerEnabled; ++i) {
    clock.advance(60);  // past every time-out
    cycle.tick();
  }
  ASSERT_FALSE(view.timerEnabled);
  auto row = [&](const std::string& name) { return view.rows.at(catalogue.row(name)); };
  EXPECT_EQ(row("office").status, u"Failed");
  EXPECT_EQ(row("office").reason.text(), u"authentication refused");
  EXPECT_EQ(row("lab").status, u"Failed");
  EXPECT_EQ(row("lab").reason.text(), u"refused");
  EXPECT_EQ(row("home").status, u"Successful");
  EXPECT_EQ(row("home").reason.kind, TFailureKind::None);
  EXPECT_EQ(row("broken").status, u"Failed to start");
  EXPECT_EQ(row("broken").reason.text(), u"Failed to start openvpn");
  std::sort(alerts.begin(), alerts.end());
  EXPECT_EQ(alerts,
            (std::vector<std::u16string>{u"lab: refused", u"office: authentication refused"}));
}

}  // namespace
}  // namespace quorvex::test
