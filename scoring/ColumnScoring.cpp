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
  std::vector<const double*> slotColumn(slotVars.size(), nullptr);
  std::vector<size_t> slotStride(slotVars.size(), 0);
  for (size_t s = 0; s < slotVars.size(); ++s) {
    const int position = slotPositions[s];
    if (position < 0 || static_cast<size_t>(position) >= columns.columns.size()) continue;
    const BatchColumns::Column& column = columns.columns[position];
    if (column.kind == BatchColumns::Kind::kNumber) {
      slotColumn[s] = column.numbers;
      slotStride[s] = column.stride;
    }
  }
  std::vector<int32_t> nodeCode(tree.nodes.size(), -1);
  const int32_t noAdvice = texts.Code(BatchTexts::kAdvice, "");
  const bool advise = !predictionOnly;
  // A split node that may give advice for a plain number refuses the row
  // when advice is wanted.
  const unsigned char judged = kFastLeaf | kFastGeneral | kFastAdviceSafe;
  const unsigned char adviseBit = advise ? 1 : 0;
  const size_t k = categoryValues.size();
  const double nan = std::numeric_limits<double>::quiet_NaN();

  // Rows go a group at a time: every walk takes as many steps as the tree is
  // deep (or until all have ended), one step of each row in turn, so that
  // their loads overlap. Leaves and general nodes lead back to themselves
  // through slot 0, which reads 0. Slots without a number column read NaN. A walk that read a
  // number that is not plain (or no number: NaN) or passed a node that must give advice is left to
  // GetScore.
  constexpr size_t kLanes = 8;
  static const double kZero = 0.0;
  static const double kNone = std::numeric_limits<double>::quiet_NaN();
  // Per slot: the group's first row, and the step to the next (0: a constant).
  std::vector<const double*> at(slotVars.size(), &kNone);
  std::vector<size_t> step(slotVars.size(), 0);
  at[kConstantSlot] = &kZero;
  const FastNode* base = tree.fast.data();
  for (size_t start = begin; start < end; start += kLanes) {
    const size_t lanes = std::min(kLanes, end - start);
    for (size_t s = kConstantSlot + 1; s < slotVars.size(); ++s) {
      if (slotColumn[s] == nullptr) continue;
      at[s] = slotColumn[s] + start * slotStride[s];
      step[s] = slotStride[s];
    }
    const FastNode* node[kLanes];
    unsigned char refused[kLanes];
    for (size_t lane = 0; lane < lanes; ++lane) {
      node[lane] = base;
      refused[lane] = 0;
    }
    for (int level = 0; level < tree.depth; ++level) {
      for (size_t lane = 0; lane < lanes; ++lane) {
        const FastNode& f = *node[lane];
        const size_t slot = SlotOfValue(f.value);
        const double x = at[slot][lane * step[slot]];
        const bool plain = x > -DBL_MAX && x <= DBL_MAX;
        refused[lane] |=
            static_cast<unsigned char>((plain ? 0 : 1) | (adviseBit & ((f.flags & judged) == 0)));
        node[lane] += FastStep(f, OrientValue(f.value, x));
      }
      // Most walks end well above the deepest leaf: stop once all have ended.
      if ((level & 3) == 3) {
        bool ended = true;
        for (size_t lane = 0; lane < lanes; ++lane) {
          ended &= (node[lane]->flags & (kFastLeaf | kFastGeneral)) != 0;
        }
        if (ended) break;
      }
    }
    for (size_t lane = 0; lane < lanes; ++lane) {
      const size_t row = start + lane;
      const int n = static_cast<int>(node[lane] - base);
      bool fast = refused[lane] == 0 && (node[lane]->flags & kFastLeaf) != 0;
      if (fast && regression) {
        fast = !std::isnan(batchValue[n]);
      } else if (fast) {
        fast = batchCategory[n] >= 0;
      }
      if (!fast) {
        rest.push_back(row);
        continue;
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
      if (nodeCode[reached] < 0) {
        const std::string& id = *tree.nodes[reached].nodeId;
        nodeCode[reached] = texts.Code(BatchTexts::kNode, id.empty() ? kNoNode : id);
      }
      if (answers.node) answers.node[row] = nodeCode[reached];
      if (answers.advice) answers.advice[row] = noAdvice;
      if (answers.status) answers.status[row] = 0;
    }
  }
  return true;
}
