#include "host/CompactDom.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <new>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/XMLAttr.hpp>

#include "host/Utf16.h"
#include "host/XmlDocument.h"

namespace dendrix_host {

using xercesc::DOMAttr;
using xercesc::DOMElement;
using xercesc::DOMException;
using xercesc::DOMNamedNodeMap;
using xercesc::DOMNode;
using xercesc::DOMNodeList;

namespace {

constexpr XMLCh kEmpty[] = u"";

[[noreturn]] void ReadOnly() { throw DOMException(DOMException::NO_MODIFICATION_ALLOWED_ERR); }
[[noreturn]] void Unsupported() { throw DOMException(DOMException::NOT_SUPPORTED_ERR); }

bool SameText(const XMLCh* a, const XMLCh* b) {
  if (a == b) return true;
  if (a == nullptr || b == nullptr) return (a == nullptr ? b : a)[0] == 0;
  while (*a != 0 && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

// Bump allocator for nodes and strings; everything is freed with the arena.
// Nodes placed here are never destroyed one by one: none owns anything.
class Arena {
 public:
  // Sizes the first block for a document of `textBytes`: its nodes and
  // strings take about three times its text.
  void ExpectDocument(size_t textBytes) {
    if (blocks_.empty()) firstBlock_ = std::min(textBytes, kLargestBlock / 3) * 3;
  }

  void* Allocate(size_t size) {
    size = (size + 15) & ~static_cast<size_t>(15);
    if (size > left_) Grow(size);
    char* at = cursor_;
    cursor_ += size;
    left_ -= size;
    return at;
  }

  const XMLCh* Copy(const XMLCh* text, size_t length) {
    auto* out = static_cast<XMLCh*>(Allocate((length + 1) * sizeof(XMLCh)));
    if (length > 0) std::memcpy(out, text, length * sizeof(XMLCh));
    out[length] = 0;
    return out;
  }

 private:
  // Blocks start small and grow; from 2 MB on they are huge-page aligned
  // and marked for huge pages, which saves most of the page faults a large
  // document would otherwise take while it is built.
  static constexpr size_t kFirstBlock = 64 * 1024;
  static constexpr size_t kHugePage = 2 * 1024 * 1024;
  static constexpr size_t kLargestBlock = 16 * kHugePage;

  struct FreeBlock {
    void operator()(char* block) const { std::free(block); }
  };

  void Grow(size_t size) {
    nextBlock_ = blocks_.empty() ? std::max(firstBlock_, kFirstBlock)
                                 : std::min(std::max(nextBlock_ * 2, kFirstBlock), kLargestBlock);
    size_t bytes = std::max(size, nextBlock_);
    char* block = nullptr;
    // A block of half a huge page or more is worth a whole one.
    if (bytes >= kHugePage / 2) {
      bytes = (bytes + kHugePage - 1) / kHugePage * kHugePage;
      block = static_cast<char*>(std::aligned_alloc(kHugePage, bytes));
#ifdef MADV_HUGEPAGE
      if (block != nullptr) madvise(block, bytes, MADV_HUGEPAGE);
#endif
    } else {
      block = static_cast<char*>(std::aligned_alloc(16, (bytes + 15) / 16 * 16));
    }
    if (block == nullptr) throw std::bad_alloc();
    blocks_.emplace_back(block);
    cursor_ = block;
    left_ = bytes;
  }

  std::vector<std::unique_ptr<char, FreeBlock>> blocks_;
  size_t firstBlock_ = kFirstBlock;
  size_t nextBlock_ = 0;
  char* cursor_ = nullptr;
  size_t left_ = 0;
};

}  // namespace

// --- Node classes --------------------------------------------------------------

// The DOMNode part shared by every node kind. On its own it has no parent,
// children or siblings, which is what an attribute needs.
template <class Interface>
class NodeBase : public Interface {
 public:
  explicit NodeBase(CompactDocument* document) : document_(document) {}

  DOMNode* getParentNode() const override { return nullptr; }
  DOMNodeList* getChildNodes() const override;
  DOMNode* getFirstChild() const override { return nullptr; }
  DOMNode* getLastChild() const override { return nullptr; }
  DOMNode* getPreviousSibling() const override { return nullptr; }
  DOMNode* getNextSibling() const override { return nullptr; }
  DOMNamedNodeMap* getAttributes() const override { return nullptr; }
  xercesc::DOMDocument* getOwnerDocument() const override;
  DOMNode* cloneNode(bool) const override { Unsupported(); }
  DOMNode* insertBefore(DOMNode*, DOMNode*) override { ReadOnly(); }
  DOMNode* replaceChild(DOMNode*, DOMNode*) override { ReadOnly(); }
  DOMNode* removeChild(DOMNode*) override { ReadOnly(); }
  DOMNode* appendChild(DOMNode*) override { ReadOnly(); }
  bool hasChildNodes() const override { return false; }
  void setNodeValue(const XMLCh*) override { ReadOnly(); }
  // Adjacent character data is merged while building, so there is nothing to do.
  void normalize() override {}
  bool isSupported(const XMLCh*, const XMLCh*) const override { return false; }
  const XMLCh* getNamespaceURI() const override { return nullptr; }
  const XMLCh* getPrefix() const override { return nullptr; }
  const XMLCh* getLocalName() const override { return nullptr; }
  void setPrefix(const XMLCh*) override { ReadOnly(); }
  bool hasAttributes() const override { return false; }
  bool isSameNode(const DOMNode* other) const override {
    return static_cast<const DOMNode*>(this) == other;
  }
  bool isEqualNode(const DOMNode* other) const override;
  void* setUserData(const XMLCh*, void*, xercesc::DOMUserDataHandler*) override { Unsupported(); }
  void* getUserData(const XMLCh*) const override { return nullptr; }
  const XMLCh* getBaseURI() const override;
  short compareDocumentPosition(const DOMNode*) const override { Unsupported(); }
  void setTextContent(const XMLCh*) override { ReadOnly(); }
  const XMLCh* lookupPrefix(const XMLCh*) const override { return nullptr; }
  bool isDefaultNamespace(const XMLCh*) const override { return false; }
  const XMLCh* lookupNamespaceURI(const XMLCh*) const override { return nullptr; }
  void* getFeature(const XMLCh*, const XMLCh*) const override { return nullptr; }
  // Nodes live as long as their document; the owner of the document frees them.
  void release() override {}

 protected:
  CompactDocument* document_;
};

// A node of the tree: the document, elements and character data.
template <class Interface>
class LinkedNode : public NodeBase<Interface> {
 public:
  using NodeBase<Interface>::NodeBase;

  DOMNode* getParentNode() const override { return links.parent; }
  DOMNode* getFirstChild() const override { return links.first; }
  DOMNode* getLastChild() const override { return links.last; }
  DOMNode* getPreviousSibling() const override { return links.prev; }
  DOMNode* getNextSibling() const override { return links.next; }
  bool hasChildNodes() const override { return links.first != nullptr; }

  NodeLinks links;
};

class CompactText final : public LinkedNode<xercesc::DOMCDATASection> {
 public:
  CompactText(CompactDocument* document, const XMLCh* data, size_t length, bool cdata)
      : LinkedNode(document), data_(data), length_(length), cdata_(cdata) {}

  const XMLCh* getNodeName() const override { return cdata_ ? u"#cdata-section" : u"#text"; }
  const XMLCh* getNodeValue() const override { return data_; }
  NodeType getNodeType() const override { return cdata_ ? CDATA_SECTION_NODE : TEXT_NODE; }
  const XMLCh* getTextContent() const override { return data_; }

  const XMLCh* getData() const override { return data_; }
  XMLSize_t getLength() const override { return length_; }
  const XMLCh* substringData(XMLSize_t offset, XMLSize_t count) const override;
  void appendData(const XMLCh*) override { ReadOnly(); }
  void insertData(XMLSize_t, const XMLCh*) override { ReadOnly(); }
  void deleteData(XMLSize_t, XMLSize_t) override { ReadOnly(); }
  void replaceData(XMLSize_t, XMLSize_t, const XMLCh*) override { ReadOnly(); }
  void setData(const XMLCh*) override { ReadOnly(); }

  xercesc::DOMText* splitText(XMLSize_t) override { ReadOnly(); }
  bool getIsElementContentWhitespace() const override { return false; }
  const XMLCh* getWholeText() const override;
  xercesc::DOMText* replaceWholeText(const XMLCh*) override { ReadOnly(); }
  bool isIgnorableWhitespace() const override { return false; }

 private:
  const XMLCh* data_;
  size_t length_;
  bool cdata_;
};

class CompactAttr final : public NodeBase<DOMAttr> {
 public:
  CompactAttr(CompactDocument* document, DOMElement* owner, const XMLCh* name, const XMLCh* value,
              bool specified)
      : NodeBase(document), owner_(owner), name_(name), value_(value), specified_(specified) {}

  const XMLCh* getNodeName() const override { return name_; }
  const XMLCh* getNodeValue() const override { return value_; }
  NodeType getNodeType() const override { return ATTRIBUTE_NODE; }
  const XMLCh* getTextContent() const override { return value_; }

  const XMLCh* getName() const override { return name_; }
  bool getSpecified() const override { return specified_; }
  const XMLCh* getValue() const override { return value_; }
  void setValue(const XMLCh*) override { ReadOnly(); }
  DOMElement* getOwnerElement() const override { return owner_; }
  bool isId() const override { return false; }
  const xercesc::DOMTypeInfo* getSchemaTypeInfo() const override { return nullptr; }

 private:
  DOMElement* owner_;
  const XMLCh* name_;
  const XMLCh* value_;
  bool specified_;
};

class CompactElement final : public LinkedNode<DOMElement> {
 public:
  CompactElement(CompactDocument* document, const XMLCh* name)
      : LinkedNode(document), name_(name) {}

  int line = 0;  // where the start tag ends in the text, 0 when unknown

  const XMLCh* getNodeName() const override { return name_; }
  const XMLCh* getNodeValue() const override { return nullptr; }
  NodeType getNodeType() const override { return ELEMENT_NODE; }
  const XMLCh* getTextContent() const override;
  DOMNamedNodeMap* getAttributes() const override;
  bool hasAttributes() const override { return attributeCount_ > 0; }

  const XMLCh* getTagName() const override { return name_; }
  const XMLCh* getAttribute(const XMLCh* name) const override {
    const CompactAttr* attribute = Find(name);
    return attribute != nullptr ? attribute->getValue() : kEmpty;
  }
  DOMAttr* getAttributeNode(const XMLCh* name) const override { return Find(name); }
  DOMNodeList* getElementsByTagName(const XMLCh* name) const override;
  void setAttribute(const XMLCh*, const XMLCh*) override { ReadOnly(); }
  DOMAttr* setAttributeNode(DOMAttr*) override { ReadOnly(); }
  DOMAttr* removeAttributeNode(DOMAttr*) override { ReadOnly(); }
  void removeAttribute(const XMLCh*) override { ReadOnly(); }
  // Without namespace processing no attribute has a namespace or local name.
  const XMLCh* getAttributeNS(const XMLCh*, const XMLCh*) const override { return kEmpty; }
  void setAttributeNS(const XMLCh*, const XMLCh*, const XMLCh*) override { ReadOnly(); }
  void removeAttributeNS(const XMLCh*, const XMLCh*) override { ReadOnly(); }
  DOMAttr* getAttributeNodeNS(const XMLCh*, const XMLCh*) const override { return nullptr; }
  DOMAttr* setAttributeNodeNS(DOMAttr*) override { ReadOnly(); }
  DOMNodeList* getElementsByTagNameNS(const XMLCh*, const XMLCh*) const override;
  bool hasAttribute(const XMLCh* name) const override { return Find(name) != nullptr; }
  bool hasAttributeNS(const XMLCh*, const XMLCh*) const override { return false; }
  void setIdAttribute(const XMLCh*, bool) override { ReadOnly(); }
  void setIdAttributeNS(const XMLCh*, const XMLCh*, bool) override { ReadOnly(); }
  void setIdAttributeNode(const DOMAttr*, bool) override { ReadOnly(); }
  const xercesc::DOMTypeInfo* getSchemaTypeInfo() const override { return nullptr; }
  DOMElement* getFirstElementChild() const override { return ElementFrom(links.first, true); }
  DOMElement* getLastElementChild() const override { return ElementFrom(links.last, false); }
  DOMElement* getPreviousElementSibling() const override { return ElementFrom(links.prev, false); }
  DOMElement* getNextElementSibling() const override { return ElementFrom(links.next, true); }
  XMLSize_t getChildElementCount() const override {
    XMLSize_t count = 0;
    for (DOMNode* child = links.first; child != nullptr; child = child->getNextSibling()) {
      if (child->getNodeType() == ELEMENT_NODE) ++count;
    }
    return count;
  }

  const XMLCh* name() const { return name_; }
  XMLSize_t attributeCount() const { return attributeCount_; }
  CompactAttr* attribute(XMLSize_t i) const { return &attributes_[i]; }
  void SetAttributes(CompactAttr* attributes, XMLSize_t count) {
    attributes_ = attributes;
    attributeCount_ = count;
  }

 private:
  CompactAttr* Find(const XMLCh* name) const {
    for (XMLSize_t i = 0; i < attributeCount_; ++i) {
      if (SameText(attributes_[i].getName(), name)) return &attributes_[i];
    }
    return nullptr;
  }

  static DOMElement* ElementFrom(DOMNode* node, bool forward) {
    while (node != nullptr && node->getNodeType() != ELEMENT_NODE) {
      node = forward ? node->getNextSibling() : node->getPreviousSibling();
    }
    return static_cast<DOMElement*>(node);
  }

  const XMLCh* name_;
  CompactAttr* attributes_ = nullptr;
  XMLSize_t attributeCount_ = 0;
};

// --- Lists ---------------------------------------------------------------------

namespace {

// The next node after `node` in document order, staying below `root`.
DOMNode* NextInTree(const DOMNode* root, DOMNode* node) {
  if (DOMNode* child = node->getFirstChild()) return child;
  while (node != nullptr && node != root) {
    if (DOMNode* sibling = node->getNextSibling()) return sibling;
    node = node->getParentNode();
  }
  return nullptr;
}

// Elements below a node with a given (interned) name, found as they are asked for.
class TagList final : public DOMNodeList {
 public:
  // name: interned tag name; null with `any` false means no element has it.
  TagList(const DOMNode* root, const XMLCh* name, bool any)
      : root_(root), name_(name), any_(any), cursor_(const_cast<DOMNode*>(root)) {
    done_ = !any_ && name_ == nullptr;
  }

  DOMNode* item(XMLSize_t index) const override {
    while (found_.size() <= index && !done_) Advance();
    return index < found_.size() ? found_[index] : nullptr;
  }
  XMLSize_t getLength() const override {
    while (!done_) Advance();
    return found_.size();
  }

 private:
  void Advance() const {
    cursor_ = NextInTree(root_, cursor_);
    if (cursor_ == nullptr) {
      done_ = true;
      return;
    }
    if (cursor_->getNodeType() == DOMNode::ELEMENT_NODE &&
        (any_ || static_cast<CompactElement*>(cursor_)->name() == name_)) {
      found_.push_back(cursor_);
    }
  }

  const DOMNode* root_;
  const XMLCh* name_;
  bool any_;
  mutable DOMNode* cursor_;
  mutable bool done_ = false;
  mutable std::vector<DOMNode*> found_;
};

class ChildList final : public DOMNodeList {
 public:
  explicit ChildList(const DOMNode* parent) : parent_(parent) {}
  DOMNode* item(XMLSize_t index) const override {
    DOMNode* child = parent_->getFirstChild();
    for (; child != nullptr && index > 0; --index) child = child->getNextSibling();
    return child;
  }
  XMLSize_t getLength() const override {
    XMLSize_t count = 0;
    for (DOMNode* child = parent_->getFirstChild(); child; child = child->getNextSibling()) {
      ++count;
    }
    return count;
  }

 private:
  const DOMNode* parent_;
};

class AttributeMap final : public DOMNamedNodeMap {
 public:
  explicit AttributeMap(const CompactElement* element) : element_(element) {}
  DOMNode* setNamedItem(DOMNode*) override { ReadOnly(); }
  DOMNode* item(XMLSize_t index) const override {
    return index < element_->attributeCount() ? element_->attribute(index) : nullptr;
  }
  DOMNode* getNamedItem(const XMLCh* name) const override {
    return element_->getAttributeNode(name);
  }
  XMLSize_t getLength() const override { return element_->attributeCount(); }
  DOMNode* removeNamedItem(const XMLCh*) override { ReadOnly(); }
  DOMNode* getNamedItemNS(const XMLCh*, const XMLCh*) const override { return nullptr; }
  DOMNode* setNamedItemNS(DOMNode*) override { ReadOnly(); }
  DOMNode* removeNamedItemNS(const XMLCh*, const XMLCh*) override { ReadOnly(); }

 private:
  const CompactElement* element_;
};

}  // namespace

// --- Document ------------------------------------------------------------------

class CompactDocument final : public LinkedNode<xercesc::DOMDocument> {
 public:
  CompactDocument(const std::string& systemId, size_t textBytes) : LinkedNode(this) {
    arena_.ExpectDocument(textBytes);
    const std::u16string uri = FromUtf8(systemId);
    documentUri_ = Copy(uri.data(), uri.size());
  }

  // DOMNode
  const XMLCh* getNodeName() const override { return u"#document"; }
  const XMLCh* getNodeValue() const override { return nullptr; }
  NodeType getNodeType() const override { return DOCUMENT_NODE; }
  const XMLCh* getTextContent() const override { return nullptr; }
  xercesc::DOMDocument* getOwnerDocument() const override { return nullptr; }

  // DOMDocument
  DOMElement* createElement(const XMLCh*) override { ReadOnly(); }
  xercesc::DOMDocumentFragment* createDocumentFragment() override { ReadOnly(); }
  xercesc::DOMText* createTextNode(const XMLCh*) override { ReadOnly(); }
  xercesc::DOMComment* createComment(const XMLCh*) override { ReadOnly(); }
  xercesc::DOMCDATASection* createCDATASection(const XMLCh*) override { ReadOnly(); }
  xercesc::DOMProcessingInstruction* createProcessingInstruction(const XMLCh*,
                                                                 const XMLCh*) override {
    ReadOnly();
  }
  DOMAttr* createAttribute(const XMLCh*) override { ReadOnly(); }
  xercesc::DOMEntityReference* createEntityReference(const XMLCh*) override { ReadOnly(); }
  xercesc::DOMDocumentType* getDoctype() const override { return nullptr; }
  xercesc::DOMImplementation* getImplementation() const override {
    return xercesc::DOMImplementation::getImplementation();
  }
  DOMElement* getDocumentElement() const override {
    for (DOMNode* child = links.first; child != nullptr; child = child->getNextSibling()) {
      if (child->getNodeType() == ELEMENT_NODE) return static_cast<DOMElement*>(child);
    }
    return nullptr;
  }
  DOMNodeList* getElementsByTagName(const XMLCh* name) const override {
    return NewTagList(this, name);
  }
  DOMNode* importNode(const DOMNode*, bool) override { ReadOnly(); }
  DOMElement* createElementNS(const XMLCh*, const XMLCh*) override { ReadOnly(); }
  DOMAttr* createAttributeNS(const XMLCh*, const XMLCh*) override { ReadOnly(); }
  DOMNodeList* getElementsByTagNameNS(const XMLCh*, const XMLCh*) const override {
    return EmptyList();
  }
  DOMElement* getElementById(const XMLCh*) const override { return nullptr; }
  const XMLCh* getInputEncoding() const override { return inputEncoding_; }
  const XMLCh* getXmlEncoding() const override { return xmlEncoding_; }
  bool getXmlStandalone() const override { return standalone_; }
  void setXmlStandalone(bool) override { ReadOnly(); }
  const XMLCh* getXmlVersion() const override { return xmlVersion_; }
  void setXmlVersion(const XMLCh*) override { ReadOnly(); }
  const XMLCh* getDocumentURI() const override { return documentUri_; }
  void setDocumentURI(const XMLCh*) override { ReadOnly(); }
  bool getStrictErrorChecking() const override { return strictErrorChecking_; }
  void setStrictErrorChecking(bool strict) override { strictErrorChecking_ = strict; }
  DOMNode* renameNode(DOMNode*, const XMLCh*, const XMLCh*) override { ReadOnly(); }
  DOMNode* adoptNode(DOMNode*) override { ReadOnly(); }
  void normalizeDocument() override {}
  xercesc::DOMConfiguration* getDOMConfig() const override { return nullptr; }
  xercesc::DOMEntity* createEntity(const XMLCh*) override { ReadOnly(); }
  xercesc::DOMDocumentType* createDocumentType(const XMLCh*) override { ReadOnly(); }
  xercesc::DOMNotation* createNotation(const XMLCh*) override { ReadOnly(); }
  DOMElement* createElementNS(const XMLCh*, const XMLCh*, const XMLFileLoc,
                              const XMLFileLoc) override {
    ReadOnly();
  }
  xercesc::DOMRange* createRange() override { Unsupported(); }
  xercesc::DOMNodeIterator* createNodeIterator(DOMNode*, xercesc::DOMNodeFilter::ShowType,
                                               xercesc::DOMNodeFilter*, bool) override {
    Unsupported();
  }
  xercesc::DOMTreeWalker* createTreeWalker(DOMNode*, xercesc::DOMNodeFilter::ShowType,
                                           xercesc::DOMNodeFilter*, bool) override {
    Unsupported();
  }
  xercesc::DOMXPathExpression* createExpression(const XMLCh*,
                                                const xercesc::DOMXPathNSResolver*) override {
    Unsupported();
  }
  xercesc::DOMXPathNSResolver* createNSResolver(const DOMNode*) override { Unsupported(); }
  xercesc::DOMXPathResult* evaluate(const XMLCh*, const DOMNode*,
                                    const xercesc::DOMXPathNSResolver*,
                                    xercesc::DOMXPathResult::ResultType,
                                    xercesc::DOMXPathResult*) override {
    Unsupported();
  }

  // --- building and lazily made objects ---

  const XMLCh* Copy(const XMLCh* text, size_t length) { return arena_.Copy(text, length); }

  // The document's single copy of a name (element and attribute names repeat).
  // A few recent names are checked first: documents repeat a handful of names.
  const XMLCh* Intern(const XMLCh* name) {
    const size_t length = Utf16Length(name);
    const size_t mix = length == 0 ? 0 : length * 31 + name[0] * 7u + name[length - 1];
    Recent& recent = recent_[mix % kRecent];
    if (recent.text != nullptr && recent.length == length &&
        std::memcmp(recent.text, name, length * sizeof(XMLCh)) == 0) {
      return recent.text;
    }
    std::u16string_view key(name, length);
    auto found = names_.find(key);
    const XMLCh* copy = nullptr;
    if (found != names_.end()) {
      copy = found->second;
    } else {
      copy = Copy(key.data(), key.size());
      names_.emplace(std::u16string_view(copy, key.size()), copy);
    }
    recent = Recent{copy, length};
    return copy;
  }
  // Null when no element or attribute of the document has this name.
  const XMLCh* FindName(const XMLCh* name) const {
    auto found = names_.find(std::u16string_view(name, Utf16Length(name)));
    return found == names_.end() ? nullptr : found->second;
  }

  template <class T, class... Args>
  T* New(Args&&... args) {
    return new (arena_.Allocate(sizeof(T))) T(std::forward<Args>(args)...);
  }
  CompactAttr* NewAttributes(size_t count) {
    return static_cast<CompactAttr*>(arena_.Allocate(sizeof(CompactAttr) * count));
  }

  DOMNodeList* NewTagList(const DOMNode* root, const XMLCh* name) const {
    const bool any = SameText(name, u"*");
    lists_.push_back(std::make_unique<TagList>(root, any ? nullptr : FindName(name), any));
    return lists_.back().get();
  }
  DOMNodeList* NewChildList(const DOMNode* parent) const {
    lists_.push_back(std::make_unique<ChildList>(parent));
    return lists_.back().get();
  }
  DOMNodeList* EmptyList() const { return NewTagList(this, nullptr); }
  DOMNamedNodeMap* NewAttributeMap(const CompactElement* element) const {
    maps_.push_back(std::make_unique<AttributeMap>(element));
    return maps_.back().get();
  }
  const XMLCh* Keep(std::u16string text) const {
    strings_.push_back(std::move(text));
    return strings_.back().c_str();
  }

  void SetEncodings(const XMLCh* input, const XMLCh* declared) {
    if (input != nullptr && input[0] != 0) inputEncoding_ = Copy(input, Utf16Length(input));
    if (declared != nullptr) xmlEncoding_ = Copy(declared, Utf16Length(declared));
  }
  void SetDeclaration(const XMLCh* version, bool standalone) {
    if (version != nullptr && version[0] != 0) xmlVersion_ = Copy(version, Utf16Length(version));
    standalone_ = standalone;
  }

 private:
  struct Recent {
    const XMLCh* text;
    size_t length;
  };
  static constexpr size_t kRecent = 64;

  Arena arena_;
  std::unordered_map<std::u16string_view, const XMLCh*> names_;
  Recent recent_[kRecent] = {};
  mutable std::vector<std::unique_ptr<DOMNodeList>> lists_;
  mutable std::vector<std::unique_ptr<DOMNamedNodeMap>> maps_;
  mutable std::deque<std::u16string> strings_;
  const XMLCh* documentUri_ = nullptr;
  const XMLCh* inputEncoding_ = nullptr;
  const XMLCh* xmlEncoding_ = nullptr;
  const XMLCh* xmlVersion_ = nullptr;
  bool standalone_ = false;
  bool strictErrorChecking_ = true;
};

// --- Members that need the document ---------------------------------------------

namespace {

// Same kind, name, value and attributes.
bool ShallowEqual(const DOMNode* a, const DOMNode* b) {
  if (a->getNodeType() != b->getNodeType() || !SameText(a->getNodeName(), b->getNodeName()) ||
      !SameText(a->getNodeValue(), b->getNodeValue())) {
    return false;
  }
  const DOMNamedNodeMap* left = a->getAttributes();
  const DOMNamedNodeMap* right = b->getAttributes();
  const XMLSize_t count = left != nullptr ? left->getLength() : 0;
  if (count != (right != nullptr ? right->getLength() : 0)) return false;
  for (XMLSize_t i = 0; i < count; ++i) {
    const DOMNode* attribute = left->item(i);
    const DOMNode* other = right->getNamedItem(attribute->getNodeName());
    if (other == nullptr || !SameText(attribute->getNodeValue(), other->getNodeValue())) {
      return false;
    }
  }
  return true;
}

}  // namespace

template <class Interface>
DOMNodeList* NodeBase<Interface>::getChildNodes() const {
  return document_->NewChildList(this);
}

template <class Interface>
xercesc::DOMDocument* NodeBase<Interface>::getOwnerDocument() const {
  return document_;
}

template <class Interface>
const XMLCh* NodeBase<Interface>::getBaseURI() const {
  return document_->getDocumentURI();
}

// Compares the two subtrees node by node without recursion (documents may nest deeply).
template <class Interface>
bool NodeBase<Interface>::isEqualNode(const DOMNode* other) const {
  if (other == nullptr) return false;
  std::vector<std::pair<const DOMNode*, const DOMNode*>> pending{{this, other}};
  while (!pending.empty()) {
    auto [a, b] = pending.back();
    pending.pop_back();
    if (!ShallowEqual(a, b)) return false;
    const DOMNode* x = a->getFirstChild();
    const DOMNode* y = b->getFirstChild();
    for (; x != nullptr && y != nullptr; x = x->getNextSibling(), y = y->getNextSibling()) {
      pending.emplace_back(x, y);
    }
    if (x != nullptr || y != nullptr) return false;
  }
  return true;
}

const XMLCh* CompactText::substringData(XMLSize_t offset, XMLSize_t count) const {
  if (offset > length_) throw DOMException(DOMException::INDEX_SIZE_ERR);
  return document_->Keep(std::u16string(data_ + offset, std::min(count, length_ - offset)));
}

const XMLCh* CompactText::getWholeText() const {
  const DOMNode* first = this;
  auto isText = [](const DOMNode* node) {
    return node != nullptr &&
           (node->getNodeType() == TEXT_NODE || node->getNodeType() == CDATA_SECTION_NODE);
  };
  while (isText(first->getPreviousSibling())) first = first->getPreviousSibling();
  if (first == this && !isText(links.next)) return data_;
  std::u16string whole;
  for (const DOMNode* node = first; isText(node); node = node->getNextSibling()) {
    whole += node->getNodeValue();
  }
  return document_->Keep(std::move(whole));
}

const XMLCh* CompactElement::getTextContent() const {
  DOMNode* only = links.first;
  if (only == nullptr) return kEmpty;
  if (only == links.last && only->getNodeType() != ELEMENT_NODE) return only->getNodeValue();
  std::u16string text;
  for (DOMNode* node = only; node != nullptr; node = NextInTree(this, node)) {
    if (node->getNodeType() != ELEMENT_NODE) text += node->getNodeValue();
  }
  return document_->Keep(std::move(text));
}

DOMNamedNodeMap* CompactElement::getAttributes() const { return document_->NewAttributeMap(this); }

DOMNodeList* CompactElement::getElementsByTagName(const XMLCh* name) const {
  return document_->NewTagList(this, name);
}

DOMNodeList* CompactElement::getElementsByTagNameNS(const XMLCh*, const XMLCh*) const {
  return document_->EmptyList();
}

void CompactDocumentDeleter::operator()(CompactDocument* document) const { delete document; }

xercesc::DOMDocument* AsDomDocument(CompactDocument* document) { return document; }

// --- Building ------------------------------------------------------------------

CompactDocument* NewCompactDocument(const std::string& systemId, size_t textBytes) {
  return new CompactDocument(systemId, textBytes);
}

BuiltNode DocumentNode(CompactDocument* document) { return BuiltNode{document, &document->links}; }

void SetEncodings(CompactDocument* document, const XMLCh* input, const XMLCh* declared) {
  document->SetEncodings(input, declared);
}

void SetDeclaration(CompactDocument* document, const XMLCh* version, const XMLCh* standalone) {
  document->SetDeclaration(version, SameText(standalone, u"yes"));
}

BuiltNode NewElement(CompactDocument* document, const XMLCh* name,
                     const xercesc::RefVectorOf<xercesc::XMLAttr>& attributes, XMLSize_t count) {
  auto* element = document->New<CompactElement>(document, document->Intern(name));
  if (count > 0) {
    CompactAttr* copies = document->NewAttributes(count);
    for (XMLSize_t i = 0; i < count; ++i) {
      const xercesc::XMLAttr* attribute = attributes.elementAt(i);
      const XMLCh* value = attribute->getValue();
      new (&copies[i])
          CompactAttr(document, element, document->Intern(attribute->getQName()),
                      document->Copy(value, Utf16Length(value)), attribute->getSpecified());
    }
    element->SetAttributes(copies, count);
  }
  return BuiltNode{element, &element->links};
}

BuiltNode NewText(CompactDocument* document, const XMLCh* chars, size_t length, bool cdata) {
  auto* text = document->New<CompactText>(document, document->Copy(chars, length), length, cdata);
  return BuiltNode{text, &text->links};
}

void SetElementLine(xercesc::DOMNode* element, int line) {
  static_cast<CompactElement*>(element)->line = line;
}

int ElementLine(const xercesc::DOMNode* node) {
  const auto* element = dynamic_cast<const CompactElement*>(node);
  return element != nullptr ? element->line : 0;
}

}  // namespace dendrix_host
