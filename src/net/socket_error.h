#pragma once

#include <initializer_list>
#include <string>

namespace quorvex {

// Socket error codes. The system reports socket failures with these numbers
// and their texts whatever the platform's own numbering is.
namespace socket_error {
constexpr int Interrupted = 10004;
constexpr int BadFile = 10009;
constexpr int InvalidArgument = 10022;
constexpr int WouldBlock = 10035;
constexpr int NotASocket = 10038;
constexpr int ConnectionAborted = 10053;
constexpr int NotConnected = 10057;
constexpr int ConnectionReset = 10054;
constexpr int Shutdown = 10058;
constexpr int TimedOut = 10060;
constexpr int ConnectionRefused = 10061;
constexpr int HostNotFound = 11001;
}  // namespace socket_error

// "Socket Error # <code>\r\n<text>"; the text is empty for a code without one.
std::u16string WSTranslateSocketErrorMsg(int AErr);

// The socket error code for a Linux errno value. An errno with no counterpart
// keeps its own value (and so gets an empty text). POSIX only.
int SocketErrorFromErrno(int AErrno);

// The socket error code for the system's own error code (errno on POSIX; on
// Windows the codes are the same).
int SocketErrorFromSystem(int ACode);

// The socket error code for a getaddrinfo result (0 for success).
// AErrno is the errno at the time of the call, used for EAI_SYSTEM.
int SocketErrorFromResolverResult(int AResult, int AErrno);

// The socket error code of the calling thread's last failed socket call.
int WSGetLastError();
// Makes AErr the calling thread's last socket error (0: none).
void WSSetLastError(int AErr);

// Raises EQxNotASocket for 10038, else EQxSocketError, with the translated
// message.
[[noreturn]] void RaiseSocketError(int AErr);
[[noreturn]] void RaiseLastSocketError();

// AResult of -1 raises the last socket error; any other result is returned.
int CheckForSocketError(int AResult);
// AResult of -1 returns the last socket error when it is one of AIgnore and
// raises it otherwise; any other result is returned.
int CheckForSocketError(int AResult, std::initializer_list<int> AIgnore);

}  // namespace quorvex
