// Scoring on the hot path: no heap allocation per case once a record is
// indexed and a result reused, and separate models scoring on separate threads.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
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

// Case i: mostly plain cases, some without x (surrogate and advice), some
// without x and y (biggest child). NaN stands for no value.
struct Cells {
  double x, y;
  bool red;
};
Cells CaseCells(int i) {
  const double x = (i * 7919) % static_cast<int>(kRange) + 0.5;
  return {i % 5 ? x : std::nan(""), i % 11 ? kRange - x : std::nan(""), i % 2 == 1};
}

struct Answer {
  const ScoreValue* prediction;
  double confidence;
  int code;
};

// One model with its own dictionary, record and result.
class Scorer {
 public:
  enum Kind { kTree, kEnsemble, kRuleSet, kC5 };

  explicit Scorer(Kind kind) : d_(MakeDictionary()), model_(MakeModel(d_)) {
    int leaves = 0;
    switch (kind) {
      case kTree:
        model_->SetRoot(FullTree(d_, 10, 0, kRange, leaves));
        break;
      case kEnsemble:
        for (int t = 1; t < 20; ++t) {
          model_->SetMultipleNodes(FullTree(d_, 6, -t, kRange + t, leaves));
        }
        model_->SetRoot(FullTree(d_, 6, 0, kRange, leaves));
        break;
      case kRuleSet: {
        model_->SetRuleSetScoreMethod(DendrixPMMLModel::Voting);
        std::vector<CompositeTreeNode*> rules;
        for (int k = 0; k < 30; ++k) {
          rules.push_back(Rule("R" + std::to_string(k), k % 2 ? "A" : "B", 0.6,
                               {AtMost(d_.x, k * 30.0), AtMost(d_.y, 1000 - k * 20.0)}));
        }
        model_->SetRoot(RuleSet("C", rules));
        break;
      }
      case kC5:
        model_->SetCFive(true);
        model_->SetRoot(FullTree(d_, 8, 0, kRange, leaves));
        model_->SetMisclassificationCost({{"A", {{"B", 3.0}}}});
        break;
    }
  }
  ~Scorer() {
    delete result_;
    delete model_;
  }

  Answer Score(int i) { return ScoreWith(record_, result_, i); }
  // Scores case i with a record and result of the caller's.
  Answer ScoreWith(IndexedCaseRecord& record, ScoreResult*& result, int i) {
    const Cells c = CaseCells(i);
    record.ClearAll();
    if (!std::isnan(c.x)) record.SetNumber(0, c.x);
    if (!std::isnan(c.y)) record.SetNumber(1, c.y);
    record.SetString(2, c.red ? "red" : "green");
    const VorqScore::VorqStatus status = model_->GetScore(&record, result, false);
    return Answer{result->GetPrediction(), result->GetConfidence(), status.GetCode()};
  }
  DendrixPMMLModel& Model() { return *model_; }

 private:
  Dictionary d_;
  DendrixPMMLModel* model_;
  IndexedCaseRecord record_{{"x", "y", "color"}};
  ScoreResult* result_ = nullptr;
};

// Once a record is indexed and a result reused, a case allocates nothing; a
// model shared by threads gives each case the answer it gives alone.
TEST(HotPath, ScoringIndexedCasesAllocatesNothing) {
  constexpr int kCases = 6000;
  for (Scorer::Kind kind : {Scorer::kTree, Scorer::kEnsemble, Scorer::kRuleSet, Scorer::kC5}) {
    Scorer scorer(kind);
    for (int i = 0; i < 200; ++i) scorer.Score(i);  // warm-up: tables, result, buffers
    std::vector<Answer> alone(kCases);
    g_allocations = 0;
    g_counting = true;
    for (int i = 0; i < kCases; ++i) alone[i] = scorer.Score(i);
    g_counting = false;
    EXPECT_EQ(g_allocations.load(), 0) << "kind " << kind;
    EXPECT_EQ(
        std::count_if(alone.begin(), alone.end(), [](const Answer& a) { return a.prediction; }),
        kCases);
    // A fresh model: the threads race to prepare it, then score it together.
    Scorer shared(kind);
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&, t] {
        IndexedCaseRecord record({"x", "y", "color"});
        ScoreResult* result = nullptr;
        for (int k = 0; k < kCases; ++k) {
          const int i = (k * (2 * t + 1)) % kCases;
          const Answer a = shared.ScoreWith(record, result, i);
          // Predictions are compared by text: each model has its own values.
          const bool same = a.code == alone[i].code && a.confidence == alone[i].confidence &&
                            a.prediction != nullptr &&
                            a.prediction->ToString() == alone[i].prediction->ToString();
          if (!same) mismatches.fetch_add(1);
        }
        delete result;
      });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(mismatches.load(), 0) << "kind " << kind;
  }
}

TEST(HotPath, BatchGivesWhatGetScoreGives) {
  constexpr int kRows = 5000;
  for (Scorer::Kind kind : {Scorer::kTree, Scorer::kEnsemble, Scorer::kRuleSet, Scorer::kC5}) {
    for (int run = 0; run < 4; ++run) {
      // Prediction only lets the tables route x although it declares a missing value.
      const bool predictionOnly = run >= 2;
      const int threads = run % 2 ? 3 : 1;
      Scorer scorer(kind);
      scorer.Model().SetPredictionOnly(predictionOnly);
      std::vector<double> xy;  // a row-major table: x, y per row
      std::vector<int32_t> color;
      for (int i = 0; i < kRows; ++i) {
        const Cells c = CaseCells(i);
        xy.insert(xy.end(), {c.x, c.y});
        color.push_back(c.red ? 0 : 1);
      }
      using Kind = BatchColumns::Kind;
      const BatchColumns columns{{"x", "y", "color"},
                                 {{Kind::kNumber, xy.data(), 2, nullptr, {}},
                                  {Kind::kNumber, xy.data() + 1, 2, nullptr, {}},
                                  {Kind::kText, nullptr, 1, color.data(), {"red", "green"}}},
                                 kRows};
      std::vector<int32_t> prediction(kRows), status(kRows);
      std::vector<double> confidence(kRows);
      BatchAnswers answers;
      answers.prediction = prediction.data();
      answers.confidence = confidence.data();
      answers.status = status.data();
      BatchTexts texts;
      ScoreBatch(scorer.Model(), columns, answers, texts, threads);

      int mismatches = 0;
      for (int i = 0; i < kRows; ++i) {
        const Answer a = scorer.Score(i);
        const auto& predictions = texts.Get(BatchTexts::kPrediction);
        const std::string text = prediction[i] < 0 ? "" : predictions.at(prediction[i]);
        const bool same =
            status[i] == a.code &&
            (a.code != 0 || (confidence[i] == a.confidence && text == a.prediction->ToString()));
        mismatches += same ? 0 : 1;
      }
      EXPECT_EQ(mismatches, 0) << "kind " << kind << ", run " << run;
    }
  }
}

}  // namespace
