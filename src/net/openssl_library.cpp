#include "net/openssl_library.h"

#include <dlfcn.h>

namespace quorvex {

TQxOpenSSLLibrary::TQxOpenSSLLibrary(std::string ASSLName, std::string ACryptoName)
    : _sslName(std::move(ASSLName)), _cryptoName(std::move(ACryptoName)) {}

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
  if (!_crypto) _crypto = dlopen(_cryptoName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!_ssl) _ssl = dlopen(_sslName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!_crypto) _missing.push_back(_cryptoName);
  if (!_ssl) _missing.push_back(_sslName);
  if (!_missing.empty()) return false;

  TQxOpenSSLFunctions f;
  auto bind = [this](void* ALibrary, const char* AName, auto& VSlot) {
    VSlot = reinterpret_cast<std::remove_reference_t<decltype(VSlot)>>(dlsym(ALibrary, AName));
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
  _f = f;
  _loaded = true;
  return true;
}

}  // namespace quorvex
