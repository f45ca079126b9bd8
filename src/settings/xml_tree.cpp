#include "settings/xml_tree.h"

namespace quorvex {

const TXmlNode* TXmlNode::childElement(std::string_view elementName) const {
  for (const TXmlNode& child : children)
    if (child.kind == Kind::Element && child.name == elementName) return &child;
  return nullptr;
}

std::vector<const TXmlNode*> TXmlNode::childElements(std::string_view elementName) const {
  std::vector<const TXmlNode*> found;
  for (const TXmlNode& child : children)
    if (child.kind == Kind::Element && child.name == elementName) found.push_back(&child);
  return found;
}

const std::string* TXmlNode::attribute(std::string_view attributeName) const {
  for (const auto& [name, value] : attributes)
    if (name == attributeName) return &value;
  return nullptr;
}

}  // namespace quorvex
