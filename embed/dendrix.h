// Reading a tree model document and scoring records with it, for programs
// that embed dendrix. Link dendrix::plugin and dendrix::host (CMake package
// "dendrix", pkg-config "dendrix").
//
//   std::unique_ptr<ScoreModel> model = dendrix::ReadModelFile("model.pmml");
//   dendrix::Scorer scorer(*model);
//   scorer.Record().SetNumber(scorer.Position("petal_length"), 4.7);
//   if (scorer.Score().IsOK()) use(scorer.Result()->GetPrediction());
//
// Threads: a model scores one case at a time, so give each thread its own
// model (read the document once per thread) and its own Scorer; separate
// models are independent. Reads may be called from several threads (they
// take turns), but not while other code of the program starts or stops
// Xerces-C.
#pragma once

#include <memory>
#include <string>

#include "host/Codes.h"
#include "host/HostExport.h"
#include "host/PluginExport.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreModel.h"
#include "host/ScoreResult.h"
#include "host/VeltraException.h"

namespace dendrix {

// Reads the model document at path, or held in text, with a translator that
// makeTranslator makes (a plug-in's GiveMyTranslator). The caller owns the
// model; its names and values are in UTF-8. Throws VeltraException:
// ErrorCode::kMalformed for a file that cannot be read or is not well-formed
// XML (the message names the place), else the reader's code and message for a
// document it rejects.
DX_HOST_API std::unique_ptr<ScoreModel> ReadModelFile(const std::string& path,
                                                      GiveMyTranslatorFunction makeTranslator);
DX_HOST_API std::unique_ptr<ScoreModel> ReadModelText(const std::string& text,
                                                      GiveMyTranslatorFunction makeTranslator);

// The same with the linked tree plug-in.
inline std::unique_ptr<ScoreModel> ReadModelFile(const std::string& path) {
  return ReadModelFile(path, &GiveMyTranslator);
}
inline std::unique_ptr<ScoreModel> ReadModelText(const std::string& text) {
  return ReadModelText(text, &GiveMyTranslator);
}

// Scores records with one model: a record with one position per variable of
// the model's dictionary, and the result of the last Score, which the scorer
// owns. Borrows the model, which must outlive the scorer. One thread at a
// time.
class DX_HOST_API Scorer {
 public:
  explicit Scorer(ScoreModel& model);
  ~Scorer();
  Scorer(const Scorer&) = delete;
  Scorer& operator=(const Scorer&) = delete;

  // Position of a dictionary variable in Record(), -1 when the model has none
  // of that name.
  int Position(const std::string& name) const { return record_.GetIndex(name); }
  // The case to score; values stay until changed or cleared (ClearAll).
  IndexedCaseRecord& Record() { return record_; }

  // Scores Record(). A failed status (StatusCode) leaves no prediction.
  VorqScore::VorqStatus Score();
  // The last Score's result, valid until the next Score; null before the
  // first. Results of node-based models are also ScoreNodeStats.
  const ScoreResult* Result() const { return result_; }

 private:
  ScoreModel& model_;
  IndexedCaseRecord record_;
  ScoreResult* result_ = nullptr;
};

}  // namespace dendrix
