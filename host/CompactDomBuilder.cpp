// Builds a compact document from the SAX scan's events.
#include <string>
#include <utility>
#include <xercesc/dom/DOMException.hpp>
#include <xercesc/framework/XMLElementDecl.hpp>
#include <xercesc/internal/ReaderMgr.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLUni.hpp>

#include "host/CompactDom.h"

namespace dendrix_host {

using xercesc::DOMNode;

struct CompactDomBuilder::Frame {
  DOMNode* node;
  NodeLinks* links;
  NodeLinks* lastChild;
  bool hasElementChild;
};

namespace {

bool IsXmlSpace(const std::u16string& text) {
  for (char16_t c : text) {
    if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r') return false;
  }
  return true;
}

}  // namespace

CompactDomBuilder::CompactDomBuilder(const CompactSaxParser& parser, const std::string& systemId)
    : parser_(parser), systemId_(systemId) {}

CompactDomBuilder::~CompactDomBuilder() = default;

CompactDocumentPtr CompactDomBuilder::TakeDocument() {
  if (!complete_) return nullptr;
  complete_ = false;
  open_.clear();
  return std::move(document_);
}

void CompactDomBuilder::resetDocument() {
  document_.reset();
  open_.clear();
  pendingText_.clear();
  complete_ = false;
}

void CompactDomBuilder::startDocument() {
  resetDocument();
  document_.reset(NewCompactDocument(systemId_, sizeHint_));
  const xercesc::ReaderMgr* readers = parser_.Scanner().getReaderMgr();
  SetEncodings(document_.get(), readers != nullptr ? readers->getCurrentEncodingStr() : nullptr,
               nullptr);
  const BuiltNode root = DocumentNode(document_.get());
  open_.push_back(Frame{root.node, root.links, nullptr, false});
}

void CompactDomBuilder::XMLDecl(const XMLCh* const versionStr, const XMLCh* const encodingStr,
                                const XMLCh* const standaloneStr,
                                const XMLCh* const autoEncodingStr) {
  if (!document_) return;
  // The scanner lets any version through; the parser's DOM takes only these,
  // and both forms must accept the same documents.
  if (versionStr != nullptr && *versionStr != 0 &&
      !xercesc::XMLString::equals(versionStr, xercesc::XMLUni::fgVersion1_0) &&
      !xercesc::XMLString::equals(versionStr, xercesc::XMLUni::fgVersion1_1)) {
    throw xercesc::DOMException(xercesc::DOMException::NOT_SUPPORTED_ERR, 0);
  }
  SetDeclaration(document_.get(), versionStr, standaloneStr);
  SetEncodings(document_.get(), autoEncodingStr, encodingStr);
}

void CompactDomBuilder::endDocument() {
  FlushText(false);
  complete_ = document_ != nullptr;
}

void CompactDomBuilder::startElement(const xercesc::XMLElementDecl& elemDecl, const unsigned int,
                                     const XMLCh* const,
                                     const xercesc::RefVectorOf<xercesc::XMLAttr>& attrList,
                                     const XMLSize_t attrCount, const bool isEmpty, const bool) {
  if (open_.empty()) return;
  FlushText(true);
  const BuiltNode element =
      NewElement(document_.get(), elemDecl.getFullName(), attrList, attrCount);
  if (const xercesc::Locator* locator = parser_.Scanner().getLocator()) {
    SetElementLine(element.node, static_cast<int>(locator->getLineNumber()));
  }
  Attach(element);
  open_.back().hasElementChild = true;
  if (!isEmpty) open_.push_back(Frame{element.node, element.links, nullptr, false});
}

void CompactDomBuilder::endElement(const xercesc::XMLElementDecl&, const unsigned int, const bool,
                                   const XMLCh* const) {
  FlushText(false);
  if (open_.size() > 1) open_.pop_back();
}

void CompactDomBuilder::docCharacters(const XMLCh* const chars, const XMLSize_t length,
                                      const bool cdataSection) {
  // Character data outside the root element is only white space; the DOM drops it.
  if (open_.size() < 2) return;
  if (!cdataSection) {
    pendingText_.append(chars, length);
    return;
  }
  FlushText(false);
  Attach(NewText(document_.get(), chars, length, true));
}

void CompactDomBuilder::Attach(BuiltNode child) {
  DOMNode* node = child.node;
  NodeLinks* links = child.links;
  Frame& parent = open_.back();
  links->parent = parent.node;
  links->prev = parent.links->last;
  if (parent.lastChild != nullptr) {
    parent.lastChild->next = node;
  } else {
    parent.links->first = node;
  }
  parent.links->last = node;
  parent.lastChild = links;
}

// White space next to a child element is layout, not content: it is dropped,
// which keeps large indented documents small.
void CompactDomBuilder::FlushText(bool elementFollows) {
  if (pendingText_.empty()) return;
  if (open_.size() < 2 ||
      ((elementFollows || open_.back().hasElementChild) && IsXmlSpace(pendingText_))) {
    pendingText_.clear();
    return;
  }
  const BuiltNode text = NewText(document_.get(), pendingText_.data(), pendingText_.size(), false);
  pendingText_.clear();
  Attach(text);
}

}  // namespace dendrix_host
