// The scorer's record looks at a row's cells when the model reads them.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "cli/RowRecord.h"

namespace {

TEST(RowRecord, ReadsEachPositionFromItsCellWhenAsked) {
  // Positions: a <- column 2, b <- column 0, s (string) <- column 1, none <- no column.
  RowRecord record({"a", "b", "s", "none"}, {{2, false}, {0, false}, {1, true}, {-1, false}},
                   {"NA", "?"});
  EXPECT_EQ(record.GetValueAt(0), nullptr);  // no row yet

  // Splits a row at commas, as the tokenizer hands it over, and gives it to the record.
  std::vector<std::string_view> cells;
  auto setRow = [&](const std::string& row) {
    cells.clear();
    for (size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
      end = row.find(',', start);
      cells.emplace_back(row.data() + start, std::min(end, row.size()) - start);
    }
    record.SetRow(cells.data(), row.data() + row.size());
  };
  std::string row = "-0.25,text,1.5";
  setRow(row);
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
  const std::string next = "NA,12,abc", third = "?,,NAN";  // the record reads them in place
  setRow(next);
  EXPECT_EQ(record.GetValueAt(1), nullptr);
  EXPECT_EQ(record.GetValueAt(0)->ToDouble(), NumericValue::GetSysmisValue());
  EXPECT_EQ(record.GetValueAt(2)->ToString(), "12");
  setRow(third);
  EXPECT_EQ(record.GetValueAt(1), nullptr);
  EXPECT_EQ(record.GetValueAt(2), nullptr);
  EXPECT_EQ(record.GetValueAt(0)->ToDouble(), NumericValue::GetSysmisValue());
}

}  // namespace
