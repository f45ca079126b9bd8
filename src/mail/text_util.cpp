#include "mail/text_util.h"

namespace quorvex {

std::u16string TrimLeft(std::u16string_view text) {
  size_t b = 0;
  while (b < text.size() && text[b] <= 32) ++b;
  return std::u16string(text.substr(b));
}

std::u16string TrimRight(std::u16string_view text) {
  size_t e = text.size();
  while (e > 0 && text[e - 1] <= 32) --e;
  return std::u16string(text.substr(0, e));
}

std::u16string Trim(std::u16string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && text[b] <= 32) ++b;
  while (e > b && text[e - 1] <= 32) --e;
  return std::u16string(text.substr(b, e - b));
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x -= 32;
    if (y >= 'a' && y <= 'z') y -= 32;
    if (x != y) return false;
  }
  return true;
}

}  // namespace quorvex
