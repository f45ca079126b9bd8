// STARTTLS against a real TLS peer: the scripted peer answers 220 and
// switches the same socket to TLS with OpenSSL; the second EHLO, AUTH LOGIN
// and the transaction run encrypted.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/ssl_openssl.h"
#include "platform/text.h"
#include "smtp/smtp.h"
#include "support/tls_server.h"

namespace quorvex {
namespace {

using test::TTlsServer;
using test::TTlsServerOptions;
using TScript = std::vector<std::string>;

void FillMessage(TQxMessage& AMsg) {
  AMsg.From().SetAddress(u"mon@example.test");
  AMsg.Recipients().SetEMailAddresses(u"a@example.test");
  AMsg.SetSubject(u"vpn01 Down!");
  AMsg.Body().SetText(u"Server vpn01 is down.\r\n.dot");
}

// The message lines as the peer reads them: each header line (any text),
// the blank line, the body with its dot doubled, the closing blank line.
TScript MessageLines(TQxMessage& AMsg) {
  AMsg.GenerateHeader();
  TScript lines(AMsg.LastGeneratedHeaders().Count(), "C:*");
  for (const char* line : {"C:", "C:Server vpn01 is down.", "C:..dot", "C:", "C:."})
    lines.push_back(line);
  return lines;
}

struct TClient {
  TQxSSLIOHandlerSocketOpenSSL Handler;
  TQxSMTP Smtp;
  explicit TClient(const TTlsServer& AServer) {
    Smtp.SetIOHandler(&Handler);
    Smtp.SetHost(u"127.0.0.1");
    Smtp.SetPort(AServer.Port());
    Smtp.SetHeloName(u"client.test");
    Smtp.SetReadTimeout(5000);  // no test waits without bound
    Smtp.SetUsername(u"alice");
    Smtp.SetPassword(u"secret");
    Smtp.SetUseTLS(utUseExplicitTLS);
  }
  ~TClient() { Smtp.SetIOHandler(nullptr); }
};

TEST(StartTLS, SessionRunsEncryptedAfterTheSwitch) {
  TQxMessage message;
  FillMessage(message);
  TScript script = {
      "S:220 mail.test ESMTP",
      "C:EHLO client.test",
      "S:250-mail.test",
      "S:250-STARTTLS",
      "S:250 AUTH PLAIN",  // LOGIN only once encrypted: mechanisms come from the second EHLO
      "C:STARTTLS",
      "S:220 2.0.0 Ready to start TLS",
      "T:",
      "C:EHLO client.test",
      "S:250-mail.test",
      "S:250 AUTH PLAIN LOGIN",
      "C:AUTH LOGIN",
      "S:334 VXNlcm5hbWU6",
      "C:YWxpY2U=",  // alice
      "S:334 UGFzc3dvcmQ6",
      "C:c2VjcmV0",  // secret
      "S:235 2.7.0 ok",
      "C:RSET",
      "S:250 OK",
      "C:MAIL FROM: <mon@example.test>",
      "S:250 OK",
      "C:RCPT TO:<a@example.test>",
      "S:250 OK",
      "C:DATA",
      "S:354 go ahead"};
  for (auto& line : MessageLines(message)) script.push_back(line);
  for (const char* line : {"S:250 2.0.0 queued", "C:QUIT", "S:221 bye", "E:"})
    script.push_back(line);

  TTlsServer server(script);
  {
    TClient client(server);
    client.Smtp.Connect();
    EXPECT_TRUE(client.Handler.PassThrough());
    client.Smtp.Send(message);
    EXPECT_FALSE(client.Handler.PassThrough());
    EXPECT_TRUE(client.Smtp.DidAuthenticate());
    EXPECT_EQ(client.Smtp.Capabilities(), (std::vector<std::u16string>{u"AUTH PLAIN LOGIN"}));
    client.Smtp.Disconnect();
  }
  EXPECT_EQ(server.Wait(), "");
  EXPECT_THAT(server.Protocol(), ::testing::AnyOf("TLSv1.2", "TLSv1.3"));
}

TEST(StartTLS, FailedHandshakeEndsTheSession) {
  TTlsServerOptions options;
  options.CloseOnClientHello = true;
  TTlsServer server({"S:220 mail.test", "C:EHLO client.test", "S:250-mail.test", "S:250 STARTTLS",
                     "C:STARTTLS", "S:220 go ahead", "T:"},
                    options);
  TClient client(server);
  TQxMessage message;
  FillMessage(message);
  client.Smtp.Connect();
  try {
    client.Smtp.Send(message);
    ADD_FAILURE() << "sent without TLS";
  } catch (const EQxTLSClientTLSHandShakeFailed& e) {
    EXPECT_EQ(e.Message(), u"SSL is not available on this server.");
  }
  EXPECT_FALSE(client.Smtp.Connected());
  EXPECT_EQ(server.Wait(), "");
}

}  // namespace
}  // namespace quorvex
