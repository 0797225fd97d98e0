// GetScore on trees assembled in code: one classification tree of depth 10
// and an ensemble of 100 trees of depth 8, with indexed records filled
// beforehand and a reused result, so only scoring is timed.
//
// `bench_scoring --cases=N [tree|ensemble]` scores N cases in a plain loop
// instead, for instruction counts under callgrind: run it with N and with 0
// and divide the difference by N.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "host/BaseDictionary.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreSplitVar.h"
#include "scoring/DendrixPMMLModel.h"
#include "tree/CompositeTreeNode.h"
#include "tree/TreeClsResult.h"

namespace {

constexpr int kVars = 10;
constexpr int kCases = 256;

struct Fixture {
  DendrixPMMLModel* model = nullptr;
  std::vector<const ScoreDictVar*> vars;
  const ScoreDictVar* target = nullptr;
};

ValueLabelSet* Labels(const std::vector<std::string>& texts) {
  auto* labels = new ValueLabelSet();
  for (const std::string& t : texts) labels->AddLabel(new ValueLbl(new StringValue(t), t));
  return labels;
}

Fixture MakeModel() {
  Fixture f;
  auto* dictionary = new BaseDictionary();
  for (int i = 0; i < kVars; ++i) {
    auto* var = new DictVar("x" + std::to_string(i), ScoreDictVar::kNumeric);
    dictionary->AddVar(var->GetName(), var);
    f.vars.push_back(var);
  }
  auto* target = new DictVar("class", ScoreDictVar::kString);
  target->SetMeasurementLevel(ScoreDictVar::kNominal);
  target->SetValueLabelSet(Labels({"A", "B", "C"}));
  dictionary->AddVar("class", target);
  f.target = target;
  f.model = new DendrixPMMLModel();
  f.model->SetScoreDictionary(dictionary);
  for (const ScoreDictVar* var : f.vars)
    f.model->SetVarRole(var->GetName(), ScoreModel::kRoleInput);
  f.model->SetVarRole("class", ScoreModel::kRoleTarget);
  return f;
}

CompositeTreeNode* Node(const std::string& id, const char* category, double confidence) {
  auto* stats = new TreeClsNodeStats();
  stats->SetNodeID(id);
  stats->SetPrediction(new StringValue(category));
  stats->AddValuePercent(new StringValue("A"), 0.5);
  stats->AddValuePercent(new StringValue("B"), 0.3);
  stats->AddValuePercent(new StringValue("C"), 0.2);
  stats->SetTotalRecord(100);
  stats->SetConfidence(confidence);
  stats->SetBiggestChild(0);
  auto* node = new CompositeTreeNode(true);
  node->SetNodeStats(stats);
  return node;
}

// A complete binary tree: level l splits variable (l + shift) % kVars at a
// threshold drawn per node; the second variable is a surrogate.
CompositeTreeNode* Tree(const Fixture& f, int level, int depth, int shift, std::mt19937& rng,
                        int& counter) {
  const std::string id = std::to_string(counter++);
  static const char* kCategories[] = {"A", "B", "C"};
  if (level == depth) return Node(id, kCategories[counter % 3], 0.5 + (counter % 5) * 0.1);
  CompositeTreeNode* node = Node(id, "A", 0.5);
  std::vector<ScoreSplitVar*> splits;
  std::uniform_real_distribution<double> cut(0.3, 0.7);
  const double inf = std::numeric_limits<double>::infinity();
  for (int k = 0; k < 2; ++k) {
    auto* split = new ScaleSplit(f.vars[(level + shift + k) % kVars]);
    const double c = cut(rng);
    split->PutSplit(new Range(-inf, c, false, true), 0);
    split->PutSplit(new Range(c, inf, false, false), 1);
    splits.push_back(split);
  }
  node->SetSplitVar(splits);
  node->Add(Tree(f, level + 1, depth, shift, rng, counter));
  node->Add(Tree(f, level + 1, depth, shift, rng, counter));
  return node;
}

// Records with every value present: the common path.
std::vector<std::unique_ptr<IndexedCaseRecord>> Records() {
  std::vector<std::string> names;
  for (int i = 0; i < kVars; ++i) names.push_back("x" + std::to_string(i));
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(0, 1);
  std::vector<std::unique_ptr<IndexedCaseRecord>> records;
  for (int c = 0; c < kCases; ++c) {
    records.push_back(std::make_unique<IndexedCaseRecord>(names));
    for (int v = 0; v < kVars; ++v) records.back()->SetNumber(v, u(rng));
  }
  return records;
}

DendrixPMMLModel* TreeModel() {
  Fixture f = MakeModel();
  std::mt19937 rng(1);
  int counter = 0;
  f.model->SetRoot(Tree(f, 0, 10, 0, rng, counter));
  return f.model;
}

DendrixPMMLModel* EnsembleModel() {
  Fixture f = MakeModel();
  std::mt19937 rng(2);
  int counter = 0;
  for (int t = 1; t < 100; ++t) f.model->SetMultipleNodes(Tree(f, 0, 8, t, rng, counter));
  f.model->SetRoot(Tree(f, 0, 8, 0, rng, counter));
  return f.model;
}

// Builds the model and scores one case outside the timing, so that the
// preparation done on the first case is not counted.
void Benchmark(benchmark::State& state, DendrixPMMLModel* model) {
  const std::vector<std::unique_ptr<IndexedCaseRecord>> records = Records();
  ScoreResult* result = nullptr;
  model->GetScore(records[0].get(), result, false);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(model->GetScore(records[i++ % kCases].get(), result, false));
  }
  state.SetItemsProcessed(state.iterations());
  delete result;
  delete model;
}

void BM_TreeDepth10(benchmark::State& state) { Benchmark(state, TreeModel()); }
BENCHMARK(BM_TreeDepth10);

void BM_Ensemble100Depth8(benchmark::State& state) { Benchmark(state, EnsembleModel()); }
BENCHMARK(BM_Ensemble100Depth8);

// The plain loop for instruction counts; the model is built and prepared
// whatever N is, so runs with N and 0 differ only by the N cases.
int CountCases(long n, bool ensemble) {
  DendrixPMMLModel* model = ensemble ? EnsembleModel() : TreeModel();
  const std::vector<std::unique_ptr<IndexedCaseRecord>> records = Records();
  ScoreResult* result = nullptr;
  model->GetScore(records[0].get(), result, false);
  double sum = 0;
  for (long i = 0; i < n; ++i) {
    model->GetScore(records[i % kCases].get(), result, false);
    sum += result->GetConfidence();
  }
  std::cout << n << " cases, confidence sum " << sum << "\n";
  delete result;
  delete model;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strncmp(argv[1], "--cases=", 8) == 0) {
    const bool ensemble = argc >= 3 && std::strcmp(argv[2], "ensemble") == 0;
    return CountCases(std::atol(argv[1] + 8), ensemble);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
