// Node construction: identifiers, record counts and shares, biggest child and
// confidence index, predicates per child, rule sets and regression nodes.

#include <sstream>
#include <string>
#include <vector>

#include "host/ScoreSplitVar.h"
#include "reader_support.h"

using namespace reader_test;

namespace {

using Strings = std::vector<std::string>;

const std::string kTrue = "<True/>";

std::string Ext(const std::string& name, const std::string& value) {
  return "<Extension name=\"" + name + "\" value=\"" + value + "\"/>";
}

// "A 0.6 B 0.4 ": each category with its share of the node's records.
std::string Shares(const TreeNode* node) {
  std::ostringstream text;
  for (const auto& [value, share] : ClsStats(node)->GetAllValuePercent()) {
    text << value->ToString() << ' ' << share << ' ';
  }
  return text.str();
}

std::string RuleSetTree(const std::string& rootExtra, const std::string& firstRuleExtra = "") {
  const std::string rules =
      ClsNode("A", Simple("x", "lessThan", "1") + firstRuleExtra + Dist("A", "5") + Dist("B", "3") +
                       Dist("C", "2")) +
      ClsNode("B", "<CompoundPredicate booleanOperator=\"and\">" + Simple("x", "greaterThan", "2") +
                       Simple("y", "lessThan", "3") + "</CompoundPredicate>" + Dist("B", "4")) +
      ClsNode("C", kTrue + Dist("C", "1"));
  return TreeModel(ClsNode("A", rootExtra + Dist("A", "6") + rules), "algorithmName=\"RuleSet\"");
}

std::string RegDocument(const std::string& nodes) {
  return Document(TreeModel(nodes, "", Schema("amount", {"x"})));
}

std::string RegInfo(const std::string& stdDev) {
  return "<Extension><X-Node><X-RegInfo stdDev=\"" + stdDev + "\"/></X-Node></Extension>";
}

}  // namespace

TEST_F(ReaderTest, NodeIdentifiersFollowAttributesExtensionsAndTheCounter) {
  const std::string first = TreeModel(
      ClsNode("A",
              ClsNode("A", kTrue + ClsNode("A", kTrue)) +
                  // No identifier of its own: the first x-nodeId Extension below it
                  // in document order (inside a child) wins over a later direct one.
                  ClsNode("B", kTrue + ClsNode("B", kTrue + Ext("x-nodeId", "deep"), "id=\"g\"") +
                                   Ext("x-nodeId", "later")) +
                  // Extensions of other names only: no identifier, counter unchanged.
                  ClsNode("C", kTrue + Ext("other", "1")) + ClsNode("A", kTrue) +
                  ClsNode("A", kTrue, "x-nodeId=\"xa\" id=\"ia\""),
              "x-nodeId=\"\" id=\"r\""));
  const std::string second = TreeModel(ClsNode("A", ClsNode("A", kTrue)));
  ReadOutcome outcome = ReadOk(Document(first + second));
  ASSERT_TRUE(outcome.model);
  EXPECT_EQ(Ids(outcome.Model()->GetTree(0)),
            (Strings{"r", "0", "1", "deep", "g", "-1", "2", "xa"}));
  EXPECT_EQ(Ids(outcome.Model()->GetTree(1)), (Strings{"3", "4"}));
}

// Values of a numeric target are read as numbers ("2.0" is 2).
TEST_F(ReaderTest, RecordCountsAndShares) {
  const std::string own = "recordCount=\"100\"";
  const std::string probabilityA = "<ScoreDistribution value=\"A\" recordCount=\"10\">" +
                                   Ext("probability", "0.9") + "</ScoreDistribution>";
  struct Case {
    std::string name, node;
    double total;
    std::string shares, prediction = "A", schema = Schema();
  };
  const std::vector<Case> cases = {
      {"own count", ClsNode("A", Dist("A", "60") + Dist("B", "50"), own), 100, "A 0.6 B 0.5 "},
      {"summed counts", ClsNode("A", Dist("A", "30") + Dist("B", "70")), 100, "A 0.3 B 0.7 "},
      {"empty count attribute is absent",
       ClsNode("A", Dist("A", "1") + Dist("B", "3"), "recordCount=\"\""), 4, "A 0.25 B 0.75 "},
      {"all zero", ClsNode("A", Dist("A", "0") + Dist("B", "0")), 0, "A 0 B 0 "},
      {"probability extension", ClsNode("A", probabilityA + Dist("B", "90"), own), 100,
       "A 0.9 B 0.9 "},
      {"only the first Extension counts",
       ClsNode("A",
               "<ScoreDistribution value=\"A\" recordCount=\"10\">" + Ext("other", "1") +
                   Ext("probability", "0.9") + "</ScoreDistribution>",
               own),
       100, "A 0.1 "},
      {"numeric target", ClsNode("2.0", Dist("1", "1") + Dist("2.0", "3")), 4, "1 0.25 2 0.75 ",
       "2", Schema("code", {"x"})},
  };
  for (const Case& c : cases) {
    ReadOutcome outcome = ReadOk(Document(TreeModel(c.node, "", c.schema)));
    ASSERT_TRUE(outcome.model) << c.name;
    const TreeNode* root = outcome.Model()->GetRoot();
    EXPECT_DOUBLE_EQ(ClsStats(root)->GetTotalRecord(), c.total) << c.name;
    EXPECT_EQ(Shares(root), c.shares) << c.name;
    EXPECT_EQ(ClsStats(root)->GetPrediction()->ToString(), c.prediction) << c.name;
  }
}

TEST_F(ReaderTest, NodeStatisticFailures) {
  const std::string invalidCount = "invalid recordCount value in ScoreDistribution!!";
  const std::string negative = "recordCount can't be negative!";
  struct Case {
    std::string name, node;
    int code;
    std::string message;  // empty: the host's wording
    std::string schema = Schema();
  };
  const std::vector<Case> cases = {
      {"share above the own count", ClsNode("A", Dist("A", "120"), "recordCount=\"100\""), 3,
       invalidCount},
      {"nonzero share of a zero total", ClsNode("A", Dist("A", "2"), "recordCount=\"0\""), 3,
       invalidCount},
      {"negative share under an own count", ClsNode("A", Dist("A", "-1"), "recordCount=\"10\""), 3,
       invalidCount},
      {"negative own count", ClsNode("A", "", "recordCount=\"-1\""), 5, negative},
      {"negative summed count", ClsNode("A", Dist("A", "5") + Dist("B", "-1")), 5, negative},
      {"category not of the target", ClsNode("A", Dist("D", "1")), 3,
       "D: is invalid value in ScoreDistribution!!"},
      {"score not of the target", ClsNode("Z", ""), 3, "Z: is invalid score value!!"},
      {"no score", "<Node/>", 1, ""},
      {"count not a number", ClsNode("A", "", "recordCount=\"many\""), 3, ""},
      {"distribution without value", ClsNode("A", "<ScoreDistribution recordCount=\"1\"/>"), 1, ""},
      {"numeric score not a number", ClsNode("two", ""), 3, "", Schema("code", {"x"})},
      {"numeric score not a category", ClsNode("3", ""), 3, "3: is invalid score value!!",
       Schema("code", {"x"})},
  };
  for (const Case& c : cases)
    Refused(Document(TreeModel(c.node, "", c.schema)), c.code, c.message, c.name);
}

TEST_F(ReaderTest, BiggestChildAndChildOnMaxConfidence) {
  // Confidences (c + 1) / (N + K): 6/12, 21/42 and 31/42.
  const std::string children =
      ClsNode("A", kTrue + Dist("A", "5") + Dist("B", "5"), "recordCount=\"10\"") +
      ClsNode("A", kTrue + Dist("A", "20") + Dist("B", "20"), "recordCount=\"40\"") +
      ClsNode("A", kTrue + Dist("A", "30") + Dist("B", "10"), "recordCount=\"40\"");
  ReadOutcome outcome = ReadOk(Document(TreeModel(ClsNode("A", children))));
  ASSERT_TRUE(outcome.model);
  const TreeNode* root = outcome.Model()->GetRoot();
  EXPECT_EQ(root->GetNodeStats()->GetBiggestChild(), 1);
  EXPECT_EQ(root->GetNodeStats()->GetChildIndexOnMaxConfidence(), 2);
  EXPECT_NEAR(ClsStats(root->GetChildAt(2))->GetConfidence(), 31.0 / 42.0, 1e-12);
  EXPECT_EQ(root->GetChildAt(0)->GetNodeStats()->GetBiggestChild(), 0);
  EXPECT_EQ(root->GetChildAt(0)->GetNodeStats()->GetChildIndexOnMaxConfidence(), -1);

  // Equal confidences keep the earlier child.
  const std::string even = ClsNode("A", kTrue + Dist("A", "5") + Dist("B", "5")) +
                           ClsNode("A", kTrue + Dist("A", "10") + Dist("B", "10"));
  ReadOutcome tie = ReadOk(Document(TreeModel(ClsNode("A", even))));
  ASSERT_TRUE(tie.model);
  EXPECT_EQ(tie.Model()->GetRoot()->GetNodeStats()->GetChildIndexOnMaxConfidence(), 0);
  EXPECT_EQ(tie.Model()->GetRoot()->GetNodeStats()->GetBiggestChild(), 1);

  // A True inside a compound makes its child the biggest, whatever the counts.
  const std::string fallback =
      ClsNode("A", Simple("x", "lessThan", "5") + Dist("A", "50"), "recordCount=\"50\"") +
      ClsNode("B",
              "<CompoundPredicate booleanOperator=\"surrogate\">" +
                  Simple("x", "greaterOrEqual", "5") + kTrue + "</CompoundPredicate>" +
                  Dist("B", "2"),
              "recordCount=\"2\"");
  ReadOutcome marked = ReadOk(Document(TreeModel(ClsNode("A", fallback))));
  ASSERT_TRUE(marked.model);
  EXPECT_EQ(marked.Model()->GetRoot()->GetNodeStats()->GetBiggestChild(), 1);
}

TEST_F(ReaderTest, OnePredicatePerChild) {
  const std::string onlyOne = "Only one PREDICATE element allowed!";
  Refused(Document(TreeModel(
              ClsNode("A", ClsNode("A", Simple("x", "lessThan", "5") + "<CompoundPredicate>" +
                                            Simple("y", "lessThan", "1") + "</CompoundPredicate>") +
                               ClsNode("B", Simple("x", "greaterOrEqual", "5"))))),
          1, onlyOne);
  Refused(Document(TreeModel(ClsNode(
              "A", ClsNode("A",
                           "<SimpleSetPredicate field=\"color\" booleanOperator=\"isIn\">"
                           "<Array n=\"1\" type=\"string\">red</Array></SimpleSetPredicate>" +
                               Simple("x", "lessThan", "5"))))),
          1, onlyOne);

  // True adds nothing to the parent's splits.
  ReadOutcome ok = ReadOk(Document(
      TreeModel(ClsNode("A", ClsNode("A", Simple("x", "lessThan", "5")) + ClsNode("B", kTrue)))));
  ASSERT_TRUE(ok.model);
  ASSERT_EQ(SplitNames(ok.Model()->GetRoot()), Strings{"x"});
  const auto* split = dynamic_cast<const ScaleSplit*>(ok.Model()->GetRoot()->GetSplitVar()->at(0));
  ASSERT_NE(split, nullptr);
  ASSERT_EQ(split->GetRanges().size(), 1u);
  EXPECT_EQ(split->GetRanges()[0].second, 0);
}

TEST_F(ReaderTest, RuleSetScoreMethodComesFromTheFirstRoot) {
  using M = DendrixPMMLModel;
  const int one = ScoreModel::kSingleTree, rules = ScoreModel::kSingleRuleSet;
  struct Case {
    std::string name, xml;
    M::RuleSetMode mode;
    int type;
  };
  const std::vector<Case> cases = {
      {"voting", Document(RuleSetTree(Ext("x-scoreMethod", "voting"))), M::Voting, rules},
      {"inside a rule", Document(RuleSetTree("", Ext("x-scoreMethod", "voting"))), M::Voting,
       rules},
      {"first named one wins",
       Document(RuleSetTree(Ext("other", "voting") + Ext("x-scoreMethod", "first") +
                            Ext("x-scoreMethod", "voting"))),
       M::FirstHit, rules},
      {"none", Document(RuleSetTree("")), M::NotRuleSet, one},
      {"only on the second rule set",
       Document(RuleSetTree("") + RuleSetTree(Ext("x-scoreMethod", "voting"))), M::NotRuleSet,
       ScoreModel::kMultipleTrees},
      {"not a rule set", Document(TreeModel(ClsNode("A", Ext("x-scoreMethod", "voting")))),
       M::NotRuleSet, one},
  };
  for (const Case& c : cases) {
    ReadOutcome outcome = ReadOk(c.xml);
    ASSERT_TRUE(outcome.model) << c.name;
    EXPECT_EQ(outcome.Model()->GetRuleSetScoreMethod(), c.mode) << c.name;
    EXPECT_EQ(outcome.Model()->GetModelType(), c.type) << c.name;
  }
}

// Every rule carries its own conditions, in lists of its own in each tree.
TEST_F(ReaderTest, EachRuleSetOfAnEnsembleGetsItsOwnLists) {
  ReadOutcome outcome = ReadOk(Document(RuleSetTree("") + RuleSetTree("")));
  ASSERT_TRUE(outcome.model);
  for (int t = 0; t < 2; ++t) {
    const TreeNode* root = outcome.Model()->GetTree(t);
    ASSERT_EQ(root->GetChildCount(), 3) << t;
    EXPECT_TRUE(SplitNames(root).empty()) << t;
    EXPECT_EQ(SplitNames(root->GetChildAt(0)), Strings{"x"}) << t;
    EXPECT_EQ(SplitNames(root->GetChildAt(1)), (Strings{"x", "y"})) << t;
    EXPECT_TRUE(SplitNames(root->GetChildAt(2)).empty()) << t;
    EXPECT_NE(root->GetChildAt(0)->GetSplitVar()->front(),
              outcome.Model()->GetTree(1 - t)->GetChildAt(0)->GetSplitVar()->front());
    // Rule statistics use the rule-set confidence (c + 1) / (N + 2).
    EXPECT_NEAR(ClsStats(root->GetChildAt(0))->GetConfidence(), 6.0 / 12.0, 1e-12) << t;
  }
}

TEST_F(ReaderTest, RulesCannotNestRules) {
  Refused(
      Document(TreeModel(ClsNode("A", ClsNode("A", Simple("x", "lessThan", "1") +
                                                       ClsNode("A", Simple("y", "lessThan", "1")))),
                         "algorithmName=\"RuleSet\"")),
      5, "A rule of a rule set can't have child nodes!");
}

TEST_F(ReaderTest, RegressionNodesCarryPredictionStdDevAndBiggestChild) {
  ReadOutcome outcome = ReadOk(RegDocument(
      ClsNode("10.5",
              RegInfo("2.5") +
                  ClsNode("4", Simple("x", "lessOrEqual", "1") + RegInfo("0.5"),
                          "recordCount=\"30\" id=\"low\"") +
                  ClsNode("12", Simple("x", "greaterThan", "1"), "recordCount=\"70\" id=\"high\""),
              "id=\"top\"")));
  ASSERT_TRUE(outcome.model);
  const TreeNode* root = outcome.Model()->GetRoot();
  const TreeRegResult* stats = RegStats(root);
  ASSERT_NE(stats, nullptr);
  EXPECT_TRUE(stats->GetPrediction()->IsNumeric());
  EXPECT_DOUBLE_EQ(stats->GetPrediction()->ToDouble(), 10.5);
  EXPECT_DOUBLE_EQ(stats->GetStdDev(), 2.5);
  EXPECT_EQ(stats->GetBiggestChild(), 1);
  EXPECT_EQ(stats->GetNodeID(), "top");
  EXPECT_DOUBLE_EQ(RegStats(root->GetChildAt(0))->GetStdDev(), 0.5);
  EXPECT_DOUBLE_EQ(RegStats(root->GetChildAt(1))->GetStdDev(), -1.0);
  EXPECT_EQ(RegStats(root->GetChildAt(1))->GetBiggestChild(), 0);
  EXPECT_EQ(SplitNames(root), Strings{"x"});
}

TEST_F(ReaderTest, RegressionChildrenWithoutCountsCountNothing) {
  ReadOutcome outcome = ReadOk(RegDocument(
      ClsNode("1", ClsNode("2", Simple("x", "lessOrEqual", "1")) +
                       ClsNode("3", Simple("x", "greaterThan", "1"), "recordCount=\"5\""))));
  ASSERT_TRUE(outcome.model);
  EXPECT_EQ(outcome.Model()->GetRoot()->GetNodeStats()->GetBiggestChild(), 1);
}

TEST_F(ReaderTest, RegressionNodeIdentifiersAndFailures) {
  // X-Node carriers are Extensions: such a node gets no number.
  ReadOutcome outcome = ReadOk(RegDocument(
      ClsNode("1", RegInfo("1") + ClsNode("2", kTrue) + ClsNode("3", kTrue + RegInfo("2")))));
  ASSERT_TRUE(outcome.model);
  EXPECT_EQ(Ids(outcome.Model()->GetRoot()), (Strings{"-1", "0", "-1"}));

  struct Case {
    std::string name, nodes;
    int code;
  };
  const std::vector<Case> cases = {
      {"score not a number", ClsNode("high", ""), 3},
      {"fractional child count", ClsNode("1", ClsNode("2", kTrue, "recordCount=\"2.5\"")), 3},
      {"stdDev missing", ClsNode("1", "<Extension><X-Node><X-RegInfo/></X-Node></Extension>"), 3},
      {"predicate without field",
       ClsNode("1", ClsNode("2", "<SimplePredicate operator=\"lessThan\" value=\"1\"/>")), 1},
  };
  for (const Case& c : cases) Refused(RegDocument(c.nodes), c.code, "", c.name);
}
