#pragma once

#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace quorvex {

// Descriptors that one loop waits on together, each with a key of its
// holder's. The set is kept between waits, so a wait costs the poll itself and
// nothing that is rebuilt for every descriptor.
class TPollSet {
 public:
  struct TKey {
    const void* owner;  // only compared: tells the holders apart
    std::uint64_t id;
  };

  void add(int fd, TKey key);
  void remove(int fd);
  size_t size() const { return _fds.size(); }

  // Waits at most timeoutMs for any descriptor to turn readable (or to fail),
  // and puts the keys of those that did into `ready`. A wait that cannot be
  // made pauses for timeoutMs and reports every descriptor, so the caller looks
  // at all of them rather than at none.
  void wait(int timeoutMs, std::vector<TKey>& ready);

 private:
  std::vector<pollfd> _fds;
  std::vector<TKey> _keys;                 // same order as _fds
  std::unordered_map<int, size_t> _index;  // fd → position in _fds
};

}  // namespace quorvex
