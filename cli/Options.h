#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// Command-line options of dendrix-score.
struct Options {
  enum class Format { kCsv, kJsonl };
  enum class Progress { kAuto, kOn, kOff };
  // Which engine scores: the tree plug-in's own rules, or PMML 4.4's.
  enum class Semantics { kNative, kPmml };

  std::string modelPath;
  std::string inputPath = "-";  // "-": standard input
  bool inputGiven = false;      // INPUT was on the command line
  std::string outputPath;       // empty: standard output
  std::string pluginPath;       // empty: DENDRIX_PLUGIN, then next to the executable

  std::vector<std::string> keep;  // input columns copied in front of the scores
  bool keepAll = false;
  // Cell texts that mean "no value" besides the empty cell.
  std::vector<std::string> naTokens = {"NA"};

  bool predictionOnly = false;
  bool nullHandling = false;
  Format format = Format::kCsv;
  bool dump = false;
  bool describe = false;
  bool upgradePmml = false;  // rewrite newer PMML conventions before reading
  // Largest model document read: reading takes several times its size.
  uint64_t maxModelBytes = uint64_t{256} << 20;
  Semantics semantics = Semantics::kNative;
  bool path = false;  // add each row's decision path as the last column

  // --render: draw a tree as SVG to this file ("-": standard output) instead of scoring.
  std::string renderPath;
  int renderDepth = -1;        // levels drawn below the root; -1 all
  int renderTree = 1;          // which tree, from 1
  long long highlightRow = 0;  // data row of INPUT whose path is drawn; 0 none
  int threads = 1;
  Progress progress = Progress::kAuto;
  bool help = false;
  bool version = false;
};

// A command line that cannot be run; main prints the message and the usage
// line and exits with 64.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses the arguments after the program name. Throws UsageError.
Options ParseOptions(const std::vector<std::string>& args);

// The one-line synopsis and the full help text.
const char* UsageLine();
std::string HelpText();
