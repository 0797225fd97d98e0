// The chunked CSV reader (rows cut at block boundaries, quotes, line counts, size
// limits) and the row record the model reads the cells through.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "RunTool.h"
#include "cli/CliError.h"
#include "cli/CsvReader.h"
#include "cli/RowRecord.h"
#include "cli/TextFormat.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;
using Status = CsvTokenizer::Status;

struct ReadResult {
  std::vector<std::string> header;
  Rows rows;
  Status error = Status::kEnd;
  int64_t errorLine = -1;   // 1-based line of the error
  std::string headerError;  // the message and exit code a malformed header stops with
};

// Reads text (header included) as the tool does, through the chunk reader with
// the given block size and limits, until the end or the first error.
ReadResult ReadAll(const std::string& text, size_t blockSize, size_t maxRow = 1 << 20,
                   size_t maxCell = kCsvMaxCellBytes) {
  TempFolder folder;
  const std::unique_ptr<FILE, int (*)(FILE*)> file(
      std::fopen(folder.Write("in.csv", text).c_str(), "rb"), std::fclose);
  CsvChunkReader reader(::fileno(file.get()), blockSize, maxRow, maxCell);
  ReadResult result;
  int64_t lineBase = 0;  // lines before the chunk
  try {
    if (!reader.ReadHeader(&result.header, &lineBase)) return result;
  } catch (const CliError& e) {
    result.headerError = std::string(e.what()) + " (exit " + std::to_string(e.GetExitCode()) + ")";
    return result;
  }
  CsvChunk chunk;
  std::vector<std::string_view> cells;
  while (result.error == Status::kEnd && reader.NextChunk(&chunk)) {
    CsvTokenizer tokenizer(&chunk);
    Status status;
    while ((status = tokenizer.Next(&cells)) == Status::kRow) {
      result.rows.emplace_back(cells.begin(), cells.end());
    }
    result.error = status;
    result.errorLine = status == Status::kEnd ? -1 : lineBase + tokenizer.ErrorLine() + 1;
    lineBase += tokenizer.LinesConsumed();
  }
  return result;
}

// Cutting the input into blocks of any size gives the same rows: blocks end
// inside quoted cells, between CR and LF and inside doubled quotes. Between
// the written rows, random ones of short, long, empty and quoted cells (with
// separators, line breaks and doubled quotes inside): cell ends are found at
// every offset from a 64-byte boundary and across several.
TEST(CsvChunkReader, AnyBlockSizeGivesTheSameRows) {
  std::string text =
      "\xEF\xBB\xBF\nid,text,n\r\n1,plain,10\r\n2,\"with, comma\",20\n3,\"two\nlines\",30\n\n"
      "4,\"say \"\"hi\"\"\",40\n5,,\n6,\"\",\"\"\n7,a\rb,70\n8,\"\"\"\",\"x\"\r\n";
  Rows rows = {{"1", "plain", "10"},
               {"2", "with, comma", "20"},
               {"3", "two\nlines", "30"},
               {"4", "say \"hi\"", "40"},
               {"5", "", ""},
               {"6", "", ""},
               {"7", "a\rb", "70"},
               {"8", "\"", "x"}};
  std::mt19937 random(7);
  auto plain = [&](size_t length) {
    std::string cell;
    while (cell.size() < length) cell += "abc0123456789.-"[random() % 15];
    return cell;
  };
  for (int r = 0; r < 300; ++r) {
    std::vector<std::string>& row = rows.emplace_back();
    for (int c = 0; c < 3; ++c) {
      const unsigned kind = random() % 6;  // empty, long, quoted, short
      row.push_back(kind == 0   ? ""
                    : kind == 1 ? plain(70 + random() % 130)
                    : kind == 2 ? plain(random() % 20) + ",\n\"" + plain(random() % 80)
                                : plain(1 + random() % 9));
      if (c > 0) text += ',';
      textformat::AppendCsvCell(text, row.back());
    }
    text += random() % 4 == 0 ? "\r\n" : "\n";
  }
  text += "9,last,90";
  rows.push_back({"9", "last", "90"});
  for (size_t block : {1u, 2u, 3u, 5u, 7u, 16u, 64u, 97u, 4096u, 65536u}) {
    SCOPED_TRACE(block);
    ReadResult result = ReadAll(text, block);
    EXPECT_EQ(result.header, (std::vector<std::string>{"id", "text", "n"}));
    EXPECT_EQ(result.rows, rows);
    EXPECT_EQ(result.error, Status::kEnd);
  }
}

// Whatever the block size, a fault is reported at its line with the rows
// before it read: an unterminated quote or an over-long quoted cell where the
// quote opens, a long row at its first line. Quoted text counts against the
// cell limit once its quotes are removed; a CR before the line break is not
// part of the cell. Empty inputs have no header; a header over a limit is
// malformed CSV.
TEST(CsvChunkReader, ErrorsNameTheLineWhateverTheBlockSize) {
  const std::string ten(10, 'x'), y6(6, 'y'), exit = " (exit " + std::to_string(kExitCsv) + ")";
  const std::string longRow = "a,b\n1,2\n3,\"" + std::string(2000, 'x') + "\"\n5,6\n";
  const struct {
    std::string text;
    size_t maxRow, maxCell;
    Status error;
    int64_t line;
    size_t rows;
    std::string headerError;
  } cases[] = {
      {"a,b\n1,2\n3,\"x\ny\"\n4,\"open\n5,6\n", 1000, 1000, Status::kUnterminatedQuote, 5, 2, ""},
      {"a,b\n1,2\n3,x\"y\n4,5\n", 1000, 1000, Status::kStrayQuote, 3, 1, ""},
      // A stray quote upsets the quote parity used to cut blocks; the first
      // fault is reported, not a later symptom.
      {"a,b\n1,\"2\"x\n3,4\n5,6\n", 1000, 1000, Status::kTextAfterQuote, 2, 0, ""},
      {longRow, 100, 4000, Status::kRowTooLong, 3, 1, ""},
      {longRow, 4000, 4000, Status::kEnd, -1, 3, ""},
      {"a,b\n1,2\n\n3," + ten + "y\n5,6\n", 1000, 10, Status::kCellTooLong, 4, 1, ""},
      {"a,b\n1,\"" + y6 + "\n" + y6 + "\"\n5,6\n", 1000, 10, Status::kCellTooLong, 2, 0, ""},
      {"a,b\n" + ten + ",1\n\"qqqqqqqq\"\"\",2\r\n3," + ten + "\r\n", 1000, 10, Status::kEnd, -1, 3,
       ""},
      {"", 1000, 1000, Status::kEnd, -1, 0, ""},
      {"\xEF\xBB\xBF\n\r\n\n", 1000, 1000, Status::kEnd, -1, 0, ""},
      {"x,y", 1000, 1000, Status::kEnd, -1, 0, ""},
      {std::string(2000, 'h') + "\n1\n", 100, 1000, Status::kEnd, -1, 0,
       "<stdin>:1: row longer than 64 MB" + exit},
      {"\nid," + std::string(40, 'h') + "\n1,2\n", 1000, 16, Status::kEnd, -1, 0,
       "<stdin>:2: cell longer than 16 MB" + exit},
  };
  for (const auto& c : cases) {
    for (size_t block : {1u, 4u, 9u, 1024u}) {
      SCOPED_TRACE(c.text.substr(0, 20) + " in blocks of " + std::to_string(block));
      ReadResult result = ReadAll(c.text, block, c.maxRow, c.maxCell);
      EXPECT_EQ(result.error, c.error);
      EXPECT_EQ(result.errorLine, c.line);
      EXPECT_EQ(result.rows.size(), c.rows);
      EXPECT_EQ(result.headerError, c.headerError);
    }
  }
}

// Positions: a <- column 2, b <- column 0, s (string) <- column 1, none <- no
// column. Each row is read, its bytes overwritten, and read again: a cell is
// looked at once a row. The next row replaces every value; empty cells and
// whole-cell tokens give no value, text that is no number the system-missing
// value, and a number read as a string field stays text.
TEST(RowRecord, ReadsEachPositionFromItsCellWhenAsked) {
  RowRecord record({"a", "b", "s", "none"}, {{2, false}, {0, false}, {1, true}, {-1, false}},
                   {"NA", "?"});
  // The values named b and "missing", then those at positions -1 to 4.
  auto show = [&record] {
    std::vector<const ScoreValue*> values = {record.GetValue("b"), record.GetValue("missing")};
    for (int at = -1; at <= 4; ++at) values.push_back(record.GetValueAt(at));
    std::string shown;
    for (const ScoreValue* value : values) {
      const bool text = value && value->GetTypeTag() == ScoreValue::kStringTag;
      shown += !value ? "- " : text ? "'" + value->ToString() + "' " : value->ToString() + " ";
    }
    return shown;
  };
  EXPECT_EQ(show(), "- - - - - - - - ");  // no row yet
  const std::string sysmis = NumericValue::FormatDouble(NumericValue::GetSysmisValue());
  const struct {
    std::string row, shown;
  } rows[] = {
      {"-0.25,text,1.5", "-0.25 - - 1.5 -0.25 'text' - - "},
      {"NA,12,abc", "- - - " + sysmis + " - '12' - - "},
      {"?,,NAN", "- - - " + sysmis + " - - - - "},
  };
  for (const auto& c : rows) {
    SCOPED_TRACE(c.row);
    std::string row = c.row;
    std::vector<std::string_view> cells;
    for (size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
      end = row.find(',', start);
      cells.emplace_back(row.data() + start, std::min(end, row.size()) - start);
    }
    record.SetRow(cells.data(), row.data() + row.size());
    EXPECT_EQ(show(), c.shown);
    std::fill(row.begin(), row.end(), '7');
    EXPECT_EQ(show(), c.shown);
  }
}

}  // namespace
