// The legacy tree layout: dictionary, nodes, splits, refusals and scoring.

#include "host/ScoreCaseRecord.h"
#include "legacy/DendrixTranslator.h"
#include "pmml/reader_support.h"

namespace {

using reader_test::ClsStats;
using reader_test::Layouts;
using reader_test::RegStats;
using reader_test::Statistics;

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

// A document whose dictionary is the given variables, predicting "class".
std::string WithVariables(const std::string& variables) {
  return Document("", "class", "<Dictionary>" + variables + "</Dictionary>");
}

std::string ClsDoc(const std::string& nodes) {
  return Document("<ClsTree>" + nodes + "</ClsTree>");
}

// A document whose classification root (predicting yes) holds splits.
std::string WithSplits(const std::string& splits) {
  return ClsDoc("<ClsNode Id='0'><Value>yes</Value>" + splits + "</ClsNode>");
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

// Documents are read through the plug-in's translator, which hands any
// document without a PMML element to the legacy reader.
using LegacyReaderTest = reader_test::ReaderTest;

TEST_F(LegacyReaderTest, DictionaryRolesVersionAndClassificationNodes) {
  auto model = ReadOk(Document(AgeTree()));
  const ScoreDictionary* dict = model->GetDictionary();
  EXPECT_EQ(dict->GetNumberOfVars(), 5);
  EXPECT_EQ(model->GetVarRole("class"), 1);
  EXPECT_EQ(model->GetVarRole("amount"), 2);
  EXPECT_EQ(model->GetVersionInfo()->GetVersion(), "31");
  for (const auto& [name, level] : {std::pair{"class", 2}, {"age", 0}, {"income", 1}}) {
    EXPECT_EQ(dict->GetVar(name)->GetMeasurementLevel(), level) << name;
  }
  const auto& labels = dict->GetVar("class")->GetValueLabelSet()->GetLabels();
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_EQ(labels[0]->GetLabel() + " " + labels[1]->GetLabel(), "Yes! no");  // no label: the value
  for (const auto& [value, missing] : {std::pair{-9.0, true}, {950.0, true}, {899.0, false}}) {
    NumericValue number(value);
    EXPECT_EQ(dict->GetVar("age")->IsMissingValue(&number), missing) << value;
  }

  const TreeNode* root = model->GetRoot();
  ASSERT_EQ(root->GetChildCount(), 2);
  EXPECT_EQ(Statistics(root) + " | " + Statistics(root->GetChildAt(1)),
            "100: yes 0.6 no 0.4 -> yes, biggest 0, confident -1 | "
            "40: yes 0.3 no 0.7 -> no, biggest -1, confident -1");
  EXPECT_DOUBLE_EQ(ClsStats(root)->GetConfidence(), 61.0 / 102);
  EXPECT_DOUBLE_EQ(ClsStats(root->GetChildAt(1))->GetConfidence(), 29.0 / 42);  // 28 "no" records

  // Type 2 reads as a string; an unknown level leaves the level as created.
  auto other = ReadOk(
      WithVariables("<Variable Name='class' Label='' MeasurementLevel='CONTINUOUS' Type='0'/>"
                    "<Variable Name='s1' Label='' MeasurementLevel='SCALE' Type='1'/>"
                    "<Variable Name='s2' Label='' MeasurementLevel='NOMINAL' Type='2'/>"));
  EXPECT_EQ(other->GetDictionary()->GetVar("s1")->GetMeasurementLevel(), 0);
  EXPECT_EQ(other->GetDictionary()->GetVar("s2")->GetVariableType(), 1);
  EXPECT_EQ(other->GetRoot(), nullptr);  // no tree element at all
}

TEST_F(LegacyReaderTest, SplitsMapValuesToChildPositions) {
  auto model = ReadOk(WithSplits(
      "<ScaleSplit VarName='age' TopIntervalMapping='2' MissingValueMapping='1'>"
      "<MappedOrdinalValue MappedChildPosition='0'><C>10</C></MappedOrdinalValue>"
      "<MappedOrdinalValue MappedChildPosition='1'><C>20</C></MappedOrdinalValue></ScaleSplit>"
      "<ScaleSplit VarName='income' TopIntervalMapping='1' MissingValueMapping='0'/>"
      "<DiscreteSplit VarName='color' MissingValueMapping='2'>"
      "<MappedDiscreteValues><v>red</v><v>pink</v></MappedDiscreteValues>"
      "<MappedDiscreteValues><v>green</v></MappedDiscreteValues>"
      "<MappedDiscreteValues><v>blue</v></MappedDiscreteValues></DiscreteSplit>"
      "<DiscreteSplit VarName='income' MissingValueMapping='0'>"
      "<MappedDiscreteValues><v>1</v></MappedDiscreteValues>"
      "<MappedDiscreteValues><v> 2.5 </v></MappedDiscreteValues></DiscreteSplit>"));
  EXPECT_EQ(Layouts(model->GetRoot()),
            "age: (-inf, 10] -> 0; (10, 20] -> 1; (20, +inf) -> 2; missing -> 1\n"
            "income: (-inf, +inf) -> 1; missing -> 0\n"
            "color: red -> 0; pink -> 0; green -> 1; blue -> 2; missing -> 2\n"
            "income: #1 -> 0; #2.5 -> 1; missing -> 0\n");  // numeric values are numbers
}

// The last top node is the root; a RegTree whose first element is no node
// gives no root.
TEST_F(LegacyReaderTest, WhichTopNodeIsTheRoot) {
  auto model =
      ReadOk(ClsDoc(Leaf("first", 10, "yes", 90) + "<Other/>" + Leaf("second", 20, "no", 10)));
  EXPECT_EQ(ClsStats(model->GetRoot())->GetNodeID(), "second");
  auto none =
      ReadOk(Document("<ClsTree><ClsTerminalNode Id='c'/></ClsTree>"
                      "<RegTree><Junk/><RegNode Prediction='1' Count='1'/></RegTree>",
                      "amount"));
  EXPECT_EQ(none->GetRoot(), nullptr);
}

// The regression tree replaces the classification one before it.
TEST_F(LegacyReaderTest, RegressionNodes) {
  auto model = ReadOk(Document(
      "<ClsTree><ClsTerminalNode Id='c'/></ClsTree><RegTree>"
      "<RegNode Id='0' Prediction='10.5' Deviation='2' Count='12.5' BiggestChild='1'>"
      "<ScaleSplit VarName='age' TopIntervalMapping='1' MissingValueMapping='1'>"
      "<MappedOrdinalValue MappedChildPosition='0'><C>40</C></MappedOrdinalValue></ScaleSplit>"
      "<Value>ignored</Value><RegTerminalNode Id='1' Prediction='4' Count='5' Deviation=''/>"
      "<RegTerminalNode Prediction='15' Count='7.5' BiggestChild=''/></RegNode></RegTree>",
      "amount"));
  const TreeNode* root = model->GetRoot();
  ASSERT_EQ(root->GetChildCount(), 2);
  // Empty optional attributes are absent.
  EXPECT_EQ(Statistics(root) + " | " + Statistics(root->GetChildAt(0)) + " | " +
                Statistics(root->GetChildAt(1)),
            "10.5 sd 2 n 12.5, biggest 1 | 4 sd -1 n 5, biggest -1 | 15 sd -1 n 7.5, biggest -1");
  EXPECT_EQ(RegStats(root->GetChildAt(1))->GetNodeID(), "-1");
}

TEST_F(LegacyReaderTest, NumericTargetPredictionsAreVerified) {
  const auto leaf = [](const std::string& value) {
    return Document("<ClsTree><ClsTerminalNode Count='4'><Value>" + value +
                        "</Value><ValuePercentage Percent='100'><v>2</v></ValuePercentage>"
                        "</ClsTerminalNode></ClsTree>",
                    "grade",
                    "<Dictionary><Variable Name='grade' Label='' MeasurementLevel='ORDINAL' "
                    "Type='0'><Categories><c><v>1</v></c><c><v>2</v></c></Categories></Variable>"
                    "</Dictionary>");
  };
  auto model = ReadOk(leaf(" 2 "));
  const TreeClsResult* stats = ClsStats(model->GetRoot());
  ASSERT_TRUE(stats->GetPrediction()->IsNumeric());
  EXPECT_EQ(stats->GetPrediction()->ToDouble(), 2);
  EXPECT_DOUBLE_EQ(stats->GetConfidence(), 5.0 / 5);
  Refused(leaf("two"), 3);
}

TEST_F(LegacyReaderTest, RejectedDocuments) {
  const std::string version = "<VersionInfo Major='3' Minor='1'/>";
  const std::string tree = "<Tree TargetName='class'/>", dictionary = kDictionary;
  const std::string ageSplit = "<ScaleSplit VarName='age' TopIntervalMapping='1' ";
  const std::string ordinal = "MissingValueMapping='0'><MappedOrdinalValue MappedChildPosition='0'";
  const std::string colorSplit = "<DiscreteSplit VarName='color' MissingValueMapping='0'>";
  const std::string nominal = " Label='' MeasurementLevel='NOMINAL' Type='1'";
  std::string badVariable = kDictionary;
  badVariable.replace(badVariable.find("<FormatSpec"), 0, "<Profit/>");
  // Row name, document, code and message (empty: only the code is checked).
  const std::vector<std::tuple<std::string, std::string, int, std::string>> failures = {
      {"InvalidVariableChild", Document("", "class", badVariable), 1,
       "Profit Is NOT a valid element here!"},
      {"UnknownDiscreteVariable",
       WithSplits("<DiscreteSplit VarName='shade' MissingValueMapping='0'/>"), 8,
       "shade Is NOT in the dictionary!"},
      {"InvalidScaleSplitChild",
       WithSplits(ageSplit + "MissingValueMapping='0'><Cut/></ScaleSplit>"), 1, "Cut is invalid"},
      {"InvalidDiscreteSplitChild",
       WithSplits(colorSplit + "<MappedDiscreteValues><v>red</v></MappedDiscreteValues>"
                               "<Values/></DiscreteSplit>"),
       1, "Values is invalid"},
      {"MissingDictionary", "<TreeDocument>" + tree + version + "</TreeDocument>", 1,
       "Dictionary element is missing!"},
      {"MissingTree", "<TreeDocument>" + dictionary + version + "</TreeDocument>", 1,
       "Tree element is missing!"},
      {"MissingVersionInfo", "<TreeDocument>" + tree + dictionary + "</TreeDocument>", 1,
       "VersionInfo element is missing!"},
      {"TargetNotInDictionary", Document("", "weight"), 8, "weight Is NOT in the dictionary!"},
      {"MissingTargetName", "<TreeDocument><Tree/>" + dictionary + "</TreeDocument>", 1,
       "Attribute \"TargetName\" is required in element <Tree>"},
      {"EmptyRegTree", Document("<RegTree/>", "amount"), 1, "RegTree has no node element!"},
      {"RegNodeWithoutPrediction", Document("<RegTree><RegNode Count='3'/></RegTree>", "amount"), 1,
       "Attribute \"Prediction\" is required in element <RegNode>"},
      {"RegNodeWithoutCount", Document("<RegTree><RegNode Prediction='3'/></RegTree>", "amount"), 1,
       "Attribute \"Count\" is required in element <RegNode>"},
      {"SplitWithoutMissingMapping", WithSplits(ageSplit + "/>"), 1,
       "Attribute \"MissingValueMapping\" is required in element <ScaleSplit>"},
      {"ValueWithoutText", ClsDoc("<ClsTerminalNode><Value/></ClsTerminalNode>"), 1,
       "Value has no text!"},
      {"ValuePercentageWithoutValue",
       ClsDoc("<ClsTerminalNode><ValuePercentage Percent='5'/></ClsTerminalNode>"), 1,
       "ValuePercentage has no value element!"},
      {"CutPointMissing", WithSplits(ageSplit + ordinal + "/></ScaleSplit>"), 1,
       "MappedOrdinalValue has no cut point element!"},
      {"CutPointNotANumber",
       WithSplits(ageSplit + ordinal + "><c>ten</c></MappedOrdinalValue></ScaleSplit>"), 3, ""},
      {"DiscreteValueWithoutText",
       WithSplits(colorSplit + "<MappedDiscreteValues><v/></MappedDiscreteValues></DiscreteSplit>"),
       1, "v has no text!"},
      {"CategoryWithoutValue",
       WithVariables("<Variable Name='class'" + nominal +
                     "><Categories><c/></Categories></Variable>"),
       1, "c in Categories has no value element!"},
      {"MissingRangeWithoutHigh",
       WithVariables("<Variable Name='class' Label='' MeasurementLevel='NOMINAL' Type='0'>"
                     "<MissingValues><Range><l>1</l></Range></MissingValues></Variable>"),
       1, "Range in MissingValues lacks a value element!"},
      {"VariableWithoutName", WithVariables("<Variable" + nominal + "/>"), 1,
       "Attribute \"Name\" is required in element <Variable>"},
      {"DuplicateVariable",
       WithVariables("<Variable Name='class'" + nominal + "/><Variable Name='class'" + nominal +
                     "/>"),
       3, "class Is defined twice in the dictionary!"},
      // The model refuses a categorical target without categories.
      {"TargetWithoutCategories", Document("", "income"), 4, ""},
      // A failure deep inside a tree, after other nodes were built: a count
      // that is not a whole number.
      {"FailureInNestedNode",
       WithSplits(Leaf("1", 5, "yes", 50) + "<ClsNode Id='2'>" + Leaf("3", 5, "no", 50) +
                  "<ClsTerminalNode Count='12.5'/></ClsNode>"),
       3, ""},
      // The second top node fails after the first was read.
      {"FailureInSecondTopNode",
       ClsDoc(Leaf("1", 5, "yes", 50) +
              "<ClsNode><ScaleSplit VarName='nope' TopIntervalMapping='0' "
              "MissingValueMapping='0'/></ClsNode>"),
       8, "nope Is NOT in the dictionary!"},
  };
  for (const auto& [name, document, code, message] : failures) {
    Refused(document, code, message, name);
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
  auto model = ReadOk(Document(Chain(DendrixTranslator::kMaxNodeDepth)));
  EXPECT_EQ(dynamic_cast<const CompositeTreeNode*>(model->GetRoot())->GetLastLeaf()->GetLevel(),
            DendrixTranslator::kMaxNodeDepth - 1);
  Refused(Document(Chain(DendrixTranslator::kMaxNodeDepth + 1)), 5,
          "Tree nodes nested deeper than 1000 levels are not supported!");
}

// Declared missing values of the dictionary reach scoring. A translator
// destroyed unused releases its model (the sanitizer build checks).
TEST_F(LegacyReaderTest, ScoresCasesAfterAnUnusedTranslator) {
  { DendrixTranslator unused; }
  auto model = ReadOk(Document(AgeTree()));
  ScoreResult* result = nullptr;  // reused from case to case
  const std::vector<std::pair<double, std::string>> ages = {
      {30, "1 yes"}, {40, "1 yes"}, {50, "2 no"}, {-9, "1 yes advice 106"}};
  for (const auto& [age, expected] : ages) {
    NamedCaseRecord record;
    record.SetNumber("age", age);
    ASSERT_TRUE(model->GetScore(&record, result, false).IsOK()) << age;
    std::string text = dynamic_cast<ScoreNodeStats*>(result)->GetNodeID() + " " +
                       result->GetPrediction()->ToString();
    for (const auto& advice : result->GetAdvice())
      text += " advice " + std::to_string(advice.GetCode());
    EXPECT_EQ(text, expected) << age;
  }
  delete result;
}

}  // namespace
