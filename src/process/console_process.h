#pragma once

#include <string>
#include <vector>

namespace quorvex {

// What the test cycle needs of a running console child. TConsoleApp is the
// real one; tests of the cycle plug in scripted fakes.
class IConsoleProcess {
 public:
  virtual ~IConsoleProcess() = default;  // releasing terminates the child
  virtual void run() = 0;
  virtual std::u16string readOutput(int timeoutMs) = 0;
  virtual bool writeInput(const std::u16string& text) = 0;
  virtual bool isRunning() = 0;
  // Descriptors that turn readable when the child prints or ends, so that a
  // caller can wait on many children at once; empty when there are none.
  virtual std::vector<int> waitHandles() const { return {}; }
  // Asks the child to end, without waiting; releasing it still terminates it.
  virtual void requestStop() {}
};

}  // namespace quorvex
