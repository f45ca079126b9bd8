#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <typeindex>
#include <typeinfo>
#include <vector>

#include "net/net_errors.h"
#include "net/ssl_io_handler_base.h"
#include "net/stack.h"
#include "platform/text.h"
#include "smtp/reply_smtp.h"
#include "smtp/smtp.h"
#include "support/raises.h"
#include "support/scripted_smtp_peer.h"

namespace quorvex {
namespace {

using test::TScriptedSMTPPeer;
using TScript = std::vector<std::string>;

// A TLS-capable handler whose handshake always fails: the STARTTLS outcomes
// that never reach a handshake, and the handshake failure itself, against a
// plain scripted peer. With PretendHandshake the switch succeeds and the
// bytes stay in the clear: what the session does once TLS is on.
class TNoHandshakeHandler final : public TQxSSLIOHandlerSocketBase {
 public:
  void StartSSL() override {}
  void SetPassThrough(bool AValue) override {
    if (!AValue && Connected() && !PretendHandshake) throw EQxException(u"handshake failed");
    fPassThrough = AValue;
  }
  bool PretendHandshake = false;
};

TNoHandshakeHandler& HandlerOf(TQxSMTP& AClient) {
  return dynamic_cast<TNoHandshakeHandler&>(*AClient.IOHandler());
}

// The error a row ends with: its message and, where the row names it, its
// exact class. A plain text names no class; one ending in CR LF is the
// server's text, so its class is the reply error.
struct TExpectedError {
  TExpectedError(const char* AMessage) : Message(AMessage) {}
  TExpectedError(std::string AMessage, std::type_index AClass)
      : Message(std::move(AMessage)), Class(AClass) {}
  std::string Message;
  std::optional<std::type_index> Class;
};

template <class E>
TExpectedError Raises(std::string AMessage) {
  return {std::move(AMessage), typeid(E)};
}

TScript Join(std::initializer_list<TScript> AParts) {
  TScript all;
  for (const auto& part : AParts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// Greeting and EHLO with the given capability lines.
TScript Greeting(std::initializer_list<std::string> ACapabilities) {
  TScript script{"S:220 mail.test ESMTP", "C:EHLO client.test"};
  if (ACapabilities.size() == 0) {
    script.push_back("S:250 mail.test");
    return script;
  }
  script.push_back("S:250-mail.test");
  size_t i = 0;
  for (const auto& line : ACapabilities)
    script.push_back((++i == ACapabilities.size() ? "S:250 " : "S:250-") + line);
  return script;
}

const TScript kAuthLogin = {
    "C:AUTH LOGIN",
    "S:334 VXNlcm5hbWU6",
    "C:YWxpY2U=",  // alice
    "S:334 UGFzc3dvcmQ6",
    "C:c2VjcmV0",  // secret
    "S:235 2.7.0 Authentication successful",
};

// The transaction for the message of every row: two To and one CC address.
const TScript kTransaction = {
    "C:RSET",
    "S:250 2.0.0 OK",
    "C:MAIL FROM: <mon@example.test>",
    "S:250 2.1.0 Sender OK",
    "C:RCPT TO:<a@example.test>",
    "S:250 2.1.5 OK",
    "C:RCPT TO:<b@example.test>",
    "S:250 2.1.5 OK",
    "C:RCPT TO:<c@example.test>",
    "S:250 2.1.5 OK",
    "C:DATA",
    "S:354 go ahead",
    "M:",
    "S:250 2.0.0 queued as 4711",
};

struct TSessionCase {
  const char* Name;
  std::function<void(TQxSMTP&)> Setup;  // before Connect; null: the defaults
  TScript Script;
  TExpectedError Error;  // the error Act ends with; "" none; "*" any transport error
  // Connect and Send by default (the alert path); the handler is detached after.
  std::function<void(TQxSMTP&, TQxMessage&)> Act = nullptr;
  std::function<void(TQxSMTP&, TScriptedSMTPPeer&)> Check = nullptr;
};

void WithLogin(TQxSMTP& AClient) {
  AClient.SetUsername(u"alice");
  AClient.SetPassword(u"secret");
}

void ExplicitTLS(TQxSMTP& AClient) {
  WithLogin(AClient);
  AClient.SetUseTLS(utUseExplicitTLS);
}

void FillMessage(TQxMessage& AMsg) {
  AMsg.From().SetAddress(u"mon@example.test");
  AMsg.Recipients().SetEMailAddresses(u"a@example.test, b@example.test");
  AMsg.CCList().SetEMailAddresses(u"c@example.test");
  AMsg.SetSubject(u"vpn01 Down!");
  AMsg.Body().SetText(u"Server vpn01 is down.\r\n.hidden dot");
}

void ConnectAndSend(TQxSMTP& AClient, TQxMessage& AMsg) {
  AClient.Connect();
  AClient.Send(AMsg);
}

// Greeting, EHLO answered with AEhloReply, then HELO accepted.
TScript HeloAfter(const std::string& AEhloReply) {
  return {"S:220 x", "C:EHLO client.test", "S:" + AEhloReply, "C:HELO client.test", "S:250 hello"};
}

void ExpectNoCapabilitiesNoAuth(TQxSMTP& AClient, TScriptedSMTPPeer&) {
  EXPECT_TRUE(AClient.Capabilities().empty());
  EXPECT_FALSE(AClient.DidAuthenticate());
}

bool HasLine(const std::vector<std::string>& ALines, const std::string& ALine) {
  return std::find(ALines.begin(), ALines.end(), ALine) != ALines.end();
}

const TSessionCase kSessionCases[] = {
    {"(a) no TLS: AUTH LOGIN although STARTTLS is offered", WithLogin,
     Join({Greeting({"STARTTLS", "AUTH PLAIN LOGIN", "8BITMIME"}), kAuthLogin, kTransaction}),
     "", nullptr,
     [](TQxSMTP& c, TScriptedSMTPPeer& p) {
       EXPECT_TRUE(c.DidAuthenticate());
       ASSERT_EQ(p.Messages().size(), 1u);
       const auto& m = p.Messages()[0];
       EXPECT_TRUE(HasLine(m, "Subject: vpn01 Down!"));
       EXPECT_TRUE(HasLine(m, "To: a@example.test, b@example.test"));
       EXPECT_TRUE(HasLine(m, "Cc: c@example.test"));
       EXPECT_TRUE(HasLine(m, "Server vpn01 is down."));
       EXPECT_TRUE(HasLine(m, "..hidden dot"));
       EXPECT_FALSE(HasLine(m, "X-Mailer: "));
     }},
    {"(c) explicit TLS, STARTTLS not offered: session in the clear", ExplicitTLS,
     Join({Greeting({"AUTH LOGIN"}), kAuthLogin, kTransaction}), ""},
    {"(d) explicit TLS, STARTTLS refused: QUIT, closed", ExplicitTLS,
     Join({Greeting({"STARTTLS", "AUTH LOGIN"}),
           {"C:STARTTLS", "S:454 4.7.0 TLS not available", "C:QUIT", "S:221 bye"}}),
     Raises<EQxTLSClientTLSNotAvailable>("Start SSL negotiation command failed.")},
    {"required TLS, STARTTLS refused",
     [](TQxSMTP& c) {
       WithLogin(c);
       c.SetUseTLS(utUseRequireTLS);
     },
     Join({Greeting({"STARTTLS"}), {"C:STARTTLS", "S:454 no", "C:QUIT", "S:221 bye"}}),
     Raises<EQxTLSClientTLSNotAvailable>("SSL is not available on this server.")},
    {"required TLS, STARTTLS not offered",
     [](TQxSMTP& c) { c.SetUseTLS(utUseRequireTLS); },
     Join({Greeting({"AUTH LOGIN"}), {"C:QUIT", "S:221 bye"}}),
     Raises<EQxTLSClientTLSNotAvailable>("Start SSL negotiation command failed.")},
    {"not offered, handler says no", [](TQxSMTP& c) {
       c.SetUseTLS(utUseExplicitTLS);
       c.OnTLSNotAvailable = [](TQxComponent&, bool& go_on) {
         EXPECT_TRUE(go_on);
         go_on = false;
       };
     },
     Join({Greeting({}), {"C:QUIT", "S:221 bye"}}), Raises<EQxTLSClientTLSNotAvailable>("Start SSL negotiation command failed.")},
    {"refused, handler says go on", [](TQxSMTP& c) {
       ExplicitTLS(c);
       c.OnTLSNegCmdFailed = [](TQxComponent&, bool& go_on) {
         EXPECT_FALSE(go_on);
         go_on = true;
       };
     },
     Join({Greeting({"STARTTLS", "AUTH LOGIN"}), {"C:STARTTLS", "S:501 later"}, kAuthLogin,
           kTransaction}),
     ""},
    {"lower-case starttls counts; failed handshake: QUIT, closed", ExplicitTLS,
     Join({Greeting({"starttls"}), {"C:STARTTLS", "S:220 go ahead", "C:QUIT", "S:221 bye"}}),
     Raises<EQxTLSClientTLSHandShakeFailed>("SSL is not available on this server.")},
    {"failed handshake, handler says go on: EHLO again in the clear", [](TQxSMTP& c) {
       c.SetUseTLS(utUseExplicitTLS);
       c.OnTLSHandShakeFailed = [](TQxComponent&, bool& go_on) { go_on = true; };
     },
     Join({Greeting({"STARTTLS"}),
           {"C:STARTTLS", "S:220 go ahead", "C:EHLO client.test", "S:250 mail.test"},
           kTransaction}),
     ""},
    {"STARTTLS with more words is not STARTTLS", ExplicitTLS,
     Join({Greeting({"STARTTLS NOW", "AUTH LOGIN"}), kAuthLogin, kTransaction}), ""},
    {"no TLS mode: a TLS handler stays in the clear", WithLogin,
     Join({Greeting({"STARTTLS", "AUTH LOGIN"}), kAuthLogin, kTransaction}), ""},
    {"greeting 554: no EHLO, no QUIT", WithLogin, {"S:554 5.3.2 go away"}, "go away\r\n",
     [](TQxSMTP& c, TQxMessage&) {
       try {
         c.Connect();
       } catch (...) {
         EXPECT_FALSE(c.Connected());
         throw;
       }
     }},
    {"multi-line greeting", WithLogin,
     Join({{"S:220-mail.test", "S:220-second line"}, Greeting({"AUTH LOGIN"}), kAuthLogin,
           kTransaction}),
     ""},
    {"peer closes after the greeting", nullptr, {"S:220 hi", "C:EHLO client.test", "X:"},
     Raises<EQxConnClosedGracefully>("Connection Closed Gracefully.")},
    {"EHLO 500: HELO, no capabilities, no STARTTLS, no AUTH", ExplicitTLS,
     Join({{"S:220 old server", "C:EHLO client.test", "S:500 what?", "C:HELO client.test",
            "S:250 hello"},
           kTransaction}),
     "", nullptr, ExpectNoCapabilitiesNoAuth},
    {"HELO refused too", nullptr,
     {"S:220 x", "C:EHLO client.test", "S:502 no", "C:HELO client.test", "S:550 not you"},
     "not you\r\n"},
    {"UseEhlo off: HELO only", [](TQxSMTP& c) { c.SetUseEhlo(false); },
     Join({{"S:220 x", "C:HELO client.test", "S:250 hello"}, kTransaction}), ""},
    {"one-line EHLO reply: no capabilities, no AUTH", WithLogin,
     Join({Greeting({}), kTransaction}), "", nullptr,
     [](TQxSMTP& c, TScriptedSMTPPeer&) { EXPECT_TRUE(c.Capabilities().empty()); }},
    {"AUTH line in lower case", WithLogin,
     Join({Greeting({"auth plain login"}), kAuthLogin, kTransaction}), ""},
    {"AUTH= form", WithLogin, Join({Greeting({"AUTH=LOGIN PLAIN"}), kAuthLogin, kTransaction}),
     ""},
    {"AUTHX ignored", WithLogin, Join({Greeting({"AUTHX LOGIN"}), kTransaction}), "", nullptr,
     [](TQxSMTP& c, TScriptedSMTPPeer&) { EXPECT_FALSE(c.DidAuthenticate()); }},
    {"only other mechanisms: no AUTH", WithLogin,
     Join({Greeting({"AUTH CRAM-MD5 DIGEST-MD5"}), kTransaction}), ""},
    {"no user name: no AUTH", nullptr, Join({Greeting({"AUTH LOGIN"}), kTransaction}), ""},
    {"empty password: empty line",
     [](TQxSMTP& c) { c.SetUsername(u"J\u00f6rg"); },
     Join({Greeting({"AUTH LOGIN"}),
           {"C:AUTH LOGIN", "S:334 VXNlcm5hbWU6",
            "C:SsO2cmc=",  // Jörg in UTF-8
            "S:334 UGFzc3dvcmQ6",
            "C:",  // the empty password
            "S:235 ok"},
           kTransaction}),
     ""},
    {"password refused: error, still connected", WithLogin,
     Join({Greeting({"AUTH LOGIN"}),
           {"C:AUTH LOGIN", "S:334 VXNlcm5hbWU6", "C:YWxpY2U=",  // alice
            "S:334 UGFzc3dvcmQ6", "C:c2VjcmV0",                  // secret
            "S:535 5.7.8 Authentication credentials invalid"}}),
     "Authentication credentials invalid\r\n", nullptr,
     [](TQxSMTP& c, TScriptedSMTPPeer&) { EXPECT_FALSE(c.DidAuthenticate()); }},
    {"satNone: no AUTH, authenticated",
     [](TQxSMTP& c) {
       WithLogin(c);
       c.SetAuthType(satNone);
     },
     Join({Greeting({"AUTH LOGIN"}), kTransaction}), "", nullptr,
     [](TQxSMTP& c, TScriptedSMTPPeer&) { EXPECT_TRUE(c.DidAuthenticate()); }},
    {"satSASL without mechanisms",
     [](TQxSMTP& c) { c.SetAuthType(satSASL); },
     Greeting({"AUTH LOGIN"}), Raises<EQxSASLMechNeeded>("Need SASL mechanisms to login with it!!")},
    {"QUIT answered 250: error after the close", nullptr,
     Join({Greeting({}), {"C:QUIT", "S:250 what"}}), "what\r\n",
     [](TQxSMTP& c, TQxMessage&) {
       c.Connect();
       try {
         c.Disconnect();
       } catch (...) {
         EXPECT_FALSE(c.Connected());
         throw;
       }
     }},
    {"QUIT answered 221", nullptr, Join({Greeting({}), {"C:QUIT", "S:221 bye"}}), "",
     [](TQxSMTP& c, TQxMessage&) {
       c.Connect();
       c.Disconnect();
     }},
    {"Disconnect after the peer has closed: no QUIT, no error", nullptr,
     Join({Greeting({}), {"X:"}}), "",
     [](TQxSMTP& c, TQxMessage&) {
       c.Connect();
       // Bounded: the peer's close arrives within the read time-out.
       c.IOHandler()->CheckForDataOnSource(5000);
       c.Disconnect();
     }},
    {"worked transaction: second recipient refused 550 5.1.1", nullptr,
     Join({Greeting({}),
           {"C:RSET", "S:250 OK", "C:MAIL FROM: <mon@example.test>", "S:250 OK",
            "C:RCPT TO:<a@example.test>", "S:250 OK", "C:RCPT TO:<b@example.test>",
            "S:550 5.1.1 No such user here", "C:RSET", "S:250 OK"}}),
     "No such user here\r\n"},
    {"sender refused: no RSET", nullptr,
     Join({Greeting({}),
           {"C:RSET", "S:250 OK", "C:MAIL FROM: <mon@example.test>", "S:553 not you"}}),
     "not you\r\n"},
    {"recipients 251 accepted, 252 refused", nullptr,
     Join({Greeting({}),
           {"C:RSET", "S:250 OK", "C:MAIL FROM: <mon@example.test>", "S:250 OK",
            "C:RCPT TO:<a@example.test>", "S:251 will forward", "C:RCPT TO:<b@example.test>",
            "S:252 cannot verify", "C:RSET", "S:250 OK"}}),
     "cannot verify\r\n"},
    {"recipient 450 refused", nullptr,
     Join({Greeting({}),
           {"C:RSET", "S:250 OK", "C:MAIL FROM: <mon@example.test>", "S:250 OK",
            "C:RCPT TO:<a@example.test>", "S:450 4.2.1 mailbox busy", "C:RSET", "S:250 OK"}}),
     "mailbox busy\r\n"},
    {"handler excuses a refusal: the others get the message",
     [](TQxSMTP& c) {
       c.OnFailedRecipient = [](TQxSMTPBase&, const std::u16string& address,
                                const std::u16string& code, const std::u16string& text,
                                bool& go_on) {
         EXPECT_TRUE(go_on);
         EXPECT_EQ(address, u"b@example.test");
         EXPECT_EQ(code, u"550");
         EXPECT_EQ(text, u"unknown\r\n");
       };
     },
     Join({Greeting({}),
           {"C:RSET", "S:250 OK", "C:MAIL FROM: <mon@example.test>", "S:250 OK",
            "C:RCPT TO:<a@example.test>", "S:250 OK", "C:RCPT TO:<b@example.test>",
            "S:550 5.1.1 unknown", "C:RCPT TO:<c@example.test>", "S:250 OK", "C:DATA",
            "S:354 go", "M:", "S:250 queued"}}),
     ""},
    {"handler excuses all: RSET, the last refusal",
     [](TQxSMTP& c) {
       c.OnFailedRecipient = [](TQxSMTPBase&, const std::u16string&, const std::u16string&,
                                const std::u16string&, bool&) {};
     },
     Join({Greeting({}),
           {"C:RSET", "S:250 OK", "C:MAIL FROM: <mon@example.test>", "S:250 OK",
            "C:RCPT TO:<a@example.test>", "S:550 first", "C:RCPT TO:<b@example.test>",
            "S:550 second", "C:RCPT TO:<c@example.test>", "S:551 third", "C:RSET",
            "S:250 OK"}}),
     "third\r\n"},
    {"no recipients: DATA meets the server's verdict", nullptr,
     Join({Greeting({}),
           {"C:RSET", "S:250 OK", "C:MAIL FROM: <mon@example.test>", "S:250 OK", "C:DATA",
            "S:503 5.5.1 need RCPT", "C:RSET", "S:250 OK"}}),
     "need RCPT\r\n",
     [](TQxSMTP& c, TQxMessage& m) {
       c.Connect();
       TQxEMailAddressList none;
       c.Send(m, none);
     }},
    {"\".\" answered 552: RSET", nullptr,
     Join({Greeting({}),
           {"C:RSET", "S:250 OK", "C:MAIL FROM: <mon@example.test>", "S:250 OK",
            "C:RCPT TO:<a@example.test>", "S:250 OK", "C:RCPT TO:<b@example.test>", "S:250 OK",
            "C:RCPT TO:<c@example.test>", "S:250 OK", "C:DATA", "S:354 go", "M:",
            "S:552 5.3.4 too big", "C:RSET", "S:250 OK"}}),
     "too big\r\n"},
    {"second Send on one connection: RSET again, no second AUTH", WithLogin,
     Join({Greeting({"AUTH LOGIN"}), kAuthLogin, kTransaction, kTransaction}), "",
     [](TQxSMTP& c, TQxMessage& m) {
       c.Connect();
       c.Send(m);
       c.Send(m);
     }},
    {"peer closes mid-DATA: transport error, no RSET", nullptr,
     Join({Greeting({}),
           {"C:RSET", "S:250 OK", "C:MAIL FROM: <mon@example.test>", "S:250 OK",
            "C:RCPT TO:<a@example.test>", "S:250 OK", "C:RCPT TO:<b@example.test>", "S:250 OK",
            "C:RCPT TO:<c@example.test>", "S:250 OK", "C:DATA", "S:354 go", "C:*", "X:"}}),
     "*"},
    {"MailAgent: X-Mailer header",
     [](TQxSMTP& c) { c.SetMailAgent(u"Quorvex 1.0"); },
     Join({Greeting({}), kTransaction}), "", nullptr,
     [](TQxSMTP&, TScriptedSMTPPeer& p) {
       ASSERT_EQ(p.Messages().size(), 1u);
       EXPECT_TRUE(HasLine(p.Messages()[0], "X-Mailer: Quorvex 1.0"));
     }},
    {"no MailAgent: a hand-made X-Mailer goes", nullptr, Join({Greeting({}), kTransaction}), "",
     [](TQxSMTP& c, TQxMessage& m) {
       m.ExtraHeaders().SetHeaderValue(u"X-Mailer", u"by hand");
       ConnectAndSend(c, m);
     },
     [](TQxSMTP&, TScriptedSMTPPeer& p) {
       ASSERT_EQ(p.Messages().size(), 1u);
       for (const auto& line : p.Messages()[0]) EXPECT_EQ(line.find("X-Mailer"), std::string::npos);
     }},
    {"Sender address wins, trimmed; BCC and duplicates get RCPT", nullptr,
     Join({Greeting({}),
           {"C:RSET", "S:250 OK", "C:MAIL FROM: <desk@example.test>", "S:250 OK",
            "C:RCPT TO:<a@example.test>", "S:250 OK", "C:RCPT TO:<a@example.test>", "S:250 OK",
            "C:RCPT TO:<hidden@example.test>", "S:250 OK", "C:DATA", "S:354 go", "M:",
            "S:250 OK"}}),
     "",
     [](TQxSMTP& c, TQxMessage& m) {
       m.Sender().SetAddress(u"  desk@example.test ");
       m.Recipients().SetEMailAddresses(u"a@example.test");
       m.CCList().SetEMailAddresses(u"a@example.test");
       m.BccList().SetEMailAddresses(u"hidden@example.test");
       ConnectAndSend(c, m);
     }},
    {"explicit sender and recipients; VERP with delimiters",
     [](TQxSMTP& c) {
       c.SetUseVerp(true);
       c.SetVerpDelims(u"+=");
     },
     Join({Greeting({}),
           {"C:RSET", "S:250 OK", "C:MAIL FROM: <> XVERP=+=", "S:250 OK",
            "C:RCPT TO:<x@example.test>", "S:250 OK", "C:DATA", "S:354 go", "M:", "S:250 OK"}}),
     "",
     [](TQxSMTP& c, TQxMessage& m) {
       c.Connect();
       TQxEMailAddressList to;
       to.Add().SetAddress(u"x@example.test");
       c.Send(m, to, u"");
     }},
    {"VERP offered", [](TQxSMTP& c) { c.SetUseVerp(true); },
     Join({Greeting({"verp"}), {"C:RSET", "S:250 OK", "C:MAIL FROM: <mon@example.test> VERP",
                                "S:550 no"}}),
     "no\r\n"},
    {"line break in a recipient: refused before anything is sent", nullptr, Greeting({}),
     Raises<EQxSMTPLineBreak>("The recipient address contains a line break."),
     [](TQxSMTP& c, TQxMessage& m) {
       c.Connect();
       m.Recipients()[1].SetAddress(u"b@example.test>\r\nRCPT TO:<evil@example.test");
       c.Send(m);
     }},
    {"line break in the sender", nullptr, Greeting({}),
     Raises<EQxSMTPLineBreak>("The sender address contains a line break."),
     [](TQxSMTP& c, TQxMessage& m) {
       c.Connect();
       c.Send(m, u"x@example.test>\nDATA");
     }},
    {"PLAIN only: AUTH PLAIN with the initial response", WithLogin,
     Join({Greeting({"AUTH PLAIN"}),
           {"C:AUTH PLAIN AGFsaWNlAHNlY3JldA==",  // \0alice\0secret
            "S:235 2.7.0 Authentication successful"},
           kTransaction}),
     "", nullptr, [](TQxSMTP& c, TScriptedSMTPPeer&) { EXPECT_TRUE(c.DidAuthenticate()); }},
    {"PLAIN: a password outside ASCII goes as UTF-8",
     [](TQxSMTP& c) {
       c.SetUsername(u"alice");
       c.SetPassword(u"P\u00e4sswort-1");
     },
     Join({Greeting({"AUTH=PLAIN"}),
           {"C:AUTH PLAIN AGFsaWNlAFDDpHNzd29ydC0x",  // \0alice\0Pässwort-1 in UTF-8
            "S:235 ok"},
           kTransaction}),
     ""},
    {"PLAIN refused: error, still connected", WithLogin,
     Join({Greeting({"AUTH PLAIN"}),
           {"C:AUTH PLAIN AGFsaWNlAHNlY3JldA==",  // \0alice\0secret
            "S:535 5.7.8 Authentication credentials invalid"}}),
     "Authentication credentials invalid\r\n", nullptr,
     [](TQxSMTP& c, TScriptedSMTPPeer&) { EXPECT_FALSE(c.DidAuthenticate()); }},
    {"smtp_auth plain although LOGIN is offered",
     [](TQxSMTP& c) {
       WithLogin(c);
       c.SetMechanism(TQxSMTPMechanism::Plain);
     },
     Join({Greeting({"AUTH LOGIN PLAIN"}),
           {"C:AUTH PLAIN AGFsaWNlAHNlY3JldA==",  // \0alice\0secret
            "S:235 ok"},
           kTransaction}),
     ""},
    {"smtp_auth none: no AUTH although LOGIN is offered",
     [](TQxSMTP& c) {
       WithLogin(c);
       c.SetMechanism(TQxSMTPMechanism::None);
     },
     Join({Greeting({"AUTH LOGIN"}), kTransaction}), ""},
    {"a mechanism asked for and not offered: no mail, the offered ones named",
     [](TQxSMTP& c) {
       WithLogin(c);
       c.SetMechanism(TQxSMTPMechanism::XOAuth2);
       c.OnAccessToken = [] { return std::string("tok-123"); };
     },
     Greeting({"AUTH LOGIN PLAIN"}),
     "The server does not offer AUTH XOAUTH2 (it offers LOGIN PLAIN); no mail was sent."},
    {"a mechanism asked for, no AUTH before STARTTLS",
     [](TQxSMTP& c) {
       WithLogin(c);
       c.SetMechanism(TQxSMTPMechanism::Plain);
     },
     Greeting({"STARTTLS"}),
     "The server does not offer AUTH PLAIN (the server offers AUTH only after STARTTLS; tick "
     "SSL/TLS); no mail was sent."},
    {"a mechanism asked for without a login", [](TQxSMTP& c) { c.SetMechanism(TQxSMTPMechanism::Login); },
     Greeting({"AUTH LOGIN"}), "AUTH LOGIN needs a login."},
    {"OAuth asked for but not set up",
     [](TQxSMTP& c) {
       WithLogin(c);
       c.SetMechanism(TQxSMTPMechanism::OAuthBearer);
     },
     Greeting({"AUTH OAUTHBEARER"}),
     "AUTH OAUTHBEARER needs OAuth to be set up (a provider or a token command)."},
    {"login not used (unknown mechanisms): a refusal says why", WithLogin,
     Join({Greeting({"AUTH CRAM-MD5"}),
           {"C:RSET", "S:250 OK", "C:MAIL FROM: <mon@example.test>", "S:250 OK",
            "C:RCPT TO:<a@example.test>", "S:554 5.7.1 Relay access denied", "C:RSET",
            "S:250 OK"}}),
     "Relay access denied\r\n(the login was not used: the server offers no AUTH method Quorvex "
     "speaks; offered: CRAM-MD5)\r\n"},
    {"login not used (AUTH only after STARTTLS): a refusal says to tick SSL/TLS", WithLogin,
     Join({Greeting({"STARTTLS", "SIZE 1000"}),
           {"C:RSET", "S:250 OK", "C:MAIL FROM: <mon@example.test>", "S:553 5.7.1 relaying denied"}}),
     "relaying denied\r\n(the login was not used: the server offers AUTH only after STARTTLS; "
     "tick SSL/TLS)\r\n"},
    {"login not used (no AUTH at all)", WithLogin,
     Join({Greeting({}),
           {"C:RSET", "S:250 OK", "C:MAIL FROM: <mon@example.test>", "S:550 not here"}}),
     "not here\r\n(the login was not used: the server offers no AUTH)\r\n"},
    {"no login: a refusal is the server's text alone", nullptr,
     Join({Greeting({"AUTH CRAM-MD5"}),
           {"C:RSET", "S:250 OK", "C:MAIL FROM: <mon@example.test>", "S:550 not here"}}),
     "not here\r\n"},
    {"OAuth set up, XOAUTH2 offered beside LOGIN: XOAUTH2",
     [](TQxSMTP& c) {
       c.SetUsername(u"alice");
       c.OnAccessToken = [] { return std::string("tok-123"); };
     },
     Join({Greeting({"AUTH LOGIN XOAUTH2"}),
           {"C:AUTH XOAUTH2 dXNlcj1hbGljZQFhdXRoPUJlYXJlciB0b2stMTIzAQE=",  // user=alice^Aauth=Bearer tok-123^A^A
            "S:235 2.7.0 Accepted"},
           kTransaction}),
     "", nullptr, [](TQxSMTP& c, TScriptedSMTPPeer&) { EXPECT_TRUE(c.DidAuthenticate()); }},
    {"OAuth set up, OAUTHBEARER only; authzid escaped",
     [](TQxSMTP& c) {
       c.SetUsername(u"a=b,c");
       c.OnAccessToken = [] { return std::string("tok-123"); };
     },
     Join({Greeting({"AUTH OAUTHBEARER"}),
           {"C:AUTH OAUTHBEARER bixhPWE9M0RiPTJDYywBYXV0aD1CZWFyZXIgdG9rLTEyMwEB",  // n,a=a=3Db=2Cc,^Aauth=Bearer tok-123^A^A
            "S:235 ok"},
           kTransaction}),
     ""},
    {"XOAUTH2 token refused: empty answer to the 334, then the refusal",
     [](TQxSMTP& c) {
       c.SetUsername(u"alice");
       c.OnAccessToken = [] { return std::string("tok-123"); };
     },
     Join({Greeting({"AUTH XOAUTH2"}),
           {"C:AUTH XOAUTH2 dXNlcj1hbGljZQFhdXRoPUJlYXJlciB0b2stMTIzAQE=",
            "S:334 eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiYmVhcmVyIn0=",  // {"status":"401",...}
            "C:", "S:535 5.7.3 Authentication unsuccessful"}}),
     "Authentication unsuccessful\r\n"},
    {"OAUTHBEARER token refused: ^A answers the 334",
     [](TQxSMTP& c) {
       c.SetUsername(u"alice");
       c.SetMechanism(TQxSMTPMechanism::OAuthBearer);
       c.OnAccessToken = [] { return std::string("tok-123"); };
     },
     Join({Greeting({"AUTH XOAUTH2 OAUTHBEARER"}),
           {"C:AUTH OAUTHBEARER bixhPWFsaWNlLAFhdXRoPUJlYXJlciB0b2stMTIzAQE=",
            "S:334 eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiYmVhcmVyIn0=", "C:AQ==",  // ^A
            "S:535 5.7.8 invalid token"}}),
     "invalid token\r\n"},
    {"OAuth set up, only LOGIN offered: LOGIN with the password",
     [](TQxSMTP& c) {
       WithLogin(c);
       c.OnAccessToken = [] { return std::string("never asked"); };
     },
     Join({Greeting({"AUTH LOGIN"}), kAuthLogin, kTransaction}), ""},
    {"the token cannot be had: its error, nothing sent",
     [](TQxSMTP& c) {
       c.SetUsername(u"alice");
       c.OnAccessToken = []() -> std::string { throw EQxException(u"no token today"); };
     },
     Greeting({"AUTH XOAUTH2"}), "no token today"},
    {"line break in the password: refused before AUTH", [](TQxSMTP& c) {
       WithLogin(c);
       c.SetPassword(u"pw\r\nRSET");
     },
     {}, Raises<EQxSMTPLineBreak>("The password contains a line break."),
     [](TQxSMTP& c, TQxMessage& m) {
       try {
         ConnectAndSend(c, m);
       } catch (...) {
         // Nothing reached the wire: let the peer's wait for a client end.
         TQxSMTP other;
         other.SetHost(u"127.0.0.1");
         other.SetPort(c.Port());
         other.SetReadTimeout(5000);
         other.TQxTCPClientCustom::Connect();
         other.Disconnect(false);
         throw;
       }
     }},
    {"required TLS, failed handshake: fatal, no handler asked",
     [](TQxSMTP& c) {
       c.SetUseTLS(utUseRequireTLS);
       c.OnTLSHandShakeFailed = [](TQxComponent&, bool& go_on) {
         ADD_FAILURE() << "asked";
         go_on = true;
       };
     },
     Join({Greeting({"STARTTLS"}), {"C:STARTTLS", "S:220 go ahead", "C:QUIT", "S:221 bye"}}),
     Raises<EQxTLSClientTLSHandShakeFailed>("SSL is not available on this server.")},
    {"STARTTLS refused, QUIT refused too: the QUIT's error", ExplicitTLS,
     Join({Greeting({"STARTTLS", "AUTH LOGIN"}),
           {"C:STARTTLS", "S:454 4.7.0 no", "C:QUIT", "S:500 5.5.1 not now"}}),
     "not now\r\n"},
    {"TLS on: a second Send sends no STARTTLS again, even if listed",
     [](TQxSMTP& c) {
       c.SetUseTLS(utUseExplicitTLS);
       HandlerOf(c).PretendHandshake = true;
     },
     Join({Greeting({"STARTTLS"}),
           {"C:STARTTLS", "S:220 go ahead", "C:EHLO client.test", "S:250-mail.test",
            "S:250 STARTTLS"},
           kTransaction, kTransaction}),
     "",
     [](TQxSMTP& c, TQxMessage& m) {
       c.Connect();
       c.Send(m);
       EXPECT_FALSE(HandlerOf(c).PassThrough());
       c.Send(m);
     }},
    {"Send with a sender: RCPT for To, CC and BCC", nullptr,
     Join({Greeting({}),
           {"C:RSET", "S:250 OK", "C:MAIL FROM: <desk@example.test>", "S:250 OK",
            "C:RCPT TO:<a@example.test>", "S:250 OK", "C:RCPT TO:<b@example.test>", "S:250 OK",
            "C:RCPT TO:<c@example.test>", "S:250 OK", "C:RCPT TO:<d@example.test>", "S:250 OK",
            "C:DATA", "S:354 go", "M:", "S:250 OK"}}),
     "",
     [](TQxSMTP& c, TQxMessage& m) {
       m.BccList().SetEMailAddresses(u"d@example.test");
       c.Connect();
       c.Send(m, u"desk@example.test");
     }},
    {"EHLO 421: HELO all the same, in the clear", ExplicitTLS,
     Join({HeloAfter("421 4.3.2 busy"), kTransaction}), "", nullptr, ExpectNoCapabilitiesNoAuth},
    {"EHLO 554: HELO all the same", WithLogin,
     Join({HeloAfter("554 5.7.1 no EHLO"), kTransaction}), "", nullptr,
     ExpectNoCapabilitiesNoAuth},
    {"no reply to a recipient in time: no RSET",
     [](TQxSMTP& c) { c.SetReadTimeout(300); },
     Join({Greeting({}),
           {"C:RSET", "S:250 OK", "C:MAIL FROM: <mon@example.test>", "S:250 OK",
            "C:RCPT TO:<a@example.test>"}}),
     Raises<EQxReadTimeout>("Read timed out.")},
    {"malformed reply to a recipient: no RSET", nullptr,
     Join({Greeting({}),
           {"C:RSET", "S:250 OK", "C:MAIL FROM: <mon@example.test>", "S:250 OK",
            "C:RCPT TO:<a@example.test>", "S:25"}}),
     Raises<EQxException>("Reply Code is not valid: 25")},
    {"RSET after a refusal fails: its own error", nullptr,
     Join({Greeting({}),
           {"C:RSET", "S:250 OK", "C:MAIL FROM: <mon@example.test>", "S:250 OK",
            "C:RCPT TO:<a@example.test>", "S:550 5.1.1 unknown", "C:RSET", "X:"}}),
     Raises<EQxConnClosedGracefully>("Connection Closed Gracefully.")},
    {"both RSETs accept any code", nullptr,
     Join({Greeting({}),
           {"C:RSET", "S:500 5.5.1 what", "C:MAIL FROM: <mon@example.test>", "S:250 OK",
            "C:RCPT TO:<a@example.test>", "S:250 OK", "C:RCPT TO:<b@example.test>",
            "S:550 5.1.1 unknown", "C:RSET", "S:502 5.5.2 no"}}),
     "unknown\r\n"},
};

// Failures name the row, not its bytes.
void PrintTo(const TSessionCase& ACase, std::ostream* AOut) { *AOut << ACase.Name; }

class SessionTest : public ::testing::TestWithParam<TSessionCase> {};

TEST_P(SessionTest, FollowsTheScript) {
  const TSessionCase& c = GetParam();
  TScriptedSMTPPeer peer(c.Script);
  TNoHandshakeHandler handler;
  TQxSMTP client;
  client.SetIOHandler(&handler);
  client.SetHost(u"127.0.0.1");
  client.SetPort(peer.Port());
  client.SetHeloName(u"client.test");
  client.SetReadTimeout(5000);  // no test waits without bound
  if (c.Setup) c.Setup(client);
  TQxMessage message;
  FillMessage(message);

  std::string error;
  std::optional<std::type_index> raised;
  try {
    if (c.Act)
      c.Act(client, message);
    else
      ConnectAndSend(client, message);
  } catch (const EQxException& e) {
    error = toUtf8(e.Message());
    raised = typeid(e);
  }
  client.SetIOHandler(nullptr);  // the alert path: detach and close, no QUIT
  handler.Close();
  EXPECT_EQ(peer.Finish(), "");
  const bool reply_error = raised == std::type_index(typeid(EQxSMTPReplyError));
  const std::string& expected = c.Error.Message;
  if (expected == "*") {
    EXPECT_FALSE(reply_error) << error;
    EXPECT_NE(error, "");
  } else {
    EXPECT_EQ(error, expected);
  }
  if (c.Error.Class) {
    EXPECT_TRUE(raised == c.Error.Class) << (raised ? raised->name() : "nothing raised");
  } else if (!expected.empty() && expected != "*") {
    const bool server_text = expected.size() >= 2 && expected.ends_with("\r\n");
    EXPECT_EQ(reply_error, server_text) << error;
  }
  if (c.Check) c.Check(client, peer);
}

std::string CaseName(const ::testing::TestParamInfo<TSessionCase>& AInfo) {
  return "row" + std::to_string(AInfo.index);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, SessionTest, ::testing::ValuesIn(kSessionCases), CaseName);

TEST(SMTPSession, RefusedReplyCarriesCodeAndEnhancedCode) {
  TScriptedSMTPPeer peer(Join({Greeting({}),
                               {"C:RSET", "S:250 OK", "C:MAIL FROM: <mon@example.test>", "S:250 OK",
                                "C:RCPT TO:<a@example.test>", "S:550-5.1.1 No such user",
                                "S:550 5.1.1 here", "C:RSET", "S:250 2.0.0 OK"}}));
  TQxSMTP client;
  client.SetHost(u"127.0.0.1");
  client.SetPort(peer.Port());
  client.SetHeloName(u"client.test");
  client.SetReadTimeout(5000);
  TQxMessage message;
  FillMessage(message);
  client.Connect();
  try {
    client.Send(message);
    ADD_FAILURE() << "no error";
  } catch (const EQxSMTPReplyError& e) {
    EXPECT_EQ(e.ErrorCode(), 550);
    EXPECT_EQ(e.EnhancedCode().ReplyAsStr(), u"5.1.1");  // not the RSET's 2.0.0
    EXPECT_EQ(e.Message(), u"No such user\r\nhere\r\n");
  }
  EXPECT_TRUE(client.Connected());
  client.Disconnect(false);
  EXPECT_EQ(peer.Finish(), "");
}

TEST(SMTPSession, DefaultsAndSetters) {
  TQxSMTP smtp;
  EXPECT_EQ(smtp.Port(), 25);
  EXPECT_EQ(smtp.UseTLS(), utNoTLSSupport);
  EXPECT_EQ(smtp.AuthType(), satDefault);
  EXPECT_TRUE(smtp.UseEhlo());
  EXPECT_FALSE(smtp.PipeLine());
  EXPECT_FALSE(smtp.UseVerp());
  EXPECT_TRUE(smtp.MailAgent().empty());
  EXPECT_TRUE(smtp.HeloName().empty());
  EXPECT_TRUE(smtp.Capabilities().empty());
  EXPECT_FALSE(smtp.DidAuthenticate());
  EXPECT_FALSE(smtp.SupportsTLS());
  EXPECT_TRUE(smtp.SASLMechanisms().Empty());
  EXPECT_EQ(smtp.IOHandler(), nullptr);

  try {
    smtp.SetUseTLS(utUseExplicitTLS);
    FAIL();
  } catch (const EQxTLSClientSSLIOHandlerRequred& e) {
    EXPECT_EQ(e.Message(), u"SSL IOHandler is required for this setting");
  }

  struct TPortCase {
    int From;
    TQxUseTLS Before, After;
    int To;
  };
  const TPortCase ports[] = {
      {465, utNoTLSSupport, utUseExplicitTLS, 25},    {587, utNoTLSSupport, utUseExplicitTLS, 587},
      {2525, utNoTLSSupport, utUseRequireTLS, 2525},  {25, utNoTLSSupport, utUseImplicitTLS, 465},
      {465, utUseImplicitTLS, utUseImplicitTLS, 465}, {25, utUseExplicitTLS, utUseExplicitTLS, 25},
      {465, utUseImplicitTLS, utNoTLSSupport, 25},
  };
  for (const auto& p : ports) {
    TNoHandshakeHandler handler;
    TQxSMTP client;
    client.SetIOHandler(&handler);
    client.SetUseTLS(p.Before);
    client.SetPort(static_cast<std::uint16_t>(p.From));
    client.SetUseTLS(p.After);
    EXPECT_EQ(client.Port(), p.To) << p.From << " " << p.Before << " " << p.After;
    client.SetIOHandler(nullptr);
  }

  // Detaching the TLS handler, or a plain one, turns TLS off, port rule included.
  for (bool plain : {false, true}) {
    TNoHandshakeHandler tls;
    TQxIOHandlerStack stack;
    TQxSMTP client;
    client.SetIOHandler(&tls);
    client.SetUseTLS(utUseExplicitTLS);
    client.SetPort(465);
    client.SetIOHandler(plain ? static_cast<TQxIOHandler*>(&stack) : nullptr);
    EXPECT_EQ(client.UseTLS(), utNoTLSSupport);
    EXPECT_EQ(client.Port(), 25);
    client.SetIOHandler(nullptr);
  }

  {
    TNoHandshakeHandler tls;
    TQxSMTP client;
    client.SetIOHandler(&tls);
    client.SetUseEhlo(false);
    client.SetUseTLS(utUseExplicitTLS);
    EXPECT_TRUE(client.UseEhlo());
    client.SetAuthType(satNone);
    client.SetPipeLine(true);
    client.SetPort(465);
    client.SetUseEhlo(false);
    EXPECT_EQ(client.UseTLS(), utNoTLSSupport);
    EXPECT_EQ(client.Port(), 465);  // stored without the port rule
    EXPECT_EQ(client.AuthType(), satDefault);
    EXPECT_FALSE(client.PipeLine());
    client.SetPipeLine(true);
    EXPECT_TRUE(client.UseEhlo());
    client.SetIOHandler(nullptr);
  }
}

TEST(SMTPSession, SetUseTLSWhileConnectedIsRefused) {
  TScriptedSMTPPeer peer(Greeting({}));
  TNoHandshakeHandler handler;
  TQxSMTP client;
  client.SetIOHandler(&handler);
  client.SetHost(u"127.0.0.1");
  client.SetPort(peer.Port());
  client.SetHeloName(u"client.test");
  client.SetReadTimeout(5000);
  client.Connect();
  try {
    client.SetUseTLS(utUseExplicitTLS);
    FAIL();
  } catch (const EQxTLSClientCanNotSetWhileConnected& e) {
    EXPECT_EQ(e.Message(), u"This value can not be set while the client is connected.");
  }
  EXPECT_EQ(client.UseTLS(), utNoTLSSupport);
  client.SetIOHandler(nullptr);
  handler.Close();
  EXPECT_EQ(peer.Finish(), "");
}

TEST(SMTPSession, NoHandlerMeansNotConnected) {
  TQxSMTP client;
  TQxMessage message;
  FillMessage(message);
  try {
    client.Send(message);
    FAIL();
  } catch (const EQxNotConnected& e) {
    EXPECT_EQ(e.Message(), u"Not Connected");
  }
  EXPECT_THROW(client.SendCmd(u"NOOP"), EQxNotConnected);
}

TEST(SMTPSession, LineBreakInHeloNameOrUserNameIsRefusedBeforeConnecting) {
  for (const auto setup : {+[](TQxSMTP& c) { c.SetHeloName(u"me\r\nMAIL FROM:<x>"); },
                           +[](TQxSMTP& c) { c.SetUsername(u"bob\nRSET"); }}) {
    TQxSMTP client;
    client.SetHost(u"127.0.0.1");
    client.SetPort(9);  // never reached
    setup(client);
    EXPECT_THROW(client.Connect(), EQxSMTPLineBreak);
    EXPECT_FALSE(client.Connected());
  }
}

TEST(SMTPSession, SendCmdAcceptsAsAsked) {
  TScriptedSMTPPeer peer({"C:NOOP", "S:550 5.0.0 nope", "C:NOOP", "S:550 5.0.0 nope", "C:NOOP",
                          "S:250 fine", "C:NOOP", "S:251 fine", "C:NOOP", "S:251 fine"});
  TQxSMTP client;
  client.SetHost(u"127.0.0.1");
  client.SetPort(peer.Port());
  client.SetReadTimeout(5000);
  client.TQxTCPClientCustom::Connect();
  EXPECT_EQ(client.SendCmd(u"NOOP", -1), 550);
  EXPECT_THROW(client.SendCmd(u"NOOP", 250), EQxSMTPReplyError);
  EXPECT_THROW(client.SendCmd(u"NOOP", 0), EQxSMTPReplyError);  // 0 accepts 0 alone
  EXPECT_EQ(client.SendCmd(u"NOOP", std::vector<TQxReplyCode>{250, 251}), 251);
  EXPECT_EQ(client.SendCmd(u"NOOP", std::u16string(u"251")), u"251");
  client.Disconnect(false);
  EXPECT_EQ(peer.Finish(), "");
}

// One client for two connections, as the alert mail keeps it: nothing of the
// first session (authentication, capabilities) carries over to the second.
TEST(SMTPSession, NothingOfAConnectionOutlivesIt) {
  const TScript esmtp = Join({Greeting({"STARTTLS", "AUTH LOGIN"}),
                              {"C:STARTTLS", "S:220 go ahead", "C:EHLO client.test",
                               "S:250-mail.test", "S:250 AUTH LOGIN"},
                              kAuthLogin,
                              kTransaction});
  const TScript heloOnly =
      Join({{"S:220 old", "C:EHLO client.test", "S:502 no", "C:HELO client.test", "S:250 hello"},
            kTransaction});
  struct TCase {
    const char* Name;
    bool Quit;  // Disconnect between the two, else the alert path's detach
    TScript Second;
  } cases[] = {
      {"detached, then STARTTLS and AUTH again", false, esmtp},
      {"QUIT, then STARTTLS and AUTH again", true, esmtp},
      {"detached, then a HELO-only server: no STARTTLS, no AUTH", false, heloOnly},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TScript first = esmtp;
    if (c.Quit) first.insert(first.end(), {"C:QUIT", "S:221 bye"});
    TScriptedSMTPPeer one(first), two(c.Second);
    TQxSMTP client;
    client.SetHost(u"127.0.0.1");
    client.SetHeloName(u"client.test");
    client.SetReadTimeout(5000);
    WithLogin(client);
    client.OnTLSHandShakeFailed = [](TQxComponent&, bool& go_on) { go_on = true; };
    TQxMessage message;
    FillMessage(message);
    for (TScriptedSMTPPeer* peer : {&one, &two}) {
      TNoHandshakeHandler handler;
      client.SetIOHandler(&handler);
      client.SetUseTLS(utUseExplicitTLS);
      client.SetPort(peer->Port());
      try {
        client.Connect();
        client.Send(message);
        if (c.Quit && peer == &one) {
          EXPECT_TRUE(client.DidAuthenticate());
          client.Disconnect();
          EXPECT_FALSE(client.DidAuthenticate());
        }
      } catch (const EQxException& e) {
        ADD_FAILURE() << toUtf8(e.Message());
      }
      client.SetIOHandler(nullptr);
      handler.Close();
      EXPECT_EQ(peer->Finish(), "");
    }
    EXPECT_EQ(client.DidAuthenticate(), c.Second == esmtp);
  }
}

TEST(SMTPSession, WithoutHeloNameTheHostsNameGreets) {
  TQxSMTP client;  // puts the socket stack in use
  const std::string host = toUtf8(TQxStack::Instance().HostName());
  if (host.empty()) GTEST_SKIP() << "this machine reports no host name";
  TScriptedSMTPPeer peer(
      {"S:220 mail.test", "C:EHLO " + host, "S:502 no", "C:HELO " + host, "S:250 hello"});
  client.SetHost(u"127.0.0.1");
  client.SetPort(peer.Port());
  client.SetReadTimeout(5000);
  client.Connect();
  client.Disconnect(false);
  EXPECT_EQ(peer.Finish(), "");
}

// The handler freed behind the client's back leaves a TLS mode without a
// TLS handler: Connect refuses before anything reaches the wire.
TEST(SMTPSession, TLSModeWithoutTLSHandlerRefusesToConnect) {
  TUniqueFd listener = test::LoopbackSocket();  // never accepts, never greets
  TQxSMTP client;
  auto handler = std::make_unique<TNoHandshakeHandler>();
  client.SetIOHandler(handler.get());
  client.SetUseTLS(utUseExplicitTLS);
  handler.reset();
  ASSERT_EQ(client.IOHandler(), nullptr);
  client.SetHost(u"127.0.0.1");
  client.SetPort(test::LocalPort(listener.get()));
  client.SetReadTimeout(500);
  EXPECT_EQ(test::MessageOf<EQxTLSClientSSLIOHandlerRequred>([&] { client.Connect(); }),
            u"SSL IOHandler is required for this setting");
  EXPECT_FALSE(client.Connected());
}

}  // namespace
}  // namespace quorvex
