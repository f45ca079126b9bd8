#include "net/tcp_client.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

#include "net/net_errors.h"
#include "platform/text.h"
#include "support/loopback.h"
#include "support/raises.h"

namespace quorvex {
namespace {

using test::AcceptWithin;
using test::LocalPort;
using test::LoopbackSocket;
using test::ReceiveUpTo;
using test::SendAll;

using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point AStart) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - AStart).count();
}

// A client with a listener on 127.0.0.1 to connect to.
class TcpClientTest : public ::testing::Test {
 protected:
  TcpClientTest() : _listener(LoopbackSocket()) {
    _client.SetHost(u"127.0.0.1");
    _client.SetPort(LocalPort(_listener.get()));
    _client.SetReadTimeout(5000);  // no test waits without bound
  }
  TUniqueFd ConnectAndAccept() {
    _client.Connect();
    return AcceptWithin(_listener.get());
  }

  TUniqueFd _listener;
  TQxTCPClientCustom _client;
};

TEST_F(TcpClientTest, ConnectsAndExchangesLines) {
  std::vector<std::u16string> statuses;
  _client.OnStatus = [&](TQxComponent&, TQxStatus, const std::u16string& AText) {
    statuses.push_back(AText);
  };
  _client.SetHost(u"LOCALHOST");
  TUniqueFd peer = ConnectAndAccept();
  ASSERT_TRUE(_client.Connected());
  ASSERT_NE(_client.Socket(), nullptr);
  EXPECT_TRUE(_client.ManagedIOHandler());
  EXPECT_EQ(_client.Socket()->Binding()->PeerIP(), u"127.0.0.1");
  EXPECT_EQ(_client.Socket()->Binding()->PeerPort(), LocalPort(_listener.get()));
  EXPECT_EQ(statuses, (std::vector<std::u16string>{u"Resolving hostname LOCALHOST.",
                                                   u"Connecting to 127.0.0.1.", u"Connected."}));

  _client.IOHandler()->WriteLn(u"EHLO me");
  EXPECT_EQ(ReceiveUpTo(peer.get(), 9), "EHLO me\r\n");
  SendAll(peer.get(), "250-first\r\n250 second\r\n");
  EXPECT_EQ(_client.IOHandler()->ReadLnWait(), u"250-first");
  EXPECT_EQ(_client.IOHandler()->ReadLnWait(), u"250 second");

  _client.Disconnect();
  EXPECT_FALSE(_client.Connected());
  EXPECT_EQ(ReceiveUpTo(peer.get(), 1), "");  // the peer sees the close
}

TEST_F(TcpClientTest, ConnectOverIPv6Loopback) {
  TUniqueFd listener6;
  try {
    listener6 = LoopbackSocket(AF_INET6);
  } catch (const std::exception&) {
    GTEST_SKIP() << "no IPv6 loopback here";
  }
  _client.SetIPVersion(Qx_IPv6);
  _client.SetHost(u"::1");
  _client.SetPort(LocalPort(listener6.get()));
  _client.Connect();
  TUniqueFd peer = AcceptWithin(listener6.get());
  EXPECT_EQ(_client.Socket()->Binding()->PeerIP(), u"0:0:0:0:0:0:0:1");
  _client.IOHandler()->WriteLn(u"hi");
  EXPECT_EQ(ReceiveUpTo(peer.get(), 4), "hi\r\n");
}

TEST_F(TcpClientTest, ConnectChecksComeFirst) {
  TUniqueFd peer = ConnectAndAccept();
  EXPECT_THROW(_client.Connect(), EQxAlreadyConnected);
  EXPECT_TRUE(_client.Connected());
  _client.IOHandler()->WriteLn(u"still here");
  EXPECT_EQ(ReceiveUpTo(peer.get(), 12), "still here\r\n");

  struct TCase {
    std::u16string Host;
    std::uint16_t Port;
    std::function<void(TQxTCPClientCustom&)> Connect;
    bool HostMissing;
  };
  const TCase cases[] = {
      {u"", 25, [](TQxTCPClientCustom& c) { c.Connect(); }, true},
      {u"127.0.0.1", 0, [](TQxTCPClientCustom& c) { c.Connect(); }, false},
      {u"x", 25, [](TQxTCPClientCustom& c) { c.Connect(u""); }, true},
  };
  for (const auto& c : cases) {
    TQxTCPClientCustom client;
    client.SetHost(c.Host);
    client.SetPort(c.Port);
    try {
      c.Connect(client);
      ADD_FAILURE() << "connected";
    } catch (const EQxHostRequired& e) {
      EXPECT_TRUE(c.HostMissing);
      EXPECT_EQ(e.Message(), u"");
    } catch (const EQxPortRequired& e) {
      EXPECT_FALSE(c.HostMissing);
      EXPECT_EQ(e.Message(), u"");
    }
    EXPECT_EQ(client.IOHandler(), nullptr);
  }
}

TEST(TcpClient, RefusedConnectCleansUp) {
  TUniqueFd closed = LoopbackSocket(AF_INET, -1);  // bound, not listening: refuses
  struct TCase {
    bool OwnHandler;
    int ConnectTimeout;
  };
  for (const TCase& c : {TCase{false, 0}, TCase{true, 0}, TCase{false, 3000}}) {
    SCOPED_TRACE(std::to_string(c.OwnHandler) + " " + std::to_string(c.ConnectTimeout));
    TQxIOHandlerStack own;
    TQxTCPClientCustom client;
    if (c.OwnHandler) client.SetIOHandler(&own);
    client.SetConnectTimeout(c.ConnectTimeout);
    EXPECT_EQ(test::ReadRaised<EQxSocketError>(
                  [&] { client.Connect(u"127.0.0.1", LocalPort(closed.get())); },
                  [](const EQxSocketError& e) {
                    const std::u16string& m = e.Message();
                    return std::pair(e.LastError(), m.substr(m.find(u"\r\n") + 2));
                  }),
              std::pair(10061, std::u16string(u"Connection refused.")));
    EXPECT_FALSE(client.Connected());
    if (c.OwnHandler) {
      EXPECT_EQ(client.IOHandler(), &own);
      EXPECT_FALSE(own.BindingAllocated());
      EXPECT_FALSE(own.Opened());
    } else {
      EXPECT_EQ(client.IOHandler(), nullptr);
    }
  }
}

TEST(TcpClient, TimedConnectGivesUpOnAPeerThatNeverAnswers) {
  const auto full = test::FullBacklogListener();
  if (!full) GTEST_SKIP() << "this kernel answers a full accept queue with a reset";
  const std::uint16_t port = full->Port;

  TQxTCPClientCustom client;
  client.SetConnectTimeout(1000);
  int fd = -1;
  client.SetOnSocketAllocated([&](TQxComponent& ASender) {
    fd = static_cast<TQxIOHandlerSocket&>(ASender).Binding()->Handle();
  });
  const auto start = Clock::now();
  try {
    client.Connect(u"127.0.0.1", port);
    ADD_FAILURE() << "connected";
  } catch (const EQxConnectTimeout& e) {
    EXPECT_EQ(e.Message(), u"Connect timed out.");
  }
  const long long elapsed = MillisecondsSince(start);
  EXPECT_GE(elapsed, 950);
  EXPECT_LT(elapsed, 10000);
  ASSERT_NE(fd, -1);
  EXPECT_EQ(::fcntl(fd, F_GETFD), -1);  // the socket is closed
  EXPECT_EQ(client.IOHandler(), nullptr);
}

TEST_F(TcpClientTest, TimedConnectThatSucceeds) {
  _client.SetConnectTimeout(5000);
  TUniqueFd peer = ConnectAndAccept();
  EXPECT_TRUE(_client.Connected());
  _client.IOHandler()->WriteLn(u"ok");
  EXPECT_EQ(ReceiveUpTo(peer.get(), 4), "ok\r\n");
}

TEST_F(TcpClientTest, ConnectedWhileUnreadBytesRemainAfterPeerClose) {
  TUniqueFd peer = ConnectAndAccept();
  SendAll(peer.get(), "a\nb\n");
  peer.reset();
  TQxIOHandler& io = *_client.IOHandler();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let the FIN arrive
  EXPECT_TRUE(_client.Connected());
  EXPECT_EQ(io.ReadLn(), u"a");
  EXPECT_TRUE(_client.Connected());
  EXPECT_EQ(io.ReadLn(), u"b");
  EXPECT_FALSE(_client.Connected());
  EXPECT_THROW(io.ReadLn(), EQxConnClosedGracefully);
  EXPECT_THROW(io.WriteLn(u"QUIT"), EQxConnClosedGracefully);
}

TEST_F(TcpClientTest, WritingToAVanishedPeerRaisesWithoutSignal) {
  TUniqueFd peer = ConnectAndAccept();
  peer.reset();
  TQxIOHandler& io = *_client.IOHandler();
  bool raised = false;
  for (int i = 0; i < 200 && !raised; ++i) {
    try {
      io.WriteLn(u"DATA");
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } catch (const EQxSocketError& e) {
      raised = true;
      EXPECT_TRUE(e.LastError() == 10054 || e.LastError() == 10058 || e.LastError() == 10053)
          << e.LastError();
    } catch (const EQxConnClosedGracefully&) {
      raised = true;
    }
  }
  EXPECT_TRUE(raised);
}

TEST_F(TcpClientTest, SilentPeerTimesOutAfterReadTimeout) {
  _client.SetReadTimeout(1000);
  TUniqueFd peer = ConnectAndAccept();
  const auto start = Clock::now();
  EXPECT_THROW(_client.IOHandler()->ReadLnWait(), EQxReadTimeout);
  const long long elapsed = MillisecondsSince(start);
  EXPECT_GE(elapsed, 950);
  EXPECT_LT(elapsed, 10000);
  EXPECT_TRUE(_client.Connected());
}

class TNotifyingClient : public TQxTCPClientCustom {
 public:
  int Notified = 0;

 protected:
  void DisconnectNotifyPeer() override {
    ++Notified;
    IOHandler()->WriteLn(u"QUIT");
  }
};

TEST(TcpClient, DisconnectNotifiesOnlyAConnectedPeer) {
  TUniqueFd listener = LoopbackSocket();
  struct TCase {
    const char* Name;
    bool Open;
    bool PeerCloses;
    int Notified;
    int Disconnected;  // noticing the peer's close already closed the handler
  };
  const TCase cases[] = {
      {"connected", true, false, 1, 1},
      {"peer gone", true, true, 0, 0},
      {"never opened", false, false, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TNotifyingClient client;
    TQxIOHandlerStack handler;
    client.SetIOHandler(&handler);
    int disconnected = 0;
    client.OnDisconnected = [&](TQxComponent&) { ++disconnected; };
    TUniqueFd peer;
    if (c.Open) {
      client.Connect(u"127.0.0.1", LocalPort(listener.get()));
      peer = AcceptWithin(listener.get());
    }
    if (c.PeerCloses) {
      peer.reset();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    client.Disconnect();
    EXPECT_EQ(client.Notified, c.Notified);
    EXPECT_EQ(disconnected, c.Disconnected);
    EXPECT_FALSE(handler.Opened());
    EXPECT_FALSE(handler.BindingAllocated());
    if (c.Notified) {
      EXPECT_EQ(ReceiveUpTo(peer.get(), 100), "QUIT\r\n");
    }
  }
}

TEST(TcpClient, SettingsReachTheHandler) {
  TUniqueFd listener = LoopbackSocket();
  TUniqueFd probe = LoopbackSocket(AF_INET, -1);
  const std::uint16_t localPort = LocalPort(probe.get());
  probe.reset();

  TQxTCPClientCustom client;
  client.SetReadTimeout(1234);
  client.SetBoundIP(u"127.0.0.1");
  client.SetBoundPortMin(localPort);
  client.SetBoundPortMax(localPort);
  TQxIOHandlerStack handler;
  client.SetIOHandler(&handler);
  EXPECT_EQ(handler.ReadTimeout(), 1234);
  EXPECT_EQ(handler.BoundPortMin(), localPort);
  client.SetConnectTimeout(4000);
  EXPECT_EQ(handler.ConnectTimeout(), 4000);
  handler.SetReadTimeout(77);
  EXPECT_EQ(client.ReadTimeout(), 77);

  client.SetDestination(u"ignored:1");  // Host and Port given after it win
  client.Connect(u"127.0.0.1", LocalPort(listener.get()));
  EXPECT_EQ(handler.Binding()->Port(), localPort);
  EXPECT_EQ(handler.Binding()->IP(), u"127.0.0.1");
  EXPECT_EQ(handler.Destination(), u"ignored:1");
  EXPECT_EQ(handler.ReadTimeout(), 1234);
}

TEST(TcpClient, HandlerFreedElsewhereIsForgotten) {
  TQxTCPClientCustom client;
  auto handler = std::make_unique<TQxIOHandlerStack>();
  client.SetIOHandler(handler.get());
  EXPECT_EQ(handler->WorkTarget(), &client);
  handler.reset();
  EXPECT_EQ(client.IOHandler(), nullptr);
  EXPECT_EQ(client.Socket(), nullptr);
  EXPECT_FALSE(client.Connected());
  EXPECT_THROW(client.CheckForGracefulDisconnect(), EQxException);
}

TEST(IOHandler, DestinationSplitsHostAndPort) {
  struct TCase {
    std::u16string Destination;
    std::u16string Host;
    int Port;
  };
  const TCase cases[] = {
      {u"mail.test:587", u"mail.test", 587},
      {u"mail.test: 25 ", u"mail.test", 25},
      {u"mail.test:abc", u"mail.test", 2525},
      {u"::1:26", u"::1", 26},
  };
  for (const auto& c : cases) {
    TQxIOHandlerStack handler;
    handler.SetDefaultPort(2525);
    handler.SetDestination(c.Destination);
    EXPECT_EQ(handler.Host(), c.Host);
    EXPECT_EQ(handler.Port(), c.Port);
  }
}

}  // namespace
}  // namespace quorvex
