#pragma once

#include <stdexcept>
#include <string>

// Exit statuses of dendrix-score.
enum ExitCode {
  kExitOk = 0,
  kExitInternal = 1,  // an unexpected failure (out of memory, a bug)
  kExitModel = 2,     // model document, plug-in or file error
  kExitCsv = 3,       // malformed CSV input
  kExitUsage = 64,    // bad command line
};

// A failure that ends the run: main prints "dendrix-score: " + what(), then
// "dendrix-score: " + note when there is one, and exits with the code.
class CliError : public std::runtime_error {
 public:
  CliError(int exitCode, const std::string& message)
      : std::runtime_error(message), exitCode_(exitCode) {}
  CliError(int exitCode, const std::string& message, const std::string& note)
      : std::runtime_error(message), exitCode_(exitCode), note_(note) {}
  int GetExitCode() const { return exitCode_; }
  const std::string& GetNote() const { return note_; }

 private:
  int exitCode_;
  std::string note_;
};
