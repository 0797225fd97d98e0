// Cost of computing derived fields for one case on an indexed record: what
// scoring pays per case when a model splits on derived fields.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "host/ScoreCaseRecord.h"
#include "host/ScoreTranslator.h"
#include "host/TransformationDictionary.h"
#include "host/XmlDocument.h"

namespace {

class BenchTranslator : public PMMLTranslator {
 public:
  BenchTranslator() : PMMLTranslator("bench") {}
  using BaseTranslator::ParseFromTree;
  ScoreModel* ParseFromTree(xercesc::DOMDocument*, const std::string&) override { return nullptr; }
};

// A data dictionary of x, y (doubles) and c (text), the derived fields given,
// and an indexed record x=3.7, y=1.2, c="red" with the indexes set.
class Fixture {
 public:
  explicit Fixture(const std::string& derivedFields) {
    const std::string xml =
        "<PMML><DataDictionary>"
        "<DataField name=\"x\" optype=\"continuous\" dataType=\"double\"/>"
        "<DataField name=\"y\" optype=\"continuous\" dataType=\"double\"/>"
        "<DataField name=\"c\" optype=\"categorical\" dataType=\"string\"/>"
        "</DataDictionary><TransformationDictionary>" +
        derivedFields + "</TransformationDictionary></PMML>";
    XmlParseError error;
    if (!document_.ParseMemory(xml, &error)) {
      std::fprintf(stderr, "bench document does not parse: %s\n", error.message.c_str());
      return;
    }
    xercesc::DOMElement* root = document_.GetDocument()->getDocumentElement();
    dictionary_.reset(
        translator_.ParseDictionary(BaseTranslator::GetChildByTag(root, "DataDictionary")));
    derived_.reset(translator_.HandleTransformationDictionary(
        BaseTranslator::GetChildByTag(root, "TransformationDictionary"), dictionary_.get()));
    record_.SetNumber(0, 3.7);
    record_.SetNumber(1, 1.2);
    record_.SetString(2, "red");
    for (const char* name : {"x", "y", "c"}) {
      dictionary_->GetVar(name)->SetIndex(record_.GetIndex(name));
    }
  }

  bool Ready() const { return derived_ != nullptr; }
  const ScoreCaseRecord* Compute() {
    return derived_->GetValuesForDeriedVars(&record_, dictionary_.get());
  }

 private:
  XercesSession session_;
  XmlDocument document_;
  BenchTranslator translator_;
  std::unique_ptr<ScoreDictionary> dictionary_;
  std::unique_ptr<TransformationDictionary> derived_;
  IndexedCaseRecord record_{{"x", "y", "c"}};
};

void Run(benchmark::State& state, const std::string& derivedFields) {
  Fixture fixture(derivedFields);
  if (!fixture.Ready()) {
    state.SkipWithError("document not read");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(fixture.Compute());
  }
}

void BM_NormContinuous(benchmark::State& state) {
  Run(state,
      "<DerivedField name=\"d\" optype=\"continuous\" dataType=\"double\">"
      "<NormContinuous field=\"x\"><LinearNorm orig=\"0\" norm=\"0\"/>"
      "<LinearNorm orig=\"2\" norm=\"0.5\"/><LinearNorm orig=\"10\" norm=\"1\"/>"
      "</NormContinuous></DerivedField>");
}
BENCHMARK(BM_NormContinuous);

// ((x * 2) + y) / 3 - 1
void BM_ApplyArithmetic(benchmark::State& state) {
  Run(state,
      "<DerivedField name=\"d\" optype=\"continuous\" dataType=\"double\">"
      "<Apply function=\"-\"><Apply function=\"/\"><Apply function=\"+\">"
      "<Apply function=\"*\"><FieldRef field=\"x\"/><Constant>2</Constant></Apply>"
      "<FieldRef field=\"y\"/></Apply><Constant>3</Constant></Apply>"
      "<Constant>1</Constant></Apply></DerivedField>");
}
BENCHMARK(BM_ApplyArithmetic);

// A text lookup into a small table giving a string field.
void BM_MapValuesText(benchmark::State& state) {
  Run(state,
      "<DerivedField name=\"d\" optype=\"categorical\" dataType=\"string\">"
      "<MapValues outputColumn=\"out\"><FieldColumnPair field=\"c\" column=\"in\"/><InlineTable>"
      "<row><in>blue</in><out>cold</out></row><row><in>green</in><out>mild</out></row>"
      "<row><in>red</in><out>warm</out></row></InlineTable></MapValues></DerivedField>");
}
BENCHMARK(BM_MapValuesText);

}  // namespace

BENCHMARK_MAIN();
