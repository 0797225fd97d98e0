// The way one case takes through the model's trees, found by a walk of its
// own beside GetScore: the same routing decisions as scoring, written down
// step by step. Scoring itself never records anything.
#include "host/Codes.h"
#include "host/SplitText.h"
#include "scoring/DendrixPMMLModel.h"
#include "tree/TreeClsResult.h"

namespace {

std::string MissingReason(int advice, const std::string& name) {
  switch (advice) {
    case AdviceCode::kInvalidCategory:
      return name + " not a known category: missing-value child";
    case AdviceCode::kMissingValue:
      return name + " is a missing value: missing-value child";
    default:
      return name + " has no value: missing-value child";
  }
}

}  // namespace

void DendrixPMMLModel::TracePaths(const Call& call, DecisionPath& path) const {
  const size_t count = multipleTrees ? flatTrees.size() : 1;
  path.trees.resize(count);
  for (size_t t = 0; t < count; ++t) {
    const FlatTree& tree = flatTrees[t];
    std::vector<DecisionStep>& steps = path.trees[t];
    if (!tree.usable) continue;  // scoring gives no prediction
    if (ruleSetMode == NotRuleSet) {
      TraceTree(tree, call, steps);
    } else {
      TraceRuleSet(tree, call, steps);
    }
  }
}

void DendrixPMMLModel::AddStep(const FlatTree& tree, int n, std::string condition, double weight,
                               int depth, std::vector<DecisionStep>& steps) {
  steps.push_back(DecisionStep{*tree.nodes[n].nodeId, std::move(condition), weight, depth});
}

int DendrixPMMLModel::TraceSplits(const FlatTree& tree, int n, const Call& call, bool useDerived,
                                  std::string& condition, bool& stopped) const {
  const FlatNode& node = tree.nodes[n];
  for (int k = 0; k < node.splitCount; ++k) {
    const ScoreSplitVar* split = node.splits[k];
    const ScoreValue* value = LookUpValue(call, split->GetSplitVar(), useDerived);
    if (call.stopOnNull && value == nullptr) {
      stopped = true;
      return -1;
    }
    const int missing = call.advise ? MissingValueAdvice(split->GetSplitVar(), value) : 0;
    const int position = missing != 0 ? split->GetMissvalMap() : split->GetChildIndex(value);
    const int next = ChildNode(tree, node, position);
    if (next >= 0) {
      condition = missing != 0 ? MissingReason(missing, split->GetSplitName())
                               : DescribeBranch(*split, position);
      if (k > 0) condition = "surrogate " + condition;
      return next;
    }
    if (call.stopOnNull) {
      stopped = true;
      return -1;
    }
  }
  return -1;
}

void DendrixPMMLModel::TraceTree(const FlatTree& tree, const Call& call,
                                 std::vector<DecisionStep>& steps) const {
  const bool c5 = cFive && !regression && numCategories > 0;
  int n = 0;
  int depth = 0;
  AddStep(tree, n, std::string(), 1.0, depth, steps);
  while (tree.nodes[n].childCount > 0) {
    std::string condition;
    bool stopped = false;
    const int next = TraceSplits(tree, n, call, true, condition, stopped);
    if (stopped) return;
    if (next < 0 && c5) {
      TraceFractional(tree, n, call, 1.0, depth, steps);
      return;
    }
    if (next < 0 && tree.nodes[n].biggestChild < 0) break;
    n = next >= 0 ? next : tree.nodes[n].biggestChild;
    AddStep(tree, n, next >= 0 ? condition : "no condition applies: biggest child", 1.0, ++depth,
            steps);
  }
  // An empty node answers with its parent's statistics.
  const TreeClsResult* st = tree.nodes[n].clsStats;
  const int p = tree.parent[n];
  if (!regression && p != n && st->GetConfidence() == 0 && st->GetTotalRecord() == 0) {
    AddStep(tree, p, "empty node: its parent answers", 1.0, depth - 1, steps);
  }
}

bool DendrixPMMLModel::TraceFractional(const FlatTree& tree, int n, const Call& call, double weight,
                                       int depth, std::vector<DecisionStep>& steps) const {
  const FlatNode& node = tree.nodes[n];
  const double total = node.clsStats->GetTotalRecord();
  int present = 0;
  for (int i = 0; i < node.childCount; ++i) present += tree.children[node.childBegin + i] >= 0;
  for (int i = 0; i < node.childCount; ++i) {
    const int c = tree.children[node.childBegin + i];
    if (c < 0) continue;
    const double share =
        weight * (total > 0 ? tree.nodes[c].clsStats->GetTotalRecord() / total : 1.0 / present);
    int d = depth + 1;
    AddStep(tree, c, "no condition applies: share by records", share, d, steps);
    int m = c;
    while (tree.nodes[m].childCount > 0) {
      std::string condition;
      bool stopped = false;
      const int next = TraceSplits(tree, m, call, false, condition, stopped);
      if (stopped) return false;
      if (next < 0) break;
      m = next;
      AddStep(tree, m, std::move(condition), share, ++d, steps);
    }
    if (tree.nodes[m].childCount > 0 && !TraceFractional(tree, m, call, share, d, steps)) {
      return false;
    }
  }
  return true;
}

void DendrixPMMLModel::TraceRuleSet(const FlatTree& tree, const Call& call,
                                    std::vector<DecisionStep>& steps) const {
  const FlatNode& ruleSetRoot = tree.nodes.front();
  AddStep(tree, 0, std::string(), 1.0, 0, steps);
  for (int position = 0; position < ruleSetRoot.childCount; ++position) {
    const int r = tree.children[ruleSetRoot.childBegin + position];
    if (r < 0) continue;
    const FlatNode& rule = tree.nodes[r];
    if (!RuleHolds(rule, call)) continue;
    AddStep(tree, r, DescribeRule(rule.splits, rule.splitCount), 1.0, 1, steps);
    // The first rule that holds answers; under voting every rule that holds votes.
    if (ruleSetMode == FirstHit) return;
  }
}
