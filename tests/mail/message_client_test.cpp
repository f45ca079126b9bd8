#include "mail/message_client.h"

#include <gtest/gtest.h>

#include "platform/exception.h"
#include "platform/text.h"
#include "support/fake_clock.h"
#include "support/loopback.h"
#include "support/memory_transport.h"

namespace quorvex {
namespace {

using test::AcceptWithin;
using test::LocalPort;
using test::LoopbackSocket;
using test::ReceiveUpTo;

const test::TFakeClock kAlertClock(EncodeDateTime(2011, 3, 5, 14, 7, 9), 60);

const std::string kAlertHeader =
    "From: \"ops@example.org\" <ops@example.org>\r\n"
    "Subject: vpn01 Down!\r\n"
    "To: a@example.org, b@example.org\r\n"
    "Cc: c@example.org\r\n"
    "Date: Sat, 5 Mar 2011 14:07:09 +0100\r\n";

std::unique_ptr<TQxMessage> alertMessage(std::u16string_view body) {
  auto message = std::make_unique<TQxMessage>();
  message->SetClock(kAlertClock);
  message->OnInitializeISO = [](char16_t&, std::u16string& charset) { charset = u"UTF-8"; };
  message->From().SetAddress(u"ops@example.org");
  message->Recipients().SetEMailAddresses(u"a@example.org, b@example.org");
  message->SetSubject(u"vpn01 Down!");
  message->Body().SetText(body);
  message->CCList().SetEMailAddresses(u"c@example.org");
  return message;
}

// Sends the message over a real loopback connection and returns the bytes
// the peer received.
std::string sendOverLoopback(TQxMessage& message, bool headersOnly = false) {
  const auto listener = LoopbackSocket();
  TQxMessageClient client;
  client.SetHost(u"127.0.0.1");
  client.SetPort(LocalPort(listener.get()));
  client.Connect();
  const auto peer = AcceptWithin(listener.get());
  client.SendMsg(message, headersOnly);
  client.Disconnect();
  return ReceiveUpTo(peer.get(), SIZE_MAX);
}

TEST(SendMsg, WritesHeaderBlankLineBodyAndClosingBlankLine) {
  struct Case {
    const char* what;
    std::u16string body;
    std::string wireBody;
  };
  const Case cases[] = {
      {"alert with a dot line", u"Server X failed\r\n.hidden", "Server X failed\r\n..hidden\r\n"},
      {"text ending in a line break", u"one\r\ntwo\r\n", "one\r\ntwo\r\n"},
      {"CR, CR LF and LF", u"a\r\r\nb\nc", "a\r\n\r\nb\r\nc\r\n"},
      {"empty body", u"", ""},
      {"Latin-1 as single bytes, others substituted", u"caf\u00E9 \u20AC", "caf\xE9 ?\r\n"},
      {"a long line stays one line", std::u16string(2000, 'x'), std::string(2000, 'x') + "\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto message = alertMessage(c.body);
    EXPECT_EQ(sendOverLoopback(*message), kAlertHeader + "\r\n" + c.wireBody + "\r\n");
  }
}

TEST(SendMsg, HeadersOnlyWritesNothingAfterTheHeader) {
  auto message = alertMessage(u"body");
  EXPECT_EQ(sendOverLoopback(*message, true), kAlertHeader);
}

TEST(SendMsg, NoEncodeWritesHeadersAsTheyAre) {
  auto message = alertMessage(u"caf\u00E9\r\n.x");
  message->SetNoEncode(true);
  message->Headers().Add(u"Subject: raw");
  message->Headers().Add(u"X-Odd: a\r\nBcc: b");
  EXPECT_EQ(sendOverLoopback(*message), "Subject: raw\r\nX-Odd: a  Bcc: b\r\n\r\ncaf?\r\n..x\r\n");
}

TEST(SendMsg, WritesTransferEncodedBodies) {
  struct Case {
    std::u16string transfer, charset, body;
    std::string wire;
  };
  const Case cases[] = {
      {u"base64", u"", u"caf\u00E9\r\nok",
       "Content-Transfer-Encoding: base64\r\n\r\nY2Fm6Q0Kb2sNCg==\r\n"},
      {u"BASE64", u"utf-8", u"\u00E9", "Content-Transfer-Encoding: BASE64\r\n\r\nw6kNCg==\r\n"},
      {u"quoted-printable", u"", u".caf\u00E9 \r\nx",
       "Content-Transfer-Encoding: quoted-printable\r\n\r\n=2Ecaf=E9=20\r\nx\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(toUtf8(c.transfer));
    auto message = alertMessage(c.body);
    message->SetContentTransferEncoding(c.transfer);
    message->SetCharSet(c.charset);
    const std::string wire = sendOverLoopback(*message);
    // The transfer-encoding line comes before Date, after Cc.
    const size_t date = kAlertHeader.find("Date:");
    EXPECT_EQ(wire, kAlertHeader.substr(0, date) + c.wire.substr(0, c.wire.find("\r\n") + 2) +
                        kAlertHeader.substr(date) + c.wire.substr(c.wire.find("\r\n") + 2));
  }
}

TEST(SendMsg, MimeBodyWithoutPartsSkipsABlankBody) {
  for (const auto& [body, wireBody] :
       {std::pair<std::u16string, std::string>{u" \t", ""}, {u"text", "text\r\n"}}) {
    auto message = alertMessage(body);
    message->SetEncoding(meMIME);
    const std::string wire = sendOverLoopback(*message);
    EXPECT_NE(wire.find("Content-Type: text/plain\r\nMIME-Version: 1.0\r\n"), std::string::npos);
    EXPECT_TRUE(wire.ends_with("\r\n\r\n" + wireBody + "\r\n")) << wire;
  }
}

// A server name from a file name, a display name and a typed address cannot
// add a header line, end the header early or end the data.
TEST(SendMsg, OutsideTextNeverBreaksALineOnTheWire) {
  auto message = alertMessage(u"line\r\n.\r\nMAIL FROM:<x@y>");
  message->SetSubject(u"vpn\r\nBcc: x Down!");
  message->Recipients()[0].SetName(u"Eve\r\n\r\nBcc: y");
  message->CCList()[0].SetAddress(u"c@x\nBcc: z");
  message->Body().Add(u"tail\r\n.\r\nQUIT");
  message->Body().Add(u"lf\n.\ncr\r.\rend");
  const std::string wire = sendOverLoopback(*message);
  const std::string header = wire.substr(0, wire.find("\r\n\r\n") + 2);
  EXPECT_EQ(header.find("\nBcc"), std::string::npos) << wire;
  EXPECT_EQ(header.find("Date:"), header.rfind("\r\n", header.size() - 3) + 2) << wire;
  for (size_t i = 0; i < wire.size(); ++i) {
    if (wire[i] == '\r') {
      EXPECT_EQ(wire[i + 1], '\n') << i;
    }
    if (wire[i] == '\n') {
      EXPECT_EQ(wire[i - 1], '\r') << i;
    }
  }
  EXPECT_EQ(wire.find("\r\n.\r\n"), std::string::npos) << wire;
  EXPECT_NE(wire.find("\r\n..\r\nMAIL FROM:<x@y>\r\n"), std::string::npos);
  // A lone LF or CR breaks the line like CR LF does, and the "." after it is doubled.
  EXPECT_NE(wire.find("\r\nlf\r\n..\r\ncr\r\n..\r\nend\r\n"), std::string::npos) << wire;
}

TEST(SendMsg, ErrorsPropagate) {
  auto message = alertMessage(u"body");
  TQxMessageClient client;
  EXPECT_THROW(client.SendMsg(*message), EQxException);  // no handler

  // A header error comes before any byte is written.
  test::TMemoryScript script;
  test::TMemoryHandler handler(script);
  client.SetIOHandler(&handler);
  message->OnInitializeISO = [](char16_t&, std::u16string& charset) { charset = u"x-none"; };
  EXPECT_THROW(client.SendMsg(*message), EQxException);
  EXPECT_EQ(script.Sent(), "");

  // A failing write stops the message with the socket error.
  message->OnInitializeISO = nullptr;
  script.FailAt = script.Operations + 2;
  EXPECT_THROW(client.SendMsg(*message), EQxException);
  client.SetIOHandler(nullptr);
}

}  // namespace
}  // namespace quorvex
