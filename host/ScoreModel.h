#pragma once

#include <ostream>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/DecisionPath.h"
#include "host/HostExport.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreDictionary.h"
#include "host/ScoreResult.h"
#include "host/VorqScore.h"

class BatchTexts;
class TransformationDictionary;
class TreeNode;
struct BatchAnswers;
struct BatchColumns;

// Version information of a model document.
class DX_HOST_API ScoreVersionInfo {
 public:
  virtual ~ScoreVersionInfo();
  virtual const std::string& GetVersion() const = 0;
};

class DX_HOST_API VersionInfo : public ScoreVersionInfo {
 public:
  explicit VersionInfo(std::string version) : version_(std::move(version)) {}
  const std::string& GetVersion() const override { return version_; }

 private:
  std::string version_;
};

// A scoring model as the host sees it.
// Threads: a model scores one case at a time (GetScore and GetDecisionPath
// reuse buffers of the model), so calls on one model must not overlap; give
// each thread its own model. Separate models are independent and may score
// at the same time.
class DX_HOST_API ScoreModel {
 public:
  enum VarRole { kRoleOther = 0, kRoleTarget = 1, kRoleInput = 2 };
  enum ModelType { kSingleTree = 15, kSingleRuleSet = 16, kMultipleTrees = 17 };
  enum MVPolicy { kMVPolicyDefault = 0, kMVPolicyAsValue = 1, kMVPolicyListwise = 2 };

  virtual ~ScoreModel();                                                            // 0
  virtual void SetScoreDictionary(ScoreDictionary* dictionary) = 0;                 // 1
  virtual void SetTransformationScoreDictionary(TransformationDictionary* td) = 0;  // 2
  virtual bool SetVarRole(const std::string& name, VarRole role) = 0;               // 3
  virtual bool SetVarRole(const ScoreDictVar* var, VarRole role) = 0;               // 4
  virtual void SetMissingValuePolicy(MVPolicy policy) = 0;                          // 5
  virtual void SetVersionInfo(ScoreVersionInfo* info) = 0;                          // 6
  virtual void SetPredictionOnly(bool predictionOnly) = 0;                          // 7
  virtual int GetVarRole(const std::string& name) const = 0;                        // 8
  virtual int GetVarRole(const ScoreDictVar* var) const = 0;                        // 9
  virtual const ScoreVersionInfo* GetVersionInfo() const = 0;                       // 10
  virtual ScoreDictionary* GetVarsOfRole(VarRole role) const = 0;                   // 11
  virtual const ScoreDictVar* GetTargetVar() const = 0;                             // 12
  virtual const ScoreDictionary* GetDictionary() const = 0;                         // 13
  virtual TransformationDictionary* GetTransformationDictionary() const = 0;        // 14
  // Scores one case into result (made or replaced when null or of the wrong
  // kind; the caller owns it). derivedInRecord: the record already holds the
  // values of the derived fields.
  // Record layout: the first indexed record a model scores fixes, for the
  // model's life, the position it reads each variable from. Every later
  // indexed record must put each variable at that same position (reuse one
  // record, or build records from one layout); a record with another column
  // order would be read from the wrong positions. Debug builds (NDEBUG not
  // defined) check each new record object once and abort on a mismatch. For
  // another layout, read another model.
  virtual VorqScore::VorqStatus GetScore(const ScoreCaseRecord* record, ScoreResult*& result,
                                         bool derivedInRecord) = 0;  // 15
  virtual MVPolicy GetMissingValuePolicy() = 0;                      // 16
  virtual ModelType GetModelType() = 0;                              // 17
  virtual bool GetPredictionOnly() const = 0;                        // 18
  virtual void Display(std::ostream& os) const = 0;                  // 19
  // Added by this host after the slots above: a missing or unroutable split
  // value stops scoring with no prediction. Models without the mode ignore it.
  virtual void SetNullHandling(bool nullHandling);  // 20
  virtual bool GetNullHandling() const;             // 21
  // The trees of the model, for description: 0 and null in models without.
  virtual int GetTreeCount() const;                  // 22
  virtual const TreeNode* GetTree(int index) const;  // 23
  // The path of one case through the model's trees, found by scoring the case
  // again apart from GetScore. False (path left empty) in models without it.
  virtual bool GetDecisionPath(const ScoreCaseRecord* record, DecisionPath& path,
                               bool derivedInRecord);  // 24
  // Answer columns beyond the prediction, probabilities and node id (named
  // outputs of the model), written after the standard ones. None by default.
  virtual std::vector<std::string> GetExtraOutputNames() const;  // 25
  // The value of extra column i in a result this model filled; null when the
  // case has none.
  virtual const ScoreValue* GetExtraOutput(const ScoreResult* result,
                                           int i) const;  // 26
  // Scores rows [begin, end) of columns straight into answers (see
  // ScoreBatch) where the model has a quicker way than GetScore, and appends
  // the rows it leaves to rest. Called only after the model has scored an
  // indexed record laid out as columns; safe from several threads at once.
  // False, with every row left, in models without one.
  virtual bool ScoreColumns(const BatchColumns& columns, size_t begin, size_t end,
                            BatchAnswers& answers, BatchTexts& texts,
                            std::vector<size_t>& rest) const;  // 27
};

// Keeps the dictionary, the transformation dictionary, the variable roles, the
// version information and the missing-value policy. Owns the dictionaries and
// the version information handed to it.
class DX_HOST_API BaseModel : public ScoreModel {
 public:
  BaseModel() = default;
  BaseModel(const BaseModel&) = delete;
  BaseModel& operator=(const BaseModel&) = delete;
  ~BaseModel() override;

  // Take ownership; one given earlier is destroyed. The target is looked up
  // again in the new dictionaries.
  void SetScoreDictionary(ScoreDictionary* dictionary) override;
  void SetTransformationScoreDictionary(TransformationDictionary* td) override;
  // The role is kept by name. Giving a variable the target role makes it the
  // target (the last one given wins). False when the name is in neither
  // dictionary (the role is kept all the same).
  bool SetVarRole(const std::string& name, VarRole role) override;
  bool SetVarRole(const ScoreDictVar* var, VarRole role) override;
  void SetMissingValuePolicy(MVPolicy policy) override { policy_ = policy; }
  void SetVersionInfo(ScoreVersionInfo* info) override;
  void SetPredictionOnly(bool) override {}
  // -1 when the variable has no role.
  int GetVarRole(const std::string& name) const override;
  int GetVarRole(const ScoreDictVar* var) const override;
  const ScoreVersionInfo* GetVersionInfo() const override { return version_; }
  ScoreDictionary* GetVarsOfRole(VarRole role) const override;
  const ScoreDictVar* GetTargetVar() const override { return target_; }
  const ScoreDictionary* GetDictionary() const override { return dictionary_; }
  TransformationDictionary* GetTransformationDictionary() const override { return transformation_; }
  MVPolicy GetMissingValuePolicy() override { return policy_; }
  bool GetPredictionOnly() const override { return false; }

 protected:
  // The dictionary for callers that set record positions on its variables.
  ScoreDictionary* GetMutableDictionary() const { return dictionary_; }

 private:
  // The variable of that name: data dictionary first, then derived fields.
  const ScoreDictVar* FindVar(const std::string& name) const;
  void ResolveTarget();

  ScoreDictionary* dictionary_ = nullptr;
  TransformationDictionary* transformation_ = nullptr;
  ScoreVersionInfo* version_ = nullptr;
  const ScoreDictVar* target_ = nullptr;
  std::string targetName_;  // found again when a dictionary is replaced
  std::unordered_map<std::string, int> roles_;
  MVPolicy policy_ = kMVPolicyDefault;
};
