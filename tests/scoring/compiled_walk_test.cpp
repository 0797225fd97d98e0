// The compact node tables against the general walk: an indexed record takes
// the compact route where it can, a record by name always takes the general
// one, so both must give the same answer, advice and identifiers for any tree
// and any case.
#include <cmath>
#include <random>
#include <sstream>

#include "scoring_fixture.h"

// The compiled tables have no public view.
class DendrixPMMLModelTestPeer {
 public:
  // Nodes routed by threshold in the compact tables (after the first case).
  static int ThresholdNodeCount(const DendrixPMMLModel& m) {
    int count = 0;
    for (const auto& tree : m.flatTrees) {
      for (const auto& f : tree.fast) {
        count += (f.flags & (DendrixPMMLModel::kFastLeaf | DendrixPMMLModel::kFastGeneral)) == 0;
      }
    }
    return count;
  }
};

using namespace scoring_test;

namespace {

const double kSysmis = NumericValue::GetSysmisValue();

// What a scoring call leaves behind, as text; numbers to the last bit.
std::string Outcome(VorqScore::VorqStatus status, const ScoreResult* result) {
  std::ostringstream o;
  o << status.GetCode();
  if (result == nullptr) return o.str();
  const ScoreValue* prediction = result->GetPrediction();
  const double confidence = result->GetConfidence();
  // Any NaN prints as "nan", whatever its sign.
  o << std::hexfloat << ' ' << (prediction != nullptr ? prediction->ToString() : "<none>") << ' '
    << (std::isnan(confidence) ? std::fabs(confidence) : confidence) << ' '
    << dynamic_cast<const ScoreNodeStats&>(*result).GetNodeID();
  for (const ResultAdvice& a : result->GetAdvice()) o << ' ' << a.GetCode() << ':' << a.GetText();
  if (const auto* cls = dynamic_cast<const TreeClsResult*>(result)) {
    for (const auto& e : cls->GetAllValuePercent())
      o << ' ' << e.first->ToString() << '=' << e.second;
  }
  return o.str();
}

class RandomTrees {
 public:
  RandomTrees(const Dictionary& d, unsigned seed) : d_(d), rng_(seed) {}

  CompositeTreeNode* Tree(int depth) {
    const std::string id = "n" + std::to_string(counter_++);
    const bool empty = Pick(8) == 0;  // no records: its parent answers
    // Z is no category.
    CompositeTreeNode* node =
        ClsNode(id, std::string(1, "ABCZ"[Pick(4)]), empty ? 0.0 : 0.3 * Pick(4),
                empty ? 0.0 : 10.0, {{"A", 0.5}, {"B", 0.3}, {"C", 0.2}});
    if (depth == 0 || Pick(6) == 0) return node;
    const int childCount = Pick(5) == 0 ? 3 : 2;
    std::vector<ScoreSplitVar*> splits{Split(childCount)};
    for (int extra = Pick(3); extra > 0; --extra) splits.push_back(Split(childCount));
    std::vector<CompositeTreeNode*> children;
    for (int i = 0; i < childCount; ++i) children.push_back(Tree(depth - 1));
    return Join(node, splits, children, Pick(childCount + 2) - 1);
  }

  // A value for x or y: plain numbers (thresholds included), the declared
  // missing 99, the system-missing number, infinities, NaN, text, null; for
  // color: its categories, another text, a number, null.
  ScoreValue* Cell(bool color) {
    static const double kNumbers[] = {-1, 0, 0.5, 1, 1.5, 2, 3, 99, kSysmis, kInf, -kInf, NAN};
    static const char* kTexts[] = {"1", "red", "green", "blue", "pink"};
    const int k = Pick(color ? 6 : 14);
    if (k == 0) return nullptr;
    if (color ? k > 1 : k == 1) return new StringValue(kTexts[color ? 1 + Pick(4) : 0]);
    return new NumericValue(color ? 1 : kNumbers[Pick(12)]);
  }
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

 private:
  ScoreSplitVar* Split(int childCount) {
    if (Pick(6) == 0) {
      return Categories(d_.color, {{"red", 0}, {"green", 1}, {"blue", childCount - 1}},
                        Pick(childCount + 2) - 1);
    }
    // Two ranges around t, or with a gap, or one range only: any closedness,
    // put order and side positions; now and then on the text variable.
    auto* split = new ScaleSplit(Pick(8) == 0 ? d_.color : Pick(2) ? d_.x : d_.y);
    const double t = Pick(3);
    const int lowPos = Pick(2);
    Range* low = new Range(-kInf, t, Pick(2) == 0, Pick(2) == 0);
    Range* high = new Range(Pick(4) == 0 ? t + 0.5 : t, kInf, Pick(2) == 0, Pick(2) == 0);
    const bool lowFirst = Pick(2) == 0;
    split->PutSplit(lowFirst ? low : high, lowFirst ? lowPos : 1 - lowPos);
    if (Pick(6) == 0) {
      delete (lowFirst ? high : low);
    } else {
      split->PutSplit(lowFirst ? high : low, lowFirst ? 1 - lowPos : lowPos);
    }
    split->SetMissvalMap(Pick(childCount + 2) - 1);
    return split;
  }

  const Dictionary& d_;
  std::mt19937 rng_;
  int counter_ = 0;
};

enum class Mode { kAdvice, kPredictionOnly, kNullHandling, kC5, kEnsemble, kEnsembleC5 };

// Builds a random model in the mode and scores random cases both ways.
// Returns the number of compact threshold nodes, to show they were used.
int CompareOnRandomModel(unsigned seed, Mode mode) {
  Dictionary d = MakeDictionary();
  DendrixPMMLModel* model = MakeModel(d);
  RandomTrees random(d, seed);
  if (mode == Mode::kEnsemble || mode == Mode::kEnsembleC5) {
    for (int t = random.Pick(4) + 2; t > 0; --t) model->SetMultipleNodes(random.Tree(5));
  }
  model->SetRoot(random.Tree(6));
  model->SetPredictionOnly(mode == Mode::kPredictionOnly);
  model->SetNullHandling(mode == Mode::kNullHandling);
  model->SetCFive(mode == Mode::kC5 || mode == Mode::kEnsembleC5);

  IndexedCaseRecord indexed({"y", "color", "x"});  // not the dictionary's order
  NamedCaseRecord named;
  ScoreResult* fast = nullptr;
  ScoreResult* general = nullptr;
  for (int i = 0; i < 300; ++i) {
    const char* names[] = {"y", "color", "x"};
    indexed.ClearAll();
    named.Clear();
    for (int c = 0; c < 3; ++c) {
      ScoreValue* v = random.Cell(c == 1);
      if (v == nullptr) continue;
      if (v->IsNumeric()) {
        indexed.SetNumber(c, v->ToDouble());
      } else {
        indexed.SetString(c, v->ToString());
      }
      named.Set(names[c], v);
    }
    const std::string a = Outcome(model->GetScore(&indexed, fast, false), fast);
    const std::string b = Outcome(model->GetScore(&named, general, false), general);
    EXPECT_EQ(a, b) << "seed " << seed << " case " << i;
    if (::testing::Test::HasFailure()) break;
  }
  const int compact = DendrixPMMLModelTestPeer::ThresholdNodeCount(*model);
  delete fast;
  delete general;
  delete model;
  return compact;
}

class CompiledWalk : public ::testing::TestWithParam<Mode> {};

TEST_P(CompiledWalk, AgreesWithTheGeneralWalkOnRandomTreesAndCases) {
  int compact = 0;
  for (unsigned seed = 1; seed <= 40 && !HasFailure(); ++seed) {
    compact += CompareOnRandomModel(seed, GetParam());
  }
  EXPECT_GT(compact, 100);
}

INSTANTIATE_TEST_SUITE_P(Modes, CompiledWalk,
                         ::testing::Values(Mode::kAdvice, Mode::kPredictionOnly,
                                           Mode::kNullHandling, Mode::kC5, Mode::kEnsemble,
                                           Mode::kEnsembleC5));

}  // namespace
