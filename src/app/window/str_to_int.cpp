#include "app/window/str_to_int.h"

#include <limits>

#include "platform/exception.h"

namespace quorvex {

int32_t strToInt(const std::u16string& text) {
  auto invalid = [&] {
    return EConvertError(u"''" + text + u"'' is not a valid integer value");
  };
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  if (i == text.size()) throw invalid();
  // Accumulate as a negative number so INT32_MIN is reachable.
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < u'0' || text[i] > u'9') throw invalid();
    value = value * 10 - (text[i] - u'0');
    if (value < std::numeric_limits<int32_t>::min()) throw invalid();
  }
  if (!negative) {
    value = -value;
    if (value > std::numeric_limits<int32_t>::max()) throw invalid();
  }
  return static_cast<int32_t>(value);
}

}  // namespace quorvex
