#include "platform/wake_pipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/exception.h"
#include "platform/text.h"

namespace quorvex {

TWakePipe::TWakePipe() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
    throw Exception(u"Could not create a wake-up pipe: " + fromUtf8(std::strerror(errno)));
  _read = TUniqueFd(fds[0]);
  _write = TUniqueFd(fds[1]);
}

void TWakePipe::wake(int writeFd) {
  const int saved = errno;
  const char byte = 1;
  // A full pipe is awake already.
  [[maybe_unused]] ssize_t n = write(writeFd, &byte, 1);
  errno = saved;
}

bool TWakePipe::drain() const {
  bool any = false;
  char buffer[64];
  while (read(_read.get(), buffer, sizeof buffer) > 0) any = true;
  return any;
}

}  // namespace quorvex
