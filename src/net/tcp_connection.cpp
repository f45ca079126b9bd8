#include "net/tcp_connection.h"

#include <exception>

#include "net/io_handler_socket.h"
#include "net/net_errors.h"

namespace quorvex {

TQxTCPConnection::TQxTCPConnection() = default;

TQxTCPConnection::~TQxTCPConnection() {
  if (FIOHandler) {
    try {
      FIOHandler->Close();
    } catch (...) {
      // Closing never raises on the socket handlers; a destructor must not.
    }
  }
  TQxTCPConnection::SetIOHandler(nullptr);
}

void TQxTCPConnection::SetIOHandler(TQxIOHandler* AValue) {
  if (AValue == FIOHandler) return;
  if (FIOHandler) {
    FIOHandler->SetWorkTarget(nullptr);
    FIOHandler->RemoveFreeNotification(this);
  }
  FIOHandler = nullptr;
  FSocket = nullptr;
  FManagedIOHandler.reset();
  if (AValue) {
    AValue->AddFreeNotification(this);
    AValue->SetWorkTarget(this);
    FIOHandler = AValue;
    FSocket = dynamic_cast<TQxIOHandlerSocket*>(AValue);
  }
}

void TQxTCPConnection::SetManagedIOHandler(std::unique_ptr<TQxIOHandler> AValue) {
  SetIOHandler(AValue.get());
  FManagedIOHandler = std::move(AValue);
}

void TQxTCPConnection::FreeNotification(TQxComponent* AComponent) {
  if (AComponent != FIOHandler) return;
  FIOHandler = nullptr;
  FSocket = nullptr;
  // Freed by someone else after all: not ours to free again.
  (void)FManagedIOHandler.release();
}

bool TQxTCPConnection::Connected() { return FIOHandler && FIOHandler->Connected(); }

void TQxTCPConnection::Disconnect(bool ANotifyPeer) {
  std::exception_ptr error;
  try {
    if (ANotifyPeer && Connected()) DisconnectNotifyPeer();
  } catch (...) {
    error = std::current_exception();
  }
  if (FIOHandler && FIOHandler->Opened()) {
    DoStatus(hsDisconnecting);
    FIOHandler->Close();
    DoOnDisconnected();
    DoStatus(hsDisconnected);
  }
  if (error) std::rethrow_exception(error);
}

void TQxTCPConnection::DoOnDisconnected() {
  if (OnDisconnected) OnDisconnected(*this);
}

void TQxTCPConnection::CheckForGracefulDisconnect(bool ARaiseExceptionIfDisconnected) {
  if (FIOHandler)
    FIOHandler->CheckForDisconnect(ARaiseExceptionIfDisconnected, false);
  else if (ARaiseExceptionIfDisconnected)
    throw EQxException(u"Not Connected");
}

void TQxTCPConnection::CheckHandlerAssigned() const {
  if (!FIOHandler) throw EQxNotConnected();
}

}  // namespace quorvex
