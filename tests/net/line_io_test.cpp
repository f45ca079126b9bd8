#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "net/net_errors.h"
#include "net/tcp_connection.h"
#include "platform/text.h"
#include "support/line_cases.h"
#include "support/memory_transport.h"
#include "support/raises.h"

namespace quorvex {
namespace {

using test::TMemoryHandler;
using test::TMemoryScript;

using test::ChunkSizes;
using test::kLong16384;
using test::kLong16385;
using test::LineCases;
using test::TReadOutcome;

TReadOutcome ReadAll(TMemoryScript& AScript, TQxMaxLineAction AAction = maException) {
  TMemoryHandler handler(AScript);
  handler.SetMaxLineAction(AAction);
  return test::ReadLines(handler, AScript.FailCode);
}

TEST(ReadLn, EveryChunkSizeGivesTheSameLines) {
  for (const auto& c : LineCases()) {
    for (int chunk : ChunkSizes(c.Input.size())) {
      SCOPED_TRACE(std::string(c.Name) + ", chunk " + std::to_string(chunk));
      TMemoryScript script(c.Input, chunk, c.CloseAtEnd);
      const TReadOutcome outcome = ReadAll(script, c.Action);
      EXPECT_EQ(outcome.End, c.End);
      ASSERT_EQ(outcome.Lines.size(), c.Lines.size());
      for (size_t i = 0; i < c.Lines.size(); ++i) EXPECT_EQ(outcome.Lines[i], c.Lines[i]);
      if (!c.Split.empty()) {
        EXPECT_EQ(outcome.Split, c.Split);
      }
    }
  }
}

TEST(ReadLn, TransportFailureAtAnyPointLosesNothing) {
  for (const auto& c : LineCases()) {
    const int chunk = std::max<int>(3, static_cast<int>(c.Input.size() / 16));
    TMemoryScript clean(c.Input, chunk, c.CloseAtEnd);
    const TReadOutcome expected = ReadAll(clean, c.Action);
    for (int k = 1; k <= clean.Operations + 1; ++k) {
      SCOPED_TRACE(std::string(c.Name) + ", failing operation " + std::to_string(k));
      TMemoryScript script(c.Input, chunk, c.CloseAtEnd);
      script.FailAt = k;
      const TReadOutcome outcome = ReadAll(script, c.Action);
      EXPECT_EQ(outcome.SocketErrors, k <= clean.Operations ? 1 : 0);
      EXPECT_TRUE(outcome == expected) << "ended with " << outcome.End;
    }
  }
}

TEST(ReadLn, TwoLinesInOneChunkNeedOneReceive) {
  TMemoryScript script("first\nsecond\n", 1000, false);
  TMemoryHandler handler(script);
  EXPECT_EQ(handler.ReadLn(), u"first");
  const int operations = script.Operations;
  EXPECT_EQ(handler.ReadLn(), u"second");
  EXPECT_EQ(script.Operations, operations);
}

TEST(ReadLn, ProgressReachesTheConnection) {
  TMemoryScript script("250 OK\r\nnext\nx\n", 4, true);
  TMemoryHandler handler(script);
  TQxTCPConnection connection;
  connection.SetIOHandler(&handler);
  std::vector<std::int64_t> positions;
  connection.OnWork = [&](TQxComponent&, TWorkMode AMode, std::int64_t APosition) {
    positions.push_back(AMode == wmRead ? APosition : -APosition);
  };
  connection.BeginWork(wmRead);
  EXPECT_EQ(handler.ReadLn(), u"250 OK");
  EXPECT_EQ(handler.ReadLn(), u"next");
  connection.EndWork(wmRead);
  EXPECT_EQ(handler.ReadLn(), u"x");  // outside the bracket: not reported
  EXPECT_EQ(positions, (std::vector<std::int64_t>{8, 13}));
  connection.SetIOHandler(nullptr);
  EXPECT_EQ(handler.WorkTarget(), nullptr);
}

TEST(ReadLn, SplitForOneCallOnly) {
  TMemoryScript script("abcdefgh\nabcdefgh\n", 100, true);
  TMemoryHandler handler(script);
  bool split = false;
  EXPECT_EQ(handler.ReadLnSplit(split, u"\n", -1, 5), u"abcde");
  EXPECT_TRUE(split);
  EXPECT_EQ(handler.ReadLnSplit(split, u"\n", -1, 5), u"fgh");
  EXPECT_FALSE(split);
  EXPECT_EQ(handler.MaxLineAction(), maException);
  EXPECT_THROW(handler.ReadLn(u"\n", -1, 5), EQxReadLnMaxLineLengthExceeded);
}

TEST(ReadLn, OtherTerminatorKeepsCarriageReturn) {
  TMemoryScript script("a\r.b\r\n.", 2, false);
  TMemoryHandler handler(script);
  EXPECT_EQ(handler.ReadLn(u"."), u"a\r");
  EXPECT_EQ(handler.ReadLn(u"."), u"b\r\n");
}

TEST(ReadLn, MultiByteTerminatorAcrossChunks) {
  for (int chunk = 1; chunk <= 6; ++chunk) {
    SCOPED_TRACE(chunk);
    TMemoryScript script("ab\r\n.\r\ncd\r\n.\r\n", chunk, true);
    TMemoryHandler handler(script);
    EXPECT_EQ(handler.ReadLn(u"\r\n.\r\n"), u"ab");
    EXPECT_EQ(handler.ReadLn(u"\r\n.\r\n"), u"cd");
  }
}

TEST(ReadLn, TimeOutKeepsThePartialLine) {
  TMemoryScript script("par", 100, false);
  TMemoryHandler handler(script);
  EXPECT_EQ(handler.ReadLn(u"\n", 50), u"");
  EXPECT_TRUE(handler.ReadLnTimedOut());
  script.Input += "tial\n";
  EXPECT_EQ(handler.ReadLn(), u"partial");
  EXPECT_FALSE(handler.ReadLnTimedOut());
}

TEST(ReadLn, DecodesWithTheGivenEncoding) {
  // Long enough that the decoder meets the high byte inside a block.
  const std::string line = "0123456789abcdefghij caf\xE9 0123456789abcdefghij";
  TMemoryScript script(line + "\n" + line + "\n", 100, true);
  TMemoryHandler handler(script);
  EXPECT_EQ(handler.ReadLn(), u"0123456789abcdefghij caf? 0123456789abcdefghij");
  EXPECT_EQ(handler.ReadLn(&TEncoding::ISO88591()),
            u"0123456789abcdefghij caf\u00E9 0123456789abcdefghij");
}

TEST(ReadLnWait, SkipsBlankLinesAndTrims) {
  TMemoryScript script("\r\n  \t \n  250 OK \r\n\n\n\nlast\n", 5, true);
  TMemoryHandler handler(script);
  EXPECT_EQ(handler.ReadLnWait(), u"250 OK");
  EXPECT_THROW(handler.ReadLnWait(2), EQxReadLnWaitMaxAttemptsExceeded);
  EXPECT_EQ(handler.ReadLnWait(), u"last");
}

TEST(ReadLnWait, SilentPeerWaitsAsLongAsReadTimeoutSays) {
  struct TCase {
    int ReadTimeout;
    int Wait;  // what the readiness test is told; -2 is no limit
  };
  for (const TCase& c : {TCase{1000, 1000}, TCase{-1, -2}, TCase{0, -2}}) {
    SCOPED_TRACE(c.ReadTimeout);
    TMemoryScript script("", 1, false);
    TMemoryHandler handler(script);
    handler.SetReadTimeout(c.ReadTimeout);
    EXPECT_EQ(test::MessageOf<EQxReadTimeout>([&] { handler.ReadLnWait(); }), u"Read timed out.");
    ASSERT_EQ(script.WaitTimeouts.size(), 1u);
    EXPECT_EQ(script.WaitTimeouts[0], c.Wait);
  }
}

TEST(ReadBytes, TakesExactlyTheCountAcrossChunks) {
  TMemoryScript script("0123456789", 3, true);
  TMemoryHandler handler(script);
  TQxBytes bytes;
  handler.ReadBytes(bytes, 4);
  handler.ReadBytes(bytes, 5);
  EXPECT_EQ(bytes, "012345678");
  EXPECT_THROW(handler.ReadBytes(bytes, 2), EQxConnClosedGracefully);
}

// --- writing ---

TEST(Write, DotStuffing) {
  struct TCase {
    std::u16string Line;
    std::string Wire;
  };
  const TCase cases[] = {
      {u".", "..\r\n"}, {u"..x", "...x\r\n"}, {u"", "\r\n"}, {u"a.b", "a.b\r\n"}, {u" .", " .\r\n"},
  };
  for (const auto& c : cases) {
    TMemoryScript script;
    script.CloseAtEnd = false;
    TMemoryHandler handler(script);
    handler.WriteLnRFC(c.Line);
    EXPECT_EQ(script.Sent(), c.Wire);
    EXPECT_EQ(script.Sends.size(), 1u);
  }
}

TEST(Write, RFCStringsWithTerminator) {
  TMemoryScript script;
  script.CloseAtEnd = false;
  TMemoryHandler handler(script);
  handler.WriteRFCStrings({u"hello", u".hidden"}, true);
  EXPECT_EQ(script.Sends, (std::vector<std::string>{"hello\r\n", "..hidden\r\n", ".\r\n"}));
}

TEST(Write, StringListGoesOutAsOneSend) {
  TMemoryScript script;
  script.CloseAtEnd = false;
  TMemoryHandler handler(script);
  handler.Write(TQxStrings{u"From: a", u"To: b", u"Subject: c"});
  EXPECT_EQ(script.Sends, (std::vector<std::string>{"From: a\r\nTo: b\r\nSubject: c\r\n"}));
  EXPECT_FALSE(handler.WriteBufferingActive());

  script.Sends.clear();
  handler.Write(TQxStrings{u"x", u"y"}, true);
  EXPECT_EQ(script.Sends, (std::vector<std::string>{std::string("\0\0\0\2x\r\ny\r\n", 10)}));
}

TEST(Write, StringListInsideOpenBufferWaitsForItsClose) {
  TMemoryScript script;
  script.CloseAtEnd = false;
  TMemoryHandler handler(script);
  handler.WriteBufferOpen();
  handler.WriteLn(u"RSET");
  handler.Write(TQxStrings{u"a", u"b"});
  EXPECT_TRUE(script.Sends.empty());
  handler.WriteBufferClose();
  EXPECT_EQ(script.Sends, (std::vector<std::string>{"RSET\r\na\r\nb\r\n"}));
}

TEST(Write, FailedStringListLeavesNothingBehind) {
  for (int k = 1; k <= 2; ++k) {
    SCOPED_TRACE(k);
    TMemoryScript script;
    script.CloseAtEnd = false;
    script.SendLimit = 4;  // the block takes several sends
    script.FailAt = k;
    TMemoryHandler handler(script);
    EXPECT_THROW(handler.Write(TQxStrings{u"one", u"two", u"three"}), EQxSocketError);
    EXPECT_FALSE(handler.WriteBufferingActive());
    script.Sends.clear();
    handler.WriteLn(u"next");
    EXPECT_EQ(script.Sent(), "next\r\n");
  }
}

TEST(Write, ShortSendsAreContinued) {
  for (int limit = 1; limit <= 14; ++limit) {
    SCOPED_TRACE(limit);
    TMemoryScript script;
    script.CloseAtEnd = false;
    script.SendLimit = limit;
    TMemoryHandler handler(script);
    std::int64_t reported = 0;
    handler.OnWork = [&](TQxComponent&, TWorkMode, std::int64_t ACount) { reported = ACount; };
    handler.BeginWork(wmWrite);
    handler.WriteLn(u"hello world");
    handler.EndWork(wmWrite);
    EXPECT_EQ(script.Sent(), "hello world\r\n");
    EXPECT_EQ(reported, 13);
  }
}

TEST(Write, WriteBufferThresholdFlushesInBlocks) {
  TMemoryScript script;
  script.CloseAtEnd = false;
  TMemoryHandler handler(script);
  handler.WriteBufferOpen(10);
  handler.Write(u"0123456");
  handler.Write(u"789abcdefghijk");
  EXPECT_EQ(script.Sends, (std::vector<std::string>{"0123456789", "abcdefghij"}));
  handler.WriteBufferCancel();
  EXPECT_EQ(script.Sends.size(), 2u);
  EXPECT_FALSE(handler.WriteBufferingActive());
}

TEST(Write, TextEncodings) {
  struct TCase {
    const TEncoding* Encoding;
    std::string Wire;
  };
  for (const auto& c : {TCase{nullptr, "caf?\r\n"}, TCase{&TEncoding::ISO88591(), "caf\xE9\r\n"}}) {
    TMemoryScript script;
    script.CloseAtEnd = false;
    TMemoryHandler handler(script);
    handler.WriteLn(u"caf\u00E9", c.Encoding);
    EXPECT_EQ(script.Sent(), c.Wire);
  }
  TMemoryScript script;
  script.CloseAtEnd = false;
  TMemoryHandler handler(script);
  handler.SetDefStringEncoding(&TEncoding::ISO88591());
  handler.WriteLn(u"\u00E9");
  handler.SetDefStringEncoding(nullptr);
  handler.WriteLn(u"\u00E9");
  EXPECT_EQ(script.Sent(), "\xE9\r\n?\r\n");
}

TEST(Write, AfterNoticedPeerCloseRaises) {
  TMemoryScript script("bye\n", 100, true);
  TMemoryHandler handler(script);
  EXPECT_EQ(handler.ReadLn(), u"bye");
  EXPECT_THROW(handler.ReadLn(), EQxConnClosedGracefully);
  EXPECT_THROW(handler.WriteLn(u"QUIT"), EQxConnClosedGracefully);
  EXPECT_TRUE(script.Sends.empty());
  EXPECT_TRUE(script.Closed);
}

}  // namespace
}  // namespace quorvex
