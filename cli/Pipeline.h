#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
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

// Ends the progress line, when one is drawn, so that a message printed next
// starts a line of its own.
void EndProgressLine();

// Makes the scorer of one more worker, on that worker's thread; it stays
// valid until RunPipeline returns. May throw.
using ScorerFactory = std::function<RowScorer*()>;

// Reads chunks, scores them and writes the outputs in input order. With no
// extra workers, `first` scores on the calling thread; otherwise `first` and
// up to extraWorkers more score on threads of their own, started as chunks
// wait (an extra one with the scorer `more` makes on its thread). A malformed row throws CliError
// (exit 3) naming its line after every row before it was written; a failing `more` throws its
// error. firstLine: the line breaks taken by the header. Returns the rows scored.
int64_t RunPipeline(CsvChunkReader& reader, RowScorer& first, int extraWorkers,
                    const ScorerFactory& more, OutputSink& sink, const std::string& inputName,
                    int64_t firstLine, ProgressLine& progress);
