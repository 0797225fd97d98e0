#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>

#include "host/BaseDictionary.h"
#include "host/ScoreTranslator.h"
#include "host/TransformationDictionary.h"
#include "host/Utf16.h"
#include "host/XmlDocument.h"

namespace {

using BT = BaseTranslator;

// Throws unless fn throws a VeltraException; gives it back for inspection.
template <typename Fn>
VeltraException Catch(Fn fn) {
  try {
    fn();
  } catch (const VeltraException& e) {
    return e;
  }
  throw std::runtime_error("no VeltraException thrown");
}

class TestModel : public BaseModel {
 public:
  VorqScore::VorqStatus GetScore(const ScoreCaseRecord*, ScoreResult*&, bool) override {
    return VorqScore::VorqStatus();
  }
  ModelType GetModelType() override { return kSingleTree; }
  void Display(std::ostream& os) const override { os << "test model"; }
};

// Reads only the data dictionary of a PMML document.
class DictionaryTranslator : public PMMLTranslator {
 public:
  DictionaryTranslator() : PMMLTranslator("") {}
  using PMMLTranslator::ParseFromTree;
  ScoreModel* ParseFromTree(xercesc::DOMDocument* document, const std::string& encoding) override {
    CreateTranscoder(encoding);
    auto model = std::make_unique<TestModel>();
    model->SetScoreDictionary(
        ParseDictionary(GetChildByTagForced(document->getDocumentElement(), "DataDictionary")));
    return model.release();
  }
};

// A data field; body goes between its tags.
std::string Field(const std::string& name, const std::string& optype, const std::string& type,
                  const std::string& body = "") {
  return "<DataField name=\"" + name + "\" optype=\"" + optype + "\" dataType=\"" + type + "\">" +
         body + "</DataField>";
}

constexpr XmlDocument::Form kBothForms[] = {XmlDocument::Form::kEditable,
                                            XmlDocument::Form::kReadOnly};

class HostXmlTest : public ::testing::Test {
 protected:
  XercesSession session_;  // first in, last out: outlives every document below

  // Reads a data dictionary; its document lives until the test ends.
  std::unique_ptr<ScoreDictionary> ReadDictionary(const std::string& fields) {
    document_ = std::make_unique<XmlDocument>();
    XmlParseError error;
    if (!document_->ParseMemory("<DataDictionary>" + fields + "</DataDictionary>", &error)) {
      throw std::runtime_error(error.message);
    }
    return std::unique_ptr<ScoreDictionary>(
        DictionaryTranslator().ParseDictionary(document_->GetDocument()->getDocumentElement()));
  }

  // A file in the test's temporary folder, removed when the test ends.
  std::string TempFile(const std::string& name, const std::string& content) {
    files_.push_back(::testing::TempDir() + name);
    std::ofstream(files_.back()) << content;
    return files_.back();
  }
  void TearDown() override {
    document_.reset();
    for (const std::string& f : files_) std::remove(f.c_str());
  }

  std::unique_ptr<XmlDocument> document_;
  std::vector<std::string> files_;
};

TEST(VerifyNumbers, RefuseWithCode3NamingTheText) {
  const std::string empty = "A number is required but the text is empty";
  const std::tuple<bool, const char*, std::string> cases[] = {
      {false, "1.5x", "\"1.5x\" is not a valid number"},
      {false, "1e400", "\"1e400\" is not a valid number"},
      {false, "  ", empty},
      {true, "2.5", "\"2.5\" is not a valid integer"},
      {true, "x", "\"x\" is not a valid integer"},
      {true, "2147483648", "\"2147483648\" is out of the integer range"},
      {true, "-3e10", "\"-3e10\" is out of the integer range"},
  };
  for (const auto& [integer, text, message] : cases) {
    VeltraException e = Catch([&, text = text, integer = integer] {
      (void)(integer ? BT::VerifyInt(std::string(text)) : BT::VerifyDouble(std::string(text)));
    });
    EXPECT_EQ(e.GetCode(), 3) << text;
    EXPECT_EQ(e.GetMessage(), message);
  }
  EXPECT_EQ(Catch([] { BT::VerifyInt(static_cast<const XMLCh*>(nullptr)); }).GetMessage(), empty);
  // Blanks around a number are allowed; both ends of the integer range are inside it.
  EXPECT_EQ(BT::VerifyDouble(std::string(" 2.5 ")), 2.5);
  EXPECT_EQ(BT::VerifyInt(std::string("2147483647")), INT_MAX);
  EXPECT_EQ(BT::VerifyInt(std::string(" -2147483648\n")), INT_MIN);
  // Values made for a numeric variable get the same refusal.
  DictVar number("n", ScoreDictVar::kNumeric);
  EXPECT_EQ(Catch([&] { BT::CarefullyMakeVarValue(&number, "seven"); }).GetMessage(),
            "\"seven\" is not a valid number");
}

TEST_F(HostXmlTest, OtherEncodingsAndUnknownNames) {
  VeltraTranscoder utf8("");
  EXPECT_EQ(utf8.GetEncoding(), "UTF-8");
  const XMLCh pairs[] = {u'a', 0x00E9, 0x20AC, 0xD83D, 0xDE00, 0};  // a, e acute, euro, emoji
  EXPECT_EQ(utf8.transcodeTo(pairs), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  const XMLCh lone[] = {0xD83D, u'x', 0xDE00, 0};
  EXPECT_EQ(utf8.transcodeTo(lone), "\xEF\xBF\xBDx\xEF\xBF\xBD");
  EXPECT_EQ(utf8.transcodeTo(nullptr), "");

  const XMLCh text[] = {u'c', u'a', u'f', 0x00E9, 0};
  EXPECT_EQ(VeltraTranscoder("ISO-8859-1").transcodeTo(text), "caf\xE9");
  VeltraTranscoder unknown("no-such-encoding");
  EXPECT_EQ(unknown.GetEncoding(), "UTF-8");
  EXPECT_EQ(unknown.transcodeTo(text), "caf\xC3\xA9");

  DictionaryTranslator translator;
  EXPECT_EQ(translator.Transcode(text), "caf\xC3\xA9");  // UTF-8 before a transcoder is made
  translator.CreateTranscoder("ISO-8859-1");
  DictionaryTranslator copy(translator);  // a transcoder of its own
  EXPECT_NE(copy.GetTranscoder(), translator.GetTranscoder());
  EXPECT_EQ(copy.Transcode(text), "caf\xE9");
}

// Without optype the data type decides the level; without dataType the level decides it.
TEST_F(HostXmlTest, DataDictionaryLevelsTypesAndValues) {
  auto dictionary = ReadDictionary(
      Field("color", "categorical", "string",
            R"(<Value value="red" displayValue="Red"/><Value value="green" property="valid"/>
               <Value value="?" property="missing"/><Value value="purple" property="invalid"/>)") +
      Field("grade", "ordinal", "integer",
            R"(<Value value="1"/><Value value="2"/><Value value="3"/>)") +
      Field("income", "continuous", "double",
            R"(<Interval closure="closedOpen" leftMargin="0"/><Interval rightMargin="-5"/>
               <Value value="-1" property="missing"/><Value value="NA" property="missing"/>)") +
      Field("flag", "categorical", "boolean", R"(<Value value="true"/><Value value="false"/>)") +
      R"(<DataField name="s" dataType="string"/><DataField name="d" dataType="float"/>
         <DataField name="c" optype="continuous"/><DataField name="o" optype="ordinal"/>)");
  ASSERT_EQ(dictionary->GetNumberOfVars(), 8);
  const std::tuple<const char*, int, int, const char*> kinds[] = {
      {"color", ScoreDictVar::kNominal, ScoreDictVar::kString, "string"},
      {"grade", ScoreDictVar::kOrdinal, ScoreDictVar::kNumeric, "integer"},
      {"income", ScoreDictVar::kContinuous, ScoreDictVar::kNumeric, "double"},
      {"flag", ScoreDictVar::kNominal, ScoreDictVar::kString, "boolean"},  // kept as text
      {"s", ScoreDictVar::kNominal, ScoreDictVar::kString, "string"},
      {"d", ScoreDictVar::kContinuous, ScoreDictVar::kNumeric, "float"},
      {"c", ScoreDictVar::kContinuous, ScoreDictVar::kNumeric, "double"},
      {"o", ScoreDictVar::kOrdinal, ScoreDictVar::kString, "string"}};
  for (const auto& [name, level, type, dataType] : kinds) {
    const auto& var = dynamic_cast<const DictVar&>(*dictionary->GetVar(name));
    EXPECT_EQ(var.GetMeasurementLevel(), level) << name;
    EXPECT_EQ(var.GetVariableType(), type) << name;
    EXPECT_EQ(var.GetDataType(), dataType) << name;
  }
  const ScoreDictVar* color = dictionary->GetVar("color");
  ASSERT_EQ(color->GetCategoryCount(), 2);  // neither missing nor invalid values are categories
  const auto& labels = color->GetValueLabelSet()->GetLabels();
  EXPECT_EQ(labels[0]->GetLabel(), "Red");
  EXPECT_EQ(labels[1]->GetLabel(), "green");
  StringValue question("?"), purple("purple");
  EXPECT_TRUE(color->IsMissingValue(&question));
  EXPECT_FALSE(color->IsValidCategory(&purple) || color->IsMissingValue(&purple));
  NumericValue two(2.0);
  EXPECT_TRUE(dictionary->GetVar("grade")->IsValidCategory(&two));

  // The "NA" missing code on a numeric field is kept as text: no number matches it.
  const auto& income = dynamic_cast<const DictVar&>(*dictionary->GetVar("income"));
  NumericValue minusOne(-1), zero(0);
  EXPECT_TRUE(income.IsMissingValue(&minusOne));
  EXPECT_FALSE(income.IsMissingValue(&zero));
  // A margin left off is unbounded; the closure defaults to closedClosed.
  std::vector<std::tuple<std::string, double, double>> intervals;
  for (const FieldInterval& i : income.GetIntervals()) {
    intervals.emplace_back(i.closure, i.leftMargin, i.rightMargin);
  }
  const double inf = NumericValue::GetInfinity();
  EXPECT_EQ(intervals, (decltype(intervals){{"closedOpen", 0, inf}, {"closedClosed", -inf, -5}}));
}

TEST_F(HostXmlTest, DataDictionaryRejectsMalformedFields) {
  const std::tuple<std::string, int, const char*> cases[] = {
      {R"(<DataField optype="continuous" dataType="double"/>)", 1,
       "Attribute \"name\" is required in element <DataField>"},
      {R"(<DataField name="b"/>)", 1, "Attribute \"dataType\" is required in element <DataField>"},
      {Field("c", "categorical", "string", "<Value/>"), 1,
       "Attribute \"value\" is required in element <Value>"},
      {Field("a", "continuous", "double") + Field("a", "categorical", "string"), 1,
       "Duplicate DataField name: a"},
      {Field("g", "ordinal", "integer", R"(<Value value="low"/>)"), 3,
       "\"low\" is not a valid number in DataField g"},
      {Field("x", "discrete", "string"), 1, "\"discrete\" is not a valid optype of DataField x"},
      {Field("i", "continuous", "double", R"(<Interval closure="openOpen" leftMargin="zero"/>)"), 3,
       "\"zero\" is not a valid number"},
      {Field("v", "categorical", "string", R"(<Value value="a" property="odd"/>)"), 1,
       "\"odd\" is not a valid property of a Value in DataField v"},
  };
  for (const auto& [fields, code, message] : cases) {
    VeltraException e = Catch([&, fields = fields] { ReadDictionary(fields); });
    EXPECT_EQ(e.GetCode(), code) << fields;
    EXPECT_EQ(e.GetMessage(), message);
  }
}

TEST_F(HostXmlTest, ParseFromTreeReportsWhereADocumentIsMalformed) {
  DictionaryTranslator translator;
  const std::string good =
      "<PMML><DataDictionary>" + Field("a", "continuous", "double") + "</DataDictionary></PMML>";
  std::unique_ptr<ScoreModel> model(
      translator.ParseFromTree(TempFile("host_translator_test.xml", good), "UTF-8"));
  EXPECT_NE(model->GetDictionary()->GetVar("a"), nullptr);

  const std::string bad =
      TempFile("host_translator_bad.xml", "<PMML>\n  <DataDictionary>\n</PMML>\n");
  VeltraException e = Catch([&] { translator.ParseFromTree(bad, ""); });
  EXPECT_EQ(e.GetCode(), 1);
  EXPECT_EQ(e.GetMessage().rfind(bad + ":3:3: ", 0), 0u) << e.GetMessage();
  std::istringstream badStream("<PMML><a></b></PMML>");
  e = Catch([&] { translator.ParseFromTree(badStream, "", "model.xml"); });
  EXPECT_EQ(e.GetMessage().rfind("model.xml:1:", 0), 0u) << e.GetMessage();
  e = Catch([&] { translator.ParseFromTree("/no/such/model.xml", ""); });
  EXPECT_EQ(e.GetMessage(), "/no/such/model.xml: No such file or directory");
  std::istringstream noDictionary("<PMML/>");
  EXPECT_EQ(Catch([&] { translator.ParseFromTree(noDictionary, ""); }).GetMessage(),
            "Element <DataDictionary> is required in <PMML>");

  for (XmlDocument::Form form : kBothForms) {
    XmlDocument document(form);
    XmlParseError error;
    EXPECT_FALSE(document.ParseMemory("<a>\n  <b>\n  </c>\n</a>", &error));
    EXPECT_EQ(error.line, 3);
    EXPECT_EQ(document.GetDocument(), nullptr);
    // The same object can parse again.
    EXPECT_TRUE(
        document.ParseMemory("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>", &error));
    ASSERT_NE(document.GetDocument(), nullptr);
    EXPECT_EQ(document.GetEncoding(), "ISO-8859-1");
    EXPECT_FALSE(document.ParseMemory("<a/><b/>", &error));
  }
}

TEST_F(HostXmlTest, XmlDocumentRefusesExternalEntitiesAndExpansionBombs) {
  const std::string secret = TempFile("host_secret.txt", "TOP-SECRET-CONTENT");
  std::string bomb = "<!DOCTYPE r [<!ENTITY e0 \"lol\">";
  for (int i = 1; i <= 10; ++i) {
    bomb += "<!ENTITY e" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k) bomb += "&e" + std::to_string(i - 1) + ";";
    bomb += "\">";
  }
  // An external DTD is not loaded; ordinary entity use stays within the limit.
  const std::pair<std::string, bool> documents[] = {
      {"<!DOCTYPE r [<!ENTITY x SYSTEM \"file://" + secret + "\">]>\n<r>&x;</r>", false},
      {"<!DOCTYPE r [<!ENTITY % p SYSTEM \"file://" + secret + "\"> %p;]><r/>", false},
      {bomb + "]><r>&e10;</r>", false},
      {"<!DOCTYPE r SYSTEM \"file://" + secret + "\"><r>ok</r>", true},
      {"<!DOCTYPE r [<!ENTITY n \"name\">]><r a=\"&lt;&amp;&gt;\">&n; &amp; &#233;</r>", true},
  };
  for (XmlDocument::Form form : kBothForms) {
    for (const auto& [xml, accepted] : documents) {
      XmlDocument document(form);
      XmlParseError error;
      EXPECT_EQ(document.ParseMemory(xml, &error), accepted) << xml << ": " << error.message;
      if (accepted) continue;
      EXPECT_NE(error.message.find("entit"), std::string::npos) << error.message;
      EXPECT_EQ(error.message.find("TOP-SECRET"), std::string::npos);
      EXPECT_EQ(document.GetDocument(), nullptr);
    }
  }
}

// The target is kept by name and found again in a new dictionary; the last target given
// wins; taking the role away clears it.
TEST_F(HostXmlTest, ModelRolesAndTarget) {
  TestModel model;
  model.SetVarRole("risk", ScoreModel::kRoleTarget);  // no dictionary yet
  EXPECT_EQ(model.GetTargetVar(), nullptr);
  model.SetScoreDictionary(
      ReadDictionary(Field("age", "continuous", "double") +
                     Field("color", "categorical", "string", "<Value value=\"r\"/>") +
                     Field("risk", "categorical", "string"))
          .release());
  const ScoreDictionary* all = model.GetDictionary();
  EXPECT_EQ(model.GetTargetVar(), all->GetVar("risk"));
  EXPECT_EQ(model.GetVarRole("age"), -1);
  EXPECT_TRUE(model.SetVarRole(all->GetVar("color"), ScoreModel::kRoleInput));
  EXPECT_FALSE(model.SetVarRole("ghost", ScoreModel::kRoleInput));
  EXPECT_EQ(model.GetVarRole("ghost"), ScoreModel::kRoleInput);  // kept all the same
  EXPECT_EQ(model.GetVarRole(all->GetVar("risk")), ScoreModel::kRoleTarget);
  EXPECT_FALSE(model.SetVarRole(nullptr, ScoreModel::kRoleTarget));

  EXPECT_TRUE(model.SetVarRole("color", ScoreModel::kRoleTarget));
  EXPECT_EQ(model.GetTargetVar()->GetName(), "color");
  model.SetVarRole("color", ScoreModel::kRoleInput);
  EXPECT_EQ(model.GetTargetVar(), nullptr);
  model.SetVarRole("risk", ScoreModel::kRoleTarget);
  model.SetScoreDictionary(new BaseDictionary());  // the old one (and its target) is gone
  EXPECT_EQ(model.GetTargetVar(), nullptr);
}

TEST(BaseModelTest, TargetFromDataDictionaryFirstThenDerivedFields) {
  TestModel model;
  auto* dictionary = new BaseDictionary();
  dictionary->AddVar("both", new DictVar("both", ScoreDictVar::kNumeric));
  model.SetScoreDictionary(dictionary);
  auto* derived = new TransformationDictionary();
  for (const char* name : {"both", "ratio"}) {
    auto var = std::make_unique<DictVar>(name, ScoreDictVar::kString);
    var->SetDerived(true);
    EXPECT_TRUE(derived->AddVar(name, var.get()));
    var.release();
  }
  model.SetTransformationScoreDictionary(derived);

  EXPECT_TRUE(model.SetVarRole("both", ScoreModel::kRoleTarget));
  EXPECT_FALSE(model.GetTargetVar()->IsDerived());  // the data field wins
  EXPECT_TRUE(model.SetVarRole("ratio", ScoreModel::kRoleTarget));
  EXPECT_EQ(model.GetTargetVar(), derived->GetVar("ratio"));
  // One variable per name: the data field, not the derived one of the same name.
  model.SetVarRole("both", ScoreModel::kRoleInput);
  std::unique_ptr<ScoreDictionary> inputs(model.GetVarsOfRole(ScoreModel::kRoleInput));
  ASSERT_EQ(inputs->GetNumberOfVars(), 1);
  EXPECT_FALSE(inputs->GetVar("both")->IsDerived());
  std::unique_ptr<ScoreDictionary> targets(model.GetVarsOfRole(ScoreModel::kRoleTarget));
  EXPECT_TRUE(targets->GetVar("ratio")->IsDerived());
}

}  // namespace
