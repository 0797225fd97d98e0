#include "host/DerivedField.h"

#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/DerivedExpressions.h"

// --- DerivedValue ------------------------------------------------------------

bool DerivedValue::ToNumber(double* out) const {
  switch (kind) {
    case kNumber:
    case kBoolean:
      *out = number;
      return true;
    case kText:
      if (textIsNumber) {
        *out = number;
        return true;
      }
      return NumericValue::ParseDouble(text, out);
    case kMissing:
      break;
  }
  return false;
}

bool DerivedValue::ToBoolean(bool* out) const {
  switch (kind) {
    case kNumber:
    case kBoolean:
      *out = number != 0;
      return true;
    case kText: {
      if (text == "true") {
        *out = true;
        return true;
      }
      if (text == "false") {
        *out = false;
        return true;
      }
      double x = 0;
      if (!ToNumber(&x)) return false;
      *out = x != 0;
      return true;
    }
    case kMissing:
      break;
  }
  return false;
}

std::string_view DerivedValue::ToText(std::string* buffer) const {
  switch (kind) {
    case kText:
      return text;
    case kBoolean:
      return number != 0 ? std::string_view("true") : std::string_view("false");
    case kNumber:
      *buffer = NumericValue::FormatDouble(number);
      return *buffer;
    case kMissing:
      break;
  }
  return std::string_view();
}

DerivedExpression::~DerivedExpression() = default;

namespace derived_field {

namespace {

// Equality of a computed value with a value written in the document: numbers
// compare as numbers, texts byte for byte, booleans with "true"/"false" or 1/0.
bool Matches(const DerivedValue& value, const Literal& literal) {
  switch (value.kind) {
    case DerivedValue::kNumber:
      return literal.isNumber && literal.number == value.number;
    case DerivedValue::kBoolean:
      return literal.text == (value.number != 0 ? "true" : "false") ||
             (literal.isNumber && literal.number == value.number);
    case DerivedValue::kText:
      return value.text == literal.text;
    case DerivedValue::kMissing:
      break;
  }
  return false;
}

DerivedValue FiniteOrMissing(double x) {
  return std::isfinite(x) ? DerivedValue::Number(x) : DerivedValue::Missing();
}

// --- Constant ----------------------------------------------------------------

class ConstantExpr final : public DerivedExpression {
 public:
  ConstantExpr(DerivedValue::Kind kind, double number, std::string text)
      : kind_(kind), number_(number), text_(std::move(text)) {}

  DerivedValue Evaluate(const ScoreCaseRecord*, const ScoreCaseRecord*) const override {
    switch (kind_) {
      case DerivedValue::kNumber:
        return DerivedValue::Number(number_);
      case DerivedValue::kBoolean:
        return DerivedValue::Boolean(number_ != 0);
      case DerivedValue::kText:
        return DerivedValue::Text(text_);
      case DerivedValue::kMissing:
        break;
    }
    return DerivedValue::Missing();
  }

 private:
  DerivedValue::Kind kind_;
  double number_;
  std::string text_;
};

// --- FieldRef ----------------------------------------------------------------

// A data field (slot -1; read from the case record by position when the
// record is indexed and the variable's index is set, else by name) or a
// derived field defined earlier (read from its slot of the derived record).
// A value the variable declares missing counts as missing. Text on a numeric
// variable is read as a number (missing when it is not one).
class FieldRefExpr final : public DerivedExpression {
 public:
  FieldRefExpr(const ScoreDictVar* var, int slot)
      : var_(var), slot_(slot), numeric_(var->GetVariableType() == ScoreDictVar::kNumeric) {}

  void SetMapMissingTo(std::string text) { mapMissing_.Set(std::move(text)); }

  DerivedValue Evaluate(const ScoreCaseRecord* record,
                        const ScoreCaseRecord* derived) const override {
    const ScoreValue* value = nullptr;
    if (slot_ >= 0) {
      if (derived != nullptr) value = derived->GetValueAt(slot_);
    } else if (record != nullptr) {
      if (record->IsIndexed()) {
        const int index = var_->GetIndex();
        if (index >= 0) value = record->GetValueAt(index);
      }
      if (value == nullptr) value = record->GetValue(var_->GetName());
    }
    if (value == nullptr || var_->IsMissingValue(value)) return Missing();
    if (value->IsNumeric()) return DerivedValue::Number(value->ToDouble());
    std::string_view text;
    if (const auto* string = dynamic_cast<const StringValue*>(value)) {
      text = string->GetText();
    } else {
      buffer_ = value->ToString();
      text = buffer_;
    }
    if (!numeric_) return DerivedValue::Text(text);
    double x = 0;
    if (!NumericValue::ParseDouble(text, &x)) return Missing();
    return DerivedValue::Number(x);
  }

 private:
  DerivedValue Missing() const {
    return mapMissing_.present ? mapMissing_.Value() : DerivedValue::Missing();
  }

  const ScoreDictVar* var_;
  int slot_;
  bool numeric_;
  Literal mapMissing_;
  mutable std::string buffer_;
};

// --- NormContinuous ----------------------------------------------------------

// Piecewise linear interpolation between (orig, norm) points, orig strictly
// increasing, at least two points.
class NormContinuousExpr final : public DerivedExpression {
 public:
  NormContinuousExpr(Expr input, std::vector<std::pair<double, double>> points, Outliers outliers,
                     bool hasMapMissing, double mapMissing)
      : input_(std::move(input)),
        points_(std::move(points)),
        outliers_(outliers),
        hasMapMissing_(hasMapMissing),
        mapMissing_(mapMissing) {}

  DerivedValue Evaluate(const ScoreCaseRecord* record,
                        const ScoreCaseRecord* derived) const override {
    double x = 0;
    if (!input_->Evaluate(record, derived).ToNumber(&x)) {
      return hasMapMissing_ ? DerivedValue::Number(mapMissing_) : DerivedValue::Missing();
    }
    const size_t last = points_.size() - 1;
    size_t upper;  // the segment is [upper - 1, upper]
    if (x < points_[0].first || x > points_[last].first) {
      const bool below = x < points_[0].first;
      if (outliers_ == Outliers::kAsMissing) return DerivedValue::Missing();
      if (outliers_ == Outliers::kAsExtreme) {
        return DerivedValue::Number(below ? points_[0].second : points_[last].second);
      }
      upper = below ? 1 : last;
    } else {
      upper = 1;
      while (upper < last && x > points_[upper].first) ++upper;
    }
    const auto& a = points_[upper - 1];
    const auto& b = points_[upper];
    return FiniteOrMissing(a.second + (x - a.first) * (b.second - a.second) / (b.first - a.first));
  }

 private:
  Expr input_;
  std::vector<std::pair<double, double>> points_;
  Outliers outliers_;
  bool hasMapMissing_;
  double mapMissing_;
};

// --- NormDiscrete ------------------------------------------------------------

// 1 when the field equals the value, else 0.
class NormDiscreteExpr final : public DerivedExpression {
 public:
  NormDiscreteExpr(Expr input, Literal value, bool hasMapMissing, double mapMissing)
      : input_(std::move(input)),
        value_(std::move(value)),
        hasMapMissing_(hasMapMissing),
        mapMissing_(mapMissing) {}

  DerivedValue Evaluate(const ScoreCaseRecord* record,
                        const ScoreCaseRecord* derived) const override {
    const DerivedValue in = input_->Evaluate(record, derived);
    if (in.IsMissing()) {
      return hasMapMissing_ ? DerivedValue::Number(mapMissing_) : DerivedValue::Missing();
    }
    return DerivedValue::Number(Matches(in, value_) ? 1.0 : 0.0);
  }

 private:
  Expr input_;
  Literal value_;
  bool hasMapMissing_;
  double mapMissing_;
};

// --- Discretize --------------------------------------------------------------

// The value of the first bin holding the field's number. A text that is not
// a number is treated like a missing input.
class DiscretizeExpr final : public DerivedExpression {
 public:
  DiscretizeExpr(Expr input, std::vector<Bin> bins, Literal defaultValue, Literal mapMissing)
      : input_(std::move(input)),
        bins_(std::move(bins)),
        default_(std::move(defaultValue)),
        mapMissing_(std::move(mapMissing)) {}

  DerivedValue Evaluate(const ScoreCaseRecord* record,
                        const ScoreCaseRecord* derived) const override {
    double x = 0;
    if (!input_->Evaluate(record, derived).ToNumber(&x)) {
      return mapMissing_.present ? mapMissing_.Value() : DerivedValue::Missing();
    }
    for (const Bin& bin : bins_) {
      if (bin.Contains(x)) return bin.value.Value();
    }
    return default_.present ? default_.Value() : DerivedValue::Missing();
  }

 private:
  Expr input_;
  std::vector<Bin> bins_;
  Literal default_;
  Literal mapMissing_;
};

// --- MapValues ---------------------------------------------------------------

// The output cell of the first row whose input cells equal the fields.
class MapValuesExpr final : public DerivedExpression {
 public:
  MapValuesExpr(std::vector<Expr> inputs, std::vector<TableRow> rows, Literal defaultValue,
                Literal mapMissing)
      : inputs_(std::move(inputs)),
        rows_(std::move(rows)),
        default_(std::move(defaultValue)),
        mapMissing_(std::move(mapMissing)),
        values_(inputs_.size()) {}

  DerivedValue Evaluate(const ScoreCaseRecord* record,
                        const ScoreCaseRecord* derived) const override {
    for (size_t i = 0; i < inputs_.size(); ++i) {
      values_[i] = inputs_[i]->Evaluate(record, derived);
      if (values_[i].IsMissing()) {
        return mapMissing_.present ? mapMissing_.Value() : DerivedValue::Missing();
      }
    }
    for (const TableRow& row : rows_) {
      bool match = true;
      for (size_t i = 0; match && i < values_.size(); ++i) {
        match = row.keys[i].present && Matches(values_[i], row.keys[i]);
      }
      if (match) return row.output.present ? row.output.Value() : DerivedValue::Missing();
    }
    return default_.present ? default_.Value() : DerivedValue::Missing();
  }

 private:
  std::vector<Expr> inputs_;
  std::vector<TableRow> rows_;
  Literal default_;
  Literal mapMissing_;
  mutable std::vector<DerivedValue> values_;  // the inputs of the current case
};

}  // namespace

// --- Apply -------------------------------------------------------------------

// Declared in DerivedExpressions.h for FunctionInfo.
enum class Fn : int {
  kAdd,
  kSubtract,
  kMultiply,
  kDivide,
  kEqual,
  kNotEqual,
  kLessThan,
  kLessOrEqual,
  kGreaterThan,
  kGreaterOrEqual,
  kAnd,
  kOr,
  kNot,
  kIf,
  kIsMissing,
  kIsNotMissing,
  kAbs,
  kExp,
  kLn,
  kLog10,
  kSqrt,
  kPow,
  kFloor,
  kCeil,
  kRound,
  kMin,
  kMax,
  kSum,
  kAvg,
  kThreshold,
  kConcat,
  kUppercase,
  kLowercase,
  kSubstring,
  kTrimBlanks,
};

namespace {

constexpr FunctionInfo kFunctions[] = {
    {"+", Fn::kAdd, 2, 2},
    {"-", Fn::kSubtract, 2, 2},
    {"*", Fn::kMultiply, 2, 2},
    {"/", Fn::kDivide, 2, 2},
    {"equal", Fn::kEqual, 2, 2},
    {"notEqual", Fn::kNotEqual, 2, 2},
    {"lessThan", Fn::kLessThan, 2, 2},
    {"lessOrEqual", Fn::kLessOrEqual, 2, 2},
    {"greaterThan", Fn::kGreaterThan, 2, 2},
    {"greaterOrEqual", Fn::kGreaterOrEqual, 2, 2},
    {"and", Fn::kAnd, 2, -1},
    {"or", Fn::kOr, 2, -1},
    {"not", Fn::kNot, 1, 1},
    {"if", Fn::kIf, 2, 3},
    {"isMissing", Fn::kIsMissing, 1, 1},
    {"isNotMissing", Fn::kIsNotMissing, 1, 1},
    {"abs", Fn::kAbs, 1, 1},
    {"exp", Fn::kExp, 1, 1},
    {"ln", Fn::kLn, 1, 1},
    {"log10", Fn::kLog10, 1, 1},
    {"sqrt", Fn::kSqrt, 1, 1},
    {"pow", Fn::kPow, 2, 2},
    {"floor", Fn::kFloor, 1, 1},
    {"ceil", Fn::kCeil, 1, 1},
    {"round", Fn::kRound, 1, 1},
    {"min", Fn::kMin, 1, -1},
    {"max", Fn::kMax, 1, -1},
    {"sum", Fn::kSum, 1, -1},
    {"avg", Fn::kAvg, 1, -1},
    {"threshold", Fn::kThreshold, 2, 2},
    {"concat", Fn::kConcat, 1, -1},
    {"uppercase", Fn::kUppercase, 1, 1},
    {"lowercase", Fn::kLowercase, 1, 1},
    {"substring", Fn::kSubstring, 3, 3},
    {"trimBlanks", Fn::kTrimBlanks, 1, 1},
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// A built-in function applied to its arguments. When the result is missing,
// mapMissingTo replaces it if an input was missing, else defaultValue does.
class ApplyExpr final : public DerivedExpression {
 public:
  ApplyExpr(Fn fn, std::vector<Expr> args, Literal mapMissing, Literal defaultValue)
      : fn_(fn),
        args_(std::move(args)),
        mapMissing_(std::move(mapMissing)),
        default_(std::move(defaultValue)) {}

  DerivedValue Evaluate(const ScoreCaseRecord* record,
                        const ScoreCaseRecord* derived) const override {
    bool inputMissing = false;
    const DerivedValue result = Compute(record, derived, &inputMissing);
    if (!result.IsMissing()) return result;
    if (inputMissing && mapMissing_.present) return mapMissing_.Value();
    if (default_.present) return default_.Value();
    return result;
  }

 private:
  DerivedValue Arg(size_t i, const ScoreCaseRecord* record, const ScoreCaseRecord* derived) const {
    return args_[i]->Evaluate(record, derived);
  }

  // Argument i as a number; false (and *missing set) when it is missing or
  // not a number.
  bool Number(size_t i, const ScoreCaseRecord* record, const ScoreCaseRecord* derived, double* x,
              bool* missing) const {
    if (Arg(i, record, derived).ToNumber(x)) return true;
    *missing = true;
    return false;
  }

  DerivedValue Compute(const ScoreCaseRecord* record, const ScoreCaseRecord* derived,
                       bool* missing) const {
    double a = 0;
    double b = 0;
    switch (fn_) {
      case Fn::kAdd:
      case Fn::kSubtract:
      case Fn::kMultiply:
      case Fn::kDivide:
      case Fn::kPow:
      case Fn::kThreshold:
        if (!Number(0, record, derived, &a, missing) || !Number(1, record, derived, &b, missing)) {
          return DerivedValue::Missing();
        }
        switch (fn_) {
          case Fn::kAdd:
            return FiniteOrMissing(a + b);
          case Fn::kSubtract:
            return FiniteOrMissing(a - b);
          case Fn::kMultiply:
            return FiniteOrMissing(a * b);
          case Fn::kDivide:
            return b == 0 ? DerivedValue::Missing() : FiniteOrMissing(a / b);
          case Fn::kPow:
            return FiniteOrMissing(std::pow(a, b));
          default:
            return DerivedValue::Number(a > b ? 1.0 : 0.0);
        }

      case Fn::kEqual:
      case Fn::kNotEqual:
      case Fn::kLessThan:
      case Fn::kLessOrEqual:
      case Fn::kGreaterThan:
      case Fn::kGreaterOrEqual:
        return Compare(Arg(0, record, derived), Arg(1, record, derived), missing);

      case Fn::kAnd:
      case Fn::kOr: {
        // Three-valued: a false operand decides "and", a true one "or", even
        // when another operand is missing.
        const bool decisive = fn_ == Fn::kOr;
        bool sawMissing = false;
        for (size_t i = 0; i < args_.size(); ++i) {
          bool value = false;
          if (!Arg(i, record, derived).ToBoolean(&value)) {
            sawMissing = true;
          } else if (value == decisive) {
            return DerivedValue::Boolean(decisive);
          }
        }
        if (sawMissing) {
          *missing = true;
          return DerivedValue::Missing();
        }
        return DerivedValue::Boolean(!decisive);
      }
      case Fn::kNot: {
        bool value = false;
        if (!Arg(0, record, derived).ToBoolean(&value)) {
          *missing = true;
          return DerivedValue::Missing();
        }
        return DerivedValue::Boolean(!value);
      }
      case Fn::kIf: {
        bool condition = false;
        if (!Arg(0, record, derived).ToBoolean(&condition)) {
          *missing = true;
          return DerivedValue::Missing();
        }
        if (!condition && args_.size() < 3) return DerivedValue::Missing();
        const DerivedValue branch = Arg(condition ? 1 : 2, record, derived);
        if (branch.IsMissing()) *missing = true;
        return branch;
      }
      case Fn::kIsMissing:
        return DerivedValue::Boolean(Arg(0, record, derived).IsMissing());
      case Fn::kIsNotMissing:
        return DerivedValue::Boolean(!Arg(0, record, derived).IsMissing());

      case Fn::kAbs:
      case Fn::kExp:
      case Fn::kLn:
      case Fn::kLog10:
      case Fn::kSqrt:
      case Fn::kFloor:
      case Fn::kCeil:
      case Fn::kRound:
        if (!Number(0, record, derived, &a, missing)) return DerivedValue::Missing();
        switch (fn_) {
          case Fn::kAbs:
            return DerivedValue::Number(std::fabs(a));
          case Fn::kExp:
            return FiniteOrMissing(std::exp(a));
          case Fn::kLn:
            return a > 0 ? FiniteOrMissing(std::log(a)) : DerivedValue::Missing();
          case Fn::kLog10:
            return a > 0 ? FiniteOrMissing(std::log10(a)) : DerivedValue::Missing();
          case Fn::kSqrt:
            return a >= 0 ? FiniteOrMissing(std::sqrt(a)) : DerivedValue::Missing();
          case Fn::kFloor:
            return DerivedValue::Number(std::floor(a));
          case Fn::kCeil:
            return DerivedValue::Number(std::ceil(a));
          default:
            return DerivedValue::Number(std::floor(a + 0.5));
        }

      case Fn::kMin:
      case Fn::kMax:
      case Fn::kSum:
      case Fn::kAvg: {
        // Missing inputs are left out; with none left the result is missing.
        int count = 0;
        double acc = 0;
        for (size_t i = 0; i < args_.size(); ++i) {
          double x = 0;
          if (!Arg(i, record, derived).ToNumber(&x)) continue;
          if (count == 0) {
            acc = x;
          } else if (fn_ == Fn::kMin) {
            acc = x < acc ? x : acc;
          } else if (fn_ == Fn::kMax) {
            acc = x > acc ? x : acc;
          } else {
            acc += x;
          }
          ++count;
        }
        if (count == 0) {
          *missing = true;
          return DerivedValue::Missing();
        }
        return FiniteOrMissing(fn_ == Fn::kAvg ? acc / count : acc);
      }

      case Fn::kConcat: {
        buffer_.clear();
        for (size_t i = 0; i < args_.size(); ++i) {
          const DerivedValue value = Arg(i, record, derived);
          if (value.IsMissing()) {
            *missing = true;
            return DerivedValue::Missing();
          }
          const std::string_view piece = value.ToText(&scratch_);
          if (buffer_.size() + piece.size() > DerivedValue::kMaxTextBytes) {
            buffer_.clear();
            return DerivedValue::Missing();
          }
          buffer_.append(piece);
        }
        return DerivedValue::Text(buffer_);
      }
      case Fn::kUppercase:
      case Fn::kLowercase: {
        const DerivedValue value = Arg(0, record, derived);
        if (value.IsMissing()) {
          *missing = true;
          return value;
        }
        const std::string_view text = value.ToText(&scratch_);
        if (text.size() > DerivedValue::kMaxTextBytes) return DerivedValue::Missing();
        buffer_.assign(text);
        // ASCII letters only: the result does not depend on the locale.
        for (char& c : buffer_) {
          if (fn_ == Fn::kUppercase && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
          if (fn_ == Fn::kLowercase && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        return DerivedValue::Text(buffer_);
      }
      case Fn::kTrimBlanks: {
        const DerivedValue value = Arg(0, record, derived);
        if (value.IsMissing()) {
          *missing = true;
          return value;
        }
        std::string_view text = value.ToText(&scratch_);
        while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
        while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
        return DerivedValue::Text(text);
      }
      case Fn::kSubstring:
        return Substring(record, derived, missing);
    }
    return DerivedValue::Missing();
  }

  // Numbers compare as numbers when either side is a number or a boolean;
  // two texts compare byte for byte.
  DerivedValue Compare(const DerivedValue& left, const DerivedValue& right, bool* missing) const {
    if (left.IsMissing() || right.IsMissing()) {
      *missing = true;
      return DerivedValue::Missing();
    }
    int order = 0;
    if (left.kind == DerivedValue::kText && right.kind == DerivedValue::kText) {
      const int c = left.text.compare(right.text);
      order = c < 0 ? -1 : (c > 0 ? 1 : 0);
    } else {
      double a = 0;
      double b = 0;
      if (!left.ToNumber(&a) || !right.ToNumber(&b)) {
        *missing = true;
        return DerivedValue::Missing();
      }
      order = a < b ? -1 : (a > b ? 1 : 0);
    }
    switch (fn_) {
      case Fn::kEqual:
        return DerivedValue::Boolean(order == 0);
      case Fn::kNotEqual:
        return DerivedValue::Boolean(order != 0);
      case Fn::kLessThan:
        return DerivedValue::Boolean(order < 0);
      case Fn::kLessOrEqual:
        return DerivedValue::Boolean(order <= 0);
      case Fn::kGreaterThan:
        return DerivedValue::Boolean(order > 0);
      default:
        return DerivedValue::Boolean(order >= 0);
    }
  }

  // substring(text, start, length): the characters at 1-based positions p
  // with start <= p < start + length (positions and length rounded), counting
  // UTF-8 characters.
  DerivedValue Substring(const ScoreCaseRecord* record, const ScoreCaseRecord* derived,
                         bool* missing) const {
    const DerivedValue value = Arg(0, record, derived);
    double start = 0;
    double length = 0;
    if (value.IsMissing() || !Number(1, record, derived, &start, missing) ||
        !Number(2, record, derived, &length, missing)) {
      *missing = true;
      return DerivedValue::Missing();
    }
    const std::string_view text = value.ToText(&scratch_);
    start = std::floor(start + 0.5);
    const double end = start + std::floor(length + 0.5);
    size_t from = text.size();
    size_t to = text.size();
    double position = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;  // continuation byte
      ++position;
      if (from == text.size() && position >= start && position < end) from = i;
      if (position >= end) {
        to = i;
        break;
      }
    }
    if (from >= to) return DerivedValue::Text(std::string_view());
    return DerivedValue::Text(text.substr(from, to - from));
  }

  Fn fn_;
  std::vector<Expr> args_;
  Literal mapMissing_;
  Literal default_;
  mutable std::string buffer_;   // texts this function builds
  mutable std::string scratch_;  // a number turned into text
};

}  // namespace

// --- Factories -----------------------------------------------------------------

const FunctionInfo* FindFunction(const std::string& name) {
  for (const FunctionInfo& info : kFunctions) {
    if (name == info.name) return &info;
  }
  return nullptr;
}

Expr MakeConstant(DerivedValue::Kind kind, double number, std::string text) {
  return std::make_unique<ConstantExpr>(kind, number, std::move(text));
}

Expr MakeFieldRef(const ScoreDictVar* var, int slot) {
  return std::make_unique<FieldRefExpr>(var, slot);
}

void SetMapMissingTo(DerivedExpression* fieldRef, std::string text) {
  static_cast<FieldRefExpr*>(fieldRef)->SetMapMissingTo(std::move(text));
}

Expr MakeNormContinuous(Expr input, std::vector<std::pair<double, double>> points,
                        Outliers outliers, bool hasMapMissing, double mapMissing) {
  return std::make_unique<NormContinuousExpr>(std::move(input), std::move(points), outliers,
                                              hasMapMissing, mapMissing);
}

Expr MakeNormDiscrete(Expr input, Literal value, bool hasMapMissing, double mapMissing) {
  return std::make_unique<NormDiscreteExpr>(std::move(input), std::move(value), hasMapMissing,
                                            mapMissing);
}

Expr MakeDiscretize(Expr input, std::vector<Bin> bins, Literal defaultValue, Literal mapMissing) {
  return std::make_unique<DiscretizeExpr>(std::move(input), std::move(bins),
                                          std::move(defaultValue), std::move(mapMissing));
}

Expr MakeMapValues(std::vector<Expr> inputs, std::vector<TableRow> rows, Literal defaultValue,
                   Literal mapMissing) {
  return std::make_unique<MapValuesExpr>(std::move(inputs), std::move(rows),
                                         std::move(defaultValue), std::move(mapMissing));
}

Expr MakeApply(const FunctionInfo& function, std::vector<Expr> args, Literal mapMissing,
               Literal defaultValue) {
  return std::make_unique<ApplyExpr>(function.fn, std::move(args), std::move(mapMissing),
                                     std::move(defaultValue));
}

}  // namespace derived_field
