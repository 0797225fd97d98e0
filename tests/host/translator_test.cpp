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

using xercesc::DOMElement;
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

  // Parses xml and returns its root element; the document lives until the test ends.
  DOMElement* Parse(const std::string& xml) {
    document_ = std::make_unique<XmlDocument>();
    XmlParseError error;
    if (!document_->ParseMemory(xml, &error)) {
      ADD_FAILURE() << "parse failed: " << error.message;
      return nullptr;
    }
    return document_->GetDocument()->getDocumentElement();
  }

  std::unique_ptr<ScoreDictionary> ReadDictionary(const std::string& fields) {
    DOMElement* root = Parse("<DataDictionary>" + fields + "</DataDictionary>");
    return std::unique_ptr<ScoreDictionary>(DictionaryTranslator().ParseDictionary(root));
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
  struct Case {
    bool integer;
    const char* text;
    const char* message;
  } cases[] = {
      {false, "abc", "\"abc\" is not a valid number"},
      {false, "1.5x", "\"1.5x\" is not a valid number"},
      {false, "inf", "\"inf\" is not a valid number"},
      {false, "1e400", "\"1e400\" is not a valid number"},
      {false, "", "A number is required but the text is empty"},
      {false, "  ", "A number is required but the text is empty"},
      {true, "2.5", "\"2.5\" is not a valid integer"},
      {true, "x", "\"x\" is not a valid integer"},
      {true, "2147483648", "\"2147483648\" is out of the integer range"},
      {true, "-3e10", "\"-3e10\" is out of the integer range"},
      {true, "", "A number is required but the text is empty"},
  };
  for (const Case& c : cases) {
    VeltraException e = Catch([&] {
      (void)(c.integer ? BT::VerifyInt(std::string(c.text))
                       : BT::VerifyDouble(std::string(c.text)));
    });
    EXPECT_EQ(e.GetCode(), 3) << c.text;
    EXPECT_EQ(e.GetMessage(), c.message);
  }
  EXPECT_EQ(Catch([] { BT::VerifyDouble(static_cast<const XMLCh*>(nullptr)); }).GetMessage(),
            "A number is required but the text is empty");
  EXPECT_EQ(Catch([] { BT::VerifyInt(static_cast<const XMLCh*>(nullptr)); }).GetCode(), 3);

  // Blanks around a number are allowed; both ends of the integer range are inside it.
  EXPECT_EQ(BT::VerifyDouble(std::string(" 2.5 ")), 2.5);
  EXPECT_EQ(BT::VerifyInt(std::string("2147483647")), INT_MAX);
  EXPECT_EQ(BT::VerifyInt(std::string(" -2147483648\n")), INT_MIN);

  // Values made for a variable follow its type, with the same refusal.
  DictVar number("n", ScoreDictVar::kNumeric), text("t", ScoreDictVar::kString);
  std::unique_ptr<ScoreValue> a(BT::CarefullyMakeVarValue(&number, "7.5"));
  std::unique_ptr<ScoreValue> b(BT::CarefullyMakeVarValue(&text, "7.5"));
  EXPECT_TRUE(a->IsNumeric() && a->ToDouble() == 7.5);
  EXPECT_TRUE(b->IsString() && b->ToString() == "7.5");
  VeltraException e = Catch([&] { BT::CarefullyMakeVarValue(&number, "seven"); });
  EXPECT_EQ(e.GetCode(), 3);
  EXPECT_EQ(e.GetMessage(), "\"seven\" is not a valid number");
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
  VeltraTranscoder latin1("ISO-8859-1");
  EXPECT_EQ(latin1.GetEncoding(), "ISO-8859-1");
  EXPECT_EQ(latin1.transcodeTo(text), "caf\xE9");
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
      Field("flag", "categorical", "boolean", R"(<Value value="true"/><Value value="false"/>)"));
  ASSERT_EQ(dictionary->GetNumberOfVars(), 4);

  const std::tuple<const char*, int, int> kinds[] = {
      {"color", ScoreDictVar::kNominal, ScoreDictVar::kString},
      {"grade", ScoreDictVar::kOrdinal, ScoreDictVar::kNumeric},
      {"income", ScoreDictVar::kContinuous, ScoreDictVar::kNumeric},
      {"flag", ScoreDictVar::kNominal, ScoreDictVar::kString}};  // booleans are kept as text
  for (const auto& [name, level, type] : kinds) {
    EXPECT_EQ(dictionary->GetVar(name)->GetMeasurementLevel(), level) << name;
    EXPECT_EQ(dictionary->GetVar(name)->GetVariableType(), type) << name;
  }
  const ScoreDictVar* color = dictionary->GetVar("color");
  ASSERT_EQ(color->GetCategoryCount(), 2);  // neither missing nor invalid values are categories
  const auto& labels = color->GetValueLabelSet()->GetLabels();
  EXPECT_EQ(labels[0]->GetValue()->ToString(), "red");
  EXPECT_EQ(labels[0]->GetLabel(), "Red");
  EXPECT_EQ(labels[1]->GetLabel(), "green");
  StringValue question("?"), purple("purple");
  EXPECT_TRUE(color->IsMissingValue(&question));
  EXPECT_FALSE(color->IsValidCategory(&question));
  EXPECT_FALSE(color->IsValidCategory(&purple));
  EXPECT_FALSE(color->IsMissingValue(&purple));

  NumericValue two(2.0);
  EXPECT_TRUE(dictionary->GetVar("grade")->IsValidCategory(&two));

  // The "NA" missing code on a numeric field is kept as text: no number matches it.
  const auto* income = dynamic_cast<const DictVar*>(dictionary->GetVar("income"));
  ASSERT_NE(income, nullptr);
  EXPECT_EQ(income->GetDataType(), "double");
  NumericValue minusOne(-1), zero(0);
  EXPECT_TRUE(income->IsMissingValue(&minusOne));
  EXPECT_FALSE(income->IsMissingValue(&zero));
  // A margin left off is unbounded; the closure defaults to closedClosed.
  std::vector<std::tuple<std::string, double, double>> intervals;
  for (const FieldInterval& i : income->GetIntervals()) {
    intervals.emplace_back(i.closure, i.leftMargin, i.rightMargin);
  }
  const double inf = NumericValue::GetInfinity();
  EXPECT_EQ(intervals, (decltype(intervals){{"closedOpen", 0, inf}, {"closedClosed", -inf, -5}}));
}

TEST_F(HostXmlTest, DataDictionaryWithoutOptypeDecidesFromDataType) {
  auto dictionary = ReadDictionary(R"(
    <DataField name="s" dataType="string"/><DataField name="d" dataType="float"/>
    <DataField name="c" optype="continuous"/><DataField name="o" optype="ordinal"/>)");
  EXPECT_EQ(dictionary->GetVar("s")->GetMeasurementLevel(), ScoreDictVar::kNominal);
  EXPECT_EQ(dictionary->GetVar("d")->GetMeasurementLevel(), ScoreDictVar::kContinuous);
  EXPECT_EQ(dictionary->GetVar("d")->GetVariableType(), ScoreDictVar::kNumeric);
  EXPECT_EQ(dynamic_cast<const DictVar&>(*dictionary->GetVar("c")).GetDataType(), "double");
  EXPECT_EQ(dynamic_cast<const DictVar&>(*dictionary->GetVar("o")).GetDataType(), "string");
}

TEST_F(HostXmlTest, DataDictionaryRejectsMalformedFields) {
  struct Case {
    std::string fields;
    int code;
    const char* message;
  } cases[] = {
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
  for (const Case& c : cases) {
    VeltraException e = Catch([&] { ReadDictionary(c.fields); });
    EXPECT_EQ(e.GetCode(), c.code) << c.fields;
    EXPECT_EQ(e.GetMessage(), c.message);
  }
}

TEST_F(HostXmlTest, ParseFromTreeReportsWhereADocumentIsMalformed) {
  DictionaryTranslator translator;
  const std::string good =
      "<PMML><DataDictionary>" + Field("a", "continuous", "double") + "</DataDictionary></PMML>";
  std::istringstream in(good);
  std::unique_ptr<ScoreModel> model(translator.ParseFromTree(in, ""));
  EXPECT_NE(model->GetDictionary()->GetVar("a"), nullptr);
  std::unique_ptr<ScoreModel> fromFile(
      translator.ParseFromTree(TempFile("host_translator_test.xml", good), "UTF-8"));
  EXPECT_EQ(fromFile->GetDictionary()->GetNumberOfVars(), 1);

  const std::string bad =
      TempFile("host_translator_bad.xml", "<PMML>\n  <DataDictionary>\n</PMML>\n");
  VeltraException e = Catch([&] { translator.ParseFromTree(bad, ""); });
  EXPECT_EQ(e.GetCode(), 1);
  EXPECT_EQ(e.GetMessage().rfind(bad + ":3:3: ", 0), 0u) << e.GetMessage();
  std::istringstream badStream("<PMML><a></b></PMML>");
  e = Catch([&] { translator.ParseFromTree(badStream, "", "model.xml"); });
  EXPECT_EQ(e.GetMessage().rfind("model.xml:1:", 0), 0u) << e.GetMessage();
  e = Catch([&] { translator.ParseFromTree("/no/such/model.xml", ""); });
  EXPECT_EQ(e.GetCode(), 1);
  EXPECT_EQ(e.GetMessage(), "/no/such/model.xml: No such file or directory");
  std::istringstream noDictionary("<PMML/>");
  EXPECT_EQ(Catch([&] { translator.ParseFromTree(noDictionary, ""); }).GetMessage(),
            "Element <DataDictionary> is required in <PMML>");

  for (XmlDocument::Form form : kBothForms) {
    XmlDocument document(form);
    XmlParseError error;
    EXPECT_FALSE(document.ParseMemory("<a>\n  <b>\n  </c>\n</a>", &error));
    EXPECT_EQ(error.line, 3);
    EXPECT_GT(error.column, 0);
    EXPECT_EQ(document.GetDocument(), nullptr);
    // The same object can parse again.
    EXPECT_TRUE(
        document.ParseMemory("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>", &error));
    ASSERT_NE(document.GetDocument(), nullptr);
    EXPECT_EQ(document.GetEncoding(), "ISO-8859-1");
    EXPECT_FALSE(document.ParseMemory("", &error));
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
  const std::string refused[] = {
      "<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ENTITY x SYSTEM \"file://" + secret +
          "\">]>\n<r>&x;</r>",
      "<!DOCTYPE r [<!ENTITY x SYSTEM \"" + secret + "\">]>\n<r a=\"1\">&x;</r>",
      "<!DOCTYPE r [<!ENTITY % p SYSTEM \"file://" + secret + "\"> %p;]><r/>",
      bomb + "]><r>&e10;</r>",
  };
  // An external DTD is not loaded; ordinary entity use stays within the limit.
  const std::string accepted[] = {
      "<!DOCTYPE r SYSTEM \"file://" + secret + "\"><r>ok</r>",
      "<!DOCTYPE r [<!ENTITY n \"name\">]><r a=\"&lt;&amp;&gt;\">&n; &amp; &#233;</r>",
  };
  for (XmlDocument::Form form : kBothForms) {
    for (const std::string& xml : refused) {
      XmlDocument document(form);
      XmlParseError error;
      EXPECT_FALSE(document.ParseMemory(xml, &error)) << xml;
      EXPECT_NE(error.message.find("entit"), std::string::npos) << error.message;
      EXPECT_EQ(error.message.find("TOP-SECRET"), std::string::npos);
      EXPECT_EQ(document.GetDocument(), nullptr);
    }
    for (const std::string& xml : accepted) {
      XmlDocument document(form);
      XmlParseError error;
      EXPECT_TRUE(document.ParseMemory(xml, &error)) << error.message;
    }
  }
}

TEST_F(HostXmlTest, ModelRolesAndTarget) {
  TestModel model;
  model.SetScoreDictionary(
      ReadDictionary(Field("age", "continuous", "double") +
                     Field("color", "categorical", "string", "<Value value=\"r\"/>") +
                     Field("risk", "categorical", "string"))
          .release());
  const ScoreDictionary* all = model.GetDictionary();
  EXPECT_EQ(model.GetVarRole("age"), -1);
  EXPECT_EQ(model.GetVarsOfRole(ScoreModel::kRoleInput), nullptr);

  EXPECT_TRUE(model.SetVarRole("age", ScoreModel::kRoleInput));
  EXPECT_TRUE(model.SetVarRole(all->GetVar("color"), ScoreModel::kRoleInput));
  EXPECT_TRUE(model.SetVarRole("risk", ScoreModel::kRoleTarget));
  EXPECT_FALSE(model.SetVarRole("ghost", ScoreModel::kRoleInput));
  EXPECT_EQ(model.GetVarRole("ghost"), ScoreModel::kRoleInput);  // kept all the same
  EXPECT_EQ(model.GetVarRole(all->GetVar("risk")), ScoreModel::kRoleTarget);
  EXPECT_EQ(model.GetTargetVar(), all->GetVar("risk"));

  std::unique_ptr<ScoreDictionary> inputs(model.GetVarsOfRole(ScoreModel::kRoleInput));
  ASSERT_NE(inputs, nullptr);
  ASSERT_EQ(inputs->GetNumberOfVars(), 2);
  EXPECT_EQ(inputs->GetVars()[0]->GetName(), "age");
  EXPECT_EQ(inputs->GetVars()[1]->GetName(), "color");
  EXPECT_NE(inputs->GetVar("color"), all->GetVar("color"));  // clones
  EXPECT_EQ(inputs->GetVar("color")->GetCategoryCount(), 1);
  EXPECT_EQ(model.GetVarsOfRole(ScoreModel::kRoleOther), nullptr);

  // The last target given wins; taking the role away clears the target.
  EXPECT_TRUE(model.SetVarRole("color", ScoreModel::kRoleTarget));
  EXPECT_EQ(model.GetTargetVar()->GetName(), "color");
  model.SetVarRole("color", ScoreModel::kRoleInput);
  EXPECT_EQ(model.GetTargetVar(), nullptr);
  EXPECT_FALSE(model.SetVarRole(nullptr, ScoreModel::kRoleTarget));
}

TEST_F(HostXmlTest, ModelFindsTargetAgainInANewDictionary) {
  TestModel model;
  model.SetVarRole("risk", ScoreModel::kRoleTarget);  // no dictionary yet
  EXPECT_EQ(model.GetTargetVar(), nullptr);
  model.SetScoreDictionary(ReadDictionary(Field("risk", "categorical", "string")).release());
  ASSERT_NE(model.GetTargetVar(), nullptr);
  EXPECT_EQ(model.GetTargetVar()->GetName(), "risk");
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
  ASSERT_NE(model.GetTargetVar(), nullptr);
  EXPECT_FALSE(model.GetTargetVar()->IsDerived());  // the data field wins
  EXPECT_TRUE(model.SetVarRole("ratio", ScoreModel::kRoleTarget));
  EXPECT_EQ(model.GetTargetVar(), derived->GetVar("ratio"));

  model.SetVarRole("both", ScoreModel::kRoleInput);
  std::unique_ptr<ScoreDictionary> inputs(model.GetVarsOfRole(ScoreModel::kRoleInput));
  ASSERT_NE(inputs, nullptr);
  // One variable per name: the data field, not the derived one of the same name.
  ASSERT_EQ(inputs->GetNumberOfVars(), 1);
  EXPECT_FALSE(inputs->GetVar("both")->IsDerived());
  std::unique_ptr<ScoreDictionary> targets(model.GetVarsOfRole(ScoreModel::kRoleTarget));
  ASSERT_NE(targets, nullptr);
  EXPECT_TRUE(targets->GetVar("ratio")->IsDerived());
}

}  // namespace
