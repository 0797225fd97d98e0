// Texts that derived fields build are bounded: fields that concatenate their
// predecessors double the text at each link, so a few kilobytes of document
// could otherwise ask for terabytes on the first case.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/BaseDictionary.h"
#include "host/DerivedField.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreTranslator.h"
#include "host/TransformationDictionary.h"
#include "host/VeltraException.h"
#include "host/XmlDocument.h"

namespace {

class DictionaryReader : public PMMLTranslator {
 public:
  DictionaryReader() : PMMLTranslator("limits") {}
  using BaseTranslator::ParseFromTree;
  ScoreModel* ParseFromTree(xercesc::DOMDocument*, const std::string&) override { return nullptr; }
};

std::string Text(const std::string& name, const std::string& expression,
                 const std::string& attributes = "") {
  return "<DerivedField name=\"" + name + "\" optype=\"categorical\" dataType=\"string\"" +
         attributes + ">" + expression + "</DerivedField>";
}
std::string Ref(const std::string& field) { return "<FieldRef field=\"" + field + "\"/>"; }

class DerivedTextLimit : public ::testing::Test {
 protected:
  void Read(const std::string& derivedFields) {
    document_ = std::make_unique<XmlDocument>();
    XmlParseError error;
    ASSERT_TRUE(
        document_->ParseMemory("<PMML><DataDictionary><DataField name=\"s\" optype=\"categorical\" "
                               "dataType=\"string\"/></DataDictionary><TransformationDictionary>" +
                                   derivedFields + "</TransformationDictionary></PMML>",
                               &error))
        << error.message;
    xercesc::DOMElement* root = document_->GetDocument()->getDocumentElement();
    dictionary_.reset(
        reader_.ParseDictionary(BaseTranslator::GetChildByTag(root, "DataDictionary")));
    fields_.reset(reader_.HandleTransformationDictionary(
        BaseTranslator::GetChildByTag(root, "TransformationDictionary"), dictionary_.get()));
  }

  // Field name's value for input text s: its length, or -1 when missing.
  long Length(const std::string& name, const std::string& s) {
    NamedCaseRecord record;
    record.SetString("s", s);
    const ScoreValue* value =
        fields_->GetValuesForDeriedVars(&record, dictionary_.get())->GetValue(name);
    return value == nullptr ? -1 : static_cast<long>(value->ToString().size());
  }

  XercesSession session_;
  DictionaryReader reader_;
  std::unique_ptr<XmlDocument> document_;
  std::unique_ptr<ScoreDictionary> dictionary_;
  std::unique_ptr<TransformationDictionary> fields_;
};

TEST_F(DerivedTextLimit, DoublingChainsStopAtTheLimit) {
  // d0 is s (8 bytes); d{i} = concat(d{i-1}, d{i-1}) has 8 * 2^i bytes.
  std::string fields = Text("d0", Ref("s"));
  for (int i = 1; i <= 60; ++i) {
    const std::string prev = Ref("d" + std::to_string(i - 1));
    fields +=
        Text("d" + std::to_string(i), "<Apply function=\"concat\">" + prev + prev + "</Apply>");
  }
  // A default value stands in for a text that would be too long.
  fields += Text("capped", "<Apply function=\"concat\" defaultValue=\"too long\">" + Ref("d13") +
                               Ref("d0") + "</Apply>");
  Read(fields);
  EXPECT_EQ(Length("d13", "abcdefgh"), static_cast<long>(DerivedValue::kMaxTextBytes));
  EXPECT_EQ(Length("d14", "abcdefgh"), -1);
  EXPECT_EQ(Length("d60", "abcdefgh"), -1);
  EXPECT_EQ(Length("capped", "abcdefgh"), 8);  // "too long"
}

TEST_F(DerivedTextLimit, LongInputTextsAreMissingInDerivedFields) {
  Read(Text("copy", Ref("s")) +
       Text("upper", "<Apply function=\"uppercase\">" + Ref("s") + "</Apply>"));
  const std::string atLimit(DerivedValue::kMaxTextBytes, 'a');
  const std::string over = atLimit + "a";
  EXPECT_EQ(Length("copy", atLimit), static_cast<long>(atLimit.size()));
  EXPECT_EQ(Length("upper", atLimit), static_cast<long>(atLimit.size()));
  EXPECT_EQ(Length("copy", over), -1);
  EXPECT_EQ(Length("upper", over), -1);
  EXPECT_EQ(Length("upper", "mixed Case"), 10);
}

}  // namespace
