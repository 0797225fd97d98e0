// Scoring on the hot path: no heap allocation per case once a record is
// indexed and a result reused, and separate models scoring on separate threads.
#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <thread>

#include "host/BatchScore.h"
#include "scoring_fixture.h"

using namespace scoring_test;

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};

void* CountedAlloc(std::size_t size) {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return CountedAlloc(size); }
void* operator new[](std::size_t size) { return CountedAlloc(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

// A complete binary tree over [lo, hi): each node splits x at the middle, with
// y as a surrogate; leaves cycle through A, B, C and carry per-category
// confidences (used by C5 and costs).
CompositeTreeNode* FullTree(const Dictionary& d, int depth, double lo, double hi, int& leafCount) {
  if (depth == 0) {
    const int n = leafCount++;
    return ClsNode("L" + std::to_string(n), std::string(1, "ABC"[n % 3]), 0.5 + (n % 5) * 0.1,
                   10.0 + n % 7, {{"A", 0.5}, {"B", 0.3}, {"C", 0.2}}, d.target);
  }
  const double mid = (lo + hi) / 2;
  CompositeTreeNode* low = FullTree(d, depth - 1, lo, mid, leafCount);
  CompositeTreeNode* high = FullTree(d, depth - 1, mid, hi, leafCount);
  return Join(ClsNode("N" + std::to_string(leafCount), "A", 0.5, 20.0),
              {Threshold(d.x, mid), Threshold(d.y, mid)}, {low, high}, leafCount % 2);
}

constexpr double kRange = 1024;

// Case i as x, y and red: mostly plain cases, some without x (surrogate and
// advice), some without x and y (biggest child). NaN stands for no value.
std::array<double, 3> CaseCells(int i) {
  const double x = (i * 7919) % static_cast<int>(kRange) + 0.5;
  return {i % 5 ? x : NAN, i % 11 ? kRange - x : NAN, static_cast<double>(i % 2)};
}

struct Answer {
  const ScoreValue* prediction;
  double confidence;
  int code;
};

enum Kind { kTree, kEnsemble, kRuleSet, kC5 };

// A model of the kind with its own dictionary.
std::unique_ptr<DendrixPMMLModel> KindModel(Kind kind) {
  const Dictionary d = MakeDictionary();
  std::unique_ptr<DendrixPMMLModel> model(MakeModel(d));
  int leaves = 0;
  switch (kind) {
    case kTree:
      model->SetRoot(FullTree(d, 10, 0, kRange, leaves));
      break;
    case kEnsemble:
      for (int t = 1; t < 20; ++t) model->SetMultipleNodes(FullTree(d, 6, -t, kRange + t, leaves));
      model->SetRoot(FullTree(d, 6, 0, kRange, leaves));
      break;
    case kRuleSet: {
      model->SetRuleSetScoreMethod(DendrixPMMLModel::Voting);
      std::vector<CompositeTreeNode*> rules;
      for (int k = 0; k < 30; ++k) {
        rules.push_back(Rule("R" + std::to_string(k), k % 2 ? "A" : "B", 0.6,
                             {AtMost(d.x, k * 30.0), AtMost(d.y, 1000 - k * 20.0)}));
      }
      model->SetRoot(RuleSet("C", rules));
      break;
    }
    case kC5:
      model->SetCFive(true);
      model->SetRoot(FullTree(d, 8, 0, kRange, leaves));
      model->SetMisclassificationCost({{"A", {{"B", 3.0}}}});
      break;
  }
  return model;
}

// Scores case i with a record of columns x, y, color.
Answer ScoreCase(DendrixPMMLModel& model, IndexedCaseRecord& record, ScoreResult*& result, int i) {
  const std::array<double, 3> c = CaseCells(i);
  record.ClearAll();
  if (!std::isnan(c[0])) record.SetNumber(0, c[0]);
  if (!std::isnan(c[1])) record.SetNumber(1, c[1]);
  record.SetString(2, c[2] != 0 ? "red" : "green");
  const VorqScore::VorqStatus status = model.GetScore(&record, result, false);
  return Answer{result->GetPrediction(), result->GetConfidence(), status.GetCode()};
}

// Once a record is indexed and a result reused, a case allocates nothing; a
// model shared by threads gives each case the answer it gives alone.
TEST(HotPath, ScoringIndexedCasesAllocatesNothing) {
  constexpr int kCases = 6000;
  for (Kind kind : {kTree, kEnsemble, kRuleSet, kC5}) {
    const std::unique_ptr<DendrixPMMLModel> model = KindModel(kind);
    IndexedCaseRecord record({"x", "y", "color"});
    ScoreResult* result = nullptr;
    for (int i = 0; i < 200; ++i) ScoreCase(*model, record, result, i);  // warm-up
    std::vector<Answer> alone(kCases);
    g_allocations = 0;
    g_counting = true;
    for (int i = 0; i < kCases; ++i) alone[i] = ScoreCase(*model, record, result, i);
    g_counting = false;
    delete result;
    EXPECT_EQ(g_allocations.load(), 0) << "kind " << kind;
    EXPECT_EQ(
        std::count_if(alone.begin(), alone.end(), [](const Answer& a) { return a.prediction; }),
        kCases);
    // A fresh model: the threads race to prepare it, then score it together.
    const std::unique_ptr<DendrixPMMLModel> shared = KindModel(kind);
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&, t] {
        IndexedCaseRecord own({"x", "y", "color"});
        ScoreResult* ownResult = nullptr;
        for (int k = 0; k < kCases; ++k) {
          const int i = (k * (2 * t + 1)) % kCases;
          const Answer a = ScoreCase(*shared, own, ownResult, i);
          // Predictions are compared by text: each model has its own values.
          const bool same = a.code == alone[i].code && a.confidence == alone[i].confidence &&
                            a.prediction != nullptr &&
                            a.prediction->ToString() == alone[i].prediction->ToString();
          if (!same) mismatches.fetch_add(1);
        }
        delete ownResult;
      });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(mismatches.load(), 0) << "kind " << kind;
  }
}

TEST(HotPath, BatchGivesWhatGetScoreGives) {
  constexpr int kRows = 5000;
  std::vector<double> xy;  // a row-major table: x, y per row
  std::vector<int32_t> color;
  for (int i = 0; i < kRows; ++i) {
    const std::array<double, 3> c = CaseCells(i);
    xy.insert(xy.end(), {c[0], c[1]});
    color.push_back(c[2] != 0 ? 0 : 1);
  }
  using Column = BatchColumns::Kind;
  const BatchColumns columns{{"x", "y", "color"},
                             {{Column::kNumber, xy.data(), 2, nullptr, {}},
                              {Column::kNumber, xy.data() + 1, 2, nullptr, {}},
                              {Column::kText, nullptr, 1, color.data(), {"red", "green"}}},
                             kRows};
  for (Kind kind : {kTree, kEnsemble, kRuleSet, kC5}) {
    for (int run = 0; run < 4; ++run) {
      const std::unique_ptr<DendrixPMMLModel> model = KindModel(kind);
      // Prediction only lets the tables route x although it declares a missing value.
      model->SetPredictionOnly(run >= 2);
      std::vector<int32_t> prediction(kRows), status(kRows);
      std::vector<double> confidence(kRows);
      BatchAnswers answers;
      answers.prediction = prediction.data();
      answers.confidence = confidence.data();
      answers.status = status.data();
      BatchTexts texts;
      ScoreBatch(*model, columns, answers, texts, run % 2 ? 3 : 1);

      IndexedCaseRecord record({"x", "y", "color"});
      ScoreResult* result = nullptr;
      int mismatches = 0;
      for (int i = 0; i < kRows; ++i) {
        const Answer a = ScoreCase(*model, record, result, i);
        const std::string text =
            prediction[i] < 0 ? "" : texts.Get(BatchTexts::kPrediction).at(prediction[i]);
        mismatches +=
            status[i] != a.code ||
            (a.code == 0 && (confidence[i] != a.confidence || text != a.prediction->ToString()));
      }
      delete result;
      EXPECT_EQ(mismatches, 0) << "kind " << kind << ", run " << run;
    }
  }
}

}  // namespace
