#pragma once

#include <memory>

#include "net/component.h"
#include "net/io_handler.h"

namespace quorvex {

class TQxIOHandlerSocket;

// A connection that reads and writes only through its I/O handler. It owns
// the handler only when it made it itself (ManagedIOHandler).
class TQxTCPConnection : public TQxComponent {
 public:
  TQxTCPConnection();
  ~TQxTCPConnection() override;

  TQxIOHandler* IOHandler() const { return FIOHandler; }
  // Assigns a handler the caller keeps owning (null detaches). A managed
  // handler assigned before is freed.
  virtual void SetIOHandler(TQxIOHandler* AValue);
  // The handler when it is a socket handler, else null.
  TQxIOHandlerSocket* Socket() const { return FSocket; }
  bool ManagedIOHandler() const { return FManagedIOHandler != nullptr; }

  virtual bool Connected();
  void Disconnect() { Disconnect(true); }
  // With ANotifyPeer and still connected, DisconnectNotifyPeer runs first;
  // an opened handler is closed even when that raises.
  virtual void Disconnect(bool ANotifyPeer);
  virtual void CheckForGracefulDisconnect(bool ARaiseExceptionIfDisconnected = true);

  TQxNotifyEvent OnDisconnected;

 protected:
  // What a protocol says before it closes (a QUIT); nothing here.
  virtual void DisconnectNotifyPeer() {}
  virtual void DoOnDisconnected();
  // Raises EQxNotConnected without a handler; run before commands and replies.
  void CheckHandlerAssigned() const;
  // Assigns a handler the connection owns from now on.
  void SetManagedIOHandler(std::unique_ptr<TQxIOHandler> AValue);
  void FreeNotification(TQxComponent* AComponent) override;

 private:
  TQxIOHandler* FIOHandler = nullptr;
  std::unique_ptr<TQxIOHandler> FManagedIOHandler;
  TQxIOHandlerSocket* FSocket = nullptr;
};

}  // namespace quorvex
