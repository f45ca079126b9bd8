#pragma once

// An in-memory byte source and sink behind a real TQxIOHandlerStack: the
// handler's own line and write logic runs unchanged, while the test decides
// how the bytes arrive (chunk size, peer close or silence) and which
// transport operation fails.

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "net/io_handler_socket.h"
#include "net/socket_error.h"

namespace quorvex::test {

struct TMemoryScript {
  explicit TMemoryScript(std::string AInput = {}, int AChunkSize = INT_MAX, bool ACloseAtEnd = true)
      : Input(std::move(AInput)), ChunkSize(AChunkSize), CloseAtEnd(ACloseAtEnd) {}

  std::string Input;
  int ChunkSize;            // most bytes one receive delivers
  bool CloseAtEnd;          // after the input: a peer close, else silence
  int SendLimit = INT_MAX;  // most bytes one send accepts
  int FailAt = 0;           // 1-based transport operation that fails (0: none)
  int FailCode = 10054;

  // What happened.
  int Operations = 0;
  size_t Position = 0;
  std::vector<std::string> Sends;
  std::vector<int> WaitTimeouts;
  bool Closed = false;

  std::string Sent() const {
    std::string all;
    for (const auto& s : Sends) all += s;
    return all;
  }
};

class TMemoryBinding final : public TQxSocketHandle {
 public:
  explicit TMemoryBinding(TMemoryScript& AScript) : _script(AScript) { SetAllocated(true); }
  ~TMemoryBinding() override { SetAllocated(false); }

  void CloseSocket() override {
    SetAllocated(false);
    _script.Closed = true;
  }
  bool Select(int ATimeout) override {
    Step();
    _script.WaitTimeouts.push_back(ATimeout);
    return _script.Position < _script.Input.size() || _script.CloseAtEnd;
  }
  int Receive(char* VBuffer, int ASize) override {
    Step();
    const size_t left = _script.Input.size() - _script.Position;
    const size_t n =
        std::min({left, static_cast<size_t>(ASize), static_cast<size_t>(_script.ChunkSize)});
    std::memcpy(VBuffer, _script.Input.data() + _script.Position, n);
    _script.Position += n;
    return static_cast<int>(n);
  }
  int Send(const char* ABuffer, int ASize) override {
    Step();
    const int n = std::min(ASize, _script.SendLimit);
    _script.Sends.emplace_back(ABuffer, n);
    return n;
  }

 private:
  void Step() {
    if (++_script.Operations == _script.FailAt) RaiseSocketError(_script.FailCode);
  }
  TMemoryScript& _script;
};

class TMemoryHandler final : public TQxIOHandlerStack {
 public:
  // Opened at once: no host, so Open only makes the binding.
  explicit TMemoryHandler(TMemoryScript& AScript) : _script(AScript) { Open(); }

 protected:
  std::unique_ptr<TQxSocketHandle> CreateBinding() override {
    return std::make_unique<TMemoryBinding>(_script);
  }

 private:
  TMemoryScript& _script;
};

}  // namespace quorvex::test
