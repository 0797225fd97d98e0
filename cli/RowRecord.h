#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/TextFormat.h"
#include "host/ScoreCaseRecord.h"

// The indexed record a RowScorer fills from the cells of a CSV row. A numeric
// cell is kept as its text and converted the first time the model reads it:
// a tree reaches a leaf through a few of the columns, so most cells of a row
// are never converted. A cell is converted at most once a row and the result
// is the same number an eager conversion gives (texts that are not numbers
// read as the system-missing value).
//
// The texts must stay valid until the row is scored. Not thread-safe, like
// the record it extends.
class RowRecord final : public IndexedCaseRecord {
 public:
  explicit RowRecord(const std::vector<std::string>& names);

  const ScoreValue* GetValueAt(int i) const override {
    if (static_cast<unsigned>(i) < pending_.size() && pending_[i].data() != nullptr) Convert(i);
    return IndexedCaseRecord::GetValueAt(i);
  }
  const ScoreValue* GetValue(const std::string& name) const override;

  // Bytes may be read up to end from any text given until the next call; the
  // number parser reads eight bytes at a time where it can.
  void SetReadableEnd(const char* end) { readableEnd_ = end; }
  // A numeric cell, converted when first read. text is not empty and ends
  // at or before the readable end.
  void SetNumberText(int i, std::string_view text) {
    if (static_cast<unsigned>(i) < pending_.size()) pending_[i] = text;
  }
  void SetNumber(int i, double value);
  void SetString(int i, std::string_view text);
  void SetNull(int i);
  void ClearAll();

 private:
  void Convert(int i) const;

  // Per position: the text still to convert, or a null view.
  mutable std::vector<std::string_view> pending_;
  const char* readableEnd_ = nullptr;
  mutable textformat::NumberParseCache numbers_;
};
