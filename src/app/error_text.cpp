#include "app/error_text.h"

namespace quorvex {

std::u16string errorBoxText(std::u16string_view message) {
  std::u16string text(message);
  if (!text.empty() && text.back() > u'.') text += u'.';
  return text;
}

}  // namespace quorvex
