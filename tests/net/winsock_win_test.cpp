// The socket stack on Windows Sockets 2: the system's own error codes give
// the messages, and connections reach a real peer.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>

#include <thread>

#include "net/net_errors.h"
#include "net/openssl_library.h"
#include "net/socket_error.h"
#include "net/ssl_errors.h"
#include "net/ssl_openssl.h"
#include "net/stack.h"
#include "net/tcp_client.h"
#include "platform/text.h"

namespace quorvex {
namespace {

// A listening socket on 127.0.0.1 that accepts one connection, says one
// line and closes; or one bound and closed, so that nothing listens there.
class TLoopbackListener {
 public:
  explicit TLoopbackListener(bool AListen) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    _socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(_socket, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    int length = sizeof addr;
    getsockname(_socket, reinterpret_cast<sockaddr*>(&addr), &length);
    _port = ntohs(addr.sin_port);
    if (!AListen) {
      closesocket(_socket);
      _socket = INVALID_SOCKET;
      return;
    }
    listen(_socket, 1);
    _thread = std::thread([this] {
      const SOCKET peer = accept(_socket, nullptr, nullptr);
      if (peer == INVALID_SOCKET) return;
      send(peer, "220 hello\r\n", 11, 0);
      shutdown(peer, SD_SEND);
      char sink[64];
      while (recv(peer, sink, sizeof sink, 0) > 0) {
      }
      closesocket(peer);
    });
  }
  ~TLoopbackListener() {
    if (_socket != INVALID_SOCKET) closesocket(_socket);
    if (_thread.joinable()) _thread.join();
    WSACleanup();
  }
  std::uint16_t Port() const { return _port; }

 private:
  SOCKET _socket = INVALID_SOCKET;
  std::uint16_t _port = 0;
  std::thread _thread;
};

TEST(Winsock, ConnectsAndReadsALine) {
  TLoopbackListener listener(true);
  TQxTCPClientCustom client;
  client.SetHost(u"localhost");  // no lookup: 127.0.0.1 at once
  client.SetPort(listener.Port());
  client.SetReadTimeout(10000);
  client.Connect();
  EXPECT_EQ(client.IOHandler()->ReadLn(), u"220 hello");
  client.Disconnect();
}

struct TFailureCase {
  const char* what;
  std::u16string host;
  int code;
  std::u16string text;
};

TEST(Winsock, FailuresCarryTheSystemsCodeAndText) {
  TLoopbackListener closed(false);
  const TFailureCase cases[] = {
      {"nothing listens", u"127.0.0.1", 10061, u"Connection refused."},
      {"no such host", u"no-such-host.invalid", 11001, u"Host not found."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TQxTCPClientCustom client;
    client.SetHost(c.host);
    client.SetPort(closed.Port());
    try {
      client.Connect();
      ADD_FAILURE() << "connected";
    } catch (const EQxSocketError& e) {
      EXPECT_EQ(e.LastError(), c.code);
      EXPECT_EQ(e.Message(), u"Socket Error # " + u16(std::to_string(c.code)) + u"\r\n" + c.text);
    }
  }
}

TEST(Winsock, LastErrorIsTheThreadsWinsockCode) {
  WSSetLastError(10054);
  EXPECT_EQ(WSGetLastError(), 10054);
  EXPECT_EQ(WSAGetLastError(), 10054);
  EXPECT_EQ(SocketErrorFromSystem(10060), 10060);
  EXPECT_EQ(SocketErrorFromResolverResult(WSAHOST_NOT_FOUND, 0), 11001);
}

// No OpenSSL is installed in the test's prefix: TLS says so, as the
// library's absence must be told.
TEST(Winsock, WithoutOpenSSLTheLibraryCannotBeLoaded) {
  TQxOpenSSLLibrary library;
  EXPECT_FALSE(library.Load());
  EXPECT_FALSE(library.Missing().empty());
  TLoopbackListener listener(true);
  TQxTCPClientCustom client;
  TQxSSLIOHandlerSocketOpenSSL handler;
  client.SetIOHandler(&handler);
  client.SetHost(u"127.0.0.1");
  client.SetPort(listener.Port());
  client.SetReadTimeout(10000);
  handler.SetPassThrough(true);
  client.Connect();
  try {
    handler.SetPassThrough(false);
    ADD_FAILURE() << "TLS started without OpenSSL";
  } catch (const EQxOSSLCouldNotLoadSSLLibrary& e) {
    EXPECT_EQ(e.Message(), u"Could not load SSL library.");
  }
  client.Disconnect();
  client.SetIOHandler(nullptr);
}

}  // namespace
}  // namespace quorvex
