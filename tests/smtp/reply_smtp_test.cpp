#include "smtp/reply_smtp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/net_errors.h"
#include "platform/text.h"
#include "smtp/smtp.h"
#include "support/memory_transport.h"
#include "support/raises.h"

namespace quorvex {
namespace {

using TLines = std::vector<std::u16string>;

struct TParseCase {
  std::string Wire;  // the server's bytes
  std::u16string Code;
  TLines Text;
  std::u16string Enhanced;  // ReplyAsStr afterwards
  std::u16string Error;     // message of the parse error, "" for none
};

// Each reply starts with the enhanced code 4.4.4 left over from an earlier one.
const TParseCase kParseCases[] = {
    {"250-mail.test\r\n250 STARTTLS\r\n", u"250", {u"mail.test", u"STARTTLS"}, u"4.4.4", u""},
    {"250 2.1.0 Sender OK\r\n", u"250", {u"Sender OK"}, u"2.1.0", u""},
    {"535-5.7.8 Bad\r\n535 5.7.8 credentials\r\n", u"535", {u"Bad", u"credentials"}, u"5.7.8", u""},
    {"250\r\n", u"250", {u""}, u"", u""},
    {"250 \r\n", u"250", {u""}, u"", u""},
    {"2500 x\r\n250 y\r\n", u"", {}, u"4.4.4", u"Reply Code is not valid: 2500"},
    {"hello world\r\n250 end\r\n", u"", {}, u"4.4.4", u"Reply Code is not valid: hell"},
    {"25\r\n", u"", {}, u"4.4.4", u"Reply Code is not valid: 25"},
    {"250-a\r\n451-b\r\nxyz c\r\n", u"250", {u"a", u"b", u"c"}, u"4.4.4", u""},
    {"250-one\r\nnocode\r\n250 two\r\n", u"250", {u"one", u"de", u"two"}, u"4.4.4", u""},
    {"250 21.1.0 ok\r\n", u"250", {u"ok"}, u"2.1.0", u""},
    {"250-2.1.0 a\r\n250 5.7.1 b\r\n", u"250", {u"a", u"b"}, u"5.7.1", u""},
    {"250-SIZE 1000\r\n250 8BITMIME\r\n", u"250", {u"SIZE 1000", u"8BITMIME"}, u"4.4.4", u""},
    {"250 2.1 short\r\n", u"250", {u"2.1 short"}, u"4.4.4", u""},
    {"250 3.1.0 wrong class\r\n", u"250", {u"3.1.0 wrong class"}, u"4.4.4", u""},
    // A signed number passes as an enhanced code; negative, it cannot be kept.
    {"250 2.-1.0 minus\r\n", u"250", {u"minus"}, u"", u""},
    {"550 5.1.-7 minus\r\n", u"550", {u"minus"}, u"", u""},
    {"250 2.+1.0 plus\r\n", u"250", {u"plus"}, u"2.1.0", u""},
    {"250 2.-.0 sign alone\r\n", u"250", {u"2.-.0 sign alone"}, u"4.4.4", u""},
    {"250 2.1.0\r\n", u"250", {u""}, u"2.1.0", u""},
    {"250 2.1234.56789 long\r\n", u"250", {u"long"}, u"2.123.567", u""},
    {"\r\n  \r\n  220 ready  \r\n", u"220", {u"ready"}, u"4.4.4", u""},
    {"220-multi\n220 line feeds only\n", u"220", {u"multi", u"line feeds only"}, u"4.4.4", u""},
    {"999 top\r\n", u"999", {u"top"}, u"4.4.4", u""},
    {"099 low\r\n", u"", {}, u"4.4.4", u"Reply Code is not valid: 099"},
};

// A client whose replies are SMTP replies, over the in-memory transport.
struct TMemoryClient {
  explicit TMemoryClient(test::TMemoryScript& AScript) : Handler(AScript) {
    Client.SetIOHandler(&Handler);
    Reply().EnhancedCode().SetReplyAsStr(u"4.4.4");
  }
  ~TMemoryClient() { Client.SetIOHandler(nullptr); }
  TQxReplySMTP& Reply() { return static_cast<TQxReplySMTP&>(Client.LastCmdResult()); }

  test::TMemoryHandler Handler;
  TQxSMTP Client;
};

void ExpectParsed(TQxReplySMTP& AReply, const TParseCase& ACase, const std::u16string& AError) {
  EXPECT_EQ(AError, ACase.Error);
  EXPECT_EQ(AReply.Code(), ACase.Code);
  EXPECT_EQ(AReply.Text().Lines(), ACase.Text);
  EXPECT_EQ(AReply.EnhancedCode().ReplyAsStr(), ACase.Enhanced);
}

TEST(ReplySMTP, ParsesRepliesFromTheWire) {
  for (const auto& c : kParseCases) {
    SCOPED_TRACE(c.Wire);
    test::TMemoryScript script(c.Wire);
    TMemoryClient client(script);
    const std::u16string error =
        test::ErrorOf<EQxException>([&] { client.Client.GetInternalResponse(); });
    ExpectParsed(client.Reply(), c, error);
  }
}

// Every chunk size and every failing transport operation: the reply is read
// whole, or the transport's error comes out; nothing else.
TEST(ReplySMTP, ParsesAtEveryChunkSizeAndFailurePoint) {
  for (const auto& c : kParseCases) {
    for (int chunk = 1; chunk <= static_cast<int>(c.Wire.size()); ++chunk) {
      int operations;
      {
        test::TMemoryScript script(c.Wire, chunk);
        TMemoryClient client(script);
        const std::u16string error =
            test::ErrorOf<EQxException>([&] { client.Client.GetInternalResponse(); });
        SCOPED_TRACE(c.Wire + " chunk " + std::to_string(chunk));
        ExpectParsed(client.Reply(), c, error);
        operations = script.Operations;
      }
      for (int fail = 1; fail <= operations; ++fail) {
        test::TMemoryScript script(c.Wire, chunk);
        script.FailAt = fail;
        TMemoryClient client(script);
        SCOPED_TRACE(c.Wire + " chunk " + std::to_string(chunk) + " fail " + std::to_string(fail));
        try {
          client.Client.GetInternalResponse();
          ExpectParsed(client.Reply(), c, u"");
        } catch (const EQxSocketError& e) {
          EXPECT_EQ(e.LastError(), 10054);
        } catch (const EQxException& e) {
          ExpectParsed(client.Reply(), c, e.Message());
        }
      }
    }
  }
}

TEST(ReplySMTP, PeerClosingMidReplyRaises) {
  test::TMemoryScript script("250-first\r\n250-second\r\n");
  TMemoryClient client(script);
  EXPECT_THROW(client.Client.GetInternalResponse(), EQxConnClosedGracefully);
}

TEST(ReplySMTP, RendersWhatItParses) {
  struct TCase {
    int Code;
    std::u16string Enhanced;
    std::u16string Text;
    TLines Wire;
  };
  const TCase cases[] = {
      {250, u"2.1.0", u"Sender OK", {u"250 2.1.0 Sender OK"}},
      {535, u"5.7.8", u"Bad\r\ncredentials", {u"535-5.7.8 Bad", u"535 5.7.8 credentials"}},
      {250, u"", u"a\r\nb", {u"250-a", u"250 b"}},
      {221, u"", u"", {u"221"}},
      {221, u"2.0.0", u"", {u"221 2.0.0"}},
  };
  for (const auto& c : cases) {
    TQxReplySMTP reply;
    reply.SetEnhReply(c.Code, c.Enhanced, c.Text);
    EXPECT_EQ(reply.FormattedReply(), c.Wire);
    TQxReplySMTP again;
    again.SetFormattedReply(reply.FormattedReply());
    EXPECT_EQ(again.NumericCode(), c.Code);
    EXPECT_EQ(again.EnhancedCode().ReplyAsStr(), c.Enhanced);
  }
  TQxReplySMTP none;
  none.Text().SetText(u"just text");
  EXPECT_EQ(none.FormattedReply(), (TLines{u"just text"}));
}

TEST(ReplySMTP, ErrorCarriesCodeEnhancedCodeAndText) {
  TQxReplySMTP reply;
  reply.SetFormattedReply({u"535-5.7.8 Bad", u"535 5.7.8 credentials"});
  try {
    reply.RaiseReplyError();
  } catch (const EQxSMTPReplyError& e) {
    EXPECT_EQ(e.ErrorCode(), 535);
    EXPECT_EQ(e.EnhancedCode().ReplyAsStr(), u"5.7.8");
    EXPECT_EQ(e.Message(), u"Bad\r\ncredentials\r\n");
    // The error keeps its own copy.
    reply.SetFormattedReply({u"250 2.1.0 ok"});
    EXPECT_EQ(e.EnhancedCode().ReplyAsStr(), u"5.7.8");
  }
  reply.SetFormattedReply({u"250"});
  try {
    reply.RaiseReplyError();
  } catch (const EQxSMTPReplyError& e) {
    EXPECT_EQ(e.Message(), u"\r\n");
    EXPECT_FALSE(e.EnhancedCode().Available());
  }
}

TEST(SMTPEnhancedCode, Properties) {
  TQxSMTPEnhancedCode code;
  EXPECT_EQ(code.StatusClass(), 2u);
  EXPECT_FALSE(code.Available());
  EXPECT_EQ(code.ReplyAsStr(), u"");

  struct TCase {
    std::u16string Value;
    std::u16string Read;  // "!" when the assignment raises
  };
  const TCase cases[] = {
      {u"5.7.8", u"5.7.8"},
      {u"4.2.1 with text", u"4.2.1"},
      {u"21.1.0", u"2.1.0"},
      {u"", u""},
      {u"  ", u""},
      {u"3.1.0", u"!"},
      {u"2.1", u"!"},
      {u"SIZE", u"!"},
      {u"2..1", u"!"},
      {u"2.x.1", u"!"},
      {u"2.1.", u"!"},
      {u".1.0", u"!"},
      {u"5.1234.1", u"5.123.1"},
      {u"5.-1.0", u""},
      {u"2.0.-0", u"2.0.0"},
      {u"2.1.99999999999", u"!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(toUtf8(c.Value));
    TQxSMTPEnhancedCode e;
    e.SetReplyAsStr(u"4.4.4");
    if (c.Read == u"!") {
      EXPECT_THROW(e.SetReplyAsStr(c.Value), EQxSMTPReplyInvalidReplyString);
      EXPECT_EQ(e.ReplyAsStr(), u"4.4.4");
    } else {
      e.SetReplyAsStr(c.Value);
      EXPECT_EQ(e.ReplyAsStr(), c.Read);
    }
  }

  for (std::uint32_t cls : {0u, 1u, 3u, 6u, 21u})
    EXPECT_THROW(code.SetStatusClass(cls), EQxSMTPReplyInvalidClass);
  for (std::uint32_t cls : {2u, 4u, 5u}) {
    code.SetStatusClass(cls);
    EXPECT_EQ(code.StatusClass(), cls);
  }
  code.SetSubject(7);
  code.SetAvailable(true);  // from not available: starts at 2.0.0
  EXPECT_EQ(code.ReplyAsStr(), u"2.0.0");
  code.SetSubject(7);
  code.SetAvailable(true);  // already available: kept
  EXPECT_EQ(code.ReplyAsStr(), u"2.7.0");
  EXPECT_EQ(test::MessageOf<EQxSMTPReplyInvalidReplyString>([&] { code.SetReplyAsStr(u"3.0.0"); }),
            u"Invalid Reply String.");
  EXPECT_EQ(test::MessageOf<EQxSMTPReplyInvalidClass>([&] { code.SetStatusClass(3); }),
            u"Invalid Reply Class.");
}

}  // namespace
}  // namespace quorvex
