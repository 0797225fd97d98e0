#include "tree/TreeRegResult.h"

#include <utility>

TreeRegResult::TreeRegResult(const ScoreDictVar* target)
    : target(target),
      prediction(nullptr),
      stdDev(-1.0),
      biggestChild(-1),
      nodeID("-1"),
      count(-1.0) {}

// The copy shares the prediction value of its source.
TreeRegResult::TreeRegResult(const TreeRegResult& other)
    : ScoreRegResult(other),
      ScoreNodeStats(other),
      target(other.target),
      prediction(other.prediction),
      stdDev(other.stdDev),
      biggestChild(other.biggestChild),
      nodeID(other.nodeID),
      count(other.count),
      advice(other.advice) {}

TreeRegResult& TreeRegResult::operator=(const TreeRegResult& other) {
  if (this == &other) return *this;
  target = other.target;
  prediction = other.prediction;
  stdDev = other.stdDev;
  biggestChild = other.biggestChild;
  nodeID = other.nodeID;
  count = other.count;
  advice = other.advice;
  return *this;
}

TreeRegResult::~TreeRegResult() = default;

void TreeRegResult::SetPrediction(ScoreValue* value) { prediction = value; }
const ScoreValue* TreeRegResult::GetPrediction() const { return prediction; }
void TreeRegResult::AddAdvice(ResultAdvice note) { advice.push_back(std::move(note)); }
std::vector<ResultAdvice> TreeRegResult::GetAdvice() const { return advice; }
void TreeRegResult::RemoveAdvice() { advice.clear(); }
const ScoreDictVar* TreeRegResult::GetTarget() const { return target; }
// Regression trees carry no confidence.
void TreeRegResult::SetConfidence(double) {}
double TreeRegResult::GetConfidence() const { return -1.0; }
ScoreResult::ResultType TreeRegResult::GetScoreResultType() const { return kRegression; }
void TreeRegResult::SetStdDev(double value) { stdDev = value; }
double TreeRegResult::GetStdDev() const { return stdDev; }

bool TreeRegResult::operator==(const ScoreNodeStats& other) const {
  return nodeID == other.GetNodeID();
}

void TreeRegResult::SetBiggestChild(int index) { biggestChild = index; }
int TreeRegResult::GetBiggestChild() const { return biggestChild; }
void TreeRegResult::SetNodeID(std::string id) { nodeID = std::move(id); }
std::string TreeRegResult::GetNodeID() const { return nodeID; }
void TreeRegResult::SetChildIndexOnMaxConfidence(int) {}
int TreeRegResult::GetChildIndexOnMaxConfidence() const { return -1; }
void TreeRegResult::SetRuleSet(bool) {}
void TreeRegResult::SetCount(double value) { count = value; }
double TreeRegResult::GetCount() const { return count; }

TreeRegNodeStats::TreeRegNodeStats() : TreeRegResult(nullptr) {}

TreeRegNodeStats::~TreeRegNodeStats() {
  delete prediction;
  prediction = nullptr;
}
