// Size limits of the CSV reader: cells over the cell limit are reported with
// their line, whatever the block size.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ReadCsv.h"
#include "cli/CliError.h"
#include "cli/CsvReader.h"

namespace {

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
}

TEST(CsvCellLimit, HeaderCellOverTheLimitIsAMalformedHeader) {
  TempFolder folder;
  const std::string path = folder.Write("h.csv", "\nid," + std::string(40, 'h') + "\n1,2\n");
  const int fd = ::open(path.c_str(), O_RDONLY);
  CsvChunkReader reader(fd, 8, 1000, 16);
  std::vector<std::string> names;
  int64_t lines = 0;
  try {
    reader.ReadHeader(&names, &lines);
    ADD_FAILURE() << "a header cell over the limit was accepted";
  } catch (const CliError& e) {
    EXPECT_EQ(e.GetExitCode(), kExitCsv);
    EXPECT_EQ(std::string(e.what()), "<stdin>:2: cell longer than 16 MB");
  }
  ::close(fd);
}

}  // namespace
