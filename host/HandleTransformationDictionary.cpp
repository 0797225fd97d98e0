// PMMLTranslator::HandleTransformationDictionary: DerivedField elements into
// derived variables and their compiled expressions.

#include <memory>
#include <string>

#include "host/BaseDictionary.h"
#include "host/DerivedField.h"
#include "host/ScoreTranslator.h"
#include "host/TransformationDictionary.h"
#include "host/VeltraException.h"

using xercesc::DOMElement;

namespace {

int VariableTypeOf(const std::string& dataType) {
  return dataType == "integer" || dataType == "float" || dataType == "double"
             ? ScoreDictVar::kNumeric
             : ScoreDictVar::kString;
}

}  // namespace

TransformationDictionary* PMMLTranslator::HandleTransformationDictionary(
    DOMElement* element, const ScoreDictionary* dictionary) {
  auto derived = std::make_unique<TransformationDictionary>();
  DerivedExpressionReader reader(*this, dictionary, derived.get());
  for (DOMElement* field = element != nullptr ? GetFirstChildElt(element) : nullptr;
       field != nullptr; field = GetNextSiblingElt(field)) {
    if (!IsEqual(field->getNodeName(), "DerivedField")) continue;
    const std::string name = Transcode(GetAttributeForced(field, "name"));
    if (derived->GetVar(name) != nullptr) {
      throw VeltraException(1, "Duplicate DerivedField name: " + name);
    }
    if (dictionary != nullptr && dictionary->GetVar(name) != nullptr) {
      throw VeltraException(1, "DerivedField name is already a DataField: " + name);
    }

    // Type and measurement level as for a DataField.
    const XMLCh* dataTypeAttr = GetAttribute(field, "dataType");
    const XMLCh* optypeAttr = GetAttribute(field, "optype");
    if (dataTypeAttr == nullptr && optypeAttr == nullptr) {
      throw VeltraException(1, "Attribute \"dataType\" is required in element <DerivedField>");
    }
    std::string dataType = dataTypeAttr ? Transcode(dataTypeAttr) : std::string();
    std::string optype = optypeAttr ? Transcode(optypeAttr) : std::string();
    if (optypeAttr == nullptr) {
      optype = VariableTypeOf(dataType) == ScoreDictVar::kNumeric ? "continuous" : "categorical";
    }
    if (dataTypeAttr == nullptr) dataType = optype == "continuous" ? "double" : "string";
    int level;
    if (optype == "continuous") {
      level = ScoreDictVar::kContinuous;
    } else if (optype == "ordinal") {
      level = ScoreDictVar::kOrdinal;
    } else if (optype == "categorical") {
      level = ScoreDictVar::kNominal;
    } else {
      throw VeltraException(1, "\"" + optype + "\" is not a valid optype of DerivedField " + name);
    }
    auto var = std::make_unique<DictVar>(name, VariableTypeOf(dataType));
    var->SetMeasurementLevel(level);
    var->SetDataType(dataType);
    if (const XMLCh* displayName = GetAttribute(field, "displayName")) {
      var->SetLabel(Transcode(displayName));
    }

    // Value children: categories and declared missing values.
    const bool numeric = var->GetVariableType() == ScoreDictVar::kNumeric;
    std::unique_ptr<ValueLabelSet> labels;
    std::unique_ptr<MissingValueSet> missing;
    for (DOMElement* child = GetFirstChildElt(field); child != nullptr;
         child = GetNextSiblingElt(child)) {
      if (!IsEqual(child->getNodeName(), "Value")) continue;
      const std::string text = Transcode(GetAttributeForced(child, "value"));
      const XMLCh* propertyAttr = GetAttribute(child, "property");
      const std::string property = propertyAttr ? Transcode(propertyAttr) : "valid";
      double number = 0;
      const bool isNumber = numeric && NumericValue::ParseDouble(text, &number);
      if (property == "valid") {
        if (numeric && !isNumber) {
          throw VeltraException(3,
                                "\"" + text + "\" is not a valid number in DerivedField " + name);
        }
        const XMLCh* display = GetAttribute(child, "displayValue");
        std::unique_ptr<ScoreValue> value(
            numeric ? static_cast<ScoreValue*>(new NumericValue(number)) : new StringValue(text));
        auto label = std::make_unique<ValueLbl>(value.get(), display ? Transcode(display) : text);
        value.release();
        if (!labels) labels = std::make_unique<ValueLabelSet>();
        labels->AddLabel(label.release());
      } else if (property == "missing") {
        if (!missing) missing = std::make_unique<MissingValueSet>();
        missing->AddValue(isNumber ? static_cast<ScoreValue*>(new NumericValue(number))
                                   : new StringValue(text));
      } else if (property != "invalid") {
        throw VeltraException(
            1, "\"" + property + "\" is not a valid property of a Value in DerivedField " + name);
      }
    }
    if (labels) var->SetValueLabelSet(labels.release());
    if (missing) var->SetMissingValueSet(missing.release());

    std::unique_ptr<DerivedExpression> expression = reader.ReadDerivedField(field, name);
    const int slot = derived->GetNumberOfVars();
    if (!derived->AddDerivedField(var.get(), expression.get())) {
      throw VeltraException(1, "Duplicate DerivedField name: " + name);
    }
    var.release();
    expression.release();
    reader.AddDerivedName(name, slot);
  }
  derived->SetUpDerivedCaseRecord();
  return derived.release();
}
