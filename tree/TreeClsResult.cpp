#include "tree/TreeClsResult.h"

#include <utility>

TreeClsResult::TreeClsResult(const ScoreDictVar* target)
    : target(target),
      prediction(nullptr),
      biggestChild(-1),
      nodeID("-1"),
      totalRecord(-1.0),
      confidence(-1.0),
      childIndexOnMaxConfidence(-1),
      ruleSet(false) {}

// A plain result owns no value object; the vectors release themselves.
TreeClsResult::~TreeClsResult() = default;

void TreeClsResult::SetPrediction(ScoreValue* value) { prediction = value; }
const ScoreValue* TreeClsResult::GetPrediction() const { return prediction; }
void TreeClsResult::AddAdvice(ResultAdvice note) { advice.push_back(std::move(note)); }
std::vector<ResultAdvice> TreeClsResult::GetAdvice() const { return advice; }
void TreeClsResult::RemoveAdvice() { advice.clear(); }
const ScoreDictVar* TreeClsResult::GetTarget() const { return target; }
void TreeClsResult::SetConfidence(double value) { confidence = value; }
double TreeClsResult::GetConfidence() const { return confidence; }
ScoreResult::ResultType TreeClsResult::GetScoreResultType() const { return kClassification; }

bool TreeClsResult::AddValuePercent(ScoreValue* value, double percent) {
  valuePercents.emplace_back(value, percent);
  return true;
}

double TreeClsResult::GetPercent(const ScoreValue* value) const {
  if (value == nullptr) return -1.0;
  for (const auto& pair : valuePercents) {
    if (pair.first != nullptr && pair.first->Equals(value)) return pair.second;
  }
  return -1.0;
}

const std::vector<std::pair<ScoreValue*, double>>& TreeClsResult::GetAllValuePercent() const {
  return valuePercents;
}

bool TreeClsResult::operator==(const ScoreNodeStats& other) const {
  return nodeID == other.GetNodeID();
}

void TreeClsResult::SetBiggestChild(int index) { biggestChild = index; }
int TreeClsResult::GetBiggestChild() const { return biggestChild; }
void TreeClsResult::SetNodeID(std::string id) { nodeID = std::move(id); }
std::string TreeClsResult::GetNodeID() const { return nodeID; }
void TreeClsResult::SetChildIndexOnMaxConfidence(int index) { childIndexOnMaxConfidence = index; }
int TreeClsResult::GetChildIndexOnMaxConfidence() const { return childIndexOnMaxConfidence; }
void TreeClsResult::SetRuleSet(bool flag) { ruleSet = flag; }

void TreeClsResult::ComputeConfidence() {
  const double k = static_cast<double>(valuePercents.size());
  const double n = totalRecord;
  const double c = GetPercent(prediction) * n;
  if (!(c > 0)) {  // also catches NaN
    confidence = 0.0;
  } else if (ruleSet) {
    confidence = (c + 1) / (n + 2);
  } else {
    confidence = (c + 1) / (n + k);
  }
}

void TreeClsResult::ComputeAllConfidences() {
  if (target == nullptr) return;
  const ScoreValueLabelSet* labels = target->GetValueLabelSet();
  if (labels == nullptr) return;
  const std::vector<ScoreValueLabel*>& list = labels->GetLabels();
  const size_t k = list.size();
  // Same size as last time: no allocation.
  allConfidences.resize(k, 0.0);
  const double n = totalRecord;
  for (size_t i = 0; i < k; ++i) {
    const double c = GetPercent(list[i]->GetValue()) * n;
    if (!(c > 0)) {
      allConfidences[i] = 0.0;
    } else if (ruleSet) {
      allConfidences[i] = (c + 1) / (n + 2);
    } else {
      allConfidences[i] = (c + 1) / (static_cast<double>(k) + n);
    }
  }
}

const std::vector<double> TreeClsResult::GetAllConfidence() const { return allConfidences; }
void TreeClsResult::RemoveValuePercent() { valuePercents.clear(); }
void TreeClsResult::SetTotalRecord(double total) { totalRecord = total; }
double TreeClsResult::GetTotalRecord() const { return totalRecord; }

TreeClsNodeStats::TreeClsNodeStats() : TreeClsResult(nullptr) {}

TreeClsNodeStats::~TreeClsNodeStats() {
  if (!ownsValues) return;
  delete prediction;
  prediction = nullptr;
  for (auto& pair : valuePercents) {
    delete pair.first;
    pair.first = nullptr;
  }
  valuePercents.clear();
}

void TreeClsNodeStats::SetTarget(const ScoreDictVar* var) { target = var; }
