// Scores a single plain tree straight from number columns: a row whose walk
// takes fast nodes only (plain numbers, one-threshold splits, no advice) ends
// at a node whose answer is known in advance; any other row is left to
// GetScore.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <type_traits>

#include "host/BatchScore.h"
#include "scoring/DendrixPMMLModel.h"
#include "tree/TreeClsResult.h"
#include "tree/TreeRegResult.h"

namespace {

// Answer tables larger than this (nodes times categories) are not built.
constexpr size_t kMaxBatchEntries = size_t{1} << 26;
const std::string kNoNode = "-1";

}  // namespace

void DendrixPMMLModel::PrepareBatchAnswers() {
  batchReady = false;
  batchAnswered.clear();
  batchAdviseFast.clear();
  batchCategory.clear();
  batchConfidence.clear();
  batchValue.clear();
  batchNode.clear();
  batchProbabilities.clear();
  if (multipleTrees || ruleSetMode != NotRuleSet || cFive || costsInForce ||
      flatTrees.size() != 1 || !flatTrees.front().usable || target == nullptr) {
    return;
  }
  const FlatTree& tree = flatTrees.front();
  const size_t count = tree.nodes.size();
  const size_t k = categoryValues.size();
  if (count * (k + 1) > kMaxBatchEntries) return;
  batchNode.resize(count);
  for (size_t n = 0; n < count; ++n) batchNode[n] = static_cast<int>(n);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  if (regression) {
    batchValue.assign(count, nan);
    batchConfidence.assign(count, nan);
    for (size_t n = 0; n < count; ++n) {
      const TreeRegResult* st = tree.nodes[n].regStats;
      if (st->GetPrediction() != nullptr) batchValue[n] = st->GetPrediction()->ToDouble();
      // The tool writes no standard deviation for -1.
      if (st->GetStdDev() != -1.0) batchConfidence[n] = st->GetStdDev();
    }
    FinishBatchTables(tree);
    return;
  }
  if (k == 0) return;
  batchCategory.assign(count, -1);
  batchConfidence.assign(count, nan);
  batchProbabilities.assign(count * k, nan);
  for (size_t n = 0; n < count; ++n) {
    if (tree.nodes[n].childCount != 0) continue;
    // An empty node (no confidence, no records) answers with its parent.
    size_t reached = n;
    double c = tree.nodes[n].clsStats->GetConfidence();
    if (c == 0 && tree.nodes[n].clsStats->GetTotalRecord() == 0) {
      reached = static_cast<size_t>(tree.parent[n]);
      c = tree.nodes[reached].clsStats->GetConfidence();
    }
    const TreeClsResult* st = tree.nodes[reached].clsStats;
    batchCategory[n] = GetIndexOf(st->GetPrediction());
    batchConfidence[n] = c;
    batchNode[n] = static_cast<int>(reached);
    // Each share goes to the first category it equals that has none yet.
    double* probabilities = &batchProbabilities[n * k];
    for (const auto& entry : st->GetAllValuePercent()) {
      if (entry.first == nullptr) continue;
      for (size_t j = 0; j < k; ++j) {
        if (std::isnan(probabilities[j]) && entry.first->Equals(categoryValues[j])) {
          probabilities[j] = entry.second;
          break;
        }
      }
    }
  }
  FinishBatchTables(tree);
}

void DendrixPMMLModel::FinishBatchTables(const FlatTree& tree) {
  const size_t count = tree.nodes.size();
  batchAnswered.assign(count, 0);
  for (size_t n = 0; n < count; ++n) {
    if ((tree.fast[n].flags & kFastLeaf) == 0) continue;
    batchAnswered[n] = regression ? !std::isnan(batchValue[n]) : batchCategory[n] >= 0;
  }
  const FastNode stop{-std::numeric_limits<double>::infinity(), 0, kConstantSlot, kFastGeneral, 0};
  for (size_t n = 0; n < count; ++n) {
    const FastNode& f = tree.fast[n];
    if ((f.flags & (kFastLeaf | kFastGeneral | kFastAdviceSafe)) != 0) continue;
    if (batchAdviseFast.empty()) batchAdviseFast = tree.fast;
    batchAdviseFast[n] = stop;
  }
  batchReady = true;
}

namespace {

// Where a fast node's value comes from in a batch: its column, the step from
// row to row, and -1 for the negated value.
struct ValueColumn {
  const double* numbers;
  size_t stride;
  double sign;
};

}  // namespace

bool DendrixPMMLModel::ScoreColumns(const BatchColumns& columns, size_t begin, size_t end,
                                    BatchAnswers& answers, BatchTexts& texts,
                                    std::vector<size_t>& rest) const {
  if (!treesReady || !slotPositionsReady || !dictVarIndexReady || !batchReady) return false;
  const FlatTree& tree = flatTrees.front();
  // Per value index, its number column; values without a number column read
  // NaN, and the constant slot of leaves and stops reads 0.
  static const double kNone = std::numeric_limits<double>::quiet_NaN();
  static const double kZero = 0.0;
  std::vector<ValueColumn> values(2 * slotVars.size(), ValueColumn{&kNone, 0, 1.0});
  values[ValueIndex(kConstantSlot, false)] = values[ValueIndex(kConstantSlot, true)] =
      ValueColumn{&kZero, 0, 1.0};
  for (size_t s = kConstantSlot + 1; s < slotVars.size(); ++s) {
    const int position = slotPositions[s];
    if (position < 0 || static_cast<size_t>(position) >= columns.columns.size()) continue;
    const BatchColumns::Column& from = columns.columns[position];
    if (from.kind != BatchColumns::Kind::kNumber) continue;
    values[ValueIndex(s, false)] = ValueColumn{from.numbers, from.stride, 1.0};
    values[ValueIndex(s, true)] = ValueColumn{from.numbers, from.stride, -1.0};
  }
  // Rows first get the number of the node that answers; the nodes' names are
  // looked up afterwards, once each and in node order.
  std::vector<unsigned char> reachedNode(tree.nodes.size(), 0);
  const int32_t noAdvice = texts.Code(BatchTexts::kAdvice, "");
  // When advice is wanted, a split node that may give advice for a plain
  // number stops the walk.
  const bool advise = !predictionOnly;
  const FastNode* base =
      advise && !batchAdviseFast.empty() ? batchAdviseFast.data() : tree.fast.data();
  const size_t k = categoryValues.size();
  const size_t kWritten = std::min(k, answers.probabilities.size());
  const double nan = std::numeric_limits<double>::quiet_NaN();

  // A row ends at a leaf with an answer, read from the tables, or is left to
  // GetScore: it read a number that is not plain, or stopped elsewhere.
  auto finish = [&](size_t row, const FastNode* at, bool bad) {
    const auto n = static_cast<size_t>(at - base);
    if (bad || !batchAnswered[n]) {
      rest.push_back(row);
      if (answers.node) answers.node[row] = -1;
      return;
    }
    if (regression) {
      if (answers.value) answers.value[row] = batchValue[n];
      if (answers.stdDev) answers.stdDev[row] = batchConfidence[n];
    } else {
      if (answers.prediction) answers.prediction[row] = batchCategory[n];
      if (answers.confidence) answers.confidence[row] = batchConfidence[n];
      const double* probabilities = &batchProbabilities[n * k];
      for (size_t j = 0; j < kWritten; ++j) {
        if (answers.probabilities[j])
          answers.probabilities[j][row] = advise ? probabilities[j] : nan;
      }
    }
    const int reached = batchNode[n];
    reachedNode[reached] = 1;
    if (answers.node) answers.node[row] = reached;
    if (answers.advice) answers.advice[row] = noAdvice;
    if (answers.status) answers.status[row] = 0;
  };

  // Eight rows are walked together, one step of each in turn so that their
  // loads overlap, as many steps as the tree is deep and without a branch on
  // the data: leaves and stops lead back to themselves, and a number that is
  // not plain only marks its row.
  constexpr size_t kLanes = 8;
  const int steps = tree.depth;
  auto walk = [&](size_t first, auto lanes) {
    const FastNode* at[kLanes];
    bool bad[kLanes];
    for (size_t lane = 0; lane < lanes; ++lane) {
      at[lane] = base;
      bad[lane] = false;
    }
    for (int step = 0; step < steps; ++step) {
      for (size_t lane = 0; lane < lanes; ++lane) {
        const FastNode& f = *at[lane];
        const ValueColumn& from = values[f.value];
        const double x = from.numbers[(first + lane) * from.stride];
        bad[lane] |= !(x > -DBL_MAX && x <= DBL_MAX);
        at[lane] += FastStep(f, x * from.sign);
      }
    }
    for (size_t lane = 0; lane < lanes; ++lane) finish(first + lane, at[lane], bad[lane]);
  };
  size_t row = begin;
  for (; row + kLanes <= end; row += kLanes) walk(row, std::integral_constant<size_t, kLanes>());
  if (row < end) walk(row, end - row);

  if (answers.node) {
    std::vector<int32_t> nodeCode(tree.nodes.size(), -1);
    for (size_t n = 0; n < tree.nodes.size(); ++n) {
      if (!reachedNode[n]) continue;
      const std::string& id = *tree.nodes[n].nodeId;
      nodeCode[n] = texts.Code(BatchTexts::kNode, id.empty() ? kNoNode : id);
    }
    for (size_t r = begin; r < end; ++r) {
      if (answers.node[r] >= 0) answers.node[r] = nodeCode[answers.node[r]];
    }
  }
  return true;
}
