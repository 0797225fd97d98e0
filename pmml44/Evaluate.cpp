#include <algorithm>
#include <cmath>
#include <limits>

#include "pmml44/Engine.h"
#include "pmml44/Status.h"

namespace pmml44 {

namespace {

bool Matches(const Constant& constant, const Value& value) {
  if (value.kind == Value::kNumber) return constant.isNumber && constant.number == value.number;
  if (value.kind != Value::kText) return false;
  if (constant.isNumber && value.textIsNumber) return constant.number == value.number;
  return constant.text == value.text;
}

bool Contains(const std::vector<Constant>& list, const Value& value) {
  for (const Constant& c : list) {
    if (Matches(c, value)) return true;
  }
  return false;
}

Value FromConstant(const Constant& c, DataType type) {
  Value v;
  if (IsNumericType(type)) {
    if (!c.isNumber) return v;
    v.kind = Value::kNumber;
    v.number = type == DataType::kFloat ? static_cast<float>(c.number) : c.number;
    return v;
  }
  v.kind = Value::kText;
  v.text = c.text;
  v.textIsNumber = c.isNumber;
  v.number = c.number;
  return v;
}

bool InIntervals(const std::vector<Interval>& intervals, double x) {
  for (const Interval& i : intervals) {
    const bool left = i.leftClosed ? x >= i.left : x > i.left;
    const bool right = i.rightClosed ? x <= i.right : x < i.right;
    if (left && right) return true;
  }
  return false;
}

// The first index of the largest value (ties to the first category).
int ArgMax(const std::vector<double>& values) {
  int best = -1;
  for (size_t k = 0; k < values.size(); ++k) {
    if (best < 0 || values[k] > values[best]) best = static_cast<int>(k);
  }
  return best;
}

// A classification answer from its class shares: the first largest wins.
void DecideByShares(const Engine& engine, Answer& answer) {
  answer.hasProbabilities = true;
  answer.category = ArgMax(answer.probabilities);
  answer.confidence = answer.probabilities[answer.category];
  answer.value = engine.categories[answer.category]->ToDouble();
  answer.has = true;
}

void CopyAnswer(Answer& to, const Answer& from) {
  to.has = from.has;
  to.status = from.status;
  to.value = from.value;
  to.category = from.category;
  to.hasProbabilities = from.hasProbabilities;
  to.probabilities.assign(from.probabilities.begin(), from.probabilities.end());
  to.confidence = from.confidence;
  to.entity = from.entity;
  to.joined.assign(from.joined);
}

// Rounds to float when the model computes in 32-bit floats.
inline double Round(bool floatMath, double x) {
  return floatMath ? static_cast<double>(static_cast<float>(x)) : x;
}

}  // namespace

// --- Inputs -----------------------------------------------------------------

void Engine::InitScratch(Scratch& scratch) const {
  scratch.values.assign(SpareSlot() + 1, Value());
  scratch.stamp.assign(dataCount, 0u);
  scratch.row = 0;
  scratch.answers.resize(modelCount);
  for (Answer& a : scratch.answers) a.Clear(categories.size());
  std::vector<std::string> names;
  for (const DataField& f : fields) names.push_back(f.name);
  scratch.inputs = std::make_unique<IndexedCaseRecord>(names);
  scratch.derived = std::make_unique<IndexedCaseRecord>(slotNames);
  scratch.stack.assign((maxDepth + 2) * (categories.size() + 1), 0.0);
  scratch.lists.resize(modelCount);
}

namespace {

// The value of data field i as the models see it.
Value LoadField(const DataField& field, const ScoreValue* raw, bool* invalidStop) {
  Value v;
  bool invalid = false;
  if (raw != nullptr) {
    if (raw->GetTypeTag() == ScoreValue::kNumericTag || raw->IsNumeric()) {
      const double x = raw->ToDouble();
      if (std::isnan(x)) {
        // NaN is no value.
      } else if (x == NumericValue::GetSysmisValue()) {
        invalid = true;  // a cell that is not a number
      } else if (IsNumericType(field.type)) {
        v.kind = Value::kNumber;
        v.number = field.type == DataType::kFloat ? static_cast<float>(x) : x;
      } else {
        // A numeric value for a text field: keep its text form.
        v.kind = Value::kText;
        v.textIsNumber = true;
        v.number = x;
      }
    } else {
      const std::string& text = static_cast<const StringValue*>(raw)->GetText();
      double x = 0;
      const bool isNumber = NumericValue::ParseDouble(text, &x);
      if (IsNumericType(field.type)) {
        if (isNumber && !std::isnan(x)) {
          v.kind = Value::kNumber;
          v.number = field.type == DataType::kFloat ? static_cast<float>(x) : x;
        } else if (!isNumber) {
          invalid = !Contains(field.missingValues, Value{Value::kText, 0, false, text});
        }
      } else {
        v.kind = Value::kText;
        v.text = text;
        v.textIsNumber = isNumber;
        v.number = x;
      }
    }
  }
  if (v.kind != Value::kMissing && Contains(field.missingValues, v)) v = Value();
  if (v.kind != Value::kMissing && !invalid) {
    if (Contains(field.invalidValues, v)) {
      invalid = true;
    } else if (!field.validValues.empty() && !Contains(field.validValues, v)) {
      invalid = true;
    } else if (!field.intervals.empty() && v.kind == Value::kNumber &&
               !InIntervals(field.intervals, v.number)) {
      invalid = true;
    }
  }
  const FieldTreatment& t = field.treatment;
  if (invalid) {
    switch (t.invalid) {
      case FieldTreatment::kReturnInvalid:
        *invalidStop = true;
        return Value();
      case FieldTreatment::kAsIs:
        break;
      case FieldTreatment::kAsMissing:
        v = Value();
        break;
      case FieldTreatment::kAsValue:
        v = t.hasInvalidReplacement ? FromConstant(t.invalidReplacement, field.type) : Value();
        break;
    }
  }
  if (v.kind == Value::kMissing) {
    if (t.hasReplacement) v = FromConstant(t.replacement, field.type);
    return v;
  }
  if (t.outliers != FieldTreatment::kOutliersAsIs && v.kind == Value::kNumber) {
    if (v.number < t.lowValue) {
      if (t.outliers == FieldTreatment::kAsMissingValues) return Value();
      v.number = t.lowValue;
    } else if (v.number > t.highValue) {
      if (t.outliers == FieldTreatment::kAsMissingValues) return Value();
      v.number = t.highValue;
    }
  }
  return v;
}

void MirrorInto(IndexedCaseRecord& record, int position, Value& v) {
  if (v.kind == Value::kNumber) {
    record.SetNumber(position, v.number);
  } else if (v.kind == Value::kText) {
    record.SetString(position, v.text);
    // Point at the record's copy: the source may not outlive the call.
    v.text = static_cast<const StringValue*>(record.GetValueAt(position))->GetText();
  } else {
    record.SetNull(position);
  }
}

}  // namespace

void Engine::Load(const Context& context, int slot) const {
  Scratch& scratch = *context.scratch;
  scratch.stamp[slot] = scratch.row;
  const DataField& field = fields[slot];
  Value& v = scratch.values[slot];
  if (!field.active) {
    v = Value();
    return;
  }
  const ScoreCaseRecord* record = context.record;
  const ScoreValue* raw =
      record->IsIndexed() ? record->GetValueAt(slot) : record->GetValue(field.name);
  v = LoadField(field, raw, &scratch.invalid);
  if (hasExpressions) MirrorInto(*scratch.inputs, slot, v);
}

void Engine::Score(const ScoreCaseRecord* record, Scratch& scratch, DecisionPath* path) const {
  scratch.invalid = false;
  // A new row: every data field is read again when first needed.
  if (++scratch.row == 0) {
    std::fill(scratch.stamp.begin(), scratch.stamp.end(), 0u);
    scratch.row = 1;
  }
  Context context{this, &scratch, record, path};
  // Expressions read the data fields from a record of their own: fill it.
  if (hasExpressions) {
    for (int i = 0; i < dataCount; ++i) Read(context, i);
  }
  Answer& answer = scratch.answers[top->index];
  answer.Clear(categories.size());
  if (!scratch.invalid) {
    for (int slot : globalSlots) ComputeSlot(context, slot);
    top->Score(context, answer);
  }
  // An invalid value met under returnInvalid makes the whole answer invalid.
  if (scratch.invalid) {
    answer.Clear(categories.size());
    answer.status = kInvalidInput;
  }
}

void Engine::Publish(Context& context, int slot, const Value& value, DataType type) const {
  Value v = value;
  if (IsNumericType(type)) {
    if (v.kind == Value::kText) {
      if (v.textIsNumber) {
        v.kind = Value::kNumber;
      } else {
        v = Value();
      }
    }
    if (v.kind == Value::kNumber && type == DataType::kFloat)
      v.number = static_cast<float>(v.number);
    if (v.kind == Value::kNumber && type == DataType::kInteger &&
        v.number != std::trunc(v.number)) {
      v.number = std::trunc(v.number);
    }
  } else if (v.kind == Value::kNumber) {
    std::string& buffer = context.scratch->numberText;
    buffer = NumericValue::FormatDouble(v.number);
    v.kind = Value::kText;
    v.textIsNumber = true;
    v.text = buffer;
  }
  Scratch& s = *context.scratch;
  MirrorInto(*s.derived, slot - dataCount, v);
  s.values[slot] = v;
}

void Engine::ComputeSlot(Context& context, int slot) const {
  const int position = slot - dataCount;
  const DerivedExpression* expression = slots->GetExpression(position);
  DerivedValue d;
  {
    std::lock_guard<std::mutex> lock(expressionLock);
    d = expression->Evaluate(context.scratch->inputs.get(), context.scratch->derived.get());
    Value v;
    switch (d.kind) {
      case DerivedValue::kMissing:
        break;
      case DerivedValue::kNumber:
      case DerivedValue::kBoolean:
        v.kind = Value::kNumber;
        v.number = d.number;
        break;
      case DerivedValue::kText:
        v.kind = Value::kText;
        v.text = d.text;
        v.textIsNumber = NumericValue::ParseDouble(d.text, &v.number);
        break;
    }
    Publish(context, slot, v, slotTypes[position]);
  }
}

// --- Predicates --------------------------------------------------------------

Tri Engine::Test(const Context& context, int index) const {
  const Predicate& p = predicates[index];
  switch (p.kind) {
    case Predicate::kTrue:
      return Tri::kTrue;
    case Predicate::kFalse:
      return Tri::kFalse;
    case Predicate::kSimple: {
      const Value& v = Read(context, p.slot);
      if (p.op == Predicate::kIsMissing)
        return v.kind == Value::kMissing ? Tri::kTrue : Tri::kFalse;
      if (p.op == Predicate::kIsNotMissing) {
        return v.kind == Value::kMissing ? Tri::kFalse : Tri::kTrue;
      }
      if (v.kind == Value::kMissing) return Tri::kUnknown;
      int order;
      if ((v.kind == Value::kNumber || v.textIsNumber) && p.value.isNumber) {
        const double x = v.number, y = p.value.number;
        order = x < y ? -1 : (x > y ? 1 : 0);
        if (std::isnan(x) || std::isnan(y)) return Tri::kFalse;
      } else if (v.kind == Value::kText) {
        const int c = v.text.compare(p.value.text);
        order = c < 0 ? -1 : (c > 0 ? 1 : 0);
      } else {
        // A number against a text constant: equal never holds.
        if (p.op == Predicate::kEqual) return Tri::kFalse;
        if (p.op == Predicate::kNotEqual) return Tri::kTrue;
        return Tri::kUnknown;
      }
      bool r = false;
      switch (p.op) {
        case Predicate::kEqual:
          r = order == 0;
          break;
        case Predicate::kNotEqual:
          r = order != 0;
          break;
        case Predicate::kLessThan:
          r = order < 0;
          break;
        case Predicate::kLessOrEqual:
          r = order <= 0;
          break;
        case Predicate::kGreaterThan:
          r = order > 0;
          break;
        case Predicate::kGreaterOrEqual:
          r = order >= 0;
          break;
        default:
          break;
      }
      return r ? Tri::kTrue : Tri::kFalse;
    }
    case Predicate::kSet: {
      const Value& v = Read(context, p.slot);
      if (v.kind == Value::kMissing) return Tri::kUnknown;
      const bool in = Contains(p.set, v);
      return (in == (p.op == Predicate::kIsIn)) ? Tri::kTrue : Tri::kFalse;
    }
    case Predicate::kCompound: {
      switch (p.op) {
        case Predicate::kAnd:
        case Predicate::kOr: {
          // One false child decides an "and", one true child an "or".
          const Tri decisive = p.op == Predicate::kAnd ? Tri::kFalse : Tri::kTrue;
          Tri r = p.op == Predicate::kAnd ? Tri::kTrue : Tri::kFalse;
          for (int c : p.children) {
            const Tri t = Test(context, c);
            if (t == decisive) return decisive;
            if (t == Tri::kUnknown) r = Tri::kUnknown;
          }
          return r;
        }
        case Predicate::kXor: {
          bool parity = false;
          for (int c : p.children) {
            const Tri t = Test(context, c);
            if (t == Tri::kUnknown) return Tri::kUnknown;
            parity ^= (t == Tri::kTrue);
          }
          return parity ? Tri::kTrue : Tri::kFalse;
        }
        default: {  // surrogate: the first answer that is not unknown
          for (size_t i = 0; i < p.children.size(); ++i) {
            const Tri t = Test(context, p.children[i]);
            if (t == Tri::kUnknown) continue;
            if (i > 0) ++context.scratch->surrogates;
            return t;
          }
          return Tri::kUnknown;
        }
      }
    }
  }
  return Tri::kUnknown;
}

// --- Models ------------------------------------------------------------------

void Model::Score(Context& context, Answer& answer) const {
  const Engine& engine = *context.engine;
  for (int slot : localSlots) engine.ComputeSlot(context, slot);
  Evaluate(context, answer);
  if (answer.has && hasTarget && function == kRegression && !ConstantFirst()) {
    double y = answer.value;
    if (target.hasMin && y < target.min) y = target.min;
    if (target.hasMax && y > target.max) y = target.max;
    if (floatMath) {
      float f = static_cast<float>(y);
      f = f * static_cast<float>(target.rescaleFactor);
      f = f + static_cast<float>(target.rescaleConstant);
      y = f;
    } else {
      y = y * target.rescaleFactor + target.rescaleConstant;
    }
    if (target.castInteger) {
      y = target.castMode == 1 ? std::ceil(y)
                               : (target.castMode == 2 ? std::floor(y) : std::round(y));
    }
    answer.value = y;
  }
  for (const OutputField& out : outputs) {
    if (out.feature == OutputField::kExpression) {
      engine.ComputeSlot(context, out.slot);
      continue;
    }
    Value v;
    if (answer.has) {
      switch (out.feature) {
        case OutputField::kPredictedValue:
          if (function == kClassification && answer.category >= 0) {
            const ScoreValue* c = engine.categories[answer.category].get();
            if (c->GetTypeTag() == ScoreValue::kStringTag) {
              v.kind = Value::kText;
              v.text = static_cast<const StringValue*>(c)->GetText();
              v.textIsNumber = NumericValue::ParseDouble(v.text, &v.number);
            } else {
              v.kind = Value::kNumber;
              v.number = c->ToDouble();
            }
          } else if (function == kRegression) {
            v.kind = Value::kNumber;
            v.number = answer.value;
          }
          break;
        case OutputField::kProbability: {
          const int k = out.category >= 0 ? out.category : answer.category;
          if (answer.hasProbabilities && k >= 0) {
            v.kind = Value::kNumber;
            v.number = answer.probabilities[k];
          }
          break;
        }
        case OutputField::kConfidence:
          if (answer.confidence >= 0) {
            v.kind = Value::kNumber;
            v.number = answer.confidence;
          }
          break;
        case OutputField::kEntityId:
          if (answer.entity != nullptr) {
            v.kind = Value::kText;
            v.text = *answer.entity;
            v.textIsNumber = NumericValue::ParseDouble(v.text, &v.number);
          }
          break;
        default:
          break;
      }
    }
    engine.Publish(context, out.slot, v, out.type);
  }
}

// --- TreeModel ---------------------------------------------------------------

void TreeModel::Finish(const Engine& engine) {
  const size_t count = engine.categories.size();
  hot.assign(nodes.size(), HotNode());
  shares.assign(function == kClassification ? nodes.size() * count : 0, 0.0);
  confidences.assign(nodes.size(), -1.0);
  for (size_t i = 0; i < nodes.size(); ++i) {
    const TreeNode& n = nodes[i];
    HotNode& h = hot[i];
    h.firstChild = n.firstChild;
    h.childCount = n.childCount;
    h.predicate = n.predicate;
    const Predicate& p = engine.predicates[n.predicate];
    if (p.kind == Predicate::kTrue) {
      h.mode = kAlwaysTrue;
    } else if (p.kind == Predicate::kSimple && p.numericField && p.value.isNumber &&
               !std::isnan(p.value.number) && p.op <= Predicate::kGreaterOrEqual) {
      h.mode = kCompare;
      h.slot = p.slot;
      h.op = p.op;
      h.value = p.value.number;
    }
    if (function != kClassification) continue;
    // The class shares: the given probabilities, else the record counts'
    // shares; a node with a score only gives all to its score.
    double* out = shares.data() + i * count;
    if (n.scoreCount == 0) {
      if (n.category >= 0) out[n.category] = 1.0;
    }
    double total = 0;
    for (int j = 0; j < n.scoreCount; ++j) total += scores[n.scoreBegin + j].recordCount;
    for (int j = 0; j < n.scoreCount; ++j) {
      const NodeScore& sc = scores[n.scoreBegin + j];
      out[sc.category] =
          sc.probability >= 0 ? sc.probability : (total > 0 ? sc.recordCount / total : 0);
    }
    int category = n.hasScore ? n.category : -1;
    if (category < 0 && (n.scoreCount > 0)) {
      category = 0;
      for (size_t k = 1; k < count; ++k) {
        if (out[k] > out[category]) category = static_cast<int>(k);
      }
    }
    if (category < 0) continue;
    confidences[i] = out[category];
    for (int j = 0; j < n.scoreCount; ++j) {
      const NodeScore& sc = scores[n.scoreBegin + j];
      if (sc.category == category && sc.confidence >= 0) confidences[i] = sc.confidence;
    }
    if (!n.hasScore) nodes[i].category = category;
  }
  CompileFast(engine);
}

void TreeModel::CompileFast(const Engine& engine) {
  fast.clear();
  fastSlots.clear();
  fastDepth = 0;
  if (engine.predicates[nodes[0].predicate].kind != Predicate::kTrue || engine.fields.empty()) {
    return;
  }
  std::vector<FastNode> out(nodes.size());
  std::vector<int> depth(nodes.size(), 0);
  for (size_t i = 0; i < nodes.size(); ++i) {
    const TreeNode& n = nodes[i];
    FastNode& f = out[i];
    f.next[0] = f.next[1] = static_cast<int32_t>(i);
    if (n.childCount == 0) {
      if (function == kClassification ? n.category < 0 : !n.hasScore) return;
      f.category = n.category;
      f.threshold = n.score;
      f.slot = engine.SpareSlot();
      f.leaf = true;
      continue;
    }
    if (n.childCount != 2) return;
    const HotNode& first = hot[n.firstChild];
    const Predicate& second = engine.predicates[nodes[n.firstChild + 1].predicate];
    if (first.mode != kCompare || first.op < Predicate::kLessThan) return;
    // The second child must hold exactly when the first does not.
    static const Predicate::Op kComplement[] = {Predicate::kEqual,          Predicate::kEqual,
                                                Predicate::kGreaterOrEqual, Predicate::kGreaterThan,
                                                Predicate::kLessOrEqual,    Predicate::kLessThan};
    const bool complement = second.kind == Predicate::kTrue ||
                            (second.kind == Predicate::kSimple && second.slot == first.slot &&
                             second.op == kComplement[first.op] && second.value.isNumber &&
                             second.value.number == first.value);
    if (!complement) return;
    // x < t is x <= (the double below t); "greater" splits swap the sides.
    const bool strict = first.op == Predicate::kLessThan || first.op == Predicate::kGreaterOrEqual;
    const bool swap = first.op == Predicate::kGreaterThan || first.op == Predicate::kGreaterOrEqual;
    f.threshold = strict ? std::nextafter(first.value, -INFINITY) : first.value;
    f.slot = first.slot;
    f.next[swap ? 1 : 0] = n.firstChild;
    f.next[swap ? 0 : 1] = n.firstChild + 1;
    depth[n.firstChild] = depth[n.firstChild + 1] = depth[i] + 1;
    fastDepth = std::max(fastDepth, depth[i] + 1);
    if (std::find(fastSlots.begin(), fastSlots.end(), first.slot) == fastSlots.end()) {
      fastSlots.push_back(first.slot);
    }
  }
  fast = std::move(out);
}

namespace {

bool AllNumbers(const Context& context, const std::vector<int>& slots) {
  for (int s : slots) {
    if (context.engine->Read(context, s).kind != Value::kNumber) return false;
  }
  return true;
}

}  // namespace

inline Tri TreeModel::TestNode(const Context& context, int node) const {
  const HotNode& h = hot[node];
  if (h.mode == kAlwaysTrue) return Tri::kTrue;
  if (h.mode == kCompare) {
    const Value& v = context.engine->Read(context, h.slot);
    if (v.kind == Value::kNumber) {
      const double x = v.number;
      bool r;
      switch (h.op) {
        case Predicate::kEqual:
          r = x == h.value;
          break;
        case Predicate::kNotEqual:
          r = x != h.value;
          break;
        case Predicate::kLessThan:
          r = x < h.value;
          break;
        case Predicate::kLessOrEqual:
          r = x <= h.value;
          break;
        case Predicate::kGreaterThan:
          r = x > h.value;
          break;
        default:
          r = x >= h.value;
          break;
      }
      return r ? Tri::kTrue : Tri::kFalse;
    }
  }
  return context.engine->Test(context, h.predicate);
}

void TreeModel::Distribution(const Context& context, int index, double* out) const {
  const size_t count = context.engine->categories.size();
  const double* from = shares.data() + index * count;
  std::copy(from, from + count, out);
}

bool TreeModel::FromNode(const Context& context, int index, Answer& answer) const {
  const TreeNode& n = nodes[index];
  if (function == kRegression) {
    if (!n.hasScore) return false;
    answer.value = n.score;
  } else {
    // Finish gave every node with statistics a category.
    if (n.category < 0) return false;
    Distribution(context, index, answer.probabilities.data());
    answer.hasProbabilities = true;
    answer.category = n.category;
    answer.value = context.engine->categories[n.category]->ToDouble();
    answer.confidence = confidences[index];
  }
  answer.entity = &n.id;
  answer.has = true;
  return true;
}

double TreeModel::RecordShare(int parent, int node) const {
  const double total = nodes[parent].recordCount;
  return total > 0 && nodes[node].recordCount >= 0 ? nodes[node].recordCount / total : 1;
}

void TreeModel::Step(Context& context, int node, const char* why, int depth, double weight) const {
  if (context.path == nullptr) return;
  DecisionStep step;
  step.weight = weight;
  step.nodeId = nodes[node].id;
  // Without a rule's name, the predicate that held.
  step.condition = why != nullptr ? why : context.engine->predicates[nodes[node].predicate].text;
  step.depth = depth;
  context.path->trees.back().push_back(step);
}

void TreeModel::Weighted(Context& context, int index, int level, double* value, double* weight,
                         int depth, double reach) const {
  // Work space of this level: the subtree's class confidences. value: its
  // regression answer; weight: 0 when the subtree gives nothing.
  const Engine& engine = *context.engine;
  const size_t count = engine.categories.size();
  double* out = context.scratch->stack.data() + level * (count + 1);
  const TreeNode& n = nodes[index];
  *weight = 1;
  bool unknown = false;
  for (int c = n.firstChild; c < n.firstChild + n.childCount; ++c) {
    const Tri t = TestNode(context, c);
    if (t == Tri::kTrue) {
      Step(context, c, nullptr, depth + 1, reach);
      Weighted(context, c, level, value, weight, depth + 1, reach);
      return;
    }
    if (t == Tri::kUnknown) unknown = true;
  }
  if (!unknown) {
    // A leaf, or no child is true.
    if (n.childCount > 0 && !returnLastPrediction) {
      *weight = 0;
      return;
    }
    if (function == kClassification) {
      if (!n.hasScore && n.scoreCount == 0) *weight = 0;
      Distribution(context, index, out);
    } else {
      if (!n.hasScore) *weight = 0;
      *value = n.score;
    }
    return;
  }
  // Every child that is not false, weighted by its share of this node's records.
  const double* child = out + count + 1;
  std::fill(out, out + count, 0.0);
  *value = 0;
  double total = 0;
  for (int c = n.firstChild; c < n.firstChild + n.childCount; ++c) {
    if (TestNode(context, c) == Tri::kFalse) continue;
    double childValue = 0, childWeight = 0;
    const double share = RecordShare(index, c);
    Step(context, c, "weightedConfidence", depth + 1, reach * share);
    Weighted(context, c, level + 1, &childValue, &childWeight, depth + 1, reach * share);
    if (childWeight == 0) continue;
    for (size_t k = 0; k < count; ++k) out[k] += share * child[k];
    *value += share * childValue;
    total += share;
  }
  if (total == 0) *weight = 0;
}

void TreeModel::Aggregate(Context& context, int index, double* counts, int depth,
                          double reach) const {
  const TreeNode& n = nodes[index];
  bool followed = false;
  for (int c = n.firstChild; c < n.firstChild + n.childCount; ++c) {
    const Tri t = TestNode(context, c);
    if (t == Tri::kFalse) continue;
    const double share = t == Tri::kTrue ? reach : reach * RecordShare(index, c);
    Step(context, c, t == Tri::kTrue ? nullptr : "aggregateNodes", depth + 1, share);
    Aggregate(context, c, counts, depth + 1, share);
    followed = true;
    if (t == Tri::kTrue) break;
  }
  if (followed) return;
  if (n.childCount > 0 && !returnLastPrediction) return;
  for (int i = 0; i < n.scoreCount; ++i) {
    counts[scores[n.scoreBegin + i].category] += scores[n.scoreBegin + i].recordCount;
  }
}

void TreeModel::Evaluate(Context& context, Answer& answer) const {
  const Engine& engine = *context.engine;
  if (context.path != nullptr) {
    context.path->trees.emplace_back();
  } else if (!fast.empty()) {
    // While every split on the way has a plain number no rule for missing
    // values or for no true child can come into play; fields are read as the
    // walk needs them.
    int n = 0;
    while (!fast[n].leaf) {
      const FastNode& f = fast[n];
      const Value& v = engine.Read(context, f.slot);
      if (v.kind != Value::kNumber) break;
      n = f.next[!(v.number <= f.threshold)];
    }
    if (fast[n].leaf) {
      FromNode(context, n, answer);
      return;
    }
  }
  const Tri rootTest = TestNode(context, 0);
  if (rootTest == Tri::kFalse ||
      (rootTest == Tri::kUnknown && (missing == kNone || missing == kLastPrediction))) {
    answer.status = kNoSegment;
    return;
  }
  if (rootTest == Tri::kUnknown && missing == kNullPrediction) {
    answer.status = kMissingNullPrediction;
    return;
  }
  Step(context, 0, "", 0);
  int node = 0, depth = 0, missingSteps = 0;
  while (hot[node].childCount > 0) {
    const HotNode& n = hot[node];
    int chosen = -1;
    const char* why = nullptr;
    for (int c = n.firstChild; c < n.firstChild + n.childCount && chosen < 0; ++c) {
      context.scratch->surrogates = 0;
      const Tri t = TestNode(context, c);
      if (t == Tri::kTrue) {
        // A surrogate standing in for a missing value counts as a missing-value step.
        missingSteps += context.scratch->surrogates;
        chosen = c;
        break;
      }
      if (t == Tri::kFalse || missing == kNone) continue;
      switch (missing) {
        case kLastPrediction:
          ++missingSteps;
          why = "lastPrediction";
          break;
        case kNullPrediction:
          answer.status = kMissingNullPrediction;
          return;
        case kDefaultChild:
          ++missingSteps;
          chosen = nodes[node].defaultChild;
          if (chosen < 0) {
            answer.status = kMissingInput;
            return;
          }
          why = "defaultChild";
          break;
        case kWeightedConfidence: {
          double value = 0, weight = 0;
          Weighted(context, node, 0, &value, &weight, depth, 1.0);
          const double* out = context.scratch->stack.data();
          if (weight == 0) {
            answer.status = kNoTrueChild;
            return;
          }
          if (function == kRegression) {
            answer.value = value;
            answer.has = true;
          } else {
            answer.probabilities.assign(out, out + engine.categories.size());
            DecideByShares(engine, answer);
          }
          return;
        }
        default: {  // aggregateNodes
          std::fill(answer.probabilities.begin(), answer.probabilities.end(), 0.0);
          Aggregate(context, node, answer.probabilities.data(), depth, 1.0);
          double total = 0;
          for (double x : answer.probabilities) total += x;
          if (total <= 0 || function == kRegression) {
            answer.status = kNoTrueChild;
            return;
          }
          for (double& x : answer.probabilities) x /= total;
          DecideByShares(engine, answer);
          return;
        }
      }
      if (why != nullptr && chosen < 0) break;  // lastPrediction: stop here
    }
    if (chosen < 0) {
      if (why == nullptr) {
        if (!returnLastPrediction) {
          answer.status = kNoTrueChild;
          return;
        }
        why = "returnLastPrediction";
      }
      Step(context, node, why, depth);
      break;
    }
    node = chosen;
    Step(context, node, why, ++depth);
  }
  if (!FromNode(context, node, answer)) {
    answer.status = kNoTrueChild;
    return;
  }
  if (missingSteps > 0 && penalty != 1.0 && answer.confidence >= 0) {
    answer.confidence *= std::pow(penalty, missingSteps);
  }
}

// --- MiningModel -------------------------------------------------------------

void MiningModel::Finish(const Engine& engine) {
  fastEnsemble = method == kMajorityVote || method == kWeightedMajorityVote || method == kAverage ||
                 method == kWeightedAverage || (method == kSum && function == kRegression);
  fastSlots.clear();
  for (Segment& s : segments) {
    s.model->Finish(engine);
    const auto* tree = dynamic_cast<const TreeModel*>(s.model.get());
    if (tree == nullptr || tree->fast.empty() || tree->function != function ||
        !tree->localSlots.empty() || !tree->outputs.empty() || tree->hasTarget ||
        engine.predicates[s.predicate].kind != Predicate::kTrue) {
      fastEnsemble = false;
      continue;
    }
    for (int slot : tree->fastSlots) {
      if (std::find(fastSlots.begin(), fastSlots.end(), slot) == fastSlots.end()) {
        fastSlots.push_back(slot);
      }
    }
  }
}

void MiningModel::FastEvaluate(Context& context, Answer& answer) const {
  const Engine& engine = *context.engine;
  const Value* values = context.scratch->values.data();
  const bool classification = function == kClassification;
  double sum = 0, weights = 0;
  float floatSum = FloatSumStart();
  std::fill(answer.probabilities.begin(), answer.probabilities.end(), 0.0);
  const size_t count = engine.categories.size();
  // Trees are walked eight at a time, a step of each in turn, so that their
  // node loads overlap; their answers are then taken in segment order.
  constexpr size_t kLanes = 8;
  for (size_t start = 0; start < segments.size(); start += kLanes) {
    const size_t lanes = std::min(kLanes, segments.size() - start);
    const TreeModel* trees[kLanes];
    int at[kLanes];
    int steps = 0;
    for (size_t l = 0; l < lanes; ++l) {
      trees[l] = static_cast<const TreeModel*>(segments[start + l].model.get());
      at[l] = 0;
      steps = std::max(steps, trees[l]->fastDepth);
    }
    for (int step = 0; step < steps; ++step) {
      for (size_t l = 0; l < lanes; ++l) {
        // A leaf reads the spare slot and stays.
        const TreeModel::FastNode& f = trees[l]->fast[at[l]];
        at[l] = f.next[!(values[f.slot].number <= f.threshold)];
      }
    }
    for (size_t l = 0; l < lanes; ++l) {
      const TreeModel::FastNode& leaf = trees[l]->fast[at[l]];
      const double w = segments[start + l].weight;
      switch (method) {
        case kMajorityVote:
          answer.probabilities[leaf.category] += 1;
          weights += 1;
          break;
        case kWeightedMajorityVote:
          answer.probabilities[leaf.category] += w;
          weights += w;
          break;
        case kAverage:
        case kWeightedAverage: {
          const double ww = method == kAverage ? 1.0 : w;
          if (classification) {
            const double* shares = trees[l]->shares.data() + at[l] * count;
            for (size_t k = 0; k < count; ++k) answer.probabilities[k] += ww * shares[k];
          } else {
            sum += ww * leaf.threshold;
          }
          weights += ww;
          break;
        }
        default:  // sum
          if (floatMath) {
            floatSum += static_cast<float>(leaf.threshold);
          } else {
            sum += leaf.threshold;
          }
          break;
      }
    }
  }
  if (classification) {
    for (double& p : answer.probabilities) p /= weights;
    DecideByShares(engine, answer);
    return;
  }
  answer.has = true;
  if (method == kSum) {
    answer.value = floatMath ? static_cast<double>(floatSum) : sum;
  } else {
    answer.value = Round(floatMath, sum / weights);
  }
}

bool Model::ConstantFirst() const {
  const auto* mining = dynamic_cast<const MiningModel*>(this);
  return sumFromConstant && floatMath && mining != nullptr && mining->method == MiningModel::kSum &&
         hasTarget && target.rescaleFactor == 1 && !target.hasMin && !target.hasMax;
}

float MiningModel::FloatSumStart() const {
  return ConstantFirst() ? static_cast<float>(target.rescaleConstant) : 0.0f;
}

void MiningModel::Evaluate(Context& context, Answer& answer) const {
  if (fastEnsemble && context.path == nullptr && AllNumbers(context, fastSlots)) {
    FastEvaluate(context, answer);
    return;
  }
  const Engine& engine = *context.engine;
  Scratch& scratch = *context.scratch;
  const size_t count = engine.categories.size();
  const bool classification = function == kClassification;
  double sum = 0, weights = 0, best = -std::numeric_limits<double>::infinity();
  float floatSum = FloatSumStart();
  int used = 0;
  const Answer* chosen = nullptr;                      // selectFirst, modelChain, max
  std::vector<double>& median = scratch.lists[index];  // regression values for the median
  size_t medianCount = 0;
  std::fill(answer.probabilities.begin(), answer.probabilities.end(), 0.0);
  for (const Segment& segment : segments) {
    if (engine.Test(context, segment.predicate) != Tri::kTrue) {
      if (context.path != nullptr && method != kModelChain) context.path->trees.emplace_back();
      continue;
    }
    Answer& sub = scratch.answers[segment.model->index];
    sub.Clear(count);
    segment.model->Score(context, sub);
    if (method == kSelectFirst) {
      chosen = &sub;
      break;
    }
    if (method == kModelChain) {
      chosen = &sub;
      continue;
    }
    if (!sub.has) {
      if (missingReturns) {
        answer.status = sub.status;
        return;
      }
      continue;
    }
    ++used;
    const double w = segment.weight;
    if (method == kSelectAll) {
      if (used == 1) {
        CopyAnswer(answer, sub);
        answer.has = false;
      }
      if (!answer.joined.empty()) answer.joined += ';';
      if (classification) {
        answer.joined += engine.categories[sub.category]->ToString();
      } else {
        scratch.numberText = NumericValue::FormatDouble(sub.value);
        answer.joined += scratch.numberText;
      }
      continue;
    }
    if (classification) {
      switch (method) {
        case kMajorityVote:
          answer.probabilities[sub.category] += 1;
          weights += 1;
          break;
        case kWeightedMajorityVote:
          answer.probabilities[sub.category] += w;
          weights += w;
          break;
        case kAverage:
        case kWeightedAverage: {
          const double ww = method == kAverage ? 1.0 : w;
          for (size_t k = 0; k < count; ++k) answer.probabilities[k] += ww * sub.probabilities[k];
          weights += ww;
          break;
        }
        default: {  // max: the segment most sure of its answer
          const double p = sub.hasProbabilities ? sub.probabilities[sub.category] : 1.0;
          if (p > best) {
            best = p;
            chosen = &sub;
          }
          break;
        }
      }
      continue;
    }
    switch (method) {
      case kSum:
        if (floatMath) {
          floatSum += static_cast<float>(sub.value);
        } else {
          sum += sub.value;
        }
        break;
      case kAverage:
        sum += sub.value;
        weights += 1;
        break;
      case kWeightedAverage:
        sum += w * sub.value;
        weights += w;
        break;
      case kMax:
        if (sub.value > best) best = sub.value;
        break;
      default:  // median
        if (median.size() <= medianCount) median.resize(2 * medianCount + 8);
        median[medianCount++] = sub.value;
        break;
    }
  }
  if (method == kSelectFirst || method == kModelChain || (classification && method == kMax)) {
    if (chosen == nullptr) {
      answer.status = kNoSegment;
      return;
    }
    CopyAnswer(answer, *chosen);
    return;
  }
  if (used == 0) {
    answer.status = kNoSegment;
    return;
  }
  if (method == kSelectAll) {
    answer.has = true;
    return;
  }
  answer.has = true;
  if (classification) {
    for (double& p : answer.probabilities) p /= weights;
    DecideByShares(engine, answer);
    return;
  }
  switch (method) {
    case kSum:
      answer.value = floatMath ? static_cast<double>(floatSum) : sum;
      break;
    case kAverage:
    case kWeightedAverage:
      answer.value = Round(floatMath, sum / weights);
      break;
    case kMax:
      answer.value = best;
      break;
    default: {
      std::sort(median.begin(), median.begin() + medianCount);
      const size_t mid = medianCount / 2;
      answer.value = medianCount % 2 ? median[mid] : (median[mid - 1] + median[mid]) / 2;
      break;
    }
  }
}

// --- RegressionModel ---------------------------------------------------------

namespace {

float InverseLinkFloat(RegressionModel::Normalization n, float y) {
  switch (n) {
    case RegressionModel::kLogit:
      return 1.0f / (1.0f + std::exp(-y));
    case RegressionModel::kExp:
      return std::exp(y);
    default:
      return static_cast<float>(y);
  }
}

double InverseLink(RegressionModel::Normalization n, double y, bool floatMath) {
  if (floatMath && (n == RegressionModel::kLogit || n == RegressionModel::kExp)) {
    return InverseLinkFloat(n, static_cast<float>(y));
  }
  switch (n) {
    case RegressionModel::kLogit:
      return 1.0 / (1.0 + std::exp(-y));
    case RegressionModel::kExp:
      return std::exp(y);
    case RegressionModel::kProbit:
      return 0.5 * std::erfc(-y / std::sqrt(2.0));
    case RegressionModel::kCloglog:
      return 1.0 - std::exp(-std::exp(y));
    case RegressionModel::kLoglog:
      return std::exp(-std::exp(-y));
    case RegressionModel::kCauchit:
      return 0.5 + std::atan(y) / M_PI;
    default:
      return y;
  }
}

}  // namespace

void RegressionModel::Evaluate(Context& context, Answer& answer) const {
  const Engine& engine = *context.engine;
  std::vector<double>& ys = context.scratch->lists[index];
  if (ys.size() < tables.size()) ys.resize(tables.size());
  for (size_t t = 0; t < tables.size(); ++t) {
    const Table& table = tables[t];
    double y = table.intercept;
    for (const NumericTerm& term : table.numeric) {
      const Value& v = engine.Read(context, term.slot);
      if (v.kind == Value::kMissing || (v.kind == Value::kText && !v.textIsNumber)) {
        answer.status = kMissingInput;
        return;
      }
      const double x = term.exponent == 1 ? v.number : std::pow(v.number, term.exponent);
      y = Round(floatMath, y + Round(floatMath, term.coefficient * x));
    }
    for (const CategoricalTerm& term : table.categorical) {
      const Value& v = engine.Read(context, term.slot);
      if (v.kind == Value::kMissing) {
        answer.status = kMissingInput;
        return;
      }
      if (Matches(term.value, v)) y = Round(floatMath, y + term.coefficient);
    }
    ys[t] = y;
  }
  answer.has = true;
  if (function == kRegression) {
    answer.value = Round(floatMath, InverseLink(normalization, ys[0], floatMath));
    return;
  }
  const size_t n = tables.size();
  std::fill(answer.probabilities.begin(), answer.probabilities.end(), 0.0);
  if (normalization == kSoftmax || normalization == kSimplemax) {
    double total = 0;
    double top = ys[0];
    for (size_t t = 1; t < n; ++t) top = std::max(top, ys[t]);
    for (size_t t = 0; t < n; ++t) {
      ys[t] = normalization == kSoftmax ? std::exp(ys[t] - top) : ys[t];
      total += ys[t];
    }
    for (size_t t = 0; t < n; ++t) answer.probabilities[tables[t].category] = ys[t] / total;
  } else {
    // Each table but the last through the link; the last takes the rest.
    double rest = 1.0;
    for (size_t t = 0; t + 1 < n; ++t) {
      const double p = Round(floatMath, InverseLink(normalization, ys[t], floatMath));
      answer.probabilities[tables[t].category] = p;
      rest = Round(floatMath, rest - p);
    }
    answer.probabilities[tables[n - 1].category] = rest;
  }
  DecideByShares(engine, answer);
}

}  // namespace pmml44
