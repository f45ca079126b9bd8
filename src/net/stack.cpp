#include "net/stack.h"

#include <cstring>

#include "net/net_errors.h"
#include "net/socket_error.h"
#include "net/socket_headers.h"
#include "net/socket_system.h"
#include "platform/host_name.h"
#include "platform/text.h"

namespace quorvex {

namespace {

std::mutex gStackLock;
int gStackUsage = 0;
TQxStack* gStack = nullptr;

// A decimal integer with an optional sign, or -1 when the text is not one.
int PartValue(const std::u16string& APart) {
  if (APart.size() > 10) return -1;
  return static_cast<int>(ParseWholeNumber(APart, -1, 255).value_or(-1));
}

// The four parts of a dotted IPv4 text, each trimmed; false when it is not one.
bool SplitIPv4(const std::u16string& AIP, std::uint8_t (&VParts)[4]) {
  std::u16string rest = AIP;
  for (int i = 0; i < 4; ++i) {
    const size_t dot = rest.find(u'.');
    std::u16string part = dot == std::u16string::npos ? rest : rest.substr(0, dot);
    rest = dot == std::u16string::npos ? std::u16string() : rest.substr(dot + 1);
    const int value = PartValue(Trim(part));
    if (value < 0) return false;
    VParts[i] = static_cast<std::uint8_t>(value);
  }
  return rest.empty();
}

std::u16string SockAddrToText(const sockaddr_storage& AAddr, std::uint16_t& VPort) {
  std::vector<std::uint8_t> bytes;
  if (AAddr.ss_family == AF_INET) {
    const auto& in = reinterpret_cast<const sockaddr_in&>(AAddr);
    const auto* p = reinterpret_cast<const std::uint8_t*>(&in.sin_addr);
    bytes.assign(p, p + 4);
    VPort = ntohs(in.sin_port);
  } else if (AAddr.ss_family == AF_INET6) {
    const auto& in6 = reinterpret_cast<const sockaddr_in6&>(AAddr);
    const auto* p = reinterpret_cast<const std::uint8_t*>(&in6.sin6_addr);
    bytes.assign(p, p + 16);
    VPort = ntohs(in6.sin6_port);
  } else {
    VPort = 0;
    return {};
  }
  return TQxStack::AddressToText(bytes);
}

// The socket address for a text address and a port. Raises "Invalid argument."
// for a text that is no address of the version.
socklen_t MakeSockAddr(const std::u16string& AIP, std::uint16_t APort, TQxIPVersion AIPVersion,
                       sockaddr_storage& VAddr) {
  std::memset(&VAddr, 0, sizeof VAddr);
  if (AIPVersion == Qx_IPv4) {
    auto& in = reinterpret_cast<sockaddr_in&>(VAddr);
    in.sin_family = AF_INET;
    in.sin_port = htons(APort);
    if (!AIP.empty()) {
      std::uint8_t parts[4];
      if (!SplitIPv4(AIP, parts)) RaiseSocketError(socket_error::InvalidArgument);
      std::memcpy(&in.sin_addr, parts, 4);
    }
    return sizeof(sockaddr_in);
  }
  if (AIPVersion == Qx_IPv6) {
    auto& in6 = reinterpret_cast<sockaddr_in6&>(VAddr);
    in6.sin6_family = AF_INET6;
    in6.sin6_port = htons(APort);
    if (!AIP.empty() && inet_pton(AF_INET6, toUtf8(AIP).c_str(), &in6.sin6_addr) != 1)
      RaiseSocketError(socket_error::InvalidArgument);
    return sizeof(sockaddr_in6);
  }
  throw EQxIPVersionUnsupported();
}

}  // namespace

TQxNameResolver::TResult TQxSystemResolver::Lookup(const std::string& AHost,
                                                   TQxIPVersion AIPVersion) {
  addrinfo hints{};
  hints.ai_family = AIPVersion == Qx_IPv6 ? AF_INET6 : AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  TResult result;
  errno = 0;
  result.Code = getaddrinfo(AHost.c_str(), nullptr, &hints, &list);
  result.Errno = errno;
  if (result.Code == 0 && list) {
    if (list->ai_family == AF_INET) {
      const auto* p = reinterpret_cast<const std::uint8_t*>(
          &reinterpret_cast<const sockaddr_in*>(list->ai_addr)->sin_addr);
      result.Address.assign(p, p + 4);
    } else if (list->ai_family == AF_INET6) {
      const auto* p = reinterpret_cast<const std::uint8_t*>(
          &reinterpret_cast<const sockaddr_in6*>(list->ai_addr)->sin6_addr);
      result.Address.assign(p, p + 16);
    }
  }
  if (list) freeaddrinfo(list);
  return result;
}

TQxStack::TQxStack() : _resolver(std::make_unique<TQxSystemResolver>()) {
  socket_system::StartUp();
}

TQxStack::~TQxStack() { socket_system::CleanUp(); }

void TQxStack::IncUsage() {
  std::lock_guard<std::mutex> lock(gStackLock);
  // A stack that cannot start leaves the count as it was.
  if (gStackUsage == 0) gStack = new TQxStack();
  ++gStackUsage;
}

void TQxStack::DecUsage() {
  std::lock_guard<std::mutex> lock(gStackLock);
  if (--gStackUsage == 0) {
    delete gStack;
    gStack = nullptr;
  }
}

TQxStack& TQxStack::Instance() {
  std::lock_guard<std::mutex> lock(gStackLock);
  if (!gStack) throw EQxException(u"The socket stack is not in use.");
  return *gStack;
}

bool TQxStack::Exists() {
  std::lock_guard<std::mutex> lock(gStackLock);
  return gStack != nullptr;
}

std::u16string TQxStack::HostName() const { return LocalHostName(); }

bool TQxStack::IsIP(const std::u16string& AIP) {
  std::uint8_t parts[4];
  return SplitIPv4(AIP, parts);
}

bool TQxStack::IsIPv6(const std::u16string& AIP) {
  in6_addr addr;
  return inet_pton(AF_INET6, toUtf8(AIP).c_str(), &addr) == 1;
}

std::u16string TQxStack::ResolveHost(const std::u16string& AHost, TQxIPVersion AIPVersion) {
  if (AIPVersion == Qx_IPv6) {
    in6_addr addr;
    if (inet_pton(AF_INET6, toUtf8(AHost).c_str(), &addr) == 1) {
      const auto* p = reinterpret_cast<const std::uint8_t*>(&addr);
      return AddressToText(std::vector<std::uint8_t>(p, p + 16));
    }
    return LookupName(AHost, Qx_IPv6);
  }
  if (AIPVersion == Qx_IPv4) {
    if (EqualsNoCase(AHost, u"localhost")) return u"127.0.0.1";
    if (IsIP(AHost)) return AHost;
    return LookupName(AHost, Qx_IPv4);
  }
  throw EQxIPVersionUnsupported();
}

std::u16string TQxStack::LookupName(const std::u16string& AHost, TQxIPVersion AIPVersion) {
  TQxNameResolver::TResult result;
  {
    std::lock_guard<std::mutex> lock(_resolverLock);
    result = _resolver->Lookup(toUtf8(AHost), AIPVersion);
  }
  if (result.Code != 0) RaiseSocketError(SocketErrorFromResolverResult(result.Code, result.Errno));
  if (result.Address.empty()) RaiseSocketError(socket_error::HostNotFound);
  return AddressToText(result.Address);
}

std::unique_ptr<TQxNameResolver> TQxStack::SetNameResolver(
    std::unique_ptr<TQxNameResolver> AResolver) {
  std::lock_guard<std::mutex> lock(_resolverLock);
  std::swap(_resolver, AResolver);
  return AResolver;
}

std::u16string TQxStack::AddressToText(const std::vector<std::uint8_t>& AAddress) {
  std::string text;
  if (AAddress.size() == 4) {
    for (int i = 0; i < 4; ++i) {
      if (i) text += '.';
      text += std::to_string(AAddress[i]);
    }
  } else if (AAddress.size() == 16) {
    char group[8];
    for (int i = 0; i < 8; ++i) {
      if (i) text += ':';
      std::snprintf(group, sizeof group, "%x", (AAddress[2 * i] << 8) | AAddress[2 * i + 1]);
      text += group;
    }
  }
  return u16(text);
}

int TQxStack::NewSocketHandle(int ASocketType, int AProtocol, TQxIPVersion AIPVersion) {
  int family;
  switch (AIPVersion) {
    case Qx_IPv4:
      family = AF_INET;
      break;
    case Qx_IPv6:
      family = AF_INET6;
      break;
    default:
      throw EQxIPVersionUnsupported();
  }
  // The console children must not inherit mail connections.
  return CheckForSocketError(socket_system::NewSocket(family, ASocketType, AProtocol));
}

bool TQxStack::TryBind(int ASocket, const std::u16string& AIP, std::uint16_t APort,
                       TQxIPVersion AIPVersion) {
  sockaddr_storage addr;
  const socklen_t length = MakeSockAddr(AIP, APort, AIPVersion, addr);
  return ::bind(ASocket, reinterpret_cast<sockaddr*>(&addr), length) == 0;
}

void TQxStack::Connect(int ASocket, const std::u16string& AIP, std::uint16_t APort,
                       TQxIPVersion AIPVersion) {
  sockaddr_storage addr;
  const socklen_t length = MakeSockAddr(AIP, APort, AIPVersion, addr);
  if (::connect(ASocket, reinterpret_cast<sockaddr*>(&addr), length) == 0) return;
  if (WSGetLastError() != socket_error::Interrupted) RaiseLastSocketError();
  // A signal cut the wait short; the connect goes on in the kernel. Waiting
  // for it has the same bound as the blocking connect itself.
  while (socket_system::WaitWritable(ASocket, -1) == -1)
    if (WSGetLastError() != socket_error::Interrupted) RaiseLastSocketError();
  int error = 0;
  socklen_t errorLength = sizeof error;
  CheckForSocketError(
      ::getsockopt(ASocket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &errorLength));
  if (error != 0) RaiseSocketError(SocketErrorFromSystem(error));
}

void TQxStack::Disconnect(int ASocket) { socket_system::ShutdownSend(ASocket); }

int TQxStack::Receive(int ASocket, char* VBuffer, int ASize) {
  int n;
  do n = socket_system::Recv(ASocket, VBuffer, ASize, false);
  while (n == -1 && WSGetLastError() == socket_error::Interrupted);
  return CheckForSocketError(n);
}

int TQxStack::Send(int ASocket, const char* ABuffer, int ASize) {
  int n;
  // A peer that has gone gives an error, not SIGPIPE.
  do n = socket_system::Send(ASocket, ABuffer, ASize, false);
  while (n == -1 && WSGetLastError() == socket_error::Interrupted);
  return CheckForSocketError(n);
}

void TQxStack::SetSocketOption(int ASocket, int ALevel, int AOptName, int AOptVal) {
  CheckForSocketError(::setsockopt(ASocket, ALevel, AOptName,
                                   reinterpret_cast<const char*>(&AOptVal), sizeof AOptVal));
}

void TQxStack::GetSocketName(int ASocket, std::u16string& VIP, std::uint16_t& VPort) {
  sockaddr_storage addr{};
  socklen_t length = sizeof addr;
  CheckForSocketError(::getsockname(ASocket, reinterpret_cast<sockaddr*>(&addr), &length));
  VIP = SockAddrToText(addr, VPort);
}

void TQxStack::GetPeerName(int ASocket, std::u16string& VIP, std::uint16_t& VPort) {
  sockaddr_storage addr{};
  socklen_t length = sizeof addr;
  CheckForSocketError(::getpeername(ASocket, reinterpret_cast<sockaddr*>(&addr), &length));
  VIP = SockAddrToText(addr, VPort);
}

}  // namespace quorvex
