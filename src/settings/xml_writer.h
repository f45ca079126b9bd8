#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex {

// Writes elements as a document model with automatic indentation lays them
// out: every element on a line of its own, two blanks per level below the
// root, CR LF between lines and none after the root's end tag.
class TIndentedXmlWriter {
 public:
  struct TAttribute {
    std::string_view name;
    std::u16string_view value;
    std::u16string_view property;  // named when the value cannot be stored
  };

  void open(std::string_view name);
  // The start tag carries the attributes, in this order, on its line.
  void open(std::string_view name, std::initializer_list<TAttribute> attributes);
  // Refuses, naming the property, a value that XML 1.0 cannot hold, so that
  // no file is written that the reader would then refuse as a whole.
  void setValue(std::string_view name, std::u16string_view text, std::u16string_view property);
  void close();
  const std::string& bytes() const { return _out; }

 private:
  void newLine(size_t level);
  void appendEscaped(std::u16string_view text, bool inAttribute = false);

  std::string _out;
  std::vector<std::string> _open;
};

}  // namespace quorvex
