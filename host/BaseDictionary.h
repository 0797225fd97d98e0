#pragma once

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/HostExport.h"
#include "host/ScoreDictionary.h"

// A category: owns its value.
class DX_HOST_API ValueLbl : public ScoreValueLabel {
 public:
  ValueLbl(ScoreValue* value, std::string label);
  ValueLbl(const ValueLbl&) = delete;
  ValueLbl& operator=(const ValueLbl&) = delete;
  ~ValueLbl() override;

  const ScoreValue* GetValue() const override { return value_; }
  const std::string& GetLabel() const override { return label_; }

 private:
  ScoreValue* value_;
  std::string label_;
};

// Owns its labels.
class DX_HOST_API ValueLabelSet : public ScoreValueLabelSet {
 public:
  ValueLabelSet() = default;
  ValueLabelSet(const ValueLabelSet&) = delete;
  ValueLabelSet& operator=(const ValueLabelSet&) = delete;
  ~ValueLabelSet() override;

  // Takes ownership.
  void AddLabel(ValueLbl* label);
  ValueLabelSet* Clone() const;

  const std::vector<ScoreValueLabel*>& GetLabels() const override { return labels_; }
  int GetLabelCount() const override { return static_cast<int>(labels_.size()); }

 private:
  std::vector<ScoreValueLabel*> labels_;
};

// Declared missing values: discrete values and closed ranges. Owns its values.
class DX_HOST_API MissingValueSet {
 public:
  MissingValueSet() = default;
  MissingValueSet(const MissingValueSet&) = delete;
  MissingValueSet& operator=(const MissingValueSet&) = delete;
  ~MissingValueSet();

  // Take ownership.
  void AddValue(ScoreValue* value);
  void AddRange(ScoreValue* low, ScoreValue* high);  // both ends included
  bool Contains(const ScoreValue* value) const;
  bool IsEmpty() const { return values_.empty() && ranges_.empty(); }
  MissingValueSet* Clone() const;

  const std::vector<ScoreValue*>& GetValues() const { return values_; }
  const std::vector<std::pair<ScoreValue*, ScoreValue*>>& GetRanges() const { return ranges_; }

 private:
  std::vector<ScoreValue*> values_;
  std::vector<std::pair<ScoreValue*, ScoreValue*>> ranges_;
};

// Descriptive statistics of a variable (legacy documents); not used in scoring.
class DX_HOST_API VarStats {
 public:
  VarStats(double minimum, double maximum, double mean, double stdDev)
      : minimum_(minimum), maximum_(maximum), mean_(mean), stdDev_(stdDev) {}
  double GetMinimum() const { return minimum_; }
  double GetMaximum() const { return maximum_; }
  double GetMean() const { return mean_; }
  double GetStdDev() const { return stdDev_; }

 private:
  double minimum_, maximum_, mean_, stdDev_;
};

// A closed or open interval of valid values, kept for description only.
struct DX_HOST_API FieldInterval {
  std::string closure;  // "closedClosed", "openOpen", ...
  double leftMargin;    // -inf when absent
  double rightMargin;   // +inf when absent
};

// The host's variable. Owns its value-label set, missing-value set and stats.
class DX_HOST_API DictVar : public ScoreDictVar {
 public:
  DictVar(std::string name, int variableType);
  DictVar(const DictVar&) = delete;
  DictVar& operator=(const DictVar&) = delete;
  ~DictVar() override;

  ScoreDictVar* Clone() const override;
  bool IsMissingValue(const ScoreValue* value) const override;
  bool IsValidCategory(const ScoreValue* value) const override;
  const std::string& GetName() const override { return name_; }
  int GetVariableType() const override { return variableType_; }
  int GetMeasurementLevel() const override { return measurementLevel_; }
  const ScoreValueLabelSet* GetValueLabelSet() const override { return labels_; }
  int GetCategoryCount() const override;
  void SetIndex(int index) override { index_ = index; }
  int GetIndex() const override { return index_; }
  bool IsDerived() const override { return derived_; }

  void SetName(const std::string& name) { name_ = name; }
  void SetLabel(const std::string& label) { label_ = label; }
  const std::string& GetLabel() const { return label_; }
  // Also re-reads the category cache, which depends on the type.
  void SetVariableType(int type);
  void SetMeasurementLevel(int level) { measurementLevel_ = level; }
  // Take ownership; a set given earlier is destroyed.
  void SetValueLabelSet(ValueLabelSet* labels);
  void SetMissingValueSet(MissingValueSet* missing);
  void SetVarStats(VarStats* stats);
  const MissingValueSet* GetMissingValueSet() const { return missing_; }
  const VarStats* GetVarStats() const { return stats_; }
  void SetFormat(int decimals, int width) {
    decimals_ = decimals;
    width_ = width;
  }
  int GetDecimals() const { return decimals_; }
  int GetWidth() const { return width_; }
  void SetDerived(bool derived) { derived_ = derived; }
  void AddInterval(const FieldInterval& interval) { intervals_.push_back(interval); }
  const std::vector<FieldInterval>& GetIntervals() const { return intervals_; }
  // PMML dataType text as written in the document ("double", "string", ...).
  void SetDataType(const std::string& dataType) { dataType_ = dataType; }
  const std::string& GetDataType() const { return dataType_; }

 private:
  void RebuildCategoryCache();

  std::string name_;
  std::string label_;
  int variableType_;
  int measurementLevel_ = kContinuous;
  ValueLabelSet* labels_ = nullptr;
  MissingValueSet* missing_ = nullptr;
  VarStats* stats_ = nullptr;
  int decimals_ = -1;
  int width_ = -1;
  int index_ = -1;
  bool derived_ = false;
  std::vector<FieldInterval> intervals_;
  std::string dataType_;
  // Category values in label order, for fast IsValidCategory.
  std::vector<double> numericCategories_;
  std::vector<std::string> stringCategories_;
};

// The host's dictionary: insertion order, lookup by name. Owns its variables.
class DX_HOST_API BaseDictionary : public ScoreDictionary {
 public:
  BaseDictionary() = default;
  BaseDictionary(const BaseDictionary&) = delete;
  BaseDictionary& operator=(const BaseDictionary&) = delete;
  ~BaseDictionary() override;

  bool AddVar(const std::string& name, ScoreDictVar* var) override;
  ScoreDictVar* GetVar(const std::string& name) const override;
  int GetNumberOfVars() const override { return static_cast<int>(vars_.size()); }
  const std::vector<ScoreDictVar*>& GetVars() const override { return vars_; }

 private:
  std::vector<ScoreDictVar*> vars_;
  std::unordered_map<std::string, ScoreDictVar*> byName_;
};
