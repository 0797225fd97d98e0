#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "host/BatchScore.h"
#include "host/ScoreModel.h"
#include "host/ScoreValue.h"
#include "host/TreeNode.h"

class DendrixPMMLModelTestPeer;
class TreeClsResult;
class TreeRegResult;

// A decision-tree scoring model: one tree or rule set, or several scored as an
// ensemble. Owns its trees and (through BaseModel) its dictionaries; results
// handed out by GetScore belong to the caller but point into the model, so
// they are valid only while the model lives.
// Once prepared (by the first case scored, under a lock) the model is not
// written while scoring: several threads may score one model at once, each
// with its own record and result. Scratch space is per thread. Models that
// compute derived fields themselves score one case at a time (the
// transformation dictionary keeps the derived values of the current case).
class DendrixPMMLModel : public BaseModel {
 public:
  enum RuleSetMode { Voting = 0, FirstHit = 1, NotRuleSet = 2 };
  DendrixPMMLModel();
  explicit DendrixPMMLModel(TreeNode* root);
  DendrixPMMLModel(const DendrixPMMLModel&) = delete;
  DendrixPMMLModel& operator=(const DendrixPMMLModel&) = delete;
  ~DendrixPMMLModel() override;

  // Takes ownership of the tree; a tree given by an earlier call is destroyed.
  // Throws VeltraException 4 when a categorical target has no value-label set
  // or fewer labels than its category count (the tree is kept all the same).
  void SetRoot(TreeNode* root);
  const TreeNode* GetRoot() const;
  // Takes ownership; the model then scores as an ensemble.
  void SetMultipleNodes(TreeNode* node);

  void SetCFive(bool cFive);
  // Takes ownership of a value that node statistics of this model's trees
  // share (see TreeClsNodeStats::ShareValues); freed after the trees.
  void AdoptNodeValue(ScoreValue* value) { nodeValues.push_back(value); }
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
  // A new dictionary owned by the caller, or null when no variable has the role.
  ScoreDictionary* GetVarsOfRole(VarRole role) const override;
  VorqScore::VorqStatus GetScore(const ScoreCaseRecord* record, ScoreResult*& result,
                                 bool derivedInRecord) override;
  // Walks the case again, apart from GetScore, writing down every step: one
  // path per tree of an ensemble, the branches and their shares of a C5 case
  // that no condition routes, the rules that hold in a rule set (the first
  // one only under first-hit). A tree that gives no prediction (a null stop)
  // ends where the walk stopped. Allocates; not for the scoring loop.
  bool GetDecisionPath(const ScoreCaseRecord* record, DecisionPath& path,
                       bool derivedInRecord) override;
  void Display(std::ostream& os) const override;
  // The root first, then the further trees in the order added.
  int GetTreeCount() const override;
  const TreeNode* GetTree(int index) const override;

  // Keeps a copy. Before SetRoot (no categories yet) the matrix is built when
  // SetRoot fills the categories; costs are in force only once it exists.
  void SetMisclassificationCost(const std::map<std::string, std::map<std::string, double>>& costs);

  bool ScoreColumns(const BatchColumns& columns, size_t begin, size_t end, BatchAnswers& answers,
                    BatchTexts& texts, std::vector<size_t>& rest) const override;

 private:
  friend class DendrixPMMLModelTestPeer;

  // A node as the engines see it: the splits, the child positions resolved to
  // node numbers and the statistics cast once to their concrete kind. Built
  // from the trees before the first case is scored; the trees are not copied.
  struct FlatNode {
    const ScoreSplitVar* const* splits;
    int splitCount;
    int childBegin;             // first entry in FlatTree::children
    int childCount;             // child slots, empty ones included
    int biggestChild;           // node number of the biggest child, -1 when none is named
    ScoreResult* stats;         // the statistics as a result (prediction, confidence)
    TreeClsResult* clsStats;    // null in regression trees
    TreeRegResult* regStats;    // null in classification trees
    const std::string* nodeId;  // the statistics' identifier
  };
  // The same node in 16 bytes for the hot loop. A split node whose first
  // condition is a two-range scale split at one threshold routes a plain
  // number (not null, not a string, finite, not system-missing) here without
  // touching the split object: lower side, upper side, and the side the
  // threshold itself falls on. Its children are node n + 1 (position 0) and
  // n + otherStep (position 1). Anything else takes the general route of
  // FlatNode.
  //
  // The walk goes to position 1 exactly when the node's value is above the
  // threshold. The value is the variable's number, or its negation when the
  // lower side is position 1 (x <= t is -x > the double just below -t), so
  // that every node is one comparison the same way round.
  struct FastNode {
    double threshold;
    int otherStep;         // node number of the child at position 1, minus this node's
    unsigned short value;  // ValueIndex(variable slot, negated)
    unsigned char flags;   // kFast* bits
    unsigned char unused;
  };
  // Values come in pairs per variable slot: the number, then its negation.
  static unsigned short ValueIndex(size_t slot, bool negated) {
    return static_cast<unsigned short>(2 * slot + (negated ? 1 : 0));
  }
  static size_t SlotOfValue(unsigned short value) { return value >> 1; }
  static double OrientValue(unsigned short value, double x) { return (value & 1) != 0 ? -x : x; }
  static constexpr unsigned short kConstantSlot = 0;  // always 0: leaves and general nodes
  enum : unsigned char {
    kFastLeaf = 1,         // no child slots: the walk ends here
    kFastGeneral = 2,      // route through FlatNode only
    kFastAdviceSafe = 16,  // a plain number yields no advice (no declared missing values)
  };
  struct FlatTree {
    const TreeNode* root;
    std::vector<FlatNode> nodes;  // pre-order; node 0 is the root
    std::vector<int> children;    // node number per child slot, -1 for an empty slot
    int depth;                    // levels below the root
    bool usable;                  // every node has statistics of the target's kind
    std::vector<FastNode> fast;   // per node
    std::vector<int> parent;      // per node; the root is its own parent
    // Per node, for classification: the vote cast when a walk without
    // surrogates ends there (category index, -1 for none, and confidence),
    // after the switch to the parent for an empty node.
    std::vector<int> voteCategory;
    std::vector<double> voteConfidence;
  };
  // Buffers one thread reuses from case to case, so that scoring an indexed
  // record allocates nothing once they have grown.
  struct Scratch {
    std::vector<double> ensembleVotes;
    std::vector<double> ruleVotes;
    std::vector<std::vector<double>> c5Dist;  // one distribution per nesting depth
    std::vector<double> slotNumbers;
  };
  static Scratch& ThreadScratch();
  // What one scoring call works with.
  struct Call {
    Scratch* scratch;
    const ScoreCaseRecord* record;
    const ScoreCaseRecord* derivedRecord;
    bool indexed;
    ScoreResult* result;
    TreeClsResult* cls;  // result when classifying
    TreeRegResult* reg;  // result when regressing
    bool advise;         // neither prediction-only nor ensemble
    bool stopOnNull;     // null handling outside ensembles
  };

  int GetIndexOf(const ScoreValue* value) const;
  void Prepare(const ScoreCaseRecord* record, bool derivedInRecord, bool indexed);
  void SetUpDictVarIndex(const ScoreCaseRecord* record, bool derivedInRecord);
  void PrepareBatchAnswers();
  void FinishBatchTables(const FlatTree& tree);
  int ComputeMisclassificationScore(const std::vector<double>& p) const;
  void FillCategoryValues(bool refuseIncomplete);
  void BuildCostMatrix();
  void PrepareTrees();
  void FlattenTree(const TreeNode* root, FlatTree& tree) const;

  // Fills the record side of call: derived values, record positions.
  // False when the model has nothing to score with. derivedTurn holds the
  // derived-field lock while the case's derived values are in use.
  bool StartCall(const ScoreCaseRecord* record, bool derivedInRecord, Call& call,
                 std::unique_lock<std::mutex>& derivedTurn);
  const ScoreValue* LookUpValue(const Call& call, const ScoreDictVar* var, bool useDerived) const;
  // Whether every condition of a rule of a rule set takes the case.
  bool RuleHolds(const FlatNode& rule, const Call& call) const;
  // The advice code when value is no usable value of var (none, no category
  // of a nominal variable, a declared missing value); 0 when it is.
  static int MissingValueAdvice(const ScoreDictVar* var, const ScoreValue* value);
  int RouteCondition(Call& call, const ScoreSplitVar* split, int k, const ScoreValue* value,
                     bool surrogateAdvice) const;
  static int ChildNode(const FlatTree& tree, const FlatNode& node, int position);
  VorqScore::VorqStatus StopWithoutPrediction(Call& call) const;

  void CompileTree(FlatTree& tree, std::vector<const ScoreDictVar*>& vars);
  void RefreshSlotPositions();
  // The child a plain number goes to at a one-threshold node (no branches);
  // v is the number oriented for the node (OrientValue).
  static int FastChild(const FastNode& f, int n, double v) {
    return n + (v > f.threshold ? f.otherStep : 1);
  }
  // 1 or f.otherStep, chosen by masking rather than by a branch: the side a
  // case takes is as good as random to the branch predictor.
  static int FastStep(const FastNode& f, double v) {
    const int up = f.threshold < v ? 1 : 0;
    return 1 + ((f.otherStep - 1) & -up);
  }
  bool WalkTree(const FlatTree& tree, Call& call, bool c5, int& n, int& surrogateCount,
                VorqScore::VorqStatus& status) const;
  VorqScore::VorqStatus FinishTree(const FlatTree& tree, int n, int surrogateCount,
                                   Call& call) const;
  VorqScore::VorqStatus ScoreEnsembleFast(Call& call) const;

  VorqScore::VorqStatus GetTreeScore(const FlatTree& tree, Call& call) const;
  VorqScore::VorqStatus GetRuleSetScore(const FlatTree& tree, Call& call) const;
  const std::vector<double>& GetChildIndexForC5(const FlatTree& tree, int node, Call& call,
                                                bool top, int depth,
                                                VorqScore::VorqStatus& status) const;
  void AddLeafShare(const FlatNode& leaf, double weight, Call& call,
                    std::vector<double>& dist) const;
  VorqScore::VorqStatus ScoreEnsemble(Call& call) const;
  VorqScore::VorqStatus ScoreRegressionEnsemble(Call& call) const;
  VorqScore::VorqStatus ScoreOne(const FlatTree& tree, Call& call) const;

  // The decision path walk (DecisionPathWalk.cpp).
  void TracePaths(const Call& call, DecisionPath& path) const;
  static void AddStep(const FlatTree& tree, int n, std::string condition, double weight, int depth,
                      std::vector<DecisionStep>& steps);
  // The child node the splits of node n send the case to, with the condition
  // that did; -1 when none does or (stopped) null handling ends the case.
  int TraceSplits(const FlatTree& tree, int n, const Call& call, bool useDerived,
                  std::string& condition, bool& stopped) const;
  void TraceTree(const FlatTree& tree, const Call& call, std::vector<DecisionStep>& steps) const;
  // False when null handling ended the case on the way.
  bool TraceFractional(const FlatTree& tree, int n, const Call& call, double weight, int depth,
                       std::vector<DecisionStep>& steps) const;
  void TraceRuleSet(const FlatTree& tree, const Call& call, std::vector<DecisionStep>& steps) const;

  TreeNode* root;
  bool cFive;
  const ScoreDictVar* target;
  bool predictionOnly;
  std::atomic<bool> dictVarIndexReady;
  // Debug builds: aborts when an indexed record puts a dictionary variable
  // at another position than the first record did.
  void CheckRecordLayout(const ScoreCaseRecord* record) const;
  RuleSetMode ruleSetMode;
  std::vector<const ScoreValue*> categoryValues;
  int numCategories;
  std::vector<TreeNode*> furtherTrees;
  bool multipleTrees;
  bool nullHandling;
  std::map<std::string, std::map<std::string, double>> misclassificationCosts;
  std::vector<std::vector<double>> costMatrix;
  bool needDerivedPredictor;

  // Derived from the above; made ready under prepareMutex by the first case
  // scored after a change, then only read.
  bool costsInForce;
  std::atomic<bool> treesReady;
  bool regression;
  int maxDepth;                         // levels below the root of the deepest tree
  std::vector<FlatTree> flatTrees;      // root first, then further trees
  std::vector<ScoreValue*> nodeValues;  // owned; shared by node statistics
  // The variables the fast nodes read (borrowed from the dictionaries) and
  // their record positions (refreshed whenever trees or positions change).
  std::vector<const ScoreDictVar*> slotVars;
  std::vector<int> slotPositions;
  std::atomic<bool> slotPositionsReady;
  std::mutex prepareMutex;
  std::mutex derivedMutex;  // the transformation dictionary's current case
  // A single plain tree's answer per node where the walk ends there with
  // plain numbers (batch scoring): category (-1: none) and confidence, or the
  // predicted number (NaN: none) and standard deviation; the node that
  // answers; per category the probability (NaN when none).
  bool batchReady;
  // Per node: the walk that ends there cleanly has an answer above.
  std::vector<unsigned char> batchAnswered;
  // The tree's compiled table with every node that may give advice for a
  // plain number turned into a stop (empty when no node may), walked when
  // advice is wanted.
  std::vector<FastNode> batchAdviseFast;
  std::vector<int> batchCategory;
  std::vector<double> batchConfidence;  // or, in a regression, the standard deviation
  std::vector<double> batchValue;
  std::vector<int> batchNode;
  std::vector<double> batchProbabilities;
};
