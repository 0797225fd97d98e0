#include <memory>
#include <utility>

#include "host/BaseDictionary.h"

// --- ValueLbl, ValueLabelSet -------------------------------------------------

ValueLbl::ValueLbl(ScoreValue* value, std::string label)
    : value_(value), label_(std::move(label)) {}

ValueLbl::~ValueLbl() { delete value_; }

ValueLabelSet::~ValueLabelSet() {
  for (ScoreValueLabel* label : labels_) delete label;
}

void ValueLabelSet::AddLabel(ValueLbl* label) {
  std::unique_ptr<ValueLbl> owned(label);
  if (!owned) return;
  labels_.push_back(owned.get());
  owned.release();
}

ValueLabelSet* ValueLabelSet::Clone() const {
  auto copy = std::make_unique<ValueLabelSet>();
  for (const ScoreValueLabel* label : labels_) {
    std::unique_ptr<ScoreValue> value(label->GetValue() ? label->GetValue()->Clone() : nullptr);
    auto lbl = std::make_unique<ValueLbl>(value.get(), label->GetLabel());
    value.release();
    copy->AddLabel(lbl.release());
  }
  return copy.release();
}

// --- MissingValueSet ---------------------------------------------------------

MissingValueSet::~MissingValueSet() {
  for (ScoreValue* value : values_) delete value;
  for (auto& range : ranges_) {
    delete range.first;
    delete range.second;
  }
}

void MissingValueSet::AddValue(ScoreValue* value) {
  std::unique_ptr<ScoreValue> owned(value);
  if (!owned) return;
  values_.push_back(owned.get());
  owned.release();
}

void MissingValueSet::AddRange(ScoreValue* low, ScoreValue* high) {
  std::unique_ptr<ScoreValue> ownedLow(low);
  std::unique_ptr<ScoreValue> ownedHigh(high);
  if (!ownedLow || !ownedHigh) return;
  ranges_.emplace_back(ownedLow.get(), ownedHigh.get());
  ownedLow.release();
  ownedHigh.release();
}

bool MissingValueSet::Contains(const ScoreValue* value) const {
  if (value == nullptr) return false;
  for (const ScoreValue* missing : values_) {
    if (missing->Equals(value)) return true;
  }
  for (const auto& range : ranges_) {
    const ScoreValue* low = range.first;
    const ScoreValue* high = range.second;
    if (value->IsNumeric() && low->IsNumeric() && high->IsNumeric()) {
      double x = value->ToDouble();
      if (x >= low->ToDouble() && x <= high->ToDouble()) return true;
    } else if (value->IsString() && low->IsString() && high->IsString()) {
      const std::string& x = static_cast<const StringValue*>(value)->GetText();
      if (x >= static_cast<const StringValue*>(low)->GetText() &&
          x <= static_cast<const StringValue*>(high)->GetText()) {
        return true;
      }
    }
  }
  return false;
}

MissingValueSet* MissingValueSet::Clone() const {
  auto copy = std::make_unique<MissingValueSet>();
  for (const ScoreValue* value : values_) copy->AddValue(value->Clone());
  for (const auto& range : ranges_) {
    std::unique_ptr<ScoreValue> low(range.first->Clone());
    std::unique_ptr<ScoreValue> high(range.second->Clone());
    copy->AddRange(low.release(), high.release());
  }
  return copy.release();
}

// --- DictVar -----------------------------------------------------------------

DictVar::DictVar(std::string name, int variableType)
    : name_(std::move(name)), variableType_(variableType) {}

DictVar::~DictVar() {
  delete labels_;
  delete missing_;
  delete stats_;
}

ScoreDictVar* DictVar::Clone() const {
  auto copy = std::make_unique<DictVar>(name_, variableType_);
  copy->label_ = label_;
  copy->measurementLevel_ = measurementLevel_;
  if (labels_) copy->SetValueLabelSet(labels_->Clone());
  if (missing_) copy->SetMissingValueSet(missing_->Clone());
  if (stats_) copy->SetVarStats(new VarStats(*stats_));
  copy->decimals_ = decimals_;
  copy->width_ = width_;
  copy->index_ = index_;
  copy->derived_ = derived_;
  copy->intervals_ = intervals_;
  copy->dataType_ = dataType_;
  return copy.release();
}

bool DictVar::IsMissingValue(const ScoreValue* value) const {
  if (value == nullptr) return true;
  if (value->IsNumeric() &&
      static_cast<const NumericValue*>(value)->GetValue() == NumericValue::GetSysmisValue()) {
    return true;
  }
  return missing_ != nullptr && missing_->Contains(value);
}

bool DictVar::IsValidCategory(const ScoreValue* value) const {
  if (value == nullptr || labels_ == nullptr) return false;
  if (variableType_ == kNumeric) {
    if (!value->IsNumeric()) return false;
    const double x = static_cast<const NumericValue*>(value)->GetValue();
    for (double category : numericCategories_) {
      if (category == x) return true;
    }
    return false;
  }
  if (!value->IsString()) return false;
  const std::string& text = static_cast<const StringValue*>(value)->GetText();
  for (const std::string& category : stringCategories_) {
    if (category == text) return true;
  }
  return false;
}

int DictVar::GetCategoryCount() const { return labels_ ? labels_->GetLabelCount() : 0; }

void DictVar::SetVariableType(int type) {
  variableType_ = type;
  RebuildCategoryCache();
}

void DictVar::SetValueLabelSet(ValueLabelSet* labels) {
  if (labels != labels_) {
    delete labels_;
    labels_ = labels;
  }
  RebuildCategoryCache();
}

void DictVar::SetMissingValueSet(MissingValueSet* missing) {
  if (missing != missing_) {
    delete missing_;
    missing_ = missing;
  }
}

void DictVar::SetVarStats(VarStats* stats) {
  if (stats != stats_) {
    delete stats_;
    stats_ = stats;
  }
}

// A numeric variable keeps the numbers of its categories (labels whose value
// is not a number are left out); a string variable keeps their texts.
void DictVar::RebuildCategoryCache() {
  numericCategories_.clear();
  stringCategories_.clear();
  if (labels_ == nullptr) return;
  for (const ScoreValueLabel* label : labels_->GetLabels()) {
    const ScoreValue* value = label->GetValue();
    if (value == nullptr) continue;
    if (variableType_ == kNumeric) {
      double x = value->ToDouble();
      if (x != NumericValue::GetSysmisValue()) numericCategories_.push_back(x);
    } else {
      stringCategories_.push_back(value->ToString());
    }
  }
}

// --- BaseDictionary ----------------------------------------------------------

BaseDictionary::~BaseDictionary() {
  for (ScoreDictVar* var : vars_) delete var;
}

bool BaseDictionary::AddVar(const std::string& name, ScoreDictVar* var) {
  if (var == nullptr || byName_.count(name) != 0) return false;
  // Room for one more, growing geometrically (reserving exactly one more
  // would copy the whole list on every add); the add below cannot throw.
  if (vars_.size() == vars_.capacity()) vars_.reserve(2 * vars_.size() + 4);
  byName_.emplace(name, var);
  vars_.push_back(var);  // cannot throw after the reserve
  return true;
}

ScoreDictVar* BaseDictionary::GetVar(const std::string& name) const {
  auto it = byName_.find(name);
  return it == byName_.end() ? nullptr : it->second;
}
