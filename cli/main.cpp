// dendrix-score: scores the rows of a CSV file with a decision-tree model
// read by the tree plug-in.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "cli/CliError.h"
#include "cli/CsvReader.h"
#include "cli/Describe.h"
#include "cli/ModelLoader.h"
#include "cli/Options.h"
#include "cli/OutputSink.h"
#include "cli/Pipeline.h"
#include "cli/Render.h"
#include "cli/RowScorer.h"
#include "cli/TextFormat.h"
#include "host/XmlDocument.h"

#ifndef DENDRIX_VERSION
#define DENDRIX_VERSION "unknown"
#endif

namespace {

constexpr size_t kBlockSize = 64 * 1024;
constexpr size_t kMaxRowBytes = 64u * 1024 * 1024;
constexpr uint64_t kProgressThreshold = 8u * 1024 * 1024;

// The input file, or standard input for "-". Closes what it opened.
class InputFile {
 public:
  explicit InputFile(const std::string& path) {
    if (path == "-") {
      fd_ = STDIN_FILENO;
      name_ = "<stdin>";
    } else {
      fd_ = ::open(path.c_str(), O_RDONLY);
      if (fd_ < 0) throw CliError(kExitModel, path + ": " + std::strerror(errno));
      owned_ = true;
      name_ = path;
    }
    struct stat info;
    if (::fstat(fd_, &info) == 0) {
      if (S_ISDIR(info.st_mode)) throw CliError(kExitModel, name_ + ": " + std::strerror(EISDIR));
      if (S_ISREG(info.st_mode)) size_ = static_cast<uint64_t>(info.st_size);
      regular_ = S_ISREG(info.st_mode);
    }
  }
  ~InputFile() {
    if (owned_) ::close(fd_);
  }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  int GetFd() const { return fd_; }
  const std::string& GetName() const { return name_; }
  bool IsRegular() const { return regular_; }
  uint64_t GetSize() const { return size_; }

 private:
  int fd_ = -1;
  bool owned_ = false;
  bool regular_ = false;
  uint64_t size_ = 0;
  std::string name_;
};

bool ShowProgress(const Options& options, const InputFile& input) {
  switch (options.progress) {
    case Options::Progress::kOn:
      return true;
    case Options::Progress::kOff:
      return false;
    case Options::Progress::kAuto:
      break;
  }
  return ::isatty(STDERR_FILENO) && input.IsRegular() && input.GetSize() > kProgressThreshold;
}

// Standard output is the terminal the progress line would be drawn on: rows
// and the line would interleave.
bool OutputSharesTerminal(const Options& options) {
  if (!options.outputPath.empty() && options.outputPath != "-") return false;
  if (!::isatty(STDOUT_FILENO) || !::isatty(STDERR_FILENO)) return false;
  struct stat out, err;
  return ::fstat(STDOUT_FILENO, &out) == 0 && ::fstat(STDERR_FILENO, &err) == 0 &&
         out.st_rdev == err.st_rdev;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Why no model input found a column, when the header shows it: another
// delimiter, or names that differ only in blanks or case.
std::string NoColumnHint(const ColumnPlan& plan) {
  std::string hint;
  if (plan.header.size() == 1) {
    for (char delimiter : {';', '\t', '|'}) {
      if (plan.header[0].find(delimiter) == std::string::npos) continue;
      hint = std::string("; the header is one column that holds '") +
             (delimiter == '\t' ? std::string("\\t") : std::string(1, delimiter)) +
             "': columns must be separated by commas";
      break;
    }
  }
  auto fold = [](const std::string& name) {
    std::string folded;
    for (char c : name) {
      if (c != ' ' && c != '\t')
        folded += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return folded;
  };
  int shown = 0;
  for (const std::string& column : plan.header) {
    for (const std::string& input : plan.inputNames) {
      if (shown == 3 || fold(column) != fold(input)) continue;
      hint += (shown++ == 0 ? "; near misses: column '" : ", column '") +
              textformat::MessageText(column, 100) + "' for '" +
              textformat::MessageText(input, 100) + "'";
    }
  }
  return hint;
}

// Warns about model inputs without a column, the first few by name; stops
// the run when no input has one, since every row would be scored from
// fallbacks.
void CheckInputColumns(const ColumnPlan& plan, const std::string& inputName) {
  if (!plan.inputNames.empty() && plan.missingInputs.size() == plan.inputNames.size()) {
    throw CliError(kExitModel, inputName + ": no column is named like a model input (" +
                                   textformat::MessageText(plan.inputNames[0], 100) +
                                   (plan.inputNames.size() > 1 ? ", ..." : "") + ")" +
                                   NoColumnHint(plan));
  }
  constexpr size_t kNamed = 5;
  for (size_t i = 0; i < plan.missingInputs.size() && i < kNamed; ++i) {
    std::fprintf(stderr,
                 "dendrix-score: warning: model input '%s' has no column in %s; it has no value "
                 "in any case\n",
                 textformat::MessageText(plan.missingInputs[i], 200).c_str(), inputName.c_str());
  }
  if (plan.missingInputs.size() > kNamed) {
    std::fprintf(stderr,
                 "dendrix-score: warning: %zu more model inputs have no column in %s; they have "
                 "no value in any case\n",
                 plan.missingInputs.size() - kNamed, inputName.c_str());
  }
}

// One warning line per kind of change the upgrade made, in a fixed order.
void WarnUpgradeChanges(const std::string& model, const std::vector<PmmlUpgradeChange>& changes) {
  const PmmlUpgradeChange::Kind kinds[] = {
      PmmlUpgradeChange::kUsageType,          PmmlUpgradeChange::kLocalDerived,
      PmmlUpgradeChange::kDerivedMiningField, PmmlUpgradeChange::kSegmentTarget,
      PmmlUpgradeChange::kNodeScore,          PmmlUpgradeChange::kLeafDistribution,
      PmmlUpgradeChange::kCategoryValues};
  for (PmmlUpgradeChange::Kind kind : kinds) {
    int count = 0;
    for (const PmmlUpgradeChange& change : changes) count += change.kind == kind ? 1 : 0;
    if (count == 0) continue;
    std::fprintf(stderr, "dendrix-score: warning: %s: upgraded: %s\n", model.c_str(),
                 SummarizePmmlUpgrade(kind, count).c_str());
  }
}

// The column names of the input's first row; lines: the lines they took.
std::vector<std::string> ReadHeader(const InputFile& input, CsvChunkReader& reader,
                                    int64_t* lines) {
  reader.SetName(input.GetName());
  if (EndsWith(input.GetName(), ".gz")) reader.DecompressGzip();
  std::vector<std::string> header;
  if (!reader.ReadHeader(&header, lines)) {
    throw CliError(kExitCsv, input.GetName() + ":1: no header row (the input is empty)");
  }
  for (const std::string& name : header) {
    if (name.find('\0') != std::string::npos) {
      throw CliError(kExitCsv, input.GetName() + ":1: " + kCsvBinaryInput);
    }
  }
  return header;
}

// Scores INPUT up to the row to highlight and returns its decision path: row
// --highlight, or the only row of a one-row INPUT.
DecisionPath HighlightedPath(const Options& options, ScoreModel& model, std::string* caption) {
  InputFile input(options.inputPath);
  CsvChunkReader reader(input.GetFd(), kBlockSize, kMaxRowBytes);
  int64_t line = 0;
  const std::vector<std::string> header = ReadHeader(input, reader, &line);
  const ColumnPlan plan = PlanColumns(model, header, options);
  RowScorer scorer(&model, plan);
  const int64_t wanted = options.highlightRow > 0 ? options.highlightRow : 1;
  DecisionPath path;
  scorer.CapturePath(wanted, &path);
  CsvChunk chunk;
  ChunkOutput out;
  int64_t rows = 0;
  // Without --highlight every row is read, to be sure there is only one.
  while ((options.highlightRow == 0 || rows < wanted) && reader.NextChunk(&chunk)) {
    scorer.ProcessChunk(&chunk, &out);
    rows += out.rows;
    if (out.failed) {
      throw CliError(kExitCsv, input.GetName() + ":" + std::to_string(line + out.errorLine + 1) +
                                   ": " + out.errorReason);
    }
    line += out.lines;
  }
  if (options.highlightRow == 0 && rows != 1) {
    throw UsageError(input.GetName() + " has " + std::to_string(rows) +
                     " rows: choose the one to draw with --highlight ROW");
  }
  if (rows < wanted) {
    throw UsageError("--highlight " + std::to_string(wanted) + ": " + input.GetName() +
                     " has only " + std::to_string(rows) + " rows");
  }
  *caption = "path of row " + std::to_string(wanted) + " of " + input.GetName();
  return path;
}

int Render(const Options& options, ScoreModel& model) {
  const int trees = model.GetTreeCount();
  if (options.renderTree > trees) {
    throw UsageError("--tree " + std::to_string(options.renderTree) + ": the model has " +
                     std::to_string(trees) + (trees == 1 ? " tree" : " trees"));
  }
  RenderOptions render;
  render.tree = options.renderTree - 1;
  render.maxDepth = options.renderDepth;
  DecisionPath path;
  if (options.inputGiven || options.highlightRow > 0) {
    path = HighlightedPath(options, model, &render.caption);
    // One path per tree for ensembles; a single tree or rule set has one.
    const size_t index = path.trees.size() > 1 ? static_cast<size_t>(render.tree) : 0;
    if (index < path.trees.size()) render.highlight = &path.trees[index];
  }
  OutputSink sink(options.renderPath == "-" ? std::string() : options.renderPath);
  sink.Write(RenderTreeSvg(model, render));
  sink.Commit();
  return kExitOk;
}

int Run(const Options& options) {
  Plugin plugin(FindPluginPath(options.pluginPath, options.semantics == Options::Semantics::kPmml));
  XercesSession xerces;

  std::vector<PmmlUpgradeChange> changes;
  ModelDocument document(plugin, options.modelPath, options.upgradePmml, &changes,
                         options.maxModelBytes);
  document.SetUpgradeHint(options.semantics == Options::Semantics::kNative);
  std::unique_ptr<ScoreModel> model = document.ReadModel();
  WarnUpgradeChanges(options.modelPath, changes);
  // The PMML 4.4 engine reads these constructs as the standard does.
  const bool native = options.semantics == Options::Semantics::kNative;
  for (const std::string& line :
       native ? document.DescribeSemanticsDifferences() : std::vector<std::string>()) {
    std::fprintf(stderr, "dendrix-score: warning: %s: %s; --semantics pmml scores %s\n",
                 options.modelPath.c_str(), line.c_str(),
                 line.rfind("1 ", 0) == 0 ? "it as PMML 4.4 does" : "them as PMML 4.4 does");
  }

  if (options.describe || options.dump) {
    if (options.describe) {
      DescribeModel(*model, std::cout);
      if (options.upgradePmml) DescribeUpgrade(changes, std::cout);
    } else {
      model->Display(std::cout);
    }
    std::cout.flush();
    if (!std::cout) throw CliError(kExitModel, std::string("<stdout>: ") + std::strerror(errno));
    return kExitOk;
  }

  model->SetPredictionOnly(options.predictionOnly);
  model->SetNullHandling(options.nullHandling);
  if (!options.renderPath.empty()) return Render(options, *model);

  InputFile input(options.inputPath);
  CsvChunkReader reader(input.GetFd(), kBlockSize, kMaxRowBytes);
  int64_t headerLines = 0;
  const std::vector<std::string> header = ReadHeader(input, reader, &headerLines);

  ColumnPlan plan = PlanColumns(*model, header, options);
  CheckInputColumns(plan, input.GetName());

  OutputSink sink(options.outputPath);
  std::string headerText;
  AppendHeader(plan, headerText);
  sink.Write(headerText);

  // Every worker scores the one model, with a scorer (record, result) of its own.
  document.Release();
  RowScorer scorer(model.get(), plan);
  std::mutex scorersTurn;
  std::vector<std::unique_ptr<RowScorer>> moreScorers;
  auto more = [&]() -> RowScorer* {
    std::lock_guard<std::mutex> lock(scorersTurn);
    moreScorers.push_back(std::make_unique<RowScorer>(model.get(), plan));
    return moreScorers.back().get();
  };
  // More threads than this only contend for the cores.
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const int workers = static_cast<int>(std::min<unsigned>(options.threads, 4 * cores));

  ProgressLine progress(ShowProgress(options, input) && !OutputSharesTerminal(options),
                        input.GetSize());
  RunPipeline(reader, scorer, workers - 1, more, sink, input.GetName(), headerLines, progress);
  sink.Commit();
  return kExitOk;
}

void PrintUsageError(const std::string& message) {
  EndProgressLine();
  std::fprintf(stderr, "dendrix-score: %s\n%s\nTry 'dendrix-score --help' for more information.\n",
               textformat::MessageText(message).c_str(), UsageLine());
}

void PrintError(const std::string& message) {
  EndProgressLine();
  std::fprintf(stderr, "dendrix-score: %s\n", textformat::MessageText(message).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  Options options;
  try {
    options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const UsageError& e) {
    PrintUsageError(e.what());
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(HelpText().c_str(), stdout);
    return kExitOk;
  }
  if (options.version) {
    std::printf("dendrix-score %s\n", DENDRIX_VERSION);
    return kExitOk;
  }

  try {
    return Run(options);
  } catch (const UsageError& e) {
    PrintUsageError(e.what());
    return kExitUsage;
  } catch (const CliError& e) {
    PrintError(e.what());
    if (!e.GetNote().empty()) PrintError(e.GetNote());
    return e.GetExitCode();
  } catch (const std::bad_alloc&) {
    PrintError("out of memory");
    return kExitInternal;
  } catch (const std::exception& e) {
    PrintError(std::string("internal error: ") + e.what());
    return kExitInternal;
  }
}
