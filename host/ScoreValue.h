#pragma once

#include <string>
#include <string_view>

#include "host/HostExport.h"

// A single value of a case, a category or a prediction: a number or a text.
// Values are immutable to their readers; records reuse their own value
// objects from row to row through the Set operations. NumericValue and
// StringValue are the only kinds: the host relies on a kNumeric value being a
// NumericValue and a kString value a StringValue.
class DX_HOST_API ScoreValue {
 public:
  enum ValueType { kNumeric = 0, kString = 1 };

  virtual ~ScoreValue();

  virtual ValueType GetValueType() const = 0;
  bool IsNumeric() const { return GetValueType() == kNumeric; }
  bool IsString() const { return GetValueType() == kString; }

  // The kind without a virtual call: kNumericTag for a NumericValue,
  // kStringTag for a StringValue, kOtherTag for any other class.
  enum TypeTag : unsigned char { kNumericTag = 0, kStringTag = 1, kOtherTag = 2 };
  TypeTag GetTypeTag() const { return tag_; }

  // Numeric values are equal when their numbers are equal; string values when
  // their texts are equal byte for byte; a numeric and a string value never.
  virtual bool Equals(const ScoreValue* other) const = 0;
  virtual double ToDouble() const = 0;
  virtual std::string ToString() const = 0;
  // A new copy; the caller owns it.
  virtual ScoreValue* Clone() const = 0;

 protected:
  ScoreValue() = default;
  explicit ScoreValue(TypeTag tag) : tag_(tag) {}
  ScoreValue(const ScoreValue&) = default;
  ScoreValue& operator=(const ScoreValue&) = default;

 private:
  TypeTag tag_ = kOtherTag;
};

class DX_HOST_API NumericValue final : public ScoreValue {
 public:
  explicit NumericValue(double value) : ScoreValue(kNumericTag), value_(value) {}
  // Parses the whole text (blanks around allowed); text that is not a number
  // gives the system-missing number.
  explicit NumericValue(const std::string& text);
  NumericValue(const NumericValue&) = default;
  NumericValue& operator=(const NumericValue&) = default;

  ValueType GetValueType() const override { return kNumeric; }
  bool Equals(const ScoreValue* other) const override;
  double ToDouble() const override { return value_; }
  // The shortest decimal text that reads back to the same double: 3, 2.5, -1.
  std::string ToString() const override;
  ScoreValue* Clone() const override { return new NumericValue(value_); }

  double GetValue() const { return value_; }
  void Set(double value) { value_ = value; }

  // The system-missing number: the most negative finite double (-DBL_MAX).
  static double GetSysmisValue();
  static double GetInfinity();  // +inf

  // Parses a whole number text, blanks around allowed. False when the text is
  // empty or not a number; *out is then untouched.
  static bool ParseDouble(std::string_view text, double* out);
  // Shortest round-trip text of a double (also used by the batch scorer).
  static std::string FormatDouble(double value);

 private:
  double value_;
};

class DX_HOST_API StringValue final : public ScoreValue {
 public:
  explicit StringValue(std::string text) : ScoreValue(kStringTag), text_(std::move(text)) {}
  StringValue(const StringValue&) = default;
  StringValue& operator=(const StringValue&) = default;

  ValueType GetValueType() const override { return kString; }
  bool Equals(const ScoreValue* other) const override;
  // Parses the text as a number; system-missing when it is not one.
  double ToDouble() const override;
  std::string ToString() const override { return text_; }
  ScoreValue* Clone() const override { return new StringValue(text_); }

  const std::string& GetText() const { return text_; }
  // Reuses the string's storage.
  void Set(std::string_view text) { text_.assign(text.data(), text.size()); }

 private:
  std::string text_;
};
