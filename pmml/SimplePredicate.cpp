// SimplePredicate elements: field lookup, choice of split kind, and the
// ranges of continuous splits.

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "host/Codes.h"
#include "host/ScoreSplitVar.h"
#include "host/ScoreValue.h"
#include "host/VeltraException.h"
#include "pmml/DendrixPMMLTranslator.h"
#include "scoring/DendrixPMMLModel.h"

using xercesc::DOMNode;

namespace {

bool IsSimplePredicateElement(const DOMNode* node) {
  return node->getNodeType() == DOMNode::ELEMENT_NODE &&
         BaseTranslator::IsEqual(node->getNodeName(), "SimplePredicate");
}

}  // namespace

void DendrixPMMLTranslator::HandlePredicate(DOMNode* holder, std::vector<ScoreSplitVar*>& splits,
                                            int childCount, int childIndex, const XMLCh* fieldName,
                                            int splitIndex) {
  const std::string name = Transcode(fieldName);
  const ScoreDictVar* var = dictionary != nullptr ? dictionary->GetVar(name) : nullptr;
  if (var == nullptr && transformationDictionary != nullptr) {
    var = transformationDictionary->GetVar(name);
    model->SetNeedDerivedPredictor(true);
  }
  if (var == nullptr)
    throw VeltraException(ErrorCode::kUnknownVariable, name + ": Invalid Split Variable!");

  const int level = var->GetMeasurementLevel();
  const int type = var->GetVariableType();
  bool discrete = false;
  if (level == ScoreDictVar::kNominal) {
    discrete = true;
  } else if (level == ScoreDictVar::kOrdinal) {
    // Numeric ordinal fields of the vendor's older documents are read as
    // continuous; everywhere else ordinal fields split by category runs.
    if (type == ScoreDictVar::kString) {
      discrete = true;
    } else if (type == ScoreDictVar::kNumeric) {
      discrete = !isLegacyVendorPMML;
    }
  }

  if (discrete) {
    if (var->GetValueLabelSet() == nullptr) {
      throw VeltraException(ErrorCode::kMissingList, name + ": category value list is required!!");
    }
    SetNodeDiscreteSplit(splits, holder, var, childCount, childIndex, splitIndex, fieldName);
  } else {
    SetNodeScaleSplit(splits, holder, var, childCount, childIndex, splitIndex, fieldName);
  }
}

namespace {

// A range holding its bounds as values; nothing leaks when an allocation fails.
Range* NewRange(double low, double high, bool lowClosed, bool highClosed) {
  std::unique_ptr<ScoreValue> lowValue(new NumericValue(low));
  std::unique_ptr<ScoreValue> highValue(new NumericValue(high));
  Range* range = new Range(lowValue.get(), highValue.get(), lowClosed, highClosed);
  lowValue.release();
  highValue.release();
  return range;
}

}  // namespace

void DendrixPMMLTranslator::SetNodeScaleSplit(std::vector<ScoreSplitVar*>& splits, DOMNode* holder,
                                              const ScoreDictVar* var, int /*childCount*/,
                                              int childIndex, int splitIndex,
                                              const XMLCh* fieldName) {
  const bool listHasEntry = !isRuleSet && static_cast<int>(splits.size()) > splitIndex;
  ScaleSplit* split = nullptr;
  if (listHasEntry) {
    split = dynamic_cast<ScaleSplit*>(splits[splitIndex]);
    if (split == nullptr || split->GetSplitName() != Transcode(fieldName)) {
      throw VeltraException(ErrorCode::kUnsupported, "Multiple split variables not supported!");
    }
  } else {
    split = new ScaleSplit(var);
  }

  // A split made here belongs to nobody until it is stored, so a failure
  // before that deletes it.
  try {
    const double infinity = NumericValue::GetInfinity();
    double low = -infinity;
    double high = infinity;
    bool lowClosed = false;
    bool highClosed = false;
    int simpleCount = 0;
    bool anyRange = true;  // false once "isNotMissing" has put the whole line

    for (DOMNode* child = holder->getFirstChild(); child != nullptr;
         child = child->getNextSibling()) {
      if (!IsSimplePredicateElement(child)) continue;
      ++simpleCount;
      const XMLCh* field = GetAttributeForced(child, "field");
      if (!IsEqual(field, fieldName)) continue;
      const XMLCh* op = GetAttributeForced(child, "operator");
      const XMLCh* value = GetAttribute(child, "value");

      const bool isMissing = IsEqual(op, "isMissing");
      const bool isNotMissing = IsEqual(op, "isNotMissing");
      if (value != nullptr && (isMissing || isNotMissing)) {
        throw VeltraException(ErrorCode::kMalformed,
                              "No value allowed after \"isMissing\" or\"isNotMissing\"");
      }
      if (isMissing) {
        split->SetMissvalMap(childIndex);
        continue;
      }
      if (value != nullptr && value[0] == 0) {
        // An empty value with "equal" stands for the missing value.
        if (!IsEqual(op, "equal"))
          throw VeltraException(ErrorCode::kMalformed, "Only \"Equal\" allowed here!!!");
        split->SetMissvalMap(childIndex);
        continue;
      }
      if (value == nullptr && isNotMissing) {
        split->PutSplit(NewRange(low, high, false, false), childIndex);
        anyRange = false;
        break;
      }
      double newLow = 0.0;
      double newHigh = 0.0;
      bool closed = false;
      GetScaleSplitValue(value, op, newLow, newHigh, closed);
      // Strict comparisons: on a tie the earlier bound and its closedness stay.
      if (newLow > low) {
        low = newLow;
        lowClosed = closed;
      }
      if (newHigh < high) {
        high = newHigh;
        highClosed = closed;
      }
    }

    if (anyRange) {
      if (low > high) {
        throw VeltraException(ErrorCode::kUnsupported,
                              var->GetName() + ": Invalid split value range!!!");
      }
      // A lone predicate that set no bound ("isMissing", or "equal" with an
      // empty value) adds only the missing-value mapping.
      const bool unbounded = low == -infinity && high == infinity;
      if (!(unbounded && simpleCount == 1)) {
        split->PutSplit(NewRange(low, high, lowClosed, highClosed), childIndex);
      }
    }
    if (!listHasEntry) splits.push_back(split);
  } catch (...) {
    if (!listHasEntry) delete split;
    throw;
  }
}

void DendrixPMMLTranslator::GetScaleSplitValue(const XMLCh* value, const XMLCh* op, double& low,
                                               double& high, bool& closed) {
  // The number is checked before the operator.
  const double v = VerifyDouble(value);
  const double infinity = NumericValue::GetInfinity();
  low = -infinity;
  high = infinity;
  if (IsEqual(op, "greaterThan")) {
    low = v;
    closed = false;
  } else if (IsEqual(op, "greaterOrEqual")) {
    low = v;
    closed = true;
  } else if (IsEqual(op, "lessThan")) {
    high = v;
    closed = false;
  } else if (IsEqual(op, "lessOrEqual")) {
    high = v;
    closed = true;
  } else if (IsEqual(op, "equal")) {
    low = v;
    high = v;
    closed = true;
  } else {
    throw VeltraException(ErrorCode::kUnsupported, Transcode(op) + ": Not supported!");
  }
}
