// The chunked CSV reader: rows cut at block boundaries, quotes, line counts, size limits.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ReadCsv.h"
#include "RunTool.h"
#include "cli/CliError.h"
#include "cli/CsvReader.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;

const char kTricky[] =
    "\xEF\xBB\xBF"
    "\n"
    "id,text,n\r\n"
    "1,plain,10\r\n"
    "2,\"with, comma\",20\n"
    "3,\"two\nlines\",30\n"
    "\n"
    "4,\"say \"\"hi\"\"\",40\n"
    "5,,\n"
    "6,\"\",\"\"\n"
    "7,a\rb,70\n"
    "8,\"\"\"\",\"x\"\r\n"
    "9,last,90";

const Rows kTrickyRows = {{"1", "plain", "10"},
                          {"2", "with, comma", "20"},
                          {"3", "two\nlines", "30"},
                          {"4", "say \"hi\"", "40"},
                          {"5", "", ""},
                          {"6", "", ""},
                          {"7", "a\rb", "70"},
                          {"8", "\"", "x"},
                          {"9", "last", "90"}};

// Cutting the input into blocks of any size gives the same rows: blocks end
// inside quoted cells, between CR and LF and inside doubled quotes.
TEST(CsvChunkReader, AnyBlockSizeGivesTheSameRows) {
  for (size_t block : {1u, 2u, 3u, 5u, 7u, 16u, 64u, 4096u}) {
    SCOPED_TRACE(block);
    ReadResult result = ReadAll(kTricky, block);
    EXPECT_EQ(result.header, (std::vector<std::string>{"id", "text", "n"}));
    EXPECT_EQ(result.headerLines, 2);  // the empty line and the header
    EXPECT_EQ(result.rows, kTrickyRows);
    EXPECT_EQ(result.lines, 10);  // line breaks after the header, quoted one included
    EXPECT_EQ(result.error, CsvTokenizer::Status::kEnd);
  }
}

// Random rows of short, long, empty and quoted cells (with separators, line
// breaks and doubled quotes inside) read back exactly: cell ends are found
// at every offset from a 64-byte boundary and across several.
TEST(CsvChunkReader, RandomRowsReadBackExactly) {
  std::mt19937 random(7);
  const std::string alphabet = "abc0123456789.-";
  auto plain = [&](size_t length) {
    std::string cell;
    for (size_t k = 0; k < length; ++k) cell += alphabet[random() % alphabet.size()];
    return cell;
  };
  Rows rows;
  std::string text = "h1,h2,h3,h4,h5\n";
  for (int r = 0; r < 400; ++r) {
    std::vector<std::string> row;
    for (int c = 0; c < 5; ++c) {
      std::string cell;
      std::string written;
      switch (random() % 6) {
        case 0:
          break;  // empty
        case 1:
          cell = plain(70 + random() % 130);
          written = cell;
          break;
        case 2: {
          cell = plain(random() % 20) + ",\n\"" + plain(random() % 80);
          written = "\"";
          for (char ch : cell) written += ch == '"' ? std::string("\"\"") : std::string(1, ch);
          written += "\"";
          break;
        }
        default:
          cell = plain(1 + random() % 9);
          written = cell;
      }
      row.push_back(cell);
      text += (c > 0 ? "," : "") + written;
    }
    rows.push_back(row);
    text += random() % 4 == 0 ? "\r\n" : "\n";
  }
  for (size_t block : {97u, 4096u, 65536u}) {
    SCOPED_TRACE(block);
    ReadResult result = ReadAll(text, block);
    EXPECT_EQ(result.error, CsvTokenizer::Status::kEnd);
    EXPECT_EQ(result.rows, rows);
  }
}

TEST(CsvChunkReader, ErrorsNameTheLineWhateverTheBlockSize) {
  const std::string text = "a,b\n1,2\n3,\"x\ny\"\n4,\"open\n5,6\n";
  for (size_t block : {1u, 4u, 9u, 1024u}) {
    SCOPED_TRACE(block);
    ReadResult result = ReadAll(text, block);
    EXPECT_EQ(result.error, CsvTokenizer::Status::kUnterminatedQuote);
    EXPECT_EQ(result.errorLine, 5);  // the line where the quote opens
    EXPECT_EQ(result.rows.size(), 2u);
  }
  ReadResult stray = ReadAll("a,b\n1,2\n3,x\"y\n4,5\n", 3);
  EXPECT_EQ(stray.error, CsvTokenizer::Status::kStrayQuote);
  EXPECT_EQ(stray.errorLine, 3);
  // A stray quote upsets the quote parity used to cut blocks; the tokenizer
  // still reports the first fault, not a later symptom.
  ReadResult after = ReadAll("a,b\n1,\"2\"x\n3,4\n5,6\n", 2);
  EXPECT_EQ(after.error, CsvTokenizer::Status::kTextAfterQuote);
  EXPECT_EQ(after.errorLine, 2);
}

TEST(CsvChunkReader, RowsOverTheLimitAreReportedAtTheirFirstLine) {
  std::string text = "a,b\n1,2\n3,\"";
  text.append(300, 'x');
  text += "\"\n5,6\n";
  ReadResult result = ReadAll(text, 16, 100);
  EXPECT_EQ(result.error, CsvTokenizer::Status::kRowTooLong);
  EXPECT_EQ(result.errorLine, 3);
  EXPECT_EQ(result.rows.size(), 1u);
  // Under the limit the same row is fine.
  EXPECT_EQ(ReadAll(text, 16, 1000).rows.size(), 3u);

  EXPECT_EQ(ReadAll(std::string(200, 'h') + "\n1\n", 8, 100).headerError,
            "<stdin>:1: row longer than 64 MB (exit " + std::to_string(kExitCsv) + ")");
}

TEST(CsvCellLimit, CellsUpToTheLimitPassAndLongerOnesNameTheirLine) {
  const std::string ten(10, 'x');
  // Quoted text counts after its quotes are removed; a CR before the line
  // break is not part of the cell.
  const std::string fits =
      "a,b\n" + ten + ",1\n\"" + std::string(8, 'q') + "\"\"\",2\r\n3," + ten + "\r\n";
  for (size_t block : {1u, 4u, 64u, 4096u}) {
    SCOPED_TRACE(block);
    ReadResult ok = ReadAll(fits, block, 1000, 10);
    EXPECT_EQ(ok.error, CsvTokenizer::Status::kEnd);
    ASSERT_EQ(ok.rows.size(), 3u);
    EXPECT_EQ(ok.rows[1][0], "qqqqqqqq\"");
    EXPECT_EQ(ok.rows[2][1], ten);

    ReadResult plain = ReadAll("a,b\n1,2\n\n3," + ten + "y\n5,6\n", block, 1000, 10);
    EXPECT_EQ(plain.error, CsvTokenizer::Status::kCellTooLong);
    EXPECT_EQ(plain.errorLine, 4);
    EXPECT_EQ(plain.rows.size(), 1u);

    // A quoted cell spanning lines is reported at the line where it opens.
    ReadResult quoted =
        ReadAll("a,b\n1,\"" + std::string(6, 'y') + "\n" + std::string(6, 'y') + "\"\n5,6\n", block,
                1000, 10);
    EXPECT_EQ(quoted.error, CsvTokenizer::Status::kCellTooLong);
    EXPECT_EQ(quoted.errorLine, 2);
    EXPECT_TRUE(quoted.rows.empty());
  }
  EXPECT_STREQ(CsvTokenizer::Describe(CsvTokenizer::Status::kCellTooLong),
               "cell longer than 16 MB");
  // In the header it makes the header malformed.
  EXPECT_EQ(ReadAll("\nid," + std::string(40, 'h') + "\n1,2\n", 8, 1000, 16).headerError,
            "<stdin>:2: cell longer than 16 MB (exit " + std::to_string(kExitCsv) + ")");
}

TEST(CsvChunkReader, EmptyInputsHaveNoHeader) {
  EXPECT_TRUE(ReadAll("", 4).header.empty());
  EXPECT_TRUE(ReadAll("\xEF\xBB\xBF", 4).header.empty());
  EXPECT_TRUE(ReadAll("\n\r\n\n", 4).header.empty());
  ReadResult headerOnly = ReadAll("x,y", 4);
  EXPECT_EQ(headerOnly.header, (std::vector<std::string>{"x", "y"}));
  EXPECT_TRUE(headerOnly.rows.empty());
}

TEST(RowEnds, QuotesHideLineBreaks) {
  const std::string text = "a,\"b\nc\"\nd,\"e\n";
  EXPECT_EQ(FindFirstRowEnd(text.data(), text.size()), 8u);
  EXPECT_EQ(FindLastRowEnd(text.data(), text.size()), 8u);  // the last \n is inside quotes
  const std::string plain = "a\nb\nc";
  EXPECT_EQ(FindLastRowEnd(plain.data(), plain.size()), 4u);
  EXPECT_EQ(FindLastRowEnd("abc", 3), 0u);
}

}  // namespace
