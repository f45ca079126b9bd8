#pragma once

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "net/ssl_openssl.h"

namespace quorvex {

// The OpenSSL entry points this system calls, bound at run time. The types
// come from the headers the build compiles against.
struct TQxOpenSSLFunctions {
#define QX_OSSL_FN(name) decltype(&::name) name = nullptr;
// clang-format off
#define QX_OSSL_SSL_FUNCTIONS(X) \
  X(OPENSSL_init_ssl) \
  X(TLS_method) \
  X(TLS_client_method) \
  X(TLS_server_method) \
  X(SSL_CTX_new) \
  X(SSL_CTX_free) \
  X(SSL_CTX_ctrl) \
  X(SSL_CTX_set_default_passwd_cb) \
  X(SSL_CTX_set_default_passwd_cb_userdata) \
  X(SSL_CTX_set_default_verify_paths) \
  X(SSL_CTX_load_verify_locations) \
  X(SSL_CTX_use_certificate_file) \
  X(SSL_CTX_use_PrivateKey_file) \
  X(SSL_CTX_check_private_key) \
  X(SSL_CTX_set_info_callback) \
  X(SSL_CTX_set_cipher_list) \
  X(SSL_CTX_set_verify) \
  X(SSL_CTX_set_verify_depth) \
  X(SSL_CTX_set_session_id_context) \
  X(SSL_load_client_CA_file) \
  X(SSL_CTX_set_client_CA_list) \
  X(SSL_new) \
  X(SSL_free) \
  X(SSL_set_ex_data) \
  X(SSL_get_ex_data) \
  X(SSL_set_bio) \
  X(SSL_connect) \
  X(SSL_get_current_cipher) \
  X(SSL_CIPHER_get_name) \
  X(SSL_CIPHER_description) \
  X(SSL_CIPHER_get_bits) \
  X(SSL_CIPHER_get_version) \
  X(SSL_read) \
  X(SSL_peek) \
  X(SSL_pending) \
  X(SSL_has_pending) \
  X(SSL_write) \
  X(SSL_get_error) \
  X(SSL_shutdown) \
  X(SSL_state_string_long) \
  X(SSL_get_version) \
  X(SSL_get_ex_data_X509_STORE_CTX_idx) \
  X(SSL_ctrl) \
  X(SSL_set1_host) \
  X(SSL_get_verify_result)
#define QX_OSSL_CRYPTO_FUNCTIONS(X) \
  X(ERR_get_error) \
  X(ERR_error_string_n) \
  X(ERR_clear_error) \
  X(X509_STORE_CTX_get_ex_data) \
  X(X509_STORE_CTX_get_current_cert) \
  X(X509_STORE_CTX_get_error_depth) \
  X(X509_get_subject_name) \
  X(X509_get_issuer_name) \
  X(X509_NAME_oneline) \
  X(X509_verify_cert_error_string) \
  X(BIO_get_new_index) \
  X(BIO_meth_new) \
  X(BIO_meth_free) \
  X(BIO_meth_set_write) \
  X(BIO_meth_set_read) \
  X(BIO_meth_set_ctrl) \
  X(BIO_new) \
  X(BIO_set_data) \
  X(BIO_get_data) \
  X(BIO_set_init) \
  X(BIO_set_flags) \
  X(BIO_clear_flags)
  // clang-format on
  QX_OSSL_SSL_FUNCTIONS(QX_OSSL_FN)
  QX_OSSL_CRYPTO_FUNCTIONS(QX_OSSL_FN)
#undef QX_OSSL_FN
};

// One binding of the SSL and crypto libraries. Loading happens once, under
// the loaded flag's lock; a failed load is tried again on the next call. The
// libraries stay loaded until the process ends: OpenSSL cleans up after
// itself at exit, and unloading it earlier would pull its exit handlers away.
// The OpenSSL library files of the platform: libssl.so.3 and libcrypto.so.3,
// or libssl-3-x64.dll and libcrypto-3-x64.dll as OpenVPN for Windows ships them.
extern const char* const kOpenSSLLibraryName;
extern const char* const kOpenSSLCryptoName;

// Loads one OpenSSL library file. A name without a folder is looked for where
// the platform keeps OpenSSL (on Windows: beside the executable, then in
// OpenVPN's bin folder, then on PATH); a path is taken as it stands.
void* LoadOpenSSLLibrary(const std::string& AName);

class TQxOpenSSLLibrary {
 public:
  explicit TQxOpenSSLLibrary(std::string ASSLName = kOpenSSLLibraryName,
                             std::string ACryptoName = kOpenSSLCryptoName);
  ~TQxOpenSSLLibrary();
  TQxOpenSSLLibrary(const TQxOpenSSLLibrary&) = delete;
  TQxOpenSSLLibrary& operator=(const TQxOpenSSLLibrary&) = delete;

  // The process's binding, used by every handler unless told otherwise.
  static TQxOpenSSLLibrary& Default();

  // True when both libraries and every entry point are there and OpenSSL
  // initialised.
  bool Load();
  bool Loaded() const { return _loaded.load(); }
  // The entry points missing at the last attempt ("libssl.so.3" itself when
  // a library could not be opened).
  std::vector<std::string> Missing() const;

  // Valid once Load has returned true.
  const TQxOpenSSLFunctions& F() const { return _f; }
  // The socket BIO every session uses: it sends with MSG_NOSIGNAL, so a
  // peer that has gone gives an error and never SIGPIPE, and it can read
  // without waiting for a look at what has arrived. Valid once loaded.
  BIO_METHOD* SocketMethod() const { return _socketMethod; }

  // Held while the handler's password, status or verify event runs.
  std::mutex PasswordLock, InfoLock, VerifyLock;

 private:
  std::string _sslName, _cryptoName;
  mutable std::mutex _lock;
  std::atomic<bool> _loaded{false};
  void* _ssl = nullptr;
  void* _crypto = nullptr;
  std::vector<std::string> _missing;
  TQxOpenSSLFunctions _f;
  BIO_METHOD* _socketMethod = nullptr;  // lives as long as the libraries
};

}  // namespace quorvex
