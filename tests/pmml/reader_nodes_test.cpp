// Node construction: identifiers, record counts and shares, biggest child and
// confidence index, predicates per child, rule sets and regression nodes.

#include <string>
#include <utility>
#include <vector>

#include "host/ScoreSplitVar.h"
#include "reader_support.h"

using namespace reader_test;

namespace {

using ShareList = std::vector<std::pair<std::string, double>>;
using Names = std::vector<std::string>;

const std::string kTrue = "<True/>";

std::string Ext(const std::string& name, const std::string& value) {
  return "<Extension name=\"" + name + "\" value=\"" + value + "\"/>";
}

ShareList Shares(const TreeNode* node) {
  ShareList shares;
  for (const auto& entry : ClsStats(node)->GetAllValuePercent()) {
    shares.emplace_back(entry.first->ToString(), entry.second);
  }
  return shares;
}

Names SplitNames(const TreeNode* node) {
  Names names;
  if (const std::vector<ScoreSplitVar*>* splits = node->GetSplitVar()) {
    for (const ScoreSplitVar* split : *splits) names.push_back(split->GetSplitName());
  }
  return names;
}

std::string Schema(const std::string& target) {
  return "<MiningSchema>" + MiningField(target, "predicted") + MiningField("x", "active") +
         "</MiningSchema>";
}

std::string RegInfo(const std::string& stdDev) {
  return "<Extension><X-Node><X-RegInfo stdDev=\"" + stdDev + "\"/></X-Node></Extension>";
}

// Three rules: x < 1; x > 2 and y < 3; True.
std::string RuleSetTree(const std::string& rootExtra, const std::string& firstRuleExtra = "") {
  const std::string rules =
      ClsNode("A", Simple("x", "lessThan", "1") + firstRuleExtra + Dist("A", "5") + Dist("B", "3") +
                       Dist("C", "2")) +
      ClsNode("B", "<CompoundPredicate booleanOperator=\"and\">" + Simple("x", "greaterThan", "2") +
                       Simple("y", "lessThan", "3") + "</CompoundPredicate>" + Dist("B", "4")) +
      ClsNode("C", kTrue + Dist("C", "1"));
  return TreeModel(ClsNode("A", rootExtra + Dist("A", "6") + rules), "algorithmName=\"RuleSet\"");
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
  Names ids;
  CollectIds(outcome.Model()->GetTree(0), ids);
  EXPECT_EQ(ids, (Names{"r", "0", "1", "deep", "g", "-1", "2", "xa"}));
  ids.clear();
  CollectIds(outcome.Model()->GetTree(1), ids);
  EXPECT_EQ(ids, (Names{"3", "4"}));
  EXPECT_EQ(DendrixPMMLReaderTestAccess::NodeIdCounter(*outcome.translator), 5);
}

TEST_F(ReaderTest, RecordCountsAndShares) {
  struct Case {
    std::string node;
    double total;
    ShareList shares;
  };
  const std::string probability = "<ScoreDistribution value=\"A\" recordCount=\"10\">";
  const std::vector<Case> cases = {
      // An own count: each share against it.
      {ClsNode("A", Dist("A", "60") + Dist("B", "50"), "recordCount=\"100\""),
       100.0,
       {{"A", 0.6}, {"B", 0.5}}},
      {ClsNode("A", Dist("A", "30") + Dist("B", "70")), 100.0, {{"A", 0.3}, {"B", 0.7}}},
      // An empty count attribute is absent.
      {ClsNode("A", Dist("A", "1") + Dist("B", "3"), "recordCount=\"\""),
       4.0,
       {{"A", 0.25}, {"B", 0.75}}},
      {ClsNode("A", Dist("A", "0") + Dist("B", "0")), 0.0, {{"A", 0.0}, {"B", 0.0}}},
      {ClsNode("A",
               probability + Ext("probability", "0.9") + "</ScoreDistribution>" + Dist("B", "90"),
               "recordCount=\"100\""),
       100.0,
       {{"A", 0.9}, {"B", 0.9}}},
      // Only the first Extension counts.
      {ClsNode("A",
               probability + Ext("other", "1") + Ext("probability", "0.9") + "</ScoreDistribution>",
               "recordCount=\"100\""),
       100.0,
       {{"A", 0.1}}},
  };
  for (const Case& c : cases) {
    ReadOutcome outcome = ReadOk(Document(TreeModel(c.node)));
    ASSERT_TRUE(outcome.model) << c.node;
    const TreeNode* root = outcome.Model()->GetRoot();
    EXPECT_DOUBLE_EQ(ClsStats(root)->GetTotalRecord(), c.total) << c.node;
    const ShareList shares = Shares(root);
    ASSERT_EQ(shares.size(), c.shares.size()) << c.node;
    for (std::size_t i = 0; i < shares.size(); ++i) {
      EXPECT_EQ(shares[i].first, c.shares[i].first) << c.node;
      EXPECT_NEAR(shares[i].second, c.shares[i].second, 1e-12) << c.node;
    }
  }
  // Numeric targets compare values as numbers.
  ReadOutcome numeric = ReadOk(
      Document(TreeModel(ClsNode("2.0", Dist("1", "1") + Dist("2.0", "3")), "", Schema("code"))));
  ASSERT_TRUE(numeric.model);
  const TreeNode* root = numeric.Model()->GetRoot();
  EXPECT_TRUE(ClsStats(root)->GetPrediction()->IsNumeric());
  EXPECT_EQ(ClsStats(root)->GetPrediction()->ToString(), "2");
  EXPECT_EQ(Shares(root), (ShareList{{"1", 0.25}, {"2", 0.75}}));
}

TEST_F(ReaderTest, NodeFailures) {
  struct Case {
    std::string node;
    int code;
    std::string message;  // empty: the host's wording
    std::string schema = StandardSchema();
    std::string attributes = "";
  };
  const std::string badShare = "invalid recordCount value in ScoreDistribution!!";
  const std::string negative = "recordCount can't be negative!";
  const std::string onePredicate = "Only one PREDICATE element allowed!";
  const std::vector<Case> cases = {
      {ClsNode("A", Dist("A", "120"), "recordCount=\"100\""), 3, badShare},
      {ClsNode("A", Dist("A", "2"), "recordCount=\"0\""), 3, badShare},
      {ClsNode("A", Dist("A", "-1"), "recordCount=\"10\""), 3, badShare},
      {ClsNode("A", "", "recordCount=\"-1\""), 5, negative},
      {ClsNode("A", Dist("A", "5") + Dist("B", "-1")), 5, negative},
      {ClsNode("A", Dist("D", "1")), 3, "D: is invalid value in ScoreDistribution!!"},
      {ClsNode("Z", ""), 3, "Z: is invalid score value!!"},
      {"<Node/>", 1, ""},
      {ClsNode("A", "", "recordCount=\"many\""), 3, ""},
      {ClsNode("A", "<ScoreDistribution recordCount=\"1\"/>"), 1, ""},
      {ClsNode("two", ""), 3, "", Schema("code")},
      {ClsNode("3", ""), 3, "3: is invalid score value!!", Schema("code")},
      {ClsNode("A", ClsNode("A", Simple("x", "lessThan", "5") + "<CompoundPredicate>" +
                                     Simple("y", "lessThan", "1") + "</CompoundPredicate>") +
                        ClsNode("B", Simple("x", "greaterOrEqual", "5"))),
       1, onePredicate},
      {ClsNode("A", ClsNode("A",
                            "<SimpleSetPredicate field=\"color\" booleanOperator=\"isIn\">"
                            "<Array n=\"1\" type=\"string\">red</Array></SimpleSetPredicate>" +
                                Simple("x", "lessThan", "5"))),
       1, onePredicate},
      {ClsNode("A", ClsNode("A", Simple("x", "lessThan", "1") +
                                     ClsNode("A", Simple("y", "lessThan", "1")))),
       5, "A rule of a rule set can't have child nodes!", StandardSchema(),
       "algorithmName=\"RuleSet\""},
  };
  for (const Case& c : cases) {
    ReadOutcome outcome = Read(Document(TreeModel(c.node, c.attributes, c.schema)));
    EXPECT_TRUE(outcome.failed) << c.node;
    EXPECT_EQ(outcome.code, c.code) << c.node << ": " << outcome.message;
    if (!c.message.empty()) {
      EXPECT_EQ(outcome.message, c.message) << c.node;
    }
  }
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

  // A True inside a compound makes the fallback (biggest) child, and a True
  // predicate adds nothing to the parent's splits.
  const std::string fallback =
      ClsNode("A", Simple("x", "lessThan", "5") + Dist("A", "50"), "recordCount=\"50\"") +
      ClsNode("B",
              "<CompoundPredicate booleanOperator=\"surrogate\">" +
                  Simple("x", "greaterOrEqual", "5") + kTrue + "</CompoundPredicate>",
              "recordCount=\"2\"") +
      ClsNode("C", kTrue, "recordCount=\"1\"");
  ReadOutcome surrogate = ReadOk(Document(TreeModel(ClsNode("A", fallback))));
  ASSERT_TRUE(surrogate.model);
  EXPECT_EQ(surrogate.Model()->GetRoot()->GetNodeStats()->GetBiggestChild(), 1);
  const auto* split =
      dynamic_cast<const ScaleSplit*>(surrogate.Model()->GetRoot()->GetSplitVar()->at(0));
  ASSERT_NE(split, nullptr);
  ASSERT_EQ(split->GetRanges().size(), 2u);
  EXPECT_EQ(split->GetRanges()[1].second, 1);
}

TEST_F(ReaderTest, RuleSetRulesCarryTheirOwnConditions) {
  ReadOutcome outcome = ReadOk(Document(RuleSetTree(Ext("x-scoreMethod", "voting"))));
  ASSERT_TRUE(outcome.model);
  DendrixPMMLModel* model = outcome.Model();
  EXPECT_EQ(model->GetModelType(), ScoreModel::kSingleRuleSet);
  const TreeNode* root = model->GetRoot();
  ASSERT_EQ(root->GetChildCount(), 3);
  EXPECT_TRUE(SplitNames(root).empty());
  EXPECT_EQ(SplitNames(root->GetChildAt(0)), (Names{"x"}));
  EXPECT_EQ(SplitNames(root->GetChildAt(1)), (Names{"x", "y"}));
  EXPECT_TRUE(SplitNames(root->GetChildAt(2)).empty());
  // Rule statistics use the rule-set confidence (c + 1) / (N + 2).
  EXPECT_NEAR(ClsStats(root->GetChildAt(0))->GetConfidence(), 6.0 / 12.0, 1e-12);

  // Each rule set of an ensemble gets its own lists.
  ReadOutcome two = ReadOk(Document(RuleSetTree("") + RuleSetTree("")));
  ASSERT_TRUE(two.model);
  for (int t = 0; t < 2; ++t) {
    const TreeNode* tree = two.Model()->GetTree(t);
    ASSERT_EQ(tree->GetChildCount(), 3) << t;
    EXPECT_EQ(SplitNames(tree->GetChildAt(1)), (Names{"x", "y"})) << t;
    EXPECT_NE(tree->GetChildAt(0)->GetSplitVar()->front(),
              two.Model()->GetTree(1 - t)->GetChildAt(0)->GetSplitVar()->front());
  }
}

TEST_F(ReaderTest, RuleSetScoreMethodComesFromTheFirstRoot) {
  using Mode = DendrixPMMLModel::RuleSetMode;
  const std::vector<std::pair<std::string, Mode>> cases = {
      {Document(RuleSetTree(Ext("x-scoreMethod", "voting"))), DendrixPMMLModel::Voting},
      {Document(RuleSetTree(Ext("x-scoreMethod", "firstHit"))), DendrixPMMLModel::FirstHit},
      {Document(RuleSetTree("", Ext("x-scoreMethod", "voting"))), DendrixPMMLModel::Voting},
      // The first one named x-scoreMethod wins.
      {Document(RuleSetTree(Ext("other", "voting") + Ext("x-scoreMethod", "first") +
                            Ext("x-scoreMethod", "voting"))),
       DendrixPMMLModel::FirstHit},
      {Document(RuleSetTree("")), DendrixPMMLModel::NotRuleSet},
      {Document(RuleSetTree("") + RuleSetTree(Ext("x-scoreMethod", "voting"))),
       DendrixPMMLModel::NotRuleSet},
      {Document(TreeModel(ClsNode("A", Ext("x-scoreMethod", "voting")))),
       DendrixPMMLModel::NotRuleSet},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    ReadOutcome outcome = ReadOk(cases[i].first);
    ASSERT_TRUE(outcome.model) << i;
    EXPECT_EQ(outcome.Model()->GetRuleSetScoreMethod(), cases[i].second) << i;
  }
  // Without a score method the rule set is read as a tree.
  ReadOutcome none = ReadOk(Document(RuleSetTree("")));
  ASSERT_TRUE(none.model);
  EXPECT_EQ(none.Model()->GetModelType(), ScoreModel::kSingleTree);
}

TEST_F(ReaderTest, RegressionNodes) {
  auto node = [](const std::string& score, const std::string& extra,
                 const std::string& attributes = "") {
    return "<Node score=\"" + score + "\" " + attributes + ">" + extra + "</Node>";
  };
  const std::string tree =
      TreeModel(node("10.5", RegInfo("2.5") +
                                 node("4", Simple("x", "lessOrEqual", "1") + RegInfo("0.5"),
                                      "recordCount=\"30\" id=\"low\"") +
                                 node("12", Simple("x", "greaterThan", "1"), "recordCount=\"70\"") +
                                 // No count: counts nothing. X-Node carriers are Extensions:
                                 // such a node gets no number.
                                 node("3", kTrue + RegInfo("2"))),
                "", Schema("amount"));
  ReadOutcome outcome = ReadOk(Document(tree));
  ASSERT_TRUE(outcome.model);
  const TreeNode* root = outcome.Model()->GetRoot();
  const TreeRegResult* stats = RegStats(root);
  ASSERT_NE(stats, nullptr);
  EXPECT_TRUE(stats->GetPrediction()->IsNumeric());
  EXPECT_DOUBLE_EQ(stats->GetPrediction()->ToDouble(), 10.5);
  EXPECT_DOUBLE_EQ(stats->GetStdDev(), 2.5);
  EXPECT_EQ(stats->GetBiggestChild(), 1);
  EXPECT_DOUBLE_EQ(RegStats(root->GetChildAt(0))->GetStdDev(), 0.5);
  EXPECT_DOUBLE_EQ(RegStats(root->GetChildAt(1))->GetStdDev(), -1.0);
  Names ids;
  CollectIds(root, ids);
  EXPECT_EQ(ids, (Names{"-1", "low", "0", "-1"}));

  const std::vector<std::pair<std::string, int>> failures = {
      {node("high", ""), 3},
      {node("1", node("2", kTrue, "recordCount=\"2.5\"")), 3},
      {node("1", "<Extension><X-Node><X-RegInfo/></X-Node></Extension>"), 3},
      {node("1", node("2", "<SimplePredicate operator=\"lessThan\" value=\"1\"/>")), 1},
  };
  for (const auto& [nodes, code] : failures) {
    ReadOutcome failed = Read(Document(TreeModel(nodes, "", Schema("amount"))));
    EXPECT_TRUE(failed.failed) << nodes;
    EXPECT_EQ(failed.code, code) << nodes << ": " << failed.message;
  }
}
