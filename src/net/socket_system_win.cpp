#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include "net/net_errors.h"
#include "net/socket_error.h"
#include "net/socket_system.h"
#include "platform/text.h"

namespace quorvex::socket_system {

namespace {

std::u16string systemText(DWORD AError) {
  wchar_t* text = nullptr;
  FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, AError, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::u16string result;
  for (const wchar_t* c = text; c && *c; ++c) result += static_cast<char16_t>(*c);
  LocalFree(text);
  while (!result.empty() && (result.back() == u'\n' || result.back() == u'\r')) result.pop_back();
  return result;
}

// WSAPoll is the system's one wait without select's fixed set size.
int poll(std::vector<WSAPOLLFD>& AFds, int AMSec) {
  return WSAPoll(AFds.data(), static_cast<ULONG>(AFds.size()), AMSec < 0 ? -1 : AMSec);
}

bool ready(int ASocket, short AEvents) {
  std::vector<WSAPOLLFD> fds{WSAPOLLFD{static_cast<SOCKET>(ASocket), AEvents, 0}};
  return poll(fds, 0) > 0;
}

}  // namespace

void StartUp() {
  WSADATA data{};
  if (const int rc = WSAStartup(MAKEWORD(2, 2), &data); rc != 0)
    throw EQxStackInitializationFailed(u"Error on loading Winsock2 library (WS2_32.DLL): " +
                                       systemText(static_cast<DWORD>(rc)));
}

void CleanUp() { WSACleanup(); }

// Not inherited: the console children get handles of their own pipes only.
int NewSocket(int AFamily, int AType, int AProtocol) {
  const SOCKET s = WSASocketW(AFamily, AType, AProtocol, nullptr, 0,
                              WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  return s == INVALID_SOCKET ? -1 : static_cast<int>(s);
}

void Close(int ASocket) { ::closesocket(static_cast<SOCKET>(ASocket)); }

void ShutdownSend(int ASocket) { ::shutdown(static_cast<SOCKET>(ASocket), SD_SEND); }

int WaitReadable(const std::vector<int>& ASockets, int AMSec) {
  std::vector<WSAPOLLFD> fds;
  for (int s : ASockets) fds.push_back(WSAPOLLFD{static_cast<SOCKET>(s), POLLRDNORM, 0});
  return poll(fds, AMSec);
}

int WaitWritable(int ASocket, int AMSec) {
  std::vector<WSAPOLLFD> fds{WSAPOLLFD{static_cast<SOCKET>(ASocket), POLLWRNORM, 0}};
  return poll(fds, AMSec);
}

// Windows sockets raise no signal; a call that must not wait looks first.
int Send(int ASocket, const char* AData, int ALength, bool ADontWait) {
  if (ADontWait && !ready(ASocket, POLLWRNORM)) {
    WSASetLastError(WSAEWOULDBLOCK);
    return -1;
  }
  const int n = ::send(static_cast<SOCKET>(ASocket), AData, ALength, 0);
  return n == SOCKET_ERROR ? -1 : n;
}

int Recv(int ASocket, char* AData, int ALength, bool ADontWait) {
  if (ADontWait && !ready(ASocket, POLLRDNORM)) {
    WSASetLastError(WSAEWOULDBLOCK);
    return -1;
  }
  const int n = ::recv(static_cast<SOCKET>(ASocket), AData, ALength, 0);
  return n == SOCKET_ERROR ? -1 : n;
}

void SetTimeouts(int ASocket, int AMSec) {
  const DWORD ms = AMSec > 0 ? static_cast<DWORD>(AMSec) : 0;
  const char* value = reinterpret_cast<const char*>(&ms);
  ::setsockopt(static_cast<SOCKET>(ASocket), SOL_SOCKET, SO_RCVTIMEO, value, sizeof ms);
  ::setsockopt(static_cast<SOCKET>(ASocket), SOL_SOCKET, SO_SNDTIMEO, value, sizeof ms);
}

}  // namespace quorvex::socket_system
