#include <gtest/gtest.h>

#include <limits>

#include "host/BaseDictionary.h"
#include "host/ScoreSplitVar.h"

namespace {

const double kInf = NumericValue::GetInfinity();

TEST(ScaleSplitTest, ClosedEndsIncludedOpenEndsExcluded) {
  DictVar var("age", ScoreDictVar::kNumeric);
  ScaleSplit split(&var);
  split.PutSplit(new Range(new NumericValue(-kInf), new NumericValue(10), false, true), 0);
  split.PutSplit(new Range(10, 20, false, false), 1);
  split.PutSplit(new Range(new NumericValue(30), new NumericValue(kInf), true, false), 2);
  split.PutSplit(new Range(25, 100, true, true), 3);  // below 30 only: the first range wins
  split.PutSplit(nullptr, 4);
  EXPECT_EQ(split.GetRanges().size(), 4u);
  // 20 falls in the gap; unbounded ends are open, so infinity itself is outside; the
  // system-missing number and NaN route nowhere even where a range holds them.
  const double nan = std::numeric_limits<double>::quiet_NaN(),
               sysmis = NumericValue::GetSysmisValue();
  const std::pair<double, int> routes[] = {
      {-1e300, 0}, {10, 0},    {10.000001, 1}, {19.999, 1}, {20, -1},     {25, 3},   {30, 2},
      {50, 2},     {1e300, 2}, {kInf, -1},     {-kInf, -1}, {sysmis, -1}, {nan, -1},
  };
  for (const auto& [x, child] : routes) {
    NumericValue value(x);
    EXPECT_EQ(split.GetChildIndex(&value), child) << x;
  }
  StringValue text("2.5");
  EXPECT_EQ(split.GetChildIndex(&text), -1);
  EXPECT_EQ(split.GetChildIndex(nullptr), -1);
}

TEST(DiscreteSplitTest, RoutesByNumberOrExactTextFirstPutWins) {
  DictVar var("grade", ScoreDictVar::kNumeric);
  DiscreteSplit split(&var);
  split.PutSplit(new NumericValue(1), 0);
  split.PutSplit(new NumericValue(2), 1);
  split.PutSplit(new NumericValue(2), 0);  // a repeated value: the first wins
  split.PutSplit(new StringValue("red"), 2);
  split.PutSplit(new StringValue("7"), 3);
  NumericValue one(1), two(2.0), four(4), seven(7);
  StringValue red("red"), upperRed("Red"), textOne("1"), textSeven("7");
  // Text never equals a number, either way round.
  const std::pair<const ScoreValue*, int> routes[] = {
      {&one, 0},       {&two, 1},      {&four, -1},     {&seven, -1}, {&red, 2},
      {&upperRed, -1}, {&textOne, -1}, {&textSeven, 3}, {nullptr, -1}};
  for (const auto& [value, child] : routes) {
    EXPECT_EQ(split.GetChildIndex(value), child) << (value ? value->ToString() : "null");
  }
}

}  // namespace
