#pragma once

#include <string>

#include "platform/exception.h"

namespace quorvex {

// Errors of the TLS layer.
class EQxOpenSSLError : public EQxException {
 public:
  using EQxException::EQxException;
};

// A failed call on a TLS session: ErrorCode is SSL_get_error's kind, RetCode
// the call's result.
class EQxOpenSSLAPISSLError : public EQxOpenSSLError {
 public:
  EQxOpenSSLAPISSLError(std::u16string AMessage, int AErrorCode = 0, int ARetCode = 0)
      : EQxOpenSSLError(std::move(AMessage)), _errorCode(AErrorCode), _retCode(ARetCode) {}
  int ErrorCode() const noexcept { return _errorCode; }
  int RetCode() const noexcept { return _retCode; }

 private:
  int _errorCode;
  int _retCode;
};
class EQxOSSLFDSetError : public EQxOpenSSLAPISSLError {
 public:
  using EQxOpenSSLAPISSLError::EQxOpenSSLAPISSLError;
};
class EQxOSSLDataBindingError : public EQxOpenSSLAPISSLError {
 public:
  using EQxOpenSSLAPISSLError::EQxOpenSSLAPISSLError;
};
class EQxOSSLAcceptError : public EQxOpenSSLAPISSLError {
 public:
  using EQxOpenSSLAPISSLError::EQxOpenSSLAPISSLError;
};
class EQxOSSLConnectError : public EQxOpenSSLAPISSLError {
 public:
  using EQxOpenSSLAPISSLError::EQxOpenSSLAPISSLError;
};

// An error taken from OpenSSL's error queue: ErrorCode is the queued code.
class EQxOpenSSLAPICryptoError : public EQxOpenSSLError {
 public:
  explicit EQxOpenSSLAPICryptoError(std::u16string AMessage, unsigned long AErrorCode = 0)
      : EQxOpenSSLError(std::move(AMessage)), _errorCode(AErrorCode) {}
  unsigned long ErrorCode() const noexcept { return _errorCode; }

 private:
  unsigned long _errorCode;
};
class EQxOSSLUnderlyingCryptoError : public EQxOpenSSLAPICryptoError {
 public:
  using EQxOpenSSLAPICryptoError::EQxOpenSSLAPICryptoError;
};
class EQxOSSLLoadingRootCertError : public EQxOpenSSLAPICryptoError {
 public:
  using EQxOpenSSLAPICryptoError::EQxOpenSSLAPICryptoError;
};
class EQxOSSLLoadingCertError : public EQxOpenSSLAPICryptoError {
 public:
  using EQxOpenSSLAPICryptoError::EQxOpenSSLAPICryptoError;
};
class EQxOSSLLoadingKeyError : public EQxOpenSSLAPICryptoError {
 public:
  using EQxOpenSSLAPICryptoError::EQxOpenSSLAPICryptoError;
};

class EQxOSSLCouldNotLoadSSLLibrary : public EQxOpenSSLError {
 public:
  EQxOSSLCouldNotLoadSSLLibrary() : EQxOpenSSLError(u"Could not load SSL library.") {}
};
class EQxOSSLModeNotSet : public EQxOpenSSLError {
 public:
  EQxOSSLModeNotSet() : EQxOpenSSLError(u"Mode has not been set.") {}
};
class EQxOSSLGetMethodError : public EQxOpenSSLError {
 public:
  EQxOSSLGetMethodError() : EQxOpenSSLError(u"Error geting SSL method.") {}
};
class EQxOSSLCreatingContextError : public EQxOpenSSLError {
 public:
  EQxOSSLCreatingContextError() : EQxOpenSSLError(u"Error creating SSL context.") {}
};

}  // namespace quorvex
