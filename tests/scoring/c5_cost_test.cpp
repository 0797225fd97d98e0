#include "scoring_fixture.h"

using namespace scoring_test;
using ::testing::IsEmpty;

namespace {

using CostMap = std::map<std::string, std::map<std::string, double>>;

// C5 fractional scoring --------------------------------------------------------

class C5Test : public ModelTest {
 protected:
  C5Test() : ModelTest({"A", "B"}) { model->SetCFive(true); }

  // A leaf of `total` records whose per-category confidences come out as
  // (confA, confB): each share p gives (p * total + 1) / (total + 2).
  CompositeTreeNode* Leaf(const std::string& id, double total, double confA, double confB,
                          bool withTarget = true) {
    const double pa = (confA * (total + 2) - 1) / total;
    const double pb = (confB * (total + 2) - 1) / total;
    return ClsNode(id, confA >= confB ? "A" : "B", 0.5, total, {{"A", pa}, {"B", pb}},
                   withTarget ? d.target : nullptr);
  }
  CompositeTreeNode* Inner(const std::string& id, double total,
                           const std::vector<ScoreSplitVar*>& splits,
                           const std::vector<CompositeTreeNode*>& children) {
    return Join(ClsNode(id, "A", 0.5, total), splits, children);
  }
  // A root of `total` records split on x into l1 (30 records, 0.8/0.2) and l2.
  void Stump(double total, CompositeTreeNode* l2) {
    model->SetRoot(Inner("r", total, {Threshold(d.x, 5)}, {Leaf("l1", 30, 0.8, 0.2), l2}));
  }
};

TEST_F(C5Test, UnroutableCaseIsSpreadByRecordCounts) {
  Stump(40, Leaf("l2", 10, 0.1, 0.9));
  // A: 0.75 * 0.8 + 0.25 * 0.1, no 108 in C5 mode; a routable case walks as usual.
  Check({{"", "A", 0.625, "-1", {"104:x"}}, {"x=9", "B", 0.5, "l2"}});
  Score("");
  EXPECT_THAT(Cls().GetAllValuePercent(), IsEmpty());
  model->SetMisclassificationCost(CostMap{{"A", {{"B", 2.0}}}});
  Check({{"", "B", 0.375, "-1", {"104:x"}}});  // A costs 2 * 0.375, B costs 0.625
}

TEST_F(C5Test, NestedSplitsKeepFirstLevelWeightsAndFollowMissingValueChildren) {
  auto* inner =
      Inner("i", 30, {Threshold(d.y, 5)}, {Leaf("l1", 20, 0.9, 0.1), Leaf("l2", 10, 0.2, 0.8)});
  model->SetRoot(Inner("r", 40, {Threshold(d.x, 5)}, {inner, Leaf("l3", 10, 0.1, 0.9)}));
  // The 0.75 share goes on to l1, or is split again at "i": 2/3 and 1/3.
  Check({{"y=1", "A", 0.75 * 0.9 + 0.25 * 0.1, "-1", {"104:x"}},
         {"", "A", 0.75 * (2.0 / 3 * 0.9 + 1.0 / 3 * 0.2) + 0.25 * 0.1, "-1", {"104:x", "104:y"}}});

  inner = Inner("i", 30, {Threshold(d.y, 5, /*missingChild=*/1)},
                {Leaf("l1", 20, 0.9, 0.1), Leaf("l2", 10, 0.2, 0.8)});
  model->SetRoot(Inner("r", 40, {Threshold(d.x, 5)}, {inner, Leaf("l3", 10, 0.1, 0.9)}));
  Check({{"", "B", 0.75 * 0.8 + 0.25 * 0.9, "-1", {"104:x", "104:y"}}});
}

// A root without records shares the case equally; a leaf without
// per-category confidences adds zeros.
TEST_F(C5Test, ZeroRecordCountAndMissingConfidences) {
  Stump(0, Leaf("l2", 30, 0.2, 0.8));
  Check({{"", "A", 0.5, "-1", {"104:x"}}});  // A 0.5 against B 0.5: the earlier category
  Stump(40, Leaf("l2", 10, 0.1, 0.9, /*withTarget=*/false));
  Check({{"", "A", 0.6, "-1", {"104:x"}}});
}

TEST_F(C5Test, NullHandlingStopAtAnyDepthLeavesNoPrediction) {
  model->SetNullHandling(true);
  // Nodes without splits hand the case to C5 at once; the stop happens in a
  // nested split, on y.
  auto* j =
      Inner("j", 20, {Threshold(d.y, 5)}, {Leaf("l1", 10, 0.9, 0.1), Leaf("l2", 10, 0.2, 0.8)});
  auto* i = Inner("i", 30, {}, {j, Leaf("l3", 10, 0.9, 0.1)});
  model->SetRoot(Inner("r", 40, {}, {i, Leaf("l4", 10, 0.9, 0.1)}));
  Check({{"", "", 0, "-1"}});
  // i takes 0.75 and splits it 2/3 (j, routed to l1) and 1/3 (l3).
  Check({{"y=1", "A", 0.75 * (2.0 / 3 * 0.9 + 1.0 / 3 * 0.9) + 0.25 * 0.9, "-1"}});
}

using RegressionC5Test = RegressionModelTest;

TEST_F(RegressionC5Test, RegressionModelIgnoresC5) {
  model->SetCFive(true);
  model->SetRoot(Join(RegNode("r", 1, 0), {Threshold(d.x, 5)},
                      {RegNode("lo", 2, 0), RegNode("hi", 3, 0)}, /*biggest=*/1));
  Check({{"", "3", -1.0, "hi", {"104:x", "108:x"}}});
}

// Misclassification costs ------------------------------------------------------

using CostTest = ModelTest;

// Costs given before the tree apply once it arrives; a leaf without
// per-category confidences keeps its prediction; an empty map turns costs off.
TEST_F(CostTest, LeafPredictsCheapestCategoryWithItsConfidence) {
  // Shares A 0.6, B 0.4 of 10 records: per-category confidences 7/13, 5/13, 0.
  auto leaf = [&](bool withTarget) {
    return ClsNode("leaf", "A", 0.6, 10, {{"A", 0.6}, {"B", 0.4}}, withTarget ? d.target : nullptr);
  };
  model->SetMisclassificationCost(CostMap{{"A", {{"B", 10.0}}}});
  model->SetRoot(Join(ClsNode("r", "A", 0.5), {Threshold(d.x, 5), Threshold(d.y, 5)},
                      {leaf(true), ClsNode("other", "C", 0.5)}));
  Check({{"x=1", "B", 5.0 / 13, "leaf"}, {"y=1", "B", 5.0 / 13 * 0.9, "leaf", {"104:x", "107:y"}}});
  model->SetRoot(leaf(false));
  Check({{"", "A", 0.6, "leaf"}});
  model->SetRoot(leaf(true));
  model->SetMisclassificationCost(CostMap{});
  Check({{"", "A", 0.6, "leaf"}});
}

// The same three votes from trees and from rules; B wrongly costs 10.
TEST_F(CostTest, EnsembleAndRuleVotesGoToCheapestCategory) {
  auto votes = [] {
    return std::vector<CompositeTreeNode*>{ClsNode("t1", "A", 0.9), ClsNode("t2", "B", 0.6),
                                           ClsNode("t3", "B", 0.5)};
  };
  Trees(votes());
  model->SetMisclassificationCost(CostMap{{"B", {{"A", 10.0}}}});
  Check({{"", "A", 0.9 / 2.0, "-1"}});

  Reset();
  model->SetRuleSetScoreMethod(DendrixPMMLModel::Voting);
  model->SetRoot(RuleSet("C", votes()));
  model->SetMisclassificationCost(CostMap{{"B", {{"A", 10.0}}}});
  Check({{"", "A", 0.9 / 3, "-1"}});
}

}  // namespace
