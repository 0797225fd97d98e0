#include "cli/Options.h"

#include <charconv>

namespace {

constexpr int kMaxThreads = 256;
constexpr long long kMaxInt = 1000000000;
constexpr long long kMaxRow = 1000000000000000000;

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

// A whole number from low to high given to option; anything else is refused.
long long ParseWholeNumber(const std::string& option, const std::string& text, long long low,
                           long long high) {
  long long n = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, n);
  if (text.empty() || ec != std::errc() || ptr != end || n < low || n > high) {
    throw UsageError(option + ": expected a whole number from " + std::to_string(low) + " to " +
                     std::to_string(high) + ", got '" + text + "'");
  }
  return n;
}

// "300", "64K", "512M", "2G" (binary multiples) as bytes.
uint64_t ParseByteSize(const std::string& text) {
  uint64_t n = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, n);
  int shift = 0;
  if (ptr + 1 == end) {
    const char unit = *ptr++;
    shift = unit == 'K' || unit == 'k'   ? 10
            : unit == 'M' || unit == 'm' ? 20
            : unit == 'G' || unit == 'g' ? 30
                                         : -1;
  }
  if (text.empty() || ec != std::errc() || ptr != end || shift < 0 || n == 0 ||
      n > (UINT64_MAX >> shift)) {
    throw UsageError("--max-model-size: expected a size such as 800M or 2G, got '" + text + "'");
  }
  return n << shift;
}

int ParseThreadCount(const std::string& text) {
  return static_cast<int>(ParseWholeNumber("--threads", text, 1, kMaxThreads));
}

}  // namespace

Options ParseOptions(const std::vector<std::string>& args) {
  Options options;
  std::vector<std::string> positional;
  bool naGiven = false;
  bool optionsEnded = false;
  std::string renderOnly;  // the last option given that only --render takes

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
    } else if (name == "--max-model-size") {
      options.maxModelBytes = ParseByteSize(takeValue());
    } else if (name == "--semantics") {
      const std::string semantics = takeValue();
      if (semantics == "native") {
        options.semantics = Options::Semantics::kNative;
      } else if (semantics == "pmml") {
        options.semantics = Options::Semantics::kPmml;
      } else {
        throw UsageError("--semantics: expected 'native' or 'pmml', got '" + semantics + "'");
      }
    } else if (name == "--path") {
      refuseValue();
      options.path = true;
    } else if (name == "--render") {
      options.renderPath = takeValue();
      if (options.renderPath.empty()) throw UsageError("--render: empty file name");
    } else if (name == "--depth") {
      options.renderDepth = static_cast<int>(ParseWholeNumber(name, takeValue(), 0, kMaxInt));
      renderOnly = name;
    } else if (name == "--tree") {
      options.renderTree = static_cast<int>(ParseWholeNumber(name, takeValue(), 1, kMaxInt));
      renderOnly = name;
    } else if (name == "--highlight") {
      options.highlightRow = ParseWholeNumber(name, takeValue(), 1, kMaxRow);
      renderOnly = name;
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
  if (options.upgradePmml && options.semantics == Options::Semantics::kPmml) {
    throw UsageError(
        "--upgrade-pmml cannot be used with --semantics pmml: it rewrites documents for the "
        "native rules, the PMML engine reads them as they are");
  }
  if (!options.renderPath.empty()) {
    if (options.dump || options.describe || options.path) {
      throw UsageError("--render cannot be used with --dump, --describe or --path");
    }
  } else if (!renderOnly.empty()) {
    throw UsageError(renderOnly + " needs --render");
  }
  if (positional.empty()) throw UsageError("missing MODEL argument");
  if (positional.size() > 2) throw UsageError("unexpected argument '" + positional[2] + "'");
  options.modelPath = positional[0];
  if (options.modelPath == "-") throw UsageError("MODEL must be a file, not standard input");
  if (positional.size() == 2) {
    options.inputPath = positional[1];
    options.inputGiven = true;
  }
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
         "  --max-model-size SIZE  refuse larger model documents (default 256M; K, M, G)\n"
         "  --semantics native|pmml\n"
         "                         native (default): the tree plug-in's own rules;\n"
         "                         pmml: the PMML 4.4 rules (libdendrix_pmml44.so),\n"
         "                         for documents written by current PMML producers\n"
         "  --threads N            score on N threads sharing the model (default 1)\n"
         "  --progress             show a progress line on standard error\n"
         "  --no-progress          never show one (default: shown for input files over\n"
         "                         8 MB when standard error is a terminal)\n"
         "  --path                 add a last column 'path': the nodes each case went\n"
         "                         through and why (see docs/cli.md)\n"
         "  --render FILE          draw the model's tree as SVG to FILE ('-': standard\n"
         "                         output) and exit; INPUT is read only to highlight\n"
         "  --depth N              with --render: draw N levels below the root\n"
         "  --tree K               with --render: draw tree K of an ensemble (from 1)\n"
         "  --highlight ROW        with --render: draw the path of data row ROW of INPUT\n"
         "                         (an INPUT of one row is highlighted without it)\n"
         "  --dump                 print the model's text dump and exit\n"
         "  --describe             print the model's kind, target, variables and tree\n"
         "                         sizes and exit\n"
         "  --plugin PATH          the engine library (default: $DENDRIX_PLUGIN, else\n"
         "                         libdendrix_plugin.so next to this program; with\n"
         "                         --semantics pmml: libdendrix_pmml44.so next to it)\n"
         "  -h, --help             show this help\n"
         "  --version              show the version\n"
         "\n"
         "INPUT ending in .gz is read as gzip data.\n"
         "\n"
         "Exit status: 0 success, 1 out of memory, 2 model or file error, 3 malformed\n"
         "CSV input, 64 bad command line.\n";
}
