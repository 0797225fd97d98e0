// Node construction: identifiers, record counts and shares, biggest child and
// confidence index, predicates per child, rule sets and regression nodes.

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "host/ScoreSplitVar.h"
#include "reader_support.h"

using namespace reader_test;

namespace {

const std::string kTrue = "<True/>";

std::string Ext(const std::string& name, const std::string& value) {
  return "<Extension name=\"" + name + "\" value=\"" + value + "\"/>";
}

// (category, share) pairs of a node's statistics.
std::vector<std::pair<std::string, double>> Shares(const TreeNode* node) {
  std::vector<std::pair<std::string, double>> shares;
  for (const auto& entry : ClsStats(node)->GetAllValuePercent()) {
    shares.emplace_back(entry.first->ToString(), entry.second);
  }
  return shares;
}

using ShareList = std::vector<std::pair<std::string, double>>;

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

  std::vector<std::string> ids;
  CollectIds(outcome.Model()->GetTree(0), ids);
  EXPECT_EQ(ids, (std::vector<std::string>{"r", "0", "1", "deep", "g", "-1", "2", "xa"}));
  ids.clear();
  CollectIds(outcome.Model()->GetTree(1), ids);
  EXPECT_EQ(ids, (std::vector<std::string>{"3", "4"}));
  EXPECT_EQ(DendrixPMMLReaderTestAccess::NodeIdCounter(*outcome.translator), 5);
}

TEST_F(ReaderTest, NodeIdentifierScanAgreesWithADirectSearch) {
  const std::string xml =
      "<TreeModel>" +
      ClsNode("A", ClsNode("A", "<Extension name=\"a\">" + Ext("x-nodeId", "inner") +
                                    "</Extension>" + Ext("x-nodeId", "outer")) +
                       ClsNode("B", ClsNode("B", Ext("z", "1")) + ClsNode("C", "")) +
                       ClsNode("C", ClsNode("A", "") + "<X>" + Ext("x-nodeId", "x") + "</X>")) +
      "</TreeModel>";
  XmlDocument document;
  XmlParseError error;
  ASSERT_TRUE(document.ParseMemory(xml, &error)) << error.message;
  DendrixPMMLTranslator translator;
  xercesc::DOMNodeList* nodes =
      BaseTranslator::GetElementsByTagName(document.GetDocument(), "Node");
  xercesc::DOMNode* treeModel = document.GetDocument()->getDocumentElement();

  int checked = 0;
  for (XMLSize_t i = 0; xercesc::DOMNode* node = nodes->item(i); ++i) {
    auto* element = static_cast<xercesc::DOMElement*>(node);
    TreeClsNodeStats direct;
    DendrixPMMLReaderTestAccess::ForgetScan(translator);
    const int before = DendrixPMMLReaderTestAccess::NodeIdCounter(translator);
    DendrixPMMLReaderTestAccess::SetNodeId(translator, &direct, element);
    const int directSteps = DendrixPMMLReaderTestAccess::NodeIdCounter(translator) - before;

    TreeClsNodeStats scanned;
    DendrixPMMLReaderTestAccess::ScanTreeModel(translator, treeModel);
    const int middle = DendrixPMMLReaderTestAccess::NodeIdCounter(translator);
    DendrixPMMLReaderTestAccess::SetNodeId(translator, &scanned, element);
    const int scannedSteps = DendrixPMMLReaderTestAccess::NodeIdCounter(translator) - middle;

    EXPECT_EQ(directSteps, scannedSteps) << "node " << i;
    if (directSteps == 0) {
      EXPECT_EQ(direct.GetNodeID(), scanned.GetNodeID()) << "node " << i;
    }
    ++checked;
  }
  EXPECT_EQ(checked, 7);
  // The model made by the constructor was never handed out.
  delete DendrixPMMLReaderTestAccess::Model(translator);
}

TEST_F(ReaderTest, RecordCountsAndShares) {
  struct Case {
    std::string name;
    std::string node;
    double total;
    ShareList shares;
  };
  const std::vector<Case> cases = {
      {"own count, each share against it",
       ClsNode("A", Dist("A", "60") + Dist("B", "50"), "recordCount=\"100\""),
       100.0,
       {{"A", 0.6}, {"B", 0.5}}},
      {"summed counts",
       ClsNode("A", Dist("A", "30") + Dist("B", "70")),
       100.0,
       {{"A", 0.3}, {"B", 0.7}}},
      {"empty count attribute is absent",
       ClsNode("A", Dist("A", "1") + Dist("B", "3"), "recordCount=\"\""),
       4.0,
       {{"A", 0.25}, {"B", 0.75}}},
      {"all zero", ClsNode("A", Dist("A", "0") + Dist("B", "0")), 0.0, {{"A", 0.0}, {"B", 0.0}}},
      {"probability extension",
       ClsNode("A",
               "<ScoreDistribution value=\"A\" recordCount=\"10\">" + Ext("probability", "0.9") +
                   "</ScoreDistribution>" + Dist("B", "90"),
               "recordCount=\"100\""),
       100.0,
       {{"A", 0.9}, {"B", 0.9}}},
      {"only the first Extension counts",
       ClsNode("A",
               "<ScoreDistribution value=\"A\" recordCount=\"10\">" + Ext("other", "1") +
                   Ext("probability", "0.9") + "</ScoreDistribution>",
               "recordCount=\"100\""),
       100.0,
       {{"A", 0.1}}},
  };
  for (const Case& c : cases) {
    ReadOutcome outcome = ReadOk(Document(TreeModel(c.node)));
    ASSERT_TRUE(outcome.model) << c.name;
    const TreeNode* root = outcome.Model()->GetRoot();
    EXPECT_DOUBLE_EQ(ClsStats(root)->GetTotalRecord(), c.total) << c.name;
    const ShareList shares = Shares(root);
    ASSERT_EQ(shares.size(), c.shares.size()) << c.name;
    for (std::size_t i = 0; i < shares.size(); ++i) {
      EXPECT_EQ(shares[i].first, c.shares[i].first) << c.name;
      EXPECT_NEAR(shares[i].second, c.shares[i].second, 1e-12) << c.name;
    }
  }
}

TEST_F(ReaderTest, NodeStatisticFailures) {
  struct Case {
    std::string name;
    std::string node;
    int code;
    std::string message;  // empty: the host's wording
  };
  const std::vector<Case> cases = {
      {"share above the own count", ClsNode("A", Dist("A", "120"), "recordCount=\"100\""), 3,
       "invalid recordCount value in ScoreDistribution!!"},
      {"nonzero share of a zero total", ClsNode("A", Dist("A", "2"), "recordCount=\"0\""), 3,
       "invalid recordCount value in ScoreDistribution!!"},
      {"negative share under an own count", ClsNode("A", Dist("A", "-1"), "recordCount=\"10\""), 3,
       "invalid recordCount value in ScoreDistribution!!"},
      {"negative own count", ClsNode("A", "", "recordCount=\"-1\""), 5,
       "recordCount can't be negative!"},
      {"negative summed count", ClsNode("A", Dist("A", "5") + Dist("B", "-1")), 5,
       "recordCount can't be negative!"},
      {"category not of the target", ClsNode("A", Dist("D", "1")), 3,
       "D: is invalid value in ScoreDistribution!!"},
      {"score not of the target", ClsNode("Z", ""), 3, "Z: is invalid score value!!"},
      {"no score", "<Node/>", 1, ""},
      {"count not a number", ClsNode("A", "", "recordCount=\"many\""), 3, ""},
      {"distribution without value", ClsNode("A", "<ScoreDistribution recordCount=\"1\"/>"), 1, ""},
  };
  for (const Case& c : cases) {
    ReadOutcome outcome = Read(Document(TreeModel(c.node)));
    EXPECT_TRUE(outcome.failed) << c.name;
    EXPECT_EQ(outcome.code, c.code) << c.name << ": " << outcome.message;
    if (!c.message.empty()) {
      EXPECT_EQ(outcome.message, c.message) << c.name;
    }
  }
}

TEST_F(ReaderTest, NumericTargetValuesAreCheckedAsNumbers) {
  const std::string schema = "<MiningSchema>" + MiningField("code", "predicted") +
                             MiningField("x", "active") + "</MiningSchema>";
  ReadOutcome ok =
      ReadOk(Document(TreeModel(ClsNode("2.0", Dist("1", "1") + Dist("2.0", "3")), "", schema)));
  ASSERT_TRUE(ok.model);
  const TreeNode* root = ok.Model()->GetRoot();
  EXPECT_TRUE(ClsStats(root)->GetPrediction()->IsNumeric());
  EXPECT_EQ(ClsStats(root)->GetPrediction()->ToString(), "2");
  EXPECT_EQ(Shares(root), (ShareList{{"1", 0.25}, {"2", 0.75}}));

  ReadOutcome notNumber = Read(Document(TreeModel(ClsNode("two", ""), "", schema)));
  EXPECT_EQ(notNumber.code, 3);
  ReadOutcome notCategory = Read(Document(TreeModel(ClsNode("3", ""), "", schema)));
  EXPECT_EQ(notCategory.code, 3);
  EXPECT_EQ(notCategory.message, "3: is invalid score value!!");
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
  const TreeNode* leaf = root->GetChildAt(0);
  EXPECT_EQ(leaf->GetNodeStats()->GetBiggestChild(), 0);
  EXPECT_EQ(leaf->GetNodeStats()->GetChildIndexOnMaxConfidence(), -1);

  // Equal confidences keep the earlier child.
  const std::string even = ClsNode("A", kTrue + Dist("A", "5") + Dist("B", "5")) +
                           ClsNode("A", kTrue + Dist("A", "10") + Dist("B", "10"));
  ReadOutcome tie = ReadOk(Document(TreeModel(ClsNode("A", even))));
  ASSERT_TRUE(tie.model);
  EXPECT_EQ(tie.Model()->GetRoot()->GetNodeStats()->GetChildIndexOnMaxConfidence(), 0);
  EXPECT_EQ(tie.Model()->GetRoot()->GetNodeStats()->GetBiggestChild(), 1);
}

TEST_F(ReaderTest, TrueInsideACompoundMakesTheFallbackChild) {
  const std::string children =
      ClsNode("A", Simple("x", "lessThan", "5") + Dist("A", "50"), "recordCount=\"50\"") +
      ClsNode("B",
              "<CompoundPredicate booleanOperator=\"surrogate\">" +
                  Simple("x", "greaterOrEqual", "5") + kTrue + "</CompoundPredicate>" +
                  Dist("B", "2"),
              "recordCount=\"2\"");
  ReadOutcome outcome = ReadOk(Document(TreeModel(ClsNode("A", children))));
  ASSERT_TRUE(outcome.model);
  EXPECT_EQ(outcome.Model()->GetRoot()->GetNodeStats()->GetBiggestChild(), 1);
}

TEST_F(ReaderTest, OnePredicatePerChild) {
  const std::string twoInOne =
      ClsNode("A", ClsNode("A", Simple("x", "lessThan", "5") + "<CompoundPredicate>" +
                                    Simple("y", "lessThan", "1") + "</CompoundPredicate>") +
                       ClsNode("B", Simple("x", "greaterOrEqual", "5")));
  ReadOutcome failed = Read(Document(TreeModel(twoInOne)));
  EXPECT_EQ(failed.code, 1);
  EXPECT_EQ(failed.message, "Only one PREDICATE element allowed!");

  const std::string setAndSimple =
      ClsNode("A", ClsNode("A",
                           "<SimpleSetPredicate field=\"color\" booleanOperator=\"isIn\">"
                           "<Array n=\"1\" type=\"string\">red</Array></SimpleSetPredicate>" +
                               Simple("x", "lessThan", "5")));
  EXPECT_EQ(Read(Document(TreeModel(setAndSimple))).message, "Only one PREDICATE element allowed!");

  // True adds nothing to the parent's splits.
  const std::string withTrue =
      ClsNode("A", ClsNode("A", Simple("x", "lessThan", "5")) + ClsNode("B", kTrue));
  ReadOutcome ok = ReadOk(Document(TreeModel(withTrue)));
  ASSERT_TRUE(ok.model);
  const std::vector<ScoreSplitVar*>* splits = ok.Model()->GetRoot()->GetSplitVar();
  ASSERT_TRUE(splits != nullptr);
  ASSERT_EQ(splits->size(), 1u);
  const ScaleSplit* split = dynamic_cast<const ScaleSplit*>((*splits)[0]);
  ASSERT_NE(split, nullptr);
  ASSERT_EQ(split->GetRanges().size(), 1u);
  EXPECT_EQ(split->GetRanges()[0].second, 0);
}

namespace {

std::string RuleSetTree(const std::string& rootExtra, const std::string& firstRuleExtra = "") {
  const std::string rules =
      ClsNode("A", Simple("x", "lessThan", "1") + firstRuleExtra + Dist("A", "5") + Dist("B", "3") +
                       Dist("C", "2")) +
      ClsNode("B", "<CompoundPredicate booleanOperator=\"and\">" + Simple("x", "greaterThan", "2") +
                       Simple("y", "lessThan", "3") + "</CompoundPredicate>" + Dist("B", "4")) +
      ClsNode("C", kTrue + Dist("C", "1"));
  return TreeModel(ClsNode("A", rootExtra + Dist("A", "6") + rules), "algorithmName=\"RuleSet\"");
}

std::vector<std::string> SplitNames(const TreeNode* node) {
  std::vector<std::string> names;
  if (const std::vector<ScoreSplitVar*>* splits = node->GetSplitVar()) {
    for (const ScoreSplitVar* split : *splits) {
      names.push_back(split->GetSplitName());
    }
  }
  return names;
}

}  // namespace

TEST_F(ReaderTest, RuleSetRulesCarryTheirOwnConditions) {
  ReadOutcome outcome = ReadOk(Document(RuleSetTree(Ext("x-scoreMethod", "voting"))));
  ASSERT_TRUE(outcome.model);
  DendrixPMMLModel* model = outcome.Model();
  EXPECT_EQ(model->GetRuleSetScoreMethod(), DendrixPMMLModel::Voting);
  EXPECT_EQ(model->GetModelType(), ScoreModel::kSingleRuleSet);
  const TreeNode* root = model->GetRoot();
  ASSERT_EQ(root->GetChildCount(), 3);
  EXPECT_TRUE(SplitNames(root).empty());
  EXPECT_EQ(SplitNames(root->GetChildAt(0)), (std::vector<std::string>{"x"}));
  EXPECT_EQ(SplitNames(root->GetChildAt(1)), (std::vector<std::string>{"x", "y"}));
  EXPECT_TRUE(SplitNames(root->GetChildAt(2)).empty());
  // Rule statistics use the rule-set confidence (c + 1) / (N + 2).
  EXPECT_NEAR(ClsStats(root->GetChildAt(0))->GetConfidence(), 6.0 / 12.0, 1e-12);
}

TEST_F(ReaderTest, RuleSetScoreMethodComesFromTheFirstRoot) {
  struct Case {
    std::string name;
    std::string xml;
    DendrixPMMLModel::RuleSetMode mode;
  };
  const std::vector<Case> cases = {
      {"voting", Document(RuleSetTree(Ext("x-scoreMethod", "voting"))), DendrixPMMLModel::Voting},
      {"other value", Document(RuleSetTree(Ext("x-scoreMethod", "firstHit"))),
       DendrixPMMLModel::FirstHit},
      {"inside a rule", Document(RuleSetTree("", Ext("x-scoreMethod", "voting"))),
       DendrixPMMLModel::Voting},
      {"first named one wins",
       Document(RuleSetTree(Ext("other", "voting") + Ext("x-scoreMethod", "first") +
                            Ext("x-scoreMethod", "voting"))),
       DendrixPMMLModel::FirstHit},
      {"none", Document(RuleSetTree("")), DendrixPMMLModel::NotRuleSet},
      {"only on the second rule set",
       Document(RuleSetTree("") + RuleSetTree(Ext("x-scoreMethod", "voting"))),
       DendrixPMMLModel::NotRuleSet},
      {"not a rule set", Document(TreeModel(ClsNode("A", Ext("x-scoreMethod", "voting")))),
       DendrixPMMLModel::NotRuleSet},
  };
  for (const Case& c : cases) {
    ReadOutcome outcome = ReadOk(c.xml);
    ASSERT_TRUE(outcome.model) << c.name;
    EXPECT_EQ(outcome.Model()->GetRuleSetScoreMethod(), c.mode) << c.name;
  }
  ReadOutcome none = ReadOk(Document(RuleSetTree("")));
  ASSERT_TRUE(none.model);
  EXPECT_EQ(none.Model()->GetModelType(), ScoreModel::kSingleTree);
}

TEST_F(ReaderTest, EachRuleSetOfAnEnsembleGetsItsOwnLists) {
  ReadOutcome outcome = ReadOk(Document(RuleSetTree("") + RuleSetTree("")));
  ASSERT_TRUE(outcome.model);
  for (int t = 0; t < 2; ++t) {
    const TreeNode* root = outcome.Model()->GetTree(t);
    ASSERT_EQ(root->GetChildCount(), 3) << t;
    EXPECT_EQ(SplitNames(root->GetChildAt(1)), (std::vector<std::string>{"x", "y"})) << t;
    EXPECT_NE(root->GetChildAt(0)->GetSplitVar()->front(),
              outcome.Model()->GetTree(1 - t)->GetChildAt(0)->GetSplitVar()->front());
  }
}

TEST_F(ReaderTest, RulesCannotNestRules) {
  const std::string nested =
      TreeModel(ClsNode("A", ClsNode("A", Simple("x", "lessThan", "1") +
                                              ClsNode("A", Simple("y", "lessThan", "1")))),
                "algorithmName=\"RuleSet\"");
  ReadOutcome outcome = Read(Document(nested));
  EXPECT_EQ(outcome.code, 5);
  EXPECT_EQ(outcome.message, "A rule of a rule set can't have child nodes!");
}

namespace {

std::string RegSchema() {
  return "<MiningSchema>" + MiningField("amount", "predicted") + MiningField("x", "active") +
         "</MiningSchema>";
}

std::string RegNode(const std::string& score, const std::string& extra,
                    const std::string& attributes = "") {
  return "<Node score=\"" + score + "\" " + attributes + ">" + extra + "</Node>";
}

std::string RegInfo(const std::string& stdDev) {
  return "<Extension><X-Node><X-RegInfo stdDev=\"" + stdDev + "\"/></X-Node></Extension>";
}

}  // namespace

TEST_F(ReaderTest, RegressionNodesCarryPredictionStdDevAndBiggestChild) {
  const std::string tree = TreeModel(
      RegNode("10.5",
              RegInfo("2.5") +
                  RegNode("4", Simple("x", "lessOrEqual", "1") + RegInfo("0.5"),
                          "recordCount=\"30\" id=\"low\"") +
                  RegNode("12", Simple("x", "greaterThan", "1"), "recordCount=\"70\" id=\"high\""),
              "id=\"top\""),
      "", RegSchema());
  ReadOutcome outcome = ReadOk(Document(tree));
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
  ASSERT_EQ(root->GetSplitVar()->size(), 1u);
}

TEST_F(ReaderTest, RegressionChildrenWithoutCountsCountNothing) {
  const std::string tree = TreeModel(
      RegNode("1", RegNode("2", Simple("x", "lessOrEqual", "1")) +
                       RegNode("3", Simple("x", "greaterThan", "1"), "recordCount=\"5\"")),
      "", RegSchema());
  ReadOutcome outcome = ReadOk(Document(tree));
  ASSERT_TRUE(outcome.model);
  EXPECT_EQ(outcome.Model()->GetRoot()->GetNodeStats()->GetBiggestChild(), 1);
}

TEST_F(ReaderTest, RegressionNodeIdentifiersAndFailures) {
  // X-Node carriers are Extensions: such a node gets no number.
  const std::string tree = TreeModel(
      RegNode("1", RegInfo("1") + RegNode("2", kTrue) + RegNode("3", kTrue + RegInfo("2"))), "",
      RegSchema());
  ReadOutcome outcome = ReadOk(Document(tree));
  ASSERT_TRUE(outcome.model);
  std::vector<std::string> ids;
  CollectIds(outcome.Model()->GetRoot(), ids);
  EXPECT_EQ(ids, (std::vector<std::string>{"-1", "0", "-1"}));

  struct Case {
    std::string name;
    std::string nodes;
    int code;
  };
  const std::vector<Case> cases = {
      {"score not a number", RegNode("high", ""), 3},
      {"fractional child count", RegNode("1", RegNode("2", kTrue, "recordCount=\"2.5\"")), 3},
      {"stdDev missing", RegNode("1", "<Extension><X-Node><X-RegInfo/></X-Node></Extension>"), 3},
      {"predicate without field",
       RegNode("1", RegNode("2", "<SimplePredicate operator=\"lessThan\" value=\"1\"/>")), 1},
  };
  for (const Case& c : cases) {
    ReadOutcome failed = Read(Document(TreeModel(c.nodes, "", RegSchema())));
    EXPECT_TRUE(failed.failed) << c.name;
    EXPECT_EQ(failed.code, c.code) << c.name << ": " << failed.message;
  }
}
