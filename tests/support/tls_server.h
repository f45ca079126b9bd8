#pragma once

// A scripted TLS-capable peer on 127.0.0.1 for tests and benchmarks, built on
// OpenSSL's server API with a throwaway self-signed certificate made at run
// time. It accepts one connection and plays a script of steps, first in
// plain text and, after a "T:" step, through TLS on the same socket (as
// STARTTLS does). Every wait is bounded by StepTimeoutMs.
//
// Steps (one text each):
//   "S:text"  send the line text + CR LF (plain or TLS, whichever is active)
//   "W:bytes" send the bytes as they are (no line end added)
//   "C:text"  read one line (without CR LF) and expect it to be text;
//             "C:*" accepts any line. Every line read is kept in Received().
//   "T:"      accept the TLS handshake (or, with CloseOnClientHello, wait for
//             the ClientHello and close; with StallOnClientHello, read it and
//             answer nothing until the client gives up)
//   "A:"      send the TLS close alert (one SSL_shutdown, no wait)
//   "X:"      close the socket
//   "E:"      wait until the client closes; CloseAlerts() counts the close
//             alerts seen on the way (bytes read meanwhile are discarded)
//   "D:"      drain: read and count bytes until the client closes (benches)
//   "F:n:text" send the line text + CR LF n times, in large writes (benches)
// The script must be used up: Wait() returns the first failure, or "".

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/unique_fd.h"

namespace quorvex::test {

struct TTlsServerOptions {
  // The port to listen on; 0 lets the system pick a free one.
  std::uint16_t Port = 0;
  // Protocol limits as OpenSSL's version numbers (TLS1_VERSION = 0x0301 ...
  // TLS1_3_VERSION = 0x0304); 0 leaves OpenSSL's default. A maximum below
  // TLS 1.2 also lowers the security level so the old version can work.
  int MinVersion = 0;
  int MaxVersion = 0;
  bool CloseOnClientHello = false;
  bool StallOnClientHello = false;
  int StepTimeoutMs = 5000;
  // Present the certificate of TlsCaFiles() (issued by its test CA for
  // "localhost") instead of the self-signed one.
  bool CaSigned = false;
};

// A throwaway certificate authority, written once per process: CaFile holds
// its certificate; CertFile and KeyFile a server identity it issued for the
// host name "localhost" only; OtherCaFile an authority that issued nothing
// the tests meet.
struct TTlsCaFiles {
  std::string CaFile;
  std::string OtherCaFile;
  std::string CertFile;
  std::string KeyFile;
};
const TTlsCaFiles& TlsCaFiles();

// The certificate and key files of the throwaway identity, written once per
// process into a temporary folder (for tests of the client's certificate
// options).
struct TTlsIdentityFiles {
  std::string CertFile;
  std::string KeyFile;
  // The same key encrypted with the password "secret pass".
  std::string EncryptedKeyFile;
};
const TTlsIdentityFiles& TlsIdentityFiles();

class TTlsServer {
 public:
  explicit TTlsServer(std::vector<std::string> AScript, TTlsServerOptions AOptions = {});
  // Waits for the script (bounded) and closes.
  ~TTlsServer();
  TTlsServer(const TTlsServer&) = delete;
  TTlsServer& operator=(const TTlsServer&) = delete;

  std::uint16_t Port() const { return _port; }
  // Waits for the script to end (at most AMSec) and returns "" or what failed.
  std::string Wait(int AMSec = 10000);

  // Available after Wait().
  std::vector<std::string> Received() const;
  // The negotiated protocol ("TLSv1.3") once the handshake is done.
  std::string Protocol() const;
  int CloseAlerts() const;
  std::uint64_t DrainedBytes() const;

 private:
  void Run();
  void Fail(const std::string& AWhat);

  struct TState;
  std::unique_ptr<TState> _s;
  std::vector<std::string> _script;
  TTlsServerOptions _options;
  TUniqueFd _listener;
  std::uint16_t _port = 0;
  std::thread _thread;
};

}  // namespace quorvex::test
