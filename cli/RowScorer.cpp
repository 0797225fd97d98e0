#include "cli/RowScorer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "cli/CliError.h"
#include "cli/PathFormat.h"
#include "cli/TextFormat.h"
#include "host/BatchScore.h"
#include "host/ScoreResult.h"

namespace {

// The score column names, in output order.
std::vector<std::string> ScoreColumnNames(const ColumnPlan& plan) {
  std::vector<std::string> names = {"prediction"};
  if (plan.regression) {
    names.push_back("std_dev");
    names.push_back("node_id");
  } else {
    names.push_back("confidence");
    names.push_back("node_id");
    for (const std::string& category : plan.categoryNames) {
      names.push_back("probability(" + category + ")");
    }
  }
  names.push_back("advice");
  names.push_back("status");
  names.insert(names.end(), plan.extraNames.begin(), plan.extraNames.end());
  if (plan.path) names.push_back("path");
  return names;
}

}  // namespace

ColumnPlan PlanColumns(const ScoreModel& model, const std::vector<std::string>& header,
                       const Options& options) {
  ColumnPlan plan;
  plan.header = header;
  plan.naTokens = options.naTokens;
  plan.format = options.format;
  plan.path = options.path;

  const ScoreDictionary* dictionary = model.GetDictionary();
  std::unordered_map<std::string, int> recordPosition;
  if (dictionary) {
    for (const ScoreDictVar* var : dictionary->GetVars()) {
      recordPosition.emplace(var->GetName(), static_cast<int>(plan.recordNames.size()));
      plan.recordNames.push_back(var->GetName());
    }
  }

  std::vector<bool> positionTaken(plan.recordNames.size(), false);
  std::unordered_map<std::string, int> columnOf;
  for (size_t c = 0; c < header.size(); ++c) {
    columnOf.emplace(header[c], static_cast<int>(c));
    int position = -1;
    bool isString = false;
    auto it = recordPosition.find(header[c]);
    if (it != recordPosition.end() && !positionTaken[it->second]) {
      position = it->second;
      positionTaken[position] = true;
      isString = dictionary->GetVar(header[c])->GetVariableType() == ScoreDictVar::kString;
    }
    plan.recordIndex.push_back(position);
    plan.isString.push_back(isString);
  }

  if (options.keepAll) {
    for (size_t c = 0; c < header.size(); ++c) plan.keep.push_back(static_cast<int>(c));
  } else {
    for (const std::string& name : options.keep) {
      auto it = columnOf.find(name);
      if (it == columnOf.end()) throw UsageError("--keep: the input has no column '" + name + "'");
      plan.keep.push_back(it->second);
    }
  }

  std::unique_ptr<ScoreDictionary> inputs(model.GetVarsOfRole(ScoreModel::kRoleInput));
  if (inputs) {
    for (const ScoreDictVar* var : inputs->GetVars()) {
      plan.inputNames.push_back(var->GetName());
      if (!columnOf.count(var->GetName())) plan.missingInputs.push_back(var->GetName());
    }
  }

  const ScoreDictVar* target = model.GetTargetVar();
  plan.regression = target && target->GetMeasurementLevel() == ScoreDictVar::kContinuous;
  if (!plan.regression) {
    for (const ScoreValue* value : TargetCategories(model)) {
      plan.categoryNames.push_back(value->ToString());
    }
  }
  // The model's further columns come last; one named like a standard column
  // is written as output(<name>).
  const std::vector<std::string> standard = ScoreColumnNames(plan);
  for (const std::string& name : model.GetExtraOutputNames()) {
    const bool taken = std::find(standard.begin(), standard.end(), name) != standard.end();
    plan.extraNames.push_back(taken ? "output(" + name + ")" : name);
  }

  // Every output column needs a name of its own, or a JSON line would hold
  // one key twice and a CSV reader would lose a column.
  std::unordered_map<std::string, int> outputNames;
  for (const std::string& name : ScoreColumnNames(plan)) outputNames.emplace(name, -1);
  for (int column : plan.keep) {
    auto [it, added] = outputNames.emplace(header[column], column);
    if (added) continue;
    const std::string quoted = "'" + textformat::MessageText(header[column], 200) + "'";
    if (it->second == column) throw UsageError("--keep: column " + quoted + " is listed twice");
    if (it->second < 0) {
      throw UsageError("--keep: input column " + quoted +
                       " has the name of a score column; keep the other columns by name");
    }
    throw UsageError("--keep: the input has two columns named " + quoted + " (columns " +
                     std::to_string(it->second + 1) + " and " + std::to_string(column + 1) +
                     "); keep only one of them");
  }
  return plan;
}

void AppendHeader(const ColumnPlan& plan, std::string& out) {
  if (plan.format != Options::Format::kCsv) return;
  bool first = true;
  for (int column : plan.keep) {
    if (!first) out += ',';
    first = false;
    textformat::AppendCsvCell(out, plan.header[column]);
  }
  for (const std::string& name : ScoreColumnNames(plan)) {
    if (!first) out += ',';
    first = false;
    textformat::AppendCsvCell(out, name);
  }
  out += '\n';
}

// --- RowScorer ---------------------------------------------------------------

namespace {

// The node identifier of a result that names none.
const std::string kNoNode = "-1";

// Per record position, the input column feeding it (the first of a name).
std::vector<RowRecord::Source> RecordSources(const ColumnPlan& plan) {
  std::vector<RowRecord::Source> sources(plan.recordNames.size());
  for (size_t c = 0; c < plan.recordIndex.size(); ++c) {
    if (plan.recordIndex[c] >= 0) {
      sources[plan.recordIndex[c]] = RowRecord::Source{static_cast<int>(c), plan.isString[c]};
    }
  }
  return sources;
}

}  // namespace

RowScorer::RowScorer(ScoreModel* model, const ColumnPlan& plan)
    : model_(model),
      plan_(plan),
      record_(plan.recordNames, RecordSources(plan), plan.naTokens),
      categories_(TargetCategories(*model)),
      expectedCells_(plan.header.size()),
      tracePaths_(plan.path) {
  probabilities_.resize(categories_.size());
  hasProbability_.resize(categories_.size());
  if (plan.format == Options::Format::kJsonl) {
    for (int column : plan.keep) {
      std::string key;
      textformat::AppendJsonString(key, plan.header[column]);
      jsonKeys_.push_back(key + ":");
    }
    for (const std::string& name : ScoreColumnNames(plan)) {
      std::string key;
      textformat::AppendJsonString(key, name);
      jsonKeys_.push_back(key + ":");
    }
  }
}

RowScorer::~RowScorer() { delete result_; }

void RowScorer::ProcessChunk(CsvChunk* chunk, ChunkOutput* out) {
  out->Reset();
  // Cells may be read up to the end of the chunk's storage, past the rows.
  const char* readableEnd = chunk->bytes.data() + chunk->bytes.size();
  // A NUL byte means binary data: the rows before its line are scored, then
  // the chunk fails there.
  const char* nul = static_cast<const char*>(std::memchr(chunk->bytes.data(), 0, chunk->size));
  int64_t nulLine = 0;
  if (nul != nullptr) {
    const char* lineStart = chunk->bytes.data();
    for (const char* p = lineStart; p < nul; ++p) {
      if (*p == '\n') {
        ++nulLine;
        lineStart = p + 1;
      }
    }
    chunk->size = static_cast<size_t>(lineStart - chunk->bytes.data());
  }
  CsvTokenizer tokenizer(chunk);
  while (true) {
    CsvTokenizer::Status status = tokenizer.Next(&cells_);
    if (status == CsvTokenizer::Status::kEnd) break;
    if (status != CsvTokenizer::Status::kRow) {
      out->failed = true;
      out->errorLine = tokenizer.ErrorLine();
      out->errorReason = CsvTokenizer::Describe(status);
      break;
    }
    if (cells_.size() != expectedCells_) {
      out->failed = true;
      out->errorLine = tokenizer.RowLine();
      out->errorReason = "row has " + std::to_string(cells_.size()) + " cell" +
                         (cells_.size() == 1 ? "" : "s") + ", the header has " +
                         std::to_string(expectedCells_);
      break;
    }
    record_.SetRow(cells_.data(), readableEnd);
    // Each row stands alone: a rule set that no rule covers leaves the node
    // identifier as it was, which must not be the previous row's rule.
    if (statsView_ != nullptr) statsView_->SetNodeID(kNoNode);
    VorqScore::VorqStatus scoreStatus = model_->GetScore(&record_, result_, false);
    if (tracePaths_) TracePath();
    WriteRow(scoreStatus, out->text);
    ++out->rows;
  }
  out->lines = tokenizer.LinesConsumed();
  // An earlier fault stands, unless it is the quote that the cut left open.
  if (nul != nullptr &&
      (!out->failed ||
       out->errorReason == CsvTokenizer::Describe(CsvTokenizer::Status::kUnterminatedQuote))) {
    out->failed = true;
    out->errorLine = nulLine;
    out->errorReason = kCsvBinaryInput;
  }
}

void RowScorer::TracePath() {
  model_->GetDecisionPath(&record_, path_, false);
  if (++rowsTraced_ == captureRow_) *captured_ = path_;
}

void RowScorer::CollectScores(const VorqScore::VorqStatus& status) {
  if (result_ != castResult_ || (result_ && result_->GetScoreResultType() != castResultType_)) {
    // GetScore made a new result: look at its faces once.
    castResult_ = result_;
    if (result_) castResultType_ = result_->GetScoreResultType();
    clsView_ = dynamic_cast<const ScoreClsResult*>(result_);
    regView_ = dynamic_cast<const ScoreRegResult*>(result_);
    statsView_ = dynamic_cast<ScoreNodeStats*>(result_);
  }
  ok_ = status.IsOK() && result_ != nullptr;
  prediction_ = ok_ ? result_->GetPrediction() : nullptr;
  if (plan_.regression || categories_.empty()) return;
  for (size_t j = 0; j < categories_.size(); ++j) hasProbability_[j] = false;
  if (!ok_) return;
  if (!clsView_) return;
  for (const auto& [value, share] : clsView_->GetAllValuePercent()) {
    if (!value) continue;
    for (size_t j = 0; j < categories_.size(); ++j) {
      if (!hasProbability_[j] && value->Equals(categories_[j])) {
        hasProbability_[j] = true;
        probabilities_[j] = share;
        break;
      }
    }
  }
}

void RowScorer::AppendPrediction(std::string& out, bool json) {
  if (!prediction_) {
    if (json) out += "null";
    return;
  }
  if (prediction_ != castPrediction_) {
    castPrediction_ = prediction_;
    predictionText_ = prediction_->GetTypeTag() == ScoreValue::kStringTag
                          ? static_cast<const StringValue*>(prediction_)
                          : nullptr;
  }
  if (predictionText_) {
    if (json) {
      textformat::AppendJsonString(out, predictionText_->GetText());
    } else {
      textformat::AppendCsvCell(out, predictionText_->GetText());
    }
    return;
  }
  const double number = prediction_->ToDouble();
  if (json && plan_.regression && !std::isfinite(number)) {
    out += "null";  // JSON has no infinity
    return;
  }
  if (json && !plan_.regression) out += '"';
  numbers_.Append(out, number);
  if (json && !plan_.regression) out += '"';
}

void RowScorer::AppendAdvice(std::string& out) {
  if (!result_) return;
  bool first = true;
  for (const ResultAdvice& advice : result_->GetAdvice()) {
    if (!first) out += ';';
    first = false;
    textformat::AppendInt(out, advice.GetCode());
    out += ':';
    out += advice.GetText();
  }
}

std::string RowScorer::NodeId() const {
  if (!statsView_) return kNoNode;
  std::string id = statsView_->GetNodeID();
  return id.empty() ? kNoNode : id;
}

void RowScorer::WriteRow(const VorqScore::VorqStatus& status, std::string& out) {
  CollectScores(status);
  if (plan_.format == Options::Format::kCsv) {
    WriteCsvRow(status, out);
  } else {
    WriteJsonRow(status, out);
  }
}

void RowScorer::WriteCsvRow(const VorqScore::VorqStatus& status, std::string& out) {
  for (int column : plan_.keep) {
    textformat::AppendCsvCell(out, cells_[column]);
    out += ',';
  }
  AppendPrediction(out, false);
  out += ',';
  if (plan_.regression) {
    if (ok_ && regView_ && regView_->GetStdDev() != -1.0) {
      numbers_.Append(out, regView_->GetStdDev());
    }
    out += ',';
    textformat::AppendCsvCell(out, NodeId());
  } else {
    if (ok_) numbers_.Append(out, result_->GetConfidence());
    out += ',';
    textformat::AppendCsvCell(out, NodeId());
    for (size_t j = 0; j < categories_.size(); ++j) {
      out += ',';
      if (hasProbability_[j]) numbers_.Append(out, probabilities_[j]);
    }
  }
  out += ',';
  size_t adviceStart = out.size();
  AppendAdvice(out);
  if (out.size() > adviceStart) {
    // Quote the advice only when its text needs it.
    std::string advice = out.substr(adviceStart);
    out.resize(adviceStart);
    textformat::AppendCsvCell(out, advice);
  }
  out += ',';
  textformat::AppendInt(out, status.GetCode());
  AppendExtras(out, false);
  if (plan_.path) {
    std::string text;
    AppendPathText(text, path_);
    out += ',';
    textformat::AppendCsvCell(out, text);
  }
  out += '\n';
}

void RowScorer::AppendExtras(std::string& out, bool json) {
  for (size_t i = 0; i < plan_.extraNames.size(); ++i) {
    out += ',';
    // The extra columns' keys come just before the path's, which is last.
    const size_t keyIndex = jsonKeys_.size() - plan_.extraNames.size() - (plan_.path ? 1 : 0) + i;
    if (json) out += jsonKeys_[keyIndex];
    const ScoreValue* value = ok_ ? model_->GetExtraOutput(result_, static_cast<int>(i)) : nullptr;
    if (value == nullptr) {
      if (json) out += "null";
    } else if (value->GetTypeTag() == ScoreValue::kStringTag) {
      const std::string& text = static_cast<const StringValue*>(value)->GetText();
      if (json) {
        textformat::AppendJsonString(out, text);
      } else {
        textformat::AppendCsvCell(out, text);
      }
    } else if (json) {
      textformat::AppendJsonNumber(out, value->ToDouble());
    } else {
      numbers_.Append(out, value->ToDouble());
    }
  }
}

void RowScorer::WriteJsonRow(const VorqScore::VorqStatus& status, std::string& out) {
  size_t key = 0;
  out += '{';
  for (int column : plan_.keep) {
    out += jsonKeys_[key++];
    textformat::AppendJsonString(out, cells_[column]);
    out += ',';
  }
  out += jsonKeys_[key++];
  AppendPrediction(out, true);
  out += ',';
  if (plan_.regression) {
    out += jsonKeys_[key++];
    if (ok_ && regView_ && regView_->GetStdDev() != -1.0) {
      textformat::AppendJsonNumber(out, regView_->GetStdDev());
    } else {
      out += "null";
    }
    out += ',';
    out += jsonKeys_[key++];
    textformat::AppendJsonString(out, NodeId());
  } else {
    out += jsonKeys_[key++];
    if (ok_) {
      textformat::AppendJsonNumber(out, result_->GetConfidence());
    } else {
      out += "null";
    }
    out += ',';
    out += jsonKeys_[key++];
    textformat::AppendJsonString(out, NodeId());
    for (size_t j = 0; j < categories_.size(); ++j) {
      out += ',';
      out += jsonKeys_[key++];
      if (hasProbability_[j]) {
        textformat::AppendJsonNumber(out, probabilities_[j]);
      } else {
        out += "null";
      }
    }
  }
  out += ',';
  out += jsonKeys_[key++];
  std::string advice;
  AppendAdvice(advice);
  textformat::AppendJsonString(out, advice);
  out += ',';
  out += jsonKeys_[key++];
  textformat::AppendInt(out, status.GetCode());
  AppendExtras(out, true);
  if (plan_.path) {
    out += ',';
    out += jsonKeys_.back();
    AppendPathJson(out, path_);
  }
  out += "}\n";
}
