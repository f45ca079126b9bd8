#include "mail/string_list.h"

namespace quorvex {

void TQxStringList::Insert(size_t index, std::u16string line) {
  if (index > FLines.size()) index = FLines.size();
  FLines.insert(FLines.begin() + static_cast<ptrdiff_t>(index), std::move(line));
}

void TQxStringList::Delete(size_t index) {
  if (index < FLines.size()) FLines.erase(FLines.begin() + static_cast<ptrdiff_t>(index));
}

std::u16string TQxStringList::Text() const {
  std::u16string out;
  for (const auto& line : FLines) {
    out += line;
    out += u"\r\n";
  }
  return out;
}

void TQxStringList::SetText(std::u16string_view text) {
  FLines.clear();
  const size_t nul = text.find(u'\0');
  if (nul != std::u16string_view::npos) text = text.substr(0, nul);
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find_first_of(u"\r\n", start);
    if (end == std::u16string_view::npos) {
      FLines.emplace_back(text.substr(start));
      break;
    }
    FLines.emplace_back(text.substr(start, end - start));
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
}

}  // namespace quorvex
