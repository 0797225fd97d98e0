#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "host/BaseDictionary.h"
#include "host/ScoreValue.h"
#include "tree/TreeClsResult.h"

namespace {

// (c + 1) / (N + K), with K = 2 in rule sets; 0 when the prediction has no
// records, is not listed or is absent, or the total is not positive.
TEST(TreeClsResultTest, ConfidenceWorkedNumbersAndZeroCases) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* prediction;  // "c0" is listed with `share`; nullptr: no prediction
    double share;
    int categories;
    bool ruleSet;
    double total, expected;
  };
  for (const Case& c :
       {Case{"c0", 0.75, 2, false, 100, 76.0 / 102}, Case{"c0", 0.75, 3, false, 100, 76.0 / 103},
        Case{"c0", 0.75, 3, true, 100, 76.0 / 102}, Case{"c0", 0.0, 2, false, 100, 0},
        Case{"c0", 0.5, 2, false, 0, 0}, Case{"c0", 0.5, 2, false, nan, 0},
        Case{"q", 0.5, 2, false, 10, 0}, Case{nullptr, 0.5, 2, false, 10, 0}}) {
    SCOPED_TRACE(std::to_string(c.share) + " of " + std::to_string(c.total));
    TreeClsNodeStats s;
    if (c.prediction != nullptr) s.SetPrediction(new StringValue(c.prediction));
    s.AddValuePercent(new StringValue("c0"), c.share);
    for (int i = 1; i < c.categories; ++i) {
      s.AddValuePercent(new StringValue("c" + std::to_string(i)),
                        (1 - c.share) / (c.categories - 1));
    }
    s.SetTotalRecord(c.total);
    s.SetRuleSet(c.ruleSet);
    s.ComputeConfidence();
    EXPECT_DOUBLE_EQ(s.GetConfidence(), c.expected);
  }
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

  // With a target without labels there is nothing to fill.
  DictVar bare("t", ScoreDictVar::kString);
  TreeClsResult unlabelled(&bare);
  unlabelled.ComputeAllConfidences();
  EXPECT_TRUE(unlabelled.GetAllConfidence().empty());
}

}  // namespace
