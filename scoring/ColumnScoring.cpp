// Scores a single plain tree straight from number columns: a row whose walk
// takes fast nodes only (plain numbers, one-threshold splits, no advice) ends
// at a node whose answer is known in advance; any other row is left to
// GetScore.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>

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
    batchReady = true;
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
  batchReady = true;
}

bool DendrixPMMLModel::ScoreColumns(const BatchColumns& columns, size_t begin, size_t end,
                                    BatchAnswers& answers, BatchTexts& texts,
                                    std::vector<size_t>& rest) const {
  if (!treesReady || !slotPositionsReady || !dictVarIndexReady || !batchReady) return false;
  const FlatTree& tree = flatTrees.front();
  // Per slot, its number column and the step from row to row; slots without
  // a number column read NaN.
  static const double kNone = std::numeric_limits<double>::quiet_NaN();
  std::vector<const double*> column(slotVars.size(), &kNone);
  std::vector<size_t> stride(slotVars.size(), 0);
  for (size_t s = kConstantSlot + 1; s < slotVars.size(); ++s) {
    const int position = slotPositions[s];
    if (position < 0 || static_cast<size_t>(position) >= columns.columns.size()) continue;
    const BatchColumns::Column& from = columns.columns[position];
    if (from.kind != BatchColumns::Kind::kNumber) continue;
    column[s] = from.numbers;
    stride[s] = from.stride;
  }
  // Rows first get the number of the node that answers; the nodes' names are
  // looked up afterwards, once each and in node order.
  std::vector<unsigned char> reachedNode(tree.nodes.size(), 0);
  const int32_t noAdvice = texts.Code(BatchTexts::kAdvice, "");
  const bool advise = !predictionOnly;
  // A split node that may give advice for a plain number refuses the row
  // when advice is wanted.
  const unsigned char judged = kFastLeaf | kFastGeneral | kFastAdviceSafe;
  const unsigned char adviseBit = advise ? 1 : 0;
  const size_t k = categoryValues.size();
  const double nan = std::numeric_limits<double>::quiet_NaN();

  // Eight walks go at once, one step of each in turn, so that their loads
  // overlap; a lane whose walk has ended takes the next row. A walk ends at a
  // leaf, at a general node, or once it read a number that is not plain (or
  // no number) or passed a node that must give advice; all but a leaf reached
  // cleanly are left to GetScore.
  constexpr size_t kLanes = 8;
  const FastNode* base = tree.fast.data();
  auto finish = [&](size_t row, const FastNode* at, bool refusedWalk) {
    const int n = static_cast<int>(at - base);
    bool fast = !refusedWalk && (at->flags & kFastLeaf) != 0;
    if (fast && regression) {
      fast = !std::isnan(batchValue[n]);
    } else if (fast) {
      fast = batchCategory[n] >= 0;
    }
    if (!fast) {
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
      const double* probabilities = &batchProbabilities[static_cast<size_t>(n) * k];
      for (size_t j = 0; j < k && j < answers.probabilities.size(); ++j) {
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

  const FastNode* node[kLanes];
  size_t rowOf[kLanes];
  unsigned char refused[kLanes];
  size_t next = begin;
  size_t active = 0;
  for (; active < kLanes && next < end; ++active, ++next) {
    rowOf[active] = next;
    node[active] = base;
    refused[active] = 0;
  }
  while (active > 0) {
    for (size_t lane = 0; lane < active;) {
      const FastNode& f = *node[lane];
      if ((f.flags & (kFastLeaf | kFastGeneral)) != 0 || refused[lane] != 0) {
        finish(rowOf[lane], node[lane], refused[lane] != 0);
        if (next < end) {
          rowOf[lane] = next++;
          node[lane] = base;
          refused[lane] = 0;
          ++lane;
        } else {
          // The last lane takes this one's place.
          --active;
          rowOf[lane] = rowOf[active];
          node[lane] = node[active];
          refused[lane] = refused[active];
        }
        continue;
      }
      const size_t slot = SlotOfValue(f.value);
      const double x = column[slot][rowOf[lane] * stride[slot]];
      const bool plain = x > -DBL_MAX && x <= DBL_MAX;
      refused[lane] =
          static_cast<unsigned char>((plain ? 0 : 1) | (adviseBit & ((f.flags & judged) == 0)));
      node[lane] += FastStep(f, OrientValue(f.value, x));
      ++lane;
    }
  }
  if (answers.node) {
    std::vector<int32_t> nodeCode(tree.nodes.size(), -1);
    for (size_t n = 0; n < tree.nodes.size(); ++n) {
      if (!reachedNode[n]) continue;
      const std::string& id = *tree.nodes[n].nodeId;
      nodeCode[n] = texts.Code(BatchTexts::kNode, id.empty() ? kNoNode : id);
    }
    for (size_t row = begin; row < end; ++row) {
      if (answers.node[row] >= 0) answers.node[row] = nodeCode[answers.node[row]];
    }
  }
  return true;
}
