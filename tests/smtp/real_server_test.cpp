// The client against a real SMTP server: Debian's aiosmtpd on 127.0.0.1,
// started by the test with a throwaway certificate.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "net/ssl_openssl.h"
#include "platform/text.h"
#include "smtp/reply_smtp.h"
#include "smtp/smtp.h"
#include "support/loopback.h"
#include "support/python_peer.h"
#include "support/temp_folder.h"

namespace quorvex {
namespace {

using test::readFile;
using test::TempFolder;

// Runs AArgv and waits for it (bounded by the program itself); its exit code.
int RunProgram(const std::vector<std::string>& AArgv) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    std::vector<char*> argv;
    for (const auto& a : AArgv) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The server process; it stops when its standard input closes.
class TSMTPServer {
 public:
  // AOptions: those of smtp_server.py after the password.
  TSMTPServer(const TempFolder& AFolder, const std::vector<std::string>& AOptions)
      : _mailDir(AFolder / "mail") {
    mkdir(_mailDir.c_str(), 0700);
    const std::string cert = AFolder / "cert.pem", key = AFolder / "key.pem";
    if (access(cert.c_str(), R_OK) != 0 &&
        RunProgram({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                    "-out", cert, "-days", "1", "-subj", "/CN=127.0.0.1"}) != 0)
      throw std::runtime_error("openssl could not make a certificate");
    std::uint16_t port = 0;
    {
      // A port the system picks; aiosmtpd binds it again right after.
      const auto probe = test::LoopbackSocket(AF_INET, -1);
      port = test::LocalPort(probe.get());
    }
    std::vector<std::string> args = {std::to_string(port), cert, key, _mailDir, "alice",
                                     "s3cret p\xC3\xA4ss"};  // UTF-8
    args.insert(args.end(), AOptions.begin(), AOptions.end());
    _peer =
        std::make_unique<test::TPythonPeer>(QUORVEX_SOURCE_DIR "/tests/smtp/smtp_server.py", args);
  }
  std::uint16_t Port() const { return _peer->Port(); }
  std::string Message(int AIndex) const {
    return readFile(_mailDir + "/" + std::to_string(AIndex) + ".eml");
  }
  std::string Envelope(int AIndex) const {
    return readFile(_mailDir + "/" + std::to_string(AIndex) + ".env");
  }
  // "tls=...\nauth=USER\nmechanism=...\n" of the session that delivered it.
  std::string Session(int AIndex) const {
    return readFile(_mailDir + "/" + std::to_string(AIndex) + ".session");
  }

 private:
  std::string _mailDir;
  std::unique_ptr<test::TPythonPeer> _peer;
};

void FillMessage(TQxMessage& AMsg) {
  AMsg.From().SetAddress(u"monitor@example.test");
  AMsg.From().SetName(u"VPN Monitor");
  AMsg.Recipients().SetEMailAddresses(u"ops@example.test, desk@example.test");
  AMsg.CCList().SetEMailAddresses(u"boss@example.test");
  AMsg.SetSubject(u"vpn01 Down!");
  AMsg.Body().SetText(u"Server vpn01 is down.\r\n.a line with a leading dot\r\n\r\nlast line");
}

// The header lines the client generated, then a blank line and the body.
void ExpectDelivered(const std::string& AStored, TQxMessage& AMsg) {
  std::string expected;
  for (const auto& line : AMsg.LastGeneratedHeaders().Lines()) expected += toUtf8(line) + "\r\n";
  expected += "\r\nServer vpn01 is down.\r\n.a line with a leading dot\r\n\r\nlast line\r\n";
  EXPECT_EQ(AStored.substr(0, expected.size()), expected);
  EXPECT_NE(AStored.find("Subject: vpn01 Down!\r\n"), std::string::npos);
  EXPECT_NE(AStored.find("To: ops@example.test, desk@example.test\r\n"), std::string::npos);
  EXPECT_NE(AStored.find("Cc: boss@example.test\r\n"), std::string::npos);
}

// A client as the alert mail sets one up: a TLS-capable handler, explicit
// TLS when asked for, user name and password.
struct TClient {
  TQxSSLIOHandlerSocketOpenSSL Handler;
  TQxSMTP Smtp;
  TClient(const TSMTPServer& AServer, bool ATLS, const std::u16string& APassword) {
    Smtp.SetIOHandler(&Handler);
    Smtp.SetHost(u"127.0.0.1");
    Smtp.SetPort(AServer.Port());
    Smtp.SetReadTimeout(10000);  // no test waits without bound
    Smtp.SetUsername(u"alice");
    Smtp.SetPassword(APassword);
    Smtp.SetUseTLS(ATLS ? utUseExplicitTLS : utNoTLSSupport);
  }
  ~TClient() { Smtp.SetIOHandler(nullptr); }
};

class RealSMTPServer : public ::testing::TestWithParam<bool> {};

TEST_P(RealSMTPServer, MessageArrivesIntact) {
  const bool tls = GetParam();
  TempFolder folder("smtp server");
  TSMTPServer server(folder,
                     tls ? std::vector<std::string>{} : std::vector<std::string>{"--plain-auth"});
  TClient client(server, tls, u"s3cret p\u00e4ss");  // checked as UTF-8 bytes
  TQxMessage message;
  FillMessage(message);
  client.Smtp.Connect();
  client.Smtp.Send(message);
  EXPECT_TRUE(client.Smtp.DidAuthenticate());
  EXPECT_EQ(client.Handler.PassThrough(), !tls);
  client.Smtp.Disconnect();

  ExpectDelivered(server.Message(1), message);
  EXPECT_EQ(server.Envelope(1),
            "monitor@example.test\nops@example.test\ndesk@example.test\nboss@example.test\n");
}

TEST_P(RealSMTPServer, WrongPasswordIsTheServersReplyError) {
  const bool tls = GetParam();
  TempFolder folder("smtp server");
  TSMTPServer server(folder,
                     tls ? std::vector<std::string>{} : std::vector<std::string>{"--plain-auth"});
  TClient client(server, tls, u"wrong");
  TQxMessage message;
  FillMessage(message);
  client.Smtp.Connect();
  try {
    client.Smtp.Send(message);
    ADD_FAILURE() << "sent with a wrong password";
  } catch (const EQxSMTPReplyError& e) {
    EXPECT_EQ(e.ErrorCode(), 535);
    EXPECT_EQ(e.EnhancedCode().ReplyAsStr(), u"5.7.8");
    EXPECT_EQ(e.Message(), u"Authentication credentials invalid\r\n");
  }
  EXPECT_TRUE(client.Smtp.Connected());
  EXPECT_FALSE(client.Smtp.DidAuthenticate());
  client.Smtp.Disconnect();
}

INSTANTIATE_TEST_SUITE_P(PlainAndStartTLS, RealSMTPServer, ::testing::Bool(),
                         [](const auto& AInfo) { return AInfo.param ? "StartTLS" : "Plain"; });

// The mail servers people run, as aiosmtpd plays them: Dovecot's Debian
// default offers PLAIN only, and AUTH only after STARTTLS; Exim offers PLAIN
// and LOGIN; a provider offers XOAUTH2 or OAUTHBEARER and checks the token.
struct TServerCase {
  const char* Name;
  std::vector<std::string> ServerOptions;
  TQxUseTLS ClientTLS;
  std::function<void(TQxSMTP&)> Setup;  // null: user alice, the password below
  std::string Mechanism;                // the one the server saw; "" when the mail is refused
  std::u16string Error{};               // the refusal's message
};

const char kToken[] = "ya29.test-token";
const std::u16string kPassword = u"s3cret p\u00e4ss";

void WithToken(TQxSMTP& AClient, const std::string& AToken) {
  AClient.SetPassword(u"");
  AClient.OnAccessToken = [AToken] { return AToken; };
}

const TServerCase kServerCases[] = {
    {"Dovecot, STARTTLS: PLAIN", {"--mechanisms", "PLAIN"}, utUseExplicitTLS, nullptr, "PLAIN"},
    {"Dovecot, implicit TLS: PLAIN",
     {"--mechanisms", "PLAIN", "--implicit"},
     utUseImplicitTLS,
     nullptr,
     "PLAIN"},
    {"Dovecot, box unticked: the refusal says why",
     {"--mechanisms", "PLAIN"},
     utNoTLSSupport,
     nullptr,
     "",
     u"Authentication required\r\n(the login was not used: the server offers AUTH only after "
     u"STARTTLS; tick SSL/TLS)\r\n"},
    {"Exim, STARTTLS: LOGIN", {"--mechanisms", "PLAIN,LOGIN"}, utUseExplicitTLS, nullptr, "LOGIN"},
    {"Exim, implicit TLS: LOGIN",
     {"--mechanisms", "PLAIN,LOGIN", "--implicit"},
     utUseImplicitTLS,
     nullptr,
     "LOGIN"},
    {"Exim, smtp_auth plain",
     {"--mechanisms", "PLAIN,LOGIN"},
     utUseExplicitTLS,
     [](TQxSMTP& c) { c.SetMechanism(TQxSMTPMechanism::Plain); },
     "PLAIN"},
    {"provider, STARTTLS: XOAUTH2 beside LOGIN",
     {"--mechanisms", "LOGIN,XOAUTH2", "--token", kToken},
     utUseExplicitTLS,
     [](TQxSMTP& c) { WithToken(c, kToken); },
     "XOAUTH2"},
    {"provider, implicit TLS: OAUTHBEARER",
     {"--mechanisms", "OAUTHBEARER", "--implicit", "--token", kToken},
     utUseImplicitTLS,
     [](TQxSMTP& c) { WithToken(c, kToken); },
     "OAUTHBEARER"},
    {"provider, XOAUTH2 with a stale token",
     {"--mechanisms", "XOAUTH2", "--token", kToken},
     utUseExplicitTLS,
     [](TQxSMTP& c) { WithToken(c, "ya29.stale"); },
     "",
     u"Invalid token\r\n"},
    {"provider, OAUTHBEARER with a stale token",
     {"--mechanisms", "OAUTHBEARER", "--implicit", "--token", kToken},
     utUseImplicitTLS,
     [](TQxSMTP& c) { WithToken(c, "ya29.stale"); },
     "",
     u"Invalid token\r\n"},
};

void PrintTo(const TServerCase& ACase, std::ostream* AOut) { *AOut << ACase.Name; }

class MailServers : public ::testing::TestWithParam<TServerCase> {};

TEST_P(MailServers, LogInAsTheServerOffers) {
  const TServerCase& c = GetParam();
  TempFolder folder("smtp server");
  TSMTPServer server(folder, c.ServerOptions);
  TClient client(server, false, kPassword);
  client.Smtp.SetUseTLS(c.ClientTLS);
  client.Smtp.SetPort(server.Port());  // as started: no 25/465 rule
  if (c.Setup) c.Setup(client.Smtp);
  TQxMessage message;
  FillMessage(message);
  std::u16string error;
  try {
    client.Smtp.Connect();
    client.Smtp.Send(message);
  } catch (const EQxException& e) {
    error = e.Message();
  }
  EXPECT_EQ(error, c.Error);
  client.Smtp.SetIOHandler(nullptr);
  if (!c.Mechanism.empty()) {
    const std::string session = server.Session(1);
    EXPECT_NE(session.find("auth=alice\nmechanism=" + c.Mechanism + "\n"), std::string::npos)
        << session;
    EXPECT_EQ(session.find("tls=none"), std::string::npos) << session;
    ExpectDelivered(server.Message(1), message);
  }
}

INSTANTIATE_TEST_SUITE_P(Profiles, MailServers, ::testing::ValuesIn(kServerCases),
                         [](const auto& AInfo) { return "row" + std::to_string(AInfo.index); });

}  // namespace
}  // namespace quorvex
