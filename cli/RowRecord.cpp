#include "cli/RowRecord.h"

#include <utility>

RowRecord::RowRecord(const std::vector<std::string>& names, std::vector<Source> sources,
                     std::vector<std::string> naTokens)
    : IndexedCaseRecord(names),
      sources_(std::move(sources)),
      naTokens_(std::move(naTokens)),
      seen_(names.size(), 0) {
  sources_.resize(names.size());
  for (const std::string& token : naTokens_) {
    if (!token.empty()) naFirstBytes_[static_cast<unsigned char>(token.front())] = true;
  }
}

const ScoreValue* RowRecord::GetValue(const std::string& name) const {
  return GetValueAt(GetIndex(name));
}

bool RowRecord::IsMissingToken(std::string_view cell) const {
  if (cell.empty()) return true;
  // Most cells start with a character no missing-value token starts with.
  if (!naFirstBytes_[static_cast<unsigned char>(cell.front())]) return false;
  for (const std::string& token : naTokens_) {
    if (cell == token) return true;
  }
  return false;
}

void RowRecord::Resolve(int i) const {
  seen_[i] = row_;
  // The record is never created const: RowScorer owns it and fills it.
  auto* self = const_cast<RowRecord*>(this);
  const Source& source = sources_[i];
  if (source.column < 0 || cells_ == nullptr) {
    self->SetNull(i);
    return;
  }
  const std::string_view cell = cells_[source.column];
  if (IsMissingToken(cell)) {
    self->SetNull(i);
  } else if (source.isString) {
    self->SetString(i, cell);
  } else {
    double number;
    const size_t readable =
        readableEnd_ != nullptr ? static_cast<size_t>(readableEnd_ - cell.data()) : cell.size();
    if (!numbers_.Parse(cell, &number, readable)) number = NumericValue::GetSysmisValue();
    self->SetNumber(i, number);
  }
}
