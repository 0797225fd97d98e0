#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/TranscodingException.hpp>
#include <xercesc/util/XMLException.hpp>

#include "host/BaseDictionary.h"
#include "host/Codes.h"
#include "host/FieldDeclaration.h"
#include "host/ScoreTranslator.h"
#include "host/Utf16.h"
#include "host/XmlDocument.h"

using xercesc::DOMElement;
using xercesc::DOMNode;

namespace {

// An ASCII name as DOM text.
// A name as the DOM wants it: widened into a buffer on the stack when short,
// as element and attribute names are (the readers ask for them per node).
class WideName {
 public:
  explicit WideName(const char* name) {
    const size_t length = name != nullptr ? std::strlen(name) : 0;
    char16_t* out = small_;
    if (length >= kSmall) {
      large_.resize(length);
      out = &large_[0];
    }
    for (size_t i = 0; i < length; ++i) out[i] = static_cast<unsigned char>(name[i]);
    out[length] = 0;
    text_ = out;
  }
  WideName(const WideName&) = delete;
  WideName& operator=(const WideName&) = delete;
  const XMLCh* c_str() const { return text_; }

 private:
  static constexpr size_t kSmall = 48;
  char16_t small_[kSmall];
  std::u16string large_;
  const char16_t* text_;
};

bool IsUtf8Name(const std::string& encoding) {
  std::string upper;
  for (char c : encoding) {
    if (c != '-' && c != '_') upper.push_back(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  }
  return upper.empty() || upper == "UTF8";
}

std::string NodeName(const DOMNode* node) {
  return node == nullptr ? std::string() : dendrix_host::ToUtf8(node->getNodeName());
}

[[noreturn]] void ThrowNumber(const std::string& text, const char* what) {
  throw VeltraException(ErrorCode::kInvalidValue, "\"" + text + "\" is not a valid " + what);
}

[[noreturn]] void ThrowEmptyNumber() {
  throw VeltraException(ErrorCode::kInvalidValue, "A number is required but the text is empty");
}

bool IsBlankText(const std::string& text) {
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return false;
  }
  return true;
}

}  // namespace

// --- VeltraTranscoder --------------------------------------------------------

VeltraTranscoder::VeltraTranscoder(const std::string& encoding) : encoding_("UTF-8") {
  if (IsUtf8Name(encoding) || xercesc::XMLPlatformUtils::fgTransService == nullptr) return;
  xercesc::XMLTransService::Codes code = xercesc::XMLTransService::Ok;
  try {
    other_ = xercesc::XMLPlatformUtils::fgTransService->makeNewTranscoderFor(encoding.c_str(), code,
                                                                             4096);
  } catch (const xercesc::XMLException&) {
    other_ = nullptr;
  }
  if (other_ != nullptr && code != xercesc::XMLTransService::Ok) {
    delete other_;
    other_ = nullptr;
  }
  if (other_ != nullptr) encoding_ = encoding;
}

VeltraTranscoder::~VeltraTranscoder() { delete other_; }

std::string VeltraTranscoder::transcodeTo(const XMLCh* text) const {
  if (other_ == nullptr) return dendrix_host::ToUtf8(text);
  std::string out;
  if (text == nullptr) return out;
  const XMLSize_t length = dendrix_host::Utf16Length(text);
  XMLByte buffer[4096];
  XMLSize_t done = 0;
  try {
    while (done < length) {
      XMLSize_t eaten = 0;
      XMLSize_t made = other_->transcodeTo(text + done, length - done, buffer, sizeof buffer, eaten,
                                           xercesc::XMLTranscoder::UnRep_RepChar);
      out.append(reinterpret_cast<const char*>(buffer), made);
      if (eaten == 0) break;
      done += eaten;
    }
  } catch (const xercesc::XMLException&) {
    throw VeltraException(ErrorCode::kInvalidValue,
                          "Text cannot be written in the encoding " + encoding_);
  }
  return out;
}

// --- BaseTranslator: construction and documents ------------------------------

BaseTranslator::BaseTranslator() = default;

BaseTranslator::BaseTranslator(const BaseTranslator& other)
    : ScoreTranslator(other),
      transcoder_(other.transcoder_ ? new VeltraTranscoder(other.transcoder_->GetEncoding())
                                    : nullptr) {}

BaseTranslator& BaseTranslator::operator=(const BaseTranslator& other) {
  if (this != &other) {
    VeltraTranscoder* copy =
        other.transcoder_ ? new VeltraTranscoder(other.transcoder_->GetEncoding()) : nullptr;
    delete transcoder_;
    transcoder_ = copy;
  }
  return *this;
}

BaseTranslator::~BaseTranslator() { delete transcoder_; }

namespace {

[[noreturn]] void ThrowParseError(const std::string& where, const XmlParseError& error) {
  if (error.line <= 0) throw VeltraException(ErrorCode::kMalformed, where + ": " + error.message);
  throw VeltraException(ErrorCode::kMalformed, where + ":" + std::to_string(error.line) + ":" +
                                                   std::to_string(error.column) + ": " +
                                                   error.message);
}

}  // namespace

ScoreModel* BaseTranslator::ParseFromTree(const std::string& fileName,
                                          const std::string& encoding) {
  XmlDocument document(XmlDocument::Form::kReadOnly);
  XmlParseError error;
  if (!document.ParseFile(fileName, &error)) ThrowParseError(fileName, error);
  return ParseFromTree(document.GetDocument(), encoding);
}

ScoreModel* BaseTranslator::ParseFromTree(std::istream& in, const std::string& encoding) {
  return ParseFromTree(in, encoding, "<stream>");
}

ScoreModel* BaseTranslator::ParseFromTree(std::istream& in, const std::string& encoding,
                                          const std::string& systemId) {
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad())
    throw VeltraException(ErrorCode::kMalformed, systemId + ": cannot read the document");
  XmlDocument document(XmlDocument::Form::kReadOnly);
  XmlParseError error;
  if (!document.ParseMemory(bytes, &error)) ThrowParseError(systemId, error);
  return ParseFromTree(document.GetDocument(), encoding);
}

// --- BaseTranslator: DOM utility functions -----------------------------------

xercesc::DOMNodeList* BaseTranslator::GetElementsByTagName(const DOMNode* node, const char* name) {
  if (node == nullptr) return nullptr;
  const WideName tag(name);
  if (node->getNodeType() == DOMNode::ELEMENT_NODE) {
    return static_cast<const DOMElement*>(node)->getElementsByTagName(tag.c_str());
  }
  if (node->getNodeType() == DOMNode::DOCUMENT_NODE) {
    return static_cast<const xercesc::DOMDocument*>(node)->getElementsByTagName(tag.c_str());
  }
  return nullptr;
}

DOMElement* BaseTranslator::GetChildByTag(const DOMNode* node, const char* name) {
  if (node == nullptr) return nullptr;
  for (DOMNode* child = node->getFirstChild(); child != nullptr; child = child->getNextSibling()) {
    if (child->getNodeType() == DOMNode::ELEMENT_NODE && IsEqual(child->getNodeName(), name)) {
      return static_cast<DOMElement*>(child);
    }
  }
  return nullptr;
}

DOMElement* BaseTranslator::GetChildByTagForced(const DOMNode* node, const char* name) {
  DOMElement* child = GetChildByTag(node, name);
  if (child == nullptr) {
    std::string message = std::string("Element <") + (name ? name : "") + "> is required";
    if (node != nullptr) message += " in <" + NodeName(node) + ">";
    throw VeltraException(ErrorCode::kMalformed, message);
  }
  return child;
}

const XMLCh* BaseTranslator::GetAttribute(const DOMNode* elem, const char* name) {
  if (elem == nullptr || name == nullptr || elem->getNodeType() != DOMNode::ELEMENT_NODE) {
    return nullptr;
  }
  const WideName attribute(name);
  const xercesc::DOMAttr* node =
      static_cast<const DOMElement*>(elem)->getAttributeNode(attribute.c_str());
  return node == nullptr ? nullptr : node->getValue();
}

const XMLCh* BaseTranslator::GetAttributeForced(const DOMNode* elem, const char* name) {
  const XMLCh* value = GetAttribute(elem, name);
  if (value == nullptr) {
    std::string message = std::string("Attribute \"") + (name ? name : "") + "\" is required";
    if (elem != nullptr) message += " in element <" + NodeName(elem) + ">";
    throw VeltraException(ErrorCode::kMalformed, message);
  }
  return value;
}

DOMElement* BaseTranslator::GetFirstChildElt(const DOMNode* node) {
  if (node == nullptr) return nullptr;
  for (DOMNode* child = node->getFirstChild(); child != nullptr; child = child->getNextSibling()) {
    if (child->getNodeType() == DOMNode::ELEMENT_NODE) return static_cast<DOMElement*>(child);
  }
  return nullptr;
}

DOMElement* BaseTranslator::GetNextSiblingElt(const DOMNode* node) {
  if (node == nullptr) return nullptr;
  for (DOMNode* next = node->getNextSibling(); next != nullptr; next = next->getNextSibling()) {
    if (next->getNodeType() == DOMNode::ELEMENT_NODE) return static_cast<DOMElement*>(next);
  }
  return nullptr;
}

bool BaseTranslator::IsEqual(const XMLCh* a, const char* b) {
  if (a == nullptr || b == nullptr) return a == nullptr && b == nullptr;
  const XMLCh* p = a;
  const char* q = b;
  for (; *q != 0; ++p, ++q) {
    const unsigned char c = static_cast<unsigned char>(*q);
    if (c >= 0x80) return dendrix_host::ToUtf8(a) == b;  // UTF-8 text: compare as UTF-8
    if (*p != c) return false;
  }
  return *p == 0;
}

bool BaseTranslator::IsEqual(const XMLCh* a, const XMLCh* b) {
  if (a == nullptr || b == nullptr) return a == nullptr && b == nullptr;
  while (*a != 0 && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

bool BaseTranslator::IsEqual(const XMLCh* a, const std::string& b) const {
  return Transcode(a) == b;
}

double BaseTranslator::VerifyDouble(const XMLCh* text) {
  if (text == nullptr) ThrowEmptyNumber();
  return VerifyDouble(dendrix_host::ToUtf8(text));
}

double BaseTranslator::VerifyDouble(const std::string& text) {
  if (IsBlankText(text)) ThrowEmptyNumber();
  double value = 0;
  if (!NumericValue::ParseDouble(text, &value)) ThrowNumber(text, "number");
  return value;
}

int BaseTranslator::VerifyInt(const XMLCh* text) {
  if (text == nullptr) ThrowEmptyNumber();
  return VerifyInt(dendrix_host::ToUtf8(text));
}

// Integral numbers written in any decimal form ("12", "12.0", "1.2e1") are
// accepted; a fractional part or a number beyond 32 bits is refused.
int BaseTranslator::VerifyInt(const std::string& text) {
  if (IsBlankText(text)) ThrowEmptyNumber();
  double value = 0;
  if (!NumericValue::ParseDouble(text, &value) || std::floor(value) != value) {
    ThrowNumber(text, "integer");
  }
  if (value < static_cast<double>(std::numeric_limits<int>::min()) ||
      value > static_cast<double>(std::numeric_limits<int>::max())) {
    throw VeltraException(ErrorCode::kInvalidValue, "\"" + text + "\" is out of the integer range");
  }
  return static_cast<int>(value);
}

ScoreValue* BaseTranslator::CarefullyMakeVarValue(const ScoreDictVar* var,
                                                  const std::string& text) {
  if (var != nullptr && var->GetVariableType() == ScoreDictVar::kNumeric) {
    return new NumericValue(VerifyDouble(text));
  }
  return new StringValue(text);
}

void BaseTranslator::CreateTranscoder(const std::string& encoding) {
  auto made = std::make_unique<VeltraTranscoder>(encoding);
  delete transcoder_;
  transcoder_ = made.release();
}

std::string BaseTranslator::Transcode(const XMLCh* text) const {
  return transcoder_ ? transcoder_->transcodeTo(text) : dendrix_host::ToUtf8(text);
}

// --- PMMLTranslator ----------------------------------------------------------

PMMLTranslator::PMMLTranslator(const std::string& name) : name_(name) {}

PMMLTranslator::~PMMLTranslator() = default;

ScoreDictionary* PMMLTranslator::ParseDictionary(DOMElement* dataDictionary) {
  auto dictionary = std::make_unique<BaseDictionary>();
  for (DOMElement* field = GetFirstChildElt(dataDictionary); field != nullptr;
       field = GetNextSiblingElt(field)) {
    if (!IsEqual(field->getNodeName(), "DataField")) continue;
    const std::string name = Transcode(GetAttributeForced(field, "name"));
    std::unique_ptr<DictVar> var =
        dendrix_host::ReadFieldDeclaration(*this, field, name, "DataField", true);
    if (!dictionary->AddVar(name, var.get())) {
      throw VeltraException(ErrorCode::kMalformed, "Duplicate DataField name: " + name);
    }
    var.release();
  }
  return dictionary.release();
}
