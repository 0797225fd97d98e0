#pragma once

#include <memory>
#include <string>
#include <xercesc/dom/DOM.hpp>

#include "host/HostExport.h"

// Keeps Xerces-C initialised while alive (nesting allowed).
class DX_HOST_API XercesSession {
 public:
  XercesSession();
  ~XercesSession();
  XercesSession(const XercesSession&) = delete;
  XercesSession& operator=(const XercesSession&) = delete;
};

// Error of the XML parser: where it happened and the parser's message.
struct DX_HOST_API XmlParseError {
  int line = 0;
  int column = 0;
  std::string message;
};

// A parsed DOM document and the parser that owns it. Parsing refuses DTD
// loading, external entities and network access. Needs a live XercesSession.
//
// kEditable gives the XML parser's own DOM, which may be changed in place
// (UpgradePmmlDocument needs that). kReadOnly gives a compact DOM built from a
// SAX scan: the same interfaces for reading, several times faster to build and
// walk, and any call that would change it throws DOMException.
class DX_HOST_API XmlDocument {
 public:
  enum class Form { kEditable, kReadOnly };

  explicit XmlDocument(Form form = Form::kEditable);
  ~XmlDocument();
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  // False on a parse failure (error filled in) or an unreadable file.
  bool ParseFile(const std::string& path, XmlParseError* error);
  bool ParseMemory(const std::string& bytes, XmlParseError* error);

  // Null until a parse succeeded. Owned by this object.
  xercesc::DOMDocument* GetDocument() const;
  // The document's encoding as the parser saw it ("UTF-8" when unknown).
  std::string GetEncoding() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

namespace dendrix_host {
// The line of an element's start tag in a read-only document; 0 when not
// known (the editable form keeps no lines).
DX_HOST_API int ElementLine(const xercesc::DOMNode* node);
}  // namespace dendrix_host
