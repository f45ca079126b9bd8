#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace quorvex {

enum TQxIPVersion { Qx_IPv4, Qx_IPv6 };

// Name lookup, the one part of the stack that reaches outside the machine.
// Tests put their own in place so that no DNS server is needed.
class TQxNameResolver {
 public:
  struct TResult {
    int Code = 0;   // getaddrinfo result, 0 on success
    int Errno = 0;  // errno after the call, for EAI_SYSTEM
    // The first address found, in network byte order: 4 bytes for IPv4,
    // 16 for IPv6.
    std::vector<std::uint8_t> Address;
  };
  virtual ~TQxNameResolver() = default;
  virtual TResult Lookup(const std::string& AHost, TQxIPVersion AIPVersion) = 0;
};

// The platform's resolver (getaddrinfo, stream sockets, no flags).
class TQxSystemResolver final : public TQxNameResolver {
 public:
  TResult Lookup(const std::string& AHost, TQxIPVersion AIPVersion) override;
};

// The socket stack: one instance per process, alive while any component or
// buffer uses it.
class TQxStack {
 public:
  // Every TQxComponent and TQxBuffer holds one usage for its lifetime.
  static void IncUsage();
  static void DecUsage();
  // The live instance; only valid while a usage is held.
  static TQxStack& Instance();
  static bool Exists();

  std::u16string HostName() const;
  // The address to connect to for AHost: literals as they are, LOCALHOST as
  // 127.0.0.1 (IPv4), anything else looked up by name.
  std::u16string ResolveHost(const std::u16string& AHost, TQxIPVersion AIPVersion);
  // Four dot-separated decimal parts of 0 to 255, blanks around a part allowed.
  static bool IsIP(const std::u16string& AIP);
  // An IPv6 address in text form that the platform accepts.
  static bool IsIPv6(const std::u16string& AIP);

  // Replaces the name resolver; returns the previous one.
  std::unique_ptr<TQxNameResolver> SetNameResolver(std::unique_ptr<TQxNameResolver> AResolver);

  // Socket calls. Each raises the socket error of a failure.
  int NewSocketHandle(int ASocketType, int AProtocol, TQxIPVersion AIPVersion);
  // False when the platform refuses the address.
  bool TryBind(int ASocket, const std::u16string& AIP, std::uint16_t APort,
               TQxIPVersion AIPVersion);
  void Connect(int ASocket, const std::u16string& AIP, std::uint16_t APort,
               TQxIPVersion AIPVersion);
  // Shuts down the sending direction; the result is not checked.
  void Disconnect(int ASocket);
  int Receive(int ASocket, char* VBuffer, int ASize);
  int Send(int ASocket, const char* ABuffer, int ASize);
  void SetSocketOption(int ASocket, int ALevel, int AOptName, int AOptVal);
  void GetSocketName(int ASocket, std::u16string& VIP, std::uint16_t& VPort);
  void GetPeerName(int ASocket, std::u16string& VIP, std::uint16_t& VPort);

  // Text forms of binary addresses (network byte order): IPv4 dotted decimal,
  // IPv6 as eight hexadecimal groups without "::" shortening.
  static std::u16string AddressToText(const std::vector<std::uint8_t>& AAddress);

 private:
  TQxStack();
  ~TQxStack();

  std::u16string LookupName(const std::u16string& AHost, TQxIPVersion AIPVersion);

  std::mutex _resolverLock;
  std::unique_ptr<TQxNameResolver> _resolver;
};

}  // namespace quorvex
