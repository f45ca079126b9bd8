#pragma once

#include "net/io_handler_socket.h"

namespace quorvex {

// A socket handler that can switch an open connection to TLS. While
// PassThrough is true it is the plain stack handler; switching it off runs
// the handshake, after which every chunk goes through the TLS session.
class TQxSSLIOHandlerSocketBase : public TQxIOHandlerStack {
 public:
  bool PassThrough() const { return fPassThrough; }
  // The TLS handler runs its handshake when switched off on a connected
  // socket; the flag takes the new value last, so a failed switch leaves it.
  virtual void SetPassThrough(bool AValue) { fPassThrough = AValue; }
  // True only for handlers made by a server-side listener.
  bool IsPeer() const { return fIsPeer; }
  void SetIsPeer(bool AValue) { fIsPeer = AValue; }

  // Prepares TLS on a connected socket; handshakes at once when PassThrough
  // is false.
  virtual void StartSSL() = 0;

 protected:
  bool fPassThrough = false;
  bool fIsPeer = false;
};

}  // namespace quorvex
