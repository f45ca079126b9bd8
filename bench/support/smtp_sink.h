#pragma once

// A small SMTP server on 127.0.0.1 that accepts every message and forgets
// it: greeting, EHLO (offering STARTTLS until TLS runs, and AUTH LOGIN and
// PLAIN), AUTH LOGIN or PLAIN with any credentials, RSET, MAIL, RCPT, DATA, QUIT. One thread serves
// the connections one after another, so a client that opens one connection
// per message never waits for it. Server-side TLS is OpenSSL with the test
// identity.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/unique_fd.h"
#include "support/loopback.h"
#include "support/tls_server.h"

namespace quorvex::bench_support {

class TSMTPSink {
 public:
  TSMTPSink() {
    _ctx = SSL_CTX_new(TLS_server_method());
    const auto& identity = test::TlsIdentityFiles();
    if (!_ctx ||
        SSL_CTX_use_certificate_file(_ctx, identity.CertFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_use_PrivateKey_file(_ctx, identity.KeyFile.c_str(), SSL_FILETYPE_PEM) != 1)
      throw std::runtime_error("sink: no TLS context");
    _listener = test::LoopbackSocket(AF_INET, 64);
    _port = test::LocalPort(_listener.get());
    _thread = std::thread([this] { Run(); });
  }
  ~TSMTPSink() {
    _stop = true;
    _thread.join();
    SSL_CTX_free(_ctx);
  }

  std::uint16_t Port() const { return _port; }
  std::uint64_t Messages() const { return _messages.load(); }

 private:
  // One connection: plain until STARTTLS, then through the TLS session.
  struct TConn {
    int Fd = -1;
    SSL* Ssl = nullptr;
    std::string In;

    ~TConn() {
      if (Ssl) SSL_free(Ssl);
      if (Fd >= 0) ::close(Fd);
    }
    bool Send(const std::string& AText) {
      if (Ssl) return SSL_write(Ssl, AText.data(), static_cast<int>(AText.size())) > 0;
      return ::send(Fd, AText.data(), AText.size(), MSG_NOSIGNAL) ==
             static_cast<ssize_t>(AText.size());
    }
    // One line without CR LF; false at the client's close or after 5 s of silence.
    bool ReadLine(std::string& VLine) {
      while (true) {
        const size_t lf = In.find('\n');
        if (lf != std::string::npos) {
          VLine.assign(In, 0, lf > 0 && In[lf - 1] == '\r' ? lf - 1 : lf);
          In.erase(0, lf + 1);
          return true;
        }
        char chunk[16384];
        int n;
        if (Ssl && SSL_pending(Ssl) > 0) {
          n = SSL_read(Ssl, chunk, sizeof chunk);
        } else {
          pollfd pfd{Fd, POLLIN, 0};
          if (::poll(&pfd, 1, 5000) != 1) return false;
          n = Ssl ? SSL_read(Ssl, chunk, sizeof chunk)
                  : static_cast<int>(::recv(Fd, chunk, sizeof chunk, 0));
          if (Ssl && n <= 0 && SSL_get_error(Ssl, n) == SSL_ERROR_WANT_READ) continue;
        }
        if (n <= 0) return false;
        In.append(chunk, n);
      }
    }
  };

  void Run() {
    while (!_stop) {
      pollfd pfd{_listener.get(), POLLIN, 0};
      if (::poll(&pfd, 1, 100) != 1) continue;
      TConn conn;
      conn.Fd = ::accept4(_listener.get(), nullptr, nullptr, SOCK_CLOEXEC);
      if (conn.Fd < 0) continue;
      const int one = 1;
      ::setsockopt(conn.Fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      Serve(conn);
    }
  }

  void Serve(TConn& AConn) {
    if (!AConn.Send("220 sink ESMTP\r\n")) return;
    std::string line;
    while (AConn.ReadLine(line)) {
      const std::string verb = Upper(line.substr(0, 4));
      std::string reply;
      if (verb == "EHLO") {
        reply = AConn.Ssl
                    ? "250-sink\r\n250-PIPELINING\r\n250 AUTH LOGIN PLAIN\r\n"
                    : "250-sink\r\n250-PIPELINING\r\n250-STARTTLS\r\n250 AUTH LOGIN PLAIN\r\n";
      } else if (verb == "HELO" || verb == "RSET" || verb == "MAIL" || verb == "RCPT" ||
                 verb == "NOOP") {
        reply = "250 OK\r\n";
      } else if (verb == "STAR") {
        if (!AConn.Send("220 go ahead\r\n")) return;
        AConn.Ssl = SSL_new(_ctx);
        SSL_set_fd(AConn.Ssl, AConn.Fd);
        if (SSL_accept(AConn.Ssl) != 1) return;
        continue;
      } else if (verb == "AUTH") {
        // AUTH PLAIN with its initial response is one line; AUTH LOGIN
        // sends user name and password, each after a 334.
        if (Upper(line).rfind("AUTH PLAIN ", 0) != 0)
          for (const char* prompt : {"334 VXNlcm5hbWU6\r\n", "334 UGFzc3dvcmQ6\r\n"})
            if (!AConn.Send(prompt) || !AConn.ReadLine(line)) return;
        reply = "235 2.7.0 Authentication successful\r\n";
      } else if (verb == "DATA") {
        if (!AConn.Send("354 go ahead\r\n")) return;
        while (AConn.ReadLine(line) && line != ".") {
        }
        if (line != ".") return;
        ++_messages;
        reply = "250 2.0.0 queued\r\n";
      } else if (verb == "QUIT") {
        AConn.Send("221 bye\r\n");
        if (AConn.Ssl) SSL_shutdown(AConn.Ssl);
        return;
      } else {
        reply = "502 5.5.2 unknown command\r\n";
      }
      if (!AConn.Send(reply)) return;
    }
  }

  static std::string Upper(std::string AText) {
    for (auto& c : AText)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return AText;
  }

  SSL_CTX* _ctx = nullptr;
  TUniqueFd _listener;
  std::uint16_t _port = 0;
  std::atomic<bool> _stop{false};
  std::atomic<std::uint64_t> _messages{0};
  std::thread _thread;  // last: starts once the rest is built
};

}  // namespace quorvex::bench_support
