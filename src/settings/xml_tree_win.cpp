// Builds the node tree from MSXML 6's document object model, the system's
// own conforming parser, which fetches no external entity here.
#include <objbase.h>
#include <shlwapi.h>
#include <windows.h>

#include <msxml2.h>

#include <algorithm>
#include <string>

#include "settings/xml_tree.h"

namespace quorvex {

namespace {

// CLSID_DOMDocument60 and kIXMLDOMDocument2, which mingw-w64's libraries
// lack.
constexpr CLSID kDOMDocument60 = {
    0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
constexpr IID kIXMLDOMDocument2 = {
    0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

template <class T>
class TComPtr {
 public:
  TComPtr() = default;
  ~TComPtr() {
    if (_p) _p->Release();
  }
  TComPtr(const TComPtr&) = delete;
  TComPtr& operator=(const TComPtr&) = delete;
  T** out() { return &_p; }
  T* operator->() const { return _p; }
  T* get() const { return _p; }
  explicit operator bool() const { return _p != nullptr; }

 private:
  T* _p = nullptr;
};

class TBstr {
 public:
  TBstr() = default;
  explicit TBstr(const wchar_t* text) : _b(SysAllocString(text)) {}
  ~TBstr() { SysFreeString(_b); }
  TBstr(const TBstr&) = delete;
  TBstr& operator=(const TBstr&) = delete;
  BSTR* out() { return &_b; }
  BSTR get() const { return _b; }
  std::string utf8() const {
    if (!_b) return {};
    const int length = static_cast<int>(SysStringLen(_b));
    const int size = WideCharToMultiByte(CP_UTF8, 0, _b, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(std::max(size, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, _b, length, out.data(), size, nullptr, nullptr);
    return out;
  }

 private:
  BSTR _b = nullptr;
};

// COM for this thread while a document is parsed.
class TComScope {
 public:
  TComScope() : _hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~TComScope() {
    if (SUCCEEDED(_hr)) CoUninitialize();
  }
  TComScope(const TComScope&) = delete;
  TComScope& operator=(const TComScope&) = delete;

 private:
  HRESULT _hr;  // RPC_E_CHANGED_MODE: the thread has COM already, which serves
};

[[noreturn]] void refuse(const std::string& description) {
  throw EXmlSyntaxError(description, 0, 0);
}

bool isXmlBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool isBlankText(const TXmlNode& node) {
  return node.kind == TXmlNode::Kind::Text &&
         std::all_of(node.value.begin(), node.value.end(), isXmlBlank);
}

// The line of every start tag in document order, which is the order of a
// walk through the elements. The document model keeps no places; the
// document is well-formed by now, so markup is told apart by its opening.
std::vector<size_t> startTagLines(std::string_view bytes) {
  std::vector<size_t> lines;
  size_t line = 1;
  auto skipTo = [&](size_t& i, std::string_view end) {
    const size_t found = bytes.find(end, i);
    const size_t stop = found == std::string_view::npos ? bytes.size() : found + end.size();
    line += static_cast<size_t>(std::count(bytes.begin() + i, bytes.begin() + stop, '\n'));
    i = stop;
  };
  for (size_t i = 0; i < bytes.size();) {
    if (bytes[i] == '\n') ++line;
    if (bytes[i] != '<') {
      ++i;
      continue;
    }
    const std::string_view rest = bytes.substr(i);
    if (rest.starts_with("<!--"))
      skipTo(i, "-->");
    else if (rest.starts_with("<![CDATA["))
      skipTo(i, "]]>");
    else if (rest.starts_with("<?"))
      skipTo(i, "?>");
    else if (rest.starts_with("</") || rest.starts_with("<!"))
      ++i;
    else {
      lines.push_back(line);
      ++i;
    }
  }
  return lines;
}

class TTreeBuilder {
 public:
  TTreeBuilder(size_t maxDepth, std::vector<size_t> lines)
      : _maxDepth(maxDepth), _lines(std::move(lines)) {}

  static void attributes(IXMLDOMNode* node, TXmlNode& into) {
    TComPtr<IXMLDOMNamedNodeMap> map;
    if (FAILED(node->get_attributes(map.out())) || !map) return;
    long count = 0;
    map->get_length(&count);
    for (long i = 0; i < count; ++i) {
      TComPtr<IXMLDOMNode> attribute;
      if (FAILED(map->get_item(i, attribute.out())) || !attribute) continue;
      TBstr name, value;
      attribute->get_nodeName(name.out());
      attribute->get_text(value.out());
      into.attributes.emplace_back(name.utf8(), value.utf8());
    }
  }

  void element(IXMLDOMNode* node, TXmlNode& into, size_t depth) {
    into.kind = TXmlNode::Kind::Element;
    TBstr name;
    node->get_nodeName(name.out());
    into.name = name.utf8();
    into.line = _next < _lines.size() ? _lines[_next] : 0;
    ++_next;
    attributes(node, into);
    // Content below the kept depth is parsed but not stored; its start tags
    // still count for the lines of what follows.
    if (depth > _maxDepth) {
      skipChildren(node);
      return;
    }
    TComPtr<IXMLDOMNodeList> children;
    if (FAILED(node->get_childNodes(children.out())) || !children) return;
    long count = 0;
    children->get_length(&count);
    for (long i = 0; i < count; ++i) {
      TComPtr<IXMLDOMNode> child;
      if (FAILED(children->get_item(i, child.out())) || !child) continue;
      DOMNodeType type = NODE_INVALID;
      child->get_nodeType(&type);
      switch (type) {
        case NODE_ELEMENT:
          element(child.get(), into.children.emplace_back(), depth + 1);
          break;
        case NODE_TEXT:
          leaf(child.get(), into, TXmlNode::Kind::Text);
          break;
        case NODE_CDATA_SECTION:
          leaf(child.get(), into, TXmlNode::Kind::CData);
          break;
        case NODE_COMMENT:
          leaf(child.get(), into, TXmlNode::Kind::Comment);
          break;
        case NODE_PROCESSING_INSTRUCTION:
          leaf(child.get(), into, TXmlNode::Kind::ProcessingInstruction);
          break;
        default:
          break;
      }
    }
    // Blanks between elements are layout; blanks that are all of a value are kept.
    if (into.children.size() > 1) std::erase_if(into.children, isBlankText);
  }

 private:
  void skipChildren(IXMLDOMNode* node) {
    TComPtr<IXMLDOMNodeList> children;
    if (FAILED(node->get_childNodes(children.out())) || !children) return;
    long count = 0;
    children->get_length(&count);
    for (long i = 0; i < count; ++i) {
      TComPtr<IXMLDOMNode> child;
      DOMNodeType type = NODE_INVALID;
      if (SUCCEEDED(children->get_item(i, child.out())) && child &&
          SUCCEEDED(child->get_nodeType(&type)) && type == NODE_ELEMENT) {
        ++_next;
        skipChildren(child.get());
      }
    }
  }

  static void leaf(IXMLDOMNode* node, TXmlNode& into, TXmlNode::Kind kind) {
    TBstr text;
    node->get_text(text.out());
    // Adjacent text (around a character reference) is one text, as parsed.
    if (kind == TXmlNode::Kind::Text && !into.children.empty() &&
        into.children.back().kind == TXmlNode::Kind::Text) {
      into.children.back().value += text.utf8();
      return;
    }
    into.children.push_back({kind, {}, text.utf8(), {}});
  }

  size_t _maxDepth;
  std::vector<size_t> _lines;
  size_t _next = 0;
};

}  // namespace

TXmlNode parseXmlDocument(std::string_view bytes, size_t maxDepth) {
  const TComScope com;
  TComPtr<IXMLDOMDocument2> document;
  if (FAILED(CoCreateInstance(kDOMDocument60, nullptr, CLSCTX_INPROC_SERVER, kIXMLDOMDocument2,
                              reinterpret_cast<void**>(document.out()))))
    refuse("MSXML 6 is not available");
  document->put_async(VARIANT_FALSE);
  document->put_validateOnParse(VARIANT_FALSE);
  document->put_resolveExternals(VARIANT_FALSE);
  // Whitespace is dropped below, by the same rule on every platform.
  document->put_preserveWhiteSpace(VARIANT_TRUE);
  // A document type declaration could define entities that grow without
  // bound or point outside the file; a settings file never needs one.
  VARIANT prohibit;
  VariantInit(&prohibit);
  prohibit.vt = VT_BOOL;
  prohibit.boolVal = VARIANT_TRUE;
  const TBstr prohibitName(L"ProhibitDTD");
  document->setProperty(prohibitName.get(), prohibit);
  // MSXML 6's own bound on nesting, set so that it holds wherever the
  // system's default differs; the walk below is as deep as the document.
  VARIANT depth;
  VariantInit(&depth);
  depth.vt = VT_I4;
  depth.lVal = 256;
  const TBstr depthName(L"MaxElementDepth");
  document->setProperty(depthName.get(), depth);

  // The bytes go in as they are, so the parser reads their encoding itself.
  IStream* stream = SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()),
                                      static_cast<UINT>(bytes.size()));
  if (!stream) throw std::bad_alloc();
  VARIANT source;
  VariantInit(&source);
  source.vt = VT_UNKNOWN;
  source.punkVal = stream;
  VARIANT_BOOL loaded = VARIANT_FALSE;
  const HRESULT hr = document->load(source, &loaded);
  stream->Release();
  if (FAILED(hr) || loaded != VARIANT_TRUE) {
    TComPtr<IXMLDOMParseError> error;
    long line = 0, column = 0;
    TBstr reason;
    if (SUCCEEDED(document->get_parseError(error.out())) && error) {
      error->get_line(&line);
      error->get_linepos(&column);
      error->get_reason(reason.out());
    }
    std::string description = reason.utf8();
    while (!description.empty() && isXmlBlank(description.back())) description.pop_back();
    if (description.empty()) description = "not well-formed";
    throw EXmlSyntaxError(description, static_cast<size_t>(std::max(line, 0L)),
                          static_cast<size_t>(std::max(column, 0L)));
  }
  TComPtr<IXMLDOMDocumentType> doctype;
  if (SUCCEEDED(document->get_doctype(doctype.out())) && doctype)
    refuse("document type declarations are not allowed");
  TComPtr<IXMLDOMElement> root;
  if (FAILED(document->get_documentElement(root.out())) || !root) refuse("no root element");
  TXmlNode tree;
  TTreeBuilder builder(std::max<size_t>(maxDepth, 1), startTagLines(bytes));
  builder.element(root.get(), tree, 1);
  return tree;
}

}  // namespace quorvex
