#include "support/tls_server.h"

#include "support/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace quorvex::test {

namespace {

// One self-signed EC identity per process: fast to make, accepted by every
// TLS version the tests use.
struct TIdentity {
  EVP_PKEY* Key = nullptr;
  X509* Cert = nullptr;
  TTlsIdentityFiles Files;

  TIdentity() {
    Key = EVP_EC_gen("P-256");
    Cert = X509_new();
    if (!Key || !Cert) throw std::runtime_error("cannot make the test identity");
    X509_set_version(Cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(Cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(Cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(Cert), 86400);
    X509_set_pubkey(Cert, Key);
    X509_NAME* name = X509_get_subject_name(Cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
    X509_set_issuer_name(Cert, name);
    if (X509_sign(Cert, Key, EVP_sha256()) <= 0) throw std::runtime_error("cannot sign");

    std::string folder = (std::filesystem::temp_directory_path() / "quorvex-tls-XXXXXX").string();
    if (!mkdtemp(folder.data())) throw std::runtime_error("mkdtemp");
    Files.CertFile = folder + "/cert.pem";
    Files.KeyFile = folder + "/key.pem";
    Files.EncryptedKeyFile = folder + "/encrypted key.pem";
    FILE* f = std::fopen(Files.CertFile.c_str(), "w");
    PEM_write_X509(f, Cert);
    std::fclose(f);
    f = std::fopen(Files.KeyFile.c_str(), "w");
    PEM_write_PrivateKey(f, Key, nullptr, nullptr, 0, nullptr, nullptr);
    std::fclose(f);
    f = std::fopen(Files.EncryptedKeyFile.c_str(), "w");
    PEM_write_PrivateKey(f, Key, EVP_aes_128_cbc(), nullptr, 0, nullptr,
                         const_cast<char*>("secret pass"));
    std::fclose(f);
  }
  ~TIdentity() {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(Files.CertFile).parent_path(), ignored);
    X509_free(Cert);
    EVP_PKEY_free(Key);
  }
};

TIdentity& Identity() {
  static TIdentity identity;
  return identity;
}

void WritePem(const std::string& AFile, X509* ACert, EVP_PKEY* AKey = nullptr) {
  FILE* f = std::fopen(AFile.c_str(), "w");
  if (!f) throw std::runtime_error("cannot write " + AFile);
  if (ACert) PEM_write_X509(f, ACert);
  if (AKey) PEM_write_PrivateKey(f, AKey, nullptr, nullptr, 0, nullptr, nullptr);
  std::fclose(f);
}

// A certificate for ASubject with AKey, signed by AIssuerKey as AIssuer (or
// self-signed), with the extensions given as "name=value" pairs.
X509* MakeCert(const char* ASubject, EVP_PKEY* AKey, X509* AIssuer, EVP_PKEY* AIssuerKey,
               std::initializer_list<std::pair<int, const char*>> AExtensions, long ASerial) {
  X509* cert = X509_new();
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), ASerial);
  X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert), 86400);
  X509_set_pubkey(cert, AKey);
  X509_NAME_add_entry_by_txt(X509_get_subject_name(cert), "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(ASubject), -1, -1, 0);
  X509_set_issuer_name(cert, X509_get_subject_name(AIssuer ? AIssuer : cert));
  X509V3_CTX ctx;
  X509V3_set_ctx(&ctx, AIssuer ? AIssuer : cert, cert, nullptr, nullptr, 0);
  for (const auto& [nid, value] : AExtensions) {
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext) throw std::runtime_error("bad extension");
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
  }
  if (X509_sign(cert, AIssuerKey, EVP_sha256()) <= 0) throw std::runtime_error("cannot sign");
  return cert;
}

struct TTestCa {
  EVP_PKEY* CaKey = EVP_EC_gen("P-256");
  EVP_PKEY* OtherKey = EVP_EC_gen("P-256");
  EVP_PKEY* Key = EVP_EC_gen("P-256");
  X509* Ca = nullptr;
  X509* Other = nullptr;
  X509* Cert = nullptr;
  TTlsCaFiles Files;

  TTestCa() {
    if (!CaKey || !OtherKey || !Key) throw std::runtime_error("cannot make the test CA keys");
    const std::initializer_list<std::pair<int, const char*>> ca = {
        {NID_basic_constraints, "critical,CA:TRUE"}, {NID_key_usage, "critical,keyCertSign"}};
    Ca = MakeCert("Quorvex Test CA", CaKey, nullptr, CaKey, ca, 1);
    Other = MakeCert("Quorvex Other CA", OtherKey, nullptr, OtherKey, ca, 2);
    Cert = MakeCert("localhost", Key, Ca, CaKey,
                    {{NID_basic_constraints, "CA:FALSE"},
                     {NID_subject_alt_name, "DNS:localhost"},
                     {NID_ext_key_usage, "serverAuth"}},
                    3);
    std::string folder = (std::filesystem::temp_directory_path() / "quorvex-ca-XXXXXX").string();
    if (!mkdtemp(folder.data())) throw std::runtime_error("mkdtemp");
    Files = {folder + "/ca.pem", folder + "/other ca.pem", folder + "/server.pem",
             folder + "/server key.pem"};
    WritePem(Files.CaFile, Ca);
    WritePem(Files.OtherCaFile, Other);
    WritePem(Files.CertFile, Cert);
    WritePem(Files.KeyFile, nullptr, Key);
  }
  ~TTestCa() {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(Files.CaFile).parent_path(), ignored);
    X509_free(Ca);
    X509_free(Other);
    X509_free(Cert);
    EVP_PKEY_free(CaKey);
    EVP_PKEY_free(OtherKey);
    EVP_PKEY_free(Key);
  }
};

TTestCa& TestCa() {
  static TTestCa ca;
  return ca;
}

std::string OpenSSLErrors() {
  std::string text;
  while (unsigned long code = ERR_get_error()) {
    char buffer[256];
    ERR_error_string_n(code, buffer, sizeof buffer);
    if (!text.empty()) text += "; ";
    text += buffer;
  }
  return text;
}

}  // namespace

const TTlsIdentityFiles& TlsIdentityFiles() { return Identity().Files; }

const TTlsCaFiles& TlsCaFiles() { return TestCa().Files; }

struct TTlsServer::TState {
  mutable std::mutex Lock;
  std::condition_variable Done;
  bool Finished = false;
  std::string Failure;
  std::vector<std::string> Received;
  std::string Protocol;
  int CloseAlerts = 0;
  std::uint64_t Drained = 0;
  int Conn = -1;  // the accepted socket, for shutdown from the destructor
};

TTlsServer::TTlsServer(std::vector<std::string> AScript, TTlsServerOptions AOptions)
    : _s(std::make_unique<TState>()), _script(std::move(AScript)), _options(AOptions) {
  Identity();  // made before the client can time anything
  if (_options.CaSigned) TestCa();
  _listener = LoopbackSocket(AF_INET, 4, _options.Port, true);
  _port = LocalPort(_listener.get());
  _thread = std::thread([this] { Run(); });
}

TTlsServer::~TTlsServer() {
  Wait(_options.StepTimeoutMs * 2);
  {
    std::lock_guard<std::mutex> guard(_s->Lock);
    if (_s->Conn >= 0) ::shutdown(_s->Conn, SHUT_RDWR);  // unblocks a step still running
  }
  _thread.join();
}

std::string TTlsServer::Wait(int AMSec) {
  std::unique_lock<std::mutex> guard(_s->Lock);
  if (!_s->Done.wait_for(guard, std::chrono::milliseconds(AMSec), [&] { return _s->Finished; }))
    return "the server script did not finish in time";
  return _s->Failure;
}

std::vector<std::string> TTlsServer::Received() const {
  std::lock_guard<std::mutex> guard(_s->Lock);
  return _s->Received;
}
std::string TTlsServer::Protocol() const {
  std::lock_guard<std::mutex> guard(_s->Lock);
  return _s->Protocol;
}
int TTlsServer::CloseAlerts() const {
  std::lock_guard<std::mutex> guard(_s->Lock);
  return _s->CloseAlerts;
}
std::uint64_t TTlsServer::DrainedBytes() const {
  std::lock_guard<std::mutex> guard(_s->Lock);
  return _s->Drained;
}

void TTlsServer::Fail(const std::string& AWhat) {
  std::lock_guard<std::mutex> guard(_s->Lock);
  if (_s->Failure.empty()) _s->Failure = AWhat;
}

namespace {

// The accepted connection: plain until a session is set, then through it.
// Every blocking call is bounded by the socket's receive and send time-outs.
class TConn {
 public:
  TConn(int AFd) : _fd(AFd) {}
  ~TConn() {
    if (_ssl) SSL_free(_ssl);
    if (_ctx) SSL_CTX_free(_ctx);
  }
  int Fd() const { return _fd; }
  SSL* Ssl() const { return _ssl; }

  // Returns "" or the failure.
  std::string StartTls(const TTlsServerOptions& AOptions) {
    _ctx = SSL_CTX_new(TLS_server_method());
    if (!_ctx) return "SSL_CTX_new failed";
    if (AOptions.MaxVersion && AOptions.MaxVersion < TLS1_2_VERSION)
      SSL_CTX_set_security_level(_ctx, 0);
    if (AOptions.MinVersion) SSL_CTX_set_min_proto_version(_ctx, AOptions.MinVersion);
    if (AOptions.MaxVersion) SSL_CTX_set_max_proto_version(_ctx, AOptions.MaxVersion);
    if (AOptions.MaxVersion && AOptions.MaxVersion < TLS1_2_VERSION)
      SSL_CTX_set_cipher_list(_ctx, "ALL:@SECLEVEL=0");
    SSL_CTX_use_certificate(_ctx, AOptions.CaSigned ? TestCa().Cert : Identity().Cert);
    SSL_CTX_use_PrivateKey(_ctx, AOptions.CaSigned ? TestCa().Key : Identity().Key);
    _ssl = SSL_new(_ctx);
    SSL_set_fd(_ssl, _fd);
    ERR_clear_error();
    if (SSL_accept(_ssl) != 1) {
      const std::string errors = OpenSSLErrors();
      SSL_free(_ssl);
      _ssl = nullptr;
      return "TLS handshake failed: " + errors;
    }
    return "";
  }

  // False at the peer's close (or a failure).
  bool Fill(bool* VCloseAlert = nullptr) {
    char buffer[65536];
    if (_ssl) {
      const int n = SSL_read(_ssl, buffer, sizeof buffer);
      if (n > 0) {
        _buffer.append(buffer, n);
        return true;
      }
      if (VCloseAlert) *VCloseAlert = SSL_get_error(_ssl, n) == SSL_ERROR_ZERO_RETURN;
      ERR_clear_error();
      return false;
    }
    const ssize_t n = ::recv(_fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    _buffer.append(buffer, n);
    return true;
  }

  bool ReadLine(std::string& VLine) {
    size_t end;
    while ((end = _buffer.find('\n')) == std::string::npos)
      if (!Fill()) return false;
    VLine = _buffer.substr(0, end);
    if (!VLine.empty() && VLine.back() == '\r') VLine.pop_back();
    _buffer.erase(0, end + 1);
    return true;
  }

  bool Write(const std::string& AData) {
    size_t done = 0;
    while (done < AData.size()) {
      const int n =
          _ssl ? SSL_write(_ssl, AData.data() + done, static_cast<int>(AData.size() - done))
               : static_cast<int>(
                     ::send(_fd, AData.data() + done, AData.size() - done, MSG_NOSIGNAL));
      if (n <= 0) return false;
      done += n;
    }
    return true;
  }

  // Takes in the client's first flight whole, so that closing sends a FIN
  // and not a reset.
  bool ReadHello(int AMSec) {
    pollfd pfd{_fd, POLLIN, 0};
    if (::poll(&pfd, 1, AMSec) != 1) return false;
    char buffer[16384];
    do {
      if (::recv(_fd, buffer, sizeof buffer, 0) <= 0) return true;
    } while (::poll(&pfd, 1, 100) == 1);
    return true;
  }

  std::string& Buffer() { return _buffer; }

 private:
  int _fd;
  SSL_CTX* _ctx = nullptr;
  SSL* _ssl = nullptr;
  std::string _buffer;
};

void SetTimeouts(int AFd, int AMSec) {
  const int one = 1;  // small records go out at once, as a real server's do
  ::setsockopt(AFd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  timeval tv{AMSec / 1000, (AMSec % 1000) * 1000};
  ::setsockopt(AFd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ::setsockopt(AFd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

}  // namespace

void TTlsServer::Run() {
  // A client that leaves mid-write must fail the step, not end the process.
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
  const int timeout = _options.StepTimeoutMs;
  int fd = -1;
  pollfd pfd{_listener.get(), POLLIN, 0};
  if (::poll(&pfd, 1, timeout) == 1)
    fd = ::accept4(_listener.get(), nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) {
    Fail("no connection to accept");
  } else {
    {
      std::lock_guard<std::mutex> guard(_s->Lock);
      _s->Conn = fd;
    }
    SetTimeouts(fd, timeout);
    auto closeConn = [&] {
      std::lock_guard<std::mutex> guard(_s->Lock);
      _s->Conn = -1;
      ::close(fd);
    };
    TConn conn(fd);
    bool open = true;
    for (size_t i = 0; i < _script.size(); ++i) {
      const std::string& step = _script[i];
      const std::string tag = step.substr(0, 2);
      const std::string arg = step.size() > 2 ? step.substr(2) : std::string();
      const std::string where = "step " + std::to_string(i + 1) + " \"" + step + "\": ";
      std::string failure;
      if (!open && tag != "X:") {
        failure = "the socket is closed";
      } else if (tag == "S:") {
        if (!conn.Write(arg + "\r\n")) failure = "cannot send";
      } else if (tag == "W:") {
        if (!conn.Write(arg)) failure = "cannot send";
      } else if (tag == "C:") {
        std::string line;
        if (!conn.ReadLine(line)) {
          failure = "the client closed or went silent";
        } else {
          std::lock_guard<std::mutex> guard(_s->Lock);
          _s->Received.push_back(line);
          if (arg != "*" && line != arg) failure = "received \"" + line + "\"";
        }
      } else if (tag == "T:") {
        if (_options.CloseOnClientHello || _options.StallOnClientHello) {
          if (!conn.ReadHello(timeout)) failure = "no ClientHello";
          if (_options.StallOnClientHello)
            while (conn.Fill()) conn.Buffer().clear();  // until the client gives up
          closeConn();
          open = false;
        } else {
          failure = conn.StartTls(_options);
          if (failure.empty()) {
            std::lock_guard<std::mutex> guard(_s->Lock);
            _s->Protocol = SSL_get_version(conn.Ssl());
          }
        }
      } else if (tag == "A:") {
        if (!conn.Ssl())
          failure = "no TLS session";
        else
          SSL_shutdown(conn.Ssl());
      } else if (tag == "X:") {
        if (open) closeConn();
        open = false;
      } else if (tag == "E:" || tag == "D:") {
        bool alert = false;
        conn.Buffer().clear();
        std::uint64_t count = 0;
        while (conn.Fill(&alert)) {
          count += conn.Buffer().size();
          conn.Buffer().clear();
        }
        if (alert) {
          // After the alert only the end of the stream may follow.
          char byte;
          if (::recv(fd, &byte, 1, 0) != 0) failure = "the socket stayed open after the alert";
        }
        std::lock_guard<std::mutex> guard(_s->Lock);
        _s->CloseAlerts += alert ? 1 : 0;
        _s->Drained += count;
      } else if (tag == "F:") {
        const size_t colon = arg.find(':');
        const long count = std::strtol(arg.substr(0, colon).c_str(), nullptr, 10);
        const std::string line = arg.substr(colon + 1) + "\r\n";
        std::string block;
        for (long n = 0; n < count && failure.empty(); ++n) {
          block += line;
          if (block.size() >= 16384 || n + 1 == count) {
            if (!conn.Write(block)) failure = "cannot send";
            block.clear();
          }
        }
      } else {
        failure = "unknown step";
      }
      if (!failure.empty()) {
        Fail(where + failure);
        break;
      }
    }
    if (open) closeConn();
  }
  std::lock_guard<std::mutex> guard(_s->Lock);
  _s->Finished = true;
  _s->Done.notify_all();
}

}  // namespace quorvex::test
