#include "cli/Options.h"

#include <charconv>

namespace {

constexpr int kMaxThreads = 256;

// Splits "a,b,c" into its names; empty names are refused.
void AppendColumnList(const std::string& list, std::vector<std::string>* out) {
  size_t start = 0;
  while (true) {
    size_t comma = list.find(',', start);
    std::string name =
        list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (name.empty()) throw UsageError("--keep: empty column name in '" + list + "'");
    out->push_back(name);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
}

int ParseThreadCount(const std::string& text) {
  int n = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, n);
  if (text.empty() || ec != std::errc() || ptr != end || n < 1 || n > kMaxThreads) {
    throw UsageError("--threads: expected a whole number from 1 to " + std::to_string(kMaxThreads) +
                     ", got '" + text + "'");
  }
  return n;
}

}  // namespace

Options ParseOptions(const std::vector<std::string>& args) {
  Options options;
  std::vector<std::string> positional;
  bool naGiven = false;
  bool optionsEnded = false;

  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }

    // Split "--name=value"; short options take their value from the next
    // argument or glued on ("-oFILE").
    std::string name = arg;
    std::string value;
    bool hasValue = false;
    if (arg.rfind("--", 0) == 0) {
      size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        name = arg.substr(0, eq);
        value = arg.substr(eq + 1);
        hasValue = true;
      }
    } else if (arg.size() > 2) {
      name = arg.substr(0, 2);
      value = arg.substr(2);
      hasValue = true;
    }
    auto takeValue = [&]() -> std::string {
      if (hasValue) return value;
      if (i + 1 >= args.size()) throw UsageError("option '" + name + "' needs a value");
      return args[++i];
    };
    auto refuseValue = [&]() {
      if (hasValue) throw UsageError("option '" + name + "' takes no value");
    };

    if (name == "--keep") {
      std::string list = takeValue();
      if (list == "all") {
        options.keepAll = true;
      } else {
        AppendColumnList(list, &options.keep);
      }
    } else if (name == "--na") {
      if (!naGiven) options.naTokens.clear();
      naGiven = true;
      options.naTokens.push_back(takeValue());
    } else if (name == "--prediction-only") {
      refuseValue();
      options.predictionOnly = true;
    } else if (name == "--null-handling") {
      refuseValue();
      options.nullHandling = true;
    } else if (name == "--format") {
      std::string format = takeValue();
      if (format == "csv") {
        options.format = Options::Format::kCsv;
      } else if (format == "jsonl") {
        options.format = Options::Format::kJsonl;
      } else {
        throw UsageError("--format: expected 'csv' or 'jsonl', got '" + format + "'");
      }
    } else if (name == "--dump") {
      refuseValue();
      options.dump = true;
    } else if (name == "--describe") {
      refuseValue();
      options.describe = true;
    } else if (name == "--upgrade-pmml") {
      refuseValue();
      options.upgradePmml = true;
    } else if (name == "--threads" || name == "-j") {
      options.threads = ParseThreadCount(takeValue());
    } else if (name == "--progress") {
      refuseValue();
      options.progress = Options::Progress::kOn;
    } else if (name == "--no-progress") {
      refuseValue();
      options.progress = Options::Progress::kOff;
    } else if (name == "-o" || name == "--output") {
      options.outputPath = takeValue();
      if (options.outputPath.empty()) throw UsageError("-o: empty file name");
    } else if (name == "--plugin") {
      options.pluginPath = takeValue();
      if (options.pluginPath.empty()) throw UsageError("--plugin: empty path");
    } else if (name == "-h" || name == "--help") {
      refuseValue();
      options.help = true;
    } else if (name == "--version") {
      refuseValue();
      options.version = true;
    } else {
      throw UsageError("unknown option '" + arg + "'");
    }
  }

  if (options.help || options.version) return options;
  if (options.dump && options.describe) {
    throw UsageError("--dump and --describe cannot be used together");
  }
  if (positional.empty()) throw UsageError("missing MODEL argument");
  if (positional.size() > 2) throw UsageError("unexpected argument '" + positional[2] + "'");
  options.modelPath = positional[0];
  if (options.modelPath == "-") throw UsageError("MODEL must be a file, not standard input");
  if (positional.size() == 2) options.inputPath = positional[1];
  return options;
}

const char* UsageLine() { return "Usage: dendrix-score [OPTIONS] MODEL [INPUT]"; }

std::string HelpText() {
  return std::string(UsageLine()) +
         "\n"
         "Scores every row of a CSV file with a decision-tree model and writes one\n"
         "row of scores per input row, in input order.\n"
         "\n"
         "  MODEL                  a PMML tree model or a legacy tree document\n"
         "  INPUT                  a CSV file whose first row names the columns;\n"
         "                         absent or '-': standard input\n"
         "\n"
         "Options:\n"
         "  -o, --output FILE      write to FILE (replaced only when the run succeeds)\n"
         "  --keep COL[,COL...]    copy these input columns in front of the scores\n"
         "  --keep all             copy every input column\n"
         "  --na TOKEN             a cell text meaning 'no value' (repeatable; replaces\n"
         "                         the default 'NA'; the empty cell always means no value)\n"
         "  --format csv|jsonl     CSV (default) or one JSON object per row\n"
         "  --prediction-only      prediction, confidence and node only: no advice and\n"
         "                         no probabilities\n"
         "  --null-handling        a missing or unroutable split value gives no\n"
         "                         prediction (status 90027)\n"
         "  --upgrade-pmml         read PMML written to newer conventions (no usageType,\n"
         "                         'target', LocalTransformations, nodes without score,\n"
         "                         categorical fields without values); the changes are\n"
         "                         listed as warnings and by --describe\n"
         "  --threads N            score on N threads sharing the model (default 1)\n"
         "  --progress             show a progress line on standard error\n"
         "  --no-progress          never show one (default: shown for input files over\n"
         "                         8 MB when standard error is a terminal)\n"
         "  --dump                 print the model's text dump and exit\n"
         "  --describe             print the model's kind, target, variables and tree\n"
         "                         sizes and exit\n"
         "  --plugin PATH          the tree plug-in library (default: $DENDRIX_PLUGIN,\n"
         "                         else libdendrix_plugin.so next to this program)\n"
         "  -h, --help             show this help\n"
         "  --version              show the version\n"
         "\n"
         "Exit status: 0 success, 2 model or file error, 3 malformed CSV input,\n"
         "64 bad command line.\n";
}
