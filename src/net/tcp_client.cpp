#include "net/tcp_client.h"

#include "net/net_errors.h"

namespace quorvex {

TQxTCPClientCustom::TQxTCPClientCustom() = default;

std::unique_ptr<TQxIOHandler> TQxTCPClientCustom::MakeDefaultIOHandler() {
  return std::make_unique<TQxIOHandlerStack>();
}

void TQxTCPClientCustom::Connect(const std::u16string& AHost) {
  SetHost(AHost);
  Connect();
}

void TQxTCPClientCustom::Connect(const std::u16string& AHost, std::uint16_t APort) {
  SetHost(AHost);
  SetPort(APort);
  Connect();
}

void TQxTCPClientCustom::Connect() {
  if (Connected()) throw EQxAlreadyConnected();
  if (FHost.empty()) throw EQxHostRequired();
  if (FPort == 0) throw EQxPortRequired();
  if (!IOHandler()) {
    auto handler = MakeDefaultIOHandler();
    handler->OnStatus = OnStatus;
    SetManagedIOHandler(std::move(handler));
  }
  try {
    TQxIOHandler& handler = *IOHandler();
    if (!FDestination.empty()) handler.SetDestination(FDestination);
    CopySettingsTo(handler);
    handler.Open();
    DoStatus(hsConnected, FHost);
    if (OnConnected) OnConnected(*this);
  } catch (...) {
    if (IOHandler()) {
      IOHandler()->Close();
      if (ManagedIOHandler()) SetIOHandler(nullptr);
    }
    throw;
  }
}

void TQxTCPClientCustom::CopySettingsTo(TQxIOHandler& AHandler) const {
  AHandler.SetPort(FPort);
  AHandler.SetHost(FHost);
  AHandler.SetConnectTimeout(FConnectTimeout);
  AHandler.SetReadTimeout(FReadTimeout);
  if (auto* socket = dynamic_cast<TQxIOHandlerSocket*>(&AHandler)) {
    socket->SetBoundIP(FBoundIP);
    socket->SetBoundPort(FBoundPort);
    socket->SetBoundPortMin(FBoundPortMin);
    socket->SetBoundPortMax(FBoundPortMax);
    socket->SetIPVersion(FIPVersion);
    socket->SetReuseSocket(FReuseSocket);
    socket->OnBeforeBind = FOnBeforeBind;
    socket->OnAfterBind = FOnAfterBind;
    socket->OnSocketAllocated = FOnSocketAllocated;
  }
}

void TQxTCPClientCustom::SetIOHandler(TQxIOHandler* AValue) {
  TQxTCPConnection::SetIOHandler(AValue);
  if (IOHandler()) CopySettingsTo(*IOHandler());
}

void TQxTCPClientCustom::SetHost(const std::u16string& AValue) {
  FHost = AValue;
  if (IOHandler()) IOHandler()->SetHost(AValue);
}

void TQxTCPClientCustom::SetPort(std::uint16_t AValue) {
  FPort = AValue;
  if (IOHandler()) IOHandler()->SetPort(AValue);
}

void TQxTCPClientCustom::SetConnectTimeout(int AValue) {
  FConnectTimeout = AValue;
  if (IOHandler()) IOHandler()->SetConnectTimeout(AValue);
}

int TQxTCPClientCustom::ReadTimeout() const {
  return IOHandler() ? IOHandler()->ReadTimeout() : FReadTimeout;
}

void TQxTCPClientCustom::SetReadTimeout(int AValue) {
  FReadTimeout = AValue;
  if (IOHandler()) IOHandler()->SetReadTimeout(AValue);
}

void TQxTCPClientCustom::SetIPVersion(TQxIPVersion AValue) {
  FIPVersion = AValue;
  if (Socket()) Socket()->SetIPVersion(AValue);
}

void TQxTCPClientCustom::SetBoundIP(const std::u16string& AValue) {
  FBoundIP = AValue;
  if (Socket()) Socket()->SetBoundIP(AValue);
}

void TQxTCPClientCustom::SetBoundPort(std::uint16_t AValue) {
  FBoundPort = AValue;
  if (Socket()) Socket()->SetBoundPort(AValue);
}

void TQxTCPClientCustom::SetBoundPortMin(std::uint16_t AValue) {
  FBoundPortMin = AValue;
  if (Socket()) Socket()->SetBoundPortMin(AValue);
}

void TQxTCPClientCustom::SetBoundPortMax(std::uint16_t AValue) {
  FBoundPortMax = AValue;
  if (Socket()) Socket()->SetBoundPortMax(AValue);
}

void TQxTCPClientCustom::SetReuseSocket(TQxReuseSocket AValue) {
  FReuseSocket = AValue;
  if (Socket()) Socket()->SetReuseSocket(AValue);
}

void TQxTCPClientCustom::SetOnBeforeBind(TQxNotifyEvent AValue) {
  FOnBeforeBind = std::move(AValue);
  if (Socket()) Socket()->OnBeforeBind = FOnBeforeBind;
}

void TQxTCPClientCustom::SetOnAfterBind(TQxNotifyEvent AValue) {
  FOnAfterBind = std::move(AValue);
  if (Socket()) Socket()->OnAfterBind = FOnAfterBind;
}

void TQxTCPClientCustom::SetOnSocketAllocated(TQxNotifyEvent AValue) {
  FOnSocketAllocated = std::move(AValue);
  if (Socket()) Socket()->OnSocketAllocated = FOnSocketAllocated;
}

}  // namespace quorvex
