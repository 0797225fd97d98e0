#include "host/XmlDocument.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLEntityResolver.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLResourceIdentifier.hpp>

#include "host/Utf16.h"
#include "host/VeltraException.h"

namespace {

// Entity expansions allowed per document. Model documents use none beyond
// the predefined ones, so a small number stops expansion bombs early.
constexpr XMLSize_t kEntityExpansionLimit = 100;

std::string Narrow(const XMLCh* text) { return dendrix_host::ToUtf8(text); }

// Keeps the first fatal error; the parser stops at it.
class FirstFatalError : public xercesc::ErrorHandler {
 public:
  void warning(const xercesc::SAXParseException&) override {}
  void error(const xercesc::SAXParseException&) override {}
  void fatalError(const xercesc::SAXParseException& e) override {
    Record(static_cast<int>(e.getLineNumber()), static_cast<int>(e.getColumnNumber()),
           Narrow(e.getMessage()));
  }
  void resetErrors() override {}

  void Record(int line, int column, const std::string& message) {
    if (seen) return;
    seen = true;
    error_.line = line;
    error_.column = column;
    error_.message = message;
  }

  bool seen = false;
  XmlParseError error_;
};

// Thrown by the resolver to stop the parse at an external entity or DTD.
struct RefusedEntity {
  std::string systemId;
};

class RefuseAllEntities : public xercesc::XMLEntityResolver {
 public:
  xercesc::InputSource* resolveEntity(xercesc::XMLResourceIdentifier* id) override {
    throw RefusedEntity{Narrow(id ? id->getSystemId() : nullptr)};
  }
};

}  // namespace

// --- XercesSession -----------------------------------------------------------

XercesSession::XercesSession() {
  try {
    xercesc::XMLPlatformUtils::Initialize();
  } catch (const xercesc::XMLException& e) {
    throw VeltraException(1, "The XML parser cannot start: " + Narrow(e.getMessage()));
  }
}

XercesSession::~XercesSession() { xercesc::XMLPlatformUtils::Terminate(); }

// --- XmlDocument -------------------------------------------------------------

struct XmlDocument::Impl {
  FirstFatalError errors;
  RefuseAllEntities resolver;
  xercesc::SecurityManager security;
  std::unique_ptr<xercesc::XercesDOMParser> parser;
  bool parsed = false;

  bool Parse(const std::string& bytes, const std::string& systemId, XmlParseError* error);
};

XmlDocument::XmlDocument() : impl_(std::make_unique<Impl>()) {}

XmlDocument::~XmlDocument() = default;

bool XmlDocument::Impl::Parse(const std::string& bytes, const std::string& systemId,
                              XmlParseError* error) {
  parsed = false;
  errors.seen = false;
  errors.error_ = XmlParseError();
  parser = std::make_unique<xercesc::XercesDOMParser>();
  parser->setValidationScheme(xercesc::XercesDOMParser::Val_Never);
  parser->setDoNamespaces(false);
  parser->setDoSchema(false);
  parser->setLoadExternalDTD(false);
  parser->setSkipDTDValidation(true);
  parser->setDisableDefaultEntityResolution(true);
  parser->setCreateEntityReferenceNodes(false);
  parser->setCreateCommentNodes(false);
  parser->setIncludeIgnorableWhitespace(false);
  parser->setXMLEntityResolver(&resolver);
  security.setEntityExpansionLimit(kEntityExpansionLimit);
  parser->setSecurityManager(&security);
  parser->setErrorHandler(&errors);

  xercesc::MemBufInputSource source(reinterpret_cast<const XMLByte*>(bytes.data()), bytes.size(),
                                    systemId.c_str(), false);
  try {
    parser->parse(source);
  } catch (const RefusedEntity& refused) {
    errors.Record(0, 0, "external entities are not allowed (\"" + refused.systemId + "\")");
  } catch (const xercesc::SAXParseException& e) {
    errors.Record(static_cast<int>(e.getLineNumber()), static_cast<int>(e.getColumnNumber()),
                  Narrow(e.getMessage()));
  } catch (const xercesc::XMLException& e) {
    errors.Record(static_cast<int>(e.getSrcLine()), 0, Narrow(e.getMessage()));
  } catch (const xercesc::DOMException& e) {
    errors.Record(0, 0, Narrow(e.getMessage()));
  } catch (const xercesc::OutOfMemoryException&) {
    errors.Record(0, 0, "out of memory");
  }
  if (!errors.seen && parser->getErrorCount() != 0) errors.Record(0, 0, "malformed document");
  if (!errors.seen && parser->getDocument() == nullptr) errors.Record(0, 0, "no document");
  if (errors.seen) {
    if (error) *error = errors.error_;
    parser.reset();
    return false;
  }
  parsed = true;
  return true;
}

bool XmlDocument::ParseFile(const std::string& path, XmlParseError* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    int code = errno;
    impl_->parser.reset();
    impl_->parsed = false;
    if (error) {
      *error = XmlParseError();
      error->message = code != 0 ? std::strerror(code) : "cannot open the file";
    }
    return false;
  }
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) {
    impl_->parser.reset();
    impl_->parsed = false;
    if (error) {
      *error = XmlParseError();
      error->message = "cannot read the file";
    }
    return false;
  }
  return impl_->Parse(bytes.str(), path, error);
}

bool XmlDocument::ParseMemory(const std::string& bytes, XmlParseError* error) {
  return impl_->Parse(bytes, "memory", error);
}

xercesc::DOMDocument* XmlDocument::GetDocument() const {
  return impl_->parsed ? impl_->parser->getDocument() : nullptr;
}

std::string XmlDocument::GetEncoding() const {
  xercesc::DOMDocument* document = GetDocument();
  std::string encoding;
  if (document != nullptr) {
    encoding = Narrow(document->getInputEncoding());
    if (encoding.empty()) encoding = Narrow(document->getXmlEncoding());
  }
  return encoding.empty() ? "UTF-8" : encoding;
}
