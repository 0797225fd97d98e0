#include "host/FieldDeclaration.h"

#include "host/Codes.h"
#include "host/VeltraException.h"

using xercesc::DOMElement;

namespace {

// Variable type of a PMML dataType: the numeric types give kNumeric, every
// other type (string, boolean, dates and times) kString, its values kept as text.
int TypeOfDataType(const std::string& dataType) {
  return dataType == "integer" || dataType == "float" || dataType == "double"
             ? ScoreDictVar::kNumeric
             : ScoreDictVar::kString;
}

}  // namespace

namespace dendrix_host {

std::unique_ptr<DictVar> ReadFieldDeclaration(const BaseTranslator& translator,
                                              const DOMElement* field, const std::string& name,
                                              const char* element, bool readIntervals) {
  const std::string in = std::string(" in ") + element + " " + name;
  const XMLCh* dataTypeAttr = BaseTranslator::GetAttribute(field, "dataType");
  const XMLCh* optypeAttr = BaseTranslator::GetAttribute(field, "optype");
  std::string dataType = dataTypeAttr ? translator.Transcode(dataTypeAttr) : std::string();
  std::string optype = optypeAttr ? translator.Transcode(optypeAttr) : std::string();
  if (!optypeAttr && !dataTypeAttr) {
    throw VeltraException(
        ErrorCode::kMalformed,
        std::string("Attribute \"dataType\" is required in element <") + element + ">");
  }
  if (!optypeAttr) {
    // No optype: text fields are categorical, numbers continuous.
    optype = TypeOfDataType(dataType) == ScoreDictVar::kNumeric ? "continuous" : "categorical";
  }
  if (!dataTypeAttr) {
    // No dataType: continuous fields hold numbers, the others text.
    dataType = optype == "continuous" ? "double" : "string";
  }
  int level;
  if (optype == "continuous") {
    level = ScoreDictVar::kContinuous;
  } else if (optype == "ordinal") {
    level = ScoreDictVar::kOrdinal;
  } else if (optype == "categorical") {
    level = ScoreDictVar::kNominal;
  } else {
    throw VeltraException(ErrorCode::kMalformed,
                          "\"" + optype + "\" is not a valid optype of " + element + " " + name);
  }

  auto var = std::make_unique<DictVar>(name, TypeOfDataType(dataType));
  var->SetMeasurementLevel(level);
  var->SetDataType(dataType);
  if (const XMLCh* displayName = BaseTranslator::GetAttribute(field, "displayName")) {
    var->SetLabel(translator.Transcode(displayName));
  }
  const bool numeric = var->GetVariableType() == ScoreDictVar::kNumeric;

  std::unique_ptr<ValueLabelSet> labels;
  std::unique_ptr<MissingValueSet> missing;
  for (DOMElement* child = BaseTranslator::GetFirstChildElt(field); child != nullptr;
       child = BaseTranslator::GetNextSiblingElt(child)) {
    if (BaseTranslator::IsEqual(child->getNodeName(), "Value")) {
      const std::string text =
          translator.Transcode(BaseTranslator::GetAttributeForced(child, "value"));
      const XMLCh* propertyAttr = BaseTranslator::GetAttribute(child, "property");
      const std::string property = propertyAttr ? translator.Transcode(propertyAttr) : "valid";
      double number = 0;
      const bool isNumber = numeric && NumericValue::ParseDouble(text, &number);
      if (property == "valid") {
        if (numeric && !isNumber) {
          throw VeltraException(ErrorCode::kInvalidValue,
                                "\"" + text + "\" is not a valid number" + in);
        }
        const XMLCh* display = BaseTranslator::GetAttribute(child, "displayValue");
        std::unique_ptr<ScoreValue> value(
            numeric ? static_cast<ScoreValue*>(new NumericValue(number)) : new StringValue(text));
        auto label =
            std::make_unique<ValueLbl>(value.get(), display ? translator.Transcode(display) : text);
        value.release();
        if (!labels) labels = std::make_unique<ValueLabelSet>();
        labels->AddLabel(label.release());
      } else if (property == "missing") {
        // A missing-value code that is not a number (such as "NA" on a
        // numeric field) is kept as text; it never equals a number.
        if (!missing) missing = std::make_unique<MissingValueSet>();
        missing->AddValue(isNumber ? static_cast<ScoreValue*>(new NumericValue(number))
                                   : new StringValue(text));
      } else if (property != "invalid") {
        throw VeltraException(ErrorCode::kMalformed,
                              "\"" + property + "\" is not a valid property of a Value" + in);
      }
    } else if (readIntervals && BaseTranslator::IsEqual(child->getNodeName(), "Interval")) {
      FieldInterval interval;
      const XMLCh* closure = BaseTranslator::GetAttribute(child, "closure");
      interval.closure = closure ? translator.Transcode(closure) : "closedClosed";
      const XMLCh* left = BaseTranslator::GetAttribute(child, "leftMargin");
      const XMLCh* right = BaseTranslator::GetAttribute(child, "rightMargin");
      interval.leftMargin =
          left ? BaseTranslator::VerifyDouble(left) : -NumericValue::GetInfinity();
      interval.rightMargin =
          right ? BaseTranslator::VerifyDouble(right) : NumericValue::GetInfinity();
      var->AddInterval(interval);
    }
  }
  if (labels) var->SetValueLabelSet(labels.release());
  if (missing) var->SetMissingValueSet(missing.release());
  return var;
}

}  // namespace dendrix_host
