#include "net/tcp_connection.h"

#include <algorithm>
#include <climits>
#include <exception>

#include "net/io_handler_socket.h"
#include "net/net_errors.h"
#include "platform/text.h"

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

std::unique_ptr<TQxReply> TQxTCPConnection::CreateReply() const {
  return std::make_unique<TQxReplyRFC>();
}

TQxReply& TQxTCPConnection::LastCmdResult() const {
  if (!FLastCmdResult) FLastCmdResult = CreateReply();
  return *FLastCmdResult;
}

TQxReply& TQxTCPConnection::Greeting() const {
  if (!FGreeting) FGreeting = CreateReply();
  return *FGreeting;
}

TQxReplyCode TQxTCPConnection::SendCmd(const std::u16string& AOut, TQxReplyCode AResponse,
                                       const TEncoding* AEncoding) {
  return SendCmd(AOut,
                 AResponse < 0 ? std::vector<TQxReplyCode>{} : std::vector<TQxReplyCode>{AResponse},
                 AEncoding);
}

TQxReplyCode TQxTCPConnection::SendCmd(const std::u16string& AOut,
                                       const std::vector<TQxReplyCode>& AResponse,
                                       const TEncoding* AEncoding) {
  CheckHandlerAssigned();
  std::u16string line = AOut;
  PrepareCmd(line);
  FIOHandler->WriteLn(line, AEncoding);
  return GetResponse(AResponse, AEncoding);
}

std::u16string TQxTCPConnection::SendCmd(const std::u16string& AOut,
                                         const std::u16string& AResponse,
                                         const TEncoding* AEncoding) {
  CheckHandlerAssigned();
  std::u16string line = AOut;
  PrepareCmd(line);
  FIOHandler->WriteLn(line, AEncoding);
  return GetResponse(AResponse, AEncoding);
}

TQxReplyCode TQxTCPConnection::GetResponse(TQxReplyCode AAllowedResponse,
                                           const TEncoding* AEncoding) {
  return GetResponse(AAllowedResponse < 0 ? std::vector<TQxReplyCode>{}
                                          : std::vector<TQxReplyCode>{AAllowedResponse},
                     AEncoding);
}

TQxReplyCode TQxTCPConnection::GetResponse(const std::vector<TQxReplyCode>& AAllowedResponses,
                                           const TEncoding* AEncoding) {
  GetInternalResponse(AEncoding);
  return CheckResponse(static_cast<TQxReplyCode>(LastCmdResult().NumericCode()), AAllowedResponses);
}

std::u16string TQxTCPConnection::GetResponse(const std::u16string& AAllowedResponse,
                                             const TEncoding* AEncoding) {
  GetInternalResponse(AEncoding);
  return CheckResponse(LastCmdResult().Code(), AAllowedResponse);
}

void TQxTCPConnection::GetInternalResponse(const TEncoding* AEncoding) {
  CheckHandlerAssigned();
  TQxReply& reply = LastCmdResult();
  std::vector<std::u16string> lines;
  // Each line waits as long as the handler's ReadTimeout allows (no limit by
  // default, as the protocol has it); a peer close or time-out raises.
  do {
    lines.push_back(FIOHandler->ReadLnWait(INT_MAX, AEncoding));
  } while (!reply.IsEndMarker(lines.back()));
  reply.SetFormattedReply(lines);
}

TQxReplyCode TQxTCPConnection::CheckResponse(TQxReplyCode AResponse,
                                             const std::vector<TQxReplyCode>& AAllowedResponses) {
  if (AAllowedResponses.empty() || std::find(AAllowedResponses.begin(), AAllowedResponses.end(),
                                             AResponse) != AAllowedResponses.end())
    return AResponse;
  RaiseExceptionForLastCmdResult();
  throw EQxException(LastCmdResult().Text().Text());  // an override that returned
}

std::u16string TQxTCPConnection::CheckResponse(const std::u16string& AResponse,
                                               const std::u16string& AAllowedResponse) {
  if (AAllowedResponse.empty() || EqualsNoCase(AResponse, AAllowedResponse)) return AResponse;
  RaiseExceptionForLastCmdResult();
  throw EQxException(LastCmdResult().Text().Text());  // an override that returned
}

void TQxTCPConnection::RaiseExceptionForLastCmdResult() {
  LastCmdResult().RaiseReplyError();
  throw EQxException(LastCmdResult().Text().Text());  // a reply class that returned
}

void TQxTCPConnection::CheckHandlerAssigned() const {
  if (!FIOHandler) throw EQxNotConnected();
}

}  // namespace quorvex
