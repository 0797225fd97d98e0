#pragma once

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "host/ScoreModel.h"
#include "host/TreeNode.h"
#include "plugin/PluginExport.h"

class DendrixPMMLModelTestPeer;

// A decision-tree scoring model: one tree or rule set, or several scored as an
// ensemble. Owns its trees and (through BaseModel) its dictionaries.
// Scoring writes model state (record positions, rule-set fallback, leaf
// confidences under costs), so one model scores one case at a time; separate
// models are independent and may score on separate threads.
class DX_PLUGIN_API DendrixPMMLModel : public BaseModel {
 public:
  enum RuleSetMode { Voting = 0, FirstHit = 1, NotRuleSet = 2 };

  DendrixPMMLModel();
  explicit DendrixPMMLModel(TreeNode* root);
  DendrixPMMLModel(const DendrixPMMLModel&) = delete;
  DendrixPMMLModel& operator=(const DendrixPMMLModel&) = delete;
  ~DendrixPMMLModel() override;

  // Takes ownership of the tree. Throws VeltraException 4 when a categorical
  // target has no value-label set.
  void SetRoot(TreeNode* root);
  const TreeNode* GetRoot() const;
  // Takes ownership; the model then scores as an ensemble.
  void SetMultipleNodes(TreeNode* node);

  void SetCFive(bool cFive);
  void SetRuleSetScoreMethod(RuleSetMode mode);
  void SetNullHandling(bool nullHandling) override;
  bool GetNullHandling() const override;
  void SetNeedDerivedPredictor(bool need);
  bool NeedDerivedPredictor() const;
  void SetPredictionOnly(bool predictionOnly) override;
  bool GetPredictionOnly() const override;
  bool IsCFive() const { return cFive; }
  RuleSetMode GetRuleSetScoreMethod() const { return ruleSetMode; }

  ModelType GetModelType() override;
  ScoreDictionary* GetVarsOfRole(VarRole role) const override;
  VorqScore::VorqStatus GetScore(const ScoreCaseRecord* record, ScoreResult*& result,
                                 bool derivedInRecord) override;
  void Display(std::ostream& os) const override;
  int GetTreeCount() const override;
  const TreeNode* GetTree(int index) const override;

  void SetMisclassificationCost(const std::map<std::string, std::map<std::string, double>>& costs);

 private:
  friend class DendrixPMMLModelTestPeer;

  int GetIndexOf(const ScoreValue* value) const;
  void SetUpDictVarIndex(const ScoreCaseRecord* record, bool derivedInRecord);
  int ComputeMisclassificationScore(const std::vector<double>& p) const;
  VorqScore::VorqStatus GetTreeScore(const TreeNode* node, const ScoreCaseRecord* record,
                                     ScoreResult*& result, const ScoreCaseRecord* derivedRecord);
  VorqScore::VorqStatus GetRuleSetScore(const TreeNode* ruleSetRoot, const ScoreCaseRecord* record,
                                        ScoreResult*& result,
                                        const ScoreCaseRecord* derivedRecord);
  std::vector<double> GetChildIndexForC5(const TreeNode* node, const ScoreCaseRecord* record,
                                         ScoreResult*& result, bool top,
                                         VorqScore::VorqStatus& status);

  TreeNode* root;
  bool cFive;
  const ScoreDictVar* target;
  bool predictionOnly;
  bool dictVarIndexReady;
  RuleSetMode ruleSetMode;
  std::vector<const ScoreValue*> categoryValues;
  int numCategories;
  const ScoreValue* defaultPrediction;
  std::vector<TreeNode*> furtherTrees;
  bool multipleTrees;
  bool nullHandling;
  std::map<std::string, std::map<std::string, double>> misclassificationCosts;
  std::vector<std::vector<double>> costMatrix;
  bool needDerivedPredictor;
};
