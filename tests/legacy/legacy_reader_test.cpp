#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "host/BaseDictionary.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreSplitVar.h"
#include "host/VeltraException.h"
#include "host/XmlDocument.h"
#include "legacy/DendrixTranslator.h"
#include "plugin/DendrixPMMLTranslator.h"
#include "scoring/DendrixPMMLModel.h"
#include "tree/CompositeTreeNode.h"
#include "tree/TreeClsResult.h"
#include "tree/TreeRegResult.h"

namespace {

// Target "class" (yes, no), continuous "age" with declared missing values,
// string "color" (red, green, blue), numeric ordinal "income" and numeric
// continuous target "amount".
const char* kDictionary =
    "<Dictionary>"
    "<Variable Name='class' Label='Class' MeasurementLevel='NOMINAL' Type='1'>"
    "<Categories><Category><V>yes</V><L>Yes!</L></Category><Category><V>no</V></Category>"
    "</Categories></Variable>"
    "<Variable Name='age' Label='Age' MeasurementLevel='CONTINUOUS' Type='0'>"
    "<FormatSpec Decimals='2' Width='8'/>"
    "<VarStats Minimum='1' Maximum='90' Mean='40' StdDev='12.5'/>"
    "<MissingValues><Category><V>-9</V></Category><Range><L>900</L><H>999</H></Range>"
    "<Note/></MissingValues></Variable>"
    "<Variable Name='color' Label='Color' MeasurementLevel='NOMINAL' Type='1'><Categories>"
    "<c><v>red</v></c><c><v>green</v></c><c><v>blue</v></c></Categories></Variable>"
    "<Variable Name='income' Label='Income' MeasurementLevel='ORDINAL' Type='0'/>"
    "<Variable Name='amount' Label='Amount' MeasurementLevel='CONTINUOUS' Type='0'/>"
    "</Dictionary>";

std::string Document(const std::string& body, const std::string& target = "class",
                     const std::string& dictionary = kDictionary) {
  return "<TreeDocument><Tree TargetName='" + target + "'/>" + dictionary +
         "<VersionInfo Major='3' Minor='1'/>" + body + "</TreeDocument>";
}

std::string Leaf(const std::string& id, int count, const std::string& prediction, int yesPercent) {
  return "<ClsTerminalNode Id='" + id + "' Count='" + std::to_string(count) + "'><Value>" +
         prediction + "</Value><ValuePercentage Percent='" + std::to_string(yesPercent) +
         "'><V>yes</V></ValuePercentage><ValuePercentage Percent='" +
         std::to_string(100 - yesPercent) + "'><V>no</V></ValuePercentage></ClsTerminalNode>";
}

// Root split on age at 40 (missing values go left), two leaves.
std::string AgeTree() {
  return "<ClsTree><ClsNode Id='0' Count='100' BiggestChild='0'><Value>yes</Value>"
         "<ValuePercentage Percent='60'><V>yes</V></ValuePercentage>"
         "<ValuePercentage Percent='40'><V>no</V></ValuePercentage>"
         "<ScaleSplit VarName='age' TopIntervalMapping='1' MissingValueMapping='0'>"
         "<MappedOrdinalValue MappedChildPosition='0'><Cut>40</Cut></MappedOrdinalValue>"
         "</ScaleSplit>" +
         Leaf("1", 60, "yes", 75) + Leaf("2", 40, "no", 30) + "</ClsNode></ClsTree>";
}

class LegacyReaderTest : public ::testing::Test {
 protected:
  // Parses the text and reads it; the test owns the returned model.
  std::unique_ptr<DendrixPMMLModel> Read(const std::string& text) {
    XmlDocument doc;
    XmlParseError error;
    EXPECT_TRUE(doc.ParseMemory(text, &error)) << error.message;
    DendrixTranslator translator;
    ScoreModel* model = translator.ParseFromTree(doc.GetDocument(), "UTF-8");
    EXPECT_NE(model, nullptr);
    return std::unique_ptr<DendrixPMMLModel>(dynamic_cast<DendrixPMMLModel*>(model));
  }

  // The exception a document is rejected with.
  VeltraException Reject(const std::string& text) {
    XmlDocument doc;
    XmlParseError error;
    EXPECT_TRUE(doc.ParseMemory(text, &error)) << error.message;
    try {
      DendrixTranslator translator;
      delete translator.ParseFromTree(doc.GetDocument(), "UTF-8");
    } catch (const VeltraException& e) {
      return e;
    }
    ADD_FAILURE() << "document was accepted";
    return VeltraException(0, "");
  }

  static const CompositeTreeNode* Root(const DendrixPMMLModel& model) {
    return dynamic_cast<const CompositeTreeNode*>(model.GetRoot());
  }
  static const TreeClsResult* Cls(const TreeNode* node) {
    return dynamic_cast<const TreeClsResult*>(node->GetNodeStats());
  }
  static const TreeRegResult* Reg(const TreeNode* node) {
    return dynamic_cast<const TreeRegResult*>(node->GetNodeStats());
  }
  static const ScaleSplit* Scale(const TreeNode* node, size_t i = 0) {
    return dynamic_cast<const ScaleSplit*>(node->GetSplitVar()->at(i));
  }

  XercesSession session;
};

TEST_F(LegacyReaderTest, DictionaryRolesAndVersion) {
  auto model = Read(Document(AgeTree()));
  const ScoreDictionary* dict = model->GetDictionary();
  ASSERT_NE(dict, nullptr);
  ASSERT_EQ(dict->GetNumberOfVars(), 5);
  EXPECT_EQ(dict->GetVars()[0]->GetName(), "class");
  EXPECT_EQ(dict->GetVars()[4]->GetName(), "amount");
  EXPECT_EQ(model->GetVarRole("class"), 1);
  EXPECT_EQ(model->GetVarRole("age"), 2);
  EXPECT_EQ(model->GetVarRole("amount"), 2);
  EXPECT_EQ(model->GetTargetVar(), dict->GetVar("class"));
  ASSERT_NE(model->GetVersionInfo(), nullptr);
  EXPECT_EQ(model->GetVersionInfo()->GetVersion(), "31");

  const auto* cls = dynamic_cast<const DictVar*>(dict->GetVar("class"));
  EXPECT_EQ(cls->GetLabel(), "Class");
  EXPECT_EQ(cls->GetVariableType(), 1);
  EXPECT_EQ(cls->GetMeasurementLevel(), 2);
  ASSERT_EQ(cls->GetCategoryCount(), 2);
  const auto& labels = cls->GetValueLabelSet()->GetLabels();
  EXPECT_EQ(labels[0]->GetValue()->ToString(), "yes");
  EXPECT_EQ(labels[0]->GetLabel(), "Yes!");
  EXPECT_EQ(labels[1]->GetLabel(), "no");  // no label element: the value text

  const auto* age = dynamic_cast<const DictVar*>(dict->GetVar("age"));
  EXPECT_EQ(age->GetVariableType(), 0);
  EXPECT_EQ(age->GetMeasurementLevel(), 0);
  EXPECT_EQ(age->GetDecimals(), 2);
  EXPECT_EQ(age->GetWidth(), 8);
  ASSERT_NE(age->GetVarStats(), nullptr);
  EXPECT_EQ(age->GetVarStats()->GetStdDev(), 12.5);
  NumericValue minus9(-9), v950(950), v899(899);
  EXPECT_TRUE(age->IsMissingValue(&minus9));
  EXPECT_TRUE(age->IsMissingValue(&v950));
  EXPECT_FALSE(age->IsMissingValue(&v899));
  EXPECT_EQ(dict->GetVar("income")->GetMeasurementLevel(), 1);
}

TEST_F(LegacyReaderTest, VariableTypeAndLevelCodes) {
  const std::string dict =
      "<Dictionary><Variable Name='class' Label='' MeasurementLevel='CONTINUOUS' Type='0'/>"
      "<Variable Name='s1' Label='' MeasurementLevel='SCALE' Type='1'/>"
      "<Variable Name='s2' Label='' MeasurementLevel='NOMINAL' Type='2'/></Dictionary>";
  auto model = Read(Document("", "class", dict));
  const ScoreDictionary* d = model->GetDictionary();
  EXPECT_EQ(d->GetVar("class")->GetVariableType(), 0);
  EXPECT_EQ(d->GetVar("s1")->GetVariableType(), 1);
  EXPECT_EQ(d->GetVar("s1")->GetMeasurementLevel(), 0);  // unknown level: as created
  EXPECT_EQ(d->GetVar("s2")->GetVariableType(), 1);
  EXPECT_EQ(model->GetRoot(), nullptr);  // no tree element at all
}

TEST_F(LegacyReaderTest, ClassificationNodes) {
  auto model = Read(Document(AgeTree()));
  const CompositeTreeNode* root = Root(*model);
  ASSERT_NE(root, nullptr);
  ASSERT_EQ(root->GetChildCount(), 2);
  const TreeClsResult* stats = Cls(root);
  EXPECT_EQ(stats->GetNodeID(), "0");
  EXPECT_EQ(stats->GetTotalRecord(), 100);
  EXPECT_EQ(stats->GetBiggestChild(), 0);
  EXPECT_EQ(stats->GetPrediction()->ToString(), "yes");
  EXPECT_EQ(stats->GetTarget(), nullptr);
  ASSERT_EQ(stats->GetAllValuePercent().size(), 2u);
  EXPECT_DOUBLE_EQ(stats->GetAllValuePercent()[0].second, 0.6);
  EXPECT_DOUBLE_EQ(stats->GetConfidence(), 61.0 / 102);

  const TreeClsResult* right = Cls(root->GetChildAt(1));
  EXPECT_EQ(right->GetNodeID(), "2");
  EXPECT_EQ(right->GetBiggestChild(), -1);
  EXPECT_DOUBLE_EQ(right->GetConfidence(), 29.0 / 42);  // 28 "no" records
  EXPECT_EQ(root->GetChildAt(1)->GetParent(), root);
}

TEST_F(LegacyReaderTest, ScaleSplitIntervals) {
  const std::string tree =
      "<ClsTree><ClsNode Id='0'><Value>yes</Value>"
      "<ScaleSplit VarName='age' TopIntervalMapping='2' MissingValueMapping='1'>"
      "<MappedOrdinalValue MappedChildPosition='0'><C>10</C></MappedOrdinalValue>"
      "<MappedOrdinalValue MappedChildPosition='1'><C>20</C></MappedOrdinalValue></ScaleSplit>"
      "<ScaleSplit VarName='income' TopIntervalMapping='1' MissingValueMapping='0'/>"
      "</ClsNode></ClsTree>";
  auto model = Read(Document(tree));
  const CompositeTreeNode* root = Root(*model);
  ASSERT_EQ(root->GetSplitVar()->size(), 2u);
  const ScaleSplit* age = Scale(root, 0);
  EXPECT_EQ(age->GetMissvalMap(), 1);
  const auto& ranges = age->GetRanges();
  ASSERT_EQ(ranges.size(), 3u);
  struct Expect {
    double low, high;
    bool lowClosed, highClosed;
    int position;
  };
  const double inf = INFINITY;
  const Expect expected[] = {
      {-inf, 10, false, true, 0}, {10, 20, false, true, 1}, {20, inf, false, false, 2}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(ranges[i].first->GetLow(), expected[i].low) << i;
    EXPECT_EQ(ranges[i].first->GetHigh(), expected[i].high) << i;
    EXPECT_EQ(ranges[i].first->IsLowClosed(), expected[i].lowClosed) << i;
    EXPECT_EQ(ranges[i].first->IsHighClosed(), expected[i].highClosed) << i;
    EXPECT_EQ(ranges[i].second, expected[i].position) << i;
  }
  const auto& whole = Scale(root, 1)->GetRanges();
  ASSERT_EQ(whole.size(), 1u);
  EXPECT_EQ(whole[0].first->GetLow(), -inf);
  EXPECT_EQ(whole[0].first->GetHigh(), inf);
  EXPECT_FALSE(whole[0].first->IsLowClosed());
  EXPECT_FALSE(whole[0].first->IsHighClosed());
  EXPECT_EQ(whole[0].second, 1);
}

TEST_F(LegacyReaderTest, DiscreteSplitPositionsAndValueTypes) {
  const std::string tree =
      "<ClsTree><ClsNode Id='0'><Value>yes</Value>"
      "<DiscreteSplit VarName='color' MissingValueMapping='2'>"
      "<MappedDiscreteValues><v>red</v><v>pink</v></MappedDiscreteValues>"
      "<MappedDiscreteValues><v>green</v></MappedDiscreteValues>"
      "<MappedDiscreteValues><v>blue</v></MappedDiscreteValues></DiscreteSplit>"
      "<DiscreteSplit VarName='income' MissingValueMapping='0'>"
      "<MappedDiscreteValues><v>1</v></MappedDiscreteValues>"
      "<MappedDiscreteValues><v> 2.5 </v></MappedDiscreteValues></DiscreteSplit>"
      "</ClsNode></ClsTree>";
  auto model = Read(Document(tree));
  const CompositeTreeNode* root = Root(*model);
  const auto* color = dynamic_cast<const DiscreteSplit*>(root->GetSplitVar()->at(0));
  ASSERT_NE(color, nullptr);
  EXPECT_EQ(color->GetMissvalMap(), 2);
  StringValue red("red"), pink("pink"), green("green"), blue("blue");
  EXPECT_EQ(color->GetChildIndex(&red), 0);
  EXPECT_EQ(color->GetChildIndex(&pink), 0);
  EXPECT_EQ(color->GetChildIndex(&green), 1);
  EXPECT_EQ(color->GetChildIndex(&blue), 2);
  const auto* income = dynamic_cast<const DiscreteSplit*>(root->GetSplitVar()->at(1));
  NumericValue two5(2.5);
  StringValue text("1");
  EXPECT_EQ(income->GetChildIndex(&two5), 1);
  EXPECT_LT(income->GetChildIndex(&text), 0);  // numeric split values are numbers
}

TEST_F(LegacyReaderTest, LastTopNodeIsTheRoot) {
  auto model = Read(Document("<ClsTree>" + Leaf("first", 10, "yes", 90) + "<Other/>" +
                             Leaf("second", 20, "no", 10) + "</ClsTree>"));
  ASSERT_NE(Root(*model), nullptr);
  EXPECT_EQ(Cls(Root(*model))->GetNodeID(), "second");
  EXPECT_EQ(Root(*model)->GetChildCount(), 0);
}

TEST_F(LegacyReaderTest, RegTreeOverridesClsTree) {
  const std::string clsTree = "<ClsTree><ClsTerminalNode Id='c'/></ClsTree>";
  auto none = Read(Document(clsTree + "<RegTree><Junk/><RegNode Prediction='1' Count='1'/>"
                                      "</RegTree>",
                            "amount"));
  EXPECT_EQ(none->GetRoot(), nullptr);
  auto reg = Read(Document(clsTree + "<RegTree><RegNode Id='r' Prediction='1' Count='1'/>"
                                     "</RegTree>",
                           "amount"));
  ASSERT_NE(Root(*reg), nullptr);
  EXPECT_EQ(Reg(Root(*reg))->GetNodeID(), "r");
}

TEST_F(LegacyReaderTest, RegressionNodes) {
  const std::string tree =
      "<RegTree><RegNode Id='0' Prediction='10.5' Deviation='2' Count='12.5' BiggestChild='1'>"
      "<ScaleSplit VarName='age' TopIntervalMapping='1' MissingValueMapping='1'>"
      "<MappedOrdinalValue MappedChildPosition='0'><C>40</C></MappedOrdinalValue></ScaleSplit>"
      "<Value>ignored</Value>"
      "<RegTerminalNode Id='1' Prediction='4' Count='5' Deviation=''/>"
      "<RegTerminalNode Prediction='15' Count='7.5' BiggestChild=''/>"
      "</RegNode></RegTree>";
  auto model = Read(Document(tree, "amount"));
  const CompositeTreeNode* root = Root(*model);
  ASSERT_NE(root, nullptr);
  const TreeRegResult* stats = Reg(root);
  ASSERT_NE(stats, nullptr);
  EXPECT_EQ(stats->GetPrediction()->ToDouble(), 10.5);
  EXPECT_EQ(stats->GetStdDev(), 2);
  EXPECT_EQ(stats->GetCount(), 12.5);
  EXPECT_EQ(stats->GetBiggestChild(), 1);
  ASSERT_EQ(root->GetChildCount(), 2);
  const TreeRegResult* left = Reg(root->GetChildAt(0));
  EXPECT_EQ(left->GetStdDev(), -1.0);  // empty optional attribute: absent
  const TreeRegResult* right = Reg(root->GetChildAt(1));
  EXPECT_EQ(right->GetNodeID(), "-1");
  EXPECT_EQ(right->GetBiggestChild(), -1);
  EXPECT_EQ(right->GetCount(), 7.5);
}

TEST_F(LegacyReaderTest, NumericTargetPredictionsAreVerified) {
  const std::string dict =
      "<Dictionary><Variable Name='grade' Label='' MeasurementLevel='ORDINAL' Type='0'>"
      "<Categories><c><v>1</v></c><c><v>2</v></c></Categories></Variable></Dictionary>";
  auto model =
      Read(Document("<ClsTree><ClsTerminalNode Count='4'><Value> 2 </Value>"
                    "<ValuePercentage Percent='100'><v>2</v></ValuePercentage>"
                    "</ClsTerminalNode></ClsTree>",
                    "grade", dict));
  const TreeClsResult* stats = Cls(Root(*model));
  ASSERT_TRUE(stats->GetPrediction()->IsNumeric());
  EXPECT_EQ(stats->GetPrediction()->ToDouble(), 2);
  EXPECT_DOUBLE_EQ(stats->GetConfidence(), 5.0 / 5);

  VeltraException e = Reject(Document(
      "<ClsTree><ClsTerminalNode><Value>two</Value></ClsTerminalNode></ClsTree>", "grade", dict));
  EXPECT_EQ(e.GetCode(), 3);
}

struct Failure {
  const char* name;
  std::string document;
  int code;
  std::string message;  // empty: only the code is checked
};

std::vector<Failure> Failures() {
  const std::string node = "<ClsTree><ClsNode Id='0'><Value>yes</Value>";
  const std::string end = "</ClsNode></ClsTree>";
  const std::string noTree = std::string("<TreeDocument>") + kDictionary +
                             "<VersionInfo Major='3' Minor='1'/></TreeDocument>";
  const std::string noDictionary =
      "<TreeDocument><Tree TargetName='class'/><VersionInfo Major='3' Minor='1'/></TreeDocument>";
  const std::string noVersion =
      std::string("<TreeDocument><Tree TargetName='class'/>") + kDictionary + "</TreeDocument>";
  std::string badVariable = kDictionary;
  badVariable.replace(badVariable.find("<FormatSpec"), 0, "<Profit/>");
  return {
      {"InvalidVariableChild", Document("", "class", badVariable), 1,
       "Profit Is NOT a valid element here!"},
      {"UnknownSplitVariable",
       Document(node +
                "<ScaleSplit VarName='weight' TopIntervalMapping='1' "
                "MissingValueMapping='0'/>" +
                end),
       8, "weight Is NOT in the dictionary!"},
      {"UnknownDiscreteVariable",
       Document(node + "<DiscreteSplit VarName='shade' MissingValueMapping='0'/>" + end), 8,
       "shade Is NOT in the dictionary!"},
      {"InvalidScaleSplitChild",
       Document(node +
                "<ScaleSplit VarName='age' TopIntervalMapping='1' "
                "MissingValueMapping='0'><Cut/></ScaleSplit>" +
                end),
       1, "Cut is invalid"},
      {"InvalidDiscreteSplitChild",
       Document(node +
                "<DiscreteSplit VarName='color' MissingValueMapping='0'>"
                "<MappedDiscreteValues><v>red</v></MappedDiscreteValues><Values/>"
                "</DiscreteSplit>" +
                end),
       1, "Values is invalid"},
      {"ClsCountNotInteger", Document("<ClsTree><ClsTerminalNode Count='12.5'/></ClsTree>"), 3, ""},
      {"MissingDictionary", noDictionary, 1, "Dictionary element is missing!"},
      {"MissingTree", noTree, 1, "Tree element is missing!"},
      {"MissingVersionInfo", noVersion, 1, "VersionInfo element is missing!"},
      {"TargetNotInDictionary", Document("", "weight"), 8, "weight Is NOT in the dictionary!"},
      {"MissingTargetName", std::string("<TreeDocument><Tree/>") + kDictionary + "</TreeDocument>",
       1, "Attribute \"TargetName\" is required in element <Tree>"},
      {"EmptyRegTree", Document("<RegTree/>", "amount"), 1, "RegTree has no node element!"},
      {"RegNodeWithoutPrediction", Document("<RegTree><RegNode Count='3'/></RegTree>", "amount"), 1,
       "Attribute \"Prediction\" is required in element <RegNode>"},
      {"RegNodeWithoutCount", Document("<RegTree><RegNode Prediction='3'/></RegTree>", "amount"), 1,
       "Attribute \"Count\" is required in element <RegNode>"},
      {"SplitWithoutMissingMapping",
       Document(node + "<ScaleSplit VarName='age' TopIntervalMapping='1'/>" + end), 1,
       "Attribute \"MissingValueMapping\" is required in element <ScaleSplit>"},
      {"ValueWithoutText",
       Document("<ClsTree><ClsTerminalNode><Value/></ClsTerminalNode></ClsTree>"), 1,
       "Value has no text!"},
      {"ValuePercentageWithoutValue",
       Document("<ClsTree><ClsTerminalNode><ValuePercentage Percent='5'/></ClsTerminalNode>"
                "</ClsTree>"),
       1, "ValuePercentage has no value element!"},
      {"CutPointMissing",
       Document(node +
                "<ScaleSplit VarName='age' TopIntervalMapping='1' "
                "MissingValueMapping='0'><MappedOrdinalValue MappedChildPosition='0'/>"
                "</ScaleSplit>" +
                end),
       1, "MappedOrdinalValue has no cut point element!"},
      {"CutPointNotANumber",
       Document(node +
                "<ScaleSplit VarName='age' TopIntervalMapping='1' "
                "MissingValueMapping='0'><MappedOrdinalValue MappedChildPosition='0'>"
                "<c>ten</c></MappedOrdinalValue></ScaleSplit>" +
                end),
       3, ""},
      {"DiscreteValueWithoutText",
       Document(node +
                "<DiscreteSplit VarName='color' MissingValueMapping='0'>"
                "<MappedDiscreteValues><v/></MappedDiscreteValues></DiscreteSplit>" +
                end),
       1, "v has no text!"},
      {"CategoryWithoutValue",
       Document("", "class",
                "<Dictionary><Variable Name='class' Label='' MeasurementLevel='NOMINAL' "
                "Type='1'><Categories><c/></Categories></Variable></Dictionary>"),
       1, "c in Categories has no value element!"},
      {"MissingRangeWithoutHigh",
       Document("", "class",
                "<Dictionary><Variable Name='class' Label='' MeasurementLevel='NOMINAL' "
                "Type='0'><MissingValues><Range><l>1</l></Range></MissingValues></Variable>"
                "</Dictionary>"),
       1, "Range in MissingValues lacks a value element!"},
      {"VariableWithoutName",
       Document("", "class",
                "<Dictionary><Variable Label='' MeasurementLevel='NOMINAL' Type='1'/>"
                "</Dictionary>"),
       1, "Attribute \"Name\" is required in element <Variable>"},
      {"DuplicateVariable",
       Document("", "class",
                "<Dictionary><Variable Name='class' Label='' MeasurementLevel='NOMINAL' "
                "Type='1'/><Variable Name='class' Label='' MeasurementLevel='NOMINAL' "
                "Type='1'/></Dictionary>"),
       3, "class Is defined twice in the dictionary!"},
      // The model refuses a categorical target without categories.
      {"TargetWithoutCategories", Document("", "income"), 4, ""},
      // A failure deep inside a tree, after other nodes were built.
      {"FailureInNestedNode",
       Document(node + Leaf("1", 5, "yes", 50) + "<ClsNode Id='2'>" + Leaf("3", 5, "no", 50) +
                "<ClsTerminalNode Count='x'/></ClsNode>" + end),
       3, ""},
      // The second top node fails after the first was read.
      {"FailureInSecondTopNode",
       Document("<ClsTree>" + Leaf("1", 5, "yes", 50) +
                "<ClsNode><ScaleSplit VarName='nope' TopIntervalMapping='0' "
                "MissingValueMapping='0'/></ClsNode></ClsTree>"),
       8, "nope Is NOT in the dictionary!"},
  };
}

TEST_F(LegacyReaderTest, RejectedDocuments) {
  for (const Failure& f : Failures()) {
    SCOPED_TRACE(f.name);
    VeltraException e = Reject(f.document);
    EXPECT_EQ(e.GetCode(), f.code);
    if (!f.message.empty()) {
      EXPECT_EQ(e.GetMessage(), f.message);
    }
  }
}

// A chain of `levels` nested classification nodes.
std::string Chain(int levels) {
  std::string text;
  for (int i = 0; i < levels; ++i) text += "<ClsNode Count='1'><Value>yes</Value>";
  for (int i = 0; i < levels; ++i) text += "</ClsNode>";
  return "<ClsTree>" + text + "</ClsTree>";
}

TEST_F(LegacyReaderTest, NestingLimit) {
  auto model = Read(Document(Chain(DendrixTranslator::kMaxNodeDepth)));
  const CompositeTreeNode* deepest = Root(*model)->GetLastLeaf();
  EXPECT_EQ(deepest->GetLevel(), DendrixTranslator::kMaxNodeDepth - 1);

  VeltraException e = Reject(Document(Chain(DendrixTranslator::kMaxNodeDepth + 1)));
  EXPECT_EQ(e.GetCode(), 5);
  EXPECT_EQ(e.GetMessage(), "Tree nodes nested deeper than 1000 levels are not supported!");
}

TEST_F(LegacyReaderTest, UnusedTranslatorReleasesItsModel) {
  // Nothing to assert beyond the sanitizer build's leak check; the second
  // translator reads a document after an unused one was destroyed.
  { DendrixTranslator unused; }
  auto model = Read(Document(AgeTree()));
  EXPECT_NE(model->GetRoot(), nullptr);
}

TEST_F(LegacyReaderTest, ScoresClassificationCases) {
  auto model = Read(Document(AgeTree()));
  NamedCaseRecord record;
  ScoreResult* result = nullptr;
  struct Case {
    double age;
    const char* node;
    const char* prediction;
  };
  for (Case c :
       {Case{30, "1", "yes"}, Case{40, "1", "yes"}, Case{50, "2", "no"}, Case{-9, "1", "yes"}}) {
    record.SetNumber("age", c.age);
    ASSERT_TRUE(model->GetScore(&record, result, false).IsOK()) << c.age;
    auto* cls = dynamic_cast<TreeClsResult*>(result);
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(cls->GetNodeID(), c.node) << c.age;
    EXPECT_EQ(cls->GetPrediction()->ToString(), c.prediction) << c.age;
  }
  delete result;
}

TEST_F(LegacyReaderTest, ScoresRegressionCases) {
  auto model =
      Read(Document("<RegTree><RegNode Id='0' Prediction='10' Count='20'>"
                    "<DiscreteSplit VarName='color' MissingValueMapping='1'>"
                    "<MappedDiscreteValues><v>red</v></MappedDiscreteValues>"
                    "<MappedDiscreteValues><v>blue</v></MappedDiscreteValues></DiscreteSplit>"
                    "<RegTerminalNode Id='1' Prediction='4' Deviation='0.5' Count='12'/>"
                    "<RegTerminalNode Id='2' Prediction='19' Deviation='1.5' Count='8'/>"
                    "</RegNode></RegTree>",
                    "amount"));
  NamedCaseRecord record;
  ScoreResult* result = nullptr;
  record.SetString("color", "blue");
  ASSERT_TRUE(model->GetScore(&record, result, false).IsOK());
  auto* reg = dynamic_cast<TreeRegResult*>(result);
  ASSERT_NE(reg, nullptr);
  EXPECT_EQ(reg->GetNodeID(), "2");
  EXPECT_EQ(reg->GetPrediction()->ToDouble(), 19);
  EXPECT_EQ(reg->GetStdDev(), 1.5);
  record.SetString("color", "red");
  ASSERT_TRUE(model->GetScore(&record, result, false).IsOK());
  EXPECT_EQ(dynamic_cast<TreeRegResult*>(result)->GetNodeID(), "1");
  EXPECT_EQ(dynamic_cast<TreeRegResult*>(result)->GetPrediction()->ToDouble(), 4);
  record.SetString("color", "pink");  // not a category: the missing-value child
  ASSERT_TRUE(model->GetScore(&record, result, false).IsOK());
  EXPECT_EQ(dynamic_cast<TreeRegResult*>(result)->GetNodeID(), "2");
  ASSERT_EQ(result->GetAdvice().size(), 1u);
  EXPECT_EQ(result->GetAdvice()[0].GetCode(), 105);
  delete result;
}

TEST_F(LegacyReaderTest, PluginTranslatorHandsLegacyDocumentsOver) {
  XmlDocument doc;
  XmlParseError error;
  ASSERT_TRUE(doc.ParseMemory(Document(AgeTree()), &error)) << error.message;
  DendrixPMMLTranslator translator;
  std::unique_ptr<ScoreModel> model(translator.ParseFromTree(doc.GetDocument(), "UTF-8"));
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(model->GetVersionInfo()->GetVersion(), "31");
  EXPECT_EQ(model->GetTreeCount(), 1);
}

}  // namespace
