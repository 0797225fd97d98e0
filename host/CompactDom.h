// A read-only DOM built while a SAX scan runs: the Xerces-C DOM interfaces
// (DOMDocument, DOMElement, DOMAttr, DOMText, DOMNodeList, DOMNamedNodeMap)
// over nodes kept in one arena. Readers that only walk a document get the
// same answers as from the parser's own DOM at a fraction of its build and
// walk cost. Calls that would change the document throw DOMException
// NO_MODIFICATION_ALLOWED_ERR; ranges, traversal, XPath, cloning and user data
// throw NOT_SUPPORTED_ERR.
//
// Differences from the parser's DOM, none of which a model reader sees:
// white space that only separates child elements is dropped; there are no
// document type, processing-instruction or comment nodes, and no namespace
// processing (local names and namespace URIs are null).
//
// Ownership: the builder owns the document until TakeDocument(); a
// CompactDocumentPtr owns every node, string and node list handed out by it.
// Lists and text returned by getElementsByTagName, getChildNodes,
// getAttributes and getTextContent are created lazily, so concurrent calls on
// one document need outside locking, as with the parser's DOM.
#pragma once

#include <memory>
#include <string>
#include <vector>
#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/framework/XMLDocumentHandler.hpp>
#include <xercesc/parsers/SAXParser.hpp>

namespace dendrix_host {

class CompactDocument;

struct CompactDocumentDeleter {
  void operator()(CompactDocument* document) const;
};
using CompactDocumentPtr = std::unique_ptr<CompactDocument, CompactDocumentDeleter>;

// The DOM interface of a compact document.
xercesc::DOMDocument* AsDomDocument(CompactDocument* document);

// --- Building, for CompactDomBuilder ---

// Where a node of the tree keeps its parent, children and siblings.
struct NodeLinks {
  xercesc::DOMNode* parent = nullptr;
  xercesc::DOMNode* first = nullptr;
  xercesc::DOMNode* last = nullptr;
  xercesc::DOMNode* prev = nullptr;
  xercesc::DOMNode* next = nullptr;
};

// A node just made, not yet linked into the tree; the document owns it.
struct BuiltNode {
  xercesc::DOMNode* node;
  NodeLinks* links;
};

// A new empty document sized for textBytes of text; the caller owns it (a
// CompactDocumentPtr).
CompactDocument* NewCompactDocument(const std::string& systemId, size_t textBytes);
BuiltNode DocumentNode(CompactDocument* document);
// The input encoding the scanner saw and the declared one (either may be null).
void SetEncodings(CompactDocument* document, const XMLCh* input, const XMLCh* declared);
// The XML declaration's version and standalone ("yes" or not).
void SetDeclaration(CompactDocument* document, const XMLCh* version, const XMLCh* standalone);
// An element with copies of its name and its first count attributes.
BuiltNode NewElement(CompactDocument* document, const XMLCh* name,
                     const xercesc::RefVectorOf<xercesc::XMLAttr>& attributes, XMLSize_t count);
// Records the line where an element's start tag ends, for readers' messages.
void SetElementLine(xercesc::DOMNode* element, int line);
// Text or a CDATA section holding a copy of chars.
BuiltNode NewText(CompactDocument* document, const XMLCh* chars, size_t length, bool cdata);

// A SAX parser whose scanner state (the input encoding) the builder can read.
class CompactSaxParser : public xercesc::SAXParser {
 public:
  const xercesc::XMLScanner& Scanner() const { return getScanner(); }
};

// Installed on a CompactSaxParser with installAdvDocHandler; builds one
// document per parse.
class CompactDomBuilder : public xercesc::XMLDocumentHandler {
 public:
  CompactDomBuilder(const CompactSaxParser& parser, const std::string& systemId);
  ~CompactDomBuilder() override;

  // The size of the document's text, when known: the node storage is
  // reserved for it in one piece.
  void SetSizeHint(size_t bytes) { sizeHint_ = bytes; }

  // The document of the last completed parse, or null.
  CompactDocumentPtr TakeDocument();

  void docCharacters(const XMLCh* const chars, const XMLSize_t length,
                     const bool cdataSection) override;
  void docComment(const XMLCh* const) override {}
  void docPI(const XMLCh* const, const XMLCh* const) override {}
  void endDocument() override;
  void endElement(const xercesc::XMLElementDecl& elemDecl, const unsigned int uriId,
                  const bool isRoot, const XMLCh* const prefixName) override;
  void endEntityReference(const xercesc::XMLEntityDecl&) override {}
  void ignorableWhitespace(const XMLCh* const, const XMLSize_t, const bool) override {}
  void resetDocument() override;
  void startDocument() override;
  void startElement(const xercesc::XMLElementDecl& elemDecl, const unsigned int uriId,
                    const XMLCh* const prefixName,
                    const xercesc::RefVectorOf<xercesc::XMLAttr>& attrList,
                    const XMLSize_t attrCount, const bool isEmpty, const bool isRoot) override;
  void startEntityReference(const xercesc::XMLEntityDecl&) override {}
  void XMLDecl(const XMLCh* const versionStr, const XMLCh* const encodingStr,
               const XMLCh* const standaloneStr, const XMLCh* const autoEncodingStr) override;

 private:
  struct Frame;
  void FlushText(bool elementFollows);
  // Links child in as the last child of the innermost open node.
  void Attach(BuiltNode child);

  const CompactSaxParser& parser_;
  std::string systemId_;
  CompactDocumentPtr document_;
  std::vector<Frame> open_;
  std::u16string pendingText_;
  size_t sizeHint_ = 0;
  bool complete_ = false;
};

}  // namespace dendrix_host
