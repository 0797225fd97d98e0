#pragma once

// Reads CSV text the way the tool does, for the reader's tests.

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

#include "RunTool.h"
#include "cli/CliError.h"
#include "cli/CsvReader.h"

struct ReadResult {
  std::vector<std::string> header;
  int64_t headerLines = 0;
  std::vector<std::vector<std::string>> rows;
  int64_t lines = 0;  // line breaks after the header
  CsvTokenizer::Status error = CsvTokenizer::Status::kEnd;
  int64_t errorLine = -1;   // 1-based line of the error
  std::string headerError;  // the message and exit code a malformed header stops with
};

// Reads text (header included) through the chunk reader with the given block
// size and limits, tokenizing each chunk, until the end or the first error.
inline ReadResult ReadAll(const std::string& text, size_t blockSize, size_t maxRow = 1 << 20,
                          size_t maxCell = kCsvMaxCellBytes) {
  TempFolder folder;
  const std::string path = folder.Write("in.csv", text);
  const int fd = ::open(path.c_str(), O_RDONLY);
  CsvChunkReader reader(fd, blockSize, maxRow, maxCell);
  ReadResult result;
  try {
    if (!reader.ReadHeader(&result.header, &result.headerLines)) {
      ::close(fd);
      return result;
    }
  } catch (const CliError& e) {
    result.headerError = std::string(e.what()) + " (exit " + std::to_string(e.GetExitCode()) + ")";
    ::close(fd);
    return result;
  }
  CsvChunk chunk;
  std::vector<std::string_view> cells;
  int64_t lineBase = result.headerLines;
  while (reader.NextChunk(&chunk)) {
    CsvTokenizer tokenizer(&chunk);
    CsvTokenizer::Status status;
    while ((status = tokenizer.Next(&cells)) == CsvTokenizer::Status::kRow) {
      result.rows.emplace_back(cells.begin(), cells.end());
    }
    if (status != CsvTokenizer::Status::kEnd) {
      result.error = status;
      result.errorLine = lineBase + tokenizer.ErrorLine() + 1;
      break;
    }
    lineBase += tokenizer.LinesConsumed();
  }
  result.lines = lineBase - result.headerLines;
  ::close(fd);
  return result;
}
