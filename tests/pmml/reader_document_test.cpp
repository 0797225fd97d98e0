// Whole-document reading: flags from the document frame, ensembles, failures
// and what they release, the nesting limit, and translator copies.

#include <chrono>
#include <string>
#include <vector>

#include "reader_support.h"

using namespace reader_test;
using Access = DendrixPMMLReaderTestAccess;

namespace {

const std::string kLeafA = ClsNode("A", Dist("A", "6") + Dist("B", "4"), "id=\"leaf\"");

// A root splitting x at 5 into two leaves.
std::string SplitTree(const std::string& rootId = "", const std::string& attributes = "") {
  return TreeModel(ClsNode("A",
                           Dist("A", "6") + Dist("B", "4") +
                               ClsNode("A", Simple("x", "lessOrEqual", "5") + Dist("A", "6")) +
                               ClsNode("B", Simple("x", "greaterThan", "5") + Dist("B", "4")),
                           rootId.empty() ? "" : "id=\"" + rootId + "\""),
                   attributes);
}

std::string AppHeader(const std::string& name) {
  return "<Header><Application name=\"" + name + "\" version=\"1\"/></Header>";
}

// A chain of nested Nodes, each below the previous one.
std::string Chain(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "<Node score=\"A\"><True/>";
  for (int i = 0; i < depth; ++i) text += "</Node>";
  return text;
}

}  // namespace

TEST_F(ReaderTest, VersionAndApplicationDecideTheOlderVendorFlag) {
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
    const std::string header = c.application.empty() ? "" : AppHeader(c.application);
    ReadOutcome outcome =
        ReadOk(Document(SplitTree(), StandardFields(), "version=\"" + c.version + "\"", header));
    ASSERT_TRUE(outcome.model) << c.version << " " << c.application;
    EXPECT_EQ(Access::IsLegacyVendorPMML(*outcome.translator), c.expected)
        << c.version << " " << c.application;
  }
}

TEST_F(ReaderTest, AlgorithmNameOfTheFirstTreeSetsC5AndRuleSet) {
  struct Case {
    std::string algorithm;
    bool cFive;
    bool ruleSet;
  };
  const std::vector<Case> cases = {{"C5", true, false},      {"c5", true, false},
                                   {"RuleSet", false, true}, {"ruleset", false, false},
                                   {"", false, false},       {"CART", false, false}};
  for (const Case& c : cases) {
    ReadOutcome outcome = ReadOk(Document(SplitTree("", "algorithmName=\"" + c.algorithm + "\"")));
    ASSERT_TRUE(outcome.model) << c.algorithm;
    EXPECT_EQ(Access::IsCFive(*outcome.translator), c.cFive) << c.algorithm;
    EXPECT_EQ(outcome.Model()->IsCFive(), c.cFive) << c.algorithm;
    EXPECT_EQ(Access::IsRuleSet(*outcome.translator), c.ruleSet) << c.algorithm;
  }
  // Only the first tree's algorithmName counts.
  ReadOutcome second = ReadOk(Document(SplitTree() + SplitTree("", "algorithmName=\"C5\"")));
  ASSERT_TRUE(second.model);
  EXPECT_FALSE(second.Model()->IsCFive());
}

TEST_F(ReaderTest, EnsembleKeepsDocumentOrderAndTheFirstSchema) {
  ReadOutcome single = ReadOk(Document(SplitTree("only")));
  ASSERT_TRUE(single.model);
  EXPECT_EQ(single.Model()->GetModelType(), ScoreModel::kSingleTree);
  EXPECT_FALSE(Access::HasMultipleTrees(*single.translator));

  // The third tree names another target; it is still read against the first
  // tree's schema, so it stays a classification tree.
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

TEST_F(ReaderTest, TheLastTopLevelNodeIsTheTree) {
  // The earlier top-level node is dropped (and released: see the sanitizer
  // build); numbering still counts its nodes.
  const std::string nodes = ClsNode("A", ClsNode("A", "<True/>")) + ClsNode("B", "", "id=\"kept\"");
  ReadOutcome outcome = ReadOk(Document(TreeModel(nodes)));
  ASSERT_TRUE(outcome.model);
  EXPECT_EQ(outcome.Model()->GetRoot()->GetNodeStats()->GetNodeID(), "kept");
  EXPECT_EQ(outcome.Model()->GetRoot()->GetChildCount(), 0);
  EXPECT_EQ(Access::NodeIdCounter(*outcome.translator), 2);
}

TEST_F(ReaderTest, DocumentFrameFailures) {
  struct Case {
    std::string name;
    std::string xml;
    int code;
    std::string message;  // empty: the host's wording
  };
  const std::string noNodes = TreeModel("");
  const std::vector<Case> cases = {
      {"no TreeModel", Document(""), 1, "Node element is missing!"},
      {"TreeModel without Node", Document(noNodes), 1, "Node element is required!"},
      {"second TreeModel without Node", Document(SplitTree() + noNodes), 1,
       "Node element is required!"},
      {"Node only below another element", Document(TreeModel("<Segment>" + kLeafA + "</Segment>")),
       1, "TreeModel needs a Node element as its child!"},
      {"no DataDictionary", "<PMML version=\"4.3\">" + SplitTree() + "</PMML>", 1, ""},
      {"PMML below another root",
       "<Wrapper><PMML version=\"4.3\"><DataDictionary>" + StandardFields() + "</DataDictionary>" +
           SplitTree() + "</PMML></Wrapper>",
       1, ""},
      {"no MiningSchema",
       Document("<TreeModel functionName=\"classification\">" + kLeafA + "</TreeModel>"), 1, ""},
      {"Application without name",
       Document(SplitTree(), StandardFields(), "version=\"3.0\"",
                "<Header><Application/></Header>"),
       1, ""},
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
    EXPECT_EQ(Access::Model(*outcome.translator), nullptr) << c.name;
    EXPECT_EQ(Access::FieldNameBuffer(*outcome.translator), nullptr) << c.name;
  }
}

// Each document fails at a different step of reading; the sanitizer build
// shows that whatever was built before the failure is released.
TEST_F(ReaderTest, FailuresAtEveryStepReleaseWhatWasBuilt) {
  const std::string derived =
      "<TransformationDictionary><DerivedField name=\"dx\" optype=\"continuous\" "
      "dataType=\"double\">";
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
  const std::vector<std::pair<std::string, int>> cases = {
      {Document(SplitTree(), Field("class", "categorical", "string", {"A"}) +
                                 "<DataField optype=\"continuous\"/>"),
       1},
      {Document(derived + "<NoSuchExpression/></DerivedField></TransformationDictionary>" +
                SplitTree()),
       5},
      {Document(derived + "<FieldRef field=\"x\"/></DerivedField></TransformationDictionary>" +
                TreeModel(kLeafA, "", "<MiningSchema/>")),
       10},
      {Document(TreeModel(ClsNode("Z", ""))), 3},
      {Document(deepFailure), 5},
      {Document(SplitTree() + TreeModel(ClsNode("A", Dist("Q", "1")))), 3},
      {Document(ruleSet), 3},
      {Document(badCost + SplitTree()), 4},
      {Document(TreeModel(ClsNode("A", Dist("A", "20"), "recordCount=\"10\""))), 3},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    ReadOutcome outcome = Read(cases[i].first);
    EXPECT_TRUE(outcome.failed) << "case " << i;
    EXPECT_FALSE(outcome.model) << "case " << i;
    EXPECT_EQ(outcome.code, cases[i].second) << "case " << i << ": " << outcome.message;
  }
}

TEST_F(ReaderTest, NodeNestingIsLimitedToAThousandLevels) {
  const std::string tooDeepMessage = "Node nesting deeper than 1000 levels is not supported!";
  ReadOutcome deepest = ReadOk(Document(TreeModel(Chain(1000))));
  ASSERT_TRUE(deepest.model);
  int depth = 1;
  for (const TreeNode* node = deepest.Model()->GetRoot(); node->GetChildCount() > 0;
       node = node->GetChildAt(0)) {
    ++depth;
  }
  EXPECT_EQ(depth, 1000);

  ReadOutcome tooDeep = Read(Document(TreeModel(Chain(1001))));
  EXPECT_EQ(tooDeep.code, 5);
  EXPECT_EQ(tooDeep.message, tooDeepMessage);
  // The limit also holds for the trees after the first.
  EXPECT_EQ(Read(Document(SplitTree() + TreeModel(Chain(1001)))).code, 5);

  // A huge nesting is refused quickly (parsing included; a quadratic scan
  // would take minutes).
  const std::string huge = Document(TreeModel(Chain(100000)));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Read(huge).message, tooDeepMessage);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 10.0);
}

TEST_F(ReaderTest, TranslatorCopiesShareTheModelAndOwnTheirBuffers) {
  static const XMLCh kName[] = u"petal";
  auto name = [](const DendrixPMMLTranslator& t) {
    return std::u16string(Access::FieldNameBuffer(t));
  };
  auto original = std::make_unique<DendrixPMMLTranslator>();
  std::char_traits<XMLCh>::copy(Access::MutableFieldNameBuffer(*original), kName, 6);
  Access::RuleSplitVars(*original).resize(2);
  DendrixPMMLModel* model = Access::Model(*original);
  ASSERT_NE(model, nullptr);

  auto copy = std::make_unique<DendrixPMMLTranslator>(*original);
  EXPECT_EQ(Access::Model(*copy), model);
  EXPECT_NE(Access::FieldNameBuffer(*copy), Access::FieldNameBuffer(*original));
  EXPECT_EQ(name(*copy), u"petal");
  EXPECT_EQ(Access::RuleSplitVars(*copy).size(), 2u);

  DendrixPMMLTranslator assigned;
  delete Access::Model(assigned);  // replaced by the shared one
  const XMLCh* ownBuffer = Access::FieldNameBuffer(assigned);
  assigned = *original;
  EXPECT_EQ(Access::Model(assigned), model);
  EXPECT_EQ(Access::FieldNameBuffer(assigned), ownBuffer);
  const DendrixPMMLTranslator& alias = assigned;
  assigned = alias;  // self-assignment keeps everything
  EXPECT_EQ(name(assigned), u"petal");

  // Each destroys only its own buffer (the sanitizer build checks this) and
  // none of them the shared model.
  original.reset();
  EXPECT_EQ(name(*copy), u"petal");
  copy.reset();
  EXPECT_EQ(model->GetRoot(), nullptr);
  delete model;

  // A translator whose read failed has no buffer; its copy gets one.
  ReadOutcome failed = Read(Document(""));
  ASSERT_EQ(Access::FieldNameBuffer(*failed.translator), nullptr);
  DendrixPMMLTranslator fromFailed(*failed.translator);
  EXPECT_EQ(Access::Model(fromFailed), nullptr);
  ASSERT_NE(Access::FieldNameBuffer(fromFailed), nullptr);
  EXPECT_EQ(name(fromFailed), u"");
}
