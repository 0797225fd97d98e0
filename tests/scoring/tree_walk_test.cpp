#include <typeinfo>

#include "scoring_fixture.h"

using namespace scoring_test;
using ::testing::IsEmpty;

namespace {

class TreeWalkTest : public ModelTest {
 protected:
  TreeWalkTest() { model->SetRoot(RoutingTree(d)); }
};

// Each surrogate or fallback step costs a factor 0.9; a missing-value child costs nothing.
TEST_F(TreeWalkTest, RoutesWithAdviceAndPenalties) {
  Check({
      {"x=3 color=red", "A", 0.8, "3"},
      {"y=1 color=red", "A", 0.8 * 0.9, "3", {"104:x", "107:y"}},
      {"x=99 y=5", "C", 0.6 * 0.9, "2", {"106:x", "107:y"}},  // declared missing
      {"x=3", "B", 0.7, "4", {"104:color"}},
      {"x=3 color=purple", "B", 0.7, "4", {"105:color"}},  // not a category
      {"", "C", 0.6 * 0.9, "2", {"104:x", "107:y", "104:y", "108:x"}},
  });
  delete result;
  result = nullptr;
  EXPECT_EQ(model->GetScore(nullptr, result, false).GetCode(), 90029);
  EXPECT_EQ(result, nullptr);
}

// A result of the exact kind is reused with its advice cleared (every table
// of cases reuses one; the hot-path test counts the allocations).
TEST_F(TreeWalkTest, ResultsOfAnotherKindAreReplaced) {
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
    ASSERT_TRUE(Score("x=8").IsOK());
    EXPECT_EQ(typeid(*result), typeid(TreeClsResult));
    EXPECT_EQ(result->GetTarget(), d.target);
  }
}

// Prediction only adds no advice nor percents and keeps the old advice; null
// handling stops on a missing or unrouted value.
TEST_F(TreeWalkTest, PredictionOnlyAndNullHandling) {
  Score("y=1 color=red");
  ASSERT_EQ(Cls().GetAllValuePercent().size(), 2u);
  model->SetPredictionOnly(true);
  // Advising would add 104, 107, 104, 108.
  Check({{"", "C", 0.6 * 0.9, "2", {"104:x", "107:y"}}});
  EXPECT_THAT(Cls().GetAllValuePercent(), IsEmpty());

  model->SetPredictionOnly(false);
  model->SetNullHandling(true);
  Score("x=3 color=red");
  ASSERT_EQ(Cls().GetAllValuePercent().size(), 2u);
  Check({{"x=3", "", 0, "-1"}});
  EXPECT_THAT(Cls().GetAllValuePercent(), IsEmpty());
  Check({{"x=3 color=blue", "", 0, "-1"}});  // a category, but no child takes it
}

// Empty leaves and fallbacks -------------------------------------------------

class EmptyLeafTest : public ModelTest {};

TEST_F(EmptyLeafTest, EmptyLeafReportsItsParent) {
  model->SetRoot(Join(ClsNode("r", "B", 0.55), {Threshold(d.x, 5)},
                      {ClsNode("e", "A", 0.0, 0.0), ClsNode("f", "C", 0.0, 4.0)}));
  // Confidence 0 alone (records present) is not an empty leaf.
  Check({{"x=1", "B", 0.55, "r"}, {"x=9", "C", 0.0, "f"}});
  model->SetRoot(ClsNode("only", "C", 0.0, 0.0));  // an empty root reports itself
  Check({{"", "C", 0.0, "only"}});
}

TEST_F(EmptyLeafTest, BiggestChildNamingNoChildStopsAtTheNode) {
  model->SetRoot(Join(ClsNode("r", "B", 0.55), {Threshold(d.x, 5)},
                      {ClsNode("a", "A", 0.9), ClsNode("b", "C", 0.9)}, /*biggest=*/7));
  Check({{"", "B", 0.55, "r", {"104:x", "108:x"}}});
}

TEST_F(EmptyLeafTest, PositionOfAnEmptySlotIsNotFollowed) {
  CompositeTreeNode* top = Join(ClsNode("r", "B", 0.5), {Threshold(d.x, 5), Threshold(d.y, 5)},
                                {ClsNode("a", "A", 0.9), ClsNode("b", "C", 0.8)}, 1);
  top->Remove(0);  // slot 0 stays, empty
  model->SetRoot(top);
  // x routes to the empty slot, so the surrogate decides.
  Check({{"x=1 y=9", "C", 0.8 * 0.9, "b", {"107:y"}}});
}

TEST_F(EmptyLeafTest, NodeWithoutStatisticsGivesNoPrediction) {
  auto* bare = new CompositeTreeNode(true);
  model->SetRoot(Join(ClsNode("r", "B", 0.5), {Threshold(d.x, 5)}, {ClsNode("a", "A", 0.9), bare}));
  Check({{"x=1", "", 0, "-1"}});
}

using RegressionWalkTest = RegressionModelTest;

TEST_F(RegressionWalkTest, LeafGivesValueDeviationAndIdentifier) {
  model->SetRoot(Join(RegNode("r", 5, 0), {Threshold(d.x, 5), Threshold(d.y, 5)},
                      {RegNode("lo", 12.5, 2.0), RegNode("hi", 40, 3.5)}));
  Check({{"y=8", "40", -1.0, "hi", {"104:x", "107:y"}}});
  EXPECT_DOUBLE_EQ(dynamic_cast<TreeRegResult&>(*result).GetStdDev(), 3.5);
}

}  // namespace
