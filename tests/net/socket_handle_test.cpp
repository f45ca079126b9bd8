#include "net/socket_handle.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <functional>

#include "net/net_errors.h"
#include "platform/text.h"
#include "support/loopback.h"
#include "support/raises.h"

namespace quorvex {
namespace {

using test::LocalPort;
using test::LoopbackSocket;

// A port that was free a moment ago (nothing else on this machine binds
// loopback ports on purpose during the tests).
std::uint16_t FreePort() {
  TUniqueFd probe = LoopbackSocket(AF_INET, -1);
  return LocalPort(probe.get());
}

std::unique_ptr<TQxSocketHandle> NewBinding() {
  auto binding = std::make_unique<TQxSocketHandle>();
  binding->AllocateSocket(SOCK_STREAM, 0);
  binding->SetIP(u"127.0.0.1");
  return binding;
}

TEST(SocketHandle, BindsToAPortOrARange) {
  const std::uint16_t free = FreePort();
  TUniqueFd taken = LoopbackSocket(AF_INET, -1);
  const std::uint16_t busy = LocalPort(taken.get());
  const std::u16string busyText = u16(std::to_string(busy));
  struct TCase {
    const char* Name;
    std::uint16_t Port, Min, Max;
    std::function<bool(std::uint16_t)> PortOk;
    std::u16string Error;
  };
  const TCase cases[] = {
      {"any port", 0, 0, 0, [](std::uint16_t p) { return p != 0; }, u""},
      {"given port", free, 0, 0, [&](std::uint16_t p) { return p == free; }, u""},
      {"port wins over range", free, 1, 2, [&](std::uint16_t p) { return p == free; }, u""},
      {"range of one", 0, free, free, [&](std::uint16_t p) { return p == free; }, u""},
      {"busy port", busy, 0, 0, nullptr,
       u"Could not bind socket. Address and port are already in use."},
      {"busy range", 0, busy, busy, nullptr,
       u"Can not bind in port range (" + busyText + u" - " + busyText + u")"},
      {"reversed range", 0, 5001, 5000, nullptr, u"Invalid Port Range (5001 - 5000)"},
      {"range below a busy top", 0, static_cast<std::uint16_t>(busy - 40), busy,
       [&](std::uint16_t p) { return p >= busy - 40 && p < busy; }, u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto binding = NewBinding();
    binding->SetPort(c.Port);
    binding->SetClientPortMin(c.Min);
    binding->SetClientPortMax(c.Max);
    EXPECT_EQ(test::ErrorOf<EQxSocketHandleError>([&] { binding->Bind(); }), c.Error);
    if (c.Error.empty()) {
      EXPECT_TRUE(c.PortOk && c.PortOk(binding->Port())) << binding->Port();
      EXPECT_EQ(binding->IP(), u"127.0.0.1");
    }
  }
}

TEST(SocketHandle, ConnectReadsBackBothEnds) {
  TUniqueFd listener = LoopbackSocket();
  auto binding = NewBinding();
  binding->Bind();
  binding->SetPeer(u"127.0.0.1", LocalPort(listener.get()), Qx_IPv4);
  binding->Connect();
  EXPECT_EQ(binding->PeerIP(), u"127.0.0.1");
  EXPECT_EQ(binding->PeerPort(), LocalPort(listener.get()));
  EXPECT_NE(binding->Port(), 0);
}

TEST(SocketHandle, RefusedConnect) {
  TUniqueFd closed = LoopbackSocket(AF_INET, -1);  // bound, not listening
  auto binding = NewBinding();
  binding->SetPeer(u"127.0.0.1", LocalPort(closed.get()), Qx_IPv4);
  try {
    binding->Connect();
    ADD_FAILURE() << "connected";
  } catch (const EQxSocketError& e) {
    EXPECT_EQ(e.LastError(), 10061);
    EXPECT_EQ(e.Message(), u"Socket Error # 10061\r\nConnection refused.");
  }
}

TEST(SocketHandle, ClosingTwiceIsQuietAndReadinessThenRaises) {
  auto binding = NewBinding();
  const int fd = binding->Handle();
  binding->CloseSocket();
  binding->CloseSocket();
  EXPECT_FALSE(binding->HandleAllocated());
  EXPECT_EQ(binding->Handle(), -1);
  EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
  EXPECT_THROW(binding->Readable(0), EQxConnClosedGracefully);
  EXPECT_THROW(binding->Connect(), EQxNotASocket);
}

TEST(SocketHandle, IPVersionChangesOnlyWithoutSocket) {
  auto binding = NewBinding();
  EXPECT_THROW(binding->SetIPVersion(Qx_IPv6), EQxCannotSetIPVersionWhenConnected);
  binding->CloseSocket();
  binding->SetIPVersion(Qx_IPv6);
  EXPECT_EQ(binding->IPVersion(), Qx_IPv6);
}

}  // namespace
}  // namespace quorvex
