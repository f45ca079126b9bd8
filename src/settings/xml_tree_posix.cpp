// Builds a small node tree from expat's events. Expat is a conforming,
// non-validating parser that never fetches external entities, which is all a
// settings file needs.
#include "settings/xml_tree.h"

#include <expat.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <optional>

namespace quorvex {

namespace {

bool isXmlBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool isBlankText(const TXmlNode& node) {
  return node.kind == TXmlNode::Kind::Text &&
         std::all_of(node.value.begin(), node.value.end(), isXmlBlank);
}

struct ParserDeleter {
  void operator()(XML_ParserStruct* parser) const { XML_ParserFree(parser); }
};

class TTreeBuilder {
 public:
  TTreeBuilder(XML_Parser parser, size_t maxDepth) : _parser(parser), _maxDepth(maxDepth) {
    XML_SetUserData(parser, this);
    XML_SetElementHandler(parser, &TTreeBuilder::onStart, &TTreeBuilder::onEnd);
    XML_SetCharacterDataHandler(parser, &TTreeBuilder::onText);
    XML_SetCdataSectionHandler(parser, &TTreeBuilder::onCDataStart, &TTreeBuilder::onCDataEnd);
    XML_SetCommentHandler(parser, &TTreeBuilder::onComment);
    XML_SetProcessingInstructionHandler(parser, &TTreeBuilder::onInstruction);
    XML_SetStartDoctypeDeclHandler(parser, &TTreeBuilder::onDoctype);
  }

  TXmlNode& root() { return _root; }
  const std::optional<std::string>& refusal() const { return _refusal; }

 private:
  static TTreeBuilder& self(void* data) { return *static_cast<TTreeBuilder*>(data); }

  // Content below the kept depth is parsed but not stored.
  bool skipping() const { return _skipped > 0; }
  TXmlNode* current() { return _open.empty() ? nullptr : _open.back(); }

  static void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    TTreeBuilder& b = self(data);
    if (b.skipping()) {
      ++b._skipped;
      return;
    }
    TXmlNode* parent = b.current();
    TXmlNode& node = parent ? parent->children.emplace_back() : b._root;
    node.kind = TXmlNode::Kind::Element;
    node.name = name;
    node.line = XML_GetCurrentLineNumber(b._parser);
    for (const XML_Char** a = attributes; a && a[0]; a += 2)
      node.attributes.emplace_back(a[0], a[1]);
    b._open.push_back(&node);
    if (b._open.size() > b._maxDepth) ++b._skipped;
  }

  static void XMLCALL onEnd(void* data, const XML_Char*) {
    TTreeBuilder& b = self(data);
    if (b.skipping() && --b._skipped > 0) return;
    TXmlNode& node = *b.current();
    // Blanks between elements are layout; blanks that are all of a value are kept.
    if (node.children.size() > 1) std::erase_if(node.children, isBlankText);
    b._open.pop_back();
  }

  static void XMLCALL onText(void* data, const XML_Char* text, int length) {
    TTreeBuilder& b = self(data);
    TXmlNode* parent = b.current();
    if (b.skipping() || !parent) return;
    // Expat hands text over in pieces (around references, at buffer ends).
    const bool continuesText =
        !parent->children.empty() && parent->children.back().kind == TXmlNode::Kind::Text;
    if (!b._inCData && !continuesText)
      parent->children.push_back({TXmlNode::Kind::Text, {}, {}, {}});
    parent->children.back().value.append(text, static_cast<size_t>(length));
  }

  static void XMLCALL onCDataStart(void* data) {
    TTreeBuilder& b = self(data);
    b._inCData = true;
    if (!b.skipping() && b.current())
      b.current()->children.push_back({TXmlNode::Kind::CData, {}, {}, {}});
  }

  static void XMLCALL onCDataEnd(void* data) { self(data)._inCData = false; }

  static void XMLCALL onComment(void* data, const XML_Char* text) {
    self(data).addLeaf(TXmlNode::Kind::Comment, text);
  }

  static void XMLCALL onInstruction(void* data, const XML_Char*, const XML_Char* text) {
    self(data).addLeaf(TXmlNode::Kind::ProcessingInstruction, text);
  }

  // A document type declaration could define entities that grow without
  // bound or point outside the file; a settings file never needs one.
  static void XMLCALL onDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*,
                                int) {
    TTreeBuilder& b = self(data);
    b._refusal = "document type declarations are not allowed";
    XML_StopParser(b._parser, XML_FALSE);
  }

  void addLeaf(TXmlNode::Kind kind, const char* text) {
    if (!skipping() && current()) current()->children.push_back({kind, {}, text ? text : "", {}});
  }

  XML_Parser _parser;
  size_t _maxDepth;
  TXmlNode _root;
  std::vector<TXmlNode*>
      _open;  // each points into its parent's children, which do not move while it is open
  size_t _skipped = 0;
  bool _inCData = false;
  std::optional<std::string> _refusal;
};

}  // namespace

TXmlNode parseXmlDocument(std::string_view bytes, size_t maxDepth) {
  const std::unique_ptr<XML_ParserStruct, ParserDeleter> parser(XML_ParserCreate(nullptr));
  if (!parser) throw std::bad_alloc();
  TTreeBuilder builder(parser.get(), std::max<size_t>(maxDepth, 1));
  // Expat takes lengths as int: larger input goes in pieces.
  constexpr size_t kPiece = 1u << 30;
  size_t offset = 0;
  bool ok = true;
  do {
    const size_t length = std::min(kPiece, bytes.size() - offset);
    const bool last = offset + length == bytes.size();
    ok = XML_Parse(parser.get(), bytes.data() + offset, static_cast<int>(length), last) ==
         XML_STATUS_OK;
    offset += length;
  } while (ok && offset < bytes.size());
  if (!ok) {
    const std::string description =
        builder.refusal() ? *builder.refusal() : XML_ErrorString(XML_GetErrorCode(parser.get()));
    throw EXmlSyntaxError(description, XML_GetCurrentLineNumber(parser.get()),
                          XML_GetCurrentColumnNumber(parser.get()) + 1);
  }
  return std::move(builder.root());
}

}  // namespace quorvex
