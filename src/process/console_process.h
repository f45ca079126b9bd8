#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace quorvex {

// Time a child gets to end on SIGTERM before it gets SIGKILL.
inline constexpr std::chrono::seconds kTerminateGrace{2};

// What the test cycle needs of a running console child. TConsoleApp is the
// real one; tests of the cycle plug in scripted fakes.
class IConsoleProcess {
 public:
  virtual ~IConsoleProcess() = default;  // releasing terminates the child
  virtual void run() = 0;
  // Starts the child like run, but without waiting to learn whether the
  // program could be started: for a caller that starts many at once. A
  // failure after the child was created then shows as the child ending with
  // startFailed true.
  virtual void launch() { run(); }
  virtual bool startFailed() { return false; }
  virtual std::u16string readOutput(int timeoutMs) = 0;
  virtual bool writeInput(const std::u16string& text) = 0;
  virtual bool isRunning() = 0;
  // Descriptors that turn readable when the child prints or ends, so that a
  // caller can wait on many children at once; empty when there are none.
  virtual std::vector<int> waitHandles() const { return {}; }
  // Asks the child to end, without waiting; releasing it still terminates it.
  virtual void requestStop() {}
  // Ends what is left of the child at once, without waiting; releasing it
  // then only collects it.
  virtual void forceStop() {}
  // A descriptor that turns readable once the child has ended; -1 when there
  // is none, and the caller must ask isRunning now and then.
  virtual int endHandle() const { return -1; }
  // How often the child has discarded the input it had not read yet (as a
  // terminal does when the child turns echo off with a flush); empty when
  // that cannot be known.
  virtual std::optional<unsigned long> inputFlushes() const { return std::nullopt; }
};

}  // namespace quorvex
