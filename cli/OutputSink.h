#pragma once

#include <cstddef>
#include <string>

// Where the scores go: standard output, or a file that appears only when the
// run succeeds. A regular file (or a new one) is written as a temporary file
// in the same folder and renamed over the target by Commit, keeping an
// existing file's mode; a symbolic link has its target replaced; destroying
// an uncommitted sink (or an interrupting signal) removes the temporary file.
// Anything else (a device, a FIFO) is written to directly. One sink per
// process.
class OutputSink {
 public:
  // path empty or "-": standard output. Throws CliError (exit 2) when the temporary
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
  std::string renameTo_;  // the file the temporary file replaces
  bool direct_ = false;   // fd_ is the named file itself, opened by this sink
  bool committed_ = false;
};
