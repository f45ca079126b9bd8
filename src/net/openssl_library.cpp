#include "net/openssl_library.h"

#include <atomic>

#include "net/socket_error.h"
#include "net/socket_system.h"
#include "platform/shared_library.h"

namespace quorvex {

namespace {

// The BIO callbacks get only the BIO; these are the functions of the first
// binding that loaded, through which they reach its state.
std::atomic<const TQxOpenSSLFunctions*> gBioFunctions{nullptr};

bool ShouldRetry(int AErr) {
  return AErr == socket_error::WouldBlock || AErr == socket_error::Interrupted;
}

int BioWrite(BIO* ABio, const char* AData, int ALength) {
  const TQxOpenSSLFunctions& F = *gBioFunctions.load();
  auto* state = static_cast<TQxSocketBioState*>(F.BIO_get_data(ABio));
  F.BIO_clear_flags(ABio, BIO_FLAGS_RWS | BIO_FLAGS_SHOULD_RETRY);
  const int n = socket_system::Send(state->Socket, AData, ALength, state->DontWait);
  if (n < 0 && ShouldRetry(WSGetLastError()))
    F.BIO_set_flags(ABio, BIO_FLAGS_WRITE | BIO_FLAGS_SHOULD_RETRY);
  return n;
}

int BioRead(BIO* ABio, char* AData, int ALength) {
  const TQxOpenSSLFunctions& F = *gBioFunctions.load();
  auto* state = static_cast<TQxSocketBioState*>(F.BIO_get_data(ABio));
  F.BIO_clear_flags(ABio, BIO_FLAGS_RWS | BIO_FLAGS_SHOULD_RETRY);
  const int n = socket_system::Recv(state->Socket, AData, ALength, state->DontWait);
  if (n < 0 && ShouldRetry(WSGetLastError()))
    F.BIO_set_flags(ABio, BIO_FLAGS_READ | BIO_FLAGS_SHOULD_RETRY);
  return n;
}

long BioCtrl(BIO* /*ABio*/, int ACmd, long /*ANum*/, void* /*APtr*/) {
  return ACmd == BIO_CTRL_FLUSH ? 1 : 0;  // nothing is buffered here
}

}  // namespace

TQxOpenSSLLibrary::TQxOpenSSLLibrary(std::string ASSLName, std::string ACryptoName)
    : _sslName(std::move(ASSLName)), _cryptoName(std::move(ACryptoName)) {}

TQxOpenSSLLibrary::~TQxOpenSSLLibrary() {
  if (_socketMethod) _f.BIO_meth_free(_socketMethod);
}

TQxOpenSSLLibrary& TQxOpenSSLLibrary::Default() {
  static TQxOpenSSLLibrary library;
  return library;
}

std::vector<std::string> TQxOpenSSLLibrary::Missing() const {
  std::lock_guard<std::mutex> guard(_lock);
  return _missing;
}

bool TQxOpenSSLLibrary::Load() {
  std::lock_guard<std::mutex> guard(_lock);
  if (_loaded) return true;
  _missing.clear();
  if (!_crypto) _crypto = LoadOpenSSLLibrary(_cryptoName);
  if (!_ssl) _ssl = LoadOpenSSLLibrary(_sslName);
  if (!_crypto) _missing.push_back(_cryptoName);
  if (!_ssl) _missing.push_back(_sslName);
  if (!_missing.empty()) return false;

  TQxOpenSSLFunctions f;
  auto bind = [this](void* ALibrary, const char* AName, auto& VSlot) {
    VSlot = reinterpret_cast<std::remove_reference_t<decltype(VSlot)>>(
        SharedLibrarySymbol(ALibrary, AName));
    if (!VSlot) _missing.push_back(AName);
  };
#define QX_BIND_SSL(name) bind(_ssl, #name, f.name);
#define QX_BIND_CRYPTO(name) bind(_crypto, #name, f.name);
  QX_OSSL_SSL_FUNCTIONS(QX_BIND_SSL)
  QX_OSSL_CRYPTO_FUNCTIONS(QX_BIND_CRYPTO)
#undef QX_BIND_SSL
#undef QX_BIND_CRYPTO
  if (!_missing.empty()) return false;
  // Loads the error strings too; OpenSSL 3 does its own locking.
  if (f.OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS,
                         nullptr) != 1)
    return false;
  const TQxOpenSSLFunctions* expected = nullptr;
  auto* functions = new TQxOpenSSLFunctions(f);  // kept with the loaded libraries
  if (!gBioFunctions.compare_exchange_strong(expected, functions)) delete functions;
  if (!_socketMethod)
    _socketMethod = f.BIO_meth_new(f.BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "quorvex socket");
  if (!_socketMethod || f.BIO_meth_set_write(_socketMethod, BioWrite) != 1 ||
      f.BIO_meth_set_read(_socketMethod, BioRead) != 1 ||
      f.BIO_meth_set_ctrl(_socketMethod, BioCtrl) != 1)
    return false;
  _f = f;
  _loaded = true;
  return true;
}

}  // namespace quorvex
