// dendrix-conformance: scores every model of the conformance manifest with
// dendrix-score (under each --semantics the manifest names and the tool
// offers) and prints, per model and column, how many rows agree with the
// other tool's expected file. Exits 1 when a model falls below the agreement
// the manifest states (or no longer is refused as stated).

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "conformance/Conformance.h"

namespace {

const char kUsage[] =
    "usage: dendrix-conformance [--manifest FILE] [--data DIR] [--tool PATH] [--only NAME]...\n";

}  // namespace

int main(int argc, char** argv) {
  std::string manifest = DENDRIX_SOURCE_DIR "/tests/conformance/manifest.txt";
  std::string data = DENDRIX_SHARED_DIR;
  std::string tool = DENDRIX_BIN_DIR "/dendrix-score";
  std::vector<std::string> only;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::cout << kUsage;
      return 0;
    }
    if (i + 1 >= argc) {
      std::cerr << kUsage;
      return 64;
    }
    const std::string value = argv[++i];
    if (arg == "--manifest") {
      manifest = value;
    } else if (arg == "--data") {
      data = value;
    } else if (arg == "--tool") {
      tool = value;
    } else if (arg == "--only") {
      only.push_back(value);
    } else {
      std::cerr << kUsage;
      return 64;
    }
  }
  if (!std::filesystem::exists(data)) {
    std::cerr << "dendrix-conformance: " << data << " is absent\n";
    return 2;
  }
  std::ifstream in(manifest);
  if (!in) {
    std::cerr << "dendrix-conformance: cannot read " << manifest << "\n";
    return 2;
  }
  std::ostringstream text;
  text << in.rdbuf();
  std::vector<conformance::ModelEntry> entries;
  try {
    entries = conformance::ParseManifest(text.str());
  } catch (const std::exception& e) {
    std::cerr << "dendrix-conformance: " << e.what() << "\n";
    return 2;
  }

  std::vector<conformance::ModelResult> results;
  for (const conformance::ModelEntry& entry : entries) {
    bool wanted = only.empty();
    for (const std::string& name : only) wanted = wanted || name == entry.name;
    if (wanted) results.push_back(conformance::RunModel(entry, data, tool));
  }
  conformance::PrintReport(results, std::cout);

  int failed = 0;
  int better = 0;
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
