#include "scoring_fixture.h"

using namespace scoring_test;
using ::testing::IsEmpty;

namespace {

// Ensembles ------------------------------------------------------------------

class EnsembleTest : public ModelTest {
 protected:
  // The first tree becomes the root, the others further trees.
  void Trees(const std::vector<CompositeTreeNode*>& trees) {
    for (size_t i = 1; i < trees.size(); ++i) model->SetMultipleNodes(trees[i]);
    model->SetRoot(trees[0]);
  }
  // A tree whose x split leads to two leaves.
  CompositeTreeNode* Stump(const std::string& id, const std::string& low, double lowConfidence,
                           const std::string& high, double highConfidence) {
    return Join(ClsNode(id, low, 0.5), {Threshold(d.x, 5)},
                {ClsNode(id + "lo", low, lowConfidence, 10, {{low, 1.0}}),
                 ClsNode(id + "hi", high, highConfidence)});
  }
};

TEST_F(EnsembleTest, VotesSumConfidences) {
  Trees({Stump("t1", "A", 0.9, "C", 0.4), Stump("t2", "B", 0.6, "C", 0.4),
         Stump("t3", "B", 0.5, "A", 0.3)});
  NamedCaseRecord r;
  r.SetNumber("x", 1);
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(Prediction(), "B");
  EXPECT_DOUBLE_EQ(Confidence(), 1.1 / 2.0);
  // Trees report no node identifier, advice or value percentages.
  EXPECT_EQ(NodeId(), "-1");
  EXPECT_THAT(Advice(), IsEmpty());
  EXPECT_THAT(Cls().GetAllValuePercent(), IsEmpty());

  r.SetNumber("x", 9);  // C 0.4 + C 0.4 against A 0.3
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(Prediction(), "C");
  EXPECT_DOUBLE_EQ(Confidence(), 0.8 / 1.1);
}

TEST_F(EnsembleTest, TieGoesToEarlierCategory) {
  Trees({ClsNode("t1", "B", 0.7), ClsNode("t2", "A", 0.7)});
  NamedCaseRecord r;
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(Prediction(), "A");
  EXPECT_DOUBLE_EQ(Confidence(), 0.5);
}

TEST_F(EnsembleTest, MissingValuesAreRoutedSilentlyAndNeverStop) {
  model->SetNullHandling(true);
  Trees({Stump("t1", "A", 0.9, "C", 0.4), Stump("t2", "B", 0.6, "C", 0.4)});
  NamedCaseRecord r;  // x missing: each tree falls to its biggest child (low leaf)
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(Prediction(), "A");
  EXPECT_DOUBLE_EQ(Confidence(), 0.9 * 0.9 / (0.9 * 0.9 + 0.6 * 0.9));
  EXPECT_THAT(Advice(), IsEmpty());
}

TEST_F(EnsembleTest, PredictionOutsideCategoriesCastsNoVote) {
  Trees({ClsNode("t1", "Z", 0.9), ClsNode("t2", "B", 0.3)});
  NamedCaseRecord r;
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(Prediction(), "B");
  EXPECT_DOUBLE_EQ(Confidence(), 1.0);
}

TEST_F(EnsembleTest, NoPositiveConfidenceGivesNoPrediction) {
  Trees({ClsNode("t1", "A", 0.0), ClsNode("t2", "Z", 0.8)});
  NamedCaseRecord r;
  const VorqScore::VorqStatus status = Score(r);
  EXPECT_EQ(status.GetCode(), 90027);
  EXPECT_FALSE(status.GetFlag());
  EXPECT_EQ(result->GetPrediction(), nullptr);
}

TEST_F(EnsembleTest, FailingTreeEndsTheVote) {
  auto* broken = new CompositeTreeNode(true);  // no statistics
  Trees({ClsNode("t1", "A", 0.9), broken, ClsNode("t3", "B", 0.9)});
  NamedCaseRecord r;
  EXPECT_EQ(Score(r).GetCode(), 90027);
  EXPECT_EQ(result->GetPrediction(), nullptr);
}

class RegressionEnsembleTest : public ModelTest {
 protected:
  RegressionEnsembleTest() : ModelTest({}, /*regression=*/true) {}
};

TEST_F(RegressionEnsembleTest, PredictsMeanOfTrees) {
  model->SetMultipleNodes(RegNode("t2", 20, 2));
  model->SetMultipleNodes(RegNode("t3", 60, 3));
  model->SetRoot(RegNode("t1", 10, 1));
  NamedCaseRecord r;
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_DOUBLE_EQ(result->GetPrediction()->ToDouble(), 30);
  EXPECT_DOUBLE_EQ(dynamic_cast<TreeRegResult&>(*result).GetStdDev(), -1.0);
}

// Rule sets ------------------------------------------------------------------

class RuleSetTest : public ModelTest {
 protected:
  // A rule: its conditions and its prediction.
  CompositeTreeNode* Rule(const std::string& id, const std::string& prediction, double confidence,
                          const std::vector<ScoreSplitVar*>& conditions) {
    CompositeTreeNode* rule = ClsNode(id, prediction, confidence);
    rule->SetSplitVar(conditions);
    return rule;
  }
  CompositeTreeNode* RuleSet(const std::string& fallback,
                             const std::vector<CompositeTreeNode*>& rules) {
    CompositeTreeNode* top = ClsNode("rs", fallback, 0.5);
    for (CompositeTreeNode* rule : rules) top->Add(rule);
    return top;
  }
};

TEST_F(RuleSetTest, FirstHitTakesFirstRuleThatHolds) {
  model->SetRuleSetScoreMethod(DendrixPMMLModel::FirstHit);
  model->SetRoot(RuleSet(
      "C", {Rule("R1", "A", 0.9, {AtMost(d.x, 0)}),
            Rule("R2", "B", 0.8, {AtMost(d.x, 5), AtMost(d.y, 5)}), Rule("R3", "A", 0.6, {})}));
  NamedCaseRecord r;
  r.SetNumber("x", 3);
  r.SetNumber("y", 1);
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(Prediction(), "B");
  EXPECT_DOUBLE_EQ(Confidence(), 0.8);
  EXPECT_EQ(NodeId(), "R2");

  r.SetNumber("y", 9);  // R2's second condition fails; R3 has none and holds
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(NodeId(), "R3");
  EXPECT_DOUBLE_EQ(Confidence(), 0.6);
  EXPECT_THAT(Advice(), IsEmpty());
}

TEST_F(RuleSetTest, NoRuleHoldsGivesRootPredictionAtOneHalf) {
  for (DendrixPMMLModel::RuleSetMode mode :
       {DendrixPMMLModel::FirstHit, DendrixPMMLModel::Voting}) {
    DendrixPMMLModel* m = MakeModel(MakeDictionary());
    m->SetRuleSetScoreMethod(mode);
    const ScoreDictVar* x = m->GetDictionary()->GetVar("x");
    m->SetRoot(RuleSet("C", {Rule("R1", "A", 0.9, {AtMost(x, 0)})}));
    NamedCaseRecord r;
    r.SetNumber("x", 3);
    ScoreResult* res = nullptr;
    ASSERT_TRUE(m->GetScore(&r, res, false).IsOK());
    EXPECT_EQ(res->GetPrediction()->ToString(), "C") << mode;
    EXPECT_DOUBLE_EQ(res->GetConfidence(), 0.5) << mode;
    EXPECT_EQ(dynamic_cast<ScoreNodeStats&>(*res).GetNodeID(), "-1") << mode;
    delete res;
    delete m;
  }
}

TEST_F(RuleSetTest, VotingSumsConfidencesOverRulesThatHeld) {
  model->SetRuleSetScoreMethod(DendrixPMMLModel::Voting);
  model->SetRoot(
      RuleSet("C", {Rule("R1", "A", 0.9, {AtMost(d.x, 5)}), Rule("R2", "B", 0.6, {AtMost(d.x, 6)}),
                    Rule("R3", "B", 0.5, {}), Rule("R4", "A", 0.9, {AtMost(d.x, 0)})}));
  NamedCaseRecord r;
  r.SetNumber("x", 3);
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(Prediction(), "B");
  EXPECT_NEAR(Confidence(), 1.1 / 3, 1e-12);
}

TEST_F(RuleSetTest, VotingTieGoesToEarlierCategory) {
  model->SetRuleSetScoreMethod(DendrixPMMLModel::Voting);
  model->SetRoot(RuleSet("C", {Rule("R1", "B", 0.7, {}), Rule("R2", "A", 0.7, {})}));
  NamedCaseRecord r;
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(Prediction(), "A");
  EXPECT_DOUBLE_EQ(Confidence(), 0.35);
}

TEST_F(RuleSetTest, RulesPredictingNoCategoryCastNoVote) {
  model->SetRuleSetScoreMethod(DendrixPMMLModel::Voting);
  model->SetRoot(RuleSet("C", {Rule("R1", "Z", 0.9, {}), Rule("R2", "B", 0.4, {})}));
  NamedCaseRecord r;
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(Prediction(), "B");
  EXPECT_DOUBLE_EQ(Confidence(), 0.4 / 2);  // both rules held

  DendrixPMMLModel* only = MakeModel(MakeDictionary());
  only->SetRuleSetScoreMethod(DendrixPMMLModel::Voting);
  only->SetRoot(RuleSet("C", {Rule("R1", "Z", 0.9, {})}));
  ScoreResult* res = nullptr;
  ASSERT_TRUE(only->GetScore(&r, res, false).IsOK());
  EXPECT_EQ(res->GetPrediction()->ToString(), "C");
  EXPECT_DOUBLE_EQ(res->GetConfidence(), 0.5);
  delete res;
  delete only;
}

TEST_F(RuleSetTest, EnsembleFallsBackToEachRuleSetsOwnRoot) {
  model->SetRuleSetScoreMethod(DendrixPMMLModel::FirstHit);
  model->SetMultipleNodes(RuleSet("B", {Rule("S2", "C", 0.9, {AtMost(d.x, 0)})}));
  model->SetRoot(RuleSet("A", {Rule("S1", "C", 0.9, {AtMost(d.x, 0)})}));
  NamedCaseRecord r;
  r.SetNumber("x", 3);
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_TRUE(Score(r).IsOK());
    EXPECT_EQ(Prediction(), "A") << pass;  // A 0.5 against B 0.5
    EXPECT_DOUBLE_EQ(Confidence(), 0.5) << pass;
  }
  r.SetNumber("x", -1);  // both rules hold: C 0.9 twice
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(Prediction(), "C");
  EXPECT_DOUBLE_EQ(Confidence(), 1.0);
}

class RegressionRuleSetTest : public ModelTest {
 protected:
  RegressionRuleSetTest() : ModelTest({}, /*regression=*/true) {}
  void Build(DendrixPMMLModel::RuleSetMode mode) {
    model->SetRuleSetScoreMethod(mode);
    CompositeTreeNode* top = RegNode("rs", 7, -1);
    CompositeTreeNode* rule = RegNode("R1", 42, -1);
    rule->SetSplitVar({AtMost(d.x, 5)});
    top->Add(rule);
    model->SetRoot(top);
  }
};

TEST_F(RegressionRuleSetTest, FirstHitAndFallbackGiveNumbers) {
  Build(DendrixPMMLModel::FirstHit);
  NamedCaseRecord r;
  r.SetNumber("x", 1);
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_DOUBLE_EQ(result->GetPrediction()->ToDouble(), 42);
  EXPECT_EQ(NodeId(), "R1");
  r.SetNumber("x", 9);
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_DOUBLE_EQ(result->GetPrediction()->ToDouble(), 7);
}

TEST_F(RegressionRuleSetTest, VotingWithoutCategoriesFallsBack) {
  Build(DendrixPMMLModel::Voting);
  NamedCaseRecord r;
  r.SetNumber("x", 1);
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_DOUBLE_EQ(result->GetPrediction()->ToDouble(), 7);
}

}  // namespace
