#include "host/TransformationDictionary.h"

#include <memory>

#include "host/DerivedField.h"

TransformationDictionary::TransformationDictionary() = default;

TransformationDictionary::~TransformationDictionary() {
  for (DerivedExpression* expression : expressions_) delete expression;
  delete derivedRecord_;
}

bool TransformationDictionary::AddDerivedField(DictVar* var, DerivedExpression* expression) {
  if (var == nullptr || expression == nullptr || GetVar(var->GetName()) != nullptr) return false;
  // Room for one more, growing geometrically (reserving exactly one more
  // would copy the whole list on every add); the add below cannot throw.
  if (expressions_.size() == expressions_.capacity())
    expressions_.reserve(2 * expressions_.size() + 4);
  if (!AddVar(var->GetName(), var)) return false;
  var->SetDerived(true);
  expressions_.push_back(expression);
  return true;
}

const DerivedExpression* TransformationDictionary::GetExpression(int i) const {
  return i >= 0 && i < static_cast<int>(expressions_.size()) ? expressions_[i] : nullptr;
}

void TransformationDictionary::SetUpDerivedCaseRecord() {
  std::vector<std::string> names;
  names.reserve(GetVars().size());
  numericField_.clear();
  for (const ScoreDictVar* var : GetVars()) {
    names.push_back(var->GetName());
    numericField_.push_back(var->GetVariableType() == ScoreDictVar::kNumeric);
  }
  auto record = std::make_unique<IndexedCaseRecord>(names);
  delete derivedRecord_;
  derivedRecord_ = record.release();
}

const ScoreCaseRecord* TransformationDictionary::GetValuesForDeriedVars(
    const ScoreCaseRecord* record, const ScoreDictionary* /*dictionary*/) {
  if (derivedRecord_ == nullptr || derivedRecord_->GetSize() != GetNumberOfVars()) {
    SetUpDerivedCaseRecord();
  }
  // Fields are computed in order; field i reads only slots before i, which
  // already hold this case's values.
  const int count = derivedRecord_->GetSize();
  for (int i = 0; i < count; ++i) {
    const DerivedValue value = expressions_[i]->Evaluate(record, derivedRecord_);
    if (numericField_[i]) {
      double x = 0;
      if (value.ToNumber(&x) && x != NumericValue::GetSysmisValue()) {
        derivedRecord_->SetNumber(i, x);
      } else {
        derivedRecord_->SetNull(i);
      }
    } else if (value.IsMissing()) {
      derivedRecord_->SetNull(i);
    } else {
      const std::string_view text = value.ToText(&textBuffer_);
      if (text.size() > DerivedValue::kMaxTextBytes) {
        derivedRecord_->SetNull(i);  // see DerivedValue::kMaxTextBytes
      } else {
        derivedRecord_->SetString(i, text);
      }
    }
  }
  return derivedRecord_;
}
