#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/CsvReader.h"
#include "cli/Options.h"
#include "cli/RowRecord.h"
#include "cli/TextFormat.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreModel.h"
#include "host/ScoreResult.h"

// How input columns feed the case record and which columns are written.
// Built once from the first model and the header; shared read-only by every
// scorer.
struct ColumnPlan {
  std::vector<std::string> header;         // input column names
  std::vector<std::string> recordNames;    // record layout: the model's dictionary variables
  std::vector<int> recordIndex;            // per input column: record position, or -1 (ignored)
  std::vector<bool> isString;              // per input column: the variable is a string field
  std::vector<int> keep;                   // input columns copied to the output, in order
  std::vector<std::string> naTokens;       // cell texts meaning "no value" besides ""
  std::vector<std::string> inputNames;     // the model's inputs (active variables)
  std::vector<std::string> missingInputs;  // model inputs with no column

  bool regression = false;                 // continuous target
  std::vector<std::string> categoryNames;  // one probability column each
  std::vector<std::string> extraNames;     // the model's further answer columns, last
  Options::Format format = Options::Format::kCsv;
  bool path = false;  // a last column with each row's decision path
};

// Maps the header to the model's dictionary (the first column of a name wins)
// and resolves --keep. Throws UsageError for a --keep column the input lacks
// and for kept columns whose names clash with each other or a score column.
ColumnPlan PlanColumns(const ScoreModel& model, const std::vector<std::string>& header,
                       const Options& options);

// The header row (CSV) or nothing (JSON lines), appended to out.
void AppendHeader(const ColumnPlan& plan, std::string& out);

// What scoring a chunk produced.
struct ChunkOutput {
  std::string text;       // output rows; capacity reused
  int64_t rows = 0;       // data rows scored
  int64_t lines = 0;      // input line breaks consumed
  bool failed = false;    // a malformed row stopped the chunk
  int64_t errorLine = 0;  // line of the fault, counted from the chunk start (0-based)
  std::string errorReason;

  void Reset() {
    text.clear();
    rows = lines = errorLine = 0;
    failed = false;
    errorReason.clear();
  }
};

// Scores rows with one model: points a reused record at each row's cells
// (a cell is looked at when the model reads it), calls GetScore with a reused
// result and formats the answer. The model is borrowed and must outlive the
// scorer. One scorer per thread.
class RowScorer {
 public:
  RowScorer(ScoreModel* model, const ColumnPlan& plan);
  ~RowScorer();
  RowScorer(const RowScorer&) = delete;
  RowScorer& operator=(const RowScorer&) = delete;

  // Scores every row of chunk (tokenizing it in place) into out, stopping at
  // the first malformed row.
  void ProcessChunk(CsvChunk* chunk, ChunkOutput* out);
  // Copies the decision path of data row `row` (from 1, counted over every
  // row this scorer scores) into *into when that row is scored.
  void CapturePath(int64_t row, DecisionPath* into) {
    captureRow_ = row;
    captured_ = into;
    tracePaths_ = true;
  }

 private:
  // Walks the row again for its decision path (kept for output or capture).
  void TracePath();
  void WriteRow(const VorqScore::VorqStatus& status, std::string& out);
  void WriteCsvRow(const VorqScore::VorqStatus& status, std::string& out);
  void WriteJsonRow(const VorqScore::VorqStatus& status, std::string& out);
  void CollectScores(const VorqScore::VorqStatus& status);
  void AppendPrediction(std::string& out, bool json);
  void AppendAdvice(std::string& out);
  void AppendExtras(std::string& out, bool json);
  std::string NodeId() const;  // "-1" when the result has none

  ScoreModel* model_;
  const ColumnPlan& plan_;
  RowRecord record_;
  ScoreResult* result_ = nullptr;              // owned; points into model_
  std::vector<const ScoreValue*> categories_;  // this model's target categories
  std::vector<std::string_view> cells_;
  std::size_t expectedCells_;

  // Per-row scratch, reused.
  const ScoreValue* prediction_ = nullptr;
  bool ok_ = false;
  std::vector<double> probabilities_;
  std::vector<unsigned char> hasProbability_;
  std::vector<std::string> jsonKeys_;  // escaped, with the colon
  textformat::DoubleFormatCache numbers_;
  bool tracePaths_;         // --path, or a path to capture
  DecisionPath path_;       // of the current row, when traced
  int64_t rowsTraced_ = 0;  // rows traced
  int64_t captureRow_ = 0;
  DecisionPath* captured_ = nullptr;

  // The result's faces, looked up once per result object.
  const ScoreResult* castResult_ = nullptr;
  ScoreResult::ResultType castResultType_ = ScoreResult::kClassification;
  const ScoreClsResult* clsView_ = nullptr;
  const ScoreRegResult* regView_ = nullptr;
  ScoreNodeStats* statsView_ = nullptr;
  // The last prediction value and its text when it is a string value.
  const ScoreValue* castPrediction_ = nullptr;
  const StringValue* predictionText_ = nullptr;
};
