#include "process/console_output.h"

#include <algorithm>

#include "platform/text_encoding.h"

namespace quorvex {

namespace {

// Length of an incomplete UTF-8 sequence at the end of `bytes` (0 if none).
size_t incompleteUtf8Tail(const std::string& bytes) {
  const size_t n = bytes.size();
  for (size_t back = 1; back <= std::min<size_t>(3, n); ++back) {
    const auto c = static_cast<unsigned char>(bytes[n - back]);
    if ((c & 0xC0) == 0x80) continue;  // continuation byte: look further back
    const size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return length > back ? back : 0;
  }
  return 0;
}

}  // namespace

std::u16string TConsoleOutputDecoder::decode(std::string bytes) {
  bytes.insert(0, _pending);
  _pending.clear();
  std::erase(bytes, '\0');
  if (TEncoding::System().CharsetName() == "UTF-8") {
    const size_t tail = incompleteUtf8Tail(bytes);
    _pending.assign(bytes, bytes.size() - tail, tail);
    bytes.resize(bytes.size() - tail);
  }
  return TEncoding::System().GetString(bytes);
}

}  // namespace quorvex
