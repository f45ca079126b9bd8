#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex {

// An ordered list of text lines; duplicates allowed.
class TQxStringList {
 public:
  virtual ~TQxStringList() = default;

  size_t Count() const { return FLines.size(); }
  const std::u16string& operator[](size_t index) const { return FLines.at(index); }
  std::u16string& operator[](size_t index) { return FLines.at(index); }
  void Add(std::u16string line) { FLines.push_back(std::move(line)); }
  void Insert(size_t index, std::u16string line);
  void Delete(size_t index);
  void Clear() { FLines.clear(); }
  void Assign(const TQxStringList& source) { FLines = source.FLines; }

  const std::vector<std::u16string>& Lines() const { return FLines; }
  std::vector<std::u16string>& Lines() { return FLines; }

  // Every line followed by CR LF.
  std::u16string Text() const;
  // Splits at CR LF, lone CR and lone LF. A break at the very end adds no
  // empty line; a NUL character ends the text.
  void SetText(std::u16string_view text);

 protected:
  std::vector<std::u16string> FLines;
};

}  // namespace quorvex
