#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "host/BaseDictionary.h"
#include "host/ScoreValue.h"
#include "tree/TreeClsResult.h"

namespace {

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

}  // namespace
