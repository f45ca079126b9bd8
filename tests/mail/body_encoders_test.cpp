#include "mail/body_encoders.h"

#include <gtest/gtest.h>

namespace quorvex {
namespace {

using Lines = std::vector<std::string>;

TEST(QuotedPrintableBody, EncodesLineByLine) {
  const std::string x100(100, 'x');
  const std::pair<std::string, Lines> cases[] = {
      {".a b \r\n", {"=2Ea b=20"}},
      {x100, {std::string(70, 'x') + "=", std::string(30, 'x')}},
      // Exactly 70 characters: the soft break leaves an empty last line.
      {std::string(70, 'x'), {std::string(70, 'x') + "=", ""}},
      {"a=b\tc\t\r\n\r\nd", {"a=3Db\tc=09", "", "d"}},
      {"one\rtwo\nthree\r\n", {"one", "two", "three"}},
      {"\xE9\x01\x7F", {"=E9=01=7F"}},
      // A dot after a soft break is at the start of a line too.
      {std::string(70, 'x') + ".", {std::string(70, 'x') + "=", "=2E"}},
      {"", {}},
  };
  for (const auto& [bytes, lines] : cases) {
    SCOPED_TRACE(bytes);
    EXPECT_EQ(TQxMessageEncoderQuotedPrintable::Encode(bytes), lines);
  }
}

TEST(QuotedPrintableBody, PiecesNeverStraddleTheSoftBreak) {
  // 69 letters then a byte that needs three characters: the line holds 72
  // characters and the soft break, 73 in all.
  const auto lines = TQxMessageEncoderQuotedPrintable::Encode(std::string(69, 'a') + "\xFF" + "b");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], std::string(69, 'a') + "=FF=");
  EXPECT_EQ(lines[1], "b");
}

TEST(Base64Body, WritesLinesOf76CharactersFrom57Bytes) {
  std::string bytes;
  for (int i = 0; i < 120; ++i) bytes += static_cast<char>(i * 7);
  const auto lines = TQxMessageEncoderMIME::Encode(bytes);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].size(), 76u);
  EXPECT_EQ(lines[1].size(), 76u);
  EXPECT_EQ(lines[2], "HiUsMzpB");  // the last 6 bytes
  EXPECT_EQ(TQxDecoderMIME::Decode(lines[0] + lines[1] + lines[2]), bytes);
  EXPECT_EQ(TQxMessageEncoderMIME::Encode(""), Lines{});
  EXPECT_EQ(TQxEncoderMIME::Encode("Ma"), "TWE=");
  EXPECT_EQ(TQxEncoderMIME::Encode("M"), "TQ==");
}

}  // namespace
}  // namespace quorvex
