#include "host/BatchScore.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <thread>

#include "host/ScoreCaseRecord.h"
#include "host/ScoreModel.h"
#include "host/ScoreResult.h"

int32_t BatchTexts::Code(Table table, const std::string& text) {
  auto found = codes_[table].find(text);
  if (found != codes_[table].end()) return found->second;
  return Add(table, text);
}

int32_t BatchTexts::Add(Table table, const std::string& text) {
  const auto code = static_cast<int32_t>(texts_[table].size());
  texts_[table].push_back(text);
  codes_[table].emplace(text, code);
  return code;
}

std::vector<const ScoreValue*> TargetCategories(const ScoreModel& model) {
  std::vector<const ScoreValue*> values;
  const ScoreDictVar* target = model.GetTargetVar();
  if (!target || !target->GetValueLabelSet()) return values;
  for (const ScoreValueLabel* label : target->GetValueLabelSet()->GetLabels()) {
    values.push_back(label->GetValue());
  }
  return values;
}

namespace {

constexpr size_t kMinRowsPerThread = 1024;
const std::string kNoNode = "-1";

bool IsRegression(const ScoreModel& model) {
  const ScoreDictVar* target = model.GetTargetVar();
  return target && target->GetMeasurementLevel() == ScoreDictVar::kContinuous;
}

// The texts a batch starts with: advice "" is code 0 and, for a
// classification, prediction j is category j (even when two print alike).
void SeedTexts(const std::vector<std::string>& categories, BatchTexts& texts) {
  texts.Code(BatchTexts::kAdvice, "");
  for (const std::string& category : categories) texts.Add(BatchTexts::kPrediction, category);
}

// Scores rows on one thread: the model's quick way first, then one reused
// record and result per row for what it leaves.
class BatchWorker {
 public:
  BatchWorker(ScoreModel& model, const BatchColumns& columns, BatchAnswers& answers,
              const std::vector<const ScoreValue*>& categories, bool regression)
      : model_(model),
        columns_(columns),
        answers_(answers),
        categories_(categories),
        regression_(regression),
        record_(columns.names) {}
  ~BatchWorker() { delete result_; }
  BatchWorker(const BatchWorker&) = delete;
  BatchWorker& operator=(const BatchWorker&) = delete;

  void ScoreRows(size_t begin, size_t end, BatchTexts& texts) {
    rest_.clear();
    if (!model_.ScoreColumns(columns_, begin, end, answers_, texts, rest_)) {
      for (size_t row = begin; row < end; ++row) ScoreRow(row, texts);
      return;
    }
    for (size_t row : rest_) ScoreRow(row, texts);
  }

  void ScoreRow(size_t row, BatchTexts& texts) {
    FillRecord(row);
    // Each row stands alone: a rule set that no rule covers leaves the node
    // identifier as it was, which must not be the previous row's rule.
    if (statsView_ != nullptr) statsView_->SetNodeID(kNoNode);
    const VorqScore::VorqStatus status = model_.GetScore(&record_, result_, false);
    WriteAnswers(row, status, texts);
  }

  void TraceRow(size_t row, DecisionPath& path) {
    FillRecord(row);
    model_.GetDecisionPath(&record_, path, false);
  }

 private:
  void FillRecord(size_t row) {
    const size_t count = columns_.columns.size();
    for (size_t i = 0; i < count; ++i) {
      const BatchColumns::Column& column = columns_.columns[i];
      const int position = static_cast<int>(i);
      if (column.kind == BatchColumns::Kind::kNumber) {
        const double x = column.numbers[row * column.stride];
        if (x != x) {
          record_.SetNull(position);
        } else {
          record_.SetNumber(position, x);
        }
      } else if (column.kind == BatchColumns::Kind::kText) {
        const int32_t code = column.codes[row];
        if (code < 0 || static_cast<size_t>(code) >= column.texts.size()) {
          record_.SetNull(position);
        } else {
          record_.SetString(position, column.texts[code]);
        }
      } else {
        record_.SetNull(position);
      }
    }
  }

  void WriteAnswers(size_t row, const VorqScore::VorqStatus& status, BatchTexts& texts) {
    if (result_ != castResult_ ||
        (result_ != nullptr && result_->GetScoreResultType() != castResultType_)) {
      // GetScore made a new result: look at its faces once.
      castResult_ = result_;
      if (result_ != nullptr) castResultType_ = result_->GetScoreResultType();
      clsView_ = dynamic_cast<const ScoreClsResult*>(result_);
      regView_ = dynamic_cast<const ScoreRegResult*>(result_);
      statsView_ = dynamic_cast<ScoreNodeStats*>(result_);
    }
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const bool ok = status.IsOK() && result_ != nullptr;
    const ScoreValue* prediction = ok ? result_->GetPrediction() : nullptr;
    if (regression_) {
      if (answers_.value) answers_.value[row] = prediction ? prediction->ToDouble() : nan;
      const double sd = ok && regView_ ? regView_->GetStdDev() : -1.0;
      if (answers_.stdDev) answers_.stdDev[row] = sd != -1.0 ? sd : nan;
    } else {
      if (answers_.prediction) answers_.prediction[row] = PredictionCode(prediction, texts);
      if (answers_.confidence) answers_.confidence[row] = ok ? result_->GetConfidence() : nan;
      WriteProbabilities(row, ok);
    }
    if (answers_.node) {
      const std::string id = statsView_ ? statsView_->GetNodeID() : kNoNode;
      answers_.node[row] = texts.Code(BatchTexts::kNode, id.empty() ? kNoNode : id);
    }
    if (answers_.advice) {
      advice_.clear();
      if (result_ != nullptr) {
        for (const ResultAdvice& advice : result_->GetAdvice()) {
          if (!advice_.empty()) advice_ += ';';
          advice_ += std::to_string(advice.GetCode());
          advice_ += ':';
          advice_ += advice.GetText();
        }
      }
      answers_.advice[row] = texts.Code(BatchTexts::kAdvice, advice_);
    }
    if (answers_.status) answers_.status[row] = status.GetCode();
  }

  // The category a prediction equals, else its own text; -1 for none.
  int32_t PredictionCode(const ScoreValue* prediction, BatchTexts& texts) {
    if (prediction == nullptr) return -1;
    if (prediction == lastPrediction_) return lastCode_;
    int32_t code = -1;
    for (size_t j = 0; j < categories_.size() && code < 0; ++j) {
      if (prediction->Equals(categories_[j])) code = static_cast<int32_t>(j);
    }
    if (code < 0) code = texts.Code(BatchTexts::kPrediction, prediction->ToString());
    lastPrediction_ = prediction;
    lastCode_ = code;
    return code;
  }

  // Each share goes to the first category it equals that has none yet.
  void WriteProbabilities(size_t row, bool ok) {
    const size_t k = std::min(categories_.size(), answers_.probabilities.size());
    for (size_t j = 0; j < k; ++j) {
      if (answers_.probabilities[j]) {
        answers_.probabilities[j][row] = std::numeric_limits<double>::quiet_NaN();
      }
    }
    if (!ok || clsView_ == nullptr) return;
    for (const auto& [value, share] : clsView_->GetAllValuePercent()) {
      if (value == nullptr) continue;
      for (size_t j = 0; j < k; ++j) {
        double* column = answers_.probabilities[j];
        if (column != nullptr && column[row] != column[row] && value->Equals(categories_[j])) {
          column[row] = share;
          break;
        }
      }
    }
  }

  ScoreModel& model_;
  const BatchColumns& columns_;
  BatchAnswers& answers_;
  const std::vector<const ScoreValue*>& categories_;
  const bool regression_;
  IndexedCaseRecord record_;
  ScoreResult* result_ = nullptr;  // owned
  std::vector<size_t> rest_;
  std::string advice_;
  const ScoreValue* lastPrediction_ = nullptr;
  int32_t lastCode_ = -1;
  const ScoreResult* castResult_ = nullptr;
  ScoreResult::ResultType castResultType_ = ScoreResult::kClassification;
  const ScoreClsResult* clsView_ = nullptr;
  const ScoreRegResult* regView_ = nullptr;
  ScoreNodeStats* statsView_ = nullptr;
};

// Rewrites the codes of rows [begin, end) from a thread's own texts to the
// shared ones. Seeded codes are the same in both.
void MergeCodes(int32_t* codes, size_t begin, size_t end, BatchTexts::Table table, size_t seeded,
                const BatchTexts& own, BatchTexts& texts) {
  if (codes == nullptr) return;
  const std::vector<std::string>& ownTexts = own.Get(table);
  std::vector<int32_t> map(ownTexts.size());
  for (size_t c = 0; c < ownTexts.size(); ++c) {
    map[c] = c < seeded ? static_cast<int32_t>(c) : texts.Code(table, ownTexts[c]);
  }
  for (size_t row = begin; row < end; ++row) {
    if (codes[row] >= 0) codes[row] = map[codes[row]];
  }
}

}  // namespace

void ScoreBatch(ScoreModel& model, const BatchColumns& columns, BatchAnswers& answers,
                BatchTexts& texts, int threads) {
  const std::vector<const ScoreValue*> categories = TargetCategories(model);
  const bool regression = IsRegression(model);
  std::vector<std::string> categoryTexts;
  if (!regression) {
    for (const ScoreValue* value : categories) categoryTexts.push_back(value->ToString());
  }
  SeedTexts(categoryTexts, texts);
  const size_t rows = columns.rows;
  if (rows == 0) return;

  BatchWorker first(model, columns, answers, categories, regression);
  first.ScoreRow(0, texts);  // prepares the model before threads share it
  const size_t most = std::max<size_t>(1, rows / kMinRowsPerThread);
  const size_t count = std::min<size_t>(std::max(threads, 1), most);
  if (count == 1) {
    first.ScoreRows(1, rows, texts);
    return;
  }

  // Contiguous ranges; the calling thread takes the first.
  std::vector<size_t> bounds(count + 1);
  for (size_t t = 0; t <= count; ++t) bounds[t] = 1 + (rows - 1) * t / count;
  std::vector<BatchTexts> own(count);
  std::vector<std::exception_ptr> errors(count);
  std::vector<std::thread> pool;
  pool.reserve(count - 1);
  for (size_t t = 1; t < count; ++t) {
    SeedTexts(categoryTexts, own[t]);
    pool.emplace_back([&, t] {
      try {
        BatchWorker worker(model, columns, answers, categories, regression);
        worker.ScoreRows(bounds[t], bounds[t + 1], own[t]);
      } catch (...) {
        errors[t] = std::current_exception();
      }
    });
  }
  try {
    first.ScoreRows(bounds[0], bounds[1], texts);
  } catch (...) {
    errors[0] = std::current_exception();
  }
  for (std::thread& thread : pool) thread.join();
  for (const std::exception_ptr& error : errors) {
    if (error) std::rethrow_exception(error);
  }
  for (size_t t = 1; t < count; ++t) {
    const size_t begin = bounds[t];
    const size_t end = bounds[t + 1];
    MergeCodes(answers.prediction, begin, end, BatchTexts::kPrediction, categoryTexts.size(),
               own[t], texts);
    MergeCodes(answers.node, begin, end, BatchTexts::kNode, 0, own[t], texts);
    MergeCodes(answers.advice, begin, end, BatchTexts::kAdvice, 1, own[t], texts);
  }
}

void TraceBatch(ScoreModel& model, const BatchColumns& columns, std::vector<DecisionPath>& paths) {
  paths.assign(columns.rows, DecisionPath());
  if (columns.rows == 0) return;
  const std::vector<const ScoreValue*> categories = TargetCategories(model);
  BatchAnswers none;
  BatchTexts texts;
  BatchWorker worker(model, columns, none, categories, IsRegression(model));
  worker.ScoreRow(0, texts);  // prepares the model as ScoreBatch does
  for (size_t row = 0; row < columns.rows; ++row) worker.TraceRow(row, paths[row]);
}
