// Scores a single plain tree straight from number columns: a row whose walk
// takes fast nodes only (plain numbers, one-threshold splits, no advice) ends
// at a node whose answer is known in advance; any other row is left to
// GetScore.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
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
  // Entry count answers for the rows left to GetScore, which overwrites it.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  batchNode.push_back(static_cast<int>(count));
  batchConfidence.push_back(nan);
  if (regression) {
    batchValue.push_back(nan);
  } else {
    batchCategory.push_back(-1);
    batchProbabilities.resize(batchProbabilities.size() + categoryValues.size(), nan);
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

// A compiled node with its value's column resolved for one batch: the walk
// goes other nodes on when threshold < sign * numbers[row * stride], else
// 1; leaves and stops read a constant and go 0.
struct BatchNode {
  double threshold;
  double sign;
  const double* numbers;
  int32_t stride;
  int32_t other;
};

}  // namespace

bool DendrixPMMLModel::ScoreColumns(const BatchColumns& columns, size_t begin, size_t end,
                                    BatchAnswers& answers, BatchTexts& texts,
                                    std::vector<size_t>& rest) const {
  if (!treesReady || !slotPositionsReady || !dictVarIndexReady || !batchReady) return false;
  const FlatTree& tree = flatTrees.front();
  // A few rows on a big tree are scored row by row sooner than the tree's
  // nodes are resolved for them.
  if ((end - begin) * 64 < tree.nodes.size()) return false;
  // Per value index, its number column; values without a number column read
  // NaN, and the constant slot of leaves and stops reads 0.
  static const double kNone = std::numeric_limits<double>::quiet_NaN();
  static const double kZero = 0.0;
  const double* table = nullptr;
  const double* tableEnd = nullptr;
  size_t tableStride = 0;
  std::vector<ValueColumn> values(2 * slotVars.size(), ValueColumn{&kNone, 0, 1.0});
  values[ValueIndex(kConstantSlot, false)] = values[ValueIndex(kConstantSlot, true)] =
      ValueColumn{&kZero, 0, 1.0};
  for (size_t s = kConstantSlot + 1; s < slotVars.size(); ++s) {
    const int position = slotPositions[s];
    if (position < 0 || static_cast<size_t>(position) >= columns.columns.size()) continue;
    const BatchColumns::Column& from = columns.columns[position];
    if (from.kind != BatchColumns::Kind::kNumber) continue;
    if (from.stride > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return false;
    values[ValueIndex(s, false)] = ValueColumn{from.numbers, from.stride, 1.0};
    values[ValueIndex(s, true)] = ValueColumn{from.numbers, from.stride, -1.0};
    // Columns of one row-major table: row i is table[i * stride, (i + 1) * stride).
    if (table == nullptr || from.numbers < table) table = from.numbers;
    tableStride = tableStride == 0 || tableStride == from.stride ? from.stride : 1;
    tableEnd = std::max(tableEnd, from.numbers + 1);
  }
  // The rows of a row-major table are fetched ahead of their walks, which
  // read them in no order the processor foresees.
  if (table == nullptr || tableStride < 2 || tableEnd > table + tableStride) tableStride = 0;
  const int32_t noAdvice = texts.Code(BatchTexts::kAdvice, "");
  // When advice is wanted, a split node that may give advice for a plain
  // number stops the walk.
  const bool advise = !predictionOnly;
  const std::vector<FastNode>& fast =
      advise && !batchAdviseFast.empty() ? batchAdviseFast : tree.fast;
  std::vector<BatchNode> nodes(fast.size());
  for (size_t n = 0; n < fast.size(); ++n) {
    const FastNode& f = fast[n];
    const ValueColumn& from = values[f.value];
    nodes[n] = BatchNode{f.threshold, from.sign, from.numbers, static_cast<int32_t>(from.stride),
                         f.otherStep};
  }
  const BatchNode* base = nodes.data();
  const size_t count = nodes.size();

  // Per row, the node whose answer it takes: a leaf with an answer reached
  // cleanly, else count (no answer), and the row is left to GetScore.
  std::vector<int32_t> leaf(end - begin);
  auto finish = [&](size_t row, const BatchNode* at, bool bad) {
    const auto n = static_cast<size_t>(at - base);
    const bool clean = !bad && batchAnswered[n];
    leaf[row - begin] = static_cast<int32_t>(clean ? n : count);
    if (!clean) rest.push_back(row);
  };

  // Eight rows are walked together, one step of each in turn so that their
  // loads overlap, as many steps as the tree is deep and without a branch on
  // the data: leaves and stops lead back to themselves, and a number that is
  // not plain only marks its row.
  constexpr size_t kLanes = 8;
  const int steps = tree.depth;
  // A number is plain when x - x is 0 (not NaN: no infinity, no NaN) and
  // it is above -DBL_MAX (the system-missing value): per row, the sum of
  // x - x and the least number read tell.
  auto walk = [&](size_t first, auto lanes) {
    const BatchNode* at[kLanes];
    double spread[kLanes];
    double least[kLanes];
    for (size_t lane = 0; lane < lanes; ++lane) {
      at[lane] = base;
      spread[lane] = 0.0;
      least[lane] = DBL_MAX;
    }
    for (int step = 0; step < steps; ++step) {
      for (size_t lane = 0; lane < lanes; ++lane) {
        const BatchNode& f = *at[lane];
        const double x = f.numbers[static_cast<ptrdiff_t>(first + lane) * f.stride];
        spread[lane] += x - x;
        least[lane] = least[lane] < x ? least[lane] : x;
        const int up = f.threshold < x * f.sign ? 1 : 0;
        at[lane] += 1 + ((f.other - 1) & -up);
      }
    }
    for (size_t lane = 0; lane < lanes; ++lane) {
      finish(first + lane, at[lane], !(spread[lane] == 0.0 && least[lane] > -DBL_MAX));
    }
  };
  constexpr size_t kAhead = 4 * kLanes;
  const size_t rowBytes = tableStride * sizeof(double);
  size_t row = begin;
  for (; row + kLanes <= end; row += kLanes) {
    if (rowBytes != 0 && row + kAhead + kLanes <= end) {
      const char* from = reinterpret_cast<const char*>(table + (row + kAhead) * tableStride);
      for (size_t b = 0; b < kLanes * rowBytes; b += 64) __builtin_prefetch(from + b);
    }
    walk(row, std::integral_constant<size_t, kLanes>());
  }
  if (row < end) walk(row, end - row);

  // The answers, a column at a time from the tables. The nodes' names are
  // looked up once each, in node order.
  const size_t rows = end - begin;
  if (answers.node) {
    std::vector<unsigned char> reached(count + 1, 0);
    for (size_t r = 0; r < rows; ++r) reached[batchNode[leaf[r]]] = 1;
    std::vector<int32_t> nodeCode(count + 1, -1);
    for (size_t n = 0; n < count; ++n) {
      if (!reached[n]) continue;
      const std::string& id = *tree.nodes[n].nodeId;
      nodeCode[n] = texts.Code(BatchTexts::kNode, id.empty() ? kNoNode : id);
    }
    int32_t* out = answers.node + begin;
    for (size_t r = 0; r < rows; ++r) out[r] = nodeCode[batchNode[leaf[r]]];
  }
  auto fill = [&](auto* out, const auto* answer, size_t step) {
    if (out == nullptr) return;
    out += begin;
    for (size_t r = 0; r < rows; ++r) out[r] = answer[static_cast<size_t>(leaf[r]) * step];
  };
  if (regression) {
    fill(answers.value, batchValue.data(), 1);
    fill(answers.stdDev, batchConfidence.data(), 1);
  } else {
    fill(answers.prediction, batchCategory.data(), 1);
    fill(answers.confidence, batchConfidence.data(), 1);
    const size_t k = categoryValues.size();
    for (size_t j = 0; j < std::min(k, answers.probabilities.size()); ++j) {
      if (advise) {
        fill(answers.probabilities[j], batchProbabilities.data() + j, k);
      } else if (answers.probabilities[j]) {
        std::fill_n(answers.probabilities[j] + begin, rows,
                    std::numeric_limits<double>::quiet_NaN());
      }
    }
  }
  if (answers.advice) std::fill_n(answers.advice + begin, rows, noAdvice);
  if (answers.status) std::fill_n(answers.status + begin, rows, 0);
  return true;
}
