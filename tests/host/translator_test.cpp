#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "host/BaseDictionary.h"
#include "host/ScoreTranslator.h"
#include "host/TransformationDictionary.h"
#include "host/Utf16.h"
#include "host/XmlDocument.h"

namespace {

using xercesc::DOMElement;

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

class HostXmlTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { session_ = new XercesSession(); }
  static void TearDownTestSuite() {
    delete session_;
    session_ = nullptr;
  }
  void TearDown() override { document_.reset(); }

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
    DictionaryTranslator translator;
    return std::unique_ptr<ScoreDictionary>(translator.ParseDictionary(root));
  }

  VeltraException DictionaryError(const std::string& fields) {
    return Catch([&] { ReadDictionary(fields); });
  }

  static XercesSession* session_;
  std::unique_ptr<XmlDocument> document_;
};

XercesSession* HostXmlTest::session_ = nullptr;

// --- DOM utility functions ---------------------------------------------------

TEST_F(HostXmlTest, AttributesAbsentEmptyAndForced) {
  DOMElement* field = Parse("<MiningField name=\"age\" missingValueReplacement=\"\"/>");
  EXPECT_EQ(BaseTranslator::GetAttribute(field, "usageType"), nullptr);
  const XMLCh* empty = BaseTranslator::GetAttribute(field, "missingValueReplacement");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty[0], 0);
  EXPECT_TRUE(BaseTranslator::IsEqual(BaseTranslator::GetAttributeForced(field, "name"), "age"));
  VeltraException e = Catch([&] { BaseTranslator::GetAttributeForced(field, "usageType"); });
  EXPECT_EQ(e.GetCode(), 1);
  EXPECT_EQ(e.GetMessage(), "Attribute \"usageType\" is required in element <MiningField>");
  EXPECT_EQ(BaseTranslator::GetAttribute(nullptr, "name"), nullptr);
}

TEST_F(HostXmlTest, ChildElementsSkipTextAndComments) {
  DOMElement* pmml = Parse(
      "<PMML> text <!-- note --><Header/>\n<TreeModel><Node><Node/></Node></TreeModel>"
      "<TreeModel/></PMML>");
  DOMElement* first = BaseTranslator::GetFirstChildElt(pmml);
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(BaseTranslator::IsEqual(first->getNodeName(), "Header"));
  DOMElement* second = BaseTranslator::GetNextSiblingElt(first);
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(BaseTranslator::IsEqual(second->getNodeName(), "TreeModel"));
  EXPECT_NE(BaseTranslator::GetNextSiblingElt(second), nullptr);
  EXPECT_EQ(BaseTranslator::GetNextSiblingElt(BaseTranslator::GetNextSiblingElt(second)), nullptr);
  EXPECT_EQ(BaseTranslator::GetChildByTag(pmml, "TreeModel"), second);
  EXPECT_EQ(BaseTranslator::GetChildByTag(pmml, "Node"), nullptr);  // not a direct child
  EXPECT_EQ(BaseTranslator::GetChildByTag(pmml, "treemodel"), nullptr);
  xercesc::DOMNodeList* nodes = BaseTranslator::GetElementsByTagName(pmml, "Node");
  ASSERT_NE(nodes, nullptr);
  EXPECT_EQ(nodes->getLength(), 2u);
  EXPECT_EQ(
      BaseTranslator::GetElementsByTagName(pmml->getOwnerDocument(), "TreeModel")->getLength(), 2u);

  VeltraException e = Catch([&] { BaseTranslator::GetChildByTagForced(pmml, "DataDictionary"); });
  EXPECT_EQ(e.GetCode(), 1);
  EXPECT_EQ(e.GetMessage(), "Element <DataDictionary> is required in <PMML>");
}

TEST_F(HostXmlTest, IsEqualComparesExactlyAndNullOnlyWithNull) {
  DOMElement* e = Parse("<a x=\"Equal\" y=\"caf&#233;\"/>");
  const XMLCh* x = BaseTranslator::GetAttribute(e, "x");
  EXPECT_TRUE(BaseTranslator::IsEqual(x, "Equal"));
  EXPECT_FALSE(BaseTranslator::IsEqual(x, "equal"));
  EXPECT_FALSE(BaseTranslator::IsEqual(x, "Equals"));
  EXPECT_FALSE(BaseTranslator::IsEqual(x, "Equa"));
  EXPECT_FALSE(BaseTranslator::IsEqual(nullptr, "Equal"));
  EXPECT_TRUE(BaseTranslator::IsEqual(static_cast<const XMLCh*>(nullptr),
                                      static_cast<const char*>(nullptr)));
  EXPECT_TRUE(BaseTranslator::IsEqual(BaseTranslator::GetAttribute(e, "y"), "caf\xC3\xA9"));
  EXPECT_TRUE(BaseTranslator::IsEqual(x, x));
  EXPECT_FALSE(BaseTranslator::IsEqual(x, static_cast<const XMLCh*>(nullptr)));
  DictionaryTranslator translator;
  EXPECT_TRUE(translator.IsEqual(x, std::string("Equal")));
}

// --- Number verification -----------------------------------------------------

TEST(VerifyNumbers, AcceptWholeNumbersWithBlanks) {
  EXPECT_EQ(BaseTranslator::VerifyDouble(std::string(" 2.5 ")), 2.5);
  EXPECT_EQ(BaseTranslator::VerifyDouble(std::string("-1e-3")), -0.001);
  EXPECT_EQ(BaseTranslator::VerifyInt(std::string("42")), 42);
  EXPECT_EQ(BaseTranslator::VerifyInt(std::string(" -7\n")), -7);
  EXPECT_EQ(BaseTranslator::VerifyInt(std::string("12.0")), 12);
  EXPECT_EQ(BaseTranslator::VerifyInt(std::string("2147483647")), 2147483647);
  EXPECT_EQ(BaseTranslator::VerifyInt(std::string("-2147483648")), -2147483647 - 1);
  const XMLCh wide[] = {u'3', u'.', u'5', 0};
  EXPECT_EQ(BaseTranslator::VerifyDouble(wide), 3.5);
}

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
      if (c.integer) {
        BaseTranslator::VerifyInt(std::string(c.text));
      } else {
        BaseTranslator::VerifyDouble(std::string(c.text));
      }
    });
    EXPECT_EQ(e.GetCode(), 3) << c.text;
    EXPECT_EQ(e.GetMessage(), c.message);
  }
  EXPECT_EQ(
      Catch([] { BaseTranslator::VerifyDouble(static_cast<const XMLCh*>(nullptr)); }).GetMessage(),
      "A number is required but the text is empty");
  EXPECT_EQ(Catch([] { BaseTranslator::VerifyInt(static_cast<const XMLCh*>(nullptr)); }).GetCode(),
            3);
}

TEST(VerifyNumbers, CarefullyMakeVarValueFollowsTheVariableType) {
  DictVar number("n", ScoreDictVar::kNumeric), text("t", ScoreDictVar::kString);
  std::unique_ptr<ScoreValue> a(BaseTranslator::CarefullyMakeVarValue(&number, "7.5"));
  EXPECT_TRUE(a->IsNumeric());
  EXPECT_EQ(a->ToDouble(), 7.5);
  std::unique_ptr<ScoreValue> b(BaseTranslator::CarefullyMakeVarValue(&text, "7.5"));
  EXPECT_TRUE(b->IsString());
  EXPECT_EQ(b->ToString(), "7.5");
  VeltraException e = Catch([&] { BaseTranslator::CarefullyMakeVarValue(&number, "seven"); });
  EXPECT_EQ(e.GetCode(), 3);
  EXPECT_EQ(e.GetMessage(), "\"seven\" is not a valid number");
}

// --- Transcoder --------------------------------------------------------------

TEST_F(HostXmlTest, Utf8TranscoderHandlesSurrogates) {
  VeltraTranscoder utf8("");
  EXPECT_EQ(utf8.GetEncoding(), "UTF-8");
  const XMLCh text[] = {u'a', 0x00E9, 0x20AC, 0xD83D, 0xDE00, 0};  // a é € 😀
  EXPECT_EQ(utf8.transcodeTo(text), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  const XMLCh lone[] = {0xD83D, u'x', 0xDE00, 0};
  EXPECT_EQ(utf8.transcodeTo(lone), "\xEF\xBF\xBDx\xEF\xBF\xBD");
  EXPECT_EQ(utf8.transcodeTo(nullptr), "");
}

TEST_F(HostXmlTest, OtherEncodingsAndUnknownNames) {
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
  DictionaryTranslator copy(translator);
  ASSERT_NE(copy.GetTranscoder(), nullptr);
  EXPECT_NE(copy.GetTranscoder(), translator.GetTranscoder());
  EXPECT_EQ(copy.Transcode(text), "caf\xE9");
  DictionaryTranslator assigned;
  assigned = translator;
  EXPECT_EQ(assigned.Transcode(text), "caf\xE9");
}

// --- DataDictionary ----------------------------------------------------------

TEST_F(HostXmlTest, DataDictionaryLevelsTypesAndValues) {
  auto dictionary = ReadDictionary(R"(
    <DataField name="color" optype="categorical" dataType="string">
      <Value value="red" displayValue="Red"/>
      <Value value="green" property="valid"/>
      <Value value="?" property="missing"/>
      <Value value="purple" property="invalid"/>
    </DataField>
    <DataField name="grade" optype="ordinal" dataType="integer">
      <Value value="1"/><Value value="2"/><Value value="3"/>
    </DataField>
    <DataField name="income" optype="continuous" dataType="double">
      <Interval closure="closedOpen" leftMargin="0"/>
      <Value value="-1" property="missing"/>
      <Value value="NA" property="missing"/>
    </DataField>
    <DataField name="flag" optype="categorical" dataType="boolean">
      <Value value="true"/><Value value="false"/>
    </DataField>)");
  ASSERT_EQ(dictionary->GetNumberOfVars(), 4);
  EXPECT_EQ(dictionary->GetVars()[0]->GetName(), "color");
  EXPECT_EQ(dictionary->GetVars()[3]->GetName(), "flag");

  const ScoreDictVar* color = dictionary->GetVar("color");
  EXPECT_EQ(color->GetMeasurementLevel(), ScoreDictVar::kNominal);
  EXPECT_EQ(color->GetVariableType(), ScoreDictVar::kString);
  ASSERT_EQ(color->GetCategoryCount(), 2);  // neither missing nor invalid values are categories
  const auto& labels = color->GetValueLabelSet()->GetLabels();
  EXPECT_EQ(labels[0]->GetValue()->ToString(), "red");
  EXPECT_EQ(labels[0]->GetLabel(), "Red");
  EXPECT_EQ(labels[1]->GetValue()->ToString(), "green");
  EXPECT_EQ(labels[1]->GetLabel(), "green");
  StringValue question("?"), purple("purple"), red("red");
  EXPECT_TRUE(color->IsMissingValue(&question));
  EXPECT_FALSE(color->IsValidCategory(&question));
  EXPECT_FALSE(color->IsValidCategory(&purple));
  EXPECT_FALSE(color->IsMissingValue(&purple));
  EXPECT_TRUE(color->IsValidCategory(&red));
  EXPECT_EQ(color->GetIndex(), -1);
  EXPECT_FALSE(color->IsDerived());

  const ScoreDictVar* grade = dictionary->GetVar("grade");
  EXPECT_EQ(grade->GetMeasurementLevel(), ScoreDictVar::kOrdinal);
  EXPECT_EQ(grade->GetVariableType(), ScoreDictVar::kNumeric);
  ASSERT_EQ(grade->GetCategoryCount(), 3);
  EXPECT_TRUE(grade->GetValueLabelSet()->GetLabels()[2]->GetValue()->IsNumeric());
  NumericValue two(2.0);
  EXPECT_TRUE(grade->IsValidCategory(&two));

  const auto* income = dynamic_cast<const DictVar*>(dictionary->GetVar("income"));
  ASSERT_NE(income, nullptr);
  EXPECT_EQ(income->GetMeasurementLevel(), ScoreDictVar::kContinuous);
  EXPECT_EQ(income->GetValueLabelSet(), nullptr);
  EXPECT_EQ(income->GetDataType(), "double");
  NumericValue minusOne(-1), zero(0);
  EXPECT_TRUE(income->IsMissingValue(&minusOne));
  EXPECT_FALSE(income->IsMissingValue(&zero));
  ASSERT_EQ(income->GetIntervals().size(), 1u);
  EXPECT_EQ(income->GetIntervals()[0].closure, "closedOpen");
  EXPECT_EQ(income->GetIntervals()[0].leftMargin, 0);
  EXPECT_EQ(income->GetIntervals()[0].rightMargin, NumericValue::GetInfinity());

  const ScoreDictVar* flag = dictionary->GetVar("flag");
  EXPECT_EQ(flag->GetVariableType(), ScoreDictVar::kString);  // kept as text
  StringValue yes("true");
  EXPECT_TRUE(flag->IsValidCategory(&yes));
}

TEST_F(HostXmlTest, DataDictionaryWithoutOptypeDecidesFromDataType) {
  auto dictionary = ReadDictionary(R"(
    <DataField name="s" dataType="string"/><DataField name="d" dataType="float"/>)");
  EXPECT_EQ(dictionary->GetVar("s")->GetMeasurementLevel(), ScoreDictVar::kNominal);
  EXPECT_EQ(dictionary->GetVar("d")->GetMeasurementLevel(), ScoreDictVar::kContinuous);
  EXPECT_EQ(dictionary->GetVar("d")->GetVariableType(), ScoreDictVar::kNumeric);
}

TEST_F(HostXmlTest, DataDictionaryRejectsMalformedFields) {
  struct Case {
    const char* fields;
    int code;
    const char* message;
  } cases[] = {
      {R"(<DataField optype="continuous" dataType="double"/>)", 1,
       "Attribute \"name\" is required in element <DataField>"},
      {R"(<DataField name="c" optype="categorical" dataType="string"><Value/></DataField>)", 1,
       "Attribute \"value\" is required in element <Value>"},
      {R"(<DataField name="a" optype="continuous" dataType="double"/>
          <DataField name="a" optype="categorical" dataType="string"/>)",
       1, "Duplicate DataField name: a"},
      {R"(<DataField name="g" optype="ordinal" dataType="integer"><Value value="low"/></DataField>)",
       3, "\"low\" is not a valid number in DataField g"},
      {R"(<DataField name="x" optype="discrete" dataType="string"/>)", 1,
       "\"discrete\" is not a valid optype of DataField x"},
      {R"(<DataField name="i" optype="continuous" dataType="double">
            <Interval closure="openOpen" leftMargin="zero"/></DataField>)",
       3, "\"zero\" is not a valid number"},
  };
  for (const Case& c : cases) {
    VeltraException e = DictionaryError(c.fields);
    EXPECT_EQ(e.GetCode(), c.code) << c.fields;
    EXPECT_EQ(e.GetMessage(), c.message);
  }
}

// --- Documents -----------------------------------------------------------------

TEST_F(HostXmlTest, ParseFromTreeReadsFilesAndStreams) {
  const std::string xml =
      "<PMML><DataDictionary><DataField name=\"a\" optype=\"continuous\" "
      "dataType=\"double\"/></DataDictionary></PMML>";
  DictionaryTranslator translator;
  std::istringstream in(xml);
  std::unique_ptr<ScoreModel> model(translator.ParseFromTree(in, ""));
  ASSERT_NE(model, nullptr);
  EXPECT_NE(model->GetDictionary()->GetVar("a"), nullptr);

  const std::string path = ::testing::TempDir() + "host_translator_test.xml";
  std::ofstream(path) << xml;
  std::unique_ptr<ScoreModel> fromFile(translator.ParseFromTree(path, "UTF-8"));
  EXPECT_EQ(fromFile->GetDictionary()->GetNumberOfVars(), 1);
  std::remove(path.c_str());
}

TEST_F(HostXmlTest, ParseFromTreeReportsWhereADocumentIsMalformed) {
  const std::string path = ::testing::TempDir() + "host_translator_bad.xml";
  std::ofstream(path) << "<PMML>\n  <DataDictionary>\n</PMML>\n";
  DictionaryTranslator translator;
  VeltraException e = Catch([&] { translator.ParseFromTree(path, ""); });
  std::remove(path.c_str());
  EXPECT_EQ(e.GetCode(), 1);
  EXPECT_EQ(e.GetMessage().rfind(path + ":3:3: ", 0), 0u) << e.GetMessage();

  std::istringstream in("<PMML><a></b></PMML>");
  VeltraException fromStream = Catch([&] { translator.ParseFromTree(in, "", "model.xml"); });
  EXPECT_EQ(fromStream.GetMessage().rfind("model.xml:1:", 0), 0u) << fromStream.GetMessage();

  VeltraException missing = Catch([&] { translator.ParseFromTree("/no/such/model.xml", ""); });
  EXPECT_EQ(missing.GetCode(), 1);
  EXPECT_EQ(missing.GetMessage(), "/no/such/model.xml: No such file or directory");

  // A well-formed document without the element the reader needs.
  std::istringstream noDictionary("<PMML/>");
  EXPECT_EQ(Catch([&] { translator.ParseFromTree(noDictionary, ""); }).GetMessage(),
            "Element <DataDictionary> is required in <PMML>");
}

constexpr XmlDocument::Form kBothForms[] = {XmlDocument::Form::kEditable,
                                            XmlDocument::Form::kReadOnly};

TEST_F(HostXmlTest, XmlDocumentRefusesExternalEntities) {
  const std::string secretPath = ::testing::TempDir() + "host_secret.txt";
  std::ofstream(secretPath) << "TOP-SECRET-CONTENT";
  const std::string documents[] = {
      "<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ENTITY x SYSTEM \"file://" + secretPath +
          "\">]>\n<r>&x;</r>",
      "<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ENTITY x SYSTEM \"" + secretPath +
          "\">]>\n<r a=\"1\">&x;</r>",
      "<!DOCTYPE r [<!ENTITY % p SYSTEM \"file://" + secretPath + "\"> %p;]><r/>",
  };
  for (const std::string& xml : documents) {
    for (XmlDocument::Form form : kBothForms) {
      XmlDocument document(form);
      XmlParseError error;
      bool parsed = document.ParseMemory(xml, &error);
      EXPECT_FALSE(parsed) << xml;
      EXPECT_EQ(error.message.find("TOP-SECRET"), std::string::npos);
      if (parsed) {
        std::string text =
            dendrix_host::ToUtf8(document.GetDocument()->getDocumentElement()->getTextContent());
        EXPECT_EQ(text.find("TOP-SECRET"), std::string::npos);
      }
    }
  }
  // An external DTD is not loaded: the document parses as if it had none.
  for (XmlDocument::Form form : kBothForms) {
    XmlDocument withDtd(form);
    XmlParseError error;
    EXPECT_TRUE(
        withDtd.ParseMemory("<!DOCTYPE r SYSTEM \"file://" + secretPath + "\"><r>ok</r>", &error))
        << error.message;
  }
  std::remove(secretPath.c_str());
}

TEST_F(HostXmlTest, XmlDocumentStopsEntityExpansionBombsQuickly) {
  std::string xml = "<!DOCTYPE r [<!ENTITY e0 \"lol\">";
  for (int i = 1; i <= 10; ++i) {
    xml += "<!ENTITY e" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k) xml += "&e" + std::to_string(i - 1) + ";";
    xml += "\">";
  }
  xml += "]><r>&e10;</r>";
  for (XmlDocument::Form form : kBothForms) {
    auto start = std::chrono::steady_clock::now();
    XmlDocument document(form);
    XmlParseError error;
    EXPECT_FALSE(document.ParseMemory(xml, &error));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_NE(error.message.find("entity"), std::string::npos) << error.message;
    EXPECT_EQ(document.GetDocument(), nullptr);

    // Ordinary entity use stays well within the limit.
    XmlDocument ordinary(form);
    EXPECT_TRUE(ordinary.ParseMemory(
        "<!DOCTYPE r [<!ENTITY n \"name\">]><r a=\"&lt;&amp;&gt;\">&n; &amp; &#233;</r>", &error));
  }
}

TEST_F(HostXmlTest, XmlDocumentReportsLineAndColumn) {
  for (XmlDocument::Form form : kBothForms) {
    XmlDocument document(form);
    XmlParseError error;
    EXPECT_FALSE(document.ParseMemory("<a>\n  <b>\n  </c>\n</a>", &error));
    EXPECT_EQ(error.line, 3);
    EXPECT_GT(error.column, 0);
    EXPECT_FALSE(error.message.empty());
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

// --- BaseModel ---------------------------------------------------------------

TEST_F(HostXmlTest, ModelRolesAndTarget) {
  TestModel model;
  auto dictionary = ReadDictionary(R"(
    <DataField name="age" optype="continuous" dataType="double"/>
    <DataField name="color" optype="categorical" dataType="string"><Value value="r"/></DataField>
    <DataField name="risk" optype="categorical" dataType="string"><Value value="lo"/></DataField>)");
  model.SetScoreDictionary(dictionary.release());
  EXPECT_EQ(model.GetTargetVar(), nullptr);
  EXPECT_EQ(model.GetVarRole("age"), -1);
  EXPECT_EQ(model.GetVarsOfRole(ScoreModel::kRoleInput), nullptr);

  EXPECT_TRUE(model.SetVarRole("age", ScoreModel::kRoleInput));
  EXPECT_TRUE(model.SetVarRole(model.GetDictionary()->GetVar("color"), ScoreModel::kRoleInput));
  EXPECT_TRUE(model.SetVarRole("risk", ScoreModel::kRoleTarget));
  EXPECT_FALSE(model.SetVarRole("ghost", ScoreModel::kRoleInput));
  EXPECT_EQ(model.GetVarRole("ghost"), ScoreModel::kRoleInput);  // kept all the same
  EXPECT_EQ(model.GetVarRole("age"), ScoreModel::kRoleInput);
  EXPECT_EQ(model.GetVarRole(model.GetDictionary()->GetVar("risk")), ScoreModel::kRoleTarget);
  ASSERT_NE(model.GetTargetVar(), nullptr);
  EXPECT_EQ(model.GetTargetVar(), model.GetDictionary()->GetVar("risk"));

  std::unique_ptr<ScoreDictionary> inputs(model.GetVarsOfRole(ScoreModel::kRoleInput));
  ASSERT_NE(inputs, nullptr);
  ASSERT_EQ(inputs->GetNumberOfVars(), 2);
  EXPECT_EQ(inputs->GetVars()[0]->GetName(), "age");
  EXPECT_EQ(inputs->GetVars()[1]->GetName(), "color");
  EXPECT_NE(inputs->GetVar("color"), model.GetDictionary()->GetVar("color"));  // clones
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
  model.SetScoreDictionary(
      ReadDictionary(R"(<DataField name="risk" optype="categorical" dataType="string"/>)")
          .release());
  ASSERT_NE(model.GetTargetVar(), nullptr);
  EXPECT_EQ(model.GetTargetVar()->GetName(), "risk");
  model.SetScoreDictionary(new BaseDictionary());  // the old one (and its target) is gone
  EXPECT_EQ(model.GetTargetVar(), nullptr);
  model.SetVersionInfo(new VersionInfo("4.1"));
  model.SetVersionInfo(new VersionInfo("4.2"));
  EXPECT_EQ(model.GetVersionInfo()->GetVersion(), "4.2");
  EXPECT_EQ(model.GetMissingValuePolicy(), ScoreModel::kMVPolicyDefault);
  model.SetMissingValuePolicy(ScoreModel::kMVPolicyListwise);
  EXPECT_EQ(model.GetMissingValuePolicy(), ScoreModel::kMVPolicyListwise);
  EXPECT_FALSE(model.GetNullHandling());
  EXPECT_EQ(model.GetTreeCount(), 0);
  EXPECT_EQ(model.GetTree(0), nullptr);
}

TEST(BaseModelTest, TargetFromDataDictionaryFirstThenDerivedFields) {
  TestModel model;
  auto dictionary = std::make_unique<BaseDictionary>();
  dictionary->AddVar("both", new DictVar("both", ScoreDictVar::kNumeric));
  model.SetScoreDictionary(dictionary.release());
  auto derived = std::make_unique<TransformationDictionary>();
  auto both = std::make_unique<DictVar>("both", ScoreDictVar::kString);
  both->SetDerived(true);
  ASSERT_TRUE(derived->AddVar("both", both.get()));
  both.release();
  auto ratio = std::make_unique<DictVar>("ratio", ScoreDictVar::kNumeric);
  ratio->SetDerived(true);
  ASSERT_TRUE(derived->AddVar("ratio", ratio.get()));
  ratio.release();
  model.SetTransformationScoreDictionary(derived.release());

  EXPECT_TRUE(model.SetVarRole("both", ScoreModel::kRoleTarget));
  ASSERT_NE(model.GetTargetVar(), nullptr);
  EXPECT_FALSE(model.GetTargetVar()->IsDerived());  // the data field wins
  EXPECT_TRUE(model.SetVarRole("ratio", ScoreModel::kRoleTarget));
  EXPECT_TRUE(model.GetTargetVar()->IsDerived());
  EXPECT_EQ(model.GetTargetVar(), model.GetTransformationDictionary()->GetVar("ratio"));

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
