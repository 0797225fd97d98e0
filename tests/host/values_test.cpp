#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>

#include "host/ScoreValue.h"

namespace {

TEST(NumericValueText, ShortestRoundTripText) {
  EXPECT_EQ(NumericValue(3).ToString(), "3");
  EXPECT_EQ(NumericValue(2.5).ToString(), "2.5");
  EXPECT_EQ(NumericValue(0.1).ToString(), "0.1");
  EXPECT_EQ(NumericValue(-1).ToString(), "-1");
  EXPECT_EQ(NumericValue(0.7450980392156863).ToString(), "0.7450980392156863");
  EXPECT_EQ(NumericValue::FormatDouble(123456789012.0), "123456789012");
  // Every text reads back to the very same double.
  for (double x : {1.0 / 3, 1e300, -2.2250738585072014e-308, 6.02214076e23, 0.30000000000000004}) {
    double back = 0;
    ASSERT_TRUE(NumericValue::ParseDouble(NumericValue::FormatDouble(x), &back)) << x;
    EXPECT_EQ(back, x);
  }
}

TEST(NumericValueText, ParseAcceptsWholeDecimalNumbers) {
  struct Case {
    const char* text;
    double value;
  } cases[] = {{"42", 42}, {"  -2.5\t", -2.5}, {"+7", 7},         {".5", 0.5},
               {"5.", 5},  {"1e3", 1000},      {"1.5E-2", 0.015}, {"\n0\r\n", 0}};
  for (const Case& c : cases) {
    double out = -99;
    EXPECT_TRUE(NumericValue::ParseDouble(c.text, &out)) << c.text;
    EXPECT_EQ(out, c.value) << c.text;
  }
  const char buffer[] = "12345";  // the view ends before the text does
  double out = 0;
  ASSERT_TRUE(NumericValue::ParseDouble(std::string_view(buffer, 2), &out));
  EXPECT_EQ(out, 12);
}

TEST(NumericValueText, ParseRefusesAnythingElseAndLeavesOutputAlone) {
  for (const char* text : {"", "   ", "abc", "1.2.3", "12abc", "1e", "0x10", "inf", "-inf", "nan",
                           "NaN", "infinity", "+-1", "- 1", "1 2", "1e999", "+", "-", "1,5"}) {
    double out = 17;
    EXPECT_FALSE(NumericValue::ParseDouble(text, &out)) << '"' << text << '"';
    EXPECT_EQ(out, 17) << text;
  }
}

TEST(SystemMissing, IsMostNegativeFiniteDouble) {
  EXPECT_EQ(NumericValue::GetSysmisValue(), -DBL_MAX);
  // Text that is not a number gives the system-missing number.
  EXPECT_EQ(NumericValue(std::string("abc")).ToDouble(), -DBL_MAX);
  EXPECT_EQ(NumericValue(std::string(" 4.25 ")).ToDouble(), 4.25);
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
  NumericValue one(1), alsoOne(1.0), two(2);
  StringValue textOne("1"), textA("a"), alsoA("a"), upperA("A"), aBlank("a ");
  EXPECT_TRUE(one.Equals(&alsoOne));
  EXPECT_FALSE(one.Equals(&two));
  EXPECT_FALSE(one.Equals(&textOne));
  EXPECT_FALSE(textOne.Equals(&one));
  EXPECT_TRUE(textA.Equals(&alsoA));
  EXPECT_FALSE(textA.Equals(&upperA));
  EXPECT_FALSE(textA.Equals(&aBlank));
  EXPECT_FALSE(one.Equals(nullptr));
  EXPECT_FALSE(textA.Equals(nullptr));
  // Values of another class compare by their declared type and content.
  const ForeignValue foreignA(ScoreValue::kString, "a"), foreignOne(ScoreValue::kNumeric, "1");
  EXPECT_TRUE(textA.Equals(&foreignA));
  EXPECT_FALSE(upperA.Equals(&foreignA));
  EXPECT_FALSE(textOne.Equals(&foreignOne));
  EXPECT_TRUE(one.Equals(&foreignOne));
  EXPECT_FALSE(two.Equals(&foreignOne));
  EXPECT_FALSE(one.Equals(&foreignA));
  NumericValue zero(0.0), minusZero(-0.0);
  EXPECT_TRUE(zero.Equals(&minusZero));
  NumericValue nan(std::numeric_limits<double>::quiet_NaN());
  EXPECT_FALSE(nan.Equals(&nan));
  // Embedded NUL and non-ASCII bytes take part in the comparison.
  StringValue nulB(std::string("a\0b", 3)), nulC(std::string("a\0c", 3)), accented("caf\xC3\xA9"),
      accentedCopy("caf\xC3\xA9");
  EXPECT_FALSE(nulB.Equals(&nulC));
  EXPECT_TRUE(accented.Equals(&accentedCopy));
}

}  // namespace
