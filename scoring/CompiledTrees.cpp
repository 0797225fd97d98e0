// Builds the compact node tables of the flat trees and scores classification
// ensembles over them.
#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>
#include <unordered_map>

#include "host/BaseDictionary.h"
#include "host/Codes.h"
#include "host/ScoreSplitVar.h"
#include "scoring/DendrixPMMLModel.h"
#include "scoring/ScoringMath.h"
#include "tree/TreeClsResult.h"

namespace {

// Two values per slot must fit a FastNode's 16-bit value index.
constexpr size_t kMaxSlots = 32767;

// True when the variable can make a plain number missing or invalid, so that
// the general route (and its advice) must judge it.
bool MayRefusePlainNumber(const ScoreDictVar* var) {
  if (var->GetMeasurementLevel() == ScoreDictVar::kNominal) return true;
  const auto* own = dynamic_cast<const DictVar*>(var);
  if (own == nullptr) return true;  // unknown kind: ask it every time
  return own->GetMissingValueSet() != nullptr && !own->GetMissingValueSet()->IsEmpty();
}

}  // namespace

void DendrixPMMLModel::CompileTree(FlatTree& tree, std::vector<const ScoreDictVar*>& vars) {
  const int count = static_cast<int>(tree.nodes.size());
  const double inf = std::numeric_limits<double>::infinity();
  // Leaves and general nodes lead back to themselves (0 > -inf, so a step of
  // otherStep, which is 0): a walk can take a fixed number of steps and stay
  // where it ends.
  tree.fast.assign(count, FastNode{-inf, 0, kConstantSlot, kFastGeneral, 0});
  tree.parent.assign(count, 0);
  tree.voteCategory.assign(count, -1);
  tree.voteConfidence.assign(count, 0.0);
  for (int n = 0; n < count; ++n) {
    const FlatNode& node = tree.nodes[n];
    for (int i = 0; i < node.childCount; ++i) {
      const int c = tree.children[node.childBegin + i];
      if (c >= 0) tree.parent[c] = n;
    }
  }

  std::unordered_map<const ScoreDictVar*, int> slotOf;
  for (size_t s = 0; s < vars.size(); ++s) {
    if (vars[s] != nullptr) slotOf.emplace(vars[s], static_cast<int>(s));
  }

  for (int n = 0; n < count; ++n) {
    const FlatNode& node = tree.nodes[n];
    FastNode& fast = tree.fast[n];
    if (node.childCount == 0) {
      fast.flags = kFastLeaf;
    } else if (node.splitCount > 0 && node.childCount >= 2 &&
               tree.children[node.childBegin] == n + 1 && tree.children[node.childBegin + 1] >= 0) {
      const auto* split = dynamic_cast<const ScaleSplit*>(node.splits[0]);
      const ScoreDictVar* var = split != nullptr ? split->GetSplitVar() : nullptr;
      if (var != nullptr && split->GetRanges().size() == 2) {
        const auto& ranges = split->GetRanges();
        // Which range is the lower side: (-inf, t) or (-inf, t], and which the upper one.
        int lower = ranges[0].first->GetLow() == -inf ? 0 : 1;
        const Range& lo = *ranges[lower].first;
        const Range& hi = *ranges[1 - lower].first;
        const int loPos = ranges[lower].second;
        const int hiPos = ranges[1 - lower].second;
        const double t = lo.GetHigh();
        const bool shape = lo.GetLow() == -inf && hi.GetHigh() == inf && hi.GetLow() == t &&
                           IsPlainNumber(t) &&
                           ((loPos == 0 && hiPos == 1) || (loPos == 1 && hiPos == 0));
        // The threshold goes to the first range, in put order, that holds it.
        int atT = -1;
        if (shape) {
          if (ranges[0].first->Contains(t)) {
            atT = ranges[0].second;
          } else if (ranges[1].first->Contains(t)) {
            atT = ranges[1].second;
          }
        }
        auto found = slotOf.find(var);
        if (atT >= 0 && (found != slotOf.end() || vars.size() < kMaxSlots)) {
          if (found == slotOf.end()) {
            found = slotOf.emplace(var, static_cast<int>(vars.size())).first;
            vars.push_back(var);
          }
          // x >= t is x > (the double just below t) for every plain x: x
          // is on the upper side exactly when x > upperAbove.
          const double upperAbove = atT == hiPos ? std::nextafter(t, -inf) : t;
          // When the lower side is position 1 the walk goes there when
          // x <= upperAbove, which is -x > (the double just below -upperAbove).
          const bool lowerIsOther = loPos == 1;
          fast.threshold = lowerIsOther ? std::nextafter(-upperAbove, -inf) : upperAbove;
          fast.otherStep = tree.children[node.childBegin + 1] - n;
          fast.value = ValueIndex(static_cast<size_t>(found->second), lowerIsOther);
          fast.flags = 0;
          if (!MayRefusePlainNumber(var)) fast.flags |= kFastAdviceSafe;
        }
      }
    }

    // The vote of a walk that ends here without surrogates: an empty node
    // (no confidence, no records) answers with its parent's statistics.
    if (!regression && node.clsStats != nullptr) {
      const FlatNode* reached = &node;
      double c = reached->clsStats->GetConfidence();
      if (c == 0 && reached->clsStats->GetTotalRecord() == 0) {
        reached = &tree.nodes[tree.parent[n]];
        c = reached->clsStats != nullptr ? reached->clsStats->GetConfidence() : 0.0;
      }
      if (reached->clsStats != nullptr) {
        tree.voteCategory[n] = GetIndexOf(reached->clsStats->GetPrediction());
        tree.voteConfidence[n] = c;
      }
    }
  }
}

void DendrixPMMLModel::RefreshSlotPositions() {
  for (size_t s = 0; s < slotVars.size(); ++s) {
    slotPositions[s] = slotVars[s] != nullptr ? slotVars[s]->GetIndex() : -1;
  }
  slotPositionsReady = true;
}

// Each variable is read once per case; trees then walk their fast nodes on
// plain numbers and fall back to the general walk for everything else
// (missing values, strings, surrogates, other splits, C5), which writes the
// result exactly as the per-tree scoring does.
VorqScore::VorqStatus DendrixPMMLModel::ScoreEnsembleFast(Call& call) const {
  // Values by ValueIndex for this case (NaN when the number is not plain).
  std::vector<double>& slotNumbers = call.scratch->slotNumbers;
  slotNumbers.resize(2 * slotVars.size());
  std::vector<double>& ensembleVotes = call.scratch->ensembleVotes;
  bool allPlain = true;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  slotNumbers[ValueIndex(kConstantSlot, false)] = 0.0;
  slotNumbers[ValueIndex(kConstantSlot, true)] = 0.0;
  for (size_t s = kConstantSlot + 1; s < slotVars.size(); ++s) {
    const ScoreValue* value = call.record->GetValueAt(slotPositions[s]);
    double x = nan;
    if (value != nullptr && value->GetTypeTag() == ScoreValue::kNumericTag) {
      x = static_cast<const NumericValue*>(value)->GetValue();
    }
    const bool plain = IsPlainNumber(x);
    slotNumbers[ValueIndex(s, false)] = plain ? x : nan;
    slotNumbers[ValueIndex(s, true)] = plain ? -x : nan;
    allPlain &= plain;
  }
  const double* numbers = slotNumbers.data();

  call.cls->RemoveValuePercent();
  ensembleVotes.assign(numCategories, 0.0);
  double total = 0.0;
  double lastConfidence = 0.0;
  bool first = true;
  // Trees are walked a group at a time, one step of each in turn, so that
  // their node loads overlap; votes are then added in tree order.
  constexpr int kLanes = 8;
  const int treeCount = static_cast<int>(flatTrees.size());
  for (int start = 0; start < treeCount; start += kLanes) {
    const int lanes = std::min(kLanes, treeCount - start);
    const FastNode* fast[kLanes];
    int node[kLanes];
    bool atLeaf[kLanes];
    unsigned active = 0;
    int steps = 0;
    for (int lane = 0; lane < lanes; ++lane) {
      const FlatTree& tree = flatTrees[start + lane];
      // A tree without nodes walks on the spot (and is not usable).
      static const FastNode kIdle{-std::numeric_limits<double>::infinity(), 0, kConstantSlot,
                                  kFastGeneral, 0};
      fast[lane] = tree.fast.empty() ? &kIdle : tree.fast.data();
      node[lane] = 0;
      atLeaf[lane] = false;
      if (tree.usable) active |= 1u << lane;
      steps = std::max(steps, tree.depth);
    }
    if (allPlain) {
      // Every number is plain, so a fast node always has a way down and the
      // self-loops hold each walk where it ends: as many steps as the
      // deepest tree, no branch on the data.
      auto walk = [&](auto laneCount) {
        const FastNode* at[kLanes];
        for (int lane = 0; lane < laneCount; ++lane) at[lane] = fast[lane];
        for (int step = 0; step < steps; ++step) {
          for (int lane = 0; lane < laneCount; ++lane) {
            const FastNode& f = *at[lane];
            at[lane] += FastStep(f, numbers[f.value]);
          }
        }
        for (int lane = 0; lane < laneCount; ++lane) {
          node[lane] = static_cast<int>(at[lane] - fast[lane]);
        }
      };
      if (lanes == kLanes) {
        walk(std::integral_constant<int, kLanes>());  // a fixed count the compiler unrolls
      } else {
        walk(lanes);
      }
      for (int lane = 0; lane < lanes; ++lane) {
        atLeaf[lane] = (active & (1u << lane)) != 0 && (fast[lane][node[lane]].flags & kFastLeaf);
        if ((active & (1u << lane)) == 0) node[lane] = 0;
      }
      active = 0;
    }
    while (active != 0) {
      for (int lane = 0; lane < lanes; ++lane) {
        if ((active & (1u << lane)) == 0) continue;
        const FastNode& f = fast[lane][node[lane]];
        if ((f.flags & (kFastLeaf | kFastGeneral)) != 0) {
          atLeaf[lane] = (f.flags & kFastLeaf) != 0;
          active &= ~(1u << lane);
          continue;
        }
        const double v = numbers[f.value];
        if (!IsPlainNumber(v)) {
          active &= ~(1u << lane);
          continue;
        }
        node[lane] = FastChild(f, node[lane], v);
      }
    }

    for (int lane = 0; lane < lanes; ++lane) {
      const FlatTree& tree = flatTrees[start + lane];
      int k = -1;
      double c = 0.0;
      if (atLeaf[lane]) {
        k = tree.voteCategory[node[lane]];
        c = tree.voteConfidence[node[lane]];
      } else {
        // The general walk leaves the previous tree's confidence in place when
        // it stops, as scoring tree by tree does.
        if (!first) call.result->SetConfidence(lastConfidence);
        const VorqScore::VorqStatus status = ScoreOne(tree, call);
        if (!status.IsOK()) return status;
        k = GetIndexOf(call.result->GetPrediction());
        c = call.result->GetConfidence();
      }
      first = false;
      lastConfidence = c;
      // A prediction outside the categories casts no vote and adds nothing.
      if (k < 0) continue;
      ensembleVotes[k] += c;
      total += c;
    }
  }
  if (!(total > 0)) {
    call.result->SetConfidence(lastConfidence);
    call.result->SetPrediction(nullptr);
    return VorqScore::VorqStatus(StatusCode::kNoPrediction, false);
  }
  const int best = ArgMax(ensembleVotes, ensembleVotes.front());
  call.result->SetPrediction(const_cast<ScoreValue*>(categoryValues[best]));
  call.result->SetConfidence(ensembleVotes[best] / total);
  return VorqScore::VorqStatus();
}
