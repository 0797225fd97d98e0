#include "host/XmlDocument.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/SAXParser.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/InputSource.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/BinInputStream.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLEntityResolver.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLResourceIdentifier.hpp>

#include "host/Codes.h"
#include "host/CompactDom.h"
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

// Feeds the parser from an open file in chunks, so a large document is never
// held in memory whole.
class FileStream : public xercesc::BinInputStream {
 public:
  explicit FileStream(std::ifstream& in) : in_(in) {}
  XMLFilePos curPos() const override { return position_; }
  XMLSize_t readBytes(XMLByte* const toFill, const XMLSize_t maxToRead) override {
    in_.read(reinterpret_cast<char*>(toFill), static_cast<std::streamsize>(maxToRead));
    const auto got = static_cast<XMLSize_t>(in_.gcount());
    if (in_.bad()) throw ReadFailure{};
    position_ += got;
    return got;
  }
  const XMLCh* getContentType() const override { return nullptr; }

  struct ReadFailure {};

 private:
  std::ifstream& in_;
  XMLFilePos position_ = 0;
};

class FileSource : public xercesc::InputSource {
 public:
  FileSource(std::ifstream& in, const std::string& systemId) : in_(in) {
    setSystemId(dendrix_host::FromUtf8(systemId).c_str());
  }
  xercesc::BinInputStream* makeStream() const override { return new FileStream(in_); }

 private:
  std::ifstream& in_;
};

}  // namespace

// --- XercesSession -----------------------------------------------------------

XercesSession::XercesSession() {
  try {
    xercesc::XMLPlatformUtils::Initialize();
  } catch (const xercesc::XMLException& e) {
    throw VeltraException(ErrorCode::kMalformed,
                          "The XML parser cannot start: " + Narrow(e.getMessage()));
  }
}

XercesSession::~XercesSession() { xercesc::XMLPlatformUtils::Terminate(); }

// --- XmlDocument -------------------------------------------------------------

struct XmlDocument::Impl {
  explicit Impl(Form f) : form(f) {}

  Form form;
  FirstFatalError errors;
  RefuseAllEntities resolver;
  xercesc::SecurityManager security;
  std::unique_ptr<xercesc::XercesDOMParser> parser;
  dendrix_host::CompactDocumentPtr compact;
  bool parsed = false;

  // sizeHint: the document's size in bytes, 0 when unknown.
  bool Parse(const xercesc::InputSource& source, const std::string& systemId, size_t sizeHint,
             XmlParseError* error);
  // Both parsers get the same settings: no validation, no DTD or external
  // entity loading, entity expansions capped.
  template <class Parser>
  void Configure(Parser& p) {
    p.setValidationScheme(Parser::Val_Never);
    p.setDoNamespaces(false);
    p.setDoSchema(false);
    p.setLoadExternalDTD(false);
    p.setSkipDTDValidation(true);
    p.setDisableDefaultEntityResolution(true);
    p.setXMLEntityResolver(&resolver);
    security.setEntityExpansionLimit(kEntityExpansionLimit);
    p.setSecurityManager(&security);
    p.setErrorHandler(&errors);
  }
  void Reset() {
    parser.reset();
    compact.reset();
    parsed = false;
  }
};

XmlDocument::XmlDocument(Form form) : impl_(std::make_unique<Impl>(form)) {}

XmlDocument::~XmlDocument() = default;

bool XmlDocument::Impl::Parse(const xercesc::InputSource& source, const std::string& systemId,
                              size_t sizeHint, XmlParseError* error) {
  Reset();
  errors.seen = false;
  errors.error_ = XmlParseError();
  std::unique_ptr<dendrix_host::CompactSaxParser> scanner;
  std::unique_ptr<dendrix_host::CompactDomBuilder> builder;
  if (form == Form::kEditable) {
    parser = std::make_unique<xercesc::XercesDOMParser>();
    Configure(*parser);
    parser->setCreateEntityReferenceNodes(false);
    parser->setCreateCommentNodes(false);
    parser->setIncludeIgnorableWhitespace(false);
  } else {
    scanner = std::make_unique<dendrix_host::CompactSaxParser>();
    Configure(*scanner);
    builder = std::make_unique<dendrix_host::CompactDomBuilder>(*scanner, systemId);
    builder->SetSizeHint(sizeHint);
    scanner->installAdvDocHandler(builder.get());
  }

  int errorCount = 0;
  try {
    if (parser) {
      parser->parse(source);
      errorCount = static_cast<int>(parser->getErrorCount());
    } else {
      scanner->parse(source);
      errorCount = static_cast<int>(scanner->getErrorCount());
    }
  } catch (const FileStream::ReadFailure&) {
    errors.Record(0, 0, "cannot read the file");
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
  } catch (const std::bad_alloc&) {
    errors.Record(0, 0, "out of memory");
  }
  if (!errors.seen && errorCount != 0) errors.Record(0, 0, "malformed document");
  if (builder && !errors.seen) compact = builder->TakeDocument();
  if (!errors.seen && ((parser && parser->getDocument() == nullptr) || (builder && !compact))) {
    errors.Record(0, 0, "no document");
  }
  if (errors.seen) {
    if (error) *error = errors.error_;
    Reset();
    return false;
  }
  parsed = true;
  return true;
}

bool XmlDocument::ParseFile(const std::string& path, XmlParseError* error) {
  impl_->Reset();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    int code = errno;
    if (error) {
      *error = XmlParseError();
      error->message = code != 0 ? std::strerror(code) : "cannot open the file";
    }
    return false;
  }
  // The size, when the file has one (a pipe has not), sizes the node storage.
  std::streamoff size = 0;
  if (in.seekg(0, std::ios::end)) {
    size = in.tellg();
    in.seekg(0, std::ios::beg);
  }
  in.clear();
  FileSource source(in, path);
  return impl_->Parse(source, path, size > 0 ? static_cast<size_t>(size) : 0, error);
}

bool XmlDocument::ParseMemory(const std::string& bytes, XmlParseError* error) {
  xercesc::MemBufInputSource source(reinterpret_cast<const XMLByte*>(bytes.data()), bytes.size(),
                                    "memory", false);
  source.setCopyBufToStream(false);  // bytes outlive the parse
  return impl_->Parse(source, "memory", bytes.size(), error);
}

xercesc::DOMDocument* XmlDocument::GetDocument() const {
  if (!impl_->parsed) return nullptr;
  if (impl_->compact) return dendrix_host::AsDomDocument(impl_->compact.get());
  return impl_->parser->getDocument();
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
