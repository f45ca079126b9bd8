// Requests through WinHTTP against a small HTTP peer on 127.0.0.1.
#include <gtest/gtest.h>

#include <winsock2.h>

#include <string>
#include <thread>

#include "web/https_client.h"

namespace quorvex {
namespace {

// Accepts one connection, keeps the request, and answers with `reply`.
class TOneAnswerPeer {
 public:
  explicit TOneAnswerPeer(std::string reply) : _reply(std::move(reply)) {
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
    listen(_socket, 1);
    _thread = std::thread([this] {
      const SOCKET peer = accept(_socket, nullptr, nullptr);
      if (peer == INVALID_SOCKET) return;
      // Bounded: the client sends its whole request at once, or gives up.
      DWORD timeout = 10000;
      setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                 sizeof timeout);
      char chunk[4096];
      int n;
      while ((n = recv(peer, chunk, sizeof chunk, 0)) > 0) {
        _request.append(chunk, n);
        const size_t end = _request.find("\r\n\r\n");
        const size_t lengthAt = _request.find("Content-Length: ");
        if (end != std::string::npos && lengthAt != std::string::npos &&
            _request.size() >= end + 4 + std::stoul(_request.substr(lengthAt + 16)))
          break;
      }
      send(peer, _reply.data(), static_cast<int>(_reply.size()), 0);
      shutdown(peer, SD_SEND);
      closesocket(peer);
    });
  }
  ~TOneAnswerPeer() {
    closesocket(_socket);
    if (_thread.joinable()) _thread.join();
    WSACleanup();
  }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(_port) + "/token?x=1"; }
  const std::string& request() {
    if (_thread.joinable()) _thread.join();
    return _request;
  }

 private:
  std::string _reply;
  SOCKET _socket = INVALID_SOCKET;
  std::uint16_t _port = 0;
  std::thread _thread;
  std::string _request;
};

TEST(HttpsClientWin, PostsTheFormAndReturnsStatusAndBody) {
  TOneAnswerPeer peer(
      "HTTP/1.1 400 Bad Request\r\nContent-Type: application/json\r\nContent-Length: 27\r\n"
      "Connection: close\r\n\r\n{\"error\":\"invalid_grant\"}\r\n");
  const THttpResponse response =
      postForm(peer.url(), {{"grant_type", "refresh_token"}, {"a b", "c&d"}});
  EXPECT_EQ(response.status, 400);
  EXPECT_EQ(response.body, "{\"error\":\"invalid_grant\"}\r\n");
  const std::string& request = peer.request();
  EXPECT_EQ(request.rfind("POST /token?x=1 HTTP/1.1\r\n", 0), 0u) << request;
  EXPECT_NE(request.find("Content-Type: application/x-www-form-urlencoded\r\n"), std::string::npos);
  EXPECT_NE(request.find("\r\n\r\ngrant_type=refresh_token&a%20b=c%26d"), std::string::npos)
      << request;
}

TEST(HttpsClientWin, RefusesPlainAddressesAndFailsWithTheReason) {
  EXPECT_THROW(postForm("http://example.org/token", {}), EHttpError);
  THttpLimits quick;
  quick.connectTimeoutMs = 2000;
  quick.totalTimeoutMs = 2000;
  // Nothing listens on port 9 of the loopback here.
  EXPECT_THROW(postForm("http://127.0.0.1:9/token", {}, quick), EHttpError);
}

}  // namespace
}  // namespace quorvex
