#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/DecisionPath.h"
#include "host/HostExport.h"

class ScoreModel;
class ScoreValue;

// The category values of the model's target, in category order (empty when
// the target has no value labels).
DX_HOST_API std::vector<const ScoreValue*> TargetCategories(const ScoreModel& model);

// Cases given as typed columns, one per record position: the record layout is
// `names`, which callers take from the model's dictionary so that one model
// always sees one layout.
struct BatchColumns {
  enum class Kind { kAbsent, kNumber, kText };
  struct Column {
    Kind kind = Kind::kAbsent;        // absent: no value in any row
    const double* numbers = nullptr;  // kNumber: per row, NaN for no value
    size_t stride = 1;                // kNumber: row i is numbers[i * stride]
    const int32_t* codes = nullptr;   // kText: per row, index into texts, -1 for no value
    std::vector<std::string> texts;   // kText: the distinct values
  };
  std::vector<std::string> names;
  std::vector<Column> columns;  // one per name
  size_t rows = 0;
};

// Texts the coded answers refer to, each entry once. Predictions of a
// classification start with the target's categories, in category order.
class DX_HOST_API BatchTexts {
 public:
  enum Table { kPrediction = 0, kNode = 1, kAdvice = 2 };
  // The code of text in table, added when new.
  int32_t Code(Table table, const std::string& text);
  // Adds text with a code of its own even when it is there already (Code
  // then keeps giving the first).
  int32_t Add(Table table, const std::string& text);
  const std::vector<std::string>& Get(Table table) const { return texts_[table]; }

 private:
  std::vector<std::string> texts_[3];
  std::unordered_map<std::string, int32_t> codes_[3];
};

// Where the answers go: arrays of `rows` entries owned by the caller. Null
// arrays are not written. Numbers without a value are NaN.
struct BatchAnswers {
  int32_t* prediction = nullptr;       // classification: prediction code, -1 for none
  double* value = nullptr;             // regression: the prediction
  double* confidence = nullptr;        // classification
  double* stdDev = nullptr;            // regression
  int32_t* node = nullptr;             // node code ("-1" when the result names none)
  std::vector<double*> probabilities;  // classification: one per target category
  int32_t* advice = nullptr;           // advice code ("" when none)
  int32_t* status = nullptr;           // the scoring status code
};

// Scores every row of columns with model into answers on `threads` threads
// (at least one, at most one per 1024 rows): one record and one result per
// thread, the model shared. The first row is scored on the calling thread
// first, so that the model is prepared before threads share it. Answers are
// those of GetScore on an indexed record holding the row, as the batch
// scorer writes them. Throws only std::bad_alloc or std::system_error.
DX_HOST_API void ScoreBatch(ScoreModel& model, const BatchColumns& columns, BatchAnswers& answers,
                            BatchTexts& texts, int threads);

// The decision path of every row of columns (see ScoreModel::GetDecisionPath),
// traced on the records ScoreBatch scores: paths gets one entry per row.
DX_HOST_API void TraceBatch(ScoreModel& model, const BatchColumns& columns,
                            std::vector<DecisionPath>& paths);
