// The document model of the PMML 4.4 engine and its evaluation.
//
// Every field the models read (data fields, derived fields of the
// TransformationDictionary and of LocalTransformations, and the OutputFields
// of segments) has a slot; one call keeps one value per slot in a Scratch.
// Predicates, trees and segmentations refer to slots and to category indexes
// resolved when the document is read, so evaluation looks up no names.
//
// After reading, an Engine is never written: every per-call value lives in
// the Scratch, which belongs to the caller (one per thread).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "host/DecisionPath.h"
#include "host/DerivedField.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreValue.h"
#include "host/TransformationDictionary.h"

namespace pmml44 {

enum class Tri : uint8_t { kFalse, kTrue, kUnknown };

// The value of one slot during a call.
struct Value {
  enum Kind : uint8_t { kMissing, kNumber, kText };
  Kind kind = kMissing;
  double number = 0;  // kNumber; for kText, the text's number when textIsNumber
  bool textIsNumber = false;
  std::string_view text;  // kText
};

enum class DataType : uint8_t { kString, kInteger, kFloat, kDouble, kBoolean };
inline bool IsNumericType(DataType t) {
  return t == DataType::kInteger || t == DataType::kFloat || t == DataType::kDouble;
}

// A constant of a predicate or a category: its text and, when it reads as
// one, its number.
struct Constant {
  std::string text;
  double number = 0;
  bool isNumber = false;
};

// How a data field's raw value becomes the value the models see.
struct FieldTreatment {
  enum Invalid : uint8_t { kReturnInvalid, kAsIs, kAsMissing, kAsValue };
  enum Outliers : uint8_t { kOutliersAsIs, kAsMissingValues, kAsExtremeValues };
  Invalid invalid = kReturnInvalid;
  Outliers outliers = kOutliersAsIs;
  double lowValue = 0, highValue = 0;
  bool hasReplacement = false;
  Constant replacement;  // missingValueReplacement
  bool hasInvalidReplacement = false;
  Constant invalidReplacement;  // invalidValueReplacement (asValue)
};

struct Interval {
  double left, right;
  bool leftClosed, rightClosed;
};

// A data field: where its value comes from and what is valid.
struct DataField {
  std::string name;
  DataType type = DataType::kString;
  bool continuous = false;
  std::vector<Constant> validValues;    // Value property="valid" (empty: any value)
  std::vector<Constant> invalidValues;  // property="invalid"
  std::vector<Constant> missingValues;  // property="missing"
  std::vector<Interval> intervals;      // empty: any number
  bool active = false;                  // used by the top model
  FieldTreatment treatment;
};

struct Predicate {
  enum Kind : uint8_t { kTrue, kFalse, kSimple, kSet, kCompound };
  enum Op : uint8_t {
    kEqual,
    kNotEqual,
    kLessThan,
    kLessOrEqual,
    kGreaterThan,
    kGreaterOrEqual,
    kIsMissing,
    kIsNotMissing,
    kIsIn,
    kIsNotIn,
    kAnd,
    kOr,
    kXor,
    kSurrogate
  };
  Kind kind = kTrue;
  Op op = kEqual;
  int slot = -1;
  bool numericField = false;  // the slot holds numbers
  Constant value;             // simple
  std::vector<Constant> set;  // set
  std::vector<int> children;  // compound: predicate indexes
  std::string text;           // for decision paths
};

// Per-category statistics of a node.
struct NodeScore {
  int category;
  double recordCount;
  double probability;  // -1: not given
  double confidence;   // -1: not given
};

struct TreeNode {
  int predicate = -1;
  int firstChild = -1;
  int childCount = 0;
  int defaultChild = -1;  // node index, -1 none
  bool hasScore = false;
  double score = 0;   // regression
  int category = -1;  // classification: the score's category
  double recordCount = -1;
  int scoreBegin = 0, scoreCount = 0;  // into Tree::scores
  std::string id;  // the id attribute, or the 1-based position in document order
};

class Engine;
struct Scratch;

// An answer of a model to one case.
struct Answer {
  bool has = false;
  int status = 0;     // the reason when there is none
  double value = 0;   // regression, or the category's number
  int category = -1;  // classification
  bool hasProbabilities = false;
  std::vector<double> probabilities;  // per category
  double confidence = -1;
  const std::string* entity = nullptr;  // node id of the answer
  std::string joined;                   // selectAll: every answer, ';'-separated

  void Clear(std::size_t categories) {
    has = false;
    status = 0;
    value = 0;
    category = -1;
    hasProbabilities = false;
    probabilities.assign(categories, 0.0);
    confidence = -1;
    entity = nullptr;
    joined.clear();
  }
};

// An OutputField: its feature and the slot its value is published to.
struct OutputField {
  enum Feature : uint8_t { kPredictedValue, kProbability, kConfidence, kEntityId, kExpression };
  std::string name;
  Feature feature = kPredictedValue;
  int slot = -1;
  int category = -1;    // probability of this category (-1: of the predicted one)
  int expression = -1;  // slot dictionary position of the expression
  DataType type = DataType::kDouble;
  bool hasType = false;
  bool isFinal = true;
};

struct Target {
  double rescaleFactor = 1, rescaleConstant = 0;
  bool castInteger = false;
  int castMode = 0;  // 0 round, 1 ceiling, 2 floor
  bool hasMin = false, hasMax = false;
  double min = 0, max = 0;
};

// Evaluation of one case: the scratch plus what the call wants recorded.
struct Context {
  const Engine* engine;
  Scratch* scratch;
  const ScoreCaseRecord* record;
  DecisionPath* path;  // null unless a decision path is requested
};

class Model {
 public:
  enum Function : uint8_t { kRegression, kClassification };
  virtual ~Model() = default;
  // Fills answer (cleared by the caller).
  virtual void Evaluate(Context& context, Answer& answer) const = 0;
  // Called once the whole document is read (the category list is final).
  virtual void Finish(const Engine& engine) = 0;

  Function function = kRegression;
  bool floatMath = false;       // x-mathContext="float"
  std::vector<int> localSlots;  // LocalTransformations, in order
  std::vector<OutputField> outputs;
  bool hasTarget = false;
  Target target;
  int index = 0;  // position of the model's answer in the scratch
  // A float sum whose target only adds a constant starts from that constant
  // instead of adding it last: PMML 4.4 exports of boosted trees are made
  // with a library that adds its base score first (earlier exports add it last).
  bool sumFromConstant = false;
  bool ConstantFirst() const;
  // Evaluates local transformations, the model, its targets and publishes its
  // outputs.
  void Score(Context& context, Answer& answer) const;
};

class TreeModel final : public Model {
 public:
  enum Missing : uint8_t {
    kNone,
    kLastPrediction,
    kNullPrediction,
    kDefaultChild,
    kWeightedConfidence,
    kAggregateNodes
  };
  // What the walk reads of a node, packed: its structure and, for the
  // common "field op number" predicate, the comparison itself.
  struct HotNode {
    double value = 0;   // the number compared with
    int32_t slot = -1;  // the field compared
    int32_t firstChild = -1;
    int32_t childCount = 0;
    int32_t predicate = -1;
    uint8_t op = 0;    // Predicate::Op of a comparison
    uint8_t mode = 0;  // kGeneral, kAlwaysTrue or kCompare
  };
  enum HotMode : uint8_t { kGeneral, kAlwaysTrue, kCompare };
  // The walk of a tree whose every split is "x <= t" against its complement,
  // for cases where each field it reads holds a number: the next node is
  // next[0] when x <= threshold, else next[1]. A leaf leads to itself (its
  // threshold holds its score), so a walk of `fastDepth` steps ends at the leaf
  // without a branch on the data.
  struct FastNode {
    double threshold = 0;
    int32_t slot = 0;
    int32_t next[2] = {0, 0};
    int32_t category = -1;  // a leaf's category
    bool leaf = false;      // leads to itself; reads the spare slot
  };

  void Evaluate(Context& context, Answer& answer) const override;
  void Finish(const Engine& engine) override;

  Missing missing = kNone;
  double penalty = 1.0;
  bool returnLastPrediction = false;
  std::vector<TreeNode> nodes;  // nodes[0] is the root; children are contiguous
  std::vector<NodeScore> scores;
  std::vector<HotNode> hot;         // per node, made by Finish
  std::vector<double> shares;       // per node, the class shares (categories apiece)
  std::vector<double> confidences;  // per node, the confidence of its answer
  std::vector<FastNode> fast;       // empty when the tree has other splits
  int fastDepth = 0;
  std::vector<int> fastSlots;  // the fields the fast walk reads

 private:
  Tri TestNode(const Context& context, int node) const;
  void CompileFast(const Engine& engine);
  // Sets answer from a node's statistics; false when the node has none.
  bool FromNode(const Context& context, int node, Answer& answer) const;
  void Distribution(const Context& context, int node, double* out) const;
  // The missing-value rules that follow several children: depth is node's,
  // reach the share of the case that got there (both for the path only).
  void Weighted(Context& context, int node, int level, double* value, double* weight, int depth,
                double reach) const;
  void Aggregate(Context& context, int node, double* counts, int depth, double reach) const;
  // node's share of its parent's records (1 when either count is unknown).
  double RecordShare(int parent, int node) const;
  // Records entering node when a decision path is asked for; a share of the
  // case below 1 where a missing value spread it over several children.
  void Step(Context& context, int node, const char* why, int depth, double weight = 1.0) const;
};

struct Segment {
  int predicate = -1;
  double weight = 1;
  std::unique_ptr<Model> model;
  std::string id;
};

class MiningModel final : public Model {
 public:
  enum Method : uint8_t {
    kMajorityVote,
    kWeightedMajorityVote,
    kAverage,
    kWeightedAverage,
    kMedian,
    kMax,
    kSum,
    kSelectFirst,
    kSelectAll,
    kModelChain
  };
  void Evaluate(Context& context, Answer& answer) const override;
  void Finish(const Engine& engine) override;

  Method method = kSum;
  bool missingReturns = false;  // missingPredictionTreatment="returnMissing"
  // Every segment is an always-chosen tree with a fast walk and nothing of
  // its own to compute: the ensemble walks them together.
  bool fastEnsemble = false;
  std::vector<int> fastSlots;
  std::vector<Segment> segments;

 private:
  void FastEvaluate(Context& context, Answer& answer) const;
  float FloatSumStart() const;
};

class RegressionModel final : public Model {
 public:
  enum Normalization : uint8_t {
    kNone,
    kSoftmax,
    kLogit,
    kExp,
    kProbit,
    kCloglog,
    kLoglog,
    kCauchit,
    kSimplemax
  };
  struct NumericTerm {
    int slot;
    double exponent, coefficient;
  };
  struct CategoricalTerm {
    int slot;
    Constant value;
    double coefficient;
  };
  struct Table {
    int category = -1;
    double intercept = 0;
    std::vector<NumericTerm> numeric;
    std::vector<CategoricalTerm> categorical;
  };
  void Evaluate(Context& context, Answer& answer) const override;
  void Finish(const Engine&) override {}

  Normalization normalization = kNone;
  std::vector<Table> tables;
};

// Per-call storage; one per thread.
struct Scratch {
  std::vector<Value> values;               // per slot
  std::vector<Answer> answers;             // per model
  std::vector<double> stack;               // weightedConfidence work space, one row per tree level
  std::vector<std::vector<double>> lists;  // per model: median values, regression tables
  std::unique_ptr<IndexedCaseRecord> inputs;   // treated data field values, for expressions
  std::unique_ptr<IndexedCaseRecord> derived;  // slot values, for expressions
  std::string numberText;
  std::vector<uint32_t> stamp;  // per data field: the row its value was read for
  uint32_t row = 0;
  bool invalid = false;  // an input was invalid under returnInvalid
  int surrogates = 0;    // surrogate predicates that answered in place of the first
};

class Engine {
 public:
  Engine() = default;
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Prepares a scratch for this engine.
  void InitScratch(Scratch& scratch) const;
  // Scores one case into the top model's answer (scratch.answers[0]).
  void Score(const ScoreCaseRecord* record, Scratch& scratch, DecisionPath* path) const;

  Tri Test(const Context& context, int predicate) const;
  // The value of a slot in this call; a data field is read from the record
  // the first time.
  const Value& Read(const Context& context, int slot) const {
    Scratch& s = *context.scratch;
    if (slot < dataCount && s.stamp[slot] != s.row) Load(context, slot);
    return s.values[slot];
  }
  void Load(const Context& context, int slot) const;
  // A slot no field uses, always holding 0: where fast-walk leaves look.
  int SpareSlot() const { return dataCount + (slots ? slots->GetNumberOfVars() : 0); }
  // Computes the slot's expression into the scratch.
  void ComputeSlot(Context& context, int slot) const;
  void Publish(Context& context, int slot, const Value& value, DataType type) const;
  int SlotOfExpression(int position) const { return dataCount + position; }

  std::vector<DataField> fields;  // slots 0..dataCount-1
  int dataCount = 0;
  // Slot dictionary: slot dataCount + i is the i-th field of it (derived
  // fields, local transformations, output fields).
  TransformationDictionary* slots = nullptr;  // owned by the model
  std::vector<DataType> slotTypes;            // per slot dictionary field
  std::vector<std::string> slotNames;
  std::vector<int> globalSlots;  // TransformationDictionary fields, in order
  bool hasExpressions = false;
  std::vector<Predicate> predicates;
  std::unique_ptr<Model> top;
  int modelCount = 0;
  int maxDepth = 0;                                     // deepest tree level
  std::vector<std::unique_ptr<ScoreValue>> categories;  // target categories
  std::vector<int> extraOutputs;  // top-level output fields written as extra columns
  // Expressions that build text keep it in their own buffers: evaluations
  // take turns.
  mutable std::mutex expressionLock;
};

}  // namespace pmml44
