#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/CsvReader.h"
#include "cli/OutputSink.h"
#include "cli/RowScorer.h"

// A progress line on standard error: bytes read of the input's size, rows
// scored. Redrawn at most a few times a second.
class ProgressLine {
 public:
  ProgressLine(bool enabled, uint64_t totalBytes);
  void Update(uint64_t bytesRead, int64_t rows);
  // Ends the line (when one was drawn).
  void Finish(uint64_t bytesRead, int64_t rows);

 private:
  void Draw(uint64_t bytesRead, int64_t rows);

  bool enabled_;
  bool drawn_ = false;
  uint64_t totalBytes_;
  std::chrono::steady_clock::time_point last_;
};

// Reads chunks, scores them with the scorers (one thread each when there are
// several, inline otherwise) and writes the outputs in input order. A
// malformed row throws CliError (exit 3) naming its line after every row
// before it was written. firstLine: the line breaks taken by the header.
// Returns the number of rows scored.
int64_t RunPipeline(CsvChunkReader& reader, const std::vector<RowScorer*>& scorers,
                    OutputSink& sink, const std::string& inputName, int64_t firstLine,
                    ProgressLine& progress);
