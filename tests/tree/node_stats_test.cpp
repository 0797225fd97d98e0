#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "host/BaseDictionary.h"
#include "host/ScoreValue.h"
#include "tree/TreeClsResult.h"
#include "tree/TreeRegResult.h"

namespace {

int g_valuesDestroyed = 0;

// A text value that counts its destruction.
class CountedValue : public ScoreValue {
 public:
  explicit CountedValue(std::string text) : text_(std::move(text)) {}
  ~CountedValue() override { ++g_valuesDestroyed; }
  ValueType GetValueType() const override { return kString; }
  bool Equals(const ScoreValue* other) const override {
    return other != nullptr && other->IsString() && other->ToString() == text_;
  }
  double ToDouble() const override { return 0; }
  std::string ToString() const override { return text_; }
  ScoreValue* Clone() const override { return new CountedValue(text_); }

 private:
  std::string text_;
};

// Node statistics with prediction share `share` among `categories` listed
// categories ("c0" is predicted), over `total` records.
void Fill(TreeClsResult& stats, double share, int categories, double total) {
  stats.SetPrediction(new StringValue("c0"));
  stats.AddValuePercent(new StringValue("c0"), share);
  for (int i = 1; i < categories; ++i) {
    stats.AddValuePercent(new StringValue("c" + std::to_string(i)), (1 - share) / (categories - 1));
  }
  stats.SetTotalRecord(total);
}

DictVar* TargetWithLabels(const std::vector<std::string>& labels) {
  auto* var = new DictVar("t", ScoreDictVar::kString);
  auto* set = new ValueLabelSet();
  for (const std::string& l : labels) set->AddLabel(new ValueLbl(new StringValue(l), l));
  var->SetValueLabelSet(set);
  return var;
}

TEST(TreeClsResultTest, FreshObject) {
  TreeClsResult r(nullptr);
  EXPECT_EQ(r.GetNodeID(), "-1");
  EXPECT_EQ(r.GetBiggestChild(), -1);
  EXPECT_EQ(r.GetChildIndexOnMaxConfidence(), -1);
  EXPECT_EQ(r.GetConfidence(), -1.0);
  EXPECT_EQ(r.GetTotalRecord(), -1.0);
  EXPECT_EQ(r.GetPrediction(), nullptr);
  EXPECT_TRUE(r.GetAllValuePercent().empty());
  EXPECT_TRUE(r.GetAllConfidence().empty());
  EXPECT_EQ(r.GetScoreResultType(), ScoreResult::kClassification);
  EXPECT_EQ(static_cast<int>(r.GetScoreResultType()), 0);
}

TEST(TreeClsResultTest, PercentLookup) {
  TreeClsNodeStats s;
  s.AddValuePercent(new StringValue("a"), 0.25);
  s.AddValuePercent(new StringValue("b"), 0.5);
  s.AddValuePercent(new StringValue("a"), 0.75);
  StringValue a("a"), z("z");
  NumericValue one(1);
  EXPECT_EQ(s.GetPercent(&a), 0.25);  // the first of equal values
  EXPECT_EQ(s.GetPercent(&z), -1.0);
  EXPECT_EQ(s.GetPercent(&one), -1.0);
  EXPECT_EQ(s.GetPercent(nullptr), -1.0);
  ASSERT_EQ(s.GetAllValuePercent().size(), 3u);
  EXPECT_EQ(s.GetAllValuePercent()[1].second, 0.5);
}

TEST(TreeClsResultTest, ConfidenceWorkedNumbers) {
  TreeClsNodeStats two;
  Fill(two, 0.75, 2, 100);
  two.ComputeConfidence();
  EXPECT_DOUBLE_EQ(two.GetConfidence(), 76.0 / 102);
  two.SetRuleSet(true);
  two.ComputeConfidence();
  EXPECT_DOUBLE_EQ(two.GetConfidence(), 76.0 / 102);

  TreeClsNodeStats three;
  Fill(three, 0.75, 3, 100);
  three.ComputeConfidence();
  EXPECT_DOUBLE_EQ(three.GetConfidence(), 76.0 / 103);
  three.SetRuleSet(true);
  three.ComputeConfidence();
  EXPECT_DOUBLE_EQ(three.GetConfidence(), 76.0 / 102);
}

TEST(TreeClsResultTest, ConfidenceZeroCases) {
  struct Case {
    double share;
    double total;
  };
  for (Case c : {Case{0.0, 100}, Case{0.5, 0}, Case{0.5, -1.0},
                 Case{0.5, std::numeric_limits<double>::quiet_NaN()}}) {
    TreeClsNodeStats s;
    Fill(s, c.share, 2, c.total);
    s.ComputeConfidence();
    EXPECT_EQ(s.GetConfidence(), 0.0) << c.share << " " << c.total;
  }
  TreeClsNodeStats unlisted;  // prediction missing from the distribution
  unlisted.SetPrediction(new StringValue("q"));
  unlisted.AddValuePercent(new StringValue("a"), 1.0);
  unlisted.SetTotalRecord(10);
  unlisted.ComputeConfidence();
  EXPECT_EQ(unlisted.GetConfidence(), 0.0);
  TreeClsNodeStats nothing;  // no prediction at all
  nothing.SetTotalRecord(10);
  nothing.ComputeConfidence();
  EXPECT_EQ(nothing.GetConfidence(), 0.0);
}

TEST(TreeClsResultTest, AllConfidencesUseTargetCategoryCount) {
  DictVar* target = TargetWithLabels({"a", "b", "c"});
  TreeClsNodeStats s;
  s.SetTarget(target);
  s.AddValuePercent(new StringValue("b"), 0.3);
  s.AddValuePercent(new StringValue("a"), 0.5);
  s.SetTotalRecord(10);
  s.ComputeAllConfidences();
  std::vector<double> all = s.GetAllConfidence();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_DOUBLE_EQ(all[0], 6.0 / 13);  // (5 + 1) / (3 + 10), in label order
  EXPECT_DOUBLE_EQ(all[1], 4.0 / 13);
  EXPECT_EQ(all[2], 0.0);

  // Recomputing with the list already sized reuses its storage.
  const double* storage = s.GetAllConfidenceRef().data();
  s.SetRuleSet(true);
  s.ComputeAllConfidences();
  EXPECT_EQ(s.GetAllConfidenceRef().data(), storage);
  EXPECT_DOUBLE_EQ(s.GetAllConfidenceRef()[0], 6.0 / 12);
  EXPECT_DOUBLE_EQ(s.GetAllConfidenceRef()[1], 4.0 / 12);
  delete target;
}

TEST(TreeClsResultTest, AllConfidencesNeedATargetWithLabels) {
  TreeClsNodeStats none;
  Fill(none, 0.5, 2, 10);
  none.ComputeAllConfidences();
  EXPECT_TRUE(none.GetAllConfidence().empty());

  DictVar bare("t", ScoreDictVar::kString);
  TreeClsResult unlabelled(&bare);
  unlabelled.ComputeAllConfidences();
  EXPECT_TRUE(unlabelled.GetAllConfidence().empty());
  EXPECT_EQ(unlabelled.GetTarget(), &bare);
}

TEST(TreeClsResultTest, EqualityByNodeIdentifierOnly) {
  TreeClsNodeStats x, y;
  x.SetNodeID("n7");
  y.SetNodeID("n7");
  x.SetPrediction(new StringValue("a"));
  y.SetPrediction(new StringValue("b"));
  EXPECT_TRUE(x == y);
  y.SetNodeID("n8");
  EXPECT_FALSE(x == y);
  TreeRegNodeStats r;
  r.SetNodeID("n7");
  EXPECT_TRUE(x == r);
  // The statistics face is the second base of the object.
  const ScoreNodeStats* face = &x;
  EXPECT_EQ(face->GetNodeID(), "n7");
}

TEST(TreeClsResultTest, AdviceIsCopiedAndCleared) {
  TreeClsResult r(nullptr);
  r.AddAdvice(ResultAdvice(104, "age"));
  std::vector<ResultAdvice> copy = r.GetAdvice();
  r.AddAdvice(ResultAdvice(105, "sex"));
  ASSERT_EQ(copy.size(), 1u);
  EXPECT_EQ(copy[0].GetCode(), 104);
  EXPECT_EQ(r.GetAdviceRef().size(), 2u);
  r.RemoveAdvice();
  EXPECT_TRUE(r.GetAdvice().empty());
}

TEST(TreeClsResultTest, OwnershipOfValues) {
  g_valuesDestroyed = 0;
  auto* prediction = new CountedValue("a");
  auto* share = new CountedValue("a");
  {
    TreeClsResult result(nullptr);
    result.SetPrediction(prediction);
    result.AddValuePercent(share, 1.0);
    result.RemoveValuePercent();
    EXPECT_TRUE(result.GetAllValuePercent().empty());
    result.AddValuePercent(share, 1.0);
  }
  EXPECT_EQ(g_valuesDestroyed, 0);  // a plain result owns nothing
  {
    TreeClsNodeStats stats;
    stats.SetPrediction(prediction);
    stats.AddValuePercent(share, 1.0);
    stats.AddValuePercent(new CountedValue("b"), 0.0);
  }
  EXPECT_EQ(g_valuesDestroyed, 3);  // node statistics own everything
}

TEST(TreeRegResultTest, FreshObjectAndStubs) {
  TreeRegResult r(nullptr);
  EXPECT_EQ(r.GetNodeID(), "-1");
  EXPECT_EQ(r.GetStdDev(), -1.0);
  EXPECT_EQ(r.GetCount(), -1.0);
  EXPECT_EQ(r.GetBiggestChild(), -1);
  EXPECT_EQ(r.GetPrediction(), nullptr);
  EXPECT_EQ(static_cast<int>(r.GetScoreResultType()), 1);
  r.SetConfidence(0.9);
  EXPECT_EQ(r.GetConfidence(), -1.0);
  r.SetChildIndexOnMaxConfidence(2);
  EXPECT_EQ(r.GetChildIndexOnMaxConfidence(), -1);
  r.SetRuleSet(true);
  r.SetStdDev(1.5);
  r.SetCount(12.5);
  r.SetBiggestChild(3);
  EXPECT_EQ(r.GetStdDev(), 1.5);
  EXPECT_EQ(r.GetCount(), 12.5);
  EXPECT_EQ(r.GetBiggestChild(), 3);
}

TEST(TreeRegResultTest, CopiesSharePrediction) {
  g_valuesDestroyed = 0;
  TreeRegNodeStats* stats = new TreeRegNodeStats();
  stats->SetPrediction(new CountedValue("3.5"));
  stats->SetNodeID("r1");
  stats->SetCount(20);
  stats->SetStdDev(0.5);
  stats->AddAdvice(ResultAdvice(106, "x"));
  {
    TreeRegResult copy(*stats);
    EXPECT_EQ(copy.GetPrediction(), stats->GetPrediction());
    EXPECT_EQ(copy.GetNodeID(), "r1");
    EXPECT_EQ(copy.GetCount(), 20);
    EXPECT_EQ(copy.GetStdDev(), 0.5);
    ASSERT_EQ(copy.GetAdvice().size(), 1u);
    EXPECT_EQ(copy.GetAdvice()[0].GetCode(), 106);

    TreeRegResult assigned(nullptr);
    assigned.SetNodeID("other");
    assigned = copy;
    EXPECT_EQ(assigned.GetPrediction(), stats->GetPrediction());
    EXPECT_EQ(assigned.GetNodeID(), "r1");
    EXPECT_TRUE(assigned == *stats);
  }
  EXPECT_EQ(g_valuesDestroyed, 0);  // copies own nothing
  delete stats;
  EXPECT_EQ(g_valuesDestroyed, 1);
}

}  // namespace
