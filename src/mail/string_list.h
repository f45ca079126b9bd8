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

  size_t Count() const { return _lines.size(); }
  const std::u16string& operator[](size_t index) const { return _lines.at(index); }
  std::u16string& operator[](size_t index) { return _lines.at(index); }
  void Add(std::u16string line) { _lines.push_back(std::move(line)); }
  void Insert(size_t index, std::u16string line);
  void Delete(size_t index);
  void Clear() { _lines.clear(); }
  void Assign(const TQxStringList& source) { _lines = source._lines; }

  const std::vector<std::u16string>& Lines() const { return _lines; }
  std::vector<std::u16string>& Lines() { return _lines; }

  // Every line followed by CR LF.
  std::u16string Text() const;
  // Splits at CR LF, lone CR and lone LF. A break at the very end adds no
  // empty line; a NUL character ends the text.
  void SetText(std::u16string_view text);

 protected:
  std::vector<std::u16string> _lines;
};

}  // namespace quorvex
