#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvex {

// One node of a parsed XML document. Text is UTF-8 as the parser delivers it.
struct TXmlNode {
  enum class Kind { Element, Text, CData, Comment, ProcessingInstruction };

  Kind kind = Kind::Element;
  std::string name;   // elements only
  std::string value;  // text, character data, comment or instruction body
  std::vector<TXmlNode> children;
  size_t line = 0;  // elements: where the start tag is, counted from 1
  std::vector<std::pair<std::string, std::string>> attributes{};  // elements, in document order

  // The first child element of exactly that name, or null.
  const TXmlNode* childElement(std::string_view elementName) const;
  // Every child element of exactly that name, in document order.
  std::vector<const TXmlNode*> childElements(std::string_view elementName) const;
  // The attribute's value, or null when the element has none of that name.
  const std::string* attribute(std::string_view attributeName) const;
};

// A document the parser refuses; line and column count from 1.
class EXmlSyntaxError : public std::runtime_error {
 public:
  EXmlSyntaxError(const std::string& description, size_t line, size_t column)
      : std::runtime_error(description), _line(line), _column(column) {}
  size_t Line() const { return _line; }
  size_t Column() const { return _column; }

 private:
  size_t _line;
  size_t _column;
};

// Parses a whole document with a conforming parser and returns its root
// element. Whitespace-only text is dropped unless it is an element's only
// content; a document type declaration is refused. Elements nested deeper
// than maxDepth (the root is depth 1) are checked but kept without content.
TXmlNode parseXmlDocument(std::string_view bytes, size_t maxDepth);

}  // namespace quorvex
