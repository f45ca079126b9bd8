#include "net/openssl_library.h"
#include "platform/shared_library.h"

namespace quorvex {

const char* const kOpenSSLLibraryName = "libssl.so.3";
const char* const kOpenSSLCryptoName = "libcrypto.so.3";

// The dynamic loader's own search: the system's OpenSSL.
void* LoadOpenSSLLibrary(const std::string& AName) { return LoadSharedLibrary(AName); }

}  // namespace quorvex
