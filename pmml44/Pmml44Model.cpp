#include "pmml44/Pmml44Model.h"

#include "host/VeltraException.h"
#include "pmml44/Reader.h"
#include "pmml44/Status.h"

namespace pmml44 {

namespace {

const std::string kNoNode = "-1";

// What both result kinds hold: the per-call scratch and the answer's values.
template <class Face>
class Result : public Face, public ScoreNodeStats {
 public:
  Result(const Engine& engine, const ScoreDictVar* target) : engine_(&engine), target_(target) {
    engine.InitScratch(scratch);
    extras_.resize(engine.extraOutputs.size());
  }
  ~Result() override { delete owned_; }

  void SetPrediction(ScoreValue* prediction) override {
    if (prediction != owned_) delete owned_;
    owned_ = prediction;
    prediction_ = prediction;
  }
  const ScoreValue* GetPrediction() const override { return prediction_; }
  void AddAdvice(ResultAdvice advice) override { advice_.push_back(std::move(advice)); }
  std::vector<ResultAdvice> GetAdvice() const override { return advice_; }
  void RemoveAdvice() override { advice_.clear(); }
  const ScoreDictVar* GetTarget() const override { return target_; }
  void SetConfidence(double confidence) override { confidence_ = confidence; }
  double GetConfidence() const override { return confidence_; }

  bool operator==(const ScoreNodeStats& other) const override { return this == &other; }
  void SetBiggestChild(int) override {}
  int GetBiggestChild() const override { return -1; }
  void SetNodeID(std::string id) override { nodeId_ = std::move(id); }
  std::string GetNodeID() const override { return nodeId_; }
  void SetChildIndexOnMaxConfidence(int) override {}
  int GetChildIndexOnMaxConfidence() const override { return -1; }
  void SetRuleSet(bool) override {}

  bool IsOf(const Engine* engine) const { return engine == engine_; }

  // Copies the top answer into the result's faces.
  void Fill(const Answer& answer) {
    nodeId_.assign(answer.has && answer.entity != nullptr ? *answer.entity : kNoNode);
    confidence_ = answer.has ? answer.confidence : -1;
    if (!answer.has) {
      prediction_ = nullptr;
    } else if (!answer.joined.empty()) {
      text_.Set(answer.joined);
      prediction_ = &text_;
    } else if (answer.category >= 0) {
      prediction_ = engine_->categories[answer.category].get();
    } else {
      number_.Set(answer.value);
      prediction_ = &number_;
    }
    for (size_t i = 0; i < extras_.size(); ++i) {
      const OutputField& out = engine_->top->outputs[engine_->extraOutputs[i]];
      const Value& v = scratch.values[out.slot];
      Extra& e = extras_[i];
      e.value = nullptr;
      if (v.kind == Value::kNumber) {
        e.number.Set(v.number);
        e.value = &e.number;
      } else if (v.kind == Value::kText) {
        e.text.Set(v.text);
        e.value = &e.text;
      }
    }
  }
  const ScoreValue* GetExtra(int i) const {
    return i >= 0 && i < static_cast<int>(extras_.size()) ? extras_[i].value : nullptr;
  }

  Scratch scratch;

 protected:
  const Engine* engine_;

 private:
  struct Extra {
    NumericValue number{0.0};
    StringValue text{""};
    const ScoreValue* value = nullptr;
  };
  const ScoreDictVar* target_;
  const ScoreValue* prediction_ = nullptr;
  ScoreValue* owned_ = nullptr;
  NumericValue number_{0.0};
  StringValue text_{""};
  double confidence_ = -1;
  std::string nodeId_ = kNoNode;
  std::vector<ResultAdvice> advice_;
  std::vector<Extra> extras_;
};

class ClsResult final : public Result<ScoreClsResult> {
 public:
  using Result::Result;
  ResultType GetScoreResultType() const override { return kClassification; }
  bool AddValuePercent(ScoreValue* value, double percent) override {
    if (value == nullptr) return false;
    added_.emplace_back(value);
    percents_.emplace_back(value, percent);
    return true;
  }
  double GetPercent(const ScoreValue* value) const override {
    for (const auto& [v, p] : percents_) {
      if (v->Equals(value)) return p;
    }
    return -1;
  }
  const std::vector<std::pair<ScoreValue*, double>>& GetAllValuePercent() const override {
    return percents_;
  }
  void FillShares(const Answer& answer) {
    percents_.clear();
    if (!answer.has || !answer.hasProbabilities) return;
    for (size_t k = 0; k < answer.probabilities.size(); ++k) {
      percents_.emplace_back(engine_->categories[k].get(), answer.probabilities[k]);
    }
  }

 private:
  std::vector<std::pair<ScoreValue*, double>> percents_;
  std::vector<std::unique_ptr<ScoreValue>> added_;
};

class RegResult final : public Result<ScoreRegResult> {
 public:
  using Result::Result;
  ResultType GetScoreResultType() const override { return kRegression; }
  void SetStdDev(double stdDev) override { stdDev_ = stdDev; }
  double GetStdDev() const override { return stdDev_; }

 private:
  double stdDev_ = -1;
};

// The scratch of a result this engine made, or null.
Scratch* ScratchOf(ScoreResult* result, const Engine* engine) {
  if (auto* c = dynamic_cast<ClsResult*>(result)) return c->IsOf(engine) ? &c->scratch : nullptr;
  if (auto* r = dynamic_cast<RegResult*>(result)) return r->IsOf(engine) ? &r->scratch : nullptr;
  return nullptr;
}

void Describe(std::ostream& os, const Model& model, int depth) {
  const std::string indent(2 * depth, ' ');
  const char* function = model.function == Model::kClassification ? "classification" : "regression";
  if (const auto* tree = dynamic_cast<const TreeModel*>(&model)) {
    os << indent << "TreeModel (" << function << "): " << tree->nodes.size() << " nodes\n";
  } else if (const auto* mining = dynamic_cast<const MiningModel*>(&model)) {
    static const char* kMethods[] = {
        "majorityVote", "weightedMajorityVote", "average",   "weightedAverage", "median", "max",
        "sum",          "selectFirst",          "selectAll", "modelChain"};
    os << indent << "MiningModel (" << function << "): " << kMethods[mining->method] << " of "
       << mining->segments.size() << " segments\n";
    for (const Segment& s : mining->segments) Describe(os, *s.model, depth + 1);
  } else if (const auto* regression = dynamic_cast<const RegressionModel*>(&model)) {
    os << indent << "RegressionModel (" << function << "): " << regression->tables.size()
       << " tables\n";
  }
}

}  // namespace

Pmml44Model::~Pmml44Model() = default;

VorqScore::VorqStatus Pmml44Model::GetScore(const ScoreCaseRecord* record, ScoreResult*& result,
                                            bool) {
  if (record == nullptr) return VorqScore::VorqStatus(kNoRecord, false);
  const Engine* engine = engine_.get();
  Scratch* scratch = ScratchOf(result, engine);
  if (scratch == nullptr) {
    delete result;
    if (engine->top->function == Model::kClassification) {
      result = new ClsResult(*engine, GetTargetVar());
    } else {
      result = new RegResult(*engine, GetTargetVar());
    }
    scratch = ScratchOf(result, engine);
  }
  engine->Score(record, *scratch, nullptr);
  const Answer& answer = scratch->answers[engine->top->index];
  if (auto* c = dynamic_cast<ClsResult*>(result)) {
    c->Fill(answer);
    c->FillShares(answer);
  } else {
    static_cast<RegResult*>(result)->Fill(answer);
  }
  if (!answer.has) return VorqScore::VorqStatus(answer.status != 0 ? answer.status : 90027, false);
  return VorqScore::VorqStatus();
}

ScoreModel::ModelType Pmml44Model::GetModelType() {
  return dynamic_cast<const MiningModel*>(engine_->top.get()) ? kMultipleTrees : kSingleTree;
}

void Pmml44Model::Display(std::ostream& os) const {
  os << "PMML 4.4 engine; the model has no node-by-node dump here.\n";
  Describe(os, *engine_->top, 0);
}

bool Pmml44Model::GetDecisionPath(const ScoreCaseRecord* record, DecisionPath& path, bool) {
  path.Clear();
  if (record == nullptr) return false;
  Scratch scratch;
  engine_->InitScratch(scratch);
  engine_->Score(record, scratch, &path);
  return true;
}

std::vector<std::string> Pmml44Model::GetExtraOutputNames() const {
  std::vector<std::string> names;
  for (int i : engine_->extraOutputs) names.push_back(engine_->top->outputs[i].name);
  return names;
}

const ScoreValue* Pmml44Model::GetExtraOutput(const ScoreResult* result, int i) const {
  if (const auto* c = dynamic_cast<const ClsResult*>(result)) return c->GetExtra(i);
  if (const auto* r = dynamic_cast<const RegResult*>(result)) return r->GetExtra(i);
  return nullptr;
}

ScoreModel* Pmml44Translator::ParseFromTree(xercesc::DOMDocument* document,
                                            const std::string& encoding) {
  CreateTranscoder(encoding);
  auto model = std::make_unique<Pmml44Model>();
  model->SetEngine(ReadDocument(*this, document, *model));
  return model.release();
}

}  // namespace pmml44

extern "C" DX_PLUGIN_API ScoreTranslator* GiveMyTranslator() {
  return new pmml44::Pmml44Translator();
}
