// The scorer's record looks at a row's cells when the model reads them.

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "cli/RowRecord.h"

namespace {

// Splits a row at commas, the way the tokenizer hands it over.
std::vector<std::string_view> Cells(const std::string& row) {
  std::vector<std::string_view> cells;
  size_t start = 0;
  for (size_t i = 0; i <= row.size(); ++i) {
    if (i == row.size() || row[i] == ',') {
      cells.emplace_back(row.data() + start, i - start);
      start = i + 1;
    }
  }
  return cells;
}

TEST(RowRecord, ReadsEachPositionFromItsCellWhenAsked) {
  // Positions: a <- column 2, b <- column 0, s (string) <- column 1, none <- no column.
  RowRecord record({"a", "b", "s", "none"}, {{2, false}, {0, false}, {1, true}, {-1, false}},
                   {"NA", "?"});
  EXPECT_EQ(record.GetValueAt(0), nullptr);  // no row yet

  std::string row = "-0.25,text,1.5";
  std::vector<std::string_view> cells = Cells(row);
  record.SetRow(cells.data(), row.data() + row.size());
  EXPECT_EQ(record.GetValueAt(0)->ToDouble(), 1.5);
  EXPECT_EQ(record.GetValue("b")->ToDouble(), -0.25);
  EXPECT_EQ(record.GetValueAt(2)->ToString(), "text");
  EXPECT_EQ(record.GetValueAt(2)->GetTypeTag(), ScoreValue::kStringTag);
  EXPECT_EQ(record.GetValueAt(3), nullptr);
  EXPECT_EQ(record.GetValueAt(4), nullptr);
  EXPECT_EQ(record.GetValueAt(-1), nullptr);
  EXPECT_EQ(record.GetValue("missing"), nullptr);

  // A cell is looked at once a row: changing the bytes afterwards changes nothing.
  row[row.size() - 1] = '9';
  EXPECT_EQ(record.GetValueAt(0)->ToDouble(), 1.5);

  // The next row replaces every value, read or not: empty cells and tokens
  // give no value (a token is only missing as a whole cell), text that is no
  // number reads as the system-missing value, and a number read as a string
  // field stays text.
  std::string next = "NA,12,abc";
  cells = Cells(next);
  record.SetRow(cells.data(), next.data() + next.size());
  EXPECT_EQ(record.GetValueAt(1), nullptr);
  EXPECT_EQ(record.GetValueAt(0)->ToDouble(), NumericValue::GetSysmisValue());
  EXPECT_EQ(record.GetValueAt(2)->ToString(), "12");
  std::string third = "?,,NAN";
  cells = Cells(third);
  record.SetRow(cells.data(), third.data() + third.size());
  EXPECT_EQ(record.GetValueAt(1), nullptr);
  EXPECT_EQ(record.GetValueAt(2), nullptr);
  EXPECT_EQ(record.GetValueAt(0)->ToDouble(), NumericValue::GetSysmisValue());
}

}  // namespace
