// Embedding dendrix in a C++ program: read a model document, score a few
// cases built by hand and print the answers. Only the embedding header is
// needed; link dendrix::plugin and dendrix::host (see examples/embed/ for a
// CMake project that uses the installed package).
//
//   example_embed [MODEL]      (default: examples/iris/model.pmml)

#include <iostream>
#include <memory>
#include <string>

#include "dendrix.h"

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : "examples/iris/model.pmml";

  std::unique_ptr<ScoreModel> model;
  try {
    model = dendrix::ReadModelFile(path);
  } catch (const VeltraException& e) {
    std::cerr << path << ": error " << e.GetCode() << ": " << e.GetMessage() << "\n";
    return 2;
  }

  // The scorer's record has one position per dictionary variable.
  dendrix::Scorer scorer(*model);
  const int length = scorer.Position("petal_length");
  const int width = scorer.Position("petal_width");
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

  for (const Flower& flower : flowers) {
    IndexedCaseRecord& record = scorer.Record();
    record.ClearAll();
    record.SetNumber(length, flower.petalLength);
    if (flower.petalWidth >= 0) record.SetNumber(width, flower.petalWidth);

    const VorqScore::VorqStatus status = scorer.Score();
    const ScoreResult* result = scorer.Result();
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
  return 0;
}
