#pragma once

// Helpers shared by the fuzz targets: a process-wide Xerces-C session and the
// generated cases that exercise a model or a transformation dictionary once a
// document has been read. Everything handed out is owned by the caller.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "host/ScoreCaseRecord.h"
#include "host/ScoreDictionary.h"
#include "host/ScoreResult.h"
#include "host/ScoreValue.h"
#include "host/VorqScore.h"
#include "host/XmlDocument.h"

namespace fuzzsupport {

// A broken invariant: says which and stops, so the fuzzer keeps the input.
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
  std::abort();
}

// Xerces-C stays initialised for the whole run; the session is never
// destroyed, so it is reachable at exit rather than leaked.
inline void InitXerces() {
  static XercesSession* session = new XercesSession();
  (void)session;
}

// Numbers that probe the edges of splits and arithmetic.
inline const std::vector<double>& ExtremeNumbers() {
  static const std::vector<double> numbers = {
      0.0,
      -0.0,
      1.0,
      -1.0,
      0.5,
      1e308,
      -1e308,
      std::numeric_limits<double>::infinity(),
      -std::numeric_limits<double>::infinity(),
      std::numeric_limits<double>::quiet_NaN(),
      std::numeric_limits<double>::denorm_min(),
      -std::numeric_limits<double>::max(),  // the system-missing number
      2147483648.0,
      30000.0,
  };
  return numbers;
}

inline const std::vector<std::string>& OddTexts() {
  static const std::vector<std::string> texts = {"", "zz", "NA", "1.5", " ", "\xC3\xA9"};
  return texts;
}

// Candidate values for one variable: its categories first, then numbers or
// texts of its kind, then one of the other kind.
struct Candidates {
  std::vector<double> numbers;
  std::vector<std::string> texts;
};

inline Candidates CandidatesFor(const ScoreDictVar* var) {
  Candidates c;
  if (const ScoreValueLabelSet* labels = var->GetValueLabelSet()) {
    for (const ScoreValueLabel* label : labels->GetLabels()) {
      if (label == nullptr || label->GetValue() == nullptr) continue;
      const ScoreValue* value = label->GetValue();
      if (value->IsNumeric()) {
        c.numbers.push_back(value->ToDouble());
      } else {
        c.texts.push_back(value->ToString());
      }
    }
  }
  if (var->GetVariableType() == ScoreDictVar::kNumeric) {
    for (double x : ExtremeNumbers()) c.numbers.push_back(x);
    c.texts.push_back("zz");
  } else {
    for (const std::string& t : OddTexts()) c.texts.push_back(t);
    c.numbers.push_back(1.0);
  }
  return c;
}

// Fills record (positions follow vars) for case number k: case 0 leaves
// everything missing; later cases walk through each variable's candidates at
// different speeds so combinations vary, and leave some values missing.
inline void FillCase(IndexedCaseRecord& record, const std::vector<Candidates>& candidates,
                     unsigned k, uint32_t seed) {
  record.ClearAll();
  if (k == 0) return;
  for (size_t i = 0; i < candidates.size(); ++i) {
    const Candidates& c = candidates[i];
    const size_t total = c.numbers.size() + c.texts.size();
    const uint32_t mix = seed * 2654435761u + static_cast<uint32_t>(i) * 40503u + k * 977u;
    if (total == 0 || mix % 7 == 0) continue;  // missing
    const size_t pick = (mix >> 3) % total;
    if (pick < c.numbers.size()) {
      record.SetNumber(static_cast<int>(i), c.numbers[pick]);
    } else {
      record.SetString(static_cast<int>(i), c.texts[pick - c.numbers.size()]);
    }
  }
}

// One line per scored case: status, prediction, confidence, node, advice and
// the category shares.
inline std::string DescribeCase(const VorqScore::VorqStatus& status, const ScoreResult* result) {
  std::ostringstream out;
  out << "status " << status.GetCode();
  if (result != nullptr) {
    const ScoreValue* prediction = result->GetPrediction();
    out << " prediction " << (prediction ? prediction->ToString() : "none") << " confidence "
        << NumericValue::FormatDouble(result->GetConfidence());
    if (const auto* stats = dynamic_cast<const ScoreNodeStats*>(result)) {
      out << " node " << stats->GetNodeID();
    }
    for (const ResultAdvice& advice : result->GetAdvice()) {
      out << " advice " << advice.GetCode() << " " << advice.GetText();
    }
    if (const auto* cls = dynamic_cast<const ScoreClsResult*>(result)) {
      for (const auto& entry : cls->GetAllValuePercent()) {
        out << " p(" << (entry.first ? entry.first->ToString() : "?")
            << ")=" << NumericValue::FormatDouble(entry.second);
      }
    }
  }
  out << "\n";
  return out.str();
}

}  // namespace fuzzsupport
