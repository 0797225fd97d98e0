// Out-of-line destructors of the host's interface classes (one home for their
// vtables), the exception type, and the base behaviour of optional model
// operations.
#include <utility>

#include "host/ScoreCaseRecord.h"
#include "host/ScoreDictionary.h"
#include "host/ScoreModel.h"
#include "host/ScoreResult.h"
#include "host/ScoreSplitVar.h"
#include "host/ScoreTranslator.h"
#include "host/ScoreValue.h"
#include "host/TreeNode.h"
#include "host/VeltraException.h"

VeltraException::VeltraException(int code, std::string message)
    : code_(code), message_(std::move(message)) {}
VeltraException::~VeltraException() = default;

ScoreValue::~ScoreValue() = default;
ScoreValueLabel::~ScoreValueLabel() = default;
ScoreValueLabelSet::~ScoreValueLabelSet() = default;
ScoreDictVar::~ScoreDictVar() = default;
ScoreDictionary::~ScoreDictionary() = default;
ScoreCaseRecord::~ScoreCaseRecord() = default;
ScoreSplitVar::~ScoreSplitVar() = default;
ScoreResult::~ScoreResult() = default;
ScoreClsResult::~ScoreClsResult() = default;
ScoreRegResult::~ScoreRegResult() = default;
ScoreNodeStats::~ScoreNodeStats() = default;
double ScoreNodeStats::GetRecordCount() const { return -1.0; }
TreeNode::~TreeNode() = default;
ScoreVersionInfo::~ScoreVersionInfo() = default;
ScoreTranslator::~ScoreTranslator() = default;

ScoreModel::~ScoreModel() = default;
void ScoreModel::SetNullHandling(bool) {}
bool ScoreModel::GetNullHandling() const { return false; }
int ScoreModel::GetTreeCount() const { return 0; }
const TreeNode* ScoreModel::GetTree(int) const { return nullptr; }
bool ScoreModel::ScoreColumns(const BatchColumns&, size_t, size_t, BatchAnswers&, BatchTexts&,
                              std::vector<size_t>&) const {
  return false;
}
bool ScoreModel::GetDecisionPath(const ScoreCaseRecord*, DecisionPath& path, bool) {
  path.Clear();
  return false;
}

std::vector<std::string> ScoreModel::GetExtraOutputNames() const { return {}; }

const ScoreValue* ScoreModel::GetExtraOutput(const ScoreResult*, int) const { return nullptr; }
