#include <gtest/gtest.h>

#include "host/BaseDictionary.h"
#include "host/ScoreSplitVar.h"

namespace {

const double kInf = NumericValue::GetInfinity();

class ScaleSplitTest : public ::testing::Test {
 protected:
  int Route(double x) const {
    NumericValue value(x);
    return split_.GetChildIndex(&value);
  }

  DictVar var_{"age", ScoreDictVar::kNumeric};
  ScaleSplit split_{&var_};
};

TEST_F(ScaleSplitTest, ClosedEndsIncludedOpenEndsExcluded) {
  split_.PutSplit(new Range(new NumericValue(-kInf), new NumericValue(10), false, true), 0);
  split_.PutSplit(new Range(10, 20, false, false), 1);
  split_.PutSplit(new Range(new NumericValue(20), new NumericValue(kInf), true, false), 2);
  // Unbounded ends are open: infinity itself is outside.
  const std::pair<double, int> routes[] = {{-1e300, 0}, {10, 0},    {10.000001, 1}, {19.999, 1},
                                           {20, 2},     {1e300, 2}, {kInf, -1},     {-kInf, -1}};
  for (const auto& [x, child] : routes) EXPECT_EQ(Route(x), child) << x;
}

TEST_F(ScaleSplitTest, GapsAndUnroutableValuesGiveMinusOne) {
  split_.PutSplit(new Range(0, 1, true, true), 0);
  split_.PutSplit(new Range(2, 3, true, true), 1);
  EXPECT_EQ(Route(1.5), -1);
  EXPECT_EQ(split_.GetChildIndex(nullptr), -1);
  StringValue text("2.5");
  EXPECT_EQ(split_.GetChildIndex(&text), -1);
  split_.PutSplit(new Range(-kInf, kInf, false, false), 2);
  // The system-missing number is not routed even by a range that holds it.
  EXPECT_EQ(Route(NumericValue::GetSysmisValue()), -1);
  EXPECT_EQ(Route(std::numeric_limits<double>::quiet_NaN()), -1);
  EXPECT_EQ(Route(1.5), 2);
}

TEST_F(ScaleSplitTest, FirstRangeInPutOrderWins) {
  split_.PutSplit(new Range(5, 15, true, true), 1);
  split_.PutSplit(new Range(0, 10, true, true), 0);
  EXPECT_EQ(Route(7), 1);
  EXPECT_EQ(Route(3), 0);
  // Several ranges may lead to one child.
  split_.PutSplit(new Range(100, 200, true, true), 0);
  EXPECT_EQ(Route(150), 0);
}

TEST_F(ScaleSplitTest, NullRangeIsIgnored) {
  split_.PutSplit(new Range(-kInf, 10, false, true), 0);
  split_.PutSplit(nullptr, 3);
  EXPECT_EQ(split_.GetRanges().size(), 1u);
}

TEST(DiscreteSplitTest, NumericValuesRouteByNumber) {
  DictVar var("grade", ScoreDictVar::kNumeric);
  DiscreteSplit split(&var);
  split.PutSplit(new NumericValue(1), 0);
  split.PutSplit(new NumericValue(2), 1);
  split.PutSplit(new NumericValue(3), 1);
  split.PutSplit(new NumericValue(2), 0);  // a repeated value: the first wins
  NumericValue one(1), two(2), three(3.0), four(4);
  StringValue textOne("1");
  EXPECT_EQ(split.GetChildIndex(&one), 0);
  EXPECT_EQ(split.GetChildIndex(&two), 1);
  EXPECT_EQ(split.GetChildIndex(&three), 1);
  EXPECT_EQ(split.GetChildIndex(&four), -1);
  EXPECT_EQ(split.GetChildIndex(&textOne), -1);
  EXPECT_EQ(split.GetChildIndex(nullptr), -1);
}

TEST(DiscreteSplitTest, StringValuesRouteByExactText) {
  DictVar var("color", ScoreDictVar::kString);
  DiscreteSplit split(&var);
  split.PutSplit(new StringValue("red"), 0);
  split.PutSplit(new StringValue("green"), 1);
  split.PutSplit(new StringValue("blue"), 1);
  split.PutSplit(new NumericValue(7), 2);
  StringValue green("green"), blue("blue"), red("Red"), seven("7");
  NumericValue numberSeven(7);
  EXPECT_EQ(split.GetChildIndex(&green), 1);
  EXPECT_EQ(split.GetChildIndex(&blue), 1);
  EXPECT_EQ(split.GetChildIndex(&red), -1);
  EXPECT_EQ(split.GetChildIndex(&seven), -1);  // text never equals a number
  EXPECT_EQ(split.GetChildIndex(&numberSeven), 2);
}

}  // namespace
