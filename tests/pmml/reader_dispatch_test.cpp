// Whole-document reading: flags from the document frame, ensembles, the
// legacy layout, cost-matrix placement, failures and the nesting limit.

#include <chrono>
#include <string>
#include <vector>

#include "host/ScoreCaseRecord.h"
#include "host/ScoreSplitVar.h"
#include "reader_support.h"

using namespace reader_test;

namespace {

const std::string kLeafA = ClsNode("A", Dist("A", "6") + Dist("B", "4"), "id=\"leaf\"");

// A root splitting x at 5 into two leaves.
std::string SplitTree(const std::string& rootId = "", const std::string& attributes = "") {
  const std::string idAttribute = rootId.empty() ? "" : "id=\"" + rootId + "\"";
  return TreeModel(ClsNode("A",
                           Dist("A", "6") + Dist("B", "4") +
                               ClsNode("A", Simple("x", "lessOrEqual", "5") + Dist("A", "6")) +
                               ClsNode("B", Simple("x", "greaterThan", "5") + Dist("B", "4")),
                           idAttribute),
                   attributes);
}

}  // namespace

TEST_F(ReaderTest, VersionAndApplicationDecideTheLegacyVendorFlag) {
  struct Case {
    std::string version;
    std::string application;  // empty: no Application element
    bool expected;
  };
  const std::vector<Case> cases = {
      {"2.1", "Quellan", true}, {"2", "Dendrix", true},    {"3.0", "Quellan", true},
      {"3.0", "Dendrix", true}, {"3.1", "Quellan", false}, {"4.0", "Dendrix", false},
      {"3.0", "Other", false},  {"2.0", "quellan", false}, {"3.0", "", false},
      {"30", "Quellan", false},
  };
  for (const Case& c : cases) {
    const std::string header =
        c.application.empty()
            ? ""
            : "<Header><Application name=\"" + c.application + "\" version=\"1\"/></Header>";
    ReadOutcome outcome =
        ReadOk(Document(SplitTree(), StandardFields(), "version=\"" + c.version + "\"", header));
    ASSERT_TRUE(outcome.model) << c.version << " " << c.application;
    EXPECT_EQ(DendrixPMMLReaderTestAccess::IsLegacyVendorPMML(*outcome.translator), c.expected)
        << c.version << " " << c.application;
  }
}

TEST_F(ReaderTest, ApplicationWithoutNameIsRefusedByTheForcedRead) {
  ReadOutcome outcome = Read(Document(SplitTree(), StandardFields(), "version=\"3.0\"",
                                      "<Header><Application/></Header>"));
  EXPECT_TRUE(outcome.failed);
  EXPECT_EQ(outcome.code, 1);
  EXPECT_FALSE(outcome.model);
}

TEST_F(ReaderTest, LegacyVendorDocumentsSplitNumericOrdinalFieldsAsRanges) {
  const std::string schema = "<MiningSchema>" + MiningField("class", "predicted") +
                             MiningField("level", "active") + "</MiningSchema>";
  const std::string nodes = ClsNode("A", ClsNode("A", Simple("level", "lessOrEqual", "2")) +
                                             ClsNode("B", Simple("level", "greaterThan", "2")));
  const std::string header = "<Header><Application name=\"Quellan\"/></Header>";

  ReadOutcome vendor =
      ReadOk(Document(TreeModel(nodes, "", schema), StandardFields(), "version=\"3.0\"", header));
  ReadOutcome other =
      ReadOk(Document(TreeModel(nodes, "", schema), StandardFields(), "version=\"4.1\"", header));
  ASSERT_TRUE(vendor.model && other.model);
  const std::vector<ScoreSplitVar*>* vendorSplits = vendor.Model()->GetRoot()->GetSplitVar();
  const std::vector<ScoreSplitVar*>* otherSplits = other.Model()->GetRoot()->GetSplitVar();
  ASSERT_TRUE(vendorSplits && otherSplits);
  ASSERT_EQ(vendorSplits->size(), 1u);
  ASSERT_EQ(otherSplits->size(), 1u);
  EXPECT_NE(dynamic_cast<ScaleSplit*>((*vendorSplits)[0]), nullptr);
  EXPECT_NE(dynamic_cast<DiscreteSplit*>((*otherSplits)[0]), nullptr);
}

TEST_F(ReaderTest, AlgorithmNameOfTheFirstTreeSetsC5AndRuleSet) {
  struct Case {
    std::string algorithm;
    bool cFive;
    bool ruleSet;
  };
  const std::vector<Case> cases = {{"C5", true, false},       {"c5", true, false},
                                   {"RuleSet", false, true},  {"ruleset", false, false},
                                   {"RULESET", false, false}, {"", false, false},
                                   {"CART", false, false}};
  for (const Case& c : cases) {
    ReadOutcome outcome = ReadOk(Document(SplitTree("", "algorithmName=\"" + c.algorithm + "\"")));
    ASSERT_TRUE(outcome.model) << c.algorithm;
    EXPECT_EQ(DendrixPMMLReaderTestAccess::IsCFive(*outcome.translator), c.cFive) << c.algorithm;
    EXPECT_EQ(outcome.Model()->IsCFive(), c.cFive) << c.algorithm;
    EXPECT_EQ(DendrixPMMLReaderTestAccess::IsRuleSet(*outcome.translator), c.ruleSet)
        << c.algorithm;
  }
  // Only the first tree's algorithmName counts.
  ReadOutcome second = ReadOk(Document(SplitTree() + SplitTree("", "algorithmName=\"C5\"")));
  ASSERT_TRUE(second.model);
  EXPECT_FALSE(second.Model()->IsCFive());
}

TEST_F(ReaderTest, EnsembleKeepsDocumentOrderAndTheFirstSchema) {
  // The second tree names another target; it is still read against the
  // first tree's schema, so it stays a classification tree.
  const std::string otherSchema = "<MiningSchema>" + MiningField("amount", "predicted") +
                                  MiningField("x", "active") + "</MiningSchema>";
  const std::string third =
      TreeModel(ClsNode("C", Dist("C", "3"), "id=\"third\""), "", otherSchema);
  ReadOutcome outcome = ReadOk(Document(SplitTree("first") + SplitTree("second") + third));
  ASSERT_TRUE(outcome.model);
  DendrixPMMLModel* model = outcome.Model();
  EXPECT_EQ(model->GetModelType(), ScoreModel::kMultipleTrees);
  ASSERT_EQ(model->GetTreeCount(), 3);
  EXPECT_EQ(model->GetTree(0), model->GetRoot());
  EXPECT_EQ(model->GetTree(0)->GetNodeStats()->GetNodeID(), "first");
  EXPECT_EQ(model->GetTree(1)->GetNodeStats()->GetNodeID(), "second");
  EXPECT_EQ(model->GetTree(2)->GetNodeStats()->GetNodeID(), "third");
  EXPECT_NE(ClsStats(model->GetTree(2)), nullptr);
  EXPECT_EQ(model->GetTargetVar()->GetName(), "class");
  EXPECT_EQ(model->GetVarRole("amount"), -1);
}

TEST_F(ReaderTest, SingleTreeModelReportsOneTree) {
  ReadOutcome outcome = ReadOk(Document(SplitTree("only")));
  ASSERT_TRUE(outcome.model);
  EXPECT_EQ(outcome.Model()->GetModelType(), ScoreModel::kSingleTree);
  EXPECT_EQ(outcome.Model()->GetTreeCount(), 1);
  EXPECT_FALSE(DendrixPMMLReaderTestAccess::HasMultipleTrees(*outcome.translator));
  const TreeNode* root = outcome.Model()->GetRoot();
  ASSERT_EQ(root->GetChildCount(), 2);
  const std::vector<ScoreSplitVar*>* splits = root->GetSplitVar();
  ASSERT_TRUE(splits != nullptr);
  ASSERT_EQ(splits->size(), 1u);
  EXPECT_EQ((*splits)[0]->GetSplitName(), "x");
  EXPECT_EQ(
      root->GetChildAt(0)->GetSplitVar() == nullptr || root->GetChildAt(0)->GetSplitVar()->empty(),
      true);
}

TEST_F(ReaderTest, DocumentsWithoutPmmlGoToTheLegacyReader) {
  const std::string legacy =
      "<Model><Tree TargetName=\"t\"/><VersionInfo Major=\"3\" Minor=\"0\"/>"
      "<Dictionary><Variable Name=\"t\" Label=\"t\" MeasurementLevel=\"NOMINAL\" Type=\"1\">"
      "<Categories><C><V>A</V></C><C><V>B</V></C></Categories></Variable></Dictionary>"
      "<ClsTree><ClsTerminalNode Id=\"old\" Count=\"10\"><Value>B</Value>"
      "<ValuePercentage Percent=\"100\"><V>B</V></ValuePercentage></ClsTerminalNode></ClsTree>"
      "<TreeModel/></Model>";
  ReadOutcome outcome = ReadOk(legacy);
  ASSERT_TRUE(outcome.model);
  EXPECT_EQ(DendrixPMMLReaderTestAccess::Model(*outcome.translator), nullptr);
  DendrixPMMLModel* model = outcome.Model();
  ASSERT_TRUE(model->GetRoot() != nullptr);
  EXPECT_EQ(model->GetRoot()->GetNodeStats()->GetNodeID(), "old");
  EXPECT_EQ(ClsStats(model->GetRoot())->GetPrediction()->ToString(), "B");
}

TEST_F(ReaderTest, DocumentFrameFailures) {
  struct Case {
    std::string name;
    std::string xml;
    int code;
    std::string message;  // empty: the host's wording
  };
  const std::string treeWithoutNodes = TreeModel("");
  const std::string nestedOnly = TreeModel("<Segment>" + kLeafA + "</Segment>");
  const std::vector<Case> cases = {
      {"no TreeModel", Document(""), 1, "Node element is missing!"},
      {"TreeModel without Node", Document(treeWithoutNodes), 1, "Node element is required!"},
      {"second TreeModel without Node", Document(SplitTree() + treeWithoutNodes), 1,
       "Node element is required!"},
      {"Node only below another element", Document(nestedOnly), 1,
       "TreeModel needs a Node element as its child!"},
      {"no DataDictionary", "<PMML version=\"4.3\">" + SplitTree() + "</PMML>", 1, ""},
      {"PMML below another root",
       "<Wrapper><PMML version=\"4.3\"><DataDictionary>" + StandardFields() + "</DataDictionary>" +
           SplitTree() + "</PMML></Wrapper>",
       1, ""},
      {"no MiningSchema",
       Document("<TreeModel functionName=\"classification\">" + kLeafA + "</TreeModel>"), 1, ""},
  };
  for (const Case& c : cases) {
    ReadOutcome outcome = Read(c.xml);
    EXPECT_TRUE(outcome.failed) << c.name;
    EXPECT_FALSE(outcome.model) << c.name;
    EXPECT_EQ(outcome.code, c.code) << c.name << ": " << outcome.message;
    if (!c.message.empty()) {
      EXPECT_EQ(outcome.message, c.message) << c.name;
    }
    // A failed read leaves the translator without model or name buffer.
    ASSERT_TRUE(outcome.translator) << c.name;
    EXPECT_EQ(DendrixPMMLReaderTestAccess::Model(*outcome.translator), nullptr) << c.name;
    EXPECT_EQ(DendrixPMMLReaderTestAccess::FieldNameBuffer(*outcome.translator), nullptr) << c.name;
  }
}

// Each document fails at a different step of reading; the sanitizer build
// shows that whatever was built before the failure is released.
TEST_F(ReaderTest, FailuresAtEveryStepReleaseWhatWasBuilt) {
  const std::string transformation =
      "<TransformationDictionary><DerivedField name=\"dx\" optype=\"continuous\" "
      "dataType=\"double\"><FieldRef field=\"x\"/></DerivedField></TransformationDictionary>";
  const std::string badTransformation =
      "<TransformationDictionary><DerivedField name=\"dx\" optype=\"continuous\" "
      "dataType=\"double\"><NoSuchExpression/></DerivedField></TransformationDictionary>";
  const std::string ruleSet = TreeModel(
      ClsNode("A", Dist("A", "5") + ClsNode("A", Simple("x", "lessThan", "1") + Dist("A", "2")) +
                       ClsNode("Z", Simple("y", "lessThan", "1") + Dist("B", "2")) +
                       ClsNode("C", Simple("x", "greaterThan", "1") + Dist("C", "1"))),
      "algorithmName=\"RuleSet\"");
  const std::string deepFailure = TreeModel(ClsNode(
      "A", Dist("A", "5") +
               ClsNode("A", Simple("x", "lessThan", "1") + Dist("A", "3") +
                                ClsNode("A", Simple("y", "lessThan", "0") + Dist("A", "1")) +
                                ClsNode("B", Simple("y", "notEqual", "0") + Dist("B", "1"))) +
               ClsNode("B", Simple("x", "greaterOrEqual", "1"))));
  const std::string badCost =
      "<Extension><X-MisclassificationCost><X-PredictedValue type=\"A\">A</X-PredictedValue>"
      "</X-MisclassificationCost></Extension>";
  struct Case {
    std::string name;
    std::string xml;
    int code;
  };
  const std::vector<Case> cases = {
      {"dictionary",
       Document(SplitTree(), Field("class", "categorical", "string", {"A"}) +
                                 "<DataField optype=\"continuous\"/>"),
       1},
      {"transformation dictionary", Document(badTransformation + SplitTree()), 5},
      {"mining schema after transformation dictionary",
       Document(transformation + TreeModel(kLeafA, "", "<MiningSchema/>")), 10},
      {"root score", Document(TreeModel(ClsNode("Z", ""))), 3},
      {"deep predicate", Document(deepFailure), 5},
      {"second tree", Document(SplitTree() + TreeModel(ClsNode("A", Dist("Q", "1")))), 3},
      {"rule set with pending rule lists", Document(ruleSet), 3},
      {"cost matrix after the trees", Document(badCost + SplitTree()), 4},
      {"distribution above the total",
       Document(TreeModel(ClsNode("A", Dist("A", "20"), "recordCount=\"10\""))), 3},
  };
  for (const Case& c : cases) {
    ReadOutcome outcome = Read(c.xml);
    EXPECT_TRUE(outcome.failed) << c.name;
    EXPECT_FALSE(outcome.model) << c.name;
    EXPECT_EQ(outcome.code, c.code) << c.name << ": " << outcome.message;
  }
}

namespace {

// A chain of nested Nodes, each below the previous one.
std::string Chain(int depth) {
  std::string text;
  text.reserve(static_cast<std::size_t>(depth) * 40);
  for (int i = 0; i < depth; ++i) {
    text += "<Node score=\"A\"><True/>";
  }
  for (int i = 0; i < depth; ++i) {
    text += "</Node>";
  }
  return text;
}

int Depth(const TreeNode* node) {
  int depth = 1;
  while (node->GetChildCount() > 0) {
    node = node->GetChildAt(0);
    ++depth;
  }
  return depth;
}

}  // namespace

TEST_F(ReaderTest, NodeNestingIsLimitedToAThousandLevels) {
  ReadOutcome deepest = ReadOk(Document(TreeModel(Chain(1000))));
  ASSERT_TRUE(deepest.model);
  EXPECT_EQ(Depth(deepest.Model()->GetRoot()), 1000);

  ReadOutcome tooDeep = Read(Document(TreeModel(Chain(1001))));
  EXPECT_TRUE(tooDeep.failed);
  EXPECT_EQ(tooDeep.code, 5);
  EXPECT_EQ(tooDeep.message, "Node nesting deeper than 1000 levels is not supported!");

  // The limit also holds for the trees after the first.
  ReadOutcome secondTooDeep = Read(Document(SplitTree() + TreeModel(Chain(1001))));
  EXPECT_EQ(secondTooDeep.code, 5);
}

TEST_F(ReaderTest, HugeNestingIsRejectedQuickly) {
  const std::string xml = Document(TreeModel(Chain(100000)));
  const auto start = std::chrono::steady_clock::now();
  ReadOutcome outcome = Read(xml);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_TRUE(outcome.failed);
  EXPECT_EQ(outcome.message, "Node nesting deeper than 1000 levels is not supported!");
  // Parsing included; a quadratic scan would take minutes.
  EXPECT_LT(seconds, 10.0);
}

namespace {

// One cost cell: the cost of predicting `predicted` for a case of `actual`.
std::string CostCell(const std::string& predicted, const std::string& actual,
                     const std::string& cost, const std::string& name = "X-MisclassificationCost") {
  return "<" + name + "><X-PredictedValue type=\"A\">" + predicted +
         "</X-PredictedValue><X-ActualValue type=\"A\">" + actual + "</X-ActualValue><X-Cost>" +
         cost + "</X-Cost></" + name + ">";
}

// A single leaf with shares A 0.6, B 0.4 whose stored prediction is A.
std::string CostTree(const std::string& treeExtension) {
  return "<TreeModel functionName=\"classification\">" + StandardSchema() + treeExtension +
         ClsNode("A", Dist("A", "6") + Dist("B", "4"), "id=\"leaf\"") + "</TreeModel>";
}

std::string Predict(ScoreModel* model) {
  NamedCaseRecord record;
  record.SetNumber("x", 1.0);
  record.SetNumber("y", 1.0);
  ScoreResult* result = nullptr;
  const VorqScore::VorqStatus status = model->GetScore(&record, result, false);
  std::string prediction = "(none)";
  if (status.IsOK() && result != nullptr && result->GetPrediction() != nullptr) {
    prediction = result->GetPrediction()->ToString();
  }
  delete result;
  return prediction;
}

}  // namespace

TEST_F(ReaderTest, CostMatrixPlacementDecidesThePrediction) {
  // Predicting A for a B case costs 5: B becomes the cheaper answer.
  const std::string documentCosts = "<Extension>" + CostCell("A", "B", "5") + "</Extension>";
  // Predicting B for an A case costs 5: A stays the answer.
  const std::string treeCosts = "<Extension>" + CostCell("B", "A", "5") + "</Extension>";
  const std::string misspeltTreeCosts =
      "<Extension>" + CostCell("A", "B", "5", "X-MisclassificatonCost") + "</Extension>";
  const std::string hiddenTreeCosts =
      "<Extension><Other/>" + CostCell("A", "B", "5") + "</Extension>";

  ReadOutcome plain = ReadOk(Document(CostTree("")));
  ReadOutcome documentLevel = ReadOk(Document(documentCosts + CostTree(treeCosts)));
  ReadOutcome treeLevel = ReadOk(Document(CostTree(treeCosts)));
  ReadOutcome misspelt = ReadOk(Document(CostTree(misspeltTreeCosts)));
  ReadOutcome hidden = ReadOk(Document(CostTree(hiddenTreeCosts)));
  ASSERT_TRUE(plain.model && documentLevel.model && treeLevel.model && misspelt.model &&
              hidden.model);

  EXPECT_FALSE(DendrixPMMLReaderTestAccess::HasMisclassificationCost(*plain.translator));
  EXPECT_EQ(Predict(plain.model.get()), "A");
  EXPECT_TRUE(DendrixPMMLReaderTestAccess::HasMisclassificationCost(*documentLevel.translator));
  EXPECT_EQ(Predict(documentLevel.model.get()), "B");
  EXPECT_TRUE(DendrixPMMLReaderTestAccess::HasMisclassificationCost(*treeLevel.translator));
  EXPECT_EQ(Predict(treeLevel.model.get()), "A");
  EXPECT_TRUE(DendrixPMMLReaderTestAccess::HasMisclassificationCost(*misspelt.translator));
  EXPECT_EQ(Predict(misspelt.model.get()), "B");
  // A tree-level Extension counts only when the cost cell is its first child.
  EXPECT_FALSE(DendrixPMMLReaderTestAccess::HasMisclassificationCost(*hidden.translator));
  EXPECT_EQ(Predict(hidden.model.get()), "A");
}

TEST_F(ReaderTest, CostMatrixOfLaterTreesIsNotConsulted) {
  const std::string treeCosts = "<Extension>" + CostCell("A", "B", "5") + "</Extension>";
  ReadOutcome outcome = ReadOk(Document(CostTree("") + CostTree(treeCosts)));
  ASSERT_TRUE(outcome.model);
  EXPECT_FALSE(DendrixPMMLReaderTestAccess::HasMisclassificationCost(*outcome.translator));
}

TEST_F(ReaderTest, TheLastTopLevelNodeIsTheTree) {
  // The earlier top-level node is dropped (and released: see the sanitizer
  // build); numbering still counts its nodes.
  const std::string nodes = ClsNode("A", ClsNode("A", "<True/>")) + ClsNode("B", "", "id=\"kept\"");
  ReadOutcome outcome = ReadOk(Document(TreeModel(nodes)));
  ASSERT_TRUE(outcome.model);
  EXPECT_EQ(outcome.Model()->GetRoot()->GetNodeStats()->GetNodeID(), "kept");
  EXPECT_EQ(outcome.Model()->GetRoot()->GetChildCount(), 0);
  EXPECT_EQ(DendrixPMMLReaderTestAccess::NodeIdCounter(*outcome.translator), 2);

  const std::string ruleSets =
      ClsNode("A", ClsNode("A", Simple("x", "lessThan", "1")) + ClsNode("B", "<True/>")) +
      ClsNode("C", ClsNode("C", Simple("y", "lessThan", "1")), "id=\"second\"");
  ReadOutcome rules = ReadOk(Document(TreeModel(ruleSets, "algorithmName=\"RuleSet\"")));
  ASSERT_TRUE(rules.model);
  const TreeNode* root = rules.Model()->GetRoot();
  EXPECT_EQ(root->GetNodeStats()->GetNodeID(), "second");
  ASSERT_EQ(root->GetChildCount(), 1);
  ASSERT_EQ(root->GetChildAt(0)->GetSplitVar()->size(), 1u);
  EXPECT_EQ(root->GetChildAt(0)->GetSplitVar()->front()->GetSplitName(), "y");
}
