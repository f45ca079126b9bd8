#pragma once

#include <cstdint>

namespace quorvex {

// A millisecond tick counter on a monotonic clock. It wraps around like a
// 32-bit counter, so differences must go through TicksBetween.
std::uint32_t TickCount();

// Milliseconds from AOldTick to ANewTick, across one wrap-around.
std::uint32_t TicksBetween(std::uint32_t AOldTick, std::uint32_t ANewTick);

// Blocks the calling thread for AMSec milliseconds (nothing for 0 or less).
void SleepMs(int AMSec);

}  // namespace quorvex
