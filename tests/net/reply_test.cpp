#include "net/reply.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text.h"
#include "support/raises.h"

namespace quorvex {
namespace {

using TLines = std::vector<std::u16string>;

TEST(ReplyRFC, EndMarker) {
  struct TCase {
    std::u16string Line;
    bool Ends;
  };
  const TCase cases[] =
      {
          {u"250 OK", true},  {u"250-more", false}, {u"250", true},      {u"25", true},
          {u"2500 x", false}, {u"250 ", true},      {u"abcd ef", false}, {u"", true},
          {u"250-", false},  // four characters: its 4th decides, and it is no space
      };
  TQxReplyRFC reply;
  for (const auto& c : cases) EXPECT_EQ(reply.IsEndMarker(c.Line), c.Ends) << toUtf8(c.Line);
}

TEST(ReplyRFC, ParsesWireLines) {
  struct TCase {
    TLines Wire;
    std::u16string Code;
    TLines Text;
    std::u16string Error;
  };
  const TCase cases[] = {
      {{u"250-mail.test", u"250 STARTTLS"}, u"250", {u"mail.test", u"STARTTLS"}, u""},
      {{u"220 ready"}, u"220", {u"ready"}, u""},
      {{u"250"}, u"250", {u""}, u""},
      {{u"250-first", u"251 other code", u"xyz-no code"},
       u"250",
       {u"first", u"other code", u"no code"},
       u""},
      {{u"hello world"}, u"", {}, u"Reply Code is not valid: hel"},
      {{u"99"}, u"", {}, u"Reply Code is not valid: 99"},
      {{u"100 continue"}, u"100", {u"continue"}, u""},  // the lowest code
      {{u"999 last"}, u"999", {u"last"}, u""},
      {{u"099 x"}, u"", {}, u"Reply Code is not valid: 099"},
      {{u"250-", u"250 done"}, u"250", {u"", u"done"}, u""},
      {{}, u"", {}, u""},
  };
  for (const auto& c : cases) {
    TQxReplyRFC reply;
    reply.SetReply(500, u"old");
    EXPECT_EQ(test::ErrorOf<EQxException>([&] { reply.SetFormattedReply(c.Wire); }), c.Error);
    EXPECT_EQ(reply.Code(), c.Code);
    EXPECT_EQ(reply.Text().Lines(), c.Text);
  }
}

TEST(ReplyRFC, RendersAndRaises) {
  TQxReplyRFC reply;
  reply.SetReply(550, u"no such user\r\ntry later");
  EXPECT_EQ(reply.FormattedReply(), (TLines{u"550-no such user", u"550 try later"}));
  EXPECT_TRUE(reply.ReplyExists());
  try {
    reply.RaiseReplyError();
  } catch (const EQxReplyRFCError& e) {
    EXPECT_EQ(e.ErrorCode(), 550);
    EXPECT_EQ(e.Message(), u"no such user\r\ntry later\r\n");
  }
  reply.SetReply(221, u"");
  EXPECT_EQ(reply.FormattedReply(), (TLines{u"221"}));

  EXPECT_THROW(reply.SetNumericCode(1000), EQxException);
  EXPECT_EQ(reply.NumericCode(), 221);
  reply.Clear();
  EXPECT_FALSE(reply.ReplyExists());
  EXPECT_EQ(reply.NumericCode(), 0);
}

}  // namespace
}  // namespace quorvex
