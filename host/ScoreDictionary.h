#pragma once

#include <string>
#include <vector>

#include "host/HostExport.h"
#include "host/ScoreValue.h"

// One category of a variable: its value and a display label.
class DX_HOST_API ScoreValueLabel {
 public:
  virtual ~ScoreValueLabel();
  virtual const ScoreValue* GetValue() const = 0;
  virtual const std::string& GetLabel() const = 0;
};

// The categories of a variable, in their fixed order (the category order of
// the whole system).
class DX_HOST_API ScoreValueLabelSet {
 public:
  virtual ~ScoreValueLabelSet();
  virtual const std::vector<ScoreValueLabel*>& GetLabels() const = 0;
  virtual int GetLabelCount() const = 0;
};

// A variable of a dictionary. Variable type: 0 numeric, 1 string.
// Measurement level: 0 continuous, 1 ordinal, 2 nominal.
class DX_HOST_API ScoreDictVar {
 public:
  enum VariableType { kNumeric = 0, kString = 1 };
  enum MeasurementLevel { kContinuous = 0, kOrdinal = 1, kNominal = 2 };

  virtual ~ScoreDictVar();

  // A deep copy; the caller owns it.
  virtual ScoreDictVar* Clone() const = 0;
  // True for a null value, the system-missing number, or a declared missing
  // value (discrete or closed range).
  virtual bool IsMissingValue(const ScoreValue* value) const = 0;
  // True exactly when the variable has a value-label set and the value equals
  // one of its label values.
  virtual bool IsValidCategory(const ScoreValue* value) const = 0;
  virtual const std::string& GetName() const = 0;
  virtual int GetVariableType() const = 0;
  virtual int GetMeasurementLevel() const = 0;
  // Null when the variable has no categories. Owned by the variable.
  virtual const ScoreValueLabelSet* GetValueLabelSet() const = 0;
  // The number of labels in the value-label set; 0 without one.
  virtual int GetCategoryCount() const = 0;
  // Position of the variable in indexed case records; -1 until set.
  virtual void SetIndex(int index) = 0;
  virtual int GetIndex() const = 0;
  // True for a field of a transformation dictionary.
  virtual bool IsDerived() const = 0;
};

// Variables by name, in insertion order. Owns its variables.
class DX_HOST_API ScoreDictionary {
 public:
  virtual ~ScoreDictionary();
  // Takes ownership of var. Returns false (and takes nothing) when a variable
  // of that name is already there.
  virtual bool AddVar(const std::string& name, ScoreDictVar* var) = 0;
  // Null when absent.
  virtual ScoreDictVar* GetVar(const std::string& name) const = 0;
  virtual int GetNumberOfVars() const = 0;
  virtual const std::vector<ScoreDictVar*>& GetVars() const = 0;
};
