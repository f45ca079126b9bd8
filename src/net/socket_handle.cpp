#include "net/socket_handle.h"

#include <algorithm>
#include <chrono>

#include "net/net_errors.h"
#include "net/socket_error.h"
#include "net/socket_system.h"
#include "platform/text.h"

namespace quorvex {

void TQxSocketList::Add(int AHandle) {
  std::lock_guard<std::mutex> lock(_lock);
  if (std::find(_handles.begin(), _handles.end(), AHandle) == _handles.end())
    _handles.push_back(AHandle);
}

void TQxSocketList::Remove(int AHandle) {
  std::lock_guard<std::mutex> lock(_lock);
  _handles.erase(std::remove(_handles.begin(), _handles.end(), AHandle), _handles.end());
}

void TQxSocketList::Clear() {
  std::lock_guard<std::mutex> lock(_lock);
  _handles.clear();
}

bool TQxSocketList::SelectRead(int AMSec) const {
  std::vector<int> handles;
  {
    std::lock_guard<std::mutex> lock(_lock);
    handles = _handles;
  }
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(AMSec, 0));
  int timeout = AMSec < 0 ? -1 : AMSec;
  while (true) {
    const int n = socket_system::WaitReadable(handles, timeout);
    if (n >= 0) return n > 0;
    if (WSGetLastError() != socket_error::Interrupted) RaiseLastSocketError();
    if (AMSec >= 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      timeout = static_cast<int>(std::max<long long>(left.count(), 0));
    }
  }
}

TQxSocketHandle::TQxSocketHandle() { TQxStack::IncUsage(); }

TQxSocketHandle::~TQxSocketHandle() {
  CloseSocket();
  TQxStack::DecUsage();
}

bool TQxSocketHandle::HandleAllocated() const {
  std::lock_guard<std::mutex> lock(FConnectionHandle);
  return FHandleAllocated;
}

void TQxSocketHandle::SetAllocated(bool AValue) {
  std::lock_guard<std::mutex> lock(FConnectionHandle);
  FHandleAllocated = AValue;
}

void TQxSocketHandle::AllocateSocket(int ASocketType, int AProtocol) {
  CloseSocket();
  FIP.clear();
  FPort = 0;
  FPeerIP.clear();
  FPeerPort = 0;
  const int handle = TQxStack::Instance().NewSocketHandle(ASocketType, AProtocol, FIPVersion);
  std::lock_guard<std::mutex> lock(FConnectionHandle);
  FHandle = handle;
  FHandleAllocated = true;
  FReadSocketList.Clear();
  FReadSocketList.Add(handle);
}

void TQxSocketHandle::Bind() {
  TQxStack& stack = TQxStack::Instance();
  if (FPort != 0 || FClientPortMin == 0 || FClientPortMax == 0) {
    if (!stack.TryBind(FHandle, FIP, FPort, FIPVersion)) throw EQxCouldNotBindSocket();
    UpdateBindingLocal();
    return;
  }
  const std::u16string range =
      u16("(" + std::to_string(FClientPortMin) + " - " + std::to_string(FClientPortMax) + ")");
  if (FClientPortMax < FClientPortMin) throw EQxInvalidPortRange(u"Invalid Port Range " + range);
  for (int port = FClientPortMax; port >= FClientPortMin; --port) {
    if (stack.TryBind(FHandle, FIP, static_cast<std::uint16_t>(port), FIPVersion)) {
      UpdateBindingLocal();
      return;
    }
  }
  throw EQxCanNotBindPortInRange(u"Can not bind in port range " + range);
}

void TQxSocketHandle::Connect() {
  int handle;
  {
    std::lock_guard<std::mutex> lock(FConnectionHandle);
    if (!FHandleAllocated) RaiseSocketError(socket_error::NotASocket);
    handle = FHandle;
    FConnecting = true;
  }
  try {
    TQxStack::Instance().Connect(handle, FPeerIP, FPeerPort, FIPVersion);
  } catch (...) {
    EndConnect(handle, false);
    throw;
  }
  EndConnect(handle, true);
}

void TQxSocketHandle::EndConnect(int AHandle, bool AReadBack) {
  std::lock_guard<std::mutex> lock(FConnectionHandle);
  FConnecting = false;
  if (FCloseAfterConnect) {
    FCloseAfterConnect = false;
    socket_system::Close(AHandle);
  } else if (AReadBack && FHandleAllocated) {
    UpdateBindingLocal();
    UpdateBindingPeer();
  }
}

void TQxSocketHandle::CloseSocket() {
  std::lock_guard<std::mutex> lock(FConnectionHandle);
  if (!FHandleAllocated) return;
  FHandleAllocated = false;
  FReadSocketList.Remove(FHandle);
  // Shutting down also ends a connect still waiting for its answer.
  socket_system::ShutdownSend(FHandle);
  if (FConnecting)
    FCloseAfterConnect = true;
  else
    socket_system::Close(FHandle);
  FHandle = -1;
}

int TQxSocketHandle::Receive(char* VBuffer, int ASize) {
  return TQxStack::Instance().Receive(FHandle, VBuffer, ASize);
}

int TQxSocketHandle::Send(const char* ABuffer, int ASize) {
  return TQxStack::Instance().Send(FHandle, ABuffer, ASize);
}

bool TQxSocketHandle::Readable(int AMSec) {
  if (AMSec == -1) AMSec = -2;
  if (!HandleAllocated()) throw EQxConnClosedGracefully();
  return Select(AMSec);
}

bool TQxSocketHandle::Select(int ATimeout) { return FReadSocketList.SelectRead(ATimeout); }

void TQxSocketHandle::SetPeer(const std::u16string& AIP, std::uint16_t APort,
                              TQxIPVersion AIPVersion) {
  FPeerIP = AIP;
  FPeerPort = APort;
  FIPVersion = AIPVersion;
}

void TQxSocketHandle::Reset(bool AResetLocal) {
  CloseSocket();  // a socket still open would otherwise leak
  std::lock_guard<std::mutex> lock(FConnectionHandle);
  FReadSocketList.Clear();
  FHandle = -1;
  if (AResetLocal) {
    FIP.clear();
    FPort = 0;
  }
  FPeerIP.clear();
  FPeerPort = 0;
  FIPVersion = Qx_IPv4;
}

void TQxSocketHandle::SetSockOpt(int ALevel, int AOptName, int AOptVal) {
  TQxStack::Instance().SetSocketOption(FHandle, ALevel, AOptName, AOptVal);
}

void TQxSocketHandle::UpdateBindingLocal() {
  TQxStack::Instance().GetSocketName(FHandle, FIP, FPort);
}

void TQxSocketHandle::UpdateBindingPeer() {
  TQxStack::Instance().GetPeerName(FHandle, FPeerIP, FPeerPort);
}

void TQxSocketHandle::SetIPVersion(TQxIPVersion AValue) {
  if (AValue == FIPVersion) return;
  if (HandleAllocated()) throw EQxCannotSetIPVersionWhenConnected();
  FIPVersion = AValue;
}

}  // namespace quorvex
