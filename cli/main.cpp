// dendrix-score: scores the rows of a CSV file with a decision-tree model
// read by the tree plug-in.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
#include "cli/RowScorer.h"
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

int Run(const Options& options) {
  Plugin plugin(FindPluginPath(options.pluginPath));
  XercesSession xerces;

  std::vector<PmmlUpgradeChange> changes;
  ModelDocument document(plugin, options.modelPath, options.upgradePmml, &changes);
  std::unique_ptr<ScoreModel> model = document.ReadModel();
  WarnUpgradeChanges(options.modelPath, changes);

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

  InputFile input(options.inputPath);
  CsvChunkReader reader(input.GetFd(), kBlockSize, kMaxRowBytes);
  reader.SetName(input.GetName());
  std::vector<std::string> header;
  int64_t headerLines = 0;
  if (!reader.ReadHeader(&header, &headerLines)) {
    throw CliError(kExitCsv, input.GetName() + ":1: no header row (the input is empty)");
  }

  ColumnPlan plan = PlanColumns(*model, header, options);
  for (const std::string& name : plan.missingInputs) {
    std::fprintf(stderr,
                 "dendrix-score: warning: model input '%s' has no column in %s; it has no value "
                 "in any case\n",
                 name.c_str(), input.GetName().c_str());
  }

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

  ProgressLine progress(ShowProgress(options, input), input.GetSize());
  RunPipeline(reader, scorer, workers - 1, more, sink, input.GetName(), headerLines, progress);
  sink.Commit();
  return kExitOk;
}

void PrintUsageError(const std::string& message) {
  std::fprintf(stderr, "dendrix-score: %s\n%s\nTry 'dendrix-score --help' for more information.\n",
               message.c_str(), UsageLine());
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
    std::fprintf(stderr, "dendrix-score: %s\n", e.what());
    if (!e.GetNote().empty()) std::fprintf(stderr, "dendrix-score: %s\n", e.GetNote().c_str());
    return e.GetExitCode();
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "dendrix-score: out of memory\n");
    return kExitInternal;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "dendrix-score: internal error: %s\n", e.what());
    return kExitInternal;
  }
}
