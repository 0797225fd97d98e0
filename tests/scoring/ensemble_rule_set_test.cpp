#include "scoring_fixture.h"

using namespace scoring_test;
using ::testing::IsEmpty;

namespace {

// Ensembles ------------------------------------------------------------------

using EnsembleTest = ModelTest;

// The confidence is the winner's share of the summed confidences; the trees'
// node identifiers, advice and value percentages are not reported.
TEST_F(EnsembleTest, VotesSumConfidences) {
  // Each tree's x split leads to two leaves.
  auto stump = [&](const char* id, const char* low, double lowConfidence, const char* high,
                   double highConfidence) {
    return Join(
        ClsNode(id, low, 0.5), {Threshold(d.x, 5)},
        {ClsNode("lo", low, lowConfidence, 10, {{low, 1.0}}), ClsNode("hi", high, highConfidence)});
  };
  Trees({stump("t1", "A", 0.9, "C", 0.4), stump("t2", "B", 0.6, "C", 0.4),
         stump("t3", "B", 0.5, "A", 0.3)});
  Check({{"x=1", "B", 1.1 / 2.0, "-1"}, {"x=9", "C", 0.8 / 1.1, "-1"}});
  EXPECT_THAT(Cls().GetAllValuePercent(), IsEmpty());
  // x missing: each tree falls to its biggest child (the low leaf) without
  // advice, and null handling does not stop it.
  model->SetNullHandling(true);
  Check({{"", "B", 1.1 / 2.0, "-1"}});
  Reset();
  Trees({ClsNode("t1", "B", 0.7), ClsNode("t2", "A", 0.7)});
  Check({{"", "A", 0.5, "-1"}});  // a tie goes to the earlier category
}

TEST_F(EnsembleTest, PredictionOutsideCategoriesCastsNoVote) {
  Trees({ClsNode("t1", "Z", 0.9), ClsNode("t2", "B", 0.3)});
  Check({{"", "B", 1.0, "-1"}});
  Reset();
  Trees({ClsNode("t1", "A", 0.0), ClsNode("t2", "Z", 0.8)});  // no positive vote at all
  Check({{"", "", 0, "-1"}});
  Reset();
  // A tree that cannot be scored ends the vote.
  Trees({ClsNode("t1", "A", 0.9), new CompositeTreeNode(true), ClsNode("t3", "B", 0.9)});
  Check({{"", "", 0, "-1"}});
}

using RegressionEnsembleTest = RegressionModelTest;

TEST_F(RegressionEnsembleTest, PredictsMeanOfTrees) {
  Trees({RegNode("t1", 10, 1), RegNode("t2", 20, 2), RegNode("t3", 60, 3)});
  Check({{"", "30", -1.0, "t3"}});
  EXPECT_DOUBLE_EQ(dynamic_cast<TreeRegResult&>(*result).GetStdDev(), -1.0);
}

// Rule sets ------------------------------------------------------------------

using RuleSetTest = ModelTest;

// Voting: the winner's summed confidences over the number of rules that held,
// a tie to the earlier category. First hit: the first rule that holds. A rule
// holds while all its conditions do; none holding gives the rule set's own
// prediction at 0.5.
TEST_F(RuleSetTest, VotingSumsConfidencesOverRulesThatHeld) {
  model->SetRuleSetScoreMethod(DendrixPMMLModel::Voting);
  model->SetRoot(
      RuleSet("C", {Rule("R1", "A", 0.9, {AtMost(d.x, 5)}), Rule("R2", "B", 0.6, {AtMost(d.x, 6)}),
                    Rule("R3", "B", 0.5, {AtMost(d.x, 7)}),
                    Rule("R4", "A", 0.2, {AtMost(d.x, 5), AtMost(d.y, 0)})}));
  Check({{"x=3 y=9", "B", 1.1 / 3, "-1"},
         {"x=3 y=0", "A", 1.1 / 4, "-1"},
         {"x=9 y=0", "C", 0.5, "-1"}});
  model->SetRuleSetScoreMethod(DendrixPMMLModel::FirstHit);
  Check({{"x=6 y=0", "B", 0.6, "R2"}, {"x=9 y=0", "C", 0.5, "R2"}});
}

TEST_F(RuleSetTest, RulesPredictingNoCategoryCastNoVote) {
  model->SetRuleSetScoreMethod(DendrixPMMLModel::Voting);
  model->SetRoot(RuleSet("C", {Rule("R1", "Z", 0.9, {}), Rule("R2", "B", 0.4, {AtMost(d.y, 5)})}));
  // Both held; then rules held but none voted: the fallback.
  Check({{"y=1", "B", 0.4 / 2, "-1"}, {"y=9", "C", 0.5, "-1"}});
}

TEST_F(RuleSetTest, EnsembleFallsBackToEachRuleSetsOwnRoot) {
  model->SetRuleSetScoreMethod(DendrixPMMLModel::FirstHit);
  Trees({RuleSet("A", {Rule("S1", "C", 0.9, {AtMost(d.x, 0)})}),
         RuleSet("B", {Rule("S2", "C", 0.9, {AtMost(d.x, 0)})})});
  // A 0.5 against B 0.5, twice (no state is left over); then C 0.9 twice,
  // the node as the last rule set left it.
  Check({{"x=3", "A", 0.5, "-1"}, {"x=3", "A", 0.5, "-1"}, {"x=-1", "C", 1.0, "S2"}});
}

using RegressionRuleSetTest = RegressionModelTest;

// Voting needs categories, so a regression rule set always falls back. A
// fallback leaves the node identifier as it was.
TEST_F(RegressionRuleSetTest, FirstHitAndFallbackGiveNumbers) {
  CompositeTreeNode* top = RegNode("rs", 7, -1);
  CompositeTreeNode* rule = RegNode("R1", 42, -1);
  rule->SetSplitVar({AtMost(d.x, 5)});
  top->Add(rule);
  model->SetRoot(top);
  model->SetRuleSetScoreMethod(DendrixPMMLModel::FirstHit);
  Check({{"x=9", "7", -1.0, "-1"}, {"x=1", "42", -1.0, "R1"}, {"x=9", "7", -1.0, "R1"}});
  model->SetRuleSetScoreMethod(DendrixPMMLModel::Voting);
  Check({{"x=1", "7", -1.0, "R1"}});
}

}  // namespace
