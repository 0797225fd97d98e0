// Categorical splits from SimplePredicate elements: nominal values and runs of
// ordinal categories.

#include <algorithm>
#include <string>
#include <vector>

#include "host/Codes.h"
#include "host/ScoreSplitVar.h"
#include "host/ScoreValue.h"
#include "host/VeltraException.h"
#include "pmml/DendrixPMMLTranslator.h"

using xercesc::DOMElement;
using xercesc::DOMNode;

namespace {

bool IsSimplePredicateElement(const DOMNode* node) {
  return node->getNodeType() == DOMNode::ELEMENT_NODE &&
         BaseTranslator::IsEqual(node->getNodeName(), "SimplePredicate");
}

// Narrows [lowIndex, highIndex] by [low, high].
void MergeInterval(int low, int high, int& lowIndex, int& highIndex) {
  lowIndex = std::max(lowIndex, low);
  highIndex = std::min(highIndex, high);
}

}  // namespace

DiscreteSplit* DendrixPMMLTranslator::ListedDiscreteSplit(std::vector<ScoreSplitVar*>& splits,
                                                          const ScoreDictVar* var, int splitIndex) {
  if (isRuleSet || static_cast<int>(splits.size()) <= splitIndex) return nullptr;
  DiscreteSplit* split = dynamic_cast<DiscreteSplit*>(splits[splitIndex]);
  if (split == nullptr || split->GetSplitName() != var->GetName()) {
    throw VeltraException(ErrorCode::kUnsupported, "Multiple split variables not supported!");
  }
  return split;
}

void DendrixPMMLTranslator::SetNodeDiscreteSplit(std::vector<ScoreSplitVar*>& splits,
                                                 DOMNode* holder, const ScoreDictVar* var,
                                                 int /*childCount*/, int childIndex, int splitIndex,
                                                 const XMLCh* fieldName) {
  DiscreteSplit* split = ListedDiscreteSplit(splits, var, splitIndex);
  const bool listHasEntry = split != nullptr;
  if (!listHasEntry) split = new DiscreteSplit(var);

  try {
    const bool nominal = var->GetMeasurementLevel() == ScoreDictVar::kNominal;
    const bool numeric = var->GetVariableType() == ScoreDictVar::kNumeric;
    int lowIndex = 0;
    int highIndex = var->GetCategoryCount() - 1;
    bool rangeValid = true;
    // Narrows [lowIndex, highIndex] to the ordinal range predicate names;
    // false when the two did not overlap.
    auto mergeOrdinal = [&](DOMElement* predicate) {
      int low = 0;
      int high = 0;
      HandleOrdinalVariable(predicate, var, low, high);
      MergeInterval(low, high, lowIndex, highIndex);
      return low <= highIndex && high >= lowIndex;
    };

    for (DOMNode* child = holder->getFirstChild(); child != nullptr;
         child = child->getNextSibling()) {
      if (!IsSimplePredicateElement(child)) continue;
      if (!IsEqual(GetAttributeForced(child, "field"), fieldName)) continue;
      DOMElement* predicate = static_cast<DOMElement*>(child);
      const XMLCh* op = GetAttributeForced(child, "operator");
      const XMLCh* value = GetAttribute(child, "value");
      const bool isMissing = IsEqual(op, "isMissing");

      if (isMissing && value != nullptr) {
        throw VeltraException(ErrorCode::kMalformed,
                              "No value attribute allowed after \"isMissing\"");
      }
      if (isMissing) {
        split->SetMissvalMap(childIndex);
        continue;
      }
      if (value != nullptr && value[0] == 0) {
        if (!IsEqual(op, "equal")) {
          throw VeltraException(ErrorCode::kMalformed,
                                "Only equal operator is allowed for null string value");
        }
        if (numeric) {
          split->SetMissvalMap(childIndex);
          continue;
        }
        const ScoreValueLabelSet* labels = var->GetValueLabelSet();
        if (labels == nullptr)
          throw VeltraException(ErrorCode::kMissingList,
                                var->GetName() + "Value list is required!");
        // The empty text is a real category when some label has it; otherwise
        // it stands for the missing value.
        bool emptyIsCategory = false;
        for (const ScoreValueLabel* label : labels->GetLabels()) {
          const ScoreValue* labelValue = label->GetValue();
          if (labelValue != nullptr && IsEqual(value, labelValue->ToString())) {
            emptyIsCategory = true;
            break;
          }
        }
        if (!emptyIsCategory) {
          split->SetMissvalMap(childIndex);
        } else if (nominal) {
          SetDiscreteSplitValue(var, split, value, childIndex);
        } else if (!mergeOrdinal(predicate)) {
          rangeValid = false;
        }
        continue;
      }
      if (nominal) {
        // The operator is not examined: any comparison names its value.
        SetDiscreteSplitValue(var, split, value, childIndex);
      } else {
        mergeOrdinal(predicate);
      }
    }

    if (!rangeValid) throw VeltraException(ErrorCode::kUnsupported, "Invalid split value range!!!");

    if (!nominal) {
      const ScoreValueLabelSet* labels = var->GetValueLabelSet();
      if (labels == nullptr)
        throw VeltraException(ErrorCode::kMissingList, "Value list is required!!");
      const std::vector<ScoreValueLabel*>& list = labels->GetLabels();
      // The category count and the label list should agree; never read past
      // the list when they do not.
      const int last = std::min(highIndex, static_cast<int>(list.size()) - 1);
      for (int i = std::max(lowIndex, 0); i <= last; ++i) {
        const ScoreValue* labelValue = list[i]->GetValue();
        if (labelValue == nullptr) continue;
        ScoreValue* v = numeric ? static_cast<ScoreValue*>(new NumericValue(labelValue->ToDouble()))
                                : new StringValue(labelValue->ToString());
        split->PutSplit(v, childIndex);
      }
    }
    if (!listHasEntry) splits.push_back(split);
  } catch (...) {
    if (!listHasEntry) delete split;
    throw;
  }
}

void DendrixPMMLTranslator::SetDiscreteSplitValue(const ScoreDictVar* var, DiscreteSplit* split,
                                                  const XMLCh* value, int childIndex) {
  if (value == nullptr) {
    throw VeltraException(ErrorCode::kMalformed,
                          "value attribute is required for split variable " + var->GetName());
  }
  const std::string text = Transcode(value);
  ScoreValue* v = var->GetVariableType() == ScoreDictVar::kString
                      ? static_cast<ScoreValue*>(new StringValue(text))
                      : new NumericValue(text);
  if (var->GetValueLabelSet() == nullptr || !var->IsValidCategory(v)) {
    delete v;
    throw VeltraException(ErrorCode::kMalformed,
                          "Value list is required and split value should be in the list!" + text);
  }
  split->PutSplit(v, childIndex);
}

int DendrixPMMLTranslator::HandleOrdinalVariable(DOMElement* predicate, const ScoreDictVar* var,
                                                 int& low, int& high) {
  const std::string text = Transcode(GetAttributeForced(predicate, "value"));
  const XMLCh* op = GetAttributeForced(predicate, "operator");
  const int idx = GetIndexOfOrdinalValue(text, var);
  const int count = var->GetCategoryCount();
  // The value is checked before the operator.
  if (idx < 0)
    throw VeltraException(ErrorCode::kInvalidOperator,
                          "Invalid split value for variable: " + var->GetName());

  if (IsEqual(op, "greaterThan")) {
    low = idx + 1;
    high = count - 1;
  } else if (IsEqual(op, "greaterOrEqual")) {
    low = idx;
    high = count - 1;
  } else if (IsEqual(op, "lessThan")) {
    low = 0;
    high = idx - 1;
  } else if (IsEqual(op, "lessOrEqual")) {
    low = 0;
    high = idx;
  } else if (IsEqual(op, "equal")) {
    low = idx;
    high = idx;
    return 0;
  } else {
    throw VeltraException(ErrorCode::kInvalidOperator, "Invalid operator!!");
  }
  return 1;
}

int DendrixPMMLTranslator::GetIndexOfOrdinalValue(const std::string& text,
                                                  const ScoreDictVar* var) {
  const ScoreValueLabelSet* labels = var->GetValueLabelSet();
  if (labels == nullptr)
    throw VeltraException(ErrorCode::kMalformed, var->GetName() + ": Value list is required!!");
  const bool numeric = var->GetVariableType() == ScoreDictVar::kNumeric;
  // Numbers compare by value (2.0 names the category 2), texts exactly.
  const double number = numeric ? NumericValue(text).ToDouble() : 0.0;
  const std::vector<ScoreValueLabel*>& list = labels->GetLabels();
  for (std::size_t i = 0; i < list.size(); ++i) {
    const ScoreValue* labelValue = list[i]->GetValue();
    if (labelValue == nullptr) continue;
    if (numeric ? labelValue->ToDouble() == number : labelValue->ToString() == text) {
      return static_cast<int>(i);
    }
  }
  return -1;
}
