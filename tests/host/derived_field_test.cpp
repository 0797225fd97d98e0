#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "host/BaseDictionary.h"
#include "host/DerivedField.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreTranslator.h"
#include "host/TransformationDictionary.h"
#include "host/VeltraException.h"
#include "host/XmlDocument.h"

namespace {

// Data fields every document below can use.
const char* const kDataFields =
    "<DataField name=\"x\" optype=\"continuous\" dataType=\"double\">"
    "<Value value=\"-99\" property=\"missing\"/></DataField>"
    "<DataField name=\"y\" optype=\"continuous\" dataType=\"double\"/>"
    "<DataField name=\"c\" optype=\"categorical\" dataType=\"string\"/>";

// The optype is left to be inferred from the data type.
std::string Derived(const std::string& name, const std::string& dataType,
                    const std::string& expression) {
  return "<DerivedField name=\"" + name + "\" dataType=\"" + dataType + "\">" + expression +
         "</DerivedField>";
}

std::string Field(const std::string& name) { return "<FieldRef field=\"" + name + "\"/>"; }
std::string Number(const std::string& text) {
  return "<Constant dataType=\"double\">" + text + "</Constant>";
}
std::string Text(const std::string& text) {
  return "<Constant dataType=\"string\">" + text + "</Constant>";
}
std::string Apply(const std::string& function, const std::string& args,
                  const std::string& attributes = "") {
  return "<Apply function=\"" + function + "\"" + attributes + ">" + args + "</Apply>";
}

// The document readers under test; reading whole models is not needed here.
class TestTranslator : public PMMLTranslator {
 public:
  TestTranslator() : PMMLTranslator("test") {}
  using BaseTranslator::ParseFromTree;
  ScoreModel* ParseFromTree(xercesc::DOMDocument*, const std::string&) override { return nullptr; }
};

class DerivedFieldTest : public ::testing::Test {
 protected:
  XercesSession session_;  // first in, last out: outlives every document below

  // Reads the data fields above and the derived fields given.
  void Read(const std::string& derivedFields) {
    document_ = std::make_unique<XmlDocument>();
    XmlParseError error;
    const std::string xml = std::string("<PMML><DataDictionary>") + kDataFields +
                            "</DataDictionary><TransformationDictionary>" + derivedFields +
                            "</TransformationDictionary></PMML>";
    ASSERT_TRUE(document_->ParseMemory(xml, &error)) << error.message;
    xercesc::DOMElement* root = document_->GetDocument()->getDocumentElement();
    dictionary_.reset(
        translator_.ParseDictionary(BaseTranslator::GetChildByTag(root, "DataDictionary")));
    derived_.reset(translator_.HandleTransformationDictionary(
        BaseTranslator::GetChildByTag(root, "TransformationDictionary"), dictionary_.get()));
  }

  const ScoreCaseRecord* Compute(const ScoreCaseRecord& record) {
    return derived_->GetValuesForDeriedVars(&record, dictionary_.get());
  }

  // "missing", "n:<number>" or "s:<text>": the value and its type at once.
  static std::string Show(const ScoreValue* value) {
    if (value == nullptr) return "missing";
    return (value->IsNumeric() ? "n:" : "s:") + value->ToString();
  }

  // The derived field `name` for the case "x|y|c": x and y are numbers (x is text when
  // quoted, 'like this), an empty or left-off part is missing.
  std::string Eval(const std::string& name, const std::string& inputs) {
    std::istringstream in(inputs);
    std::string x, y, c;
    std::getline(std::getline(std::getline(in, x, '|'), y, '|'), c);
    NamedCaseRecord record;
    if (!x.empty() && x[0] == '\'') record.SetString("x", x.substr(1));
    if (!x.empty() && x[0] != '\'') record.Set("x", new NumericValue(x));
    if (!y.empty()) record.Set("y", new NumericValue(y));
    if (!c.empty()) record.SetString("c", c);
    return Show(Compute(record)->GetValue(name));
  }

  // {field, inputs, expected}
  using Row = std::tuple<const char*, const char*, const char*>;
  // Reads the derived fields, then checks each row in turn on the same dictionary.
  void ExpectRows(const std::string& derivedFields, const std::vector<Row>& rows) {
    Read(derivedFields);
    for (const auto& [field, inputs, expected] : rows) {
      EXPECT_EQ(Eval(field, inputs), expected) << field << " of \"" << inputs << "\"";
    }
  }

  TestTranslator translator_;
  std::unique_ptr<XmlDocument> document_;
  std::unique_ptr<ScoreDictionary> dictionary_;
  std::unique_ptr<TransformationDictionary> derived_;
};

TEST_F(DerivedFieldTest, FieldsBecomeDerivedVariablesWithTypeLevelAndCategories) {
  Read(Derived("n", "integer", Field("x")) + Derived("s", "string", Field("c")) +
       "<DerivedField name=\"o\" optype=\"ordinal\" dataType=\"string\">"
       "<Value value=\"lo\"/><Value value=\"hi\"/><Value value=\"na\" property=\"missing\"/>" +
       Field("c") + "</DerivedField>");
  ASSERT_EQ(derived_->GetNumberOfVars(), 3);
  const std::tuple<const char*, int, int> kinds[] = {
      {"n", ScoreDictVar::kContinuous, ScoreDictVar::kNumeric},
      {"s", ScoreDictVar::kNominal, ScoreDictVar::kString},
      {"o", ScoreDictVar::kOrdinal, ScoreDictVar::kString}};
  for (const auto& [name, level, type] : kinds) {
    const ScoreDictVar* var = derived_->GetVar(name);
    EXPECT_TRUE(var->IsDerived() && var->GetMeasurementLevel() == level &&
                var->GetVariableType() == type)
        << name;
  }
  const ScoreDictVar* o = derived_->GetVar("o");
  StringValue hi("hi"), na("na");
  EXPECT_EQ(o->GetCategoryCount(), 2);
  EXPECT_TRUE(o->IsValidCategory(&hi) && o->IsMissingValue(&na));
  EXPECT_EQ(derived_->GetVar("x"), nullptr);  // data fields stay in the data dictionary
}

TEST_F(DerivedFieldTest, ConstantsFollowTheirDataType) {
  const std::vector<Row> rows = {
      {"n", "", "n:2.5"},  {"s", "", "s:7"}, {"z", "", "s:007"},
      {"b", "", "s:true"}, {"f", "", "n:0"}, {"m", "", "missing"},
  };
  ExpectRows(Derived("n", "double", Number("2.5")) +
                 Derived("s", "string", "<Constant>7</Constant>") +
                 Derived("z", "string", Text("007")) +
                 Derived("b", "boolean", "<Constant dataType=\"boolean\">true</Constant>") +
                 Derived("f", "double", "<Constant dataType=\"boolean\">false</Constant>") +
                 Derived("m", "double", "<Constant missing=\"true\">5</Constant>"),
             rows);
}

TEST_F(DerivedFieldTest, FieldRefPassesValuesAndMapsMissingOnes) {
  // x = -99 is declared missing by the data field; text on it is read as a number.
  const std::vector<Row> rows = {
      {"a", "4", "n:4"},          {"a", "", "missing"},       {"b", "", "n:0"},
      {"a", "-99", "missing"},    {"b", "-99", "n:0"},        {"t", "0||red", "s:red"},
      {"n", "0||3.25", "n:3.25"}, {"n", "0||abc", "missing"}, {"s", "0.1", "s:0.1"},
      {"flag", "1", "s:false"},   {"a", "'12", "n:12"},       {"b", "'twelve", "n:0"},
  };
  ExpectRows(Derived("a", "double", Field("x")) +
                 Derived("b", "double", "<FieldRef field=\"x\" mapMissingTo=\"0\"/>") +
                 Derived("t", "string", Field("c")) + Derived("n", "double", Field("c")) +
                 Derived("s", "string", Field("x")) +
                 Derived("flag", "boolean", Apply("isMissing", Field("x"))),
             rows);
}

TEST_F(DerivedFieldTest, NormContinuousInterpolatesAndTreatsOutliers) {
  auto norm = [&](const std::string& attributes) {
    return "<NormContinuous field=\"x\"" + attributes +
           "><LinearNorm orig=\"0\" norm=\"0\"/><LinearNorm orig=\"10\" norm=\"1\"/>"
           "<LinearNorm orig=\"20\" norm=\"3\"/></NormContinuous>";
  };
  // Outside the points the first and last segments are extended.
  const std::vector<Row> rows = {
      {"asIs", "5", "n:0.5"},      {"asIs", "15", "n:2"},          {"asIs", "-10", "n:-1"},
      {"asIs", "30", "n:5"},       {"asMissing", "30", "missing"}, {"asMissing", "20", "n:3"},
      {"asExtreme", "-10", "n:0"}, {"asExtreme", "30", "n:3"},     {"asIs", "", "missing"},
      {"asExtreme", "", "n:-1"},
  };
  ExpectRows(
      Derived("asIs", "double", norm("")) +
          Derived("asMissing", "double", norm(" outliers=\"asMissingValues\"")) +
          Derived("asExtreme", "double", norm(" outliers=\"asExtremeValues\" mapMissingTo=\"-1\"")),
      rows);
}

TEST_F(DerivedFieldTest, DiscretizeFindsTheFirstBinRespectingClosures) {
  const std::string bins =
      "<DiscretizeBin binValue=\"low\"><Interval closure=\"openClosed\" rightMargin=\"0\"/>"
      "</DiscretizeBin>"
      "<DiscretizeBin binValue=\"mid\"><Interval closure=\"openOpen\" leftMargin=\"0\" "
      "rightMargin=\"10\"/></DiscretizeBin>"
      "<DiscretizeBin binValue=\"high\"><Interval closure=\"closedOpen\" leftMargin=\"20\"/>"
      "</DiscretizeBin>";
  // 10 falls in no bin; bin values are typed by the field.
  const std::vector<Row> rows = {
      {"d", "0", "s:low"},   {"d", "0.5", "s:mid"},    {"d", "10", "missing"}, {"e", "10", "s:gap"},
      {"d", "20", "s:high"}, {"d", "1e300", "s:high"}, {"e", "", "s:none"},    {"n", "2", "n:7"},
  };
  ExpectRows(Derived("d", "string", "<Discretize field=\"x\">" + bins + "</Discretize>") +
                 Derived("e", "string",
                         "<Discretize field=\"x\" defaultValue=\"gap\" mapMissingTo=\"none\">" +
                             bins + "</Discretize>") +
                 Derived("n", "integer",
                         "<Discretize field=\"x\"><DiscretizeBin binValue=\"7\"><Interval "
                         "closure=\"closedClosed\" leftMargin=\"1\" rightMargin=\"2\"/>"
                         "</DiscretizeBin></Discretize>"),
             rows);
}

TEST_F(DerivedFieldTest, MapValuesLooksUpRowsByEveryInputColumn) {
  const std::string table =
      "<FieldColumnPair field=\"c\" column=\"data:colour\"/>"
      "<FieldColumnPair field=\"x\" column=\"size\"/>"
      "<InlineTable>"
      "<row><data:colour>red</data:colour><size>1</size><data:out>10</data:out></row>"
      "<row><colour>red</colour><size>2</size><out>20</out></row>"
      "<row><colour>blue</colour><out>30</out></row>"  // no size cell: never matches
      "</InlineTable>";
  const std::vector<Row> rows = {
      {"m", "1||red", "n:10"},    {"m", "2.0||red", "n:20"},  {"t", "2||red", "s:20"},
      {"m", "3||red", "missing"}, {"t", "3||red", "s:other"}, {"t", "1||blue", "s:other"},
      {"t", "||red", "s:none"},   {"m", "||red", "missing"},
  };
  ExpectRows(
      Derived("m", "double", "<MapValues outputColumn=\"data:out\">" + table + "</MapValues>") +
          Derived("t", "string",
                  "<MapValues outputColumn=\"out\" defaultValue=\"other\" mapMissingTo=\"none\">" +
                      table + "</MapValues>"),
      rows);
}

TEST_F(DerivedFieldTest, ArithmeticAggregatesAndMapMissingToHandleMissingValues) {
  const std::string xy = Field("x") + Field("y");
  std::string fields =
      Derived("avg6", "double", Apply("avg", xy + Number("6"))) +
      Derived("min6", "double", Apply("min", xy + Number("6"))) +
      Derived("mapped", "double", Apply("/", xy, " mapMissingTo=\"-1\" defaultValue=\"-2\""));
  for (const char* f : {"+", "-", "*", "/", "pow", "max", "sum", "avg", "threshold"}) {
    fields += Derived(f, "double", Apply(f, xy));
  }
  for (const char* f : {"ln", "sqrt", "exp", "abs", "log10", "floor", "ceil", "round"}) {
    fields += Derived(f, "double", Apply(f, Field("x")));
  }
  // Impossible results are missing; aggregates leave missing inputs out; mapMissingTo
  // covers missing inputs, defaultValue a missing result; round takes halves up.
  const std::vector<Row> rows = {
      {"+", "2|3", "n:5"},          {"-", "2|3", "n:-1"},        {"*", "2|3", "n:6"},
      {"/", "3|2", "n:1.5"},        {"+", "2", "missing"},       {"/", "1|0", "missing"},
      {"ln", "1", "n:0"},           {"ln", "0", "missing"},      {"sqrt", "-4", "missing"},
      {"sqrt", "9", "n:3"},         {"pow", "2|10", "n:1024"},   {"pow", "0|-1", "missing"},
      {"pow", "-8|0.5", "missing"}, {"exp", "0", "n:1"},         {"exp", "1000", "missing"},
      {"max", "2|7", "n:7"},        {"sum", "2|7", "n:9"},       {"avg6", "2|7", "n:5"},
      {"avg6", "2", "n:4"},         {"min6", "|9", "n:6"},       {"avg", "", "missing"},
      {"mapped", "6|3", "n:2"},     {"mapped", "|3", "n:-1"},    {"mapped", "6|0", "n:-2"},
      {"abs", "-2.5", "n:2.5"},     {"log10", "1000", "n:3"},    {"floor", "-1.5", "n:-2"},
      {"ceil", "-1.5", "n:-1"},     {"round", "2.5", "n:3"},     {"round", "-2.5", "n:-2"},
      {"round", "2.49", "n:2"},     {"threshold", "1|1", "n:0"}, {"threshold", "1.5|1", "n:1"},
  };
  ExpectRows(fields, rows);
}

TEST_F(DerivedFieldTest, ComparisonsAndBooleanResultsAreTypedByTheField) {
  const std::string xy = Field("x") + Field("y");
  std::string fields =
      Derived("ltN", "double", Apply("lessThan", xy)) +
      Derived("eqS", "boolean", Apply("equal", Field("c") + Text("10"))) +
      Derived("eqN", "boolean", Apply("equal", Field("c") + Number("10"))) +
      Derived("ltS", "boolean", Apply("lessThan", Field("c") + Text("b"))) +
      Derived("red", "double", "<NormDiscrete field=\"c\" value=\"red\" mapMissingTo=\"-1\"/>") +
      Derived("two", "double", "<NormDiscrete field=\"x\" value=\"2\"/>");
  const char* const functions[][2] = {
      {"lt", "lessThan"},    {"ge", "greaterOrEqual"}, {"ne", "notEqual"},
      {"le", "lessOrEqual"}, {"gt", "greaterThan"},
  };
  for (const auto& f : functions) fields += Derived(f[0], "boolean", Apply(f[1], xy));
  // ltN gives a number. c against a text compares texts (eqS, ltS), against a number numbers
  // (eqN), as NormDiscrete does (red, two).
  const std::vector<Row> rows = {
      {"lt", "1|2", "s:true"},      {"ltN", "1|2", "n:1"},        {"ltN", "2|2", "n:0"},
      {"ge", "2|2", "s:true"},      {"le", "2|2", "s:true"},      {"gt", "2|2", "s:false"},
      {"ne", "2|2", "s:false"},     {"lt", "1", "missing"},       {"eqS", "0||10.0", "s:false"},
      {"eqN", "0||10.0", "s:true"}, {"eqN", "0||ten", "missing"}, {"ltS", "0||a", "s:true"},
      {"red", "0||red", "n:1"},     {"red", "0||blue", "n:0"},    {"red", "0", "n:-1"},
      {"two", "2.0", "n:1"},        {"two", "3", "n:0"},          {"two", "", "missing"},
  };
  ExpectRows(fields, rows);
}

TEST_F(DerivedFieldTest, LogicUsesThreeValuedAndOrAndLazyIf) {
  const std::string xPositive = Apply("greaterThan", Field("x") + Number("0"));
  const std::string yPositive = Apply("greaterThan", Field("y") + Number("0"));
  // A false operand decides "and" even beside a missing one; the branch not taken may be missing.
  const std::vector<Row> rows = {
      {"and", "1|1", "s:true"},  {"and", "-1", "s:false"}, {"and", "1", "missing"},
      {"or", "1", "s:true"},     {"or", "-1", "missing"},  {"or", "-1|-1", "s:false"},
      {"not", "-1", "s:true"},   {"if3", "3", "n:3"},      {"if3", "-3|8", "n:8"},
      {"if3", "-3", "missing"},  {"if3", "|8", "missing"}, {"if2", "-3", "n:-5"},
      {"present", "0|1", "n:1"},
  };
  ExpectRows(
      Derived("and", "boolean", Apply("and", xPositive + yPositive)) +
          Derived("or", "boolean", Apply("or", xPositive + yPositive)) +
          Derived("not", "boolean", Apply("not", xPositive)) +
          Derived("if3", "double", Apply("if", xPositive + Field("x") + Field("y"))) +
          Derived("if2", "double", Apply("if", xPositive + Number("1"), " defaultValue=\"-5\"")) +
          Derived("present", "double", Apply("isNotMissing", Field("y"))),
      rows);
}

TEST_F(DerivedFieldTest, TextFunctions) {
  const std::string c = Field("c");
  auto substring = [&](const char* name, const char* start, const char* length) {
    return Derived(name, "string", Apply("substring", c + Number(start) + Number(length)));
  };
  // substring counts characters, not bytes.
  const std::vector<Row> rows = {
      {"up", "||MixEd 1", "s:MIXED 1"},  {"low", "||MixEd 1", "s:mixed 1"},
      {"trim", "|| \t a b \n", "s:a b"}, {"cat", "2.5||id", "s:id-2.5"},
      {"catY", "0||id", "missing"},      {"s23", "||abcdef", "s:bcd"},
      {"s5", "||abcdef", "s:ef"},        {"s0", "||abcdef", "s:a"},
      {"s9", "||abcdef", "s:"},          {"s23", "||h\xC3\xA9llo", "s:\xC3\xA9ll"},
  };
  ExpectRows(Derived("up", "string", Apply("uppercase", c)) +
                 Derived("low", "string", Apply("lowercase", c)) +
                 Derived("trim", "string", Apply("trimBlanks", c)) +
                 Derived("cat", "string", Apply("concat", c + Text("-") + Field("x"))) +
                 Derived("catY", "string", Apply("concat", c + Field("y"))) +
                 substring("s23", "2", "3") + substring("s5", "5", "10") +
                 substring("s0", "0", "2") + substring("s9", "9", "2"),
             rows);
}

TEST_F(DerivedFieldTest, FieldsChainInDictionaryOrder) {
  // The derived values are kept from case to case: a missing input clears every dependent one.
  const std::vector<Row> rows = {
      {"b", "1.25", "n:3.5"}, {"s", "1.25", "s:3.5"}, {"t", "1.25", "s:3.53.5"},
      {"a", "", "missing"},   {"t", "", "missing"},
  };
  ExpectRows(Derived("a", "double", Apply("*", Field("x") + Number("2"))) +
                 Derived("b", "double", Apply("+", Field("a") + Number("1"))) +
                 Derived("s", "string", Field("b")) +
                 Derived("t", "string", Apply("concat", Field("s") + Field("s"))),
             rows);
}

TEST_F(DerivedFieldTest, ValuesAreReadByPositionOnIndexedRecordsAndByNameOtherwise) {
  Read(Derived("a", "double", Field("x")) + Derived("b", "double", Field("y")));
  IndexedCaseRecord record({"y", "x"});
  record.SetNumber(0, 1);
  record.SetNumber(1, 2);
  // Without indexes the names decide.
  EXPECT_EQ(Show(Compute(record)->GetValue("a")), "n:2");
  // With indexes the positions decide; point x at y's column to see it.
  dictionary_->GetVar("x")->SetIndex(0);
  EXPECT_EQ(Show(Compute(record)->GetValue("a")), "n:1");
  // A position without a value falls back to the name.
  dictionary_->GetVar("y")->SetIndex(5);
  const ScoreCaseRecord* out = Compute(record);
  // The derived record holds the fields in order, by position and by name.
  ASSERT_TRUE(out->IsIndexed());
  EXPECT_EQ(out->GetIndex("b"), 1);
  EXPECT_EQ(Show(out->GetValueAt(1)), "n:1");
  EXPECT_EQ(out->GetValueAt(2), nullptr);
}

// Concatenating a predecessor with itself doubles the text per link; texts over
// the limit are missing, inputs included.
TEST_F(DerivedFieldTest, TextsOverTheLimitAreMissing) {
  std::string fields = Derived("d0", "string", Field("c"));
  for (int i = 1; i <= 60; ++i) {
    const std::string prev = Field("d" + std::to_string(i - 1));
    fields += Derived("d" + std::to_string(i), "string", Apply("concat", prev + prev));
  }
  Read(fields +
       Derived("capped", "string",
               Apply("concat", Field("d13") + Field("d0"), " defaultValue=\"too long\"")) +
       Derived("upper", "string", Apply("uppercase", Field("c"))));
  const long limit = DerivedValue::kMaxTextBytes;
  const std::string input = "||abcdefgh", atLimit = "||" + std::string(limit, 'a');
  const std::vector<std::tuple<const char*, std::string, long>> rows = {
      {"d13", input, limit},        {"d14", input, -1},        {"d60", input, -1},
      {"d0", atLimit, limit},       {"upper", atLimit, limit}, {"d0", atLimit + "a", -1},
      {"upper", atLimit + "a", -1},
  };
  for (const auto& [field, inputs, expected] : rows) {
    const std::string shown = Eval(field, inputs);  // the text's length, -1 when missing
    EXPECT_EQ(shown == "missing" ? -1L : static_cast<long>(shown.size()) - 2, expected)
        << field << " of " << inputs.size() - 2 << " bytes";
  }
  EXPECT_EQ(Eval("capped", input), "s:too long");
}

// Messages of the declaration are checked whole; others by the part naming the culprit.
TEST_F(DerivedFieldTest, ReadingErrorsCarryTheirCodesAndName) {
  const std::string x = Field("x"), y = Field("y");
  const std::string oneNorm = "<NormContinuous field=\"x\"><LinearNorm orig=\"1\" norm=\"0\"/>";
  const std::tuple<std::string, int, const char*> cases[] = {
      {"<Lag field=\"x\"/>", 5, "Lag"},
      {Apply("median", x), 5, "median"},
      {Apply("+", x + y + x), 5, "+"},  // too many arguments
      {Apply("not", ""), 5, "not"},     // too few
      {Field("nope"), 8, "nope"},
      {"<Apply/>", 1, "function"},
      {"", 1, "d"},     // no expression
      {x + y, 1, "d"},  // two
      {Number("abc"), 3, "abc"},
      {"<NormDiscrete field=\"c\" value=\"a\" mapMissingTo=\"z\"/>", 3, "z"},
      {oneNorm + "</NormContinuous>", 1, "LinearNorm"},
      {oneNorm + "<LinearNorm orig=\"1\" norm=\"1\"/></NormContinuous>", 3, "orig"},
      {"<Discretize field=\"x\"><DiscretizeBin binValue=\"a\"/></Discretize>", 1, "Interval"},
      // Whole documents from here.
      {Derived("a", "double", Field("b")) + Derived("b", "double", x), 8, "b"},  // forward
      {Derived("a", "double", Field("a")), 8, "a"},                              // itself
      {Derived("d", "double", x) + Derived("d", "double", y), 1, "d"},
      {Derived("x", "double", y), 1, "x"},  // the name of a data field
      {"<DerivedField name=\"d\">" + x + "</DerivedField>", 1,
       "Attribute \"dataType\" is required in element <DerivedField>"},
      {"<DerivedField name=\"d\" optype=\"discrete\" dataType=\"double\">" + x + "</DerivedField>",
       1, "\"discrete\" is not a valid optype of DerivedField d"},
  };
  for (const auto& [xml, code, mentions] : cases) {
    std::string message = "no error";
    int got = -1;
    try {
      Read(xml.rfind("<DerivedField", 0) == 0 ? xml : Derived("d", "double", xml));
    } catch (const VeltraException& e) {
      message = e.GetMessage();
      got = e.GetCode();
    }
    EXPECT_EQ(got, code) << xml << ": " << message;
    EXPECT_NE(message.find(mentions), std::string::npos) << xml << ": " << message;
  }
}

TEST_F(DerivedFieldTest, AbsurdNestingIsRejectedWhileReading) {
  auto nested = [](int depth) {
    std::string xml = Field("x");
    for (int i = 0; i < depth; ++i) xml = Apply("abs", xml);
    return Derived("d", "double", xml);
  };
  // The field reference counts as a level too.
  Read(nested(DerivedExpressionReader::kMaxDepth - 1));
  EXPECT_EQ(Eval("d", "-2"), "n:2");
  try {
    Read(nested(DerivedExpressionReader::kMaxDepth));
    ADD_FAILURE() << "no error";
  } catch (const VeltraException& e) {
    EXPECT_EQ(e.GetCode(), 5);
  }
}

}  // namespace
