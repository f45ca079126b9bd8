// The client on Windows against a real SMTP server on Linux (aiosmtpd, started
// by tests/windows/with_smtp_peer.sh), reached over the loopback.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "net/ssl_openssl.h"
#include "platform/exception.h"
#include "platform/text.h"
#include "smtp/reply_smtp.h"
#include "smtp/smtp.h"

namespace quorvex {
namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class RealServerOnWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* port = std::getenv("QUORVEX_SMTP_PEER_PORT");
    const char* mailDir = std::getenv("QUORVEX_SMTP_PEER_MAILDIR");
    if (!port || !mailDir) GTEST_SKIP() << "no SMTP peer: run through with_smtp_peer.sh";
    _port = static_cast<std::uint16_t>(std::atoi(port));
    _mailDir = mailDir;
    Smtp.SetIOHandler(&Handler);  // the alert mail's TLS-capable handler
    Smtp.SetHost(u"127.0.0.1");
    Smtp.SetPort(_port);
    Smtp.SetReadTimeout(10000);  // no test waits without bound
    Smtp.SetUsername(u"alice");
    Smtp.SetPassword(u"s3cret");
    Message.From().SetAddress(u"monitor@example.test");
    Message.Recipients().SetEMailAddresses(u"ops@example.test");
    Message.SetSubject(u"vpn01 Down!");
    Message.Body().SetText(u"Server vpn01 is down.\r\n.a line with a leading dot");
  }
  void TearDown() override { Smtp.SetIOHandler(nullptr); }

  size_t StoredCount() const {
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(_mailDir))
      count += entry.path().extension() == ".eml";
    return count;
  }
  // The messages are numbered from 1 in the order they arrived.
  std::string Stored(int AIndex) const {
    return readFile(_mailDir + "\\" + std::to_string(AIndex) + ".eml");
  }

  TQxSSLIOHandlerSocketOpenSSL Handler;
  TQxSMTP Smtp;
  TQxMessage Message;

 private:
  std::uint16_t _port = 0;
  std::string _mailDir;
};

TEST_F(RealServerOnWindows, PlainMailWithLoginArrives) {
  Smtp.SetUseTLS(utNoTLSSupport);
  const size_t before = StoredCount();
  Smtp.Connect();
  Smtp.Send(Message);
  EXPECT_TRUE(Smtp.DidAuthenticate());
  Smtp.Disconnect();
  ASSERT_EQ(StoredCount(), before + 1);
  const std::string stored = Stored(static_cast<int>(before + 1));
  EXPECT_NE(stored.find("Subject: vpn01 Down!\r\n"), std::string::npos) << stored;
  EXPECT_NE(stored.find("\r\n\r\nServer vpn01 is down.\r\n.a line with a leading dot\r\n"),
            std::string::npos)
      << stored;
}

// The server offers STARTTLS; no OpenSSL is installed in the test's prefix,
// so the switch fails and nothing is sent in the clear after STARTTLS.
TEST_F(RealServerOnWindows, StartTLSWithoutOpenSSLSendsNothing) {
  Smtp.SetUseTLS(utUseExplicitTLS);
  const size_t before = StoredCount();
  Smtp.Connect();
  EXPECT_THROW(Smtp.Send(Message), EQxException);
  Smtp.Disconnect();
  EXPECT_EQ(StoredCount(), before);
}

}  // namespace
}  // namespace quorvex
