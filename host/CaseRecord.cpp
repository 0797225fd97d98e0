#include <memory>
#include <utility>

#include "host/ScoreCaseRecord.h"

// --- IndexedCaseRecord -------------------------------------------------------

IndexedCaseRecord::IndexedCaseRecord(const std::vector<std::string>& names)
    : size_(static_cast<int>(names.size())),
      names_(names),
      numbers_(names.size(), NumericValue(NumericValue::GetSysmisValue())),
      strings_(names.size(), StringValue(std::string())),
      current_(names.size(), nullptr) {
  index_.reserve(names.size());
  // The first column of a repeated name is the one found by name.
  for (int i = 0; i < size_; ++i) index_.emplace(names_[i], i);
}

IndexedCaseRecord::~IndexedCaseRecord() = default;

const ScoreValue* IndexedCaseRecord::GetValue(const std::string& name) const {
  auto it = index_.find(name);
  return it == index_.end() ? nullptr : current_[it->second];
}

int IndexedCaseRecord::GetIndex(const std::string& name) const {
  auto it = index_.find(name);
  return it == index_.end() ? -1 : it->second;
}

void IndexedCaseRecord::ClearAll() { current_.assign(current_.size(), nullptr); }

// --- NamedCaseRecord ---------------------------------------------------------

NamedCaseRecord::~NamedCaseRecord() { Clear(); }

const ScoreValue* NamedCaseRecord::GetValue(const std::string& name) const {
  auto it = values_.find(name);
  return it == values_.end() ? nullptr : it->second;
}

void NamedCaseRecord::Set(const std::string& name, ScoreValue* value) {
  std::unique_ptr<ScoreValue> owned(value);
  auto it = values_.find(name);
  if (it != values_.end()) {
    delete it->second;
    if (owned) {
      it->second = owned.release();
    } else {
      values_.erase(it);
    }
    return;
  }
  if (!owned) return;
  values_.emplace(name, owned.get());
  owned.release();
}

void NamedCaseRecord::Clear() {
  for (auto& entry : values_) delete entry.second;
  values_.clear();
}
