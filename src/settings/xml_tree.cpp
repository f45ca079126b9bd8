#include "settings/xml_tree.h"

namespace quorvex {

const TXmlNode* TXmlNode::childElement(std::string_view elementName) const {
  for (const TXmlNode& child : children)
    if (child.kind == Kind::Element && child.name == elementName) return &child;
  return nullptr;
}

}  // namespace quorvex
