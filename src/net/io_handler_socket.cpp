#include "net/io_handler_socket.h"

#include "net/socket_headers.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "net/net_errors.h"
#include "net/socket_error.h"
#include "platform/text.h"

namespace quorvex {

// Runs one blocking connect of a binding and records how it ended. The
// waiting side is woken the moment the connect ends.
class TQxConnectThread {
 public:
  explicit TQxConnectThread(TQxSocketHandle& ABinding)
      : FBinding(ABinding), FThread([this] { Execute(); }) {}
  ~TQxConnectThread() {
    if (FThread.joinable()) FThread.join();
  }

  // Waits until the connect has ended or AMSec have passed (-1: no limit of
  // our own, the platform's connect time-out bounds it); true when it ended.
  bool WaitEnded(int AMSec) {
    std::unique_lock lock(FMutex);
    if (AMSec < 0) {
      FEnded.wait(lock, [this] { return FTerminated; });
      return true;
    }
    return FEnded.wait_for(lock, std::chrono::milliseconds(AMSec), [this] { return FTerminated; });
  }
  // Bounded: the connect ends at once when its socket is closed.
  void WaitFor() {
    if (FThread.joinable()) FThread.join();
  }
  // Valid after WaitFor.
  int LastSocketError() const { return FLastSocketError; }
  const std::u16string& ExceptionMessage() const { return FExceptionMessage; }

 private:
  void Execute() {
    try {
      FBinding.Connect();
    } catch (const EQxSocketError& e) {
      // A socket closed under the connect by the waiting side is no failure.
      if (e.LastError() != socket_error::BadFile && e.LastError() != socket_error::NotASocket) {
        FLastSocketError = e.LastError();
        FExceptionMessage = e.Message();
      }
    } catch (const Exception& e) {
      FExceptionMessage = e.Message();
    } catch (const std::exception& e) {
      FExceptionMessage = fromUtf8(e.what());
    }
    {
      std::lock_guard lock(FMutex);
      FTerminated = true;
    }
    FEnded.notify_all();
  }

  TQxSocketHandle& FBinding;
  int FLastSocketError = 0;
  std::u16string FExceptionMessage;
  std::mutex FMutex;
  std::condition_variable FEnded;
  bool FTerminated = false;  // guarded by FMutex
  std::thread FThread;       // last: starts once the rest is built
};

TQxIOHandlerSocket::TQxIOHandlerSocket() = default;

TQxIOHandlerSocket::~TQxIOHandlerSocket() = default;

std::unique_ptr<TQxSocketHandle> TQxIOHandlerSocket::CreateBinding() {
  return std::make_unique<TQxSocketHandle>();
}

void TQxIOHandlerSocket::Open() {
  TQxIOHandler::Open();
  if (!FBinding)
    FBinding = CreateBinding();
  else
    FBinding->Reset();
  FBinding->SetClientPortMin(FBoundPortMin);
  FBinding->SetClientPortMax(FBoundPortMax);
  if (!FHost.empty() && FPort > 0) ConnectClient();
}

void TQxIOHandlerSocket::ConnectClient() {
  if (OnBeforeBind) OnBeforeBind(*this);
  FBinding->SetIPVersion(FIPVersion);
  FBinding->AllocateSocket(SOCK_STREAM, 0);
  if (OnSocketAllocated) OnSocketAllocated(*this);
  if (!FBoundIP.empty()) FBinding->SetIP(FBoundIP);
  FBinding->SetPort(FBoundPort);
  FBinding->SetClientPortMin(FBoundPortMin);
  FBinding->SetClientPortMax(FBoundPortMax);
  if (FReuseSocket == rsTrue) FBinding->SetSockOpt(SOL_SOCKET, SO_REUSEADDR, 1);
  FBinding->Bind();
  FBinding->SetSockOpt(IPPROTO_TCP, TCP_NODELAY, FUseNagle ? 0 : 1);
  if (OnAfterBind) OnAfterBind(*this);

  const bool literal = FIPVersion == Qx_IPv6 ? TQxStack::IsIPv6(FHost) : TQxStack::IsIP(FHost);
  std::u16string address = FHost;
  if (!literal) {
    DoStatus(hsResolving, FHost);
    address = TQxStack::Instance().ResolveHost(FHost, FIPVersion);
  }
  FBinding->SetPeer(address, static_cast<std::uint16_t>(FPort), FIPVersion);
  DoStatus(hsConnecting, FBinding->PeerIP());
  if (FConnectTimeout != 0)
    DoConnectTimeout(FConnectTimeout);
  else
    FBinding->Connect();  // bounded by the platform's own connect time-out
}

void TQxIOHandlerSocket::DoConnectTimeout(int ATimeout) {
  TQxConnectThread thread(*FBinding);
  if (!thread.WaitEnded(ATimeout)) {
    Close();  // ends the connect under the thread
    thread.WaitFor();
    throw EQxConnectTimeout();
  }
  thread.WaitFor();
  if (!thread.ExceptionMessage().empty()) {
    if (thread.LastSocketError() != 0)
      throw EQxSocketError(thread.LastSocketError(), thread.ExceptionMessage());
    throw EQxConnectException(thread.ExceptionMessage());
  }
}

void TQxIOHandlerSocket::Close() {
  if (FBinding) FBinding->CloseSocket();
  TQxIOHandler::Close();
}

bool TQxIOHandlerSocket::Connected() {
  return (BindingAllocated() && TQxIOHandler::Connected()) || !InputBufferIsEmpty();
}

bool TQxIOHandlerStack::Connected() {
  FillInputBuffer(false, 0, false);
  return TQxIOHandlerSocket::Connected();
}

void TQxIOHandlerStack::CheckForDisconnect(bool ARaiseExceptionIfDisconnected, bool AIgnoreBuffer) {
  bool disconnected;
  if (FClosedGracefully) {
    if (BindingAllocated()) {
      Close();
      DoStatus(hsDisconnected);
    }
    disconnected = true;
  } else {
    disconnected = !BindingAllocated();
  }
  if (disconnected && (InputBufferIsEmpty() || AIgnoreBuffer) && ARaiseExceptionIfDisconnected)
    throw EQxConnClosedGracefully();
}

bool TQxIOHandlerStack::Readable(int AMSec) {
  if (!Binding()) throw EQxConnClosedGracefully();
  return Binding()->Readable(AMSec);
}

int TQxIOHandlerStack::ReceiveChunk(char* VBuffer, int ASize) {
  return Binding()->Receive(VBuffer, ASize);
}

int TQxIOHandlerStack::SendChunk(const TQxBytes& ABuffer, int AOffset, int ALength) {
  if (AOffset < 0 || static_cast<size_t>(AOffset) >= ABuffer.size()) return 0;
  const int length = std::min<int>(ALength, static_cast<int>(ABuffer.size()) - AOffset);
  if (length <= 0) return 0;
  return Binding()->Send(ABuffer.data() + AOffset, length);
}

}  // namespace quorvex
