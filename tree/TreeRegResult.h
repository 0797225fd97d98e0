#pragma once

#include <string>
#include <vector>

#include "host/ScoreResult.h"

// Regression result and, as TreeRegNodeStats, the statistics of a regression
// node. A plain TreeRegResult shares the prediction value of the node it was
// filled from and must not outlive the model. Not thread-safe.
class TreeRegResult : public ScoreRegResult, public ScoreNodeStats {
 public:
  explicit TreeRegResult(const ScoreDictVar* target);
  TreeRegResult(const TreeRegResult& other);
  TreeRegResult& operator=(const TreeRegResult& other);
  ~TreeRegResult() override;

  // ScoreRegResult side.
  void SetPrediction(ScoreValue* prediction) override;
  const ScoreValue* GetPrediction() const override;
  void AddAdvice(ResultAdvice advice) override;
  std::vector<ResultAdvice> GetAdvice() const override;
  void RemoveAdvice() override;
  const ScoreDictVar* GetTarget() const override;
  void SetConfidence(double confidence) override;  // does nothing
  double GetConfidence() const override;           // always -1.0
  ResultType GetScoreResultType() const override;
  void SetStdDev(double stdDev) override;
  double GetStdDev() const override;

  // ScoreNodeStats side.
  bool operator==(const ScoreNodeStats& other) const override;
  void SetBiggestChild(int index) override;
  int GetBiggestChild() const override;
  void SetNodeID(std::string id) override;
  std::string GetNodeID() const override;
  void SetChildIndexOnMaxConfidence(int index) override;  // does nothing
  int GetChildIndexOnMaxConfidence() const override;      // always -1
  void SetRuleSet(bool ruleSet) override;                 // does nothing
  double GetRecordCount() const override { return count; }

  void SetCount(double count);
  double GetCount() const;

  const std::string& GetNodeIDRef() const { return nodeID; }
  const std::vector<ResultAdvice>& GetAdviceRef() const { return advice; }

 protected:
  const ScoreDictVar* target;
  ScoreValue* prediction;
  double stdDev;
  int biggestChild;
  std::string nodeID;
  double count;
  std::vector<ResultAdvice> advice;
};

// Node statistics: owns its prediction value.
class TreeRegNodeStats : public TreeRegResult {
 public:
  TreeRegNodeStats();
  TreeRegNodeStats(const TreeRegNodeStats&) = delete;
  TreeRegNodeStats& operator=(const TreeRegNodeStats&) = delete;
  ~TreeRegNodeStats() override;
};
