#pragma once

// Loopback peers for the socket tests: a listener on 127.0.0.1 or ::1 with a
// port the system picks, and the accepted end as a plain descriptor.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/unique_fd.h"

namespace quorvex::test {

// A TCP socket on the loopback address, bound to APort (0: any); listening
// with ABacklog unless ABacklog is negative. AReuseAddress lets a peer take a
// given port again while the last connection on it is still winding down.
inline TUniqueFd LoopbackSocket(int AFamily = AF_INET, int ABacklog = 16, std::uint16_t APort = 0,
                                bool AReuseAddress = false) {
  TUniqueFd fd(::socket(AFamily, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (fd.get() < 0) throw std::runtime_error("socket");
  const int on = 1;
  if (AReuseAddress) ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_storage addr{};
  socklen_t length;
  if (AFamily == AF_INET) {
    auto& in = reinterpret_cast<sockaddr_in&>(addr);
    in.sin_family = AF_INET;
    in.sin_port = htons(APort);
    in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    length = sizeof in;
  } else {
    auto& in6 = reinterpret_cast<sockaddr_in6&>(addr);
    in6.sin6_family = AF_INET6;
    in6.sin6_port = htons(APort);
    in6.sin6_addr = in6addr_loopback;
    length = sizeof in6;
  }
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), length) != 0)
    throw std::runtime_error("bind");
  if (ABacklog >= 0 && ::listen(fd.get(), ABacklog) != 0) throw std::runtime_error("listen");
  return fd;
}

inline std::uint16_t LocalPort(int AFd) {
  sockaddr_storage addr{};
  socklen_t length = sizeof addr;
  ::getsockname(AFd, reinterpret_cast<sockaddr*>(&addr), &length);
  return addr.ss_family == AF_INET ? ntohs(reinterpret_cast<sockaddr_in&>(addr).sin_port)
                                   : ntohs(reinterpret_cast<sockaddr_in6&>(addr).sin6_port);
}

// A listener on 127.0.0.1 whose accept queue is full: it drops further SYNs,
// so a connect to Port waits for retries that go unanswered and cannot
// complete. Empty when this kernel answers a full queue with a reset.
struct TFullListener {
  TUniqueFd Listener;
  std::vector<TUniqueFd> Fillers;
  std::uint16_t Port = 0;
};
inline std::optional<TFullListener> FullBacklogListener() {
  if (std::ifstream("/proc/sys/net/ipv4/tcp_abort_on_overflow").get() == '1') return std::nullopt;
  TFullListener full;
  full.Listener = LoopbackSocket(AF_INET, 0);
  full.Port = LocalPort(full.Listener.get());
  for (int i = 0; i < 2; ++i) {
    TUniqueFd filler(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(full.Port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(filler.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    full.Fillers.push_back(std::move(filler));
  }
  // The fillers' handshakes complete on loopback well within this.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  return full;
}

// The next connection on a listener; waits at most AMSec.
inline TUniqueFd AcceptWithin(int AListener, int AMSec = 5000) {
  pollfd pfd{AListener, POLLIN, 0};
  if (::poll(&pfd, 1, AMSec) != 1) throw std::runtime_error("nothing to accept");
  return TUniqueFd(::accept4(AListener, nullptr, nullptr, SOCK_CLOEXEC));
}

// Everything the peer sends until it has sent AExpected bytes or closes;
// waits at most AMSec in all.
inline std::string ReceiveUpTo(int AFd, size_t AExpected, int AMSec = 5000) {
  std::string data;
  char buffer[4096];
  while (data.size() < AExpected) {
    pollfd pfd{AFd, POLLIN, 0};
    if (::poll(&pfd, 1, AMSec) != 1) break;
    const ssize_t n = ::recv(AFd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    data.append(buffer, n);
  }
  return data;
}

inline void SendAll(int AFd, const std::string& AData) {
  size_t done = 0;
  while (done < AData.size()) {
    const ssize_t n = ::send(AFd, AData.data() + done, AData.size() - done, MSG_NOSIGNAL);
    if (n <= 0) throw std::runtime_error("send");
    done += n;
  }
}

}  // namespace quorvex::test
