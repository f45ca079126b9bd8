#include "process/split_command_line.h"

#include <gtest/gtest.h>

namespace quorvex {
namespace {

TEST(SplitCommandLine, BlanksSeparateQuotesGroup) {
  struct Case {
    std::u16string line;
    std::vector<std::u16string> args;
  };
  const Case cases[] = {
      {u"", {}},
      {u"   \t ", {}},
      {u"openvpn --config x.ovpn", {u"openvpn", u"--config", u"x.ovpn"}},
      {u"  a \t b  ", {u"a", u"b"}},
      {u"openvpn --config \"/etc/my vpn/a b.ovpn\"",
       {u"openvpn", u"--config", u"/etc/my vpn/a b.ovpn"}},
      {u"pre\"fix mid\"post next", {u"prefix midpost", u"next"}},
      {u"a \"\" b", {u"a", u"", u"b"}},
      {u"C:\\dir\\x.exe \\\"", {u"C:\\dir\\x.exe", u"\\"}},
      {u"a \"unterminated  rest", {u"a", u"unterminated  rest"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.line.begin(), c.line.end()));
    EXPECT_EQ(splitCommandLine(c.line), c.args);
  }
}

}  // namespace
}  // namespace quorvex
