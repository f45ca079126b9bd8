#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "net/socket_system.h"

namespace quorvex::socket_system {

void StartUp() {}
void CleanUp() {}

// Close-on-exec: the console children must not inherit mail connections.
int NewSocket(int AFamily, int AType, int AProtocol) {
  return ::socket(AFamily, AType | SOCK_CLOEXEC, AProtocol);
}

void Close(int ASocket) { ::close(ASocket); }

void ShutdownSend(int ASocket) { ::shutdown(ASocket, SHUT_WR); }

int WaitReadable(const std::vector<int>& ASockets, int AMSec) {
  std::vector<pollfd> fds;
  for (int s : ASockets) fds.push_back(pollfd{s, POLLIN, 0});
  return ::poll(fds.data(), fds.size(), AMSec);
}

int WaitWritable(int ASocket, int AMSec) {
  pollfd pfd{ASocket, POLLOUT, 0};
  return ::poll(&pfd, 1, AMSec);
}

int Send(int ASocket, const char* AData, int ALength, bool ADontWait) {
  return static_cast<int>(
      ::send(ASocket, AData, ALength, MSG_NOSIGNAL | (ADontWait ? MSG_DONTWAIT : 0)));
}

int Recv(int ASocket, char* AData, int ALength, bool ADontWait) {
  return static_cast<int>(::recv(ASocket, AData, ALength, ADontWait ? MSG_DONTWAIT : 0));
}

void SetTimeouts(int ASocket, int AMSec) {
  const int ms = AMSec > 0 ? AMSec : 0;
  timeval tv{ms / 1000, static_cast<suseconds_t>((ms % 1000) * 1000)};
  ::setsockopt(ASocket, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ::setsockopt(ASocket, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

}  // namespace quorvex::socket_system
