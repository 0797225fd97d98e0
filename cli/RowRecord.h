#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/TextFormat.h"
#include "host/ScoreCaseRecord.h"

// The indexed record a RowScorer scores: a view of the current CSV row. A
// position's cell is looked at the first time the model reads the position in
// a row (an empty cell or a missing-value token gives no value, a string
// field takes the text, anything else is converted to a number, and text that
// is no number reads as the system-missing value), so a tree that reaches its
// leaf through a few columns never touches the others. Each cell is looked at
// once a row at most, and gives what converting every cell up front would.
//
// The cells must stay valid until the row is scored. Not thread-safe, like
// the record it extends.
class RowRecord final : public IndexedCaseRecord {
 public:
  // Where a record position takes its value from.
  struct Source {
    int column = -1;        // input column; -1: no column (never a value)
    bool isString = false;  // the variable is a string field
  };
  // names: the record layout; sources: one per name; naTokens: cell texts
  // meaning "no value" besides the empty cell.
  RowRecord(const std::vector<std::string>& names, std::vector<Source> sources,
            std::vector<std::string> naTokens);

  const ScoreValue* GetValueAt(int i) const override {
    if (static_cast<unsigned>(i) < seen_.size() && seen_[i] != row_) Resolve(i);
    return IndexedCaseRecord::GetValueAt(i);
  }
  const ScoreValue* GetValue(const std::string& name) const override;

  // The next row: one cell per input column. Bytes may be read from any cell
  // up to readableEnd (the number parser reads eight bytes at a time).
  void SetRow(const std::string_view* cells, const char* readableEnd) {
    cells_ = cells;
    readableEnd_ = readableEnd;
    ++row_;
  }

 private:
  // Values come from the row only.
  using IndexedCaseRecord::ClearAll;
  using IndexedCaseRecord::SetNull;
  using IndexedCaseRecord::SetNumber;
  using IndexedCaseRecord::SetString;

  void Resolve(int i) const;
  bool IsMissingToken(std::string_view cell) const;

  std::vector<Source> sources_;
  std::vector<std::string> naTokens_;
  bool naFirstBytes_[256] = {};  // first bytes of the missing-value tokens
  const std::string_view* cells_ = nullptr;
  const char* readableEnd_ = nullptr;
  uint64_t row_ = 0;
  mutable std::vector<uint64_t> seen_;  // per position: the row its value is for
  mutable textformat::NumberParseCache numbers_;
};
