// Fuzz target: derived fields. The bytes are the inside of a
// TransformationDictionary (or, with selector bit 0, a whole document) over a
// fixed data dictionary; the fields read are computed for generated cases on
// indexed and named records. Reading ends in a dictionary or a
// VeltraException; computing never throws.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "host/BaseDictionary.h"
#include "host/DerivedField.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreTranslator.h"
#include "host/TransformationDictionary.h"
#include "host/VeltraException.h"
#include "host/XmlDocument.h"

namespace {

const char kDataDictionary[] =
    "<DataDictionary>"
    "<DataField name=\"x\" optype=\"continuous\" dataType=\"double\">"
    "<Value value=\"-99\" property=\"missing\"/></DataField>"
    "<DataField name=\"y\" optype=\"continuous\" dataType=\"integer\"/>"
    "<DataField name=\"c\" optype=\"categorical\" dataType=\"string\">"
    "<Value value=\"a\"/><Value value=\"b\"/><Value value=\"NA\" property=\"missing\"/>"
    "</DataField>"
    "<DataField name=\"o\" optype=\"ordinal\" dataType=\"integer\">"
    "<Value value=\"1\"/><Value value=\"2\"/><Value value=\"3\"/></DataField>"
    "</DataDictionary>";

// Only the dictionary readers are needed.
class ReaderOnly : public PMMLTranslator {
 public:
  ReaderOnly() : PMMLTranslator("fuzz") {}
  using BaseTranslator::ParseFromTree;
  ScoreModel* ParseFromTree(xercesc::DOMDocument*, const std::string&) override { return nullptr; }
};

size_t TouchRecord(const ScoreCaseRecord* derived, const TransformationDictionary& fields) {
  size_t sum = 0;
  const std::vector<ScoreDictVar*>& vars = fields.GetVars();
  for (size_t i = 0; i < vars.size(); ++i) {
    const ScoreValue* byIndex = derived->GetValueAt(static_cast<int>(i));
    const ScoreValue* byName = derived->GetValue(vars[i]->GetName());
    if ((byIndex == nullptr) != (byName == nullptr)) fuzzsupport::Fail("the two views disagree");
    if (byIndex) sum += byIndex->ToString().size();
    vars[i]->IsValidCategory(byIndex);
    vars[i]->IsMissingValue(byIndex);
  }
  return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  fuzzsupport::InitXerces();
  const uint8_t selector = data[0];
  const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string xml = (selector & 1u) ? body
                                          : std::string("<PMML>") + kDataDictionary +
                                                "<TransformationDictionary>" + body +
                                                "</TransformationDictionary></PMML>";

  XmlDocument document;
  XmlParseError error;
  if (!document.ParseMemory(xml, &error)) return 0;
  xercesc::DOMElement* root = document.GetDocument()->getDocumentElement();
  if (root == nullptr) return 0;

  ReaderOnly translator;
  std::unique_ptr<ScoreDictionary> dictionary;
  std::unique_ptr<TransformationDictionary> fields;
  try {
    xercesc::DOMElement* dataDictionary = BaseTranslator::GetChildByTag(root, "DataDictionary");
    xercesc::DOMElement* transformations =
        BaseTranslator::GetChildByTag(root, "TransformationDictionary");
    if (dataDictionary == nullptr || transformations == nullptr) return 0;
    dictionary.reset(translator.ParseDictionary(dataDictionary));
    fields.reset(translator.HandleTransformationDictionary(transformations, dictionary.get()));
  } catch (const VeltraException&) {
    return 0;
  }
  if (!fields) return 0;
  fields->SetUpDerivedCaseRecord();

  // Positions of the data fields in the indexed record, as a host sets them.
  std::vector<std::string> names;
  std::vector<fuzzsupport::Candidates> candidates;
  for (ScoreDictVar* var : dictionary->GetVars()) {
    var->SetIndex(static_cast<int>(names.size()));
    names.push_back(var->GetName());
    candidates.push_back(fuzzsupport::CandidatesFor(var));
  }
  IndexedCaseRecord record(names);
  size_t touched = 0;
  for (unsigned k = 0; k < 10; ++k) {
    fuzzsupport::FillCase(record, candidates, k, selector >> 1);
    touched += TouchRecord(fields->GetValuesForDeriedVars(&record, dictionary.get()), *fields);
    if (k == 5) {
      NamedCaseRecord named;
      for (size_t i = 0; i < names.size(); ++i) {
        if (const ScoreValue* value = record.GetValueAt(static_cast<int>(i))) {
          named.Set(names[i], value->Clone());
        }
      }
      touched += TouchRecord(fields->GetValuesForDeriedVars(&named, dictionary.get()), *fields);
    }
  }
  return touched == static_cast<size_t>(-1) ? 1 : 0;
}
