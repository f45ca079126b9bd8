#include <winsock2.h>

#include "net/socket_error.h"

namespace quorvex {

// The system's own codes are the socket error codes.
int SocketErrorFromSystem(int ACode) { return ACode; }

// getaddrinfo returns socket error codes on Windows; they pass unchanged.
int SocketErrorFromResolverResult(int AResult, int) { return AResult; }

int WSGetLastError() { return WSAGetLastError(); }

void WSSetLastError(int AErr) { WSASetLastError(AErr); }

}  // namespace quorvex
