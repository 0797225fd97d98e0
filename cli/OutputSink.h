#pragma once

#include <cstddef>
#include <string>

// Where the scores go: standard output, or a file that appears only when the
// run succeeds. A file is written as a temporary file in the same folder and
// renamed over the target by Commit; destroying an uncommitted sink (or an
// interrupting signal) removes the temporary file. One sink per process.
class OutputSink {
 public:
  // path empty: standard output. Throws CliError (exit 2) when the temporary
  // file cannot be made.
  explicit OutputSink(const std::string& path);
  ~OutputSink();
  OutputSink(const OutputSink&) = delete;
  OutputSink& operator=(const OutputSink&) = delete;

  // Throws CliError (exit 2) on a write error.
  void Write(const char* data, size_t size);
  void Write(const std::string& text) { Write(text.data(), text.size()); }
  // Flushes, closes and renames the file into place. Throws CliError.
  void Commit();

 private:
  void Fail(const std::string& what);

  int fd_;
  std::string path_;
  std::string tempPath_;
  bool committed_ = false;
};
