#include <netdb.h>

#include <cerrno>

#include "net/socket_error.h"

namespace quorvex {

namespace {

struct TErrnoCode {
  int err;
  int code;
};

constexpr TErrnoCode kErrnoCodes[] = {
    {EINTR, 10004},
    {EBADF, 10009},
    {EACCES, 10013},
    {EPERM, 10013},
    {EFAULT, 10014},
    {EINVAL, 10022},
    {EMFILE, 10024},
    {ENFILE, 10024},
    {EWOULDBLOCK, 10035},
    {EINPROGRESS, 10036},
    {EALREADY, 10037},
    {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039},
    {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},
    {EPROTONOSUPPORT, 10043},
    {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},
    {EPFNOSUPPORT, 10046},
    {EAFNOSUPPORT, 10047},
    {EADDRINUSE, 10048},
    {EADDRNOTAVAIL, 10049},
    {ENETDOWN, 10050},
    {ENETUNREACH, 10051},
    {ENETRESET, 10052},
    {ECONNABORTED, 10053},
    {ECONNRESET, 10054},
    {ENOBUFS, 10055},
    {ENOMEM, 10055},
    {EISCONN, 10056},
    {ENOTCONN, 10057},
    {ESHUTDOWN, 10058},
    // A send on a connection that is gone: the peer reset it or we shut it.
    {EPIPE, 10058},
    {ETOOMANYREFS, 10059},
    {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061},
    {ELOOP, 10062},
    {ENAMETOOLONG, 10063},
    {EHOSTDOWN, 10064},
    {EHOSTUNREACH, 10065},
    {ENOTEMPTY, 10066},
};

}  // namespace

int SocketErrorFromErrno(int AErrno) {
  for (const auto& entry : kErrnoCodes)
    if (entry.err == AErrno) return entry.code;
  return AErrno;
}

int SocketErrorFromResolverResult(int AResult, int AErrno) {
  switch (AResult) {
    case 0:
      return 0;
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
      return 0;
#endif
    case EAI_AGAIN:
      return 11002;
    case EAI_BADFLAGS:
      return 10022;
    case EAI_FAIL:
      return 11003;
    case EAI_FAMILY:
      return 10047;
    case EAI_MEMORY:
      return 8;
#ifdef EAI_NODATA
    case EAI_NODATA:
      return 11004;
#endif
    case EAI_NONAME:
      return 11001;
    case EAI_SERVICE:
      return 10109;
    case EAI_SOCKTYPE:
      return 10044;
    case EAI_SYSTEM:
      return SocketErrorFromErrno(AErrno);
    default:
      return AResult;
  }
}

int SocketErrorFromSystem(int ACode) { return SocketErrorFromErrno(ACode); }

int WSGetLastError() { return SocketErrorFromErrno(errno); }

void WSSetLastError(int AErr) {
  for (const auto& entry : kErrnoCodes) {
    if (entry.code == AErr) {
      errno = entry.err;
      return;
    }
  }
  errno = AErr;  // 0, or a code without an errno of its own
}

}  // namespace quorvex
