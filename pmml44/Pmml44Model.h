// A scoring engine that evaluates tree models, tree ensembles and the
// regression models chained after them with the rules of PMML 4.4, behind the
// host's translator and model interfaces.
//
// Thread safety: once read, a model is never written. GetScore keeps every
// per-call value in the result object, so one model may be scored from several
// threads at once, each with its own result. Derived-field expressions keep
// text they build in their own buffers, so their evaluation takes a lock.
//
// Case records: an indexed record must hold the data dictionary's fields in
// dictionary order (as the batch scorer's does); other records are read by name.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "host/PluginExport.h"
#include "host/ScoreModel.h"
#include "host/ScoreTranslator.h"
#include "pmml44/Engine.h"

namespace pmml44 {

class Pmml44Model final : public BaseModel {
 public:
  Pmml44Model() = default;
  ~Pmml44Model() override;

  void SetEngine(std::unique_ptr<Engine> engine) { engine_ = std::move(engine); }
  const Engine* GetEngine() const { return engine_.get(); }

  // A result with no prediction returns a status from pmml44/Status.h.
  VorqScore::VorqStatus GetScore(const ScoreCaseRecord* record, ScoreResult*& result,
                                 bool derivedInRecord) override;
  ModelType GetModelType() override;
  void Display(std::ostream& os) const override;
  // One list per tree scored: node ids from the root to the answer, each with
  // the predicate that sent the case there, or "defaultChild",
  // "lastPrediction", "returnLastPrediction" when a rule other than a true
  // predicate decided (the last two repeat the node where the walk stopped).
  bool GetDecisionPath(const ScoreCaseRecord* record, DecisionPath& path,
                       bool derivedInRecord) override;
  std::vector<std::string> GetExtraOutputNames() const override;
  const ScoreValue* GetExtraOutput(const ScoreResult* result, int i) const override;

 private:
  std::unique_ptr<Engine> engine_;
};

// Reads PMML documents into Pmml44Models.
class Pmml44Translator final : public PMMLTranslator {
 public:
  Pmml44Translator() : PMMLTranslator("pmml44") {}
  using BaseTranslator::ParseFromTree;
  ScoreModel* ParseFromTree(xercesc::DOMDocument* document, const std::string& encoding) override;
};

}  // namespace pmml44
