#pragma once

#include <string>
#include <utility>
#include <vector>

#include "host/ScoreResult.h"

// Classification result and, as TreeClsNodeStats, the statistics of a
// classification node. A plain TreeClsResult owns no value object: it points
// to values of the node statistics it was filled from (or of the dictionary),
// so it must not outlive the model. Not thread-safe.
class TreeClsResult : public ScoreClsResult, public ScoreNodeStats {
 public:
  explicit TreeClsResult(const ScoreDictVar* target);
  TreeClsResult(const TreeClsResult&) = delete;
  TreeClsResult& operator=(const TreeClsResult&) = delete;
  ~TreeClsResult() override;

  // ScoreClsResult side.
  void SetPrediction(ScoreValue* prediction) override;
  const ScoreValue* GetPrediction() const override;
  void AddAdvice(ResultAdvice advice) override;
  std::vector<ResultAdvice> GetAdvice() const override;
  void RemoveAdvice() override;
  const ScoreDictVar* GetTarget() const override;
  void SetConfidence(double confidence) override;
  double GetConfidence() const override;
  ResultType GetScoreResultType() const override;
  bool AddValuePercent(ScoreValue* value, double percent) override;
  double GetPercent(const ScoreValue* value) const override;
  const std::vector<std::pair<ScoreValue*, double>>& GetAllValuePercent() const override;

  // ScoreNodeStats side.
  bool operator==(const ScoreNodeStats& other) const override;
  void SetBiggestChild(int index) override;
  int GetBiggestChild() const override;
  void SetNodeID(std::string id) override;
  std::string GetNodeID() const override;
  void SetChildIndexOnMaxConfidence(int index) override;
  int GetChildIndexOnMaxConfidence() const override;
  void SetRuleSet(bool ruleSet) override;
  double GetRecordCount() const override { return totalRecord; }

  void ComputeConfidence();
  void ComputeAllConfidences();
  const std::vector<double> GetAllConfidence() const;
  void RemoveValuePercent();
  void SetTotalRecord(double total);
  double GetTotalRecord() const;

  // Allocation-free views for the scoring engine.
  const std::string& GetNodeIDRef() const { return nodeID; }
  const std::vector<double>& GetAllConfidenceRef() const { return allConfidences; }
  const std::vector<ResultAdvice>& GetAdviceRef() const { return advice; }

 protected:
  const ScoreDictVar* target;
  ScoreValue* prediction;
  std::vector<std::pair<ScoreValue*, double>> valuePercents;
  std::vector<ResultAdvice> advice;
  int biggestChild;
  std::string nodeID;
  double totalRecord;
  double confidence;
  std::vector<double> allConfidences;
  int childIndexOnMaxConfidence;
  bool ruleSet;
};

// Node statistics: owns its prediction value and the value of every pair,
// unless told that they are shared (owned by the model, one object per
// category for all nodes, which keeps large trees small).
class TreeClsNodeStats : public TreeClsResult {
 public:
  TreeClsNodeStats();
  ~TreeClsNodeStats() override;
  void SetTarget(const ScoreDictVar* target);
  void ShareValues() { ownsValues = false; }
  void ReserveValuePercents(size_t count) { valuePercents.reserve(count); }

 private:
  bool ownsValues = true;
};
