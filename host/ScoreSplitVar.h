#pragma once

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "host/HostExport.h"
#include "host/ScoreDictionary.h"
#include "host/ScoreValue.h"

// An interval of numbers. A closed end includes its bound; an unbounded end
// is -inf or +inf. Owns its two values.
class DX_HOST_API Range {
 public:
  Range(ScoreValue* low, ScoreValue* high, bool lowClosed, bool highClosed);
  Range(double low, double high, bool lowClosed, bool highClosed);
  Range(const Range&) = delete;
  Range& operator=(const Range&) = delete;
  ~Range();

  double GetLow() const { return lowNumber_; }
  double GetHigh() const { return highNumber_; }
  bool IsLowClosed() const { return lowClosed_; }
  bool IsHighClosed() const { return highClosed_; }
  bool Contains(double x) const {
    return (lowClosed_ ? x >= lowNumber_ : x > lowNumber_) &&
           (highClosed_ ? x <= highNumber_ : x < highNumber_);
  }

 private:
  ScoreValue* low_;
  ScoreValue* high_;
  double lowNumber_;
  double highNumber_;
  bool lowClosed_;
  bool highClosed_;
};

// A split condition on one variable: maps values of the variable to child
// positions, and missing values to one position. The variable is borrowed
// from a dictionary that outlives the split.
class DX_HOST_API ScoreSplitVar {
 public:
  virtual ~ScoreSplitVar();

  const ScoreDictVar* GetSplitVar() const { return var_; }
  const std::string& GetSplitName() const { return var_->GetName(); }
  // 0 for a numeric split variable, 1 for a string one.
  int GetSplitType() const { return var_->GetVariableType() == ScoreDictVar::kNumeric ? 0 : 1; }
  // -1 until SetMissvalMap is called.
  int GetMissvalMap() const { return missvalMap_; }
  void SetMissvalMap(int childIndex) { missvalMap_ = childIndex; }

  // The child position the value maps to; a negative number when none does.
  // Accepts a null value.
  virtual int GetChildIndex(const ScoreValue* value) const = 0;
  // A readable dump: variable, each position with its values or ranges, and
  // the missing-value position.
  virtual void Display(std::ostream& os) const = 0;

 protected:
  explicit ScoreSplitVar(const ScoreDictVar* var) : var_(var) {}
  ScoreSplitVar(const ScoreSplitVar&) = delete;
  ScoreSplitVar& operator=(const ScoreSplitVar&) = delete;

 private:
  const ScoreDictVar* var_;
  int missvalMap_ = -1;
};

// Split on a continuous (or numeric ordinal) variable: ranges tied to child
// positions. GetChildIndex gives the position of the first range, in the
// order they were put, that holds the value's number; -1 for a null value, a
// string value, the system-missing number, or a number no range holds.
class DX_HOST_API ScaleSplit : public ScoreSplitVar {
 public:
  explicit ScaleSplit(const ScoreDictVar* var) : ScoreSplitVar(var) {}
  ~ScaleSplit() override;

  // Takes ownership of range (a null range is ignored).
  void PutSplit(Range* range, int childIndex);
  int GetChildIndex(const ScoreValue* value) const override;
  void Display(std::ostream& os) const override;

  const std::vector<std::pair<Range*, int>>& GetRanges() const { return ranges_; }

 private:
  // The ranges as plain numbers, in put order, for routing without pointer
  // chasing.
  struct Interval {
    double low;
    double high;
    bool lowClosed;
    bool highClosed;
    int childIndex;
  };
  std::vector<std::pair<Range*, int>> ranges_;
  std::vector<Interval> intervals_;
};

// Split on a categorical variable: values tied to child positions.
// GetChildIndex gives the position of the first value that Equals the given
// one; -1 when none does or the value is null.
class DX_HOST_API DiscreteSplit : public ScoreSplitVar {
 public:
  explicit DiscreteSplit(const ScoreDictVar* var) : ScoreSplitVar(var) {}
  ~DiscreteSplit() override;

  // Takes ownership of value (a null value is ignored).
  void PutSplit(ScoreValue* value, int childIndex);
  int GetChildIndex(const ScoreValue* value) const override;
  void Display(std::ostream& os) const override;

  const std::vector<std::pair<ScoreValue*, int>>& GetValues() const { return values_; }

 private:
  std::vector<std::pair<ScoreValue*, int>> values_;
  // The numeric and the string values apart, each in put order: a numeric
  // value never equals a string value, so the first match in its own list is
  // the first match overall.
  std::vector<std::pair<double, int>> numbers_;
  std::vector<std::pair<std::string, int>> texts_;
};
