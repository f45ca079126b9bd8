#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "net/stack.h"

namespace quorvex {

class TQxSocketHandle;

// The sockets one readiness test waits on.
class TQxSocketList {
 public:
  void Add(int AHandle);
  void Remove(int AHandle);
  void Clear();
  // Waits until one of the sockets is readable; AMSec < 0 waits without limit.
  // False on time-out; a failed wait raises the socket error.
  bool SelectRead(int AMSec) const;

 private:
  mutable std::mutex _lock;
  std::vector<int> _handles;
};

// One socket binding: the platform socket with its local and peer addresses.
// Receive, Send, Select and CloseSocket are virtual so that a binding can be
// backed by something other than a platform socket.
class TQxSocketHandle {
 public:
  TQxSocketHandle();
  virtual ~TQxSocketHandle();
  TQxSocketHandle(const TQxSocketHandle&) = delete;
  TQxSocketHandle& operator=(const TQxSocketHandle&) = delete;

  // Closes any previous socket, forgets the addresses, makes a new socket of
  // the binding's address family.
  void AllocateSocket(int ASocketType, int AProtocol);
  void Bind();
  void Connect();
  // Never raises; safe to call from another thread while Connect is running.
  virtual void CloseSocket();
  // Byte count, 0 when the peer closed; failures raise.
  virtual int Receive(char* VBuffer, int ASize);
  virtual int Send(const char* ABuffer, int ASize);
  // AMSec -1: no limit. Raises EQxConnClosedGracefully without a socket.
  bool Readable(int AMSec);
  virtual bool Select(int ATimeout);
  void SetPeer(const std::u16string& AIP, std::uint16_t APort, TQxIPVersion AIPVersion);
  void Reset(bool AResetLocal = true);
  void SetSockOpt(int ALevel, int AOptName, int AOptVal);
  void UpdateBindingLocal();
  void UpdateBindingPeer();

  int Handle() const { return FHandle; }
  bool HandleAllocated() const;
  const std::u16string& IP() const { return FIP; }
  void SetIP(const std::u16string& AValue) { FIP = AValue; }
  std::uint16_t Port() const { return FPort; }
  void SetPort(std::uint16_t AValue) { FPort = AValue; }
  const std::u16string& PeerIP() const { return FPeerIP; }
  std::uint16_t PeerPort() const { return FPeerPort; }
  TQxIPVersion IPVersion() const { return FIPVersion; }
  // Changing the version needs a new socket.
  void SetIPVersion(TQxIPVersion AValue);
  std::uint16_t ClientPortMin() const { return FClientPortMin; }
  void SetClientPortMin(std::uint16_t AValue) { FClientPortMin = AValue; }
  std::uint16_t ClientPortMax() const { return FClientPortMax; }
  void SetClientPortMax(std::uint16_t AValue) { FClientPortMax = AValue; }

 protected:
  // For bindings not backed by a platform socket.
  void SetAllocated(bool AValue);

 private:
  // Ends a Connect: closes a socket closed meanwhile, else reads back the
  // addresses (AReadBack) while the socket is still allocated.
  void EndConnect(int AHandle, bool AReadBack);

  int FHandle = -1;
  bool FHandleAllocated = false;
  std::u16string FIP;
  std::uint16_t FPort = 0;
  std::u16string FPeerIP;
  std::uint16_t FPeerPort = 0;
  TQxIPVersion FIPVersion = Qx_IPv4;
  std::uint16_t FClientPortMin = 0;
  std::uint16_t FClientPortMax = 0;
  TQxSocketList FReadSocketList;
  // Guards allocation and closing against the timed connect's thread.
  mutable std::mutex FConnectionHandle;
  // A connect is running on another thread: closing then only shuts the
  // socket down (which ends the connect) and leaves the close to Connect, so
  // that the descriptor cannot be reused while connect() still uses it.
  bool FConnecting = false;
  bool FCloseAfterConnect = false;
};

}  // namespace quorvex
