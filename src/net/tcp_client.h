#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "net/io_handler_socket.h"
#include "net/tcp_connection.h"

namespace quorvex {

// The client end of a TCP connection. Its settings are forwarded to the
// handler in use, and copied into a handler when one is assigned.
class TQxTCPClientCustom : public TQxTCPConnection {
 public:
  TQxTCPClientCustom();

  // Opens the connection through the handler, making a TQxIOHandlerStack when
  // none is assigned. A failure closes the handler (and frees a managed one).
  virtual void Connect();
  void Connect(const std::u16string& AHost);
  void Connect(const std::u16string& AHost, std::uint16_t APort);

  void SetIOHandler(TQxIOHandler* AValue) override;

  const std::u16string& Host() const { return FHost; }
  void SetHost(const std::u16string& AValue);
  std::uint16_t Port() const { return FPort; }
  void SetPort(std::uint16_t AValue);
  int ConnectTimeout() const { return FConnectTimeout; }
  void SetConnectTimeout(int AValue);
  // The handler's value while one is assigned.
  int ReadTimeout() const;
  void SetReadTimeout(int AValue);
  TQxIPVersion IPVersion() const { return FIPVersion; }
  void SetIPVersion(TQxIPVersion AValue);
  const std::u16string& BoundIP() const { return FBoundIP; }
  void SetBoundIP(const std::u16string& AValue);
  std::uint16_t BoundPort() const { return FBoundPort; }
  void SetBoundPort(std::uint16_t AValue);
  std::uint16_t BoundPortMin() const { return FBoundPortMin; }
  void SetBoundPortMin(std::uint16_t AValue);
  std::uint16_t BoundPortMax() const { return FBoundPortMax; }
  void SetBoundPortMax(std::uint16_t AValue);
  TQxReuseSocket ReuseSocket() const { return FReuseSocket; }
  void SetReuseSocket(TQxReuseSocket AValue);
  const std::u16string& Destination() const { return FDestination; }
  void SetDestination(const std::u16string& AValue) { FDestination = AValue; }
  const std::u16string& Username() const { return FUsername; }
  void SetUsername(const std::u16string& AValue) { FUsername = AValue; }
  const std::u16string& Password() const { return FPassword; }
  void SetPassword(const std::u16string& AValue) { FPassword = AValue; }

  TQxNotifyEvent OnConnected;
  const TQxNotifyEvent& OnBeforeBind() const { return FOnBeforeBind; }
  void SetOnBeforeBind(TQxNotifyEvent AValue);
  const TQxNotifyEvent& OnAfterBind() const { return FOnAfterBind; }
  void SetOnAfterBind(TQxNotifyEvent AValue);
  const TQxNotifyEvent& OnSocketAllocated() const { return FOnSocketAllocated; }
  void SetOnSocketAllocated(TQxNotifyEvent AValue);

 protected:
  // The handler Connect makes when none is assigned.
  virtual std::unique_ptr<TQxIOHandler> MakeDefaultIOHandler();

 private:
  void CopySettingsTo(TQxIOHandler& AHandler) const;

  std::u16string FHost;
  std::uint16_t FPort = 0;
  int FConnectTimeout = 0;
  int FReadTimeout = -1;
  TQxIPVersion FIPVersion = Qx_IPv4;
  std::u16string FBoundIP;
  std::uint16_t FBoundPort = 0;
  std::uint16_t FBoundPortMin = 0;
  std::uint16_t FBoundPortMax = 0;
  TQxReuseSocket FReuseSocket = rsOSDependent;
  std::u16string FDestination;
  std::u16string FUsername;
  std::u16string FPassword;
  TQxNotifyEvent FOnBeforeBind;
  TQxNotifyEvent FOnAfterBind;
  TQxNotifyEvent FOnSocketAllocated;
};

}  // namespace quorvex
