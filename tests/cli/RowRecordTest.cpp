// The scorer's record converts numeric cells when they are read.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/RowRecord.h"

namespace {

double NumberAt(const RowRecord& record, int i) {
  const ScoreValue* value = record.GetValueAt(i);
  EXPECT_NE(value, nullptr);
  EXPECT_EQ(value->GetTypeTag(), ScoreValue::kNumericTag);
  return value == nullptr ? -1 : value->ToDouble();
}

TEST(RowRecord, ConvertsTextWhenReadAndForgetsItWhenSetAgain) {
  RowRecord record({"a", "b", "c", "d"});
  // A row the way the scorer holds it: cells inside a larger buffer.
  const std::string row = "1.5,-0.25,abc,7,12345678901.5";
  record.SetReadableEnd(row.data() + row.size());
  record.SetNumberText(0, std::string_view(row).substr(0, 3));
  record.SetNumberText(1, std::string_view(row).substr(4, 5));
  record.SetNumberText(2, std::string_view(row).substr(10, 3));
  record.SetNumberText(3, std::string_view(row).substr(16, 13));

  EXPECT_EQ(NumberAt(record, 1), -0.25);
  EXPECT_EQ(record.GetValue("a")->ToDouble(), 1.5);
  // Text that is no number reads as the system-missing value, as a parsed
  // cell would.
  EXPECT_EQ(NumberAt(record, 2), NumericValue::GetSysmisValue());
  EXPECT_EQ(NumberAt(record, 3), 12345678901.5);
  EXPECT_EQ(record.GetValueAt(4), nullptr);
  EXPECT_EQ(record.GetValueAt(-1), nullptr);
  EXPECT_EQ(record.GetValue("e"), nullptr);

  // A later value of any kind replaces text not yet read.
  record.SetNumberText(0, "9");
  record.SetNull(0);
  EXPECT_EQ(record.GetValueAt(0), nullptr);
  record.SetNumberText(1, "9");
  record.SetString(1, "x");
  EXPECT_EQ(record.GetValueAt(1)->ToString(), "x");
  record.SetNumberText(2, "9");
  record.SetNumber(2, 4.0);
  EXPECT_EQ(NumberAt(record, 2), 4.0);
  record.SetNumberText(3, "9");
  record.ClearAll();
  EXPECT_EQ(record.GetValueAt(3), nullptr);

  // Text converted once stays converted: the buffer may change afterwards.
  std::string cell = "2.75";
  record.SetReadableEnd(cell.data() + cell.size());
  record.SetNumberText(0, cell);
  EXPECT_EQ(NumberAt(record, 0), 2.75);
  cell = "9999";
  EXPECT_EQ(NumberAt(record, 0), 2.75);
}

}  // namespace
