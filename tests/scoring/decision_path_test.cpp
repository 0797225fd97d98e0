#include <sstream>

#include "scoring_fixture.h"

using namespace scoring_test;

namespace {

// Paths written one step a word: "id[condition]", "*share" when below 1,
// trees separated by "|".
std::string Text(const DecisionPath& path) {
  std::ostringstream out;
  for (const std::vector<DecisionStep>& tree : path.trees) {
    out << (&tree != &path.trees.front() ? " | " : "");
    for (const DecisionStep& step : tree) {
      out << (&step != &tree.front() ? " " : "") << step.nodeId;
      if (!step.condition.empty()) out << "[" << step.condition << "]";
      if (step.weight < 1) out << "*" << step.weight;
    }
  }
  return out.str();
}

class DecisionPathTest : public ModelTest {
 protected:
  void Check(const std::vector<std::pair<std::string, std::string>>& rows) {
    for (const auto& [values, expected] : rows) {
      SCOPED_TRACE(values);
      NamedCaseRecord record;
      Fill(record, values);
      EXPECT_TRUE(model->GetDecisionPath(&record, path, false));
      EXPECT_EQ(Text(path), expected);
    }
  }

  DecisionPath path;
};

TEST_F(DecisionPathTest, EachStepSaysWhichConditionOrFallbackRoutedTheCase) {
  model->SetRoot(RoutingTree(d));
  Check({
      {"x=3 color=red", "0 1[x <= 5] 3[color = red]"},
      {"y=1 color=green", "0 1[surrogate y <= 2] 4[color = green]"},
      {"x=99 y=5", "0 2[surrogate y > 2]"},  // 99 is a declared missing value of x
      {"x=3", "0 1[x <= 5] 4[color has no value: missing-value child]"},
      {"x=3 color=purple", "0 1[x <= 5] 4[color not a known category: missing-value child]"},
      {"", "0 2[no condition applies: biggest child]"},
  });
  // Without advice (prediction only) a missing value takes no missing-value child.
  model->SetPredictionOnly(true);
  Check({{"x=3", "0 1[x <= 5] 3[no condition applies: biggest child]"}});
  // Null handling stops where the value is missing.
  model->SetPredictionOnly(false);
  model->SetNullHandling(true);
  Check({{"x=3", "0 1[x <= 5]"}});
}

TEST_F(DecisionPathTest, EmptyNodeHandsTheAnswerToItsParent) {
  model->SetRoot(Join(ClsNode("0", "A", 0.5), {Threshold(d.x, 5)},
                      {ClsNode("1", "B", 0.0, 0.0), ClsNode("2", "C", 0.6)}));
  Check({{"x=1", "0 1[x <= 5] 0[empty node: its parent answers]"}});
  EXPECT_EQ(path.trees[0].back().depth, 0);
}

TEST_F(DecisionPathTest, UnroutedC5CaseListsEveryBranchWithItsShare) {
  model->SetCFive(true);
  auto leaf = [&](const std::string& id, double total) {
    return ClsNode(id, "A", 0.5, total, {{"A", 0.5}, {"B", 0.5}}, d.target);
  };
  auto* inner =
      Join(ClsNode("i", "A", 0.5, 30), {Threshold(d.y, 5)}, {leaf("l1", 20), leaf("l2", 10)});
  model->SetRoot(Join(ClsNode("r", "A", 0.5, 40), {Threshold(d.x, 5)}, {inner, leaf("l3", 10)}));
  const std::string share = "[no condition applies: share by records]";
  Check({
      {"x=1 y=9", "r i[x <= 5] l2[y > 5]"},
      {"y=1", "r i" + share + "*0.75 l1[y <= 5]*0.75 l3" + share + "*0.25"},
      {"", "r i" + share + "*0.75 l1" + share + "*0.5 l2" + share + "*0.25 l3" + share + "*0.25"},
  });
  std::vector<int> depths;
  for (const DecisionStep& step : path.trees[0]) depths.push_back(step.depth);
  EXPECT_EQ(depths, (std::vector<int>{0, 1, 2, 2, 1}));
}

TEST_F(DecisionPathTest, EnsemblesGiveOnePathPerTreeAndRuleSetsTheRulesThatHeld) {
  Trees({Join(ClsNode("a0", "A", 0.5), {Threshold(d.x, 5)},
              {ClsNode("a1", "A", 0.9), ClsNode("a2", "B", 0.9)}),
         Join(ClsNode("b0", "A", 0.5), {Categories(d.color, {{"red", 0}, {"green", 0}})},
              {ClsNode("b1", "B", 0.9)})});
  Check({{"x=7 color=green", "a0 a2[x > 5] | b0 b1[color in {red, green}]"}});

  Reset();
  model->SetRuleSetScoreMethod(DendrixPMMLModel::FirstHit);
  model->SetRoot(RuleSet(
      "C", {Rule("R1", "A", 0.9, {AtMost(d.x, 0)}),
            Rule("R2", "A", 0.9, {AtMost(d.x, 5), AtMost(d.y, 5)}), Rule("R3", "A", 0.9, {})}));
  Check({{"x=3 y=1", "rs R2[x <= 5 and y <= 5]"}, {"x=3 y=9", "rs R3[always]"}});
  model->SetRuleSetScoreMethod(DendrixPMMLModel::Voting);
  Check({{"x=3 y=1", "rs R2[x <= 5 and y <= 5] R3[always]"}});
}

}  // namespace
