#include <gtest/gtest.h>

#include <cfloat>
#include <limits>
#include <string>
#include <tuple>

#include "host/ScoreValue.h"

namespace {

TEST(NumericValueText, ShortestRoundTripText) {
  const std::pair<double, const char*> texts[] = {{3, "3"},
                                                  {0.1, "0.1"},
                                                  {-1, "-1"},
                                                  {0.7450980392156863, "0.7450980392156863"},
                                                  {123456789012.0, "123456789012"}};
  for (const auto& [x, text] : texts) EXPECT_EQ(NumericValue(x).ToString(), text);
  // Every text reads back to the very same double.
  for (double x : {1.0 / 3, 1e300, -2.2250738585072014e-308, 0.30000000000000004}) {
    double back = 0;
    ASSERT_TRUE(NumericValue::ParseDouble(NumericValue::FormatDouble(x), &back)) << x;
    EXPECT_EQ(back, x);
  }
}

TEST(NumericValueText, ParseAcceptsWholeDecimalNumbersOnly) {
  // The tool's own number parser is checked against this one on many more texts.
  const std::pair<const char*, double> accepted[] = {
      {"  -2.5\t", -2.5}, {"+7", 7}, {".5", 0.5}, {"1.5E-2", 0.015}, {"\n1e3\r\n", 1000}};
  for (const auto& [text, value] : accepted) {
    double out = -99;
    EXPECT_TRUE(NumericValue::ParseDouble(text, &out)) << text;
    EXPECT_EQ(out, value) << text;
  }
  // Refused text leaves the output alone.
  for (const char* text :
       {"", "   ", "1.2.3", "12abc", "1e", "0x10", "infinity", "+-1", "- 1", "1 2", "1e999", "-"}) {
    double out = 17;
    EXPECT_FALSE(NumericValue::ParseDouble(text, &out)) << '"' << text << '"';
    EXPECT_EQ(out, 17) << text;
  }
  const char buffer[] = "12345";  // the view ends before the text does
  double out = 0;
  ASSERT_TRUE(NumericValue::ParseDouble(std::string_view(buffer, 2), &out));
  EXPECT_EQ(out, 12);
  // Text that is not a number gives the system-missing number, the most negative double.
  EXPECT_EQ(NumericValue::GetSysmisValue(), -DBL_MAX);
  EXPECT_EQ(NumericValue(std::string("abc")).ToDouble(), -DBL_MAX);
  EXPECT_EQ(StringValue("x1").ToDouble(), -DBL_MAX);
  EXPECT_EQ(StringValue("12").ToDouble(), 12);
}

// A value class of a plug-in's own, text or number by its declared type.
class ForeignValue : public ScoreValue {
 public:
  ForeignValue(ValueType type, std::string text) : type_(type), text_(std::move(text)) {}
  ValueType GetValueType() const override { return type_; }
  bool Equals(const ScoreValue*) const override { return false; }
  double ToDouble() const override { return std::stod(text_); }
  std::string ToString() const override { return text_; }
  ScoreValue* Clone() const override { return new ForeignValue(type_, text_); }

 private:
  ValueType type_;
  std::string text_;
};

TEST(ValueEquality, SameKindComparesContentOtherKindNever) {
  NumericValue one(1), alsoOne(1.0), two(2), zero(0.0), minusZero(-0.0),
      nan(std::numeric_limits<double>::quiet_NaN());
  // Embedded NUL and non-ASCII bytes take part in the comparison.
  StringValue textOne("1"), textA("a"), alsoA("a"), upperA("A"), aBlank("a "),
      nulB(std::string("a\0b", 3)), nulC(std::string("a\0c", 3)), accented("caf\xC3\xA9"),
      accentedCopy("caf\xC3\xA9");
  // Values of another class compare by their declared type and content.
  const ForeignValue foreignA(ScoreValue::kString, "a"), foreignOne(ScoreValue::kNumeric, "1");
  const std::tuple<const ScoreValue*, const ScoreValue*, bool> pairs[] = {
      {&one, &alsoOne, true},          {&one, &two, false},         {&one, &textOne, false},
      {&textOne, &one, false},         {&textA, &alsoA, true},      {&textA, &upperA, false},
      {&textA, &aBlank, false},        {&one, nullptr, false},      {&textA, nullptr, false},
      {&textA, &foreignA, true},       {&upperA, &foreignA, false}, {&textOne, &foreignOne, false},
      {&one, &foreignOne, true},       {&two, &foreignOne, false},  {&one, &foreignA, false},
      {&zero, &minusZero, true},       {&nan, &nan, false},         {&nulB, &nulC, false},
      {&accented, &accentedCopy, true}};
  for (const auto& [a, b, equal] : pairs) {
    EXPECT_EQ(a->Equals(b), equal) << a->ToString() << " vs " << (b ? b->ToString() : "null");
  }
}

}  // namespace
