#include "platform/poll_set.h"

#include <cerrno>

namespace quorvex {

void TPollSet::add(int fd, TKey key) {
  if (fd < 0 || _index.contains(fd)) return;
  _index.emplace(fd, _fds.size());
  _fds.push_back({fd, POLLIN, 0});
  _keys.push_back(key);
}

void TPollSet::remove(int fd) {
  const auto found = _index.find(fd);
  if (found == _index.end()) return;
  const size_t at = found->second;
  _index.erase(found);
  // The last one takes the free place, so removal costs the same at any size.
  if (at + 1 != _fds.size()) {
    _fds[at] = _fds.back();
    _keys[at] = _keys.back();
    _index[_fds[at].fd] = at;
  }
  _fds.pop_back();
  _keys.pop_back();
}

void TPollSet::wait(int timeoutMs, std::vector<TKey>& ready) {
  ready.clear();
  const int count = ::poll(_fds.data(), _fds.size(), timeoutMs);
  if (count == 0 || (count == -1 && errno == EINTR)) return;
  if (count == -1) {
    pollfd none{-1, 0, 0};
    ::poll(&none, 1, timeoutMs);  // the pause; bounded by timeoutMs
    ready = _keys;
    return;
  }
  for (size_t i = 0; i < _fds.size(); ++i)
    if (_fds[i].revents != 0) ready.push_back(_keys[i]);
}

}  // namespace quorvex
