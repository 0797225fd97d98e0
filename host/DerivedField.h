#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <xercesc/dom/DOM.hpp>

#include "host/HostExport.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreDictionary.h"

class BaseTranslator;
class TransformationDictionary;

// One computed value: missing, a number, a boolean (number 1 or 0) or a text.
// A text is a view of storage owned elsewhere (the case record, a derived
// slot, a constant of the expression or an expression's own buffer); it stays
// valid until the record changes or the same expression is evaluated again.
struct DX_HOST_API DerivedValue {
  enum Kind : unsigned char { kMissing, kNumber, kBoolean, kText };

  // Longest text a derived field holds or a text function builds; a longer
  // one is missing instead. Bounds what chains of fields that concatenate
  // their predecessors can build (each link may double the text).
  static constexpr size_t kMaxTextBytes = 64 * 1024;

  Kind kind = kMissing;
  // For kText: number below holds the text's number, read when the document
  // was read, so that numeric uses need not parse it again.
  bool textIsNumber = false;
  double number = 0;
  std::string_view text;

  static DerivedValue Missing() { return DerivedValue(); }
  static DerivedValue Number(double x) {
    DerivedValue v;
    v.kind = kNumber;
    v.number = x;
    return v;
  }
  static DerivedValue Boolean(bool b) {
    DerivedValue v;
    v.kind = kBoolean;
    v.number = b ? 1.0 : 0.0;
    return v;
  }
  static DerivedValue Text(std::string_view text) {
    DerivedValue v;
    v.kind = kText;
    v.text = text;
    return v;
  }

  bool IsMissing() const { return kind == kMissing; }
  // The value as a number: numbers and booleans as they are, texts parsed.
  // False for a missing value or a text that is not a number.
  bool ToNumber(double* out) const;
  // The value as a boolean: numbers are true when not 0; texts "true"/"false"
  // or a number. False when the value is missing or not a boolean.
  bool ToBoolean(bool* out) const;
  // The value as text: booleans "true"/"false", numbers in their shortest
  // round-trip text (written into *buffer). Empty for a missing value.
  std::string_view ToText(std::string* buffer) const;
};

// A compiled expression of a derived field. Field references are resolved
// when the document is read: evaluation looks up no names on indexed records
// (once the dictionary's indexes are set), throws nothing and allocates
// nothing for numeric work. Texts built by an expression live in buffers it
// owns, so one expression must not be evaluated from two threads at once.
class DX_HOST_API DerivedExpression {
 public:
  DerivedExpression() = default;
  DerivedExpression(const DerivedExpression&) = delete;
  DerivedExpression& operator=(const DerivedExpression&) = delete;
  virtual ~DerivedExpression();

  // record: the case. derived: the values of the derived fields computed so
  // far, by position in the transformation dictionary (may be null when the
  // expression uses no derived field).
  virtual DerivedValue Evaluate(const ScoreCaseRecord* record,
                                const ScoreCaseRecord* derived) const = 0;
};

// Turns the expression elements of a TransformationDictionary into compiled
// expressions. Field references name a variable of the data dictionary or a
// derived field added earlier to the transformation dictionary. Borrows the
// translator and both dictionaries; hands the caller every expression it makes.
class DX_HOST_API DerivedExpressionReader {
 public:
  // Deeper nesting than this is rejected (code 5) rather than recursed into.
  static constexpr int kMaxDepth = 1000;

  DerivedExpressionReader(const BaseTranslator& translator, const ScoreDictionary* dictionary,
                          const TransformationDictionary* derived);
  DerivedExpressionReader(const DerivedExpressionReader&) = delete;
  DerivedExpressionReader& operator=(const DerivedExpressionReader&) = delete;
  ~DerivedExpressionReader();

  // The one expression below a DerivedField element (Extension and Value
  // children are skipped); fieldName is used in messages. The caller owns the
  // result. Throws VeltraException: 1 missing attribute or expression, 3 bad
  // number, 5 unsupported element or function or wrong argument count or too
  // deep, 8 unknown field.
  std::unique_ptr<DerivedExpression> ReadDerivedField(const xercesc::DOMElement* derivedField,
                                                      const std::string& fieldName);
  // One expression element (Constant, FieldRef, Apply, ...).
  std::unique_ptr<DerivedExpression> ReadExpression(const xercesc::DOMElement* element);

  // Makes a derived field visible to later references, at its position.
  void AddDerivedName(const std::string& name, int slot) { slots_[name] = slot; }

 private:
  using Expr = std::unique_ptr<DerivedExpression>;
  Expr ReadConstant(const xercesc::DOMElement* element);
  Expr ReadFieldRef(const xercesc::DOMElement* element);
  Expr ReadNormContinuous(const xercesc::DOMElement* element);
  Expr ReadNormDiscrete(const xercesc::DOMElement* element);
  Expr ReadDiscretize(const xercesc::DOMElement* element);
  Expr ReadMapValues(const xercesc::DOMElement* element);
  Expr ReadApply(const xercesc::DOMElement* element);
  // A reference to the field named by attribute of element (no mapMissingTo).
  Expr ReadFieldAttribute(const xercesc::DOMElement* element, const char* attribute);
  Expr MakeFieldReference(const std::string& name);
  std::string Text(const XMLCh* text) const;
  std::string Where() const;

  const BaseTranslator& translator_;
  const ScoreDictionary* dictionary_;
  const TransformationDictionary* derived_;
  std::unordered_map<std::string, int> slots_;
  std::string fieldName_;
  int depth_ = 0;
};
