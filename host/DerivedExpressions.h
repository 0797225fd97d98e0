// The kinds of expression a derived field computes, as the reader makes
// them. Internal to the host library: the reader (DerivedFieldReader.cpp)
// builds with these; the expressions themselves live in DerivedField.cpp.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/DerivedField.h"
#include "host/ScoreDictionary.h"
#include "host/ScoreValue.h"

namespace derived_field {

using Expr = std::unique_ptr<DerivedExpression>;

// A value written in the document (mapMissingTo, defaultValue, a bin value,
// a table cell): its text, and its number when the text is one.
struct Literal {
  bool present = false;
  bool isNumber = false;
  double number = 0;
  std::string text;

  void Set(std::string value) {
    text = std::move(value);
    isNumber = NumericValue::ParseDouble(text, &number);
    present = true;
  }
  DerivedValue Value() const {
    DerivedValue v = DerivedValue::Text(text);
    v.textIsNumber = isNumber;
    v.number = number;
    return v;
  }
};

// How NormContinuous treats an input outside its points.
enum class Outliers { kAsIs, kAsMissing, kAsExtreme };

// A Discretize bin: an interval and the value it gives.
struct Bin {
  double left;
  double right;
  bool leftClosed;
  bool rightClosed;
  Literal value;

  bool Contains(double x) const {
    return (leftClosed ? x >= left : x > left) && (rightClosed ? x <= right : x < right);
  }
};

// A row of a MapValues table.
struct TableRow {
  std::vector<Literal> keys;  // one per input column; absent cells never match
  Literal output;             // absent: a matching row gives a missing value
};

// A built-in function of Apply and how many arguments it takes.
enum class Fn : int;
struct FunctionInfo {
  const char* name;
  Fn fn;
  int minArgs;
  int maxArgs;  // -1: no limit
};

// Null when no built-in function has that name.
const FunctionInfo* FindFunction(const std::string& name);

// Each expression kind; the caller owns what these return.
Expr MakeConstant(DerivedValue::Kind kind, double number, std::string text);
// A data field (slot -1) or the derived field in that slot of the derived record.
Expr MakeFieldRef(const ScoreDictVar* var, int slot);
// fieldRef comes from MakeFieldRef.
void SetMapMissingTo(DerivedExpression* fieldRef, std::string text);
Expr MakeNormContinuous(Expr input, std::vector<std::pair<double, double>> points,
                        Outliers outliers, bool hasMapMissing, double mapMissing);
Expr MakeNormDiscrete(Expr input, Literal value, bool hasMapMissing, double mapMissing);
Expr MakeDiscretize(Expr input, std::vector<Bin> bins, Literal defaultValue, Literal mapMissing);
Expr MakeMapValues(std::vector<Expr> inputs, std::vector<TableRow> rows, Literal defaultValue,
                   Literal mapMissing);
Expr MakeApply(const FunctionInfo& function, std::vector<Expr> args, Literal mapMissing,
               Literal defaultValue);

}  // namespace derived_field
