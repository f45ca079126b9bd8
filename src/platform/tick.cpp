#include "platform/tick.h"

#include <chrono>
#include <thread>

namespace quorvex {

std::uint32_t TickCount() {
  using namespace std::chrono;
  return static_cast<std::uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::uint32_t TicksBetween(std::uint32_t AOldTick, std::uint32_t ANewTick) {
  return ANewTick - AOldTick;  // unsigned arithmetic is the wrap-around
}

void SleepMs(int AMSec) {
  if (AMSec > 0) std::this_thread::sleep_for(std::chrono::milliseconds(AMSec));
}

}  // namespace quorvex
