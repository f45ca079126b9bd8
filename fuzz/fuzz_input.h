#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/text.h"

namespace quorvex::fuzzing {

// The first byte picks the reading: even, the rest as UTF-8 (structure
// characters are easy to reach); odd, as raw UTF-16LE units (lone surrogates
// and every code unit are reachable).
inline std::u16string TextFrom(const uint8_t* data, size_t size) {
  if (size == 0) return {};
  const bool raw = data[0] & 1;
  ++data;
  --size;
  if (!raw) return fromUtf8(std::string(reinterpret_cast<const char*>(data), size));
  std::u16string text;
  for (size_t i = 0; i + 1 < size; i += 2)
    text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  return text;
}

inline void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace quorvex::fuzzing
