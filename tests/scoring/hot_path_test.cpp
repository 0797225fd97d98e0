// Scoring on the hot path: no heap allocation per case once a record is
// indexed and a result reused, and separate models scoring on separate threads.
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
// y as a surrogate; leaves cycle through A, B, C.
CompositeTreeNode* FullTree(const Dictionary& d, int depth, double lo, double hi, int& leafCount,
                            bool leafTargets) {
  if (depth == 0) {
    const int n = leafCount++;
    const char* category = n % 3 == 0 ? "A" : (n % 3 == 1 ? "B" : "C");
    return ClsNode("L" + std::to_string(n), category, 0.5 + (n % 5) * 0.1, 10.0 + n % 7,
                   {{"A", 0.5}, {"B", 0.3}, {"C", 0.2}}, leafTargets ? d.target : nullptr);
  }
  const double mid = (lo + hi) / 2;
  CompositeTreeNode* low = FullTree(d, depth - 1, lo, mid, leafCount, leafTargets);
  CompositeTreeNode* high = FullTree(d, depth - 1, mid, hi, leafCount, leafTargets);
  return Join(ClsNode("N" + std::to_string(leafCount), "A", 0.5, 20.0),
              {Threshold(d.x, mid), Threshold(d.y, mid)}, {low, high}, leafCount % 2);
}

// Fills the record with case i: mostly plain cases, some without x (surrogate
// and advice), some without x and y (biggest child).
void FillCase(IndexedCaseRecord& record, int i, double range) {
  const double x = (i * 7919) % static_cast<int>(range) + 0.5;
  record.ClearAll();
  if (i % 5 != 0) record.SetNumber(0, x);
  if (i % 11 != 0) record.SetNumber(1, range - x);
  record.SetString(2, i % 2 ? "red" : "green");
}

struct Answer {
  const ScoreValue* prediction;
  double confidence;
  int code;
  bool operator==(const Answer& o) const {
    return prediction == o.prediction && confidence == o.confidence && code == o.code;
  }
};

// One model with its own dictionary, record and result.
class Scorer {
 public:
  enum Kind { kTree, kEnsemble, kRuleSet, kC5 };

  explicit Scorer(Kind kind) : d_(MakeDictionary()), model_(MakeModel(d_)) {
    int leaves = 0;
    switch (kind) {
      case kTree:
        model_->SetRoot(FullTree(d_, 10, 0, kRange, leaves, false));
        break;
      case kEnsemble:
        for (int t = 1; t < 20; ++t) {
          model_->SetMultipleNodes(FullTree(d_, 6, -t, kRange + t, leaves, false));
        }
        model_->SetRoot(FullTree(d_, 6, 0, kRange, leaves, false));
        break;
      case kRuleSet: {
        model_->SetRuleSetScoreMethod(DendrixPMMLModel::Voting);
        CompositeTreeNode* top = ClsNode("rs", "C", 0.5);
        for (int k = 0; k < 30; ++k) {
          top->Add(Rule("R" + std::to_string(k), k % 2 ? "A" : "B", 0.6,
                        {AtMost(d_.x, k * 30.0), AtMost(d_.y, 1000 - k * 20.0)}));
        }
        model_->SetRoot(top);
        break;
      }
      case kC5:
        model_->SetCFive(true);
        model_->SetRoot(FullTree(d_, 8, 0, kRange, leaves, true));
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
    FillCase(record, i, kRange);
    const VorqScore::VorqStatus status = model_->GetScore(&record, result, false);
    return Answer{result->GetPrediction(), result->GetConfidence(), status.GetCode()};
  }
  DendrixPMMLModel& Model() { return *model_; }

  static constexpr double kRange = 1024;

 private:
  Dictionary d_;
  DendrixPMMLModel* model_;
  IndexedCaseRecord record_{{"x", "y", "color"}};
  ScoreResult* result_ = nullptr;
};

TEST(HotPath, ScoringIndexedCasesAllocatesNothing) {
  for (Scorer::Kind kind : {Scorer::kTree, Scorer::kEnsemble, Scorer::kRuleSet, Scorer::kC5}) {
    Scorer scorer(kind);
    for (int i = 0; i < 200; ++i) scorer.Score(i);  // warm-up: tables, result, buffers
    g_allocations = 0;
    g_counting = true;
    long predicted = 0;
    for (int i = 0; i < 2000; ++i) predicted += scorer.Score(i).prediction != nullptr;
    g_counting = false;
    EXPECT_EQ(g_allocations.load(), 0) << "kind " << kind;
    EXPECT_EQ(predicted, 2000) << "kind " << kind;
  }
}

TEST(HotPath, OneModelScoresOnManyThreadsAsAlone) {
  constexpr int kCases = 6000;
  for (Scorer::Kind kind : {Scorer::kTree, Scorer::kEnsemble, Scorer::kRuleSet, Scorer::kC5}) {
    Scorer scorer(kind);
    std::vector<Answer> alone;
    for (int i = 0; i < kCases; ++i) alone.push_back(scorer.Score(i));
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
                            (a.prediction == nullptr) == (alone[i].prediction == nullptr) &&
                            (a.prediction == nullptr ||
                             a.prediction->ToString() == alone[i].prediction->ToString());
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
      std::vector<double> xy(2 * kRows);  // a row-major table: x, y per row
      std::vector<int32_t> color(kRows);
      IndexedCaseRecord probe({"x", "y", "color"});
      for (int i = 0; i < kRows; ++i) {
        FillCase(probe, i, Scorer::kRange);
        const ScoreValue* vx = probe.GetValueAt(0);
        const ScoreValue* vy = probe.GetValueAt(1);
        xy[2 * i] = vx ? vx->ToDouble() : std::nan("");
        xy[2 * i + 1] = vy ? vy->ToDouble() : std::nan("");
        color[i] = probe.GetValueAt(2)->ToString() == "red" ? 0 : 1;
      }
      BatchColumns columns;
      columns.names = {"x", "y", "color"};
      columns.rows = kRows;
      columns.columns.resize(3);
      columns.columns[0] = {BatchColumns::Kind::kNumber, xy.data(), 2, nullptr, {}};
      columns.columns[1] = {BatchColumns::Kind::kNumber, xy.data() + 1, 2, nullptr, {}};
      columns.columns[2] = {BatchColumns::Kind::kText, nullptr, 1, color.data(), {"red", "green"}};
      std::vector<int32_t> prediction(kRows), node(kRows), status(kRows);
      std::vector<double> confidence(kRows);
      BatchAnswers answers;
      answers.prediction = prediction.data();
      answers.confidence = confidence.data();
      answers.node = node.data();
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
