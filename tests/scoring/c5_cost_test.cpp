#include "scoring_fixture.h"

using namespace scoring_test;
using ::testing::ElementsAre;
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
};

TEST_F(C5Test, UnroutableCaseIsSpreadByRecordCounts) {
  model->SetRoot(
      Inner("r", 40, {Threshold(d.x, 5)}, {Leaf("l1", 30, 0.8, 0.2), Leaf("l2", 10, 0.1, 0.9)}));
  NamedCaseRecord r;
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(Prediction(), "A");
  EXPECT_NEAR(Confidence(), 0.625, 1e-12);
  EXPECT_EQ(NodeId(), "-1");
  EXPECT_THAT(Cls().GetAllValuePercent(), IsEmpty());
  EXPECT_THAT(Advice(), ElementsAre("104:x"));  // no 108 in C5 mode

  r.SetNumber("x", 9);  // routable cases walk as usual
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(NodeId(), "l2");
  EXPECT_EQ(Prediction(), "B");
}

TEST_F(C5Test, NestedSplitsKeepFirstLevelWeights) {
  auto* inner =
      Inner("i", 30, {Threshold(d.y, 5)}, {Leaf("l1", 20, 0.9, 0.1), Leaf("l2", 10, 0.2, 0.8)});
  model->SetRoot(Inner("r", 40, {Threshold(d.x, 5)}, {inner, Leaf("l3", 10, 0.1, 0.9)}));
  NamedCaseRecord r;
  r.SetNumber("y", 1);  // the 0.75 share goes on to l1
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(Prediction(), "A");
  EXPECT_NEAR(Confidence(), 0.75 * 0.9 + 0.25 * 0.1, 1e-12);

  NamedCaseRecord none;  // split again at "i": 2/3 and 1/3 of the 0.75 share
  ASSERT_TRUE(Score(none).IsOK());
  EXPECT_EQ(Prediction(), "A");
  EXPECT_NEAR(Confidence(), 0.75 * (2.0 / 3 * 0.9 + 1.0 / 3 * 0.2) + 0.25 * 0.1, 1e-12);
}

TEST_F(C5Test, MissingValueChildIsFollowedNotSplit) {
  auto* inner = Inner("i", 30, {Threshold(d.y, 5, /*missingChild=*/1)},
                      {Leaf("l1", 20, 0.9, 0.1), Leaf("l2", 10, 0.2, 0.8)});
  model->SetRoot(Inner("r", 40, {Threshold(d.x, 5)}, {inner, Leaf("l3", 10, 0.1, 0.9)}));
  NamedCaseRecord r;
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(Prediction(), "B");
  EXPECT_NEAR(Confidence(), 0.75 * 0.8 + 0.25 * 0.9, 1e-12);
  EXPECT_THAT(Advice(), ElementsAre("104:x", "104:y"));
}

TEST_F(C5Test, TieGoesToEarlierCategory) {
  model->SetRoot(
      Inner("r", 20, {Threshold(d.x, 5)}, {Leaf("l1", 10, 0.2, 0.8), Leaf("l2", 10, 0.8, 0.2)}));
  NamedCaseRecord r;
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(Prediction(), "A");
  EXPECT_NEAR(Confidence(), 0.5, 1e-12);
}

TEST_F(C5Test, ZeroRecordCountGivesEqualShares) {
  model->SetRoot(
      Inner("r", 0, {Threshold(d.x, 5)}, {Leaf("l1", 30, 0.8, 0.2), Leaf("l2", 10, 0.1, 0.9)}));
  NamedCaseRecord r;
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(Prediction(), "B");
  EXPECT_NEAR(Confidence(), 0.55, 1e-12);
}

TEST_F(C5Test, LeafWithoutPerCategoryConfidencesCountsAsZeros) {
  model->SetRoot(Inner("r", 40, {Threshold(d.x, 5)},
                       {Leaf("l1", 30, 0.8, 0.2), Leaf("l2", 10, 0.1, 0.9, false)}));
  NamedCaseRecord r;
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(Prediction(), "A");
  EXPECT_NEAR(Confidence(), 0.6, 1e-12);
}

TEST_F(C5Test, NullHandlingStopAtAnyDepthLeavesNoPrediction) {
  model->SetNullHandling(true);
  // Nodes without splits hand the case to C5 at once; the stop happens in a
  // nested split, on y.
  auto* j =
      Inner("j", 20, {Threshold(d.y, 5)}, {Leaf("l1", 10, 0.9, 0.1), Leaf("l2", 10, 0.2, 0.8)});
  auto* i = Inner("i", 30, {}, {j, Leaf("l3", 10, 0.9, 0.1)});
  model->SetRoot(Inner("r", 40, {}, {i, Leaf("l4", 10, 0.9, 0.1)}));
  NamedCaseRecord r;
  const VorqScore::VorqStatus status = Score(r);
  EXPECT_EQ(status.GetCode(), 90027);
  EXPECT_EQ(result->GetPrediction(), nullptr);
  EXPECT_EQ(NodeId(), "-1");

  r.SetNumber("y", 1);
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(Prediction(), "A");
  // i takes 0.75 and splits it 2/3 (j, routed to l1) and 1/3 (l3).
  EXPECT_NEAR(Confidence(), 0.75 * (2.0 / 3 * 0.9 + 1.0 / 3 * 0.9) + 0.25 * 0.9, 1e-12);
}

TEST_F(C5Test, CostsPickCheapestCategoryOfTheDistribution) {
  model->SetRoot(
      Inner("r", 40, {Threshold(d.x, 5)}, {Leaf("l1", 30, 0.8, 0.2), Leaf("l2", 10, 0.1, 0.9)}));
  model->SetMisclassificationCost(CostMap{{"A", {{"B", 2.0}}}});
  NamedCaseRecord r;  // A costs 2 * 0.375, B costs 0.625
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(Prediction(), "B");
  EXPECT_NEAR(Confidence(), 0.375, 1e-12);
}

TEST_F(C5Test, RegressionModelIgnoresC5) {
  Dictionary rd = MakeDictionary({}, true);
  DendrixPMMLModel* m = MakeModel(rd);
  m->SetCFive(true);
  m->SetRoot(Join(RegNode("r", 1, 0), {Threshold(rd.x, 5)},
                  {RegNode("lo", 2, 0), RegNode("hi", 3, 0)}, /*biggest=*/1));
  NamedCaseRecord r;
  ScoreResult* res = nullptr;
  ASSERT_TRUE(m->GetScore(&r, res, false).IsOK());
  EXPECT_DOUBLE_EQ(res->GetPrediction()->ToDouble(), 3);
  delete res;
  delete m;
}

// Misclassification costs ------------------------------------------------------

class CostTest : public ModelTest {
 protected:
  // A leaf predicting A from shares A 0.6, B 0.4 of 10 records; with the
  // target, its per-category confidences are 7/13, 5/13 and 0.
  CompositeTreeNode* CostLeaf(bool withTarget = true) {
    return ClsNode("leaf", "A", 0.6, 10, {{"A", 0.6}, {"B", 0.4}}, withTarget ? d.target : nullptr);
  }
  int Cheapest(const std::vector<double>& p) {
    return DendrixPMMLModelTestPeer::CheapestCategory(*model, p);
  }
};

TEST_F(CostTest, MatrixFromMap) {
  model->SetRoot(ClsNode("0", "A", 0.5));
  model->SetMisclassificationCost(
      CostMap{{"A", {{"A", 7.0}, {"B", 5.0}, {"Z", 3.0}}}, {"C", {{"A", 2.0}}}, {"Q", {}}});
  const auto& m = DendrixPMMLModelTestPeer::CostMatrix(*model);
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[0], (std::vector<double>{0, 5, 1}));
  EXPECT_EQ(m[1], (std::vector<double>{1, 0, 1}));
  EXPECT_EQ(m[2], (std::vector<double>{2, 1, 0}));
}

TEST_F(CostTest, CheapestCategory) {
  model->SetRoot(ClsNode("0", "A", 0.5));
  model->SetMisclassificationCost(CostMap{{"Z", {{"A", 5.0}}}});  // names no category
  EXPECT_EQ(Cheapest({0.2, 0.5, 0.3}), 1);
  EXPECT_EQ(Cheapest({0.4, 0.4, 0.2}), 0);
  EXPECT_EQ(Cheapest({0.2, 0.1}), 0);  // the missing entry counts as 0: A costs 0.1

  model->SetMisclassificationCost(CostMap{{"A", {{"B", 5.0}}}});
  EXPECT_EQ(Cheapest({0.3, 0.7, 0}), 1);
  model->SetMisclassificationCost(CostMap{{"B", {{"A", 10.0}}}});
  EXPECT_EQ(Cheapest({0.3, 0.7, 0}), 0);
}

TEST_F(CostTest, LeafPredictsCheapestCategoryWithItsConfidence) {
  model->SetRoot(Join(ClsNode("r", "A", 0.5), {Threshold(d.x, 5), Threshold(d.y, 5)},
                      {CostLeaf(), ClsNode("other", "C", 0.5)}));
  model->SetMisclassificationCost(CostMap{{"A", {{"B", 10.0}}}});
  NamedCaseRecord r;
  r.SetNumber("x", 1);
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(Prediction(), "B");
  EXPECT_DOUBLE_EQ(Confidence(), 5.0 / 13);
  EXPECT_EQ(NodeId(), "leaf");

  NamedCaseRecord viaSurrogate;
  viaSurrogate.SetNumber("y", 1);
  ASSERT_TRUE(Score(viaSurrogate).IsOK());
  EXPECT_EQ(Prediction(), "B");
  EXPECT_DOUBLE_EQ(Confidence(), 5.0 / 13 * 0.9);
}

TEST_F(CostTest, CostsGivenBeforeTheTreeApplyOnceItArrives) {
  model->SetMisclassificationCost(CostMap{{"A", {{"B", 10.0}}}});
  model->SetRoot(CostLeaf());
  NamedCaseRecord r;
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(Prediction(), "B");
}

TEST_F(CostTest, LeafWithoutPerCategoryConfidencesKeepsItsPrediction) {
  model->SetRoot(CostLeaf(/*withTarget=*/false));
  model->SetMisclassificationCost(CostMap{{"A", {{"B", 10.0}}}});
  NamedCaseRecord r;
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(Prediction(), "A");
  EXPECT_DOUBLE_EQ(Confidence(), 0.6);
}

TEST_F(CostTest, EmptyMapLeavesCostsOff) {
  model->SetRoot(CostLeaf());
  model->SetMisclassificationCost(CostMap{});
  NamedCaseRecord r;
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(Prediction(), "A");
}

TEST_F(CostTest, EnsembleVotesGoToCheapestCategory) {
  model->SetMultipleNodes(ClsNode("t2", "B", 0.6));
  model->SetMultipleNodes(ClsNode("t3", "B", 0.5));
  model->SetRoot(ClsNode("t1", "A", 0.9));
  model->SetMisclassificationCost(CostMap{{"B", {{"A", 10.0}}}});
  NamedCaseRecord r;
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(Prediction(), "A");
  EXPECT_DOUBLE_EQ(Confidence(), 0.9 / 2.0);
}

TEST_F(CostTest, RuleVotesGoToCheapestCategory) {
  model->SetRuleSetScoreMethod(DendrixPMMLModel::Voting);
  CompositeTreeNode* top = ClsNode("rs", "C", 0.5);
  top->Add(ClsNode("R1", "A", 0.9));
  top->Add(ClsNode("R2", "B", 0.6));
  top->Add(ClsNode("R3", "B", 0.5));
  model->SetRoot(top);
  model->SetMisclassificationCost(CostMap{{"B", {{"A", 10.0}}}});
  NamedCaseRecord r;
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(Prediction(), "A");
  EXPECT_NEAR(Confidence(), 0.9 / 3, 1e-12);
}

}  // namespace
