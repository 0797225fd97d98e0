// Embedding dendrix in a C++ program: read a model document, score a few
// cases built by hand and print the answers.
//
//   example_embed [MODEL]      (default: examples/iris/model.pmml)
//
// The plug-in is linked directly here; a host that loads it at run time gets
// the same GiveMyTranslator through dlopen/dlsym (see cli/ModelLoader.cpp).

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "host/ScoreCaseRecord.h"
#include "host/ScoreModel.h"
#include "host/ScoreResult.h"
#include "host/VeltraException.h"
#include "host/XmlDocument.h"
#include "plugin/DendrixPMMLTranslator.h"

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : "examples/iris/model.pmml";

  // Xerces-C must stay initialised while documents are parsed and read.
  XercesSession xerces;
  XmlDocument document(XmlDocument::Form::kReadOnly);  // read only: built faster
  XmlParseError parseError;
  if (!document.ParseFile(path, &parseError)) {
    std::cerr << path << ":" << parseError.line << ":" << parseError.column << ": "
              << parseError.message << "\n";
    return 2;
  }

  // One translator reads one document; the model it returns is ours.
  std::unique_ptr<ScoreModel> model;
  try {
    std::unique_ptr<ScoreTranslator> translator(GiveMyTranslator());
    model.reset(translator->ParseFromTree(document.GetDocument(), document.GetEncoding()));
  } catch (const VeltraException& e) {
    std::cerr << path << ": error " << e.GetCode() << ": " << e.GetMessage() << "\n";
    return 2;
  }

  // A record with one position per dictionary variable. The model maps its
  // variables to these positions on the first record it sees.
  std::vector<std::string> names;
  for (const ScoreDictVar* var : model->GetDictionary()->GetVars()) names.push_back(var->GetName());
  IndexedCaseRecord record(names);
  const int length = record.GetIndex("petal_length");
  const int width = record.GetIndex("petal_width");
  if (length < 0 || width < 0) {
    std::cerr << path << ": expected the fields petal_length and petal_width\n";
    return 2;
  }

  struct Flower {
    const char* name;
    double petalLength;
    double petalWidth;  // negative: not measured
  };
  const Flower flowers[] = {
      {"small", 1.4, 0.2}, {"medium", 4.7, 1.4}, {"large", 5.6, 2.4}, {"no width", 4.9, -1}};

  // The result is made by the first GetScore and reused by the next ones; it
  // points into the model, so it is deleted before the model.
  ScoreResult* result = nullptr;
  for (const Flower& flower : flowers) {
    record.ClearAll();
    record.SetNumber(length, flower.petalLength);
    if (flower.petalWidth >= 0) record.SetNumber(width, flower.petalWidth);

    VorqScore::VorqStatus status = model->GetScore(&record, result, false);
    std::cout << flower.name << ": ";
    if (!status.IsOK() || !result->GetPrediction()) {
      std::cout << "no prediction (status " << status.GetCode() << ")\n";
      continue;
    }
    std::cout << result->GetPrediction()->ToString() << ", confidence "
              << NumericValue::FormatDouble(result->GetConfidence());
    if (const auto* node = dynamic_cast<const ScoreNodeStats*>(result)) {
      std::cout << ", node " << node->GetNodeID();
    }
    for (const ResultAdvice& advice : result->GetAdvice()) {
      std::cout << ", advice " << advice.GetCode() << " (" << advice.GetText() << ")";
    }
    std::cout << "\n";
  }
  delete result;
  return 0;
}
