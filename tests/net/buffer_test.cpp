#include "net/buffer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "net/net_errors.h"
#include "support/raises.h"

namespace quorvex {
namespace {

// Random appends and removals against a plain string as the model.
TEST(Buffer, BehavesLikeAQueueThroughGrowthAndCompaction) {
  std::mt19937 random(7);
  int removedReported = 0;
  TQxBuffer buffer([&](TQxBuffer&, int ACount) { removedReported += ACount; });
  std::string model;
  int removed = 0;
  for (int step = 0; step < 4000; ++step) {
    const int op = random() % 5;
    if (op == 0) {
      std::string bytes(random() % 5000, '\0');
      for (auto& b : bytes) b = static_cast<char>('a' + random() % 3);
      buffer.Write(bytes);
      model += bytes;
    } else if (op == 1 && !model.empty()) {
      const int count = 1 + random() % model.size();
      TQxBytes out = "prefix:";
      buffer.ExtractToBytes(out, count);
      ASSERT_EQ(out, "prefix:" + model.substr(0, count));
      model.erase(0, count);
      removed += count;
    } else if (op == 2 && !model.empty()) {
      const int count = 1 + random() % std::min<size_t>(model.size(), 300);
      buffer.Remove(count);
      model.erase(0, count);
      removed += count;
    } else if (op == 3 && !model.empty()) {
      const int at = random() % model.size();
      const std::string bytes(1 + random() % 100, 'c');
      buffer.Write(bytes, at);
      model.insert(at, bytes);
    } else if (!model.empty()) {
      const std::string pattern(1 + random() % 4, static_cast<char>('a' + random() % 3));
      const int start = random() % model.size();
      const size_t expected = model.find(pattern, start);
      ASSERT_EQ(buffer.IndexOf(pattern, start),
                expected == std::string::npos ? -1 : static_cast<int>(expected));
    }
    ASSERT_EQ(buffer.Peek(), model);
    ASSERT_EQ(buffer.Size(), static_cast<int>(model.size()));
  }
  EXPECT_EQ(removedReported, removed);
}

TEST(Buffer, SpareRoomIsTrimmedAsTheHeadMoves) {
  TQxBuffer buffer;
  buffer.Write(std::string(1 << 20, 'x'));
  buffer.Write(std::string("tail"));
  buffer.Remove((1 << 20) - 2);
  EXPECT_EQ(buffer.Peek(), "xxtail");
  EXPECT_LE(buffer.Capacity(), buffer.Size() + buffer.GrowthFactor());
  buffer.Remove(100);
  EXPECT_EQ(buffer.Size(), 0);
  EXPECT_EQ(buffer.Capacity(), 0);
}

TEST(Buffer, ArgumentErrors) {
  TQxBuffer empty;
  EXPECT_EQ(empty.IndexOf(std::string_view()), -1);  // an empty buffer answers first
  TQxBuffer buffer(std::string_view("abc"));
  struct TCase {
    std::function<void()> Call;
    std::u16string Message;
  };
  const TCase cases[] = {
      {[&] { buffer.IndexOf(std::string_view()); }, u"Buffer terminator must be specified."},
      {[&] { buffer.IndexOf("a", -1); }, u"Buffer start position is invalid."},
      {[&] { buffer.IndexOf("a", 3); }, u"Buffer start position is invalid."},
      {[&] {
         TQxBytes out;
         buffer.ExtractToBytes(out, 5);
       },
       u"Not enough data in buffer. (5/3)"},
      {[&] { buffer.Extract(4); }, u"Not enough data in buffer. (4/3)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(test::MessageOf<EQxException>(c.Call), c.Message);
  }
  EXPECT_EQ(buffer.Peek(), "abc");
}

TEST(Buffer, ExtractWithoutAppendOverwritesTheStart) {
  TQxBuffer buffer(std::string_view("abcdef"));
  TQxBytes out = "XXXX";
  buffer.ExtractToBytes(out, 2, false);
  EXPECT_EQ(out, "abXX");
  buffer.ExtractToBytes(out, 4, false);
  EXPECT_EQ(out, "cdef");
  out = "";
  buffer.Write(std::string("123"));
  buffer.ExtractToBytes(out, 0, false);
  EXPECT_EQ(out, "");
  EXPECT_EQ(buffer.Extract(0), u"");
  EXPECT_EQ(buffer.Extract(-1), u"123");
}

TEST(Buffer, TextUsesTheBufferEncodingElseASCII) {
  TQxBuffer buffer;
  buffer.Write(u"\u00E9", nullptr);
  buffer.SetEncoding(&TEncoding::ISO88591());
  buffer.Write(u"\u00E9", nullptr);
  EXPECT_EQ(buffer.Peek(), "?\xE9");
  EXPECT_EQ(buffer.IndexOf(u"\u00E9", 0, nullptr), 1);
  EXPECT_EQ(buffer.Extract(-1, &TEncoding::ASCII()), u"??");
}

}  // namespace
}  // namespace quorvex
