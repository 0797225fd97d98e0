#include "cli/RowRecord.h"

#include "cli/TextFormat.h"

RowRecord::RowRecord(const std::vector<std::string>& names)
    : IndexedCaseRecord(names), pending_(names.size()) {}

const ScoreValue* RowRecord::GetValue(const std::string& name) const {
  return GetValueAt(GetIndex(name));
}

void RowRecord::SetNumber(int i, double value) {
  if (static_cast<unsigned>(i) >= pending_.size()) return;
  pending_[i] = std::string_view();
  IndexedCaseRecord::SetNumber(i, value);
}

void RowRecord::SetString(int i, std::string_view text) {
  if (static_cast<unsigned>(i) >= pending_.size()) return;
  pending_[i] = std::string_view();
  IndexedCaseRecord::SetString(i, text);
}

void RowRecord::SetNull(int i) {
  if (static_cast<unsigned>(i) >= pending_.size()) return;
  pending_[i] = std::string_view();
  IndexedCaseRecord::SetNull(i);
}

void RowRecord::ClearAll() {
  for (std::string_view& text : pending_) text = std::string_view();
  IndexedCaseRecord::ClearAll();
}

void RowRecord::Convert(int i) const {
  const std::string_view text = pending_[i];
  pending_[i] = std::string_view();
  double number;
  const size_t readable =
      readableEnd_ != nullptr ? static_cast<size_t>(readableEnd_ - text.data()) : text.size();
  if (!numbers_.Parse(text, &number, readable)) number = NumericValue::GetSysmisValue();
  // The record is never created const: RowScorer owns it and fills it.
  const_cast<RowRecord*>(this)->IndexedCaseRecord::SetNumber(i, number);
}
