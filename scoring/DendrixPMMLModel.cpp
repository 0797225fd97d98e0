#include "scoring/DendrixPMMLModel.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <typeinfo>

#include "host/BaseDictionary.h"
#include "host/Codes.h"
#include "host/TransformationDictionary.h"
#include "host/VeltraException.h"
#include "scoring/ScoringMath.h"
#include "tree/TreeClsResult.h"
#include "tree/TreeRegResult.h"

namespace {

constexpr double kSurrogatePenalty = 0.9;
constexpr double kNoRuleConfidence = 0.5;

bool IsCategorical(const ScoreDictVar* var) {
  const int level = var->GetMeasurementLevel();
  return level == ScoreDictVar::kOrdinal || level == ScoreDictVar::kNominal;
}

void DisplayPreOrder(const TreeNode* top, std::ostream& os) {
  if (top == nullptr) return;
  // An explicit stack keeps very deep trees from exhausting the call stack.
  std::vector<const TreeNode*> pending{top};
  while (!pending.empty()) {
    const TreeNode* node = pending.back();
    pending.pop_back();
    node->Display(os);
    for (int i = node->GetChildCount() - 1; i >= 0; --i) {
      const TreeNode* child = node->GetChildAt(i);
      if (child != nullptr) pending.push_back(child);
    }
  }
}

// A regression ensemble's result: owns the mean it predicts.
class MeanRegResult final : public TreeRegResult {
 public:
  explicit MeanRegResult(const ScoreDictVar* target) : TreeRegResult(target) {}
  NumericValue mean{0.0};
};

}  // namespace

DendrixPMMLModel::DendrixPMMLModel()
    : root(nullptr),
      cFive(false),
      target(nullptr),
      predictionOnly(false),
      dictVarIndexReady(false),
      ruleSetMode(NotRuleSet),
      numCategories(0),
      multipleTrees(false),
      nullHandling(false),
      needDerivedPredictor(false),
      costsInForce(false),
      treesReady(false),
      regression(false),
      maxDepth(0),
      slotPositionsReady(false),
      batchReady(false) {}

DendrixPMMLModel::DendrixPMMLModel(TreeNode* rootNode) : DendrixPMMLModel() {
  root = rootNode;
  target = GetTargetVar();
  if (target != nullptr) FillCategoryValues(false);
}

DendrixPMMLModel::~DendrixPMMLModel() {
  delete root;
  root = nullptr;
  categoryValues.clear();
  for (TreeNode*& tree : furtherTrees) {
    delete tree;
    tree = nullptr;
  }
  furtherTrees.clear();
  for (ScoreValue* value : nodeValues) delete value;
  nodeValues.clear();
  costMatrix.clear();
  misclassificationCosts.clear();
}

void DendrixPMMLModel::SetRoot(TreeNode* node) {
  if (root != node) delete root;
  root = node;
  treesReady = false;
  target = GetTargetVar();
  categoryValues.clear();
  numCategories = 0;
  if (target != nullptr && IsCategorical(target)) {
    FillCategoryValues(true);
  }
  BuildCostMatrix();
}

// Fills the category list from the target's value-label set. Incomplete sets
// (none, fewer labels than the category count, a label without a value) are
// refused with an exception, or when not refusing leave the list empty.
void DendrixPMMLModel::FillCategoryValues(bool refuseIncomplete) {
  categoryValues.clear();
  numCategories = 0;
  const int count = target->GetCategoryCount();
  const ScoreValueLabelSet* labels = target->GetValueLabelSet();
  if (labels == nullptr) {
    if (refuseIncomplete)
      throw VeltraException(ErrorCode::kMissingList, "No Category Value for Target variable!!");
    return;
  }
  const std::vector<ScoreValueLabel*>& list = labels->GetLabels();
  bool complete = count >= 0 && list.size() >= static_cast<size_t>(count);
  for (int i = 0; complete && i < count; ++i) {
    complete = list[i] != nullptr && list[i]->GetValue() != nullptr;
  }
  if (!complete) {
    if (refuseIncomplete) {
      throw VeltraException(ErrorCode::kMissingList,
                            "Category Values of Target variable are incomplete!!");
    }
    return;
  }
  categoryValues.resize(count);
  for (int i = 0; i < count; ++i) categoryValues[i] = list[i]->GetValue();
  numCategories = count;
}

const TreeNode* DendrixPMMLModel::GetRoot() const { return root; }

void DendrixPMMLModel::SetMultipleNodes(TreeNode* node) {
  furtherTrees.push_back(node);
  multipleTrees = true;
  treesReady = false;
}

void DendrixPMMLModel::SetCFive(bool flag) {
  if (flag != cFive) treesReady = false;  // the C5 distributions are sized when trees are ready
  cFive = flag;
}
void DendrixPMMLModel::SetRuleSetScoreMethod(RuleSetMode mode) { ruleSetMode = mode; }
void DendrixPMMLModel::SetNullHandling(bool flag) { nullHandling = flag; }
bool DendrixPMMLModel::GetNullHandling() const { return nullHandling; }
void DendrixPMMLModel::SetNeedDerivedPredictor(bool need) { needDerivedPredictor = need; }
bool DendrixPMMLModel::NeedDerivedPredictor() const { return needDerivedPredictor; }
void DendrixPMMLModel::SetPredictionOnly(bool flag) { predictionOnly = flag; }
bool DendrixPMMLModel::GetPredictionOnly() const { return predictionOnly; }

ScoreModel::ModelType DendrixPMMLModel::GetModelType() {
  if (multipleTrees) return kMultipleTrees;
  return ruleSetMode == NotRuleSet ? kSingleTree : kSingleRuleSet;
}

ScoreDictionary* DendrixPMMLModel::GetVarsOfRole(VarRole role) const {
  if (role == kRoleTarget) {
    if (target == nullptr) return nullptr;
    auto* found = new BaseDictionary();
    found->AddVar(target->GetName(), target->Clone());
    return found;
  }
  const ScoreDictionary* dictionary = GetDictionary();
  if (dictionary == nullptr) return nullptr;
  auto* found = new BaseDictionary();
  for (const ScoreDictVar* var : dictionary->GetVars()) {
    if (GetVarRole(var) != role) continue;
    ScoreDictVar* copy = var->Clone();
    if (!found->AddVar(var->GetName(), copy)) delete copy;
  }
  if (found->GetNumberOfVars() == 0) {
    delete found;
    return nullptr;
  }
  return found;
}

int DendrixPMMLModel::GetTreeCount() const {
  return (root != nullptr ? 1 : 0) + static_cast<int>(furtherTrees.size());
}

const TreeNode* DendrixPMMLModel::GetTree(int index) const {
  if (index < 0) return nullptr;
  if (root != nullptr) {
    if (index == 0) return root;
    --index;
  }
  return index < static_cast<int>(furtherTrees.size()) ? furtherTrees[index] : nullptr;
}

int DendrixPMMLModel::GetIndexOf(const ScoreValue* value) const {
  if (value == nullptr) return -1;
  for (int i = 0; i < numCategories; ++i) {
    if (value->Equals(categoryValues[i])) return i;
  }
  return -1;
}

void DendrixPMMLModel::SetUpDictVarIndex(const ScoreCaseRecord* record, bool derivedInRecord) {
  if (ScoreDictionary* dictionary = GetMutableDictionary()) {
    const std::vector<ScoreDictVar*>& vars = dictionary->GetVars();
    const int count = dictionary->GetNumberOfVars();
    for (int i = 0; i < count && i < static_cast<int>(vars.size()); ++i) {
      vars[i]->SetIndex(record->GetIndex(vars[i]->GetName()));
    }
  }
  TransformationDictionary* derived = GetTransformationDictionary();
  if (derivedInRecord && derived != nullptr) {
    for (ScoreDictVar* var : derived->GetVars()) var->SetIndex(record->GetIndex(var->GetName()));
  }
  dictVarIndexReady = true;
  slotPositionsReady = false;
}

void DendrixPMMLModel::CheckRecordLayout(const ScoreCaseRecord* record) const {
  // Each thread checks a record object once for a model (the last pair that passed).
  thread_local const DendrixPMMLModel* checkedModel = nullptr;
  thread_local const ScoreCaseRecord* checkedRecord = nullptr;
  if (record == checkedRecord && this == checkedModel) return;
  if (const ScoreDictionary* dictionary = GetDictionary()) {
    for (const ScoreDictVar* var : dictionary->GetVars()) {
      const int position = record->GetIndex(var->GetName());
      if (position != var->GetIndex()) {
        std::fprintf(stderr,
                     "DendrixPMMLModel::GetScore: indexed record with another layout: '%s' is at "
                     "position %d, the model reads position %d (one layout per model)\n",
                     var->GetName().c_str(), position, var->GetIndex());
        std::abort();
      }
    }
  }
  checkedModel = this;
  checkedRecord = record;
}

void DendrixPMMLModel::Display(std::ostream& os) const {
  os << "Start Display DendrixPMMLModel: \n\n";
  DisplayPreOrder(root, os);
  if (multipleTrees) {
    os << "There are " << furtherTrees.size() + 1 << " TreeModels:\n\n";
    for (size_t k = 0; k < furtherTrees.size(); ++k) {
      os << " ********  " << k + 1 << "th Tree *******\n";
      DisplayPreOrder(furtherTrees[k], os);
    }
  }
  os << "End of DendrixPMMLModel.\n\n";
}

// ---------------------------------------------------------------------------
// Misclassification costs

void DendrixPMMLModel::SetMisclassificationCost(
    const std::map<std::string, std::map<std::string, double>>& costs) {
  misclassificationCosts = costs;
  BuildCostMatrix();
  treesReady = false;  // leaf confidences per category are computed with the trees
}

void DendrixPMMLModel::BuildCostMatrix() {
  const size_t n = categoryValues.size();
  costsInForce = !misclassificationCosts.empty() && n > 0;
  // The n-by-n matrix exists only while costs apply: a target with many
  // categories would otherwise take n^2 memory for nothing.
  std::vector<std::vector<double>>().swap(costMatrix);
  if (!costsInForce) return;
  std::vector<std::vector<double>> matrix(n, std::vector<double>(n, 1.0));
  for (size_t i = 0; i < n; ++i) matrix[i][i] = 0.0;
  costMatrix.swap(matrix);
  std::vector<std::string> texts(n);
  for (size_t i = 0; i < n; ++i) texts[i] = categoryValues[i]->ToString();
  for (size_t i = 0; i < n; ++i) {
    auto row = misclassificationCosts.find(texts[i]);
    if (row == misclassificationCosts.end()) continue;
    for (size_t j = 0; j < n; ++j) {
      if (j == i) continue;
      auto cell = row->second.find(texts[j]);
      if (cell != row->second.end()) costMatrix[i][j] = cell->second;
    }
  }
}

int DendrixPMMLModel::ComputeMisclassificationScore(const std::vector<double>& p) const {
  const int n = static_cast<int>(categoryValues.size());
  if (n < 1 || costMatrix.size() != categoryValues.size()) return -1;
  double bestCost = -NumericValue::GetSysmisValue();
  int best = -1;
  for (int i = 0; i < n; ++i) {
    double cost = 0.0;
    for (int j = 0; j < n; ++j) {
      // A short list counts its missing entries as zeros.
      if (j != i && j < static_cast<int>(p.size())) cost += costMatrix[i][j] * p[j];
    }
    if (cost < bestCost) {
      bestCost = cost;
      best = i;
    }
  }
  return best;
}

// ---------------------------------------------------------------------------
// Preparation: the node tables of every tree

void DendrixPMMLModel::FlattenTree(const TreeNode* top, FlatTree& tree) const {
  tree.root = top;
  tree.nodes.clear();
  tree.children.clear();
  tree.depth = 0;
  tree.usable = top != nullptr;
  if (top == nullptr) return;

  struct Pending {
    const TreeNode* node;
    int slot;  // entry of tree.children to fill with this node's number, -1 for the root
    int level;
  };
  std::vector<Pending> stack{{top, -1, 0}};
  while (!stack.empty()) {
    const Pending item = stack.back();
    stack.pop_back();
    const int number = static_cast<int>(tree.nodes.size());
    if (item.slot >= 0) tree.children[item.slot] = number;
    if (item.level > tree.depth) tree.depth = item.level;

    const TreeNode* node = item.node;
    FlatNode flat{};
    if (const std::vector<ScoreSplitVar*>* splits = node->GetSplitVar()) {
      flat.splits = splits->data();
      flat.splitCount = static_cast<int>(splits->size());
    }
    for (int k = 0; k < flat.splitCount; ++k) {
      if (flat.splits[k] == nullptr || flat.splits[k]->GetSplitVar() == nullptr) {
        tree.usable = false;
      }
    }
    // The model owns its trees; the engines recompute leaf confidences in place.
    auto* stats = const_cast<ScoreNodeStats*>(node->GetNodeStats());
    if (regression) {
      flat.regStats = dynamic_cast<TreeRegResult*>(stats);
      flat.stats = flat.regStats;
      if (flat.regStats != nullptr) flat.nodeId = &flat.regStats->GetNodeIDRef();
    } else {
      flat.clsStats = dynamic_cast<TreeClsResult*>(stats);
      flat.stats = flat.clsStats;
      if (flat.clsStats != nullptr) flat.nodeId = &flat.clsStats->GetNodeIDRef();
    }
    if (flat.stats == nullptr) tree.usable = false;

    flat.childCount = node->GetChildCount();
    flat.childBegin = static_cast<int>(tree.children.size());
    flat.biggestChild = -1;
    tree.children.resize(tree.children.size() + flat.childCount, -1);
    const int biggest = stats != nullptr ? stats->GetBiggestChild() : -1;
    // Children go on the stack in reverse so that they are numbered in order.
    for (int i = flat.childCount - 1; i >= 0; --i) {
      const TreeNode* child = node->GetChildAt(i);
      if (child != nullptr) stack.push_back({child, flat.childBegin + i, item.level + 1});
    }
    tree.nodes.push_back(flat);
    // The biggest child's number is known once its subtree is numbered; keep
    // the slot for now and resolve below.
    tree.nodes.back().biggestChild = biggest;
  }
  for (FlatNode& flat : tree.nodes) {
    const int slot = flat.biggestChild;
    flat.biggestChild =
        (slot >= 0 && slot < flat.childCount) ? tree.children[flat.childBegin + slot] : -1;
  }
}

void DendrixPMMLModel::PrepareTrees() {
  regression = target != nullptr && !IsCategorical(target);
  flatTrees.clear();
  if (root != nullptr) {
    flatTrees.emplace_back();
    FlattenTree(root, flatTrees.back());
  }
  for (TreeNode* tree : furtherTrees) {
    flatTrees.emplace_back();
    FlattenTree(tree, flatTrees.back());
  }
  // Leaf confidences per category, read by costs and C5 scoring.
  if (cFive || costsInForce) {
    for (FlatTree& tree : flatTrees) {
      for (FlatNode& node : tree.nodes) {
        if (node.clsStats != nullptr) node.clsStats->ComputeAllConfidences();
      }
    }
  }
  // Slot 0 is no variable: it always holds 0, for the self-loops of leaves
  // and general nodes in the compiled tables.
  slotVars.assign(1, nullptr);
  for (FlatTree& tree : flatTrees) CompileTree(tree, slotVars);
  slotPositions.assign(slotVars.size(), -1);
  slotPositionsReady = false;
  maxDepth = 0;
  for (const FlatTree& tree : flatTrees) maxDepth = tree.depth > maxDepth ? tree.depth : maxDepth;
  PrepareBatchAnswers();
  treesReady = true;
}

DendrixPMMLModel::Scratch& DendrixPMMLModel::ThreadScratch() {
  thread_local Scratch scratch;
  return scratch;
}

void DendrixPMMLModel::Prepare(const ScoreCaseRecord* record, bool derivedInRecord, bool indexed) {
  std::lock_guard<std::mutex> lock(prepareMutex);
  if (!treesReady) PrepareTrees();
  if (target == nullptr || flatTrees.empty()) return;
  if (!dictVarIndexReady && indexed) SetUpDictVarIndex(record, derivedInRecord);
  if (!slotPositionsReady) RefreshSlotPositions();
}

// ---------------------------------------------------------------------------
// Routing one split condition

// Inline: it is part of every GetScore call.
inline bool DendrixPMMLModel::StartCall(const ScoreCaseRecord* record, bool derivedInRecord,
                                        Call& call, std::unique_lock<std::mutex>& derivedTurn) {
  const bool indexed = record->IsIndexed();
  if (!treesReady || !slotPositionsReady || (indexed && !dictVarIndexReady)) {
    Prepare(record, derivedInRecord, indexed);
  }
  if (target == nullptr || flatTrees.empty()) return false;
#ifndef NDEBUG
  if (indexed) CheckRecordLayout(record);
#endif
  call.scratch = &ThreadScratch();
  call.record = record;
  call.indexed = indexed;
  TransformationDictionary* derived = GetTransformationDictionary();
  if (needDerivedPredictor && derived != nullptr && !derivedInRecord) {
    // The transformation dictionary holds the current case's derived values.
    derivedTurn = std::unique_lock<std::mutex>(derivedMutex);
    call.derivedRecord = derived->GetValuesForDeriedVars(record, GetDictionary());
  }
  return true;
}

bool DendrixPMMLModel::RuleHolds(const FlatNode& rule, const Call& call) const {
  for (int k = 0; k < rule.splitCount; ++k) {
    const ScoreSplitVar* condition = rule.splits[k];
    if (condition->GetChildIndex(LookUpValue(call, condition->GetSplitVar(), true)) < 0) {
      return false;
    }
  }
  return true;
}

const ScoreValue* DendrixPMMLModel::LookUpValue(const Call& call, const ScoreDictVar* var,
                                                bool useDerived) const {
  const ScoreValue* value = nullptr;
  if (call.indexed) value = call.record->GetValueAt(var->GetIndex());
  if (value == nullptr) value = call.record->GetValue(var->GetName());
  if (value == nullptr && useDerived && call.derivedRecord != nullptr && var->IsDerived()) {
    value = call.derivedRecord->GetValue(var->GetName());
  }
  return value;
}

int DendrixPMMLModel::RouteCondition(Call& call, const ScoreSplitVar* split, int k,
                                     const ScoreValue* value, bool surrogateAdvice) const {
  if (!call.advise) return split->GetChildIndex(value);
  const ScoreDictVar* var = split->GetSplitVar();
  if (k > 0 && surrogateAdvice)
    call.result->AddAdvice(ResultAdvice(AdviceCode::kSurrogate, var->GetName()));
  const int missing = MissingValueAdvice(var, value);
  if (missing == 0) return split->GetChildIndex(value);
  call.result->AddAdvice(ResultAdvice(missing, var->GetName()));
  return split->GetMissvalMap();
}

int DendrixPMMLModel::MissingValueAdvice(const ScoreDictVar* var, const ScoreValue* value) {
  if (value == nullptr) return AdviceCode::kNoValue;
  if (var->GetMeasurementLevel() == ScoreDictVar::kNominal) {
    return var->IsValidCategory(value) ? 0 : AdviceCode::kInvalidCategory;
  }
  return var->IsMissingValue(value) ? AdviceCode::kMissingValue : 0;
}

// The node number at a child position; -1 for a position outside the node's
// slots or an empty slot, which the engines treat like a condition that does
// not apply.
int DendrixPMMLModel::ChildNode(const FlatTree& tree, const FlatNode& node, int position) {
  if (position < 0 || position >= node.childCount) return -1;
  return tree.children[node.childBegin + position];
}

VorqScore::VorqStatus DendrixPMMLModel::StopWithoutPrediction(Call& call) const {
  call.result->SetPrediction(nullptr);
  if (call.cls != nullptr) {
    call.cls->RemoveValuePercent();
    call.cls->SetNodeID("-1");
  } else if (call.reg != nullptr) {
    call.reg->SetNodeID("-1");
  }
  return VorqScore::VorqStatus(StatusCode::kNoPrediction, false);
}

// ---------------------------------------------------------------------------
// Scoring

VorqScore::VorqStatus DendrixPMMLModel::GetScore(const ScoreCaseRecord* record,
                                                 ScoreResult*& result, bool derivedInRecord) {
  if (record == nullptr) return VorqScore::VorqStatus(StatusCode::kNoCaseRecord, false);
  Call call{};
  std::unique_lock<std::mutex> derivedTurn;
  if (!StartCall(record, derivedInRecord, call, derivedTurn)) {
    return VorqScore::VorqStatus(StatusCode::kNoPrediction, false);
  }

  // Reuse only a plain result of this model's kind and target: anything else
  // (node statistics, another class, a result of another model) is replaced.
  const bool meanResult = regression && multipleTrees;
  const std::type_info& wanted = meanResult   ? typeid(MeanRegResult)
                                 : regression ? typeid(TreeRegResult)
                                              : typeid(TreeClsResult);
  if (result == nullptr || typeid(*result) != wanted || result->GetTarget() != target) {
    delete result;
    result = meanResult   ? static_cast<ScoreResult*>(new MeanRegResult(target))
             : regression ? static_cast<ScoreResult*>(new TreeRegResult(target))
                          : static_cast<ScoreResult*>(new TreeClsResult(target));
  } else if (!predictionOnly) {
    result->RemoveAdvice();
  }
  call.result = result;
  if (regression) {
    call.reg = static_cast<TreeRegResult*>(result);
  } else {
    call.cls = static_cast<TreeClsResult*>(result);
  }
  call.advise = !predictionOnly && !multipleTrees;
  call.stopOnNull = nullHandling && !multipleTrees;

  if (!multipleTrees) return ScoreOne(flatTrees.front(), call);
  return regression ? ScoreRegressionEnsemble(call) : ScoreEnsemble(call);
}

bool DendrixPMMLModel::GetDecisionPath(const ScoreCaseRecord* record, DecisionPath& path,
                                       bool derivedInRecord) {
  path.Clear();
  if (record == nullptr) return false;
  Call call{};
  std::unique_lock<std::mutex> derivedTurn;
  if (!StartCall(record, derivedInRecord, call, derivedTurn)) return false;
  call.advise = !predictionOnly && !multipleTrees;
  call.stopOnNull = nullHandling && !multipleTrees;
  TracePaths(call, path);
  return true;
}

VorqScore::VorqStatus DendrixPMMLModel::ScoreOne(const FlatTree& tree, Call& call) const {
  if (!tree.usable) return StopWithoutPrediction(call);
  if (ruleSetMode == NotRuleSet) return GetTreeScore(tree, call);
  return GetRuleSetScore(tree, call);
}

VorqScore::VorqStatus DendrixPMMLModel::ScoreEnsemble(Call& call) const {
  if (!costsInForce && ruleSetMode == NotRuleSet && call.indexed) return ScoreEnsembleFast(call);
  std::vector<double>& ensembleVotes = call.scratch->ensembleVotes;
  ensembleVotes.assign(numCategories, 0.0);
  double total = 0.0;
  for (const FlatTree& tree : flatTrees) {
    const VorqScore::VorqStatus status = ScoreOne(tree, call);
    if (!status.IsOK()) return status;
    // A prediction outside the categories casts no vote and adds nothing.
    const int k = GetIndexOf(call.result->GetPrediction());
    if (k < 0) continue;
    const double c = call.result->GetConfidence();
    ensembleVotes[k] += c;
    total += c;
  }
  if (!(total > 0)) {
    call.result->SetPrediction(nullptr);
    return VorqScore::VorqStatus(StatusCode::kNoPrediction, false);
  }
  int best = ArgMax(ensembleVotes, ensembleVotes.front());
  if (costsInForce) {
    const int cheapest = ComputeMisclassificationScore(ensembleVotes);
    if (cheapest >= 0) best = cheapest;
  }
  call.result->SetPrediction(const_cast<ScoreValue*>(categoryValues[best]));
  call.result->SetConfidence(ensembleVotes[best] / total);
  return VorqScore::VorqStatus();
}

// Regression trees cannot vote for categories: the ensemble predicts the mean
// of the trees' numeric predictions. When the sum overflows (leaves near the
// largest double) the mean comes from the same sum scaled down by an exact
// power of two, so that finite predictions never average to infinity.
VorqScore::VorqStatus DendrixPMMLModel::ScoreRegressionEnsemble(Call& call) const {
  constexpr double kScale = 0x1p-64;
  double sum = 0.0;
  double scaledSum = 0.0;
  int count = 0;
  for (const FlatTree& tree : flatTrees) {
    const VorqScore::VorqStatus status = ScoreOne(tree, call);
    if (!status.IsOK()) return status;
    const ScoreValue* prediction = call.result->GetPrediction();
    if (prediction == nullptr) continue;
    const double x = prediction->ToDouble();
    if (x == NumericValue::GetSysmisValue()) continue;
    sum += x;
    scaledSum += x * kScale;
    ++count;
  }
  if (count == 0) {
    call.result->SetPrediction(nullptr);
    return VorqScore::VorqStatus(StatusCode::kNoPrediction, false);
  }
  auto* mean = static_cast<MeanRegResult*>(call.result);
  mean->mean.Set(std::isfinite(sum) ? sum / count : scaledSum / count / kScale);
  call.result->SetPrediction(&mean->mean);
  call.reg->SetStdDev(-1.0);
  return VorqScore::VorqStatus();
}

VorqScore::VorqStatus DendrixPMMLModel::GetTreeScore(const FlatTree& tree, Call& call) const {
  const bool c5 = cFive && !regression && numCategories > 0;
  int n = 0;
  int surrogateCount = 0;
  VorqScore::VorqStatus status;
  if (!WalkTree(tree, call, c5, n, surrogateCount, status)) return status;
  return FinishTree(tree, n, surrogateCount, call);
}

// Walks from node n down to the node that answers. False when the walk ended
// the case itself (a null-handling stop, or C5 scoring), with its status.
bool DendrixPMMLModel::WalkTree(const FlatTree& tree, Call& call, bool c5, int& n,
                                int& surrogateCount, VorqScore::VorqStatus& status) const {
  const unsigned char fastMask = kFastLeaf | kFastGeneral | (call.advise ? kFastAdviceSafe : 0);
  const unsigned char fastWanted = call.advise ? kFastAdviceSafe : 0;
  for (;;) {
    const FastNode& fast = tree.fast[n];
    if (fast.flags & kFastLeaf) return true;
    // A plain number on a one-threshold split: no surrogate, no advice, no stop.
    if ((fast.flags & fastMask) == fastWanted && call.indexed) {
      const ScoreValue* value = call.record->GetValueAt(slotPositions[SlotOfValue(fast.value)]);
      if (value != nullptr && value->GetTypeTag() == ScoreValue::kNumericTag) {
        const double x = static_cast<const NumericValue*>(value)->GetValue();
        if (IsPlainNumber(x)) {
          n = FastChild(fast, n, OrientValue(fast.value, x));
          continue;
        }
      }
    }

    const FlatNode& node = tree.nodes[n];
    int next = -1;
    int k = 0;
    for (; k < node.splitCount; ++k) {
      const ScoreSplitVar* split = node.splits[k];
      const ScoreValue* value = LookUpValue(call, split->GetSplitVar(), true);
      if (call.stopOnNull && value == nullptr) {
        status = StopWithoutPrediction(call);
        return false;
      }
      next = ChildNode(tree, node, RouteCondition(call, split, k, value, true));
      if (next >= 0) break;
      if (call.stopOnNull) {
        status = StopWithoutPrediction(call);
        return false;
      }
    }
    if (next >= 0) {
      n = next;
      if (k > 0) ++surrogateCount;
      continue;
    }
    if (call.advise && !c5 && node.splitCount > 0) {
      call.result->AddAdvice(
          ResultAdvice(AdviceCode::kNoSplitApplies, node.splits[0]->GetSplitName()));
    }
    if (c5) {
      GetChildIndexForC5(tree, n, call, true, 0, status);
      return false;
    }
    // A node that names no biggest child answers with its own statistics.
    if (node.biggestChild < 0) return true;
    n = node.biggestChild;
    ++surrogateCount;
  }
}

VorqScore::VorqStatus DendrixPMMLModel::FinishTree(const FlatTree& tree, int n, int surrogateCount,
                                                   Call& call) const {
  const int p = tree.parent[n];
  if (regression) {
    const TreeRegResult* st = tree.nodes[n].regStats;
    call.reg->SetPrediction(const_cast<ScoreValue*>(st->GetPrediction()));
    call.reg->SetStdDev(st->GetStdDev());
    call.reg->SetNodeID(*tree.nodes[n].nodeId);
    return VorqScore::VorqStatus();
  }

  call.cls->RemoveValuePercent();
  const FlatNode* reached = &tree.nodes[n];
  double c = reached->clsStats->GetConfidence();
  if (c == 0 && reached->clsStats->GetTotalRecord() == 0) {
    reached = &tree.nodes[p];
    c = reached->clsStats->GetConfidence();
  }
  TreeClsResult* st = reached->clsStats;
  const ScoreValue* prediction = st->GetPrediction();
  if (costsInForce) {
    const std::vector<double>& conf = st->GetAllConfidenceRef();
    // Without one confidence per category the stored prediction stands.
    if (conf.size() >= categoryValues.size()) {
      const int i = ComputeMisclassificationScore(conf);
      if (i >= 0) {
        c = conf[i];
        prediction = categoryValues[i];
      }
    }
  }
  call.cls->SetPrediction(const_cast<ScoreValue*>(prediction));
  if (!multipleTrees) call.cls->SetNodeID(*reached->nodeId);
  double factor = 1.0;
  for (int i = 0; i < surrogateCount; ++i) factor *= kSurrogatePenalty;
  call.cls->SetConfidence(c * factor);
  if (call.advise) {
    for (const auto& entry : st->GetAllValuePercent()) {
      call.cls->AddValuePercent(entry.first, entry.second);
    }
  }
  return VorqScore::VorqStatus();
}

VorqScore::VorqStatus DendrixPMMLModel::GetRuleSetScore(const FlatTree& tree, Call& call) const {
  const FlatNode& ruleSetRoot = tree.nodes.front();
  const bool voting = ruleSetMode == Voting;
  std::vector<double>& ruleVotes = call.scratch->ruleVotes;
  if (voting) ruleVotes.assign(numCategories, 0.0);
  int fired = 0;
  int cast = 0;
  for (int position = 0; position < ruleSetRoot.childCount; ++position) {
    const int r = tree.children[ruleSetRoot.childBegin + position];
    if (r < 0) continue;
    const FlatNode& rule = tree.nodes[r];
    if (!RuleHolds(rule, call)) continue;
    ++fired;
    if (!voting) {
      call.result->SetPrediction(const_cast<ScoreValue*>(rule.stats->GetPrediction()));
      call.result->SetConfidence(rule.stats->GetConfidence());
      if (call.cls != nullptr) {
        call.cls->SetNodeID(*rule.nodeId);
      } else {
        call.reg->SetNodeID(*rule.nodeId);
      }
      return VorqScore::VorqStatus();
    }
    // A rule predicting no category of the target casts no vote.
    const int i = GetIndexOf(rule.stats->GetPrediction());
    if (i < 0) continue;
    ruleVotes[i] += rule.stats->GetConfidence();
    ++cast;
  }
  if (cast > 0) {
    int best = ArgMax(ruleVotes, ruleVotes.front());
    if (costsInForce) {
      const int cheapest = ComputeMisclassificationScore(ruleVotes);
      if (cheapest >= 0) best = cheapest;
    }
    call.result->SetPrediction(const_cast<ScoreValue*>(categoryValues[best]));
    call.result->SetConfidence(ruleVotes[best] / fired);
    return VorqScore::VorqStatus();
  }
  // No rule fired: the rule set's own prediction.
  call.result->SetPrediction(const_cast<ScoreValue*>(ruleSetRoot.stats->GetPrediction()));
  call.result->SetConfidence(kNoRuleConfidence);
  return VorqScore::VorqStatus();
}

void DendrixPMMLModel::AddLeafShare(const FlatNode& leaf, double weight, Call& call,
                                    std::vector<double>& dist) const {
  call.cls->RemoveValuePercent();
  const std::vector<double>& conf = leaf.clsStats->GetAllConfidenceRef();
  // A short list counts its missing entries as zeros; extra entries are ignored.
  const size_t n = conf.size() < dist.size() ? conf.size() : dist.size();
  for (size_t j = 0; j < n; ++j) dist[j] += weight * conf[j];
}

const std::vector<double>& DendrixPMMLModel::GetChildIndexForC5(
    const FlatTree& tree, int n, Call& call, bool top, int depth,
    VorqScore::VorqStatus& status) const {
  // Depth times categories, grown once per thread.
  std::vector<std::vector<double>>& c5Dist = call.scratch->c5Dist;
  if (c5Dist.size() < static_cast<size_t>(maxDepth) + 1) c5Dist.resize(maxDepth + 1);
  std::vector<double>& dist = c5Dist[depth];
  dist.assign(numCategories, 0.0);
  if (!status.IsOK()) return dist;

  const FlatNode& node = tree.nodes[n];
  const double total = node.clsStats->GetTotalRecord();
  int present = 0;
  for (int i = 0; i < node.childCount; ++i) present += tree.children[node.childBegin + i] >= 0;

  for (int i = 0; i < node.childCount && status.IsOK(); ++i) {
    const int c = tree.children[node.childBegin + i];
    if (c < 0) continue;
    // Without a positive record count the children share the case equally.
    const double w = total > 0 ? tree.nodes[c].clsStats->GetTotalRecord() / total : 1.0 / present;
    int m = c;
    while (tree.nodes[m].childCount > 0) {
      const FlatNode& inner = tree.nodes[m];
      int next = -1;
      for (int k = 0; k < inner.splitCount; ++k) {
        const ScoreSplitVar* split = inner.splits[k];
        const ScoreValue* value = LookUpValue(call, split->GetSplitVar(), false);
        if (call.stopOnNull && value == nullptr) {
          status = StopWithoutPrediction(call);
          return dist;
        }
        next = ChildNode(tree, inner, RouteCondition(call, split, k, value, false));
        if (next >= 0) break;
        if (call.stopOnNull) {
          status = StopWithoutPrediction(call);
          return dist;
        }
      }
      if (next < 0) break;
      m = next;
    }
    if (tree.nodes[m].childCount == 0) {
      AddLeafShare(tree.nodes[m], w, call, dist);
      continue;
    }
    const std::vector<double>& sub = GetChildIndexForC5(tree, m, call, false, depth + 1, status);
    for (size_t j = 0; j < dist.size(); ++j) dist[j] += w * sub[j];
  }

  // A stop at any depth leaves the case without a prediction.
  if (top && status.IsOK()) {
    int best = ArgMax(dist, NumericValue::GetSysmisValue());
    if (costsInForce) {
      const int cheapest = ComputeMisclassificationScore(dist);
      if (cheapest >= 0) best = cheapest;
    }
    call.cls->SetConfidence(dist[best]);
    call.cls->SetPrediction(const_cast<ScoreValue*>(categoryValues[best]));
    call.cls->SetNodeID("-1");
  }
  return dist;
}
