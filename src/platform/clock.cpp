#include "platform/clock.h"

#include <thread>

namespace quorvex {

TClock::TimePoint TClock::MonotonicNow() const { return std::chrono::steady_clock::now(); }

TClock::WallTime TClock::WallNow() const { return std::chrono::system_clock::now(); }

int TClock::Wait(const std::function<int(int timeoutMs)>& wait, int timeoutMs) const {
  return wait(timeoutMs);
}

void TClock::Sleep(int timeoutMs) const {
  if (timeoutMs <= 0) return;
  Wait(
      [](int ms) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return 0;
      },
      timeoutMs);
}

std::uint32_t TClock::TickCount() const {
  using namespace std::chrono;
  return static_cast<std::uint32_t>(
      duration_cast<milliseconds>(MonotonicNow().time_since_epoch()).count());
}

std::uint32_t TicksBetween(std::uint32_t AOldTick, std::uint32_t ANewTick) {
  return ANewTick - AOldTick;  // unsigned arithmetic is the wrap-around
}

const TClock& TClock::System() {
  static const TClock clock;
  return clock;
}

}  // namespace quorvex
