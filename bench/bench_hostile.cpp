// Hostile inputs that a careless reader takes quadratic or exponential time
// over: entity bombs, deep nesting, long lists, many target categories and
// derived texts that double at each link. Each should stay in milliseconds;
// the tests check the outcome, these show the time.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "host/DerivedField.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreModel.h"
#include "host/ScoreResult.h"
#include "host/ScoreTranslator.h"
#include "host/TransformationDictionary.h"
#include "host/VeltraException.h"
#include "host/XmlDocument.h"
#include "pmml/DendrixPMMLTranslator.h"
#include "tests/plugin/hostile_documents.h"

namespace {

using namespace hostile;

// Parses and reads xml; stops the benchmark unless the outcome is the one
// expected (a model, or a refusal with refusalCode).
void ReadDocument(const std::string& xml, int refusalCode, benchmark::State& state) {
  XmlDocument document;
  XmlParseError error;
  if (!document.ParseMemory(xml, &error)) {
    state.SkipWithError(("not well-formed: " + error.message).c_str());
    return;
  }
  DendrixPMMLTranslator translator;
  try {
    std::unique_ptr<ScoreModel> model(
        translator.ParseFromTree(document.GetDocument(), document.GetEncoding()));
    if (refusalCode != 0) state.SkipWithError("accepted a document it should refuse");
  } catch (const VeltraException& e) {
    if (e.GetCode() != refusalCode) state.SkipWithError(e.GetMessage().c_str());
  }
}

void BM_EntityExpansionBomb(benchmark::State& state) {
  XercesSession session;
  std::string xml = "<!DOCTYPE r [<!ENTITY e0 \"lol\">";
  for (int i = 1; i <= 10; ++i) {
    xml += "<!ENTITY e" + std::to_string(i) + " \"" +
           Repeat("&e" + std::to_string(i - 1) + ";", 10) + "\">";
  }
  xml += "]><r>&e10;</r>";
  for (auto _ : state) {
    XmlDocument document;
    XmlParseError error;
    if (document.ParseMemory(xml, &error)) state.SkipWithError("the bomb was expanded");
  }
}
BENCHMARK(BM_EntityExpansionBomb)->Unit(benchmark::kMillisecond);

void BM_NodeNesting100000Refused(benchmark::State& state) {
  XercesSession session;
  const std::string xml =
      Document(Repeat("<Node score=\"c0\"><True/>", 100000) + Repeat("</Node>", 100000));
  for (auto _ : state) ReadDocument(xml, 5, state);
}
BENCHMARK(BM_NodeNesting100000Refused)->Unit(benchmark::kMillisecond);

void BM_TwentyThousandTargetCategories(benchmark::State& state) {
  XercesSession session;
  const std::string xml = Document(kTwoLeaves, Values(20000));
  for (auto _ : state) ReadDocument(xml, 0, state);
}
BENCHMARK(BM_TwentyThousandTargetCategories)->Unit(benchmark::kMillisecond);

void BM_SetPredicateOf40000Elements(benchmark::State& state) {
  XercesSession session;
  const int n = 40000;
  std::string elements;
  for (int i = 0; i < n; ++i) elements += "c" + std::to_string(i) + " ";
  const std::string xml = Document(
      "<Node score=\"c1\"><SimpleSetPredicate field=\"t\" booleanOperator=\"isNotIn\"><Array n=\"" +
          std::to_string(n) + "\" type=\"string\">" + elements +
          "</Array></SimpleSetPredicate></Node>" + kSecondLeaf,
      Values(n + 1));
  for (auto _ : state) ReadDocument(xml, 0, state);
}
BENCHMARK(BM_SetPredicateOf40000Elements)->Unit(benchmark::kMillisecond);

class DictionaryReader : public PMMLTranslator {
 public:
  DictionaryReader() : PMMLTranslator("bench") {}
  ScoreModel* ParseFromTree(xercesc::DOMDocument*, const std::string&) override { return nullptr; }
};

// Sixty derived fields, each the concatenation of the previous one with
// itself: the text stops at its size limit instead of doubling on.
void BM_DerivedTextDoublingChain(benchmark::State& state) {
  XercesSession session;
  auto text = [](const std::string& name, const std::string& expression) {
    return "<DerivedField name=\"" + name + "\" optype=\"categorical\" dataType=\"string\">" +
           expression + "</DerivedField>";
  };
  auto ref = [](const std::string& field) { return "<FieldRef field=\"" + field + "\"/>"; };
  std::string fields = text("d0", ref("s"));
  for (int i = 1; i <= 60; ++i) {
    const std::string prev = ref("d" + std::to_string(i - 1));
    fields +=
        text("d" + std::to_string(i), "<Apply function=\"concat\">" + prev + prev + "</Apply>");
  }
  XmlDocument document;
  XmlParseError error;
  if (!document.ParseMemory("<PMML><DataDictionary><DataField name=\"s\" optype=\"categorical\" "
                            "dataType=\"string\"/></DataDictionary><TransformationDictionary>" +
                                fields + "</TransformationDictionary></PMML>",
                            &error)) {
    state.SkipWithError(error.message.c_str());
    return;
  }
  DictionaryReader reader;
  xercesc::DOMElement* root = document.GetDocument()->getDocumentElement();
  std::unique_ptr<ScoreDictionary> dictionary(
      reader.ParseDictionary(BaseTranslator::GetChildByTag(root, "DataDictionary")));
  std::unique_ptr<TransformationDictionary> derived(reader.HandleTransformationDictionary(
      BaseTranslator::GetChildByTag(root, "TransformationDictionary"), dictionary.get()));
  NamedCaseRecord record;
  record.SetString("s", "abcdefgh");
  for (auto _ : state) {
    const ScoreValue* value =
        derived->GetValuesForDeriedVars(&record, dictionary.get())->GetValue("d60");
    if (value != nullptr) state.SkipWithError("a text past the limit was built");
  }
}
BENCHMARK(BM_DerivedTextDoublingChain)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
