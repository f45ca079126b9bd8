// The security and certificate options of the alert mail against TLS peers
// on 127.0.0.1: implicit TLS from the first byte, STARTTLS required, and the
// certificate check against a throwaway authority.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "alerts/alert_mail.h"
#include "platform/exception.h"
#include "platform/text.h"
#include "settings/value_text.h"
#include "support/scripted_smtp_peer.h"
#include "support/tls_server.h"

namespace quorvex {
namespace {

using test::TlsCaFiles;
using test::TTlsServer;
using test::TTlsServerOptions;
using TScript = std::vector<std::string>;

const TAlertMailWaits kWaits{3000, 3000};

TAlertMailFields Fields(std::uint16_t APort, const std::u16string& ASecurity) {
  TAlertMailFields f;
  f.MsgFrom = u"a@x";
  f.MsgTo = u"ops@example.test";
  f.MsgSubject = u"<serverName> Down!";
  f.MsgText = u"<serverName> is down.";
  f.SMTPHost = u"localhost";
  f.SMTPPort = int32ToText(APort);
  f.Options.SetText(TOptionId::SMTPSecurity, ASecurity);
  return f;
}

// The session up to MAIL FROM, which the peer refuses: enough to see how
// the client reached it.
const TScript kUntilMailFrom = {"C:*",      "S:250 mail.test",    "C:RSET",
                                "S:250 OK", "C:MAIL FROM: <a@x>", "S:554 5.3.0 enough"};

std::u16string SendExpectingError(const TAlertMailFields& AFields) {
  auto idSMTP = makeAlertSMTP();
  try {
    sendMail(*idSMTP, AFields, false, u"vpn1", kWaits);
  } catch (const Exception& e) {
    EXPECT_EQ(idSMTP->UseTLS(), utNoTLSSupport);
    return e.Message();
  }
  ADD_FAILURE() << "no error";
  return {};
}

TEST(AlertMailSecurity, ImplicitTlsSpeaksTlsFromTheFirstByteAndNeverSendsStartTls) {
  TScript script = {"T:", "S:220 mail.test"};
  script.insert(script.end(), kUntilMailFrom.begin(), kUntilMailFrom.end());
  script.push_back("E:");
  TTlsServer peer(script);
  EXPECT_EQ(SendExpectingError(Fields(peer.Port(), kSecurityImplicitTLS)), u"enough\r\n");
  EXPECT_EQ(peer.Wait(), "");
  EXPECT_THAT(peer.Protocol(), ::testing::AnyOf("TLSv1.2", "TLSv1.3"));
}

TEST(AlertMailSecurity, RequiredStartTlsSendsNoPasswordAndNoMailWithoutTls) {
  // The server offers AUTH LOGIN but no STARTTLS: the client must leave.
  test::TScriptedSMTPPeer peer({"S:220 mail.test", "C:*", "S:250-mail.test", "S:250 AUTH LOGIN",
                                "C:QUIT", "S:221 bye", "X:"});
  TAlertMailFields fields = Fields(peer.Port(), kSecurityRequireStartTLS);
  fields.SMTPLogin = u"alice";
  fields.SMTPPassword = u"s3cret";
  EXPECT_EQ(SendExpectingError(fields), u"Start SSL negotiation command failed.");
  EXPECT_EQ(peer.Finish(), "");
  EXPECT_TRUE(peer.Messages().empty());

  // Offered, it is used, whatever the SSL/TLS box says.
  TScript script = {"S:220 mail.test", "C:*", "S:250-mail.test", "S:250 STARTTLS", "C:STARTTLS",
                    "S:220 go ahead",  "T:"};
  script.insert(script.end(), kUntilMailFrom.begin(), kUntilMailFrom.end());
  script.push_back("E:");
  TTlsServer tls(script);
  EXPECT_EQ(SendExpectingError(Fields(tls.Port(), kSecurityRequireStartTLS)), u"enough\r\n");
  EXPECT_EQ(tls.Wait(), "");
}

TEST(AlertMailSecurity, CertificateCheckAgainstAThrowawayAuthority) {
  const auto& ca = TlsCaFiles();
  const struct {
    const char* name;
    const char16_t* security;
    std::string caFile;
    const char16_t* host;
    std::u16string error;
  } cases[] = {
      {"implicit, right CA and host", kSecurityImplicitTLS, ca.CaFile, u"localhost", u"enough\r\n"},
      {"STARTTLS, right CA and host", kSecurityRequireStartTLS, ca.CaFile, u"localhost",
       u"enough\r\n"},
      {"implicit, wrong CA", kSecurityImplicitTLS, ca.OtherCaFile, u"localhost",
       u"The certificate of the SMTP server was refused: unable to get local issuer certificate"},
      {"STARTTLS, wrong CA", kSecurityRequireStartTLS, ca.OtherCaFile, u"localhost",
       u"The certificate of the SMTP server was refused: unable to get local issuer certificate"},
      {"system store only", kSecurityImplicitTLS, "", u"localhost",
       u"The certificate of the SMTP server was refused: unable to get local issuer certificate"},
      {"wrong host name", kSecurityImplicitTLS, ca.CaFile, u"127.0.0.1",
       u"The certificate of the SMTP server was refused: IP address mismatch"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const bool implicit = std::u16string(c.security) == kSecurityImplicitTLS;
    const bool passes = c.error == u"enough\r\n";
    TScript script =
        implicit
            ? TScript{"T:", "S:220 mail.test"}
            : TScript{"S:220 mail.test", "C:*", "S:250-mail.test", "S:250 STARTTLS", "C:STARTTLS",
                      "S:220 go ahead",  "T:"};
    if (passes) {
      script.insert(script.end(), kUntilMailFrom.begin(), kUntilMailFrom.end());
      script.push_back("E:");
    }
    TTlsServerOptions options;
    options.CaSigned = true;
    TTlsServer peer(script, options);
    TAlertMailFields fields = Fields(peer.Port(), c.security);
    fields.SMTPHost = c.host;
    fields.Options.SetText(TOptionId::VerifyCertificate, u"true");
    fields.Options.SetText(TOptionId::CAFile, fromUtf8(c.caFile));
    EXPECT_EQ(SendExpectingError(fields), c.error);
    if (passes) {
      EXPECT_EQ(peer.Wait(), "");
    }
  }
}

TEST(AlertMailSecurity, ACaFileThatCannotBeReadIsNamed) {
  TTlsServer peer({"T:"});
  TAlertMailFields fields = Fields(peer.Port(), kSecurityImplicitTLS);
  fields.Options.SetText(TOptionId::VerifyCertificate, u"true");
  fields.Options.SetText(TOptionId::CAFile, u"/nonexistent/ca.pem");
  EXPECT_THAT(toUtf8(SendExpectingError(fields)),
              ::testing::StartsWith(
                  "The CA file \"/nonexistent/ca.pem\" cannot be used: Could not load root "
                  "certificate."));
}

TEST(AlertMailSecurity, WithoutTheCheckAnyCertificateIsTakenAsBefore) {
  TScript script = {"T:", "S:220 mail.test"};
  script.insert(script.end(), kUntilMailFrom.begin(), kUntilMailFrom.end());
  script.push_back("E:");
  TTlsServerOptions options;
  options.CaSigned = true;
  TTlsServer peer(script, options);
  TAlertMailFields fields = Fields(peer.Port(), kSecurityImplicitTLS);
  fields.SMTPHost = u"127.0.0.1";
  fields.Options.SetText(TOptionId::CAFile, fromUtf8(TlsCaFiles().OtherCaFile));
  EXPECT_EQ(SendExpectingError(fields), u"enough\r\n");
  EXPECT_EQ(peer.Wait(), "");
}

}  // namespace
}  // namespace quorvex
