// Routing costs of the host's split classes and record reads: the operations
// the tree walk performs at every node.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "host/BaseDictionary.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreSplitVar.h"

namespace {

void BM_ScaleSplitTwoWay(benchmark::State& state) {
  DictVar var("age", ScoreDictVar::kNumeric);
  ScaleSplit split(&var);
  const double inf = NumericValue::GetInfinity();
  split.PutSplit(new Range(-inf, 40.5, false, true), 0);
  split.PutSplit(new Range(40.5, inf, false, false), 1);
  std::vector<NumericValue> values;
  for (int i = 0; i < 64; ++i) values.emplace_back(i * 1.37);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(split.GetChildIndex(&values[i++ & 63]));
  }
}
BENCHMARK(BM_ScaleSplitTwoWay);

void BM_DiscreteSplitTenNumbers(benchmark::State& state) {
  DictVar var("grade", ScoreDictVar::kNumeric);
  DiscreteSplit split(&var);
  for (int k = 0; k < 10; ++k) split.PutSplit(new NumericValue(k), k % 3);
  std::vector<NumericValue> values;
  for (int k = 0; k < 10; ++k) values.emplace_back(k);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(split.GetChildIndex(&values[i++ % 10]));
  }
}
BENCHMARK(BM_DiscreteSplitTenNumbers);

void BM_DiscreteSplitTenStrings(benchmark::State& state) {
  DictVar var("region", ScoreDictVar::kString);
  DiscreteSplit split(&var);
  std::vector<StringValue> values;
  for (int k = 0; k < 10; ++k) {
    std::string text = "region-" + std::to_string(k);
    split.PutSplit(new StringValue(text), k % 3);
    values.emplace_back(text);
  }
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(split.GetChildIndex(&values[i++ % 10]));
  }
}
BENCHMARK(BM_DiscreteSplitTenStrings);

void BM_IndexedRecordGetValueAt(benchmark::State& state) {
  std::vector<std::string> names;
  for (int k = 0; k < 16; ++k) names.push_back("v" + std::to_string(k));
  IndexedCaseRecord record(names);
  for (int k = 0; k < 16; ++k) record.SetNumber(k, k);
  // Called through the interface, as scoring does; the opaque pointer keeps
  // the compiler from resolving the virtual call.
  const ScoreCaseRecord* base = &record;
  benchmark::DoNotOptimize(base);
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(base->GetValueAt(i++ & 15));
  }
}
BENCHMARK(BM_IndexedRecordGetValueAt);

}  // namespace

BENCHMARK_MAIN();
