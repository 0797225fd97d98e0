#pragma once

#include <istream>
#include <memory>
#include <string>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/TransService.hpp>
#include <xercesc/util/XMLString.hpp>

#include "host/HostExport.h"
#include "host/ScoreDictionary.h"
#include "host/ScoreModel.h"
#include "host/TransformationDictionary.h"
#include "host/VeltraException.h"

// Converts UTF-16 text of the DOM into narrow text in one encoding (UTF-8
// when the encoding is empty or unknown).
class DX_HOST_API VeltraTranscoder {
 public:
  explicit VeltraTranscoder(const std::string& encoding);
  VeltraTranscoder(const VeltraTranscoder&) = delete;
  VeltraTranscoder& operator=(const VeltraTranscoder&) = delete;
  ~VeltraTranscoder();

  // Null gives empty text.
  std::string transcodeTo(const XMLCh* text) const;
  const std::string& GetEncoding() const { return encoding_; }

 private:
  std::string encoding_;
  xercesc::XMLTranscoder* other_ = nullptr;  // null for UTF-8
};

// Reads a model document into a model. The caller owns the returned model.
// Threads: a translator is used by one thread at a time; translators made
// separately may read on several threads at once, each with its own document
// (a parsed document is not safe to read from two threads).
class DX_HOST_API ScoreTranslator {
 public:
  virtual ~ScoreTranslator();
  virtual ScoreModel* ParseFromTree(const std::string& fileName, const std::string& encoding) = 0;
  virtual ScoreModel* ParseFromTree(std::istream& in, const std::string& encoding) = 0;
  virtual ScoreModel* ParseFromTree(xercesc::DOMDocument* document,
                                    const std::string& encoding) = 0;
  virtual ScoreModel* ParseFromTree(std::istream& in, const std::string& encoding,
                                    const std::string& systemId) = 0;
};

// The file and stream overloads parse the document with Xerces-C (no DTD
// loading, no external entities, no network) and end in the document
// overload. Also the DOM utility functions readers use, and the transcoder.
// Xerces-C must be initialised (XercesSession) while a translator is used.
class DX_HOST_API BaseTranslator : public ScoreTranslator {
 public:
  BaseTranslator();
  BaseTranslator(const BaseTranslator& other);  // makes its own transcoder
  BaseTranslator& operator=(const BaseTranslator& other);
  ~BaseTranslator() override;

  ScoreModel* ParseFromTree(const std::string& fileName, const std::string& encoding) override;
  ScoreModel* ParseFromTree(std::istream& in, const std::string& encoding) override;
  ScoreModel* ParseFromTree(xercesc::DOMDocument* document,
                            const std::string& encoding) override = 0;
  ScoreModel* ParseFromTree(std::istream& in, const std::string& encoding,
                            const std::string& systemId) override;

  // --- DOM utility functions. Names are ASCII. ---
  // Elements named name below node at any depth, in document order (a list
  // owned by the document).
  static xercesc::DOMNodeList* GetElementsByTagName(const xercesc::DOMNode* node, const char* name);
  // First child element named name; null when absent.
  static xercesc::DOMElement* GetChildByTag(const xercesc::DOMNode* node, const char* name);
  // As GetChildByTag; throws code 1 naming the element when absent.
  static xercesc::DOMElement* GetChildByTagForced(const xercesc::DOMNode* node, const char* name);
  // Null when absent; an attribute present with empty text gives empty text.
  static const XMLCh* GetAttribute(const xercesc::DOMNode* elem, const char* name);
  // As GetAttribute; throws code 1 naming the element and attribute when absent.
  static const XMLCh* GetAttributeForced(const xercesc::DOMNode* elem, const char* name);
  static xercesc::DOMElement* GetFirstChildElt(const xercesc::DOMNode* node);
  static xercesc::DOMElement* GetNextSiblingElt(const xercesc::DOMNode* node);
  // Exact comparison; null equals only null.
  static bool IsEqual(const XMLCh* a, const char* b);
  static bool IsEqual(const XMLCh* a, const XMLCh* b);
  // Compares the transcoded text with b.
  bool IsEqual(const XMLCh* a, const std::string& b) const;
  // Parse the whole text (blanks around allowed); throw code 3 naming the text
  // when it is absent, empty, not a number or out of range. VerifyInt refuses
  // fractions.
  static double VerifyDouble(const XMLCh* text);
  static double VerifyDouble(const std::string& text);
  static int VerifyInt(const XMLCh* text);
  static int VerifyInt(const std::string& text);
  // A value of the variable's type made from text: a NumericValue for a
  // numeric variable (code 3 when the text is not a number), else a
  // StringValue. The caller owns it.
  static ScoreValue* CarefullyMakeVarValue(const ScoreDictVar* var, const std::string& text);

  // Makes the transcoder used by Transcode (replacing an earlier one).
  void CreateTranscoder(const std::string& encoding);
  const VeltraTranscoder* GetTranscoder() const { return transcoder_; }
  // Transcodes with the translator's transcoder (UTF-8 before one is made).
  std::string Transcode(const XMLCh* text) const;

 protected:
  VeltraTranscoder* transcoder_ = nullptr;
};

// Adds the PMML dictionary readers.
class DX_HOST_API PMMLTranslator : public BaseTranslator {
 public:
  explicit PMMLTranslator(const std::string& name);
  PMMLTranslator(const PMMLTranslator&) = default;
  PMMLTranslator& operator=(const PMMLTranslator&) = default;
  ~PMMLTranslator() override;

  // A new dictionary from a PMML DataDictionary element; the caller owns it.
  ScoreDictionary* ParseDictionary(xercesc::DOMElement* dataDictionary);
  // A new transformation dictionary from a PMML TransformationDictionary
  // element; expressions may use the fields of dictionary. The caller owns it.
  // Unknown expressions or functions are rejected here (code 5).
  TransformationDictionary* HandleTransformationDictionary(xercesc::DOMElement* element,
                                                           const ScoreDictionary* dictionary);

 protected:
  std::string name_;
};
