#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "net/io_handler.h"
#include "net/socket_handle.h"

namespace quorvex {

enum TQxReuseSocket { rsOSDependent, rsTrue, rsFalse };

// An I/O handler over one socket binding: opening binds, resolves and
// connects (with an optional time-out); closing closes the socket.
class TQxIOHandlerSocket : public TQxIOHandler {
 public:
  TQxIOHandlerSocket();
  ~TQxIOHandlerSocket() override;

  void Open() override;
  void Close() override;
  bool Connected() override;
  bool BindingAllocated() const { return FBinding && FBinding->HandleAllocated(); }
  // Exists after the first Open.
  TQxSocketHandle* Binding() const { return FBinding.get(); }

  const std::u16string& BoundIP() const { return FBoundIP; }
  void SetBoundIP(const std::u16string& AValue) { FBoundIP = AValue; }
  std::uint16_t BoundPort() const { return FBoundPort; }
  void SetBoundPort(std::uint16_t AValue) { FBoundPort = AValue; }
  std::uint16_t BoundPortMin() const { return FBoundPortMin; }
  void SetBoundPortMin(std::uint16_t AValue) { FBoundPortMin = AValue; }
  std::uint16_t BoundPortMax() const { return FBoundPortMax; }
  void SetBoundPortMax(std::uint16_t AValue) { FBoundPortMax = AValue; }
  int DefaultPort() const override { return FDefaultPort; }
  void SetDefaultPort(std::uint16_t AValue) { FDefaultPort = AValue; }
  bool UseNagle() const { return FUseNagle; }
  void SetUseNagle(bool AValue) { FUseNagle = AValue; }
  TQxReuseSocket ReuseSocket() const { return FReuseSocket; }
  void SetReuseSocket(TQxReuseSocket AValue) { FReuseSocket = AValue; }
  TQxIPVersion IPVersion() const { return FIPVersion; }
  void SetIPVersion(TQxIPVersion AValue) { FIPVersion = AValue; }

  TQxNotifyEvent OnBeforeBind;
  TQxNotifyEvent OnAfterBind;
  TQxNotifyEvent OnSocketAllocated;

 protected:
  // The connect step of Open, run when Host and Port are set: new socket,
  // bind, resolve Host, connect. A TLS handler adds its own steps after it.
  virtual void ConnectClient();
  // The binding Open uses; a test can supply one not backed by a socket.
  virtual std::unique_ptr<TQxSocketHandle> CreateBinding();
  bool SourceIsAvailable() override { return BindingAllocated(); }

 private:
  // Connects on a second thread and gives up after ATimeout ms (-1: waits
  // for the connect thread however long the platform's connect takes).
  void DoConnectTimeout(int ATimeout);

  std::unique_ptr<TQxSocketHandle> FBinding;
  std::u16string FBoundIP;
  std::uint16_t FBoundPort = 0;
  std::uint16_t FBoundPortMin = 0;
  std::uint16_t FBoundPortMax = 0;
  std::uint16_t FDefaultPort = 0;
  bool FUseNagle = true;
  TQxReuseSocket FReuseSocket = rsOSDependent;
  TQxIPVersion FIPVersion = Qx_IPv4;
};

// The socket handler with plain socket transfers; the TLS handler derives
// from it and reroutes ReceiveChunk and SendChunk.
class TQxIOHandlerStack : public TQxIOHandlerSocket {
 public:
  // Takes in waiting data first, so that a peer close is noticed.
  bool Connected() override;
  void CheckForDisconnect(bool ARaiseExceptionIfDisconnected = true,
                          bool AIgnoreBuffer = false) override;
  bool Readable(int AMSec = -1) override;

 protected:
  int ReceiveChunk(char* VBuffer, int ASize) override;
  int SendChunk(const TQxBytes& ABuffer, int AOffset, int ALength) override;
};

}  // namespace quorvex
