#include "mail/message.h"

#include <gtest/gtest.h>

#include "mail/header_encoding.h"
#include "platform/text.h"
#include "support/fake_clock.h"

namespace quorvex {
namespace {

using Lines = std::vector<std::u16string>;

const test::TFakeClock kAlertClock(EncodeDateTime(2011, 3, 5, 14, 7, 9), 60);
constexpr char16_t kAlertDate[] = u"Date: Sat, 5 Mar 2011 14:07:09 +0100";

// A message built the way the alert mail builds one.
std::unique_ptr<TQxMessage> alertMessage(std::u16string_view to, std::u16string_view cc,
                                         std::u16string subject) {
  auto message = std::make_unique<TQxMessage>();
  message->SetClock(kAlertClock);
  message->OnInitializeISO = [](char16_t&, std::u16string& charset) { charset = u"UTF-8"; };
  message->From().SetAddress(u"ops@example.org");
  message->Recipients().SetEMailAddresses(to);
  message->SetSubject(std::move(subject));
  message->Body().SetText(u"Server vpn01 failed\r\n");
  message->CCList().SetEMailAddresses(cc);
  return message;
}

TEST(GenerateHeader, WritesTheAlertHeaderInOrder) {
  struct Case {
    const char* what;
    std::u16string to, cc, subject;
    Lines lines;
  };
  const std::u16string from = u"From: \"ops@example.org\" <ops@example.org>";
  const Case cases[] = {
      {"worked example",
       u"a@example.org, b@example.org",
       u"c@example.org",
       u"vpn01 Down!",
       {from, u"Subject: vpn01 Down!", u"To: a@example.org, b@example.org", u"Cc: c@example.org",
        kAlertDate}},
      {"no CC",
       u"a@example.org",
       u"",
       u"vpn01 Down!",
       {from, u"Subject: vpn01 Down!", u"To: a@example.org", kAlertDate}},
      {"no subject",
       u"a@example.org",
       u"c@example.org",
       u"",
       {from, u"To: a@example.org", u"Cc: c@example.org", kAlertDate}},
      {"no To", u"", u"", u"vpn01 Down!", {from, u"Subject: vpn01 Down!", kAlertDate}},
      {"encoded subject",
       u"a@example.org",
       u"",
       u"Pr\u00FCfung fehlgeschlagen",
       {from, u"Subject: =?UTF-8?B?UHLDvGZ1bmc=?= fehlgeschlagen", u"To: a@example.org",
        kAlertDate}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto message = alertMessage(c.to, c.cc, c.subject);
    message->GenerateHeader();
    EXPECT_EQ(message->LastGeneratedHeaders().Lines(), c.lines);
    EXPECT_EQ(message->Encoding(), mePlainText);
    EXPECT_EQ(message->From().Name(), u"ops@example.org");
    // Generating again gives the same lines.
    message->GenerateHeader();
    EXPECT_EQ(message->LastGeneratedHeaders().Lines(), c.lines);
  }
}

TEST(GenerateHeader, WritesPriorityWords) {
  const std::pair<TQxMessagePriority, Lines> cases[] = {
      {mpHighest, {u"Priority: urgent", u"X-Priority: 1"}},
      {mpHigh, {u"Priority: urgent", u"X-Priority: 2"}},
      {mpNormal, {}},
      {mpLow, {u"Priority: non-urgent", u"X-Priority: 4"}},
      {mpLowest, {u"Priority: non-urgent", u"X-Priority: 5"}},
  };
  for (const auto& [priority, extra] : cases) {
    auto message = alertMessage(u"a@x", u"", u"s");
    message->SetPriority(priority);
    message->GenerateHeader();
    Lines expected{u"From: \"ops@example.org\" <ops@example.org>", u"Subject: s", u"To: a@x",
                   kAlertDate};
    expected.insert(expected.end(), extra.begin(), extra.end());
    EXPECT_EQ(message->LastGeneratedHeaders().Lines(), expected) << priority;
  }
}

TEST(GenerateHeader, StartsFromHeadersAndEndsWithExtraHeaders) {
  auto message = alertMessage(u"a@x", u"", u"New");
  message->Headers().Add(u"subject: Old");
  message->Headers().Add(u"Bcc: hidden@x");
  message->Headers().Add(u"X-Keep: yes");
  message->ExtraHeaders().SetHeaderValue(u"X-Mailer", u"");  // no mail agent: no line
  message->ExtraHeaders().Add(u"Subject: extra");
  message->SetInReplyTo(u"id@x");
  message->SetMsgId(u"own@x");  // only for saved messages
  message->Sender().SetText(u"Desk <desk@x>");
  message->ReplyTo().SetEMailAddresses(u"r@x");
  message->SetOrganization(u"Quorvex");
  message->SetReferences(u"<r1@x>");
  message->ReceiptRecipient().SetAddress(u"rr@x");
  message->GenerateHeader();
  EXPECT_EQ(message->LastGeneratedHeaders().Lines(),
            (Lines{u"Subject: New", u"X-Keep: yes", u"From: \"ops@example.org\" <ops@example.org>",
                   u"To: a@x", u"Sender: Desk <desk@x>", u"Reply-To: r@x", u"Organization: Quorvex",
                   u"Disposition-Notification-To: rr@x", u"References: <r1@x>", kAlertDate,
                   u"Subject: extra", u"In-Reply-To: <id@x>"}));
}

TEST(GenerateHeader, WritesContentLinesByLayout) {
  struct Case {
    TQxMessageEncoding encoding;
    std::u16string contentType, charSet, transferEncoding;
    Lines lines;
  };
  const Case cases[] = {
      {meDefault, u"", u"", u"", {}},
      {meDefault,
       u"text/plain; charset=utf-8; format=flowed",
       u"",
       u"quoted-printable",
       {u"Content-Transfer-Encoding: quoted-printable",
        u"Content-Type: text/plain; format=flowed; charset=\"utf-8\""}},
      {mePlainText, u"", u"utf-8", u"", {}},
      {meMIME, u"", u"", u"", {u"Content-Type: text/plain", u"MIME-Version: 1.0"}},
      {meMIME,
       u"",
       u"iso-8859-1",
       u"base64",
       {u"Content-Type: text/plain; charset=\"iso-8859-1\"", u"MIME-Version: 1.0",
        u"Content-Transfer-Encoding: base64"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(toUtf8(c.contentType + u"|" + c.charSet));
    auto message = alertMessage(u"", u"", u"");
    message->SetEncoding(c.encoding);
    message->SetContentType(c.contentType);
    if (!c.charSet.empty()) message->SetCharSet(c.charSet);
    message->SetContentTransferEncoding(c.transferEncoding);
    message->GenerateHeader();
    Lines expected{u"From: \"ops@example.org\" <ops@example.org>"};
    expected.insert(expected.end(), c.lines.begin(), c.lines.end());
    expected.push_back(kAlertDate);
    EXPECT_EQ(message->LastGeneratedHeaders().Lines(), expected);
    EXPECT_EQ(message->MIMEBoundary().empty(), message->Encoding() != meMIME);
  }
}

TEST(TQxMessage, ContentTypeMovesTheCharsetParameter) {
  struct Case {
    std::u16string value, contentType, charSet;
  };
  const Case cases[] = {
      {u"text/plain; charset=utf-8; format=flowed", u"text/plain; format=flowed", u"utf-8"},
      {u" text/html ;CHARSET=\"iso-8859-1\"", u"text/html", u"iso-8859-1"},
      {u"text/plain; charset=", u"text/plain", u"kept"},
      {u"application/x; name=\"a b/c\"", u"application/x; name=\"a b\\/c\"", u"kept"},
      {u"application/x; name=\"q\\\"x\"", u"application/x; name=\"q\\\"x\"", u"kept"},
      {u"", u"", u"kept"},
  };
  for (const auto& c : cases) {
    TQxMessage message;
    message.SetCharSet(u"kept");
    message.SetContentType(u"text/plain");
    message.SetContentType(c.value);
    EXPECT_EQ(message.ContentType(), c.contentType) << toUtf8(c.value);
    EXPECT_EQ(message.CharSet(), c.charSet) << toUtf8(c.value);
  }
}

TEST(TQxMessage, PropertiesKeepTheirContract) {
  TQxMessage message;
  const test::TFakeClock clock(EncodeDateTime(2011, 11, 20, 8, 3, 4), -300);
  message.SetClock(clock);
  message.SetMsgId(u"abc");
  EXPECT_EQ(message.MsgId(), u"<abc>");
  message.SetMsgId(u"<abc>");
  EXPECT_EQ(message.MsgId(), u"<abc>");
  message.SetInReplyTo(u"<x");
  EXPECT_EQ(message.InReplyTo(), u"<x>");
  message.SetMsgId(u"");
  EXPECT_EQ(message.MsgId(), u"");

  EXPECT_TRUE(message.UseNowForDate());
  message.SetUseNowForDate(false);
  EXPECT_EQ(message.Date(), clock.Now());
  message.SetUseNowForDate(true);
  EXPECT_EQ(message.Date(), 0);
  // A stored date is written with the offset in effect now.
  message.SetDate(EncodeDateTime(2011, 7, 1, 12));
  message.GenerateHeader();
  EXPECT_EQ(message.LastGeneratedHeaders().GetHeaderValue(u"Date"),
            u"Fri, 1 Jul 2011 12:00:00 -0500");

  EXPECT_EQ(message.FromList().Count(), 0u);
  message.From().SetText(u"Me <me@x>");
  EXPECT_EQ(message.FromList().Count(), 1u);
  message.GenerateHeader();
  EXPECT_EQ(message.LastGeneratedHeaders().GetHeaderValue(u"From"), u"\"Me\" <me@x>");

  message.SetEncoding(meMIME);
  EXPECT_EQ(message.AttachmentEncoding(), u"MIME");
  message.SetSubject(u"s");
  message.Body().Add(u"line");
  message.Clear();
  EXPECT_EQ(message.Encoding(), meDefault);
  EXPECT_EQ(message.Subject(), u"");
  EXPECT_EQ(message.FromList().Count(), 0u);
  EXPECT_EQ(message.Body().Count(), 0u);
  EXPECT_EQ(message.InReplyTo(), u"<x>");  // ClearHeader leaves it
}

TEST(GenerateHeader, FailsForAHeaderCharsetWithoutCoder) {
  auto message = alertMessage(u"a@x", u"", u"");
  message->OnInitializeISO = [](char16_t&, std::u16string& charset) { charset = u"x-none"; };
  EXPECT_THROW(message->GenerateHeader(), EQxHeaderEncodeError);
  const test::TFakeClock noZone(0, std::nullopt);
  message = alertMessage(u"a@x", u"", u"");
  message->SetClock(noZone);
  EXPECT_THROW(message->GenerateHeader(), EQxException);
}

// Text typed by the user or taken from a file name stays inside its header.
TEST(GenerateHeader, OutsideTextCannotAddHeaderLines) {
  auto message = alertMessage(u"a@x", u"", u"vpn\r\nBcc: victim@x Down!");
  message->From().SetAddress(u"ops@x\r\nBcc: v2@x");
  message->From().SetName(u"");
  message->Recipients()[0].SetName(u"N\r\nBcc: v3@x");
  message->GenerateHeader();
  for (const auto& line : message->LastGeneratedHeaders().Lines()) {
    EXPECT_EQ(line.find_first_of(u"\r\n"), std::u16string::npos) << toUtf8(line);
    EXPECT_FALSE(line.starts_with(u"Bcc")) << toUtf8(line);
    EXPECT_FALSE(line.empty());
  }
}

}  // namespace
}  // namespace quorvex
