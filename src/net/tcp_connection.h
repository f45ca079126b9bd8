#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/component.h"
#include "net/io_handler.h"
#include "net/reply.h"

namespace quorvex {

class TQxIOHandlerSocket;

// A reply code in the numeric forms of the command channel.
using TQxReplyCode = std::int16_t;

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

  // --- commands and replies ---
  // The last reply read; its class is the one CreateReply gives.
  TQxReply& LastCmdResult() const;
  // Never filled by the protocols here; there for clients that keep one.
  TQxReply& Greeting() const;

  // Writes AOut and a line break, then reads one reply. A single code below
  // 0, an empty list or an empty code text accepts any reply; any other
  // reply raises the reply class's error.
  TQxReplyCode SendCmd(const std::u16string& AOut, TQxReplyCode AResponse = -1,
                       const TEncoding* AEncoding = nullptr);
  virtual TQxReplyCode SendCmd(const std::u16string& AOut,
                               const std::vector<TQxReplyCode>& AResponse,
                               const TEncoding* AEncoding = nullptr);
  std::u16string SendCmd(const std::u16string& AOut, const std::u16string& AResponse,
                         const TEncoding* AEncoding = nullptr);
  TQxReplyCode GetResponse(TQxReplyCode AAllowedResponse = -1,
                           const TEncoding* AEncoding = nullptr);
  virtual TQxReplyCode GetResponse(const std::vector<TQxReplyCode>& AAllowedResponses,
                                   const TEncoding* AEncoding = nullptr);
  virtual std::u16string GetResponse(const std::u16string& AAllowedResponse,
                                     const TEncoding* AEncoding = nullptr);
  // Reads exactly one reply into LastCmdResult.
  virtual void GetInternalResponse(const TEncoding* AEncoding = nullptr);
  virtual TQxReplyCode CheckResponse(TQxReplyCode AResponse,
                                     const std::vector<TQxReplyCode>& AAllowedResponses);
  virtual std::u16string CheckResponse(const std::u16string& AResponse,
                                       const std::u16string& AAllowedResponse);
  [[noreturn]] virtual void RaiseExceptionForLastCmdResult();
  // Raises E with the last reply's text as message.
  template <class E>
  [[noreturn]] void RaiseExceptionForLastCmdResultAs() {
    throw E(LastCmdResult().Text().Text());
  }

  TQxNotifyEvent OnDisconnected;

 protected:
  // The reply class of the protocol: RFC replies here.
  virtual std::unique_ptr<TQxReply> CreateReply() const;
  // May rewrite a command line before it is written; nothing here.
  virtual void PrepareCmd(std::u16string&) {}
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
  // Made on first use: the reply class is a virtual choice of the protocol,
  // which a constructor cannot ask for.
  mutable std::unique_ptr<TQxReply> FGreeting;
  mutable std::unique_ptr<TQxReply> FLastCmdResult;
};

}  // namespace quorvex
