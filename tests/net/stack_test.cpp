#include "net/stack.h"

#include <gtest/gtest.h>
#include <netdb.h>

#include <memory>
#include <string>
#include <vector>

#include "net/buffer.h"
#include "net/io_handler_socket.h"
#include "net/net_errors.h"
#include "platform/text.h"
#include "support/raises.h"

namespace quorvex {
namespace {

TEST(Stack, IsIP) {
  struct TCase {
    std::u16string Text;
    bool IsIP;
  };
  const TCase cases[] = {
      {u"1.2.3.4", true},     {u"10. 0.0.1", true},
      {u" 127.0.0.1 ", true}, {u"255.255.255.255", true},
      {u"0.0.0.0", true},     {u"1.2.3.4.", true},
      {u"1.2.3", false},      {u"1.2.3.4.5", false},
      {u"256.1.1.1", false},  {u"1..2.3", false},
      {u"", false},           {u"a.b.c.d", false},
      {u"localhost", false},  {u"1.2.3.4x", false},
      {u"-1.2.3.4", false},   {u"::1", false},
  };
  for (const auto& c : cases) EXPECT_EQ(TQxStack::IsIP(c.Text), c.IsIP) << toUtf8(c.Text);
}

// Answers every lookup from a table and records what was asked.
class TTableResolver final : public TQxNameResolver {
 public:
  struct TEntry {
    std::string Host;
    TResult Result;
  };
  TTableResolver(std::vector<TEntry> AEntries, std::vector<std::string>& VAsked)
      : _entries(std::move(AEntries)), _asked(VAsked) {}
  TResult Lookup(const std::string& AHost, TQxIPVersion AIPVersion) override {
    _asked.push_back(AHost + (AIPVersion == Qx_IPv6 ? "/6" : "/4"));
    for (const auto& e : _entries)
      if (e.Host == AHost) return e.Result;
    return TResult{EAI_NONAME, 0, {}};
  }

 private:
  std::vector<TEntry> _entries;
  std::vector<std::string>& _asked;
};

class ResolveHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<TTableResolver::TEntry> entries = {
        {"192.168.1", {0, 0, {10, 0, 0, 7}}},
        {"mail.test", {0, 0, {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0a, 0, 0x01}}},
        {"again.test", {EAI_AGAIN, 0, {}}},
        {"system.test", {EAI_SYSTEM, ENETUNREACH, {}}},
    };
    _previous = TQxStack::Instance().SetNameResolver(
        std::make_unique<TTableResolver>(std::move(entries), _asked));
  }
  void TearDown() override { TQxStack::Instance().SetNameResolver(std::move(_previous)); }

  TQxBuffer _usage;  // keeps the stack, and so the resolver, alive
  std::unique_ptr<TQxNameResolver> _previous;
  std::vector<std::string> _asked;
};

TEST_F(ResolveHostTest, LiteralsAndNames) {
  struct TCase {
    std::u16string Host;
    TQxIPVersion Version;
    std::u16string Address;
    std::vector<std::string> Asked;
  };
  const TCase cases[] = {
      {u"localhost", Qx_IPv4, u"127.0.0.1", {}},
      {u"LocalHost", Qx_IPv4, u"127.0.0.1", {}},
      {u"192.168.1.10", Qx_IPv4, u"192.168.1.10", {}},
      {u"10. 0.0.1", Qx_IPv4, u"10. 0.0.1", {}},
      {u"192.168.1", Qx_IPv4, u"10.0.0.7", {"192.168.1/4"}},
      {u"::1", Qx_IPv6, u"0:0:0:0:0:0:0:1", {}},
      {u"2001:DB8::FF00:42:8329", Qx_IPv6, u"2001:db8:0:0:0:ff00:42:8329", {}},
      {u"mail.test", Qx_IPv6, u"2001:db8:0:0:0:0:a:1", {"mail.test/6"}},
      {u"localhost", Qx_IPv6, u"", {"localhost/6"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(toUtf8(c.Host));
    _asked.clear();
    std::u16string address;
    try {
      address = TQxStack::Instance().ResolveHost(c.Host, c.Version);
    } catch (const EQxSocketError& e) {
      EXPECT_EQ(e.LastError(), 11001);
    }
    EXPECT_EQ(address, c.Address);
    EXPECT_EQ(_asked, c.Asked);
  }
}

TEST_F(ResolveHostTest, LookupFailuresBecomeSocketErrors) {
  struct TCase {
    std::u16string Host;
    int Code;
    std::u16string Message;
  };
  const TCase cases[] = {
      {u"nowhere.test", 11001, u"Socket Error # 11001\r\nHost not found."},
      {u"again.test", 11002, u"Socket Error # 11002\r\n"},
      {u"system.test", 10051, u"Socket Error # 10051\r\nNetwork is unreachable."},
  };
  const auto codeAndMessage = [](const EQxSocketError& e) {
    return std::pair(e.LastError(), e.Message());
  };
  for (const auto& c : cases) {
    EXPECT_EQ(test::ReadRaised<EQxSocketError>(
                  [&] { TQxStack::Instance().ResolveHost(c.Host, Qx_IPv4); }, codeAndMessage),
              std::pair(c.Code, c.Message))
        << toUtf8(c.Host);
  }
  EXPECT_THROW(TQxStack::Instance().ResolveHost(u"x", static_cast<TQxIPVersion>(7)),
               EQxIPVersionUnsupported);
}

TEST(Stack, LivesWhileAnyComponentOrBufferUsesIt) {
  ASSERT_FALSE(TQxStack::Exists());
  {
    TQxBuffer buffer;
    EXPECT_TRUE(TQxStack::Exists());
    {
      TQxIOHandlerStack handler;
      EXPECT_TRUE(TQxStack::Exists());
    }
    EXPECT_TRUE(TQxStack::Exists());
  }
  EXPECT_FALSE(TQxStack::Exists());
}

}  // namespace
}  // namespace quorvex
