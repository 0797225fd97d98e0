// dendrix-conformance: scores every model of the conformance manifest with
// dendrix-score (under each --semantics the manifest names and the tool
// offers) and prints, per model and column, how many rows agree with the
// other tool's expected file. Exits 1 when a model falls below the agreement
// the manifest states (or no longer is refused as stated).

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/RunTool.h"
#include "conformance/Conformance.h"

int main(int argc, char** argv) {
  const std::string data = DENDRIX_SHARED_DIR;
  std::vector<std::string> only;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) != "--only" || ++i >= argc) {
      std::cerr << "usage: dendrix-conformance [--only NAME]...\n";
      return 64;
    }
    only.push_back(argv[i]);
  }
  std::vector<conformance::ModelEntry> entries;
  try {
    if (!std::filesystem::exists(data)) throw std::runtime_error(data + " is absent");
    entries =
        conformance::ParseManifest(ReadFile(DENDRIX_SOURCE_DIR "/tests/conformance/manifest.txt"));
  } catch (const std::exception& e) {
    std::cerr << "dendrix-conformance: " << e.what() << "\n";
    return 2;
  }

  std::vector<conformance::ModelResult> results;
  for (const conformance::ModelEntry& entry : entries) {
    if (only.empty() || std::find(only.begin(), only.end(), entry.name) != only.end())
      results.push_back(conformance::RunModel(entry, data, DENDRIX_BIN_DIR "/dendrix-score"));
  }
  conformance::PrintReport(results, std::cout);

  int failed = 0, better = 0;
  for (const conformance::ModelResult& result : results) {
    failed += result.problems.empty() ? 0 : 1;
    for (const conformance::ColumnResult& column : result.columns) {
      better += column.agree > column.check.statedAgree ? 1 : 0;
    }
  }
  std::cout << "\n" << results.size() << " models, " << failed << " below what is stated";
  if (better > 0) std::cout << ", " << better << " columns better than stated (update the table)";
  std::cout << "\n";
  return failed == 0 ? 0 : 1;
}
