#pragma once

// Scores the models of a manifest with the built dendrix-score and compares
// our output with other tools' expected files, column by column. Everything
// is returned by value.

#include <algorithm>
#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

namespace conformance {

// One pair of columns to compare and the agreement the documentation states.
struct ColumnCheck {
  std::string ours;    // column of our output
  std::string theirs;  // column of the expected file
  bool numeric = false;
  double tolerance = 0;    // relative, for numeric columns
  bool givenOnly = false;  // rows whose expected cell is empty are not counted
  size_t statedAgree = 0;  // rows stated to agree ...
  size_t statedTotal = 0;  // ... out of this many compared rows
};

// One model under one engine: what to run and what to expect of it. A
// "semantics" block of the manifest starts a second entry for the same files
// under another engine, with its own options and expectations.
struct ModelEntry {
  std::string name;
  std::string corpus;
  std::string semantics;  // the value of --semantics; empty for the default engine
  std::string document;   // relative to the data folder; ".gz" files are unpacked first
  std::string input;
  std::string expected;  // empty for refused models
  std::vector<std::string> options;
  std::string rowColumn;  // expected column holding the 1-based input row, if any
  bool refused = false;
  int refusedExit = 0;
  std::string refusedMessage;  // first line of standard error; {document} stands for the path
  std::vector<ColumnCheck> columns;
  int line = 0;  // in the manifest
};

// Reads the manifest text; entries of a semantics block follow the entry
// they belong to. Throws std::runtime_error naming the line of a
// malformed entry.
std::vector<ModelEntry> ParseManifest(const std::string& text);

// A CSV text as a header and rows of cells (double quotes honoured, CR before
// LF dropped, a last line without line end accepted).
struct Table {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
  // Index of a header name; -1 when absent.
  int Column(const std::string& name) const {
    const auto at = std::find(header.begin(), header.end(), name);
    return at == header.end() ? -1 : static_cast<int>(at - header.begin());
  }
};
Table ParseCsv(const std::string& text);

// Whether our cell and the expected one agree under a check.
bool CellsAgree(const ColumnCheck& check, const std::string& ours, const std::string& theirs);

struct ColumnResult {
  ColumnCheck check;
  size_t agree = 0;
  size_t total = 0;
  // At most a few, as "row 3: ours 'A', theirs 'B'" (1-based input rows).
  std::vector<std::string> firstDifferences;
  // At least as good as stated.
  bool Meets() const { return total == check.statedTotal && agree >= check.statedAgree; }
};

struct ModelResult {
  const ModelEntry* entry = nullptr;
  double seconds = 0;
  std::string firstErrorLine;
  std::vector<ColumnResult> columns;
  std::vector<std::string> problems;  // why the model fails its entry; empty when it passes
};

// Compares our output with the expected file for every column of the entry.
// Problems (a missing column, row counts that do not line up, agreement below
// the stated figure) are added to the result.
void CompareOutputs(const ModelEntry& entry, const Table& ours, const Table& expected,
                    ModelResult* result);

// Runs the tool on one entry, with files taken from dataDir, and compares.
ModelResult RunModel(const ModelEntry& entry, const std::string& dataDir, const std::string& tool);

// The report table: one line per compared column or refusal.
void PrintReport(const std::vector<ModelResult>& results, std::ostream& os);

}  // namespace conformance
