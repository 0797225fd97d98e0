#include <cfloat>
#include <charconv>
#include <limits>
#include <string>
#include <system_error>

#include "host/ScoreValue.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

double NumericValue::GetSysmisValue() { return -DBL_MAX; }

double NumericValue::GetInfinity() { return std::numeric_limits<double>::infinity(); }

bool NumericValue::ParseDouble(std::string_view text, double* out) {
  const char* first = text.data();
  const char* last = first + text.size();
  while (first < last && IsBlank(*first)) ++first;
  while (last > first && IsBlank(last[-1])) --last;
  if (first == last) return false;
  // A leading '+' is allowed (XML numbers may carry one); from_chars refuses it.
  const char* body = first;
  if (*body == '+') {
    ++body;
    if (body < last && *body == '-') return false;
  }
  const char* digits = body < last && *body == '-' ? body + 1 : body;
  // Only decimal numbers: this refuses "inf", "nan" and their spellings.
  if (digits == last || !((*digits >= '0' && *digits <= '9') || *digits == '.')) return false;
  double value = 0;
  std::from_chars_result r = std::from_chars(body, last, value, std::chars_format::general);
  if (r.ec != std::errc() || r.ptr != last) return false;
  *out = value;
  return true;
}

std::string NumericValue::FormatDouble(double value) {
  char buffer[64];
  std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, r.ptr);
}

NumericValue::NumericValue(const std::string& text)
    : ScoreValue(kNumericTag), value_(GetSysmisValue()) {
  ParseDouble(text, &value_);
}

// Values of other classes compare through the interface; only a value of
// this very class may be read directly.
bool NumericValue::Equals(const ScoreValue* other) const {
  if (other == nullptr) return false;
  if (other->GetTypeTag() == kNumericTag) {
    return static_cast<const NumericValue*>(other)->value_ == value_;
  }
  return other->GetTypeTag() == kOtherTag && other->GetValueType() == kNumeric &&
         other->ToDouble() == value_;
}

std::string NumericValue::ToString() const { return FormatDouble(value_); }

bool StringValue::Equals(const ScoreValue* other) const {
  if (other == nullptr) return false;
  if (other->GetTypeTag() == kStringTag) {
    return static_cast<const StringValue*>(other)->text_ == text_;
  }
  return other->GetTypeTag() == kOtherTag && other->GetValueType() == kString &&
         other->ToString() == text_;
}

double StringValue::ToDouble() const {
  double value = NumericValue::GetSysmisValue();
  NumericValue::ParseDouble(text_, &value);
  return value;
}
