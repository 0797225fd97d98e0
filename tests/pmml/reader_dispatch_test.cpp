// Whole-document reading: flags from the document frame, ensembles, failures
// and the nesting limit. The legacy layout's tests read through this reader.

#include "reader_support.h"

using namespace reader_test;

namespace {

const std::string kLeafA = ClsNode("A", Dist("A", "6") + Dist("B", "4"));

// A root splitting x at 5 into two leaves.
std::string SplitTree(const std::string& rootId = "", const std::string& attributes = "") {
  return TreeModel(ClsNode("A",
                           Dist("A", "6") + Dist("B", "4") +
                               ClsNode("A", Simple("x", "lessOrEqual", "5") + Dist("A", "6")) +
                               ClsNode("B", Simple("x", "greaterThan", "5") + Dist("B", "4")),
                           rootId.empty() ? "" : "id=\"" + rootId + "\""),
                   attributes);
}

// A chain of nested Nodes, each below the previous one.
std::string Chain(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "<Node score=\"A\"><True/>";
  for (int i = 0; i < depth; ++i) text += "</Node>";
  return text;
}

const char kTooDeep[] = "Node nesting deeper than 1000 levels is not supported!";

}  // namespace

// The flag also decides how a numeric ordinal field splits: as ranges in the
// vendor's older documents, by category otherwise.
TEST_F(ReaderTest, VersionAndApplicationDecideTheLegacyVendorFlag) {
  // Version, Application name (empty: no such element) and the flag.
  const std::vector<std::tuple<std::string, std::string, bool>> cases = {
      {"2.1", "Quellan", true}, {"2", "Dendrix", true},    {"3.0", "Quellan", true},
      {"3.0", "Dendrix", true}, {"3.1", "Quellan", false}, {"4.0", "Dendrix", false},
      {"3.0", "Other", false},  {"2.0", "quellan", false}, {"3.0", "", false},
      {"30", "Quellan", false},
  };
  const std::string tree =
      TreeModel(ClsNode("A", ClsNode("A", Simple("level", "lessOrEqual", "2")) +
                                 ClsNode("B", Simple("level", "greaterThan", "2"))),
                "", Schema("class", {"level"}));
  for (const auto& [version, application, flag] : cases) {
    const std::string header =
        "<Header><Application name=\"" + application + "\" version=\"1\"/></Header>";
    ReadOutcome outcome = ReadOk(Document(tree, StandardFields(), "version=\"" + version + "\"",
                                          application.empty() ? "" : header));
    EXPECT_EQ(dynamic_cast<const ScaleSplit*>(outcome->GetRoot()->GetSplitVar()->at(0)) != nullptr,
              flag)
        << version << " " << application;
  }
}

// Only the first tree's algorithm counts, and only "C5" in any case sets the flag.
TEST_F(ReaderTest, AlgorithmNameOfTheFirstTreeSetsC5) {
  const auto tree = [](const std::string& name) {
    return SplitTree("", "algorithmName=\"" + name + "\"");
  };
  const std::vector<std::pair<std::string, bool>> cases = {
      {tree("C5"), true},    {tree("c5"), true},   {tree("RuleSet"), false},
      {tree("CART"), false}, {SplitTree(), false}, {SplitTree() + tree("C5"), false}};
  for (const auto& [trees, cFive] : cases)
    EXPECT_EQ(ReadOk(Document(trees))->IsCFive(), cFive) << trees;
}

TEST_F(ReaderTest, TreesKeepDocumentOrderAndTheFirstSchema) {
  // The third tree names another target but is read against the first tree's
  // schema, so it stays a classification tree.
  const std::string third =
      TreeModel(ClsNode("C", Dist("C", "3"), "id=\"third\""), "", Schema("amount", {"x"}));
  ReadOutcome model = ReadOk(Document(SplitTree("first") + SplitTree("second") + third));
  EXPECT_EQ(model->GetModelType(), ScoreModel::kMultipleTrees);
  ASSERT_EQ(model->GetTreeCount(), 3);
  EXPECT_EQ(model->GetTree(0), model->GetRoot());
  const char* ids[] = {"first", "second", "third"};
  for (int t = 0; t < 3; ++t) EXPECT_EQ(model->GetTree(t)->GetNodeStats()->GetNodeID(), ids[t]);
  EXPECT_TRUE(model->GetTree(3) == nullptr && model->GetTree(-1) == nullptr);
  EXPECT_NE(ClsStats(model->GetTree(2)), nullptr);
  EXPECT_EQ(model->GetVarRole("amount"), -1);
}

TEST_F(ReaderTest, DocumentFrameFailures) {
  // What is wrong, the document and the message (empty: the host's wording).
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {"no TreeModel", Document(""), "Node element is missing!"},
      {"TreeModel without Node", Document(TreeModel("")), "Node element is required!"},
      {"second TreeModel without Node", Document(SplitTree() + TreeModel("")),
       "Node element is required!"},
      {"Node only below another element", Document(TreeModel("<Segment>" + kLeafA + "</Segment>")),
       "TreeModel needs a Node element as its child!"},
      {"no DataDictionary", "<PMML version=\"4.3\">" + SplitTree() + "</PMML>", ""},
      {"PMML below another root",
       "<Wrapper><PMML version=\"4.3\"><DataDictionary>" + StandardFields() + "</DataDictionary>" +
           SplitTree() + "</PMML></Wrapper>",
       ""},
      {"no MiningSchema",
       Document("<TreeModel functionName=\"classification\">" + kLeafA + "</TreeModel>"), ""},
      {"Application without name",
       Document(SplitTree(), StandardFields(), "version=\"3.0\"",
                "<Header><Application/></Header>"),
       ""},
  };
  for (const auto& [name, xml, message] : cases) Refused(xml, 1, message, name);
}

TEST_F(ReaderTest, NodeNestingIsLimitedToAThousandLevels) {
  ReadOutcome deepest = ReadOk(Document(TreeModel(Chain(1000))));
  EXPECT_EQ(Ids(deepest->GetRoot()).size(), 1000u);  // a chain: one node a level
  Refused(Document(TreeModel(Chain(1001))), 5, kTooDeep);
  Refused(Document(SplitTree() + TreeModel(Chain(1001))), 5, kTooDeep, "second tree");
  Refused(Document(TreeModel(Chain(100000))), 5, kTooDeep, "far deeper");
}

// Earlier top-level nodes are dropped (and released: see the sanitizer
// build); numbering still counts their nodes.
TEST_F(ReaderTest, TheLastTopLevelNodeIsTheTree) {
  const std::string nodes = ClsNode("A", ClsNode("A", "<True/>")) + ClsNode("B", "", "id=\"kept\"");
  ReadOutcome outcome = ReadOk(Document(TreeModel(nodes)));
  EXPECT_EQ(Ids(outcome->GetRoot()), std::vector<std::string>{"kept"});

  const std::string ruleSets =
      ClsNode("A", ClsNode("A", Simple("x", "lessThan", "1")) + ClsNode("B", "<True/>")) +
      ClsNode("C", ClsNode("C", Simple("y", "lessThan", "1")), "id=\"second\"");
  ReadOutcome rules = ReadOk(Document(TreeModel(ruleSets, "algorithmName=\"RuleSet\"")));
  const TreeNode* root = rules->GetRoot();
  EXPECT_EQ(root->GetNodeStats()->GetNodeID(), "second");
  ASSERT_EQ(root->GetChildCount(), 1);
  EXPECT_EQ(Layouts(root->GetChildAt(0)), "y: (-inf, 1) -> 0; missing -> -1\n");
}
