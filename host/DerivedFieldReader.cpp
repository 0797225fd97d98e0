// Reads the expression of a DerivedField element into the expressions of
// DerivedExpressions.h, checking the document as it goes.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/Codes.h"
#include "host/DerivedExpressions.h"
#include "host/DerivedField.h"
#include "host/ScoreTranslator.h"
#include "host/TransformationDictionary.h"
#include "host/VeltraException.h"

using derived_field::Bin;
using derived_field::Expr;
using derived_field::FindFunction;
using derived_field::FunctionInfo;
using derived_field::Literal;
using derived_field::MakeApply;
using derived_field::MakeConstant;
using derived_field::MakeDiscretize;
using derived_field::MakeFieldRef;
using derived_field::MakeMapValues;
using derived_field::MakeNormContinuous;
using derived_field::MakeNormDiscrete;
using derived_field::Outliers;
using derived_field::SetMapMissingTo;
using derived_field::TableRow;
using xercesc::DOMElement;

namespace {

bool IsNumericDataType(const std::string& dataType) {
  return dataType == "integer" || dataType == "float" || dataType == "double";
}

// The literal an optional attribute gives; not present when the attribute is absent.
Literal OptionalLiteral(const BaseTranslator& translator, const DOMElement* element,
                        const char* name) {
  Literal literal;
  if (const XMLCh* attr = BaseTranslator::GetAttribute(element, name)) {
    literal.Set(translator.Transcode(attr));
  }
  return literal;
}

// Keeps the nesting depth of the expression being read.
class DepthGuard {
 public:
  explicit DepthGuard(int* depth) : depth_(depth) { ++*depth_; }
  ~DepthGuard() { --*depth_; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;

 private:
  int* depth_;
};

// The part of an element name after its prefix ("data:x" -> "x").
std::string_view LocalName(std::string_view name) {
  const size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

bool IsElement(const DOMElement* element, const char* name) {
  return BaseTranslator::IsEqual(element->getTagName(), name);
}

}  // namespace

DerivedExpressionReader::DerivedExpressionReader(const BaseTranslator& translator,
                                                 const ScoreDictionary* dictionary,
                                                 const TransformationDictionary* derived)
    : translator_(translator), dictionary_(dictionary), derived_(derived) {}

DerivedExpressionReader::~DerivedExpressionReader() = default;

std::string DerivedExpressionReader::Text(const XMLCh* text) const {
  return translator_.Transcode(text);
}

std::string DerivedExpressionReader::Where() const {
  return fieldName_.empty() ? std::string() : " in DerivedField \"" + fieldName_ + "\"";
}

std::unique_ptr<DerivedExpression> DerivedExpressionReader::ReadDerivedField(
    const DOMElement* derivedField, const std::string& fieldName) {
  fieldName_ = fieldName;
  depth_ = 0;
  const DOMElement* expression = nullptr;
  for (const DOMElement* child = BaseTranslator::GetFirstChildElt(derivedField); child != nullptr;
       child = BaseTranslator::GetNextSiblingElt(child)) {
    if (IsElement(child, "Extension") || IsElement(child, "Value")) continue;
    if (expression != nullptr) {
      throw VeltraException(ErrorCode::kMalformed,
                            "DerivedField \"" + fieldName + "\" has more than one expression");
    }
    expression = child;
  }
  if (expression == nullptr) {
    throw VeltraException(ErrorCode::kMalformed,
                          "DerivedField \"" + fieldName + "\" has no expression");
  }
  return ReadExpression(expression);
}

std::unique_ptr<DerivedExpression> DerivedExpressionReader::ReadExpression(
    const DOMElement* element) {
  DepthGuard guard(&depth_);
  if (depth_ > kMaxDepth) {
    throw VeltraException(
        ErrorCode::kUnsupported,
        "Expression nested more than " + std::to_string(kMaxDepth) + " levels deep" + Where());
  }
  if (IsElement(element, "Apply")) return ReadApply(element);
  if (IsElement(element, "FieldRef")) return ReadFieldRef(element);
  if (IsElement(element, "Constant")) return ReadConstant(element);
  if (IsElement(element, "NormContinuous")) return ReadNormContinuous(element);
  if (IsElement(element, "NormDiscrete")) return ReadNormDiscrete(element);
  if (IsElement(element, "Discretize")) return ReadDiscretize(element);
  if (IsElement(element, "MapValues")) return ReadMapValues(element);
  throw VeltraException(ErrorCode::kUnsupported,
                        "Unsupported expression <" + Text(element->getTagName()) + ">" + Where());
}

std::unique_ptr<DerivedExpression> DerivedExpressionReader::MakeFieldReference(
    const std::string& name) {
  if (dictionary_ != nullptr) {
    if (const ScoreDictVar* var = dictionary_->GetVar(name)) {
      return MakeFieldRef(var, -1);
    }
  }
  auto it = slots_.find(name);
  if (it != slots_.end() && derived_ != nullptr && it->second >= 0 &&
      it->second < derived_->GetNumberOfVars()) {
    return MakeFieldRef(derived_->GetVars()[it->second], it->second);
  }
  throw VeltraException(
      ErrorCode::kUnknownVariable,
      "Field \"" + name + "\" is not a data field or an earlier derived field" + Where());
}

std::unique_ptr<DerivedExpression> DerivedExpressionReader::ReadFieldAttribute(
    const DOMElement* element, const char* attribute) {
  return MakeFieldReference(Text(BaseTranslator::GetAttributeForced(element, attribute)));
}

std::unique_ptr<DerivedExpression> DerivedExpressionReader::ReadFieldRef(
    const DOMElement* element) {
  Expr reference = ReadFieldAttribute(element, "field");
  if (const XMLCh* mapMissing = BaseTranslator::GetAttribute(element, "mapMissingTo")) {
    SetMapMissingTo(reference.get(), Text(mapMissing));
  }
  return reference;
}

std::unique_ptr<DerivedExpression> DerivedExpressionReader::ReadConstant(
    const DOMElement* element) {
  const XMLCh* missing = BaseTranslator::GetAttribute(element, "missing");
  if (missing != nullptr && Text(missing) == "true") {
    return MakeConstant(DerivedValue::kMissing, 0, std::string());
  }
  std::string text = Text(element->getTextContent());
  const XMLCh* dataTypeAttr = BaseTranslator::GetAttribute(element, "dataType");
  double number = 0;
  if (dataTypeAttr == nullptr) {
    // Without a type the constant is a number when its text is one.
    if (NumericValue::ParseDouble(text, &number)) {
      return MakeConstant(DerivedValue::kNumber, number, std::move(text));
    }
    return MakeConstant(DerivedValue::kText, 0, std::move(text));
  }
  const std::string dataType = Text(dataTypeAttr);
  if (IsNumericDataType(dataType)) {
    number = BaseTranslator::VerifyDouble(text);
    return MakeConstant(DerivedValue::kNumber, number, std::move(text));
  }
  if (dataType == "boolean") {
    if (text == "true" || text == "1") {
      number = 1;
    } else if (text != "false" && text != "0") {
      throw VeltraException(ErrorCode::kInvalidValue,
                            "\"" + text + "\" is not a valid boolean" + Where());
    }
    return MakeConstant(DerivedValue::kBoolean, number, std::move(text));
  }
  return MakeConstant(DerivedValue::kText, 0, std::move(text));
}

std::unique_ptr<DerivedExpression> DerivedExpressionReader::ReadNormContinuous(
    const DOMElement* element) {
  Expr input = ReadFieldAttribute(element, "field");
  Outliers outliers = Outliers::kAsIs;
  if (const XMLCh* attr = BaseTranslator::GetAttribute(element, "outliers")) {
    const std::string text = Text(attr);
    if (text == "asMissingValues") {
      outliers = Outliers::kAsMissing;
    } else if (text == "asExtremeValues") {
      outliers = Outliers::kAsExtreme;
    } else if (text != "asIs") {
      throw VeltraException(ErrorCode::kMalformed,
                            "\"" + text + "\" is not a valid outliers treatment" + Where());
    }
  }
  const XMLCh* mapMissing = BaseTranslator::GetAttribute(element, "mapMissingTo");
  const double mapMissingValue =
      mapMissing != nullptr ? BaseTranslator::VerifyDouble(mapMissing) : 0.0;
  std::vector<std::pair<double, double>> points;
  for (const DOMElement* child = BaseTranslator::GetFirstChildElt(element); child != nullptr;
       child = BaseTranslator::GetNextSiblingElt(child)) {
    if (!IsElement(child, "LinearNorm")) continue;
    const double orig =
        BaseTranslator::VerifyDouble(BaseTranslator::GetAttributeForced(child, "orig"));
    const double norm =
        BaseTranslator::VerifyDouble(BaseTranslator::GetAttributeForced(child, "norm"));
    if (!points.empty() && !(orig > points.back().first)) {
      throw VeltraException(ErrorCode::kInvalidValue,
                            "<LinearNorm> orig values must increase" + Where());
    }
    points.emplace_back(orig, norm);
  }
  if (points.size() < 2) {
    throw VeltraException(ErrorCode::kMalformed,
                          "<NormContinuous> needs at least two <LinearNorm> elements" + Where());
  }
  return MakeNormContinuous(std::move(input), std::move(points), outliers, mapMissing != nullptr,
                            mapMissingValue);
}

std::unique_ptr<DerivedExpression> DerivedExpressionReader::ReadNormDiscrete(
    const DOMElement* element) {
  Expr input = ReadFieldAttribute(element, "field");
  Literal value;
  value.Set(Text(BaseTranslator::GetAttributeForced(element, "value")));
  const XMLCh* mapMissing = BaseTranslator::GetAttribute(element, "mapMissingTo");
  const double mapMissingValue =
      mapMissing != nullptr ? BaseTranslator::VerifyDouble(mapMissing) : 0.0;
  return MakeNormDiscrete(std::move(input), std::move(value), mapMissing != nullptr,
                          mapMissingValue);
}

std::unique_ptr<DerivedExpression> DerivedExpressionReader::ReadDiscretize(
    const DOMElement* element) {
  Expr input = ReadFieldAttribute(element, "field");
  Literal defaultValue = OptionalLiteral(translator_, element, "defaultValue");
  Literal mapMissing = OptionalLiteral(translator_, element, "mapMissingTo");
  std::vector<Bin> bins;
  for (const DOMElement* child = BaseTranslator::GetFirstChildElt(element); child != nullptr;
       child = BaseTranslator::GetNextSiblingElt(child)) {
    if (!IsElement(child, "DiscretizeBin")) continue;
    Bin bin;
    bin.value.Set(Text(BaseTranslator::GetAttributeForced(child, "binValue")));
    const DOMElement* interval = BaseTranslator::GetChildByTagForced(child, "Interval");
    const std::string closure = Text(BaseTranslator::GetAttributeForced(interval, "closure"));
    if (closure == "openOpen" || closure == "openClosed" || closure == "closedOpen" ||
        closure == "closedClosed") {
      bin.leftClosed = closure[0] == 'c';
      bin.rightClosed = closure.back() == 'd';
    } else {
      throw VeltraException(ErrorCode::kMalformed,
                            "\"" + closure + "\" is not a valid closure" + Where());
    }
    const XMLCh* left = BaseTranslator::GetAttribute(interval, "leftMargin");
    const XMLCh* right = BaseTranslator::GetAttribute(interval, "rightMargin");
    bin.left = left != nullptr ? BaseTranslator::VerifyDouble(left) : -NumericValue::GetInfinity();
    bin.right =
        right != nullptr ? BaseTranslator::VerifyDouble(right) : NumericValue::GetInfinity();
    bins.push_back(std::move(bin));
  }
  return MakeDiscretize(std::move(input), std::move(bins), std::move(defaultValue),
                        std::move(mapMissing));
}

std::unique_ptr<DerivedExpression> DerivedExpressionReader::ReadMapValues(
    const DOMElement* element) {
  const std::string outputColumn =
      Text(BaseTranslator::GetAttributeForced(element, "outputColumn"));
  Literal defaultValue = OptionalLiteral(translator_, element, "defaultValue");
  Literal mapMissing = OptionalLiteral(translator_, element, "mapMissingTo");
  std::vector<Expr> inputs;
  std::vector<std::string> columns;
  for (const DOMElement* child = BaseTranslator::GetFirstChildElt(element); child != nullptr;
       child = BaseTranslator::GetNextSiblingElt(child)) {
    if (!IsElement(child, "FieldColumnPair")) continue;
    inputs.push_back(ReadFieldAttribute(child, "field"));
    columns.push_back(Text(BaseTranslator::GetAttributeForced(child, "column")));
  }
  const DOMElement* table = BaseTranslator::GetChildByTag(element, "InlineTable");
  if (table == nullptr) {
    if (BaseTranslator::GetChildByTag(element, "TableLocator") != nullptr) {
      throw VeltraException(ErrorCode::kUnsupported,
                            "Unsupported <TableLocator> in <MapValues>" + Where());
    }
    table = BaseTranslator::GetChildByTagForced(element, "InlineTable");
  }
  // Cells are matched to columns by name without prefix, so that "data:x"
  // and "x" name the same column.
  std::vector<TableRow> rows;
  for (const DOMElement* row = BaseTranslator::GetFirstChildElt(table); row != nullptr;
       row = BaseTranslator::GetNextSiblingElt(row)) {
    if (!IsElement(row, "row")) continue;
    TableRow tableRow;
    tableRow.keys.resize(columns.size());
    for (const DOMElement* cell = BaseTranslator::GetFirstChildElt(row); cell != nullptr;
         cell = BaseTranslator::GetNextSiblingElt(cell)) {
      const std::string name = Text(cell->getTagName());
      const std::string_view local = LocalName(name);
      Literal* target = nullptr;
      if (local == LocalName(outputColumn)) target = &tableRow.output;
      for (size_t i = 0; target == nullptr && i < columns.size(); ++i) {
        if (local == LocalName(columns[i])) target = &tableRow.keys[i];
      }
      if (target != nullptr && !target->present) target->Set(Text(cell->getTextContent()));
    }
    rows.push_back(std::move(tableRow));
  }
  return MakeMapValues(std::move(inputs), std::move(rows), std::move(defaultValue),
                       std::move(mapMissing));
}

std::unique_ptr<DerivedExpression> DerivedExpressionReader::ReadApply(const DOMElement* element) {
  const std::string name = Text(BaseTranslator::GetAttributeForced(element, "function"));
  const FunctionInfo* info = FindFunction(name);
  if (info == nullptr) {
    throw VeltraException(ErrorCode::kUnsupported,
                          "Unsupported function \"" + name + "\"" + Where());
  }
  std::vector<const DOMElement*> argElements;
  for (const DOMElement* child = BaseTranslator::GetFirstChildElt(element); child != nullptr;
       child = BaseTranslator::GetNextSiblingElt(child)) {
    if (!IsElement(child, "Extension")) argElements.push_back(child);
  }
  const int count = static_cast<int>(argElements.size());
  if (count < info->minArgs || (info->maxArgs >= 0 && count > info->maxArgs)) {
    std::string expected = std::to_string(info->minArgs);
    if (info->maxArgs < 0) {
      expected += " or more";
    } else if (info->maxArgs != info->minArgs) {
      expected += " to " + std::to_string(info->maxArgs);
    }
    throw VeltraException(ErrorCode::kUnsupported, "Function \"" + name + "\" takes " + expected +
                                                       " argument(s) but has " +
                                                       std::to_string(count) + Where());
  }
  std::vector<Expr> args;
  args.reserve(argElements.size());
  for (const DOMElement* arg : argElements) args.push_back(ReadExpression(arg));
  Literal mapMissing = OptionalLiteral(translator_, element, "mapMissingTo");
  Literal defaultValue = OptionalLiteral(translator_, element, "defaultValue");
  return MakeApply(*info, std::move(args), std::move(mapMissing), std::move(defaultValue));
}
