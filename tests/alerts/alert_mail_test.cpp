// The alert and test mail against scripted SMTP peers on 127.0.0.1: the
// message on the wire, the port rule, the clean-up and the bounded waits.
#include "alerts/alert_mail.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "mail/body_encoders.h"
#include "net/net_errors.h"
#include "platform/exception.h"
#include "platform/text.h"
#include "settings/value_text.h"
#include "smtp/reply_smtp.h"
#include "support/loopback.h"
#include "support/own_network.h"
#include "support/raises.h"
#include "support/scripted_smtp_peer.h"
#include "support/tls_server.h"

namespace quorvex {
namespace {

using test::TScriptedSMTPPeer;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using TScript = std::vector<std::string>;

// Short bounds, so a test that goes wrong fails quickly instead of waiting.
const TAlertMailWaits kTestWaits{3000, 3000};

TAlertMailFields Fields(std::uint16_t APort) {
  TAlertMailFields f;
  f.MsgFrom = u"a@x";
  f.MsgTo = u"ops@example.test, desk@example.test";
  f.MsgCC = u"boss@example.test";
  f.MsgSubject = u"<serverName> Down!";
  f.MsgText = u"<serverName> is down.\r\n<SERVERNAME> stays.\r\n.<serverName><serverName>";
  f.SMTPHost = u"127.0.0.1";
  f.SMTPPort = int32ToText(APort);
  return f;
}

TScript Join(std::initializer_list<TScript> AParts) {
  TScript all;
  for (const auto& part : AParts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// Greeting, EHLO with STARTTLS offered (the client must not take it unless
// the box is ticked), then the whole transaction with the recipients of
// Fields(); the peer then expects the client to close without QUIT.
TScript Delivery(const TScript& ARecipients = {"C:RCPT TO:<ops@example.test>",
                                               "C:RCPT TO:<desk@example.test>",
                                               "C:RCPT TO:<boss@example.test>"}) {
  TScript script{"S:220 mail.test ESMTP", "C:*",     "S:250-mail.test",
                 "S:250 STARTTLS",        "C:RSET",  "S:250 OK",
                 "C:MAIL FROM: <a@x>",    "S:250 OK"};
  for (const auto& rcpt : ARecipients) {
    script.push_back(rcpt);
    script.push_back("S:250 OK");
  }
  return Join({script, {"C:DATA", "S:354 go ahead", "M:", "S:250 2.0.0 queued"}});
}

struct TWire {
  std::vector<std::string> Header;  // up to the first empty line
  std::vector<std::string> Body;    // after it
};

TWire Split(const std::vector<std::string>& ALines) {
  TWire wire;
  size_t i = 0;
  for (; i < ALines.size() && !ALines[i].empty(); ++i) wire.Header.push_back(ALines[i]);
  for (++i; i < ALines.size(); ++i) wire.Body.push_back(ALines[i]);
  return wire;
}

std::string HeaderNames(const TWire& AWire) {
  std::string names;
  for (const auto& line : AWire.Header)
    if (!line.empty() && line[0] != ' ' && line[0] != '\t')
      names += line.substr(0, line.find(':')) + ";";
  return names;
}

// Quoted-printable back to bytes (soft line breaks joined).
std::string DecodeQP(const std::vector<std::string>& ALines) {
  std::string out;
  for (const auto& line : ALines) {
    bool soft = false;
    for (size_t i = 0; i < line.size(); ++i) {
      if (line[i] != '=') {
        out += line[i];
      } else if (i + 1 == line.size()) {
        soft = true;
      } else {
        out += static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16));
        i += 2;
      }
    }
    if (!soft) out += "\r\n";
  }
  return out;
}

// A header value with "=?UTF-8?B?...?=" words back to UTF-8; the blanks
// between two adjacent words go.
std::string DecodeWords(const std::string& AValue) {
  std::string out, pending;
  bool afterWord = false;
  size_t at = 0;
  while (at < AValue.size()) {
    const size_t begin = AValue.find("=?UTF-8?B?", at);
    const std::string plain =
        AValue.substr(at, begin == std::string::npos ? std::string::npos : begin - at);
    const bool blank = plain.find_first_not_of(" \t") == std::string::npos;
    if (!(afterWord && blank && begin != std::string::npos)) out += plain;
    if (begin == std::string::npos) break;
    const size_t end = AValue.find("?=", begin + 10);
    out += TQxDecoderMIME::Decode(AValue.substr(begin + 10, end - begin - 10));
    afterWord = true;
    at = end + 2;
  }
  return out;
}

class AlertMail : public ::testing::Test {
 protected:
  // Sends through a peer playing AScript and returns the message it read.
  TWire SendThrough(const TScript& AScript, const TAlertMailFields& AFields, bool ATestMode,
                    std::u16string_view AServerName) {
    TScriptedSMTPPeer peer(AScript);
    TAlertMailFields fields = AFields;
    fields.SMTPPort = int32ToText(peer.Port());
    sendMail(*idSMTP, fields, ATestMode, AServerName, kTestWaits);
    EXPECT_EQ(peer.Finish(), "");
    EXPECT_EQ(peer.Messages().size(), 1u);
    return peer.Messages().empty() ? TWire{} : Split(peer.Messages()[0]);
  }

  std::unique_ptr<TQxSMTP> idSMTP = makeAlertSMTP();
};

TEST_F(AlertMail, AlertReplacesTheServerNameInSubjectAndBody) {
  const TWire wire = SendThrough(Delivery(), Fields(0), false, u"vpn <serverName> 1");
  ASSERT_EQ(wire.Header.size(), 6u);
  EXPECT_EQ(wire.Header[0], "From: \"a@x\" <a@x>");
  EXPECT_EQ(wire.Header[1], "Subject: vpn <serverName> 1 Down!");
  EXPECT_EQ(wire.Header[2], "To: ops@example.test, desk@example.test");
  EXPECT_EQ(wire.Header[3], "Cc: boss@example.test");
  EXPECT_THAT(wire.Header[4],
              ::testing::MatchesRegex("Date: [A-Z][a-z][a-z], [0-9]+ [A-Z][a-z][a-z] [0-9]{4} "
                                      "[0-9]{2}:[0-9]{2}:[0-9]{2} [-+][0-9]{4}"));
  EXPECT_THAT(wire.Header[5], ::testing::MatchesRegex("Message-ID: <[0-9a-f.]+@[-A-Za-z0-9.]+>"));
  // The inserted name is not searched again; another letter case is no placeholder.
  EXPECT_EQ(wire.Body,
            (std::vector<std::string>{"vpn <serverName> 1 is down.", "<SERVERNAME> stays.",
                                      "..vpn <serverName> 1vpn <serverName> 1", ""}));
  // The connection went without QUIT (the peer fails on any further line).
  EXPECT_EQ(idSMTP->IOHandler(), nullptr);
  EXPECT_FALSE(idSMTP->Connected());
}

TEST(AlertPlaceholders, NameAndReasonInOnePassNeverInsideWhatWasInserted) {
  struct Case {
    std::u16string text, name, reason, result;
  };
  const Case cases[] = {
      {u"<serverName> Down! (<reason>)", u"office", u"timed out", u"office Down! (timed out)"},
      {u"<reason><reason>", u"x", u"refused", u"refusedrefused"},
      {u"<serverName>", u"<reason>", u"refused", u"<reason>"},
      {u"<reason>", u"x", u"file <serverName>.ovpn", u"file <serverName>.ovpn"},
      {u"<REASON> <reason", u"x", u"refused", u"<REASON> <reason"},
      {u"why: <reason>", u"x", u"", u"why: unknown"},  // never an empty reason
  };
  for (const Case& c : cases)
    EXPECT_EQ(replacePlaceholders(c.text, c.name, c.reason), c.result)
        << toUtf8(c.text) << " / " << toUtf8(c.name);
}

TEST_F(AlertMail, AnAlertSaysWhyInSubjectAndBody) {
  TScriptedSMTPPeer peer(Delivery());
  TAlertMailFields fields = Fields(peer.Port());
  fields.MsgSubject = u"<serverName> Down! (<reason>)";
  fields.MsgText = u"<serverName>: <reason>";
  sendMail(*idSMTP, fields, false, u"office", kTestWaits, u"authentication refused");
  EXPECT_EQ(peer.Finish(), "");
  ASSERT_EQ(peer.Messages().size(), 1u);
  const TWire wire = Split(peer.Messages()[0]);
  EXPECT_EQ(wire.Header[1], "Subject: office Down! (authentication refused)");
  EXPECT_EQ(wire.Body[0], "office: authentication refused");
}

TEST(AlertMailFields, AnEmptyFieldThatStopsTheMailIsNamed) {
  struct Case {
    const char* name;
    void (*change)(TAlertMailFields&);
    const char16_t* error;  // null: no error
  };
  const Case cases[] = {
      {"complete", [](TAlertMailFields&) {}, nullptr},
      {"no host", [](TAlertMailFields& f) { f.SMTPHost = u""; }, u"No SMTP server is set."},
      {"blank host", [](TAlertMailFields& f) { f.SMTPHost = u"  "; }, u"No SMTP server is set."},
      {"no port", [](TAlertMailFields& f) { f.SMTPPort = u""; }, u"No SMTP port is set."},
      {"port 0", [](TAlertMailFields& f) { f.SMTPPort = u"0"; }, u"No SMTP port is set."},
      {"no recipient", [](TAlertMailFields& f) { f.MsgTo = f.MsgCC = u""; },
       u"No recipient (To) is set."},
      {"only a copy recipient", [](TAlertMailFields& f) { f.MsgTo = u""; }, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TAlertMailFields fields = Fields(25);
    c.change(fields);
    if (!c.error) {
      EXPECT_NO_THROW(checkMailFields(fields));
      continue;
    }
    try {
      checkMailFields(fields);
      ADD_FAILURE() << "no error";
    } catch (const EQxException& e) {
      EXPECT_EQ(e.Message(), c.error);
    }
    // The mail itself stops with the same words, before any connection.
    auto idSMTP = makeAlertSMTP();
    EXPECT_THROW(sendMail(*idSMTP, fields, true, u"", kTestWaits), EQxException);
  }
}

TEST_F(AlertMail, TestMailKeepsTheTextAndIgnoresTheSubjectField) {
  TAlertMailFields fields = Fields(0);
  fields.MsgCC.clear();
  fields.MsgSubject = u"ignored <serverName>";
  const TWire wire =
      SendThrough(Delivery({"C:RCPT TO:<ops@example.test>", "C:RCPT TO:<desk@example.test>"}),
                  fields, true, u"");
  EXPECT_EQ(HeaderNames(wire), "From;Subject;To;Date;Message-ID;");
  EXPECT_EQ(wire.Header[1], "Subject: Quorvex SMTP Test");
  EXPECT_EQ(wire.Body, (std::vector<std::string>{"<serverName> is down.", "<SERVERNAME> stays.",
                                                 "..<serverName><serverName>", ""}));
}

TEST_F(AlertMail, EveryMailHasAMessageIdOfItsOwn) {
  const TWire first = SendThrough(Delivery(), Fields(0), true, u"");
  const TWire second = SendThrough(Delivery(), Fields(0), true, u"");
  ASSERT_EQ(first.Header.size(), 6u);
  ASSERT_EQ(second.Header.size(), 6u);
  EXPECT_THAT(first.Header[5], StartsWith("Message-ID: <"));
  EXPECT_NE(first.Header[5], second.Header[5]);
}

TEST_F(AlertMail, NamesOutsideAsciiArriveAsUtf8) {
  const std::u16string name = u"Zürich-Київ";
  const TWire wire = SendThrough(Delivery(), Fields(0), false, name);
  EXPECT_EQ(HeaderNames(wire),
            "From;Subject;To;Cc;Content-Type;MIME-Version;Content-Transfer-Encoding;Date;"
            "Message-ID;");
  std::string subject;  // unfolded
  for (size_t i = 0; i < wire.Header.size(); ++i) {
    if (wire.Header[i].rfind("Subject:", 0) != 0) continue;
    subject = wire.Header[i];
    while (i + 1 < wire.Header.size() && wire.Header[i + 1][0] == ' ') subject += wire.Header[++i];
  }
  EXPECT_EQ(DecodeWords(subject), "Subject: " + toUtf8(name + u" Down!"));
  EXPECT_THAT(wire.Header, ::testing::Contains("Content-Type: text/plain; charset=\"utf-8\""));
  EXPECT_THAT(wire.Header, ::testing::Contains("MIME-Version: 1.0"));
  EXPECT_THAT(wire.Header, ::testing::Contains("Content-Transfer-Encoding: quoted-printable"));
  EXPECT_EQ(DecodeQP(wire.Body),
            toUtf8(name + u" is down.\r\n<SERVERNAME> stays.\r\n." + name + name + u"\r\n"));
}

TEST_F(AlertMail, ALineBreakInTheNameAddsNoHeaderAndNoRecipient) {
  // A configuration file named "x\r\nBcc: intruder@evil.test.ovpn".
  const TWire wire = SendThrough(Delivery(), Fields(0), false, u"x\r\nBcc: intruder@evil.test");
  for (const auto& line : wire.Header) EXPECT_THAT(line, ::testing::Not(StartsWith("Bcc")));
  EXPECT_EQ(HeaderNames(wire), "From;Subject;To;Cc;Date;Message-ID;");
  // Shown escaped, as in the status lines and the window.
  EXPECT_EQ(wire.Header[1], "Subject: x\\r\\nBcc: intruder@evil.test Down!");
  EXPECT_EQ(wire.Body[0], "x\\r\\nBcc: intruder@evil.test is down.");
}

TEST_F(AlertMail, ErrorsReachTheCallerAndTheConnectionIsReleased) {
  struct Case {
    const char* name;
    std::optional<TScript> script;  // none: no peer at all
    std::u16string port;
    std::u16string message;
  };
  const Case cases[] = {
      {"port not a number", std::nullopt, u"25x", u"''25x'' is not a valid integer value"},
      {"recipient refused",
       TScript{"S:220 mail.test", "C:*", "S:250 mail.test", "C:RSET", "S:250 OK",
               "C:MAIL FROM: <a@x>", "S:250 OK", "C:RCPT TO:<ops@example.test>",
               "S:550 5.1.1 no such user", "C:RSET", "S:250 OK"},
       u"", u"no such user\r\n(the login was not used: the server offers no AUTH)\r\n"},
      {"password refused",
       TScript{"S:220 mail.test", "C:*", "S:250-mail.test", "S:250 AUTH LOGIN", "C:AUTH LOGIN",
               "S:334 VXNlcm5hbWU6", "C:Ym9i",      // bob
               "S:334 UGFzc3dvcmQ6", "C:d3Jvbmc=",  // wrong
               "S:535 5.7.8 Authentication credentials invalid"},
       u"", u"Authentication credentials invalid\r\n"},
      // Says nothing: the client's read bound ends the wait.
      {"silent server", TScript{}, u"", u"Read timed out."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<TScriptedSMTPPeer> peer;
    TAlertMailFields fields = Fields(0);
    fields.SMTPLogin = u"bob";
    fields.SMTPPassword = u"wrong";
    fields.SMTPPort = c.port;
    if (c.script) {
      peer.emplace(*c.script);
      fields.SMTPPort = int32ToText(peer->Port());
    }
    EXPECT_EQ(test::MessageOf<Exception>([&] {
                sendMail(*idSMTP, fields, false, u"vpn1", {3000, 500});
              }),
              c.message);
    EXPECT_EQ(idSMTP->IOHandler(), nullptr);
    EXPECT_FALSE(idSMTP->Connected());
    if (peer) {
      EXPECT_EQ(peer->Finish(), "");
    }
  }
}

// The connect bound holds in a real exchange: a server that never completes
// the TCP handshake ends the mail with the time-out's error, in time.
TEST_F(AlertMail, AConnectThatCannotCompleteEndsWithinItsBound) {
  const auto full = test::FullBacklogListener();
  if (!full) GTEST_SKIP() << "this kernel answers a full accept queue with a reset";
  TAlertMailFields fields = Fields(full->Port);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(test::MessageOf<EQxConnectTimeout>([&] {
              sendMail(*idSMTP, fields, false, u"vpn1", {1000, 500});
            }),
            u"Connect timed out.");
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(950));
  EXPECT_LT(took, std::chrono::seconds(10));  // a margin for a loaded machine
  EXPECT_EQ(idSMTP->IOHandler(), nullptr);
  EXPECT_FALSE(idSMTP->Connected());
}

// The login options reach the session: a token command's token goes out
// with XOAUTH2, smtp_auth names the mechanism.
TEST_F(AlertMail, LoginOptionsChooseTheMechanism) {
  struct Case {
    const char* name;
    std::vector<std::pair<TOptionId, std::u16string>> options;
    TScript auth;
  };
  const Case cases[] = {
      {"token command: XOAUTH2",
       {{TOptionId::OAuthTokenCommand, u"printf \"tok-123\\n\""}},
       {"C:AUTH XOAUTH2 dXNlcj1ib2IBYXV0aD1CZWFyZXIgdG9rLTEyMwEB",  // user=bob^Aauth=Bearer
                                                                    // tok-123^A^A
        "S:235 2.7.0 Accepted"}},
      {"smtp_auth plain",
       {{TOptionId::SMTPAuth, kAuthPlain}},
       {"C:AUTH PLAIN AGJvYgB3cm9uZw==",  // \0bob\0wrong
        "S:235 ok"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TAlertMailFields fields = Fields(0);
    fields.SMTPLogin = u"bob";
    fields.SMTPPassword = u"wrong";
    for (const auto& [id, value] : c.options) fields.Options.SetText(id, value);
    TScript script{"S:220 mail.test", "C:*", "S:250-mail.test", "S:250 AUTH LOGIN PLAIN XOAUTH2"};
    script.insert(script.end(), c.auth.begin(), c.auth.end());
    const TScript rest = Delivery();
    script.insert(script.end(), rest.begin() + 4, rest.end());
    SendThrough(script, fields, true, u"");
  }
}

TEST_F(AlertMail, ConnectErrorsSayWhatToChange) {
  // Implicit TLS against a server that greets in plain text.
  test::TTlsServer peer({"S:220 mail.test ESMTP", "E:"});  // E: reads the ClientHello
  TAlertMailFields fields = Fields(peer.Port());
  fields.Options.SetText(TOptionId::SMTPSecurity, kSecurityImplicitTLS);
  const std::u16string message =
      test::MessageOf<Exception>([&] { sendMail(*idSMTP, fields, true, u"", kTestWaits); });
  EXPECT_THAT(toUtf8(message), HasSubstr("wrong version number"));
  EXPECT_THAT(toUtf8(message),
              ::testing::EndsWith(" The server answered without TLS: the port probably expects "
                                  "STARTTLS (Options, Security: as the SSL/TLS box, and tick "
                                  "SSL/TLS)."));
  EXPECT_EQ(peer.Wait(), "");

  // Port 465 cannot be listened on here (a mail server may hold it): the
  // rule itself, by port, mode and error.
  const std::u16string port465 =
      u"Port 465 usually speaks TLS from the first byte: choose implicit TLS under Options, "
      u"Security.";
  struct Case {
    std::uint16_t port;
    bool implicit;
    bool timeout;
    std::u16string hint;
  };
  const Case cases[] = {
      {465, false, true, port465}, {465, true, true, u""}, {587, false, true, u""},
      {465, false, false, u""},    {25, false, true, u""},
  };
  const EQxReadTimeout timeout;
  const EQxException refused(u"refused");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port);
    const EQxException& error = c.timeout ? static_cast<const EQxException&>(timeout) : refused;
    EXPECT_EQ(connectHint(error, c.port, c.implicit), c.hint);
  }
}

TEST(MailErrorText, ARefusalShowsItsCodes) {
  TQxSMTPEnhancedCode enhanced;
  enhanced.SetReplyAsStr(u"5.7.1");
  EXPECT_EQ(mailErrorText(EQxSMTPReplyError(554, enhanced, u"Relay access denied\r\n")),
            u"554 5.7.1 Relay access denied\r\n");
  EXPECT_EQ(mailErrorText(EQxSMTPReplyError(550, TQxSMTPEnhancedCode(), u"no\r\n")), u"550 no\r\n");
  EXPECT_EQ(mailErrorText(EQxReadTimeout()), u"Read timed out.");
  EXPECT_EQ(mailErrorText(std::runtime_error("b\xC3\xA4"
                                             "d")),
            u"b\u00e4d");
}

TEST_F(AlertMail, WaitsAreBoundedByDefault) {
  TScriptedSMTPPeer peer(Delivery());
  sendMail(*idSMTP, Fields(peer.Port()), true);
  EXPECT_EQ(peer.Finish(), "");
  EXPECT_EQ(idSMTP->ConnectTimeout(), 15000);
  EXPECT_EQ(idSMTP->ReadTimeout(), 30000);
}

// The SSL/TLS box and the port: ticked, 465 becomes 25 and STARTTLS runs;
// unticked, 465 stays 465 in the clear; other ports are used as typed. One
// client for all rows, as in a run of the program. The rows run in a network
// of the test's own, so the machine's mail server on 25 or 465 is no peer.
TEST_F(AlertMail, PortRuleOfTheSslBox) {
  struct Case {
    const char* typed;
    bool ticked;
    std::uint16_t listen;
  };
  const Case cases[] = {
      {"465", true, 25},     {"465", false, 465},  {"25", true, 25},
      {"2525", false, 2525}, {"2525", true, 2525}, {"67061", false, 1525},  // 65536 + 1525
  };
  const std::string cannot = test::RunInOwnNetwork([&] {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.typed) + (c.ticked ? " ticked" : " unticked"));
      TAlertMailFields fields = Fields(0);
      fields.SMTPPort = u16(c.typed);
      fields.SMTPUseSSLTLS = c.ticked;
      if (c.ticked) {
        // STARTTLS, the handshake, EHLO again; then the server ends it.
        test::TTlsServerOptions options;
        options.Port = c.listen;
        test::TTlsServer peer(
            {"S:220 mail.test", "C:*", "S:250-mail.test", "S:250 STARTTLS", "C:STARTTLS",
             "S:220 go ahead", "T:", "C:*", "S:250 mail.test", "C:RSET", "S:250 OK",
             "C:MAIL FROM: <a@x>", "S:554 5.3.0 enough", "E:"},
            options);
        EXPECT_EQ(test::MessageOf<Exception>(
                      [&] { sendMail(*idSMTP, fields, false, u"vpn1", kTestWaits); }),
                  u"enough\r\n");
        EXPECT_EQ(peer.Wait(), "");
        EXPECT_THAT(peer.Protocol(), ::testing::AnyOf("TLSv1.2", "TLSv1.3"));
      } else {
        TScriptedSMTPPeer peer(Delivery(), 5000, c.listen);
        sendMail(*idSMTP, fields, false, u"vpn1", kTestWaits);
        EXPECT_EQ(peer.Finish(), "");
      }
      EXPECT_EQ(idSMTP->UseTLS(), utNoTLSSupport);
    }
  });
  if (!cannot.empty())
    GTEST_SKIP() << "the ports 25 and 465 need a network of the test's own: " << cannot;
}

}  // namespace
}  // namespace quorvex
