// Node construction: identifiers, record counts and shares, biggest child and
// confidence index, rule sets and regression nodes.

#include "reader_support.h"

using namespace reader_test;

namespace {

using Strings = std::vector<std::string>;

const std::string kTrue = "<True/>";

std::string Ext(const std::string& name, const std::string& value) {
  return "<Extension name=\"" + name + "\" value=\"" + value + "\"/>";
}

std::string RuleSetTree(const std::string& rootExtra, const std::string& firstRuleExtra = "") {
  const std::string rules =
      ClsNode("A", Simple("x", "lessThan", "1") + firstRuleExtra + Dist("A", "5") + Dist("B", "3") +
                       Dist("C", "2")) +
      ClsNode("B", Compound("and", Simple("x", "greaterThan", "2") + Simple("y", "lessThan", "3")) +
                       Dist("B", "4")) +
      ClsNode("C", kTrue + Dist("C", "1"));
  return TreeModel(ClsNode("A", rootExtra + Dist("A", "6") + rules), "algorithmName=\"RuleSet\"");
}

const std::string kRegSchema = Schema("amount", {"x"});

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
  EXPECT_EQ(Ids(outcome->GetTree(0)), (Strings{"r", "0", "1", "deep", "g", "-1", "2", "xa"}));
  EXPECT_EQ(Ids(outcome->GetTree(1)), (Strings{"3", "4"}));
}

// Values of a numeric target are read as numbers ("2.0" is 2).
TEST_F(ReaderTest, RecordCountsSharesAndBiggestChildren) {
  const std::string own = "recordCount=\"100\"";
  const std::string distA = "<ScoreDistribution value=\"A\" recordCount=\"10\">";
  // A tree and the statistics of its root.
  const std::vector<std::pair<std::string, std::string>> cases = {
      {TreeModel(ClsNode("A", Dist("A", "60") + Dist("B", "50"), own)),
       "100: A 0.6 B 0.5 -> A, biggest 0, confident -1"},
      {TreeModel(ClsNode("A", Dist("A", "30") + Dist("B", "70"))),
       "100: A 0.3 B 0.7 -> A, biggest 0, confident -1"},
      // An empty count attribute is absent.
      {TreeModel(ClsNode("A", Dist("A", "1") + Dist("B", "3"), "recordCount=\"\"")),
       "4: A 0.25 B 0.75 -> A, biggest 0, confident -1"},
      {TreeModel(ClsNode("A", Dist("A", "0") + Dist("B", "0"))),
       "0: A 0 B 0 -> A, biggest 0, confident -1"},
      {TreeModel(ClsNode(
           "A", distA + Ext("probability", "0.9") + "</ScoreDistribution>" + Dist("B", "90"), own)),
       "100: A 0.9 B 0.9 -> A, biggest 0, confident -1"},
      // Only the first Extension counts.
      {TreeModel(ClsNode(
           "A", distA + Ext("other", "1") + Ext("probability", "0.9") + "</ScoreDistribution>",
           own)),
       "100: A 0.1 -> A, biggest 0, confident -1"},
      {TreeModel(ClsNode("2.0", Dist("1", "1") + Dist("2.0", "3")), "", Schema("code", {"x"})),
       "4: 1 0.25 2 0.75 -> 2, biggest 0, confident -1"},
      // Confidences (c + 1) / (N + K): 6/12, 21/42 and 31/42.
      {TreeModel(ClsNode(
           "A", ClsNode("A", kTrue + Dist("A", "5") + Dist("B", "5"), "recordCount=\"10\"") +
                    ClsNode("A", kTrue + Dist("A", "20") + Dist("B", "20"), "recordCount=\"40\"") +
                    ClsNode("A", kTrue + Dist("A", "30") + Dist("B", "10"), "recordCount=\"40\""))),
       "0: -> A, biggest 1, confident 2"},
      // Equal confidences keep the earlier child.
      {TreeModel(ClsNode("A", ClsNode("A", kTrue + Dist("A", "5") + Dist("B", "5")) +
                                  ClsNode("A", kTrue + Dist("A", "10") + Dist("B", "10")))),
       "0: -> A, biggest 1, confident 0"},
      // A True inside a compound makes its child the biggest, whatever the counts.
      {TreeModel(ClsNode(
           "A", ClsNode("A", Simple("x", "lessThan", "5") + Dist("A", "50"), "recordCount=\"50\"") +
                    ClsNode("B",
                            Compound("surrogate", Simple("x", "greaterOrEqual", "5") + kTrue) +
                                Dist("B", "2"),
                            "recordCount=\"2\""))),
       "0: -> A, biggest 1, confident 0"},
  };
  for (const auto& [xml, statistics] : cases) {
    EXPECT_EQ(Statistics(ReadOk(Document(xml))->GetRoot()), statistics) << xml;
  }
}

TEST_F(ReaderTest, NodeReadingFailures) {
  const std::string invalidCount = "invalid recordCount value in ScoreDistribution!!";
  const std::string negative = "recordCount can't be negative!";
  const std::string code = Schema("code", {"x"});
  // A tree, the code and the message (empty: the host's wording).
  const std::vector<std::tuple<std::string, int, std::string>> cases = {
      {TreeModel(ClsNode("A", Dist("A", "120"), "recordCount=\"100\"")), 3, invalidCount},
      {TreeModel(ClsNode("A", Dist("A", "-1"), "recordCount=\"10\"")), 3, invalidCount},
      {TreeModel(ClsNode("A", "", "recordCount=\"-1\"")), 5, negative},
      {TreeModel(ClsNode("A", Dist("A", "5") + Dist("B", "-1"))), 5, negative},
      {TreeModel(ClsNode("A", Dist("D", "1"))), 3, "D: is invalid value in ScoreDistribution!!"},
      {TreeModel(ClsNode("Z", "")), 3, "Z: is invalid score value!!"},
      {TreeModel("<Node/>"), 1, ""},
      {TreeModel(ClsNode("A", "", "recordCount=\"many\"")), 3, ""},
      {TreeModel(ClsNode("A", "<ScoreDistribution recordCount=\"1\"/>")), 1, ""},
      {TreeModel(ClsNode("two", ""), "", code), 3, ""},
      {TreeModel(ClsNode("3", ""), "", code), 3, "3: is invalid score value!!"},
      {TreeModel(ClsNode("A", ClsNode("A", Simple("x", "lessThan", "5") +
                                               Compound("and", Simple("y", "lessThan", "1"))))),
       1, "Only one PREDICATE element allowed!"},
      {TreeModel(ClsNode("A", ClsNode("A", Simple("x", "lessThan", "1") +
                                               ClsNode("A", Simple("y", "lessThan", "1")))),
                 "algorithmName=\"RuleSet\""),
       5, "A rule of a rule set can't have child nodes!"},
      // Regression nodes.
      {TreeModel(ClsNode("high", ""), "", kRegSchema), 3, ""},
      {TreeModel(ClsNode("1", ClsNode("2", kTrue, "recordCount=\"2.5\"")), "", kRegSchema), 3, ""},
      {TreeModel(ClsNode("1", "<Extension><X-Node><X-RegInfo/></X-Node></Extension>"), "",
                 kRegSchema),
       3, ""},
      {TreeModel(ClsNode("1", ClsNode("2", "<SimplePredicate operator=\"lessThan\" value=\"1\"/>")),
                 "", kRegSchema),
       1, ""},
  };
  for (const auto& [tree, code, message] : cases) Refused(Document(tree), code, message, tree);
}

TEST_F(ReaderTest, RuleSetScoreMethodComesFromTheFirstRoot) {
  using M = DendrixPMMLModel;
  const int one = ScoreModel::kSingleTree, rules = ScoreModel::kSingleRuleSet;
  const std::vector<std::tuple<std::string, M::RuleSetMode, int>> cases = {
      {RuleSetTree(Ext("x-scoreMethod", "voting")), M::Voting, rules},
      {RuleSetTree("", Ext("x-scoreMethod", "voting")), M::Voting, rules},
      // The first one named x-scoreMethod wins.
      {RuleSetTree(Ext("other", "voting") + Ext("x-scoreMethod", "first") +
                   Ext("x-scoreMethod", "voting")),
       M::FirstHit, rules},
      {RuleSetTree(""), M::NotRuleSet, one},
      {RuleSetTree("") + RuleSetTree(Ext("x-scoreMethod", "voting")), M::NotRuleSet,
       ScoreModel::kMultipleTrees},
      {TreeModel(ClsNode("A", Ext("x-scoreMethod", "voting"))), M::NotRuleSet, one},
  };
  for (const auto& [trees, mode, type] : cases) {
    SCOPED_TRACE(trees);
    ReadOutcome outcome = ReadOk(Document(trees));
    EXPECT_EQ(outcome->GetRuleSetScoreMethod(), mode);
    EXPECT_EQ(outcome->GetModelType(), type);
  }
}

// Every rule carries its own conditions, in lists of its own in each tree.
TEST_F(ReaderTest, EachRuleSetOfAnEnsembleGetsItsOwnLists) {
  ReadOutcome outcome = ReadOk(Document(RuleSetTree("") + RuleSetTree("")));
  for (int t = 0; t < 2; ++t) {
    const TreeNode* root = outcome->GetTree(t);
    ASSERT_EQ(root->GetChildCount(), 3) << t;
    EXPECT_EQ(Layouts(root) + "|" + Layouts(root->GetChildAt(0)) + "|" +
                  Layouts(root->GetChildAt(1)) + "|" + Layouts(root->GetChildAt(2)),
              "|x: (-inf, 1) -> 0; missing -> -1\n|x: (2, +inf) -> 1; missing -> -1\n"
              "y: (-inf, 3) -> 1; missing -> -1\n|")
        << t;
    EXPECT_NE(root->GetChildAt(0)->GetSplitVar()->front(),
              outcome->GetTree(1 - t)->GetChildAt(0)->GetSplitVar()->front());
    // Rule statistics use the rule-set confidence (c + 1) / (N + 2).
    EXPECT_NEAR(ClsStats(root->GetChildAt(0))->GetConfidence(), 6.0 / 12.0, 1e-12) << t;
  }
}

// A regression child without a count counts nothing in the biggest-child scan.
TEST_F(ReaderTest, RegressionNodesCarryPredictionStdDevAndBiggestChild) {
  ReadOutcome outcome = ReadOk(Document(TreeModel(
      ClsNode("10.5", RegInfo("2.5") +
                          ClsNode("4", Simple("x", "lessOrEqual", "1") + RegInfo("0.5")) +
                          ClsNode("12", Simple("x", "greaterThan", "1"), "recordCount=\"5\"")),
      "", kRegSchema)));
  const TreeNode* root = outcome->GetRoot();
  EXPECT_EQ(Statistics(root) + " | " + Statistics(root->GetChildAt(0)) + " | " +
                Statistics(root->GetChildAt(1)),
            "10.5 sd 2.5 n -1, biggest 1 | 4 sd 0.5 n -1, biggest 0 | 12 sd -1 n -1, biggest 0");
  // X-Node carriers are Extensions: such a node gets no number.
  EXPECT_EQ(Ids(root), (Strings{"-1", "-1", "0"}));
}
