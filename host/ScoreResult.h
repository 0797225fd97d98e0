#pragma once

#include <string>
#include <utility>
#include <vector>

#include "host/HostExport.h"
#include "host/ResultAdvice.h"
#include "host/ScoreDictionary.h"
#include "host/ScoreValue.h"

// The answer of one scoring call. Owned by the host; the values it points to
// belong to the model that filled it, so a result is valid only while that
// model lives.
class DX_HOST_API ScoreResult {
 public:
  enum ResultType { kClassification = 0, kRegression = 1 };

  virtual ~ScoreResult();                                   // slot 0
  virtual void SetPrediction(ScoreValue* prediction) = 0;   // 1
  virtual const ScoreValue* GetPrediction() const = 0;      // 2
  virtual void AddAdvice(ResultAdvice advice) = 0;          // 3
  virtual std::vector<ResultAdvice> GetAdvice() const = 0;  // 4 (a copy)
  virtual void RemoveAdvice() = 0;                          // 5
  virtual const ScoreDictVar* GetTarget() const = 0;        // 6
  virtual void SetConfidence(double confidence) = 0;        // 7
  virtual double GetConfidence() const = 0;                 // 8
  virtual ResultType GetScoreResultType() const = 0;        // 9
};

// Classification result: adds the category distribution of the node reached.
class DX_HOST_API ScoreClsResult : public ScoreResult {
 public:
  ~ScoreClsResult() override;
  virtual bool AddValuePercent(ScoreValue* value, double percent) = 0;             // 10
  virtual double GetPercent(const ScoreValue* value) const = 0;                    // 11
  virtual const std::vector<std::pair<ScoreValue*, double>>& GetAllValuePercent()  // 12
      const = 0;
};

// Regression result: adds the standard deviation of the node reached.
class DX_HOST_API ScoreRegResult : public ScoreResult {
 public:
  ~ScoreRegResult() override;
  virtual void SetStdDev(double stdDev) = 0;  // 10
  virtual double GetStdDev() const = 0;       // 11
};

// Statistics of a tree node (also the second face of a tree result).
class DX_HOST_API ScoreNodeStats {
 public:
  virtual ~ScoreNodeStats();                                       // slot 0
  virtual bool operator==(const ScoreNodeStats& other) const = 0;  // 1
  virtual void SetBiggestChild(int index) = 0;                     // 2
  virtual int GetBiggestChild() const = 0;                         // 3
  virtual void SetNodeID(std::string id) = 0;                      // 4
  virtual std::string GetNodeID() const = 0;                       // 5
  virtual void SetChildIndexOnMaxConfidence(int index) = 0;        // 6
  virtual int GetChildIndexOnMaxConfidence() const = 0;            // 7
  virtual void SetRuleSet(bool ruleSet) = 0;                       // 8
  // Added by this host after the slots above: the training records that
  // reached the node; -1 when unknown.
  virtual double GetRecordCount() const;  // 9
};
