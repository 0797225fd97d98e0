// Fuzz target: document bytes -> XML parse -> the tree plug-in's reader ->
// score generated cases -> destroy. Every input must end in a model, a
// VeltraException or a parse error; anything else (another exception, a
// sanitizer report, a leak, a hang) is a finding.
//
// Input: one selector byte, then the document.
//   bit 0-1  route: 0 the parser's DOM; 1 the read-only compact DOM, and the
//            parser's DOM too, whose outcome (parse result, error or model and
//            scores) must be the same; 2 the parser's DOM after the
//            newer-convention upgrade; 3 the compact DOM after describing
//            newer conventions
//   bit 2    null handling on the model
//   bit 3    prediction only
//   bit 4-6  seed of the generated cases
//   bit 7    route 0 only: read through the translator's stream overload,
//            which parses the text itself

#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "host/PluginExport.h"
#include "host/PmmlUpgrade.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreModel.h"
#include "host/ScoreResult.h"
#include "host/ScoreTranslator.h"
#include "host/VeltraException.h"
#include "host/XmlDocument.h"

namespace {

constexpr unsigned kCases = 12;

// Scores generated cases on an indexed record and one on a named record;
// returns what came out, one line per case, after the model's display.
std::string ScoreModelCases(ScoreModel* model, uint32_t seed) {
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
  IndexedCaseRecord record(names);
  ScoreResult* result = nullptr;
  for (unsigned k = 0; k < kCases; ++k) {
    fuzzsupport::FillCase(record, candidates, k, seed);
    const VorqScore::VorqStatus status = model->GetScore(&record, result, false);
    out << fuzzsupport::DescribeCase(status, result);  // after the call: it may replace the result
  }
  // The last case again by name, which takes the lookup path.
  NamedCaseRecord named;
  for (size_t i = 0; i < names.size(); ++i) {
    if (const ScoreValue* value = record.GetValueAt(static_cast<int>(i))) {
      named.Set(names[i], value->Clone());
    }
  }
  const VorqScore::VorqStatus status = model->GetScore(&named, result, false);
  out << fuzzsupport::DescribeCase(status, result);
  delete result;
  return out.str();
}

// Reads the text through the translator's own parsing and scores.
void RunStream(const std::string& bytes, uint8_t selector) {
  try {
    std::unique_ptr<ScoreTranslator> translator(GiveMyTranslator());
    std::istringstream in(bytes);
    std::unique_ptr<ScoreModel> model(translator->ParseFromTree(in, ""));
    translator.reset();
    if (model) ScoreModelCases(model.get(), (selector >> 4) & 7u);
  } catch (const VeltraException&) {
    // A parse error or a refused document.
  }
}

// Parses, reads and scores; the outcome as text.
std::string Run(const std::string& bytes, XmlDocument::Form form, unsigned route,
                uint8_t selector) {
  XmlDocument document(form);
  XmlParseError error;
  if (!document.ParseMemory(bytes, &error)) return "parse error";
  try {
    if (route == 2) {
      UpgradePmmlDocument(document.GetDocument());
    } else if (route == 3) {
      DescribeNewerPmmlConventions(document.GetDocument());
    }
    std::unique_ptr<ScoreTranslator> translator(GiveMyTranslator());
    std::unique_ptr<ScoreModel> model(
        translator->ParseFromTree(document.GetDocument(), document.GetEncoding()));
    translator.reset();  // the model must stand on its own
    if (!model) return "no model";
    model->SetNullHandling((selector & 4u) != 0);
    model->SetPredictionOnly((selector & 8u) != 0);
    return ScoreModelCases(model.get(), (selector >> 4) & 7u);
  } catch (const VeltraException& e) {
    // A refused document: the expected way out.
    return "error " + std::to_string(e.GetCode()) + ": " + e.GetMessage();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  fuzzsupport::InitXerces();
  const uint8_t selector = data[0];
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const unsigned route = selector & 3u;
  switch (route) {
    case 0:
      if (selector & 0x80u) {
        RunStream(bytes, selector);
        break;
      }
      Run(bytes, XmlDocument::Form::kEditable, route, selector);
      break;
    case 2:
      Run(bytes, XmlDocument::Form::kEditable, route, selector);
      break;
    case 1: {
      const std::string compact = Run(bytes, XmlDocument::Form::kReadOnly, route, selector);
      const std::string editable = Run(bytes, XmlDocument::Form::kEditable, route, selector);
      if (compact != editable) {
        std::fprintf(stderr, "read-only DOM:\n%s\nparser's DOM:\n%s\n", compact.c_str(),
                     editable.c_str());
        fuzzsupport::Fail("the two DOM forms gave different outcomes");
      }
      break;
    }
    default:
      Run(bytes, XmlDocument::Form::kReadOnly, route, selector);
      break;
  }
  return 0;
}
