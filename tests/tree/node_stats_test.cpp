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
}

// (c + 1) / (N + K), with K = 2 in rule sets.
TEST(TreeClsResultTest, ConfidenceWorkedNumbers) {
  struct Case {
    int categories;
    bool ruleSet;
    double expected;
  };
  for (Case c : {Case{2, false, 76.0 / 102}, Case{2, true, 76.0 / 102}, Case{3, false, 76.0 / 103},
                 Case{3, true, 76.0 / 102}}) {
    TreeClsNodeStats s;
    Fill(s, 0.75, c.categories, 100);
    s.SetRuleSet(c.ruleSet);
    s.ComputeConfidence();
    EXPECT_DOUBLE_EQ(s.GetConfidence(), c.expected) << c.categories << " " << c.ruleSet;
  }
}

TEST(TreeClsResultTest, ConfidenceZeroCases) {
  struct Case {
    double share, total;
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
  DictVar target("t", ScoreDictVar::kString);
  auto* labels = new ValueLabelSet();
  for (const char* l : {"a", "b", "c"}) labels->AddLabel(new ValueLbl(new StringValue(l), l));
  target.SetValueLabelSet(labels);
  TreeClsNodeStats s;
  s.SetTarget(&target);
  s.AddValuePercent(new StringValue("b"), 0.3);
  s.AddValuePercent(new StringValue("a"), 0.5);
  s.SetTotalRecord(10);
  s.ComputeAllConfidences();
  EXPECT_EQ(s.GetAllConfidence(), (std::vector<double>{6.0 / 13, 4.0 / 13, 0.0}));  // label order

  // Recomputing with the list already sized reuses its storage.
  const double* storage = s.GetAllConfidenceRef().data();
  s.SetRuleSet(true);
  s.ComputeAllConfidences();
  EXPECT_EQ(s.GetAllConfidenceRef().data(), storage);
  EXPECT_EQ(s.GetAllConfidence(), (std::vector<double>{6.0 / 12, 4.0 / 12, 0.0}));

  // Without a target, or with one without labels, there is nothing to fill.
  TreeClsNodeStats none;
  Fill(none, 0.5, 2, 10);
  none.ComputeAllConfidences();
  EXPECT_TRUE(none.GetAllConfidence().empty());
  DictVar bare("t", ScoreDictVar::kString);
  TreeClsResult unlabelled(&bare);
  unlabelled.ComputeAllConfidences();
  EXPECT_TRUE(unlabelled.GetAllConfidence().empty());
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
}

TEST(TreeClsResultTest, OwnershipOfValues) {
  g_valuesDestroyed = 0;
  auto* prediction = new CountedValue("a");
  auto* share = new CountedValue("a");
  {
    TreeClsResult result(nullptr);
    EXPECT_EQ(result.GetScoreResultType(), ScoreResult::kClassification);
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
    EXPECT_EQ(copy.GetScoreResultType(), ScoreResult::kRegression);
    EXPECT_EQ(copy.GetPrediction(), stats->GetPrediction());
    EXPECT_EQ(copy.GetNodeID(), "r1");
    EXPECT_EQ(copy.GetCount(), 20);
    EXPECT_EQ(copy.GetStdDev(), 0.5);
    ASSERT_EQ(copy.GetAdvice().size(), 1u);
    EXPECT_EQ(copy.GetAdvice()[0].GetCode(), 106);
    // Regression results keep no confidence.
    copy.SetConfidence(0.9);
    EXPECT_EQ(copy.GetConfidence(), -1.0);

    TreeRegResult assigned(nullptr);
    assigned.SetNodeID("other");
    assigned = copy;
    EXPECT_EQ(assigned.GetPrediction(), stats->GetPrediction());
    EXPECT_TRUE(assigned == *stats);
  }
  EXPECT_EQ(g_valuesDestroyed, 0);  // copies own nothing
  delete stats;
  EXPECT_EQ(g_valuesDestroyed, 1);
}

}  // namespace
