// The older tree document format: dictionary, classification and regression
// trees, splits, scoring, and the failures of malformed documents.

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

// A one-variable dictionary.
std::string OneVariable(const std::string& attributes, const std::string& content = "") {
  return "<Dictionary><Variable " + attributes + ">" + content + "</Variable></Dictionary>";
}

std::string Leaf(const std::string& id, int count, const std::string& prediction, int yesPercent) {
  return "<ClsTerminalNode Id='" + id + "' Count='" + std::to_string(count) + "'><Value>" +
         prediction + "</Value><ValuePercentage Percent='" + std::to_string(yesPercent) +
         "'><V>yes</V></ValuePercentage><ValuePercentage Percent='" +
         std::to_string(100 - yesPercent) + "'><V>no</V></ValuePercentage></ClsTerminalNode>";
}

// A classification root holding splits (and children) below a Value.
std::string Root(const std::string& content) {
  return "<ClsTree><ClsNode Id='0'><Value>yes</Value>" + content + "</ClsNode></ClsTree>";
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

std::string Bound(double x) {
  return std::isinf(x) ? (x < 0 ? "-inf" : "+inf") : NumericValue::FormatDouble(x);
}

// "(-inf, 10] -> 0; ... missing -> 1" for a range split.
std::string Layout(const ScoreSplitVar* split) {
  std::string text;
  for (const auto& [range, child] : dynamic_cast<const ScaleSplit&>(*split).GetRanges()) {
    text += std::string(range->IsLowClosed() ? "[" : "(") + Bound(range->GetLow()) + ", " +
            Bound(range->GetHigh()) + (range->IsHighClosed() ? "]" : ")") + " -> " +
            std::to_string(child) + "; ";
  }
  return text + "missing -> " + std::to_string(split->GetMissvalMap());
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

  static const TreeClsResult* Cls(const TreeNode* node) {
    return dynamic_cast<const TreeClsResult*>(node->GetNodeStats());
  }
  static const TreeRegResult* Reg(const TreeNode* node) {
    return dynamic_cast<const TreeRegResult*>(node->GetNodeStats());
  }

  XercesSession session;
};

TEST_F(LegacyReaderTest, DictionaryRolesAndVersion) {
  auto model = Read(Document(AgeTree()));
  const ScoreDictionary* dict = model->GetDictionary();
  ASSERT_EQ(dict->GetNumberOfVars(), 5);
  EXPECT_EQ(dict->GetVars()[4]->GetName(), "amount");
  EXPECT_EQ(model->GetVarRole("class"), 1);
  EXPECT_EQ(model->GetVarRole("age"), 2);
  EXPECT_EQ(model->GetTargetVar(), dict->GetVar("class"));
  EXPECT_EQ(model->GetVersionInfo()->GetVersion(), "31");

  const auto* cls = dynamic_cast<const DictVar*>(dict->GetVar("class"));
  EXPECT_EQ(cls->GetLabel(), "Class");
  EXPECT_EQ(cls->GetMeasurementLevel(), 2);
  ASSERT_EQ(cls->GetCategoryCount(), 2);
  const auto& labels = cls->GetValueLabelSet()->GetLabels();
  EXPECT_EQ(labels[0]->GetLabel(), "Yes!");
  EXPECT_EQ(labels[1]->GetLabel(), "no");  // no label element: the value text

  const auto* age = dynamic_cast<const DictVar*>(dict->GetVar("age"));
  EXPECT_EQ(age->GetDecimals(), 2);
  EXPECT_EQ(age->GetWidth(), 8);
  EXPECT_EQ(age->GetVarStats()->GetStdDev(), 12.5);
  NumericValue minus9(-9), v950(950), v899(899);
  EXPECT_TRUE(age->IsMissingValue(&minus9));
  EXPECT_TRUE(age->IsMissingValue(&v950));
  EXPECT_FALSE(age->IsMissingValue(&v899));
  EXPECT_EQ(dict->GetVar("income")->GetMeasurementLevel(), 1);

  // Type 2 reads as a string; an unknown level keeps the created one; a
  // document without a tree element has no root.
  const std::string codes =
      "<Dictionary><Variable Name='class' Label='' MeasurementLevel='CONTINUOUS' Type='0'/>"
      "<Variable Name='s1' Label='' MeasurementLevel='SCALE' Type='1'/>"
      "<Variable Name='s2' Label='' MeasurementLevel='NOMINAL' Type='2'/></Dictionary>";
  auto other = Read(Document("", "class", codes));
  EXPECT_EQ(other->GetDictionary()->GetVar("s1")->GetMeasurementLevel(), 0);
  EXPECT_EQ(other->GetDictionary()->GetVar("s2")->GetVariableType(), 1);
  EXPECT_EQ(other->GetRoot(), nullptr);
}

TEST_F(LegacyReaderTest, ClassificationTreeReadsAndScores) {
  auto model = Read(Document(AgeTree()));
  const TreeNode* root = model->GetRoot();
  ASSERT_EQ(root->GetChildCount(), 2);
  const TreeClsResult* stats = Cls(root);
  EXPECT_EQ(stats->GetNodeID(), "0");
  EXPECT_EQ(stats->GetTotalRecord(), 100);
  EXPECT_EQ(stats->GetBiggestChild(), 0);
  EXPECT_EQ(stats->GetPrediction()->ToString(), "yes");
  EXPECT_DOUBLE_EQ(stats->GetAllValuePercent()[0].second, 0.6);
  EXPECT_DOUBLE_EQ(stats->GetConfidence(), 61.0 / 102);
  EXPECT_EQ(Cls(root->GetChildAt(1))->GetBiggestChild(), -1);
  EXPECT_DOUBLE_EQ(Cls(root->GetChildAt(1))->GetConfidence(), 29.0 / 42);  // 28 "no" records
  EXPECT_EQ(root->GetChildAt(1)->GetParent(), root);

  NamedCaseRecord record;
  ScoreResult* result = nullptr;
  struct Case {
    double age;
    const char* node;
    const char* prediction;
  };
  for (Case c : {Case{30, "1", "yes"}, Case{40, "1", "yes"}, Case{50, "2", "no"},
                 Case{-9, "1", "yes"}}) {  // -9 is a declared missing value
    record.SetNumber("age", c.age);
    ASSERT_TRUE(model->GetScore(&record, result, false).IsOK()) << c.age;
    auto* cls = dynamic_cast<TreeClsResult*>(result);
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(cls->GetNodeID(), c.node) << c.age;
    EXPECT_EQ(cls->GetPrediction()->ToString(), c.prediction) << c.age;
  }
  delete result;
}

TEST_F(LegacyReaderTest, SplitLayouts) {
  auto model = Read(Document(
      Root("<ScaleSplit VarName='age' TopIntervalMapping='2' MissingValueMapping='1'>"
           "<MappedOrdinalValue MappedChildPosition='0'><C>10</C></MappedOrdinalValue>"
           "<MappedOrdinalValue MappedChildPosition='1'><C>20</C></MappedOrdinalValue></ScaleSplit>"
           "<ScaleSplit VarName='income' TopIntervalMapping='1' MissingValueMapping='0'/>"
           "<DiscreteSplit VarName='color' MissingValueMapping='2'>"
           "<MappedDiscreteValues><v>red</v><v>pink</v></MappedDiscreteValues>"
           "<MappedDiscreteValues><v>green</v></MappedDiscreteValues>"
           "<MappedDiscreteValues><v>blue</v></MappedDiscreteValues></DiscreteSplit>"
           "<DiscreteSplit VarName='income' MissingValueMapping='0'>"
           "<MappedDiscreteValues><v>1</v></MappedDiscreteValues>"
           "<MappedDiscreteValues><v> 2.5 </v></MappedDiscreteValues></DiscreteSplit>")));
  const std::vector<ScoreSplitVar*>& splits = *model->GetRoot()->GetSplitVar();
  ASSERT_EQ(splits.size(), 4u);
  EXPECT_EQ(Layout(splits[0]), "(-inf, 10] -> 0; (10, 20] -> 1; (20, +inf) -> 2; missing -> 1");
  EXPECT_EQ(Layout(splits[1]), "(-inf, +inf) -> 1; missing -> 0");

  const auto* color = dynamic_cast<const DiscreteSplit*>(splits[2]);
  ASSERT_NE(color, nullptr);
  EXPECT_EQ(color->GetMissvalMap(), 2);
  StringValue red("red"), pink("pink"), green("green"), blue("blue");
  EXPECT_EQ(color->GetChildIndex(&red), 0);
  EXPECT_EQ(color->GetChildIndex(&pink), 0);
  EXPECT_EQ(color->GetChildIndex(&green), 1);
  EXPECT_EQ(color->GetChildIndex(&blue), 2);
  // Values of a numeric field are numbers.
  const auto* income = dynamic_cast<const DiscreteSplit*>(splits[3]);
  NumericValue two5(2.5);
  StringValue text("1");
  EXPECT_EQ(income->GetChildIndex(&two5), 1);
  EXPECT_LT(income->GetChildIndex(&text), 0);
}

TEST_F(LegacyReaderTest, RegressionTreeReadsAndScores) {
  auto model = Read(Document(
      "<RegTree><RegNode Id='0' Prediction='10' Deviation='2' Count='20.5' BiggestChild='1'>"
      "<DiscreteSplit VarName='color' MissingValueMapping='1'>"
      "<MappedDiscreteValues><v>red</v></MappedDiscreteValues>"
      "<MappedDiscreteValues><v>blue</v></MappedDiscreteValues></DiscreteSplit>"
      "<Value>ignored</Value>"
      "<RegTerminalNode Id='1' Prediction='4' Deviation='' Count='12'/>"
      "<RegTerminalNode Prediction='19' Deviation='1.5' Count='8.5' BiggestChild=''/>"
      "</RegNode></RegTree>",
      "amount"));
  const TreeNode* root = model->GetRoot();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(Reg(root)->GetPrediction()->ToDouble(), 10);
  EXPECT_EQ(Reg(root)->GetStdDev(), 2);
  EXPECT_EQ(Reg(root)->GetCount(), 20.5);
  EXPECT_EQ(Reg(root)->GetBiggestChild(), 1);
  ASSERT_EQ(root->GetChildCount(), 2);
  EXPECT_EQ(Reg(root->GetChildAt(0))->GetStdDev(), -1.0);  // empty optional attribute: absent
  EXPECT_EQ(Reg(root->GetChildAt(1))->GetNodeID(), "-1");
  EXPECT_EQ(Reg(root->GetChildAt(1))->GetBiggestChild(), -1);

  NamedCaseRecord record;
  ScoreResult* result = nullptr;
  record.SetString("color", "blue");
  ASSERT_TRUE(model->GetScore(&record, result, false).IsOK());
  auto* reg = dynamic_cast<TreeRegResult*>(result);
  ASSERT_NE(reg, nullptr);
  EXPECT_EQ(reg->GetPrediction()->ToDouble(), 19);
  EXPECT_EQ(reg->GetStdDev(), 1.5);
  record.SetString("color", "red");
  ASSERT_TRUE(model->GetScore(&record, result, false).IsOK());
  EXPECT_EQ(dynamic_cast<TreeRegResult*>(result)->GetNodeID(), "1");
  record.SetString("color", "pink");  // not a category: the missing-value child
  ASSERT_TRUE(model->GetScore(&record, result, false).IsOK());
  EXPECT_EQ(dynamic_cast<TreeRegResult*>(result)->GetPrediction()->ToDouble(), 19);
  ASSERT_EQ(result->GetAdvice().size(), 1u);
  EXPECT_EQ(result->GetAdvice()[0].GetCode(), 105);
  delete result;
}

TEST_F(LegacyReaderTest, EdgeCases) {
  // The last top node is the root.
  auto last = Read(Document("<ClsTree>" + Leaf("first", 10, "yes", 90) + "<Other/>" +
                            Leaf("second", 20, "no", 10) + "</ClsTree>"));
  EXPECT_EQ(Cls(last->GetRoot())->GetNodeID(), "second");
  EXPECT_EQ(last->GetRoot()->GetChildCount(), 0);

  // A regression tree replaces a classification tree, even one without nodes.
  const std::string clsTree = "<ClsTree><ClsTerminalNode Id='c'/></ClsTree>";
  auto none = Read(Document(
      clsTree + "<RegTree><Junk/><RegNode Prediction='1' Count='1'/></RegTree>", "amount"));
  EXPECT_EQ(none->GetRoot(), nullptr);
  auto reg = Read(Document(clsTree + "<RegTree><RegNode Id='r' Prediction='1' Count='1'/>"
                                     "</RegTree>",
                           "amount"));
  EXPECT_EQ(Reg(reg->GetRoot())->GetNodeID(), "r");

  // Predictions of a numeric target are numbers.
  auto numeric =
      Read(Document("<ClsTree><ClsTerminalNode Count='4'><Value> 2 </Value>"
                    "<ValuePercentage Percent='100'><v>2</v></ValuePercentage></ClsTerminalNode>"
                    "</ClsTree>",
                    "grade",
                    OneVariable("Name='grade' Label='' MeasurementLevel='ORDINAL' Type='0'",
                                "<Categories><c><v>1</v></c><c><v>2</v></c></Categories>")));
  ASSERT_TRUE(Cls(numeric->GetRoot())->GetPrediction()->IsNumeric());
  EXPECT_EQ(Cls(numeric->GetRoot())->GetPrediction()->ToDouble(), 2);
  EXPECT_DOUBLE_EQ(Cls(numeric->GetRoot())->GetConfidence(), 5.0 / 5);

  // The plug-in's translator hands documents of this format over.
  XmlDocument doc;
  XmlParseError error;
  ASSERT_TRUE(doc.ParseMemory(Document(AgeTree()), &error)) << error.message;
  DendrixPMMLTranslator translator;
  std::unique_ptr<ScoreModel> handed(translator.ParseFromTree(doc.GetDocument(), "UTF-8"));
  ASSERT_NE(handed, nullptr);
  EXPECT_EQ(handed->GetVersionInfo()->GetVersion(), "31");
  EXPECT_EQ(handed->GetTreeCount(), 1);
}

// A chain of `levels` nested classification nodes.
std::string Chain(int levels) {
  std::string text;
  for (int i = 0; i < levels; ++i) text += "<ClsNode Count='1'><Value>yes</Value>";
  for (int i = 0; i < levels; ++i) text += "</ClsNode>";
  return "<ClsTree>" + text + "</ClsTree>";
}

TEST_F(LegacyReaderTest, NestingLimit) {
  { DendrixTranslator unused; }  // releases its model (the sanitizer build checks)
  auto model = Read(Document(Chain(DendrixTranslator::kMaxNodeDepth)));
  const auto* root = dynamic_cast<const CompositeTreeNode*>(model->GetRoot());
  EXPECT_EQ(root->GetLastLeaf()->GetLevel(), DendrixTranslator::kMaxNodeDepth - 1);
  VeltraException e = Reject(Document(Chain(DendrixTranslator::kMaxNodeDepth + 1)));
  EXPECT_EQ(e.GetCode(), 5);
  EXPECT_EQ(e.GetMessage(), "Tree nodes nested deeper than 1000 levels are not supported!");
}

TEST_F(LegacyReaderTest, RejectedDocuments) {
  const std::string dictionary = kDictionary;
  std::string badVariable = kDictionary;
  badVariable.replace(badVariable.find("<FormatSpec"), 0, "<Profit/>");
  const std::string scale = "<ScaleSplit VarName='age' TopIntervalMapping='1' ";
  const std::string color = "<DiscreteSplit VarName='color' MissingValueMapping='0'>";
  const std::string nominal = "Name='class' Label='' MeasurementLevel='NOMINAL' ";
  const std::string head = "<TreeDocument><Tree TargetName='class'/>";
  const std::string version = "<VersionInfo Major='3' Minor='1'/>";
  auto regDoc = [](const std::string& node) {
    return Document("<RegTree>" + node + "</RegTree>", "amount");
  };
  auto clsLeaf = [](const std::string& content) {
    return Document("<ClsTree><ClsTerminalNode>" + content + "</ClsTerminalNode></ClsTree>");
  };
  struct Failure {
    std::string document;
    int code;
    std::string message;  // empty: only the code is checked
  };
  const std::vector<Failure> failures = {
      {Document("", "class", badVariable), 1, "Profit Is NOT a valid element here!"},
      {Document(Root("<DiscreteSplit VarName='shade' MissingValueMapping='0'/>")), 8,
       "shade Is NOT in the dictionary!"},
      {Document(Root(scale + "MissingValueMapping='0'><Cut/></ScaleSplit>")), 1, "Cut is invalid"},
      {Document(Root(color + "<MappedDiscreteValues><v>red</v></MappedDiscreteValues><Values/>"
                             "</DiscreteSplit>")),
       1, "Values is invalid"},
      {Document("<ClsTree><ClsTerminalNode Count='12.5'/></ClsTree>"), 3, ""},
      {head + version + "</TreeDocument>", 1, "Dictionary element is missing!"},
      {"<TreeDocument>" + dictionary + version + "</TreeDocument>", 1, "Tree element is missing!"},
      {head + dictionary + "</TreeDocument>", 1, "VersionInfo element is missing!"},
      {Document("", "weight"), 8, "weight Is NOT in the dictionary!"},
      {"<TreeDocument><Tree/>" + dictionary + "</TreeDocument>", 1,
       "Attribute \"TargetName\" is required in element <Tree>"},
      {Document("<RegTree/>", "amount"), 1, "RegTree has no node element!"},
      {regDoc("<RegNode Count='3'/>"), 1,
       "Attribute \"Prediction\" is required in element <RegNode>"},
      {regDoc("<RegNode Prediction='3'/>"), 1,
       "Attribute \"Count\" is required in element <RegNode>"},
      {Document(Root(scale + "/>")), 1,
       "Attribute \"MissingValueMapping\" is required in element <ScaleSplit>"},
      {clsLeaf("<Value/>"), 1, "Value has no text!"},
      {clsLeaf("<ValuePercentage Percent='5'/>"), 1, "ValuePercentage has no value element!"},
      {Document(Root(scale + "MissingValueMapping='0'><MappedOrdinalValue "
                             "MappedChildPosition='0'/></ScaleSplit>")),
       1, "MappedOrdinalValue has no cut point element!"},
      {Document(Root(scale +
                     "MissingValueMapping='0'><MappedOrdinalValue "
                     "MappedChildPosition='0'><c>ten</c></MappedOrdinalValue></ScaleSplit>")),
       3, ""},
      {Document(Root(color + "<MappedDiscreteValues><v/></MappedDiscreteValues></DiscreteSplit>")),
       1, "v has no text!"},
      {Document("", "class", OneVariable(nominal + "Type='1'", "<Categories><c/></Categories>")), 1,
       "c in Categories has no value element!"},
      {Document("", "class",
                OneVariable(nominal + "Type='0'",
                            "<MissingValues><Range><l>1</l></Range></MissingValues>")),
       1, "Range in MissingValues lacks a value element!"},
      {Document("", "class",
                "<Dictionary><Variable Label='' MeasurementLevel='NOMINAL' Type='1'/>"
                "</Dictionary>"),
       1, "Attribute \"Name\" is required in element <Variable>"},
      {Document("", "class",
                "<Dictionary><Variable " + nominal + "Type='1'/><Variable " + nominal +
                    "Type='1'/></Dictionary>"),
       3, "class Is defined twice in the dictionary!"},
      // The model refuses a categorical target without categories.
      {Document("", "income"), 4, ""},
      {Document("<ClsTree><ClsTerminalNode><Value>two</Value></ClsTerminalNode></ClsTree>", "grade",
                OneVariable("Name='grade' Label='' MeasurementLevel='ORDINAL' Type='0'",
                            "<Categories><c><v>1</v></c></Categories>")),
       3, ""},
      // Failures deep inside a tree and in a second top node, after other
      // nodes were built (the sanitizer build checks they are released).
      {Document(Root(Leaf("1", 5, "yes", 50) + "<ClsNode Id='2'>" + Leaf("3", 5, "no", 50) +
                     "<ClsTerminalNode Count='x'/></ClsNode>")),
       3, ""},
      {Document("<ClsTree>" + Leaf("1", 5, "yes", 50) +
                "<ClsNode><ScaleSplit VarName='nope' TopIntervalMapping='0' "
                "MissingValueMapping='0'/></ClsNode></ClsTree>"),
       8, "nope Is NOT in the dictionary!"},
  };
  for (std::size_t i = 0; i < failures.size(); ++i) {
    SCOPED_TRACE(failures[i].document);
    VeltraException e = Reject(failures[i].document);
    EXPECT_EQ(e.GetCode(), failures[i].code);
    if (!failures[i].message.empty()) {
      EXPECT_EQ(e.GetMessage(), failures[i].message);
    }
  }
}

}  // namespace
