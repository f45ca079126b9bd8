#pragma once

#include "platform/unique_fd.h"

namespace quorvex {

// A pipe that wakes a loop waiting on its read end: wake() may be called from
// any thread and from a signal handler; the loop drains it when it wakes.
class TWakePipe {
 public:
  TWakePipe();  // raises Exception when no pipe can be had

  int readFd() const { return _read.get(); }
  int writeFd() const { return _write.get(); }
  void wake() const { wake(_write.get()); }
  // The same through the write end's number alone, for a signal handler.
  static void wake(int writeFd);
  // Empties the pipe; true when anything had been written.
  bool drain() const;

 private:
  TUniqueFd _read;
  TUniqueFd _write;
};

}  // namespace quorvex
