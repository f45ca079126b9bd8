#pragma once

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace quorvex {

// Owns one file descriptor and closes it when released.
class TUniqueFd {
 public:
  TUniqueFd() = default;
  explicit TUniqueFd(int fd) : _fd(fd) {}
  ~TUniqueFd() { reset(); }
  TUniqueFd(TUniqueFd&& other) noexcept : _fd(std::exchange(other._fd, -1)) {}
  TUniqueFd& operator=(TUniqueFd&& other) noexcept {
    if (this != &other) {
      reset();
      _fd = std::exchange(other._fd, -1);
    }
    return *this;
  }

  int get() const { return _fd; }
  bool valid() const { return _fd >= 0; }
  void reset() {
    if (_fd >= 0) ::close(_fd);
    _fd = -1;
  }
  // Closes now and returns close's error or 0: a delayed write error shows
  // only here.
  int close() {
    const int rc = _fd >= 0 ? ::close(_fd) : 0;
    _fd = -1;
    return rc == 0 ? 0 : errno;
  }

 private:
  int _fd = -1;
};

}  // namespace quorvex
