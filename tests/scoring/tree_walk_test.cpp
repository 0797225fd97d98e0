#include <typeinfo>

#include "scoring_fixture.h"

using namespace scoring_test;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

// root "0": x <= 5 -> "1", x > 5 -> "2"; surrogate y <= 2 / y > 2; biggest child "2".
//   "1": color red -> "3", green -> "4", missing -> "4".
class TreeWalkTest : public ModelTest {
 protected:
  TreeWalkTest() {
    auto* n1 = Join(ClsNode("1", "A", 0.6),
                    {Categories(d.color, {{"red", 0}, {"green", 1}}, /*missingChild=*/1)},
                    {ClsNode("3", "A", 0.8, 10, {{"A", 0.8}, {"B", 0.2}}), ClsNode("4", "B", 0.7)});
    root = Join(ClsNode("0", "A", 0.5), {Threshold(d.x, 5), Threshold(d.y, 2)},
                {n1, ClsNode("2", "C", 0.6)}, /*biggest=*/1);
    model->SetRoot(root);
  }
  CompositeTreeNode* root;
};

TEST_F(TreeWalkTest, PrimaryConditionsReachLeafWithoutPenalty) {
  NamedCaseRecord r;
  r.SetNumber("x", 3);
  r.SetString("color", "red");
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(Prediction(), "A");
  EXPECT_DOUBLE_EQ(Confidence(), 0.8);
  EXPECT_EQ(NodeId(), "3");
  EXPECT_THAT(Advice(), IsEmpty());
  ASSERT_EQ(Cls().GetAllValuePercent().size(), 2u);
  EXPECT_EQ(Cls().GetAllValuePercent()[0].first->ToString(), "A");
  EXPECT_DOUBLE_EQ(Cls().GetAllValuePercent()[1].second, 0.2);
}

TEST_F(TreeWalkTest, SurrogateCostsOneFactorAndAdvises107) {
  NamedCaseRecord r;  // x missing: its split has no missing-value child
  r.SetNumber("y", 1);
  r.SetString("color", "red");
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(NodeId(), "3");
  EXPECT_DOUBLE_EQ(Confidence(), 0.8 * 0.9);
  EXPECT_THAT(Advice(), ElementsAre("104:x", "107:y"));
}

TEST_F(TreeWalkTest, DeclaredMissingValueAdvises106) {
  NamedCaseRecord r;
  r.SetNumber("x", 99);
  r.SetNumber("y", 5);
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(NodeId(), "2");
  EXPECT_DOUBLE_EQ(Confidence(), 0.6 * 0.9);
  EXPECT_THAT(Advice(), ElementsAre("106:x", "107:y"));
}

TEST_F(TreeWalkTest, MissingValueChildCostsNothing) {
  NamedCaseRecord r;
  r.SetNumber("x", 3);
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(NodeId(), "4");
  EXPECT_DOUBLE_EQ(Confidence(), 0.7);
  EXPECT_THAT(Advice(), ElementsAre("104:color"));
}

TEST_F(TreeWalkTest, InvalidCategoryGoesToMissingValueChildWith105) {
  NamedCaseRecord r;
  r.SetNumber("x", 3);
  r.SetString("color", "purple");
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(NodeId(), "4");
  EXPECT_THAT(Advice(), ElementsAre("105:color"));
}

TEST_F(TreeWalkTest, NoConditionAppliesFallsToBiggestChildWith108) {
  NamedCaseRecord r;  // neither x nor y
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(NodeId(), "2");
  EXPECT_EQ(Prediction(), "C");
  EXPECT_DOUBLE_EQ(Confidence(), 0.6 * 0.9);
  EXPECT_THAT(Advice(), ElementsAre("104:x", "107:y", "104:y", "108:x"));
}

TEST_F(TreeWalkTest, NullRecordLeavesResultAlone) {
  EXPECT_EQ(model->GetScore(nullptr, result, false).GetCode(), 90029);
  EXPECT_EQ(result, nullptr);
}

TEST_F(TreeWalkTest, IndexedRecordFindsValuesByPosition) {
  // Columns in another order than the dictionary; "y" is absent.
  IndexedCaseRecord r({"color", "other", "x"});
  for (int pass = 0; pass < 2; ++pass) {
    r.SetString(0, "green");
    r.SetNumber(2, 1);
    ASSERT_TRUE(Score(r).IsOK());
    EXPECT_EQ(NodeId(), "4");
    r.SetNumber(2, 8);
    ASSERT_TRUE(Score(r).IsOK());
    EXPECT_EQ(NodeId(), "2");
  }
  EXPECT_EQ(d.x->GetIndex(), 2);
  EXPECT_EQ(d.color->GetIndex(), 0);
  EXPECT_EQ(d.y->GetIndex(), -1);
}

// Reuse, prediction-only and null handling -----------------------------------

TEST_F(TreeWalkTest, ResultOfExactKindIsReusedAndItsAdviceCleared) {
  NamedCaseRecord r;
  r.SetNumber("x", 3);
  ASSERT_TRUE(Score(r).IsOK());
  ScoreResult* first = result;
  ASSERT_EQ(Advice().size(), 1u);
  r.SetString("color", "red");
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(result, first);
  EXPECT_THAT(Advice(), IsEmpty());
  EXPECT_EQ(NodeId(), "3");
}

TEST_F(TreeWalkTest, ResultsOfAnotherKindAreReplaced) {
  NamedCaseRecord r;
  r.SetNumber("x", 8);
  // A regression result, node statistics (classification kind but owning
  // their values) and a result made for another target are all replaced; the
  // sanitizer build checks they are destroyed exactly once.
  auto* stats = new TreeClsNodeStats();
  stats->SetPrediction(new StringValue("B"));
  DictVar other("other", ScoreDictVar::kString);
  for (ScoreResult* given :
       std::vector<ScoreResult*>{new TreeRegResult(d.target), stats, new TreeClsResult(&other)}) {
    delete result;
    result = given;
    ASSERT_TRUE(Score(r).IsOK());
    EXPECT_EQ(typeid(*result), typeid(TreeClsResult));
    EXPECT_EQ(result->GetTarget(), d.target);
    EXPECT_EQ(NodeId(), "2");
  }
}

TEST_F(TreeWalkTest, PredictionOnlyAddsNoAdviceNorPercentsAndKeepsOldAdvice) {
  NamedCaseRecord r;
  r.SetNumber("y", 1);
  r.SetString("color", "red");
  ASSERT_TRUE(Score(r).IsOK());
  ASSERT_EQ(Advice().size(), 2u);
  ASSERT_EQ(Cls().GetAllValuePercent().size(), 2u);

  model->SetPredictionOnly(true);
  NamedCaseRecord bare;  // would add 104, 107, 104, 108 if advising
  ASSERT_TRUE(Score(bare).IsOK());
  EXPECT_THAT(Advice(), ElementsAre("104:x", "107:y"));
  EXPECT_THAT(Cls().GetAllValuePercent(), IsEmpty());
  EXPECT_EQ(NodeId(), "2");
  EXPECT_DOUBLE_EQ(Confidence(), 0.6 * 0.9);
}

TEST_F(TreeWalkTest, NullHandlingStopsOnMissingValue) {
  model->SetNullHandling(true);
  NamedCaseRecord r;
  r.SetNumber("x", 3);
  r.SetString("color", "red");
  ASSERT_TRUE(Score(r).IsOK());
  ASSERT_EQ(Cls().GetAllValuePercent().size(), 2u);

  NamedCaseRecord noColor;
  noColor.SetNumber("x", 3);
  const VorqScore::VorqStatus status = Score(noColor);
  EXPECT_EQ(status.GetCode(), 90027);
  EXPECT_FALSE(status.GetFlag());
  EXPECT_EQ(result->GetPrediction(), nullptr);
  EXPECT_EQ(NodeId(), "-1");
  EXPECT_THAT(Cls().GetAllValuePercent(), IsEmpty());
}

TEST_F(TreeWalkTest, NullHandlingStopsOnValueNoChildTakes) {
  model->SetNullHandling(true);
  NamedCaseRecord r;
  r.SetNumber("x", 3);
  r.SetString("color", "blue");  // a category, but no child takes it
  EXPECT_EQ(Score(r).GetCode(), 90027);
  EXPECT_EQ(result->GetPrediction(), nullptr);
}

// Empty leaves and fallbacks -------------------------------------------------

class EmptyLeafTest : public ModelTest {};

TEST_F(EmptyLeafTest, EmptyLeafReportsItsParent) {
  model->SetRoot(Join(ClsNode("r", "B", 0.55), {Threshold(d.x, 5)},
                      {ClsNode("e", "A", 0.0, 0.0), ClsNode("f", "C", 0.0, 4.0)}));
  NamedCaseRecord r;
  r.SetNumber("x", 1);
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(NodeId(), "r");
  EXPECT_EQ(Prediction(), "B");
  EXPECT_DOUBLE_EQ(Confidence(), 0.55);
  // Confidence 0 alone (records present) is not an empty leaf.
  r.SetNumber("x", 9);
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(NodeId(), "f");
  EXPECT_DOUBLE_EQ(Confidence(), 0.0);
}

TEST_F(EmptyLeafTest, EmptyRootLeafReportsItself) {
  model->SetRoot(ClsNode("only", "C", 0.0, 0.0));
  NamedCaseRecord r;
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(NodeId(), "only");
  EXPECT_EQ(Prediction(), "C");
}

TEST_F(EmptyLeafTest, BiggestChildNamingNoChildStopsAtTheNode) {
  model->SetRoot(Join(ClsNode("r", "B", 0.55), {Threshold(d.x, 5)},
                      {ClsNode("a", "A", 0.9), ClsNode("b", "C", 0.9)}, /*biggest=*/7));
  NamedCaseRecord r;
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(NodeId(), "r");
  EXPECT_DOUBLE_EQ(Confidence(), 0.55);
  EXPECT_THAT(Advice(), ElementsAre("104:x", "108:x"));
}

TEST_F(EmptyLeafTest, PositionOfAnEmptySlotIsNotFollowed) {
  CompositeTreeNode* top = Join(ClsNode("r", "B", 0.5), {Threshold(d.x, 5), Threshold(d.y, 5)},
                                {ClsNode("a", "A", 0.9), ClsNode("b", "C", 0.8)}, 1);
  top->Remove(0);  // slot 0 stays, empty
  model->SetRoot(top);
  NamedCaseRecord r;
  r.SetNumber("x", 1);  // position 0: empty, so the surrogate decides
  r.SetNumber("y", 9);
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(NodeId(), "b");
  EXPECT_DOUBLE_EQ(Confidence(), 0.8 * 0.9);
}

TEST_F(EmptyLeafTest, NodeWithoutStatisticsGivesNoPrediction) {
  auto* bare = new CompositeTreeNode(true);  // a node without statistics
  model->SetRoot(Join(ClsNode("r", "B", 0.5), {Threshold(d.x, 5)}, {ClsNode("a", "A", 0.9), bare}));
  NamedCaseRecord r;
  r.SetNumber("x", 1);
  EXPECT_EQ(Score(r).GetCode(), 90027);
  EXPECT_EQ(result->GetPrediction(), nullptr);
}

// Regression -----------------------------------------------------------------

class RegressionWalkTest : public ModelTest {
 protected:
  RegressionWalkTest() : ModelTest({}, /*regression=*/true) {}
};

TEST_F(RegressionWalkTest, LeafGivesValueDeviationAndIdentifier) {
  auto* top = new CompositeTreeNode(true);
  auto* stats = new TreeRegNodeStats();
  stats->SetPrediction(new NumericValue(5));
  top->SetNodeStats(stats);
  top->SetSplitVar({Threshold(d.x, 5), Threshold(d.y, 5)});
  top->Add(RegNode("lo", 12.5, 2.0));
  top->Add(RegNode("hi", 40, 3.5));
  stats->SetBiggestChild(0);
  model->SetRoot(top);

  NamedCaseRecord r;
  r.SetNumber("y", 8);
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(result->GetScoreResultType(), ScoreResult::kRegression);
  EXPECT_EQ(typeid(*result), typeid(TreeRegResult));
  EXPECT_DOUBLE_EQ(result->GetPrediction()->ToDouble(), 40);
  EXPECT_DOUBLE_EQ(dynamic_cast<TreeRegResult&>(*result).GetStdDev(), 3.5);
  EXPECT_EQ(NodeId(), "hi");
  EXPECT_DOUBLE_EQ(result->GetConfidence(), -1.0);
  EXPECT_THAT(Advice(), ElementsAre("104:x", "107:y"));

  // A classification result handed to a regression model is replaced.
  delete result;
  result = new TreeClsResult(d.target);
  r.SetNumber("x", 1);
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(typeid(*result), typeid(TreeRegResult));
  EXPECT_EQ(NodeId(), "lo");
}

}  // namespace
