// Fuzz target: document bytes -> XML parse -> the PMML 4.4 engine's reader ->
// score generated cases, with and without their decision paths -> destroy.
// Every input must end in a model, a VeltraException or a parse error;
// anything else (another exception, a sanitizer report, a leak, a hang) is a
// finding, and so is a broken invariant:
//   - the read-only DOM and the parser's DOM give the same outcome;
//   - scoring a case twice gives the same answer (the model is not written);
//   - for a single tree, a case's path ends at the node that answered it.
//
// Input: one selector byte, then the document.
//   bit 0    also read through the parser's DOM and compare
//   bit 1    null handling on the model
//   bit 2    prediction only
//   bit 4-6  seed of the generated cases

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "host/DecisionPath.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreModel.h"
#include "host/ScoreResult.h"
#include "host/VeltraException.h"
#include "host/XmlDocument.h"
#include "pmml44/Pmml44Model.h"

namespace {

constexpr unsigned kCases = 12;

// The node a single tree's answer came from, or empty (also when several
// nodes' answers were combined, which reports node -1).
std::string AnsweringNode(const ScoreResult* result) {
  const auto* stats = dynamic_cast<const ScoreNodeStats*>(result);
  if (stats == nullptr || result->GetPrediction() == nullptr) return "";
  const std::string id = stats->GetNodeID();
  return id == "-1" ? "" : id;
}

std::string ScoreCases(ScoreModel* model, uint32_t seed) {
  std::ostringstream out;
  model->Display(out);
  const ScoreDictionary* dictionary = model->GetDictionary();
  if (dictionary == nullptr) return out.str();
  std::vector<std::string> names;
  std::vector<fuzzsupport::Candidates> candidates;
  for (const ScoreDictVar* var : dictionary->GetVars()) {
    names.push_back(var->GetName());
    candidates.push_back(fuzzsupport::CandidatesFor(var));
  }
  const bool singleTree = model->GetModelType() == ScoreModel::kSingleTree;
  IndexedCaseRecord record(names);
  ScoreResult* result = nullptr;
  DecisionPath path;
  for (unsigned k = 0; k < kCases; ++k) {
    fuzzsupport::FillCase(record, candidates, k, seed);
    VorqScore::VorqStatus status = model->GetScore(&record, result, false);
    const std::string first = fuzzsupport::DescribeCase(status, result);
    const std::string node = AnsweringNode(result);
    model->GetDecisionPath(&record, path, false);
    status = model->GetScore(&record, result, false);
    const std::string again = fuzzsupport::DescribeCase(status, result);
    if (again != first) {
      std::fprintf(stderr, "first:\n%s\nagain:\n%s\n", first.c_str(), again.c_str());
      fuzzsupport::Fail("scoring a case twice gave two answers");
    }
    if (singleTree && !node.empty() && path.trees.size() == 1 && !path.trees[0].empty() &&
        path.trees[0].back().nodeId != node) {
      std::fprintf(stderr, "answer from node %s, path ends at %s\n", node.c_str(),
                   path.trees[0].back().nodeId.c_str());
      fuzzsupport::Fail("the path does not end at the answering node");
    }
    out << first;
  }
  delete result;
  return out.str();
}

std::string Run(const std::string& bytes, XmlDocument::Form form, uint8_t selector) {
  XmlDocument document(form);
  XmlParseError error;
  if (!document.ParseMemory(bytes, &error)) return "parse error";
  try {
    std::unique_ptr<pmml44::Pmml44Translator> translator(new pmml44::Pmml44Translator());
    std::unique_ptr<ScoreModel> model(
        translator->ParseFromTree(document.GetDocument(), document.GetEncoding()));
    translator.reset();  // the model must stand on its own
    if (!model) return "no model";
    model->SetNullHandling((selector & 2u) != 0);
    model->SetPredictionOnly((selector & 4u) != 0);
    return ScoreCases(model.get(), (selector >> 4) & 7u);
  } catch (const VeltraException& e) {
    // Only the read-only DOM knows element lines: " (line N)" is left out.
    static const std::regex kLine(" \\(line [0-9]+\\)");
    return "error " + std::to_string(e.GetCode()) + ": " +
           std::regex_replace(e.GetMessage(), kLine, "");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  fuzzsupport::InitXerces();
  const uint8_t selector = data[0];
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string compact = Run(bytes, XmlDocument::Form::kReadOnly, selector);
  if (selector & 1u) {
    const std::string editable = Run(bytes, XmlDocument::Form::kEditable, selector);
    if (compact != editable) {
      std::fprintf(stderr, "read-only DOM:\n%s\nparser's DOM:\n%s\n", compact.c_str(),
                   editable.c_str());
      fuzzsupport::Fail("the two DOM forms gave different outcomes");
    }
  }
  return 0;
}
