#pragma once

#include <string>

#include "platform/exception.h"

namespace quorvex {

// Errors of the socket layer, the TCP connection and the line I/O. Each class
// exists so that callers can tell the situations apart; the message is the
// human-readable part.

// A platform socket call failed; LastError is the socket error code.
class EQxSocketError : public EQxException {
 public:
  EQxSocketError(int ALastError, std::u16string AMessage)
      : EQxException(std::move(AMessage)), _lastError(ALastError) {}
  int LastError() const noexcept { return _lastError; }
  // The error for code AErr with AMsg as its whole message, taken as given:
  // nothing is translated or added here (RaiseSocketError builds the usual
  // "Socket Error # n" text).
  static EQxSocketError CreateError(int AErr, std::u16string AMsg) {
    return EQxSocketError(AErr, std::move(AMsg));
  }

 private:
  int _lastError;
};

class EQxNotASocket : public EQxSocketError {
 public:
  using EQxSocketError::EQxSocketError;
};

// An error the user need not be shown as a fault: the peer simply closed.
class EQxSilentException : public EQxException {
 public:
  using EQxException::EQxException;
};
class EQxConnClosedGracefully : public EQxSilentException {
 public:
  EQxConnClosedGracefully() : EQxSilentException(u"Connection Closed Gracefully.") {}
};

class EQxSocketHandleError : public EQxException {
 public:
  using EQxException::EQxException;
};
class EQxCouldNotBindSocket : public EQxSocketHandleError {
 public:
  EQxCouldNotBindSocket()
      : EQxSocketHandleError(u"Could not bind socket. Address and port are already in use.") {}
};
class EQxCanNotBindPortInRange : public EQxSocketHandleError {
 public:
  using EQxSocketHandleError::EQxSocketHandleError;
};
class EQxInvalidPortRange : public EQxSocketHandleError {
 public:
  using EQxSocketHandleError::EQxSocketHandleError;
};
class EQxCannotSetIPVersionWhenConnected : public EQxSocketHandleError {
 public:
  EQxCannotSetIPVersionWhenConnected()
      : EQxSocketHandleError(u"Cannot change IPVersion when connected") {}
};

class EQxStackError : public EQxException {
 public:
  using EQxException::EQxException;
};
// The system's socket library cannot be loaded or started.
class EQxStackInitializationFailed : public EQxStackError {
 public:
  using EQxStackError::EQxStackError;
};
class EQxIPVersionUnsupported : public EQxStackError {
 public:
  EQxIPVersionUnsupported()
      : EQxStackError(u"The requested IPVersion / Address family is not supported.") {}
};

class EQxAlreadyConnected : public EQxException {
 public:
  EQxAlreadyConnected() : EQxException(u"Already connected.") {}
};
class EQxHostRequired : public EQxException {
 public:
  EQxHostRequired() : EQxException(u"") {}
};
class EQxPortRequired : public EQxException {
 public:
  EQxPortRequired() : EQxException(u"") {}
};
class EQxNotConnected : public EQxException {
 public:
  EQxNotConnected() : EQxException(u"Not Connected") {}
};
class EQxConnectTimeout : public EQxException {
 public:
  EQxConnectTimeout() : EQxException(u"Connect timed out.") {}
};
class EQxConnectException : public EQxException {
 public:
  using EQxException::EQxException;
};
class EQxClosedSocket : public EQxException {
 public:
  EQxClosedSocket() : EQxException(u"Disconnected.") {}
};
class EQxIPv6Unavailable : public EQxException {
 public:
  EQxIPv6Unavailable() : EQxException(u"IPv6 unavailable") {}
};

// Line and buffer errors.
class EQxReadTimeout : public EQxException {
 public:
  EQxReadTimeout() : EQxException(u"Read timed out.") {}
};
class EQxReadLnMaxLineLengthExceeded : public EQxException {
 public:
  EQxReadLnMaxLineLengthExceeded() : EQxException(u"Max line length exceeded.") {}
};
class EQxReadLnWaitMaxAttemptsExceeded : public EQxException {
 public:
  EQxReadLnWaitMaxAttemptsExceeded() : EQxException(u"Max line read attempts exceeded.") {}
};
class EQxTooMuchDataInBuffer : public EQxException {
 public:
  EQxTooMuchDataInBuffer() : EQxException(u"Too much data in buffer.") {}
};
class EQxNotEnoughDataInBuffer : public EQxException {
 public:
  using EQxException::EQxException;
};

}  // namespace quorvex
