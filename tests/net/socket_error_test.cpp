#include "net/socket_error.h"

#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>

#include "net/net_errors.h"
#include "support/raises.h"

namespace quorvex {
namespace {

std::u16string SecondLine(const std::u16string& AMessage) {
  const size_t pos = AMessage.find(u"\r\n");
  return pos == std::u16string::npos ? u"<no line break>" : AMessage.substr(pos + 2);
}

TEST(SocketError, MessageFormat) {
  struct TCase {
    int Code;
    std::u16string Message;
  };
  const TCase cases[] = {
      {10061, u"Socket Error # 10061\r\nConnection refused."},
      {10004, u"Socket Error # 10004\r\nInterrupted system call."},
      {10066, u"Socket Error # 10066\r\nDirectory not empty"},
      {11001, u"Socket Error # 11001\r\nHost not found."},
      {11002, u"Socket Error # 11002\r\n"},
      {12345, u"Socket Error # 12345\r\n"},
      {-3, u"Socket Error # -3\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(WSTranslateSocketErrorMsg(c.Code), c.Message);
}

TEST(SocketError, LinuxErrorsMapOntoTheCodes) {
  struct TCase {
    int Errno;
    int Code;
    std::u16string Text;
  };
  const TCase cases[] = {
      {ECONNREFUSED, 10061, u"Connection refused."},
      {ETIMEDOUT, 10060, u"Connection timed out."},
      {EHOSTUNREACH, 10065, u"No route to host."},
      {ENETUNREACH, 10051, u"Network is unreachable."},
      {ECONNRESET, 10054, u"Connection reset by peer."},
      {ECONNABORTED, 10053, u"Software caused connection abort."},
      {EPIPE, 10058, u"Cannot send or receive after socket is closed."},
      {EADDRINUSE, 10048, u"Address already in use."},
      {EADDRNOTAVAIL, 10049, u"Cannot assign requested address."},
      {EBADF, 10009, u"Bad file number."},
      {ENOTSOCK, 10038, u"Socket operation on non-socket."},
      {EINVAL, 10022, u"Invalid argument."},
      {EAGAIN, 10035, u"Operation would block."},
      {EMFILE, 10024, u"Too many open files."},
      {ENOENT, ENOENT, u""},
  };
  const auto codeAndText = [](const EQxSocketError& e) {
    return std::pair(e.LastError(), SecondLine(e.Message()));
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Errno);
    EXPECT_EQ(SocketErrorFromErrno(c.Errno), c.Code);
    errno = c.Errno;
    EXPECT_EQ(test::ReadRaised<EQxSocketError>([] { CheckForSocketError(-1); }, codeAndText),
              std::pair(c.Code, c.Text));
  }
}

TEST(SocketError, ResolverResultsMapOntoTheCodes) {
  struct TCase {
    int Result;
    int Errno;
    int Code;
  };
  const TCase cases[] = {
      {0, 0, 0},
      {EAI_NONAME, 0, 11001},
      {EAI_AGAIN, 0, 11002},
      {EAI_FAIL, 0, 11003},
      {EAI_NODATA, 0, 11004},
      {EAI_BADFLAGS, 0, 10022},
      {EAI_FAMILY, 0, 10047},
      {EAI_SOCKTYPE, 0, 10044},
      {EAI_SERVICE, 0, 10109},
      {EAI_MEMORY, 0, 8},
      {EAI_SYSTEM, ECONNREFUSED, 10061},
      {EAI_OVERFLOW, 0, EAI_OVERFLOW},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SocketErrorFromResolverResult(c.Result, c.Errno), c.Code) << c.Result;
}

TEST(SocketError, RaisingAndIgnoring) {
  EXPECT_THROW(RaiseSocketError(10038), EQxNotASocket);
  try {
    RaiseSocketError(10054);
  } catch (const EQxNotASocket&) {
    ADD_FAILURE() << "10054 is no EQxNotASocket";
  } catch (const EQxSocketError& e) {
    EXPECT_EQ(e.LastError(), 10054);
  }

  EXPECT_EQ(CheckForSocketError(7), 7);
  EXPECT_EQ(CheckForSocketError(0, {10054}), 0);
  errno = ECONNRESET;
  EXPECT_EQ(CheckForSocketError(-1, {10058, 10054}), 10054);
  errno = EBADF;
  EXPECT_THROW(CheckForSocketError(-1, {10058, 10054}), EQxSocketError);
}

}  // namespace
}  // namespace quorvex
