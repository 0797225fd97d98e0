#include "pmml44/Reader.h"

#include <cmath>
#include <functional>
#include <initializer_list>
#include <unordered_map>

#include "host/BaseDictionary.h"
#include "host/DerivedField.h"
#include "host/VeltraException.h"
#include "host/XmlDocument.h"

using xercesc::DOMDocument;
using xercesc::DOMElement;
using xercesc::DOMNode;

namespace pmml44 {

namespace {

// Stands for a slot whose value is published by the model (an output field
// without an expression); never evaluated.
class PublishedValue final : public DerivedExpression {
 public:
  DerivedValue Evaluate(const ScoreCaseRecord*, const ScoreCaseRecord*) const override {
    return DerivedValue::Missing();
  }
};

std::string Where(const DOMNode* node) {
  const int line = dendrix_host::ElementLine(node);
  return line > 0 ? " (line " + std::to_string(line) + ")" : std::string();
}

bool Is(const DOMElement* e, const char* name) {
  return BaseTranslator::IsEqual(e->getTagName(), name);
}

// Elements that carry no meaning for scoring.
bool IsIgnorable(const DOMElement* e) {
  return Is(e, "Extension") || Is(e, "ModelStats") || Is(e, "ModelExplanation") ||
         Is(e, "ModelVerification") || Is(e, "Header") || Is(e, "MiningBuildTask");
}

class Reader {
 public:
  Reader(PMMLTranslator& translator, BaseModel& model)
      : tr_(translator), model_(model), engine_(std::make_unique<Engine>()) {}

  std::unique_ptr<Engine> Read(DOMDocument* document);

 private:
  std::string Text(const XMLCh* text) const { return tr_.Transcode(text); }
  std::string Attr(const DOMElement* e, const char* name) const {
    return Text(BaseTranslator::GetAttribute(e, name));
  }
  bool Has(const DOMElement* e, const char* name) const {
    return BaseTranslator::GetAttribute(e, name) != nullptr;
  }
  std::string Required(const DOMElement* e, const char* name) const {
    if (!Has(e, name)) {
      throw VeltraException(1, "Attribute \"" + std::string(name) + "\" is required in <" +
                                   Text(e->getTagName()) + ">" + Where(e));
    }
    return Attr(e, name);
  }
  double Number(const DOMElement* e, const char* name, double fallback) const {
    if (!Has(e, name)) return fallback;
    const std::string text = Attr(e, name);
    double x = 0;
    if (!NumericValue::ParseDouble(text, &x)) {
      throw VeltraException(3, "\"" + text + "\" is not a number in attribute \"" + name +
                                   "\" of <" + Text(e->getTagName()) + ">" + Where(e));
    }
    return x;
  }
  // The position of the attribute's value in names; fallback when the
  // attribute is absent. Any other value is refused.
  int Pick(const DOMElement* e, const char* attribute, std::initializer_list<const char*> names,
           int fallback) const {
    if (!Has(e, attribute)) return fallback;
    const std::string value = Attr(e, attribute);
    int i = 0;
    for (const char* name : names) {
      if (value == name) return i;
      ++i;
    }
    RefuseValue(e, attribute);
  }
  [[noreturn]] void Refuse(const DOMElement* e, const std::string& what) const {
    throw VeltraException(5,
                          what + " is not supported in <" + Text(e->getTagName()) + ">" + Where(e));
  }
  [[noreturn]] void RefuseValue(const DOMElement* e, const char* attribute) const {
    Refuse(e, std::string(attribute) + "=\"" + Attr(e, attribute) + "\"");
  }
  std::vector<DOMElement*> Children(const DOMElement* e) const {
    std::vector<DOMElement*> out;
    for (DOMElement* c = BaseTranslator::GetFirstChildElt(e); c != nullptr;
         c = BaseTranslator::GetNextSiblingElt(c)) {
      out.push_back(c);
    }
    return out;
  }

  static DataType ParseType(const std::string& t, bool* known);
  Constant MakeConstant(const std::string& text, DataType type) const;
  int SlotOf(const DOMElement* e, const std::string& name) const;
  DataType SlotType(int slot) const;
  int AddSlot(const std::string& name, DataType type, DerivedExpression* expression);
  int ReadDerivedField(const DOMElement* e);
  void ReadDataDictionary(DOMElement* dd);
  void ReadMiningSchema(const DOMElement* schema, bool top);
  std::unique_ptr<Model> ReadModel(const DOMElement* e, bool top);
  void ReadTree(const DOMElement* e, TreeModel& tree);
  void ReadNode(const DOMElement* e, TreeModel& tree, int index, int depth);
  void ReadSegmentation(const DOMElement* e, MiningModel& mining);
  void ReadRegression(const DOMElement* e, RegressionModel& regression);
  void ReadOutput(const DOMElement* e, Model& model, bool top);
  void ReadTargets(const DOMElement* e, Model& model);
  int ReadPredicate(const DOMElement* e);
  std::vector<Constant> ReadArray(const DOMElement* array, DataType type) const;
  int Category(const DOMElement* where, const std::string& text);

  PMMLTranslator& tr_;
  BaseModel& model_;
  std::unique_ptr<Engine> engine_;
  ScoreDictionary* dictionary_ = nullptr;
  std::unique_ptr<DerivedExpressionReader> expressions_;
  std::unordered_map<std::string, int> slotOf_;
  std::string targetName_;
  DataType targetType_ = DataType::kString;
  bool categoriesDeclared_ = false;
  int nodeCounter_ = 0;
  std::string version_;  // of the document
};

DataType Reader::ParseType(const std::string& t, bool* known) {
  *known = true;
  if (t == "integer") return DataType::kInteger;
  if (t == "float") return DataType::kFloat;
  if (t == "double") return DataType::kDouble;
  if (t == "boolean") return DataType::kBoolean;
  if (t == "string") return DataType::kString;
  *known = false;
  return DataType::kString;
}

Constant Reader::MakeConstant(const std::string& text, DataType type) const {
  Constant c;
  c.text = text;
  c.isNumber = NumericValue::ParseDouble(text, &c.number);
  if (!c.isNumber) {
    // The XML Schema spellings of the special numbers.
    if (text == "INF" || text == "Infinity") c.number = INFINITY;
    if (text == "-INF" || text == "-Infinity") c.number = -INFINITY;
    if (text == "NaN") c.number = NAN;
    c.isNumber = text == "INF" || text == "Infinity" || text == "-INF" || text == "-Infinity" ||
                 text == "NaN";
  }
  if (c.isNumber && type == DataType::kFloat) c.number = static_cast<float>(c.number);
  return c;
}

int Reader::SlotOf(const DOMElement* e, const std::string& name) const {
  auto it = slotOf_.find(name);
  if (it == slotOf_.end()) {
    throw VeltraException(
        8, "Field \"" + name + "\" of <" + Text(e->getTagName()) + "> is not defined" + Where(e));
  }
  return it->second;
}

DataType Reader::SlotType(int slot) const {
  return slot < engine_->dataCount ? engine_->fields[slot].type
                                   : engine_->slotTypes[slot - engine_->dataCount];
}

int Reader::AddSlot(const std::string& name, DataType type, DerivedExpression* expression) {
  Engine& e = *engine_;
  const int position = e.slots->GetNumberOfVars();
  std::string unique = name;
  // Names may repeat in the local scopes of different models.
  if (e.slots->GetVar(unique) != nullptr || (dictionary_ && dictionary_->GetVar(unique))) {
    unique = name + "#" + std::to_string(position);
  }
  auto var = std::make_unique<DictVar>(
      unique, IsNumericType(type) ? ScoreDictVar::kNumeric : ScoreDictVar::kString);
  std::unique_ptr<DerivedExpression> owned(expression);
  if (!e.slots->AddDerivedField(var.get(), owned.get())) {
    throw VeltraException(1, "Field \"" + name + "\" cannot be defined");
  }
  var.release();
  owned.release();
  e.slotTypes.push_back(type);
  e.slotNames.push_back(unique);
  const int slot = e.dataCount + position;
  slotOf_[name] = slot;
  expressions_->AddDerivedName(name, position);
  return slot;
}

int Reader::ReadDerivedField(const DOMElement* e) {
  const std::string name = Required(e, "name");
  bool known = false;
  DataType type = ParseType(Attr(e, "dataType"), &known);
  if (!known) type = Attr(e, "optype") == "continuous" ? DataType::kDouble : DataType::kString;
  std::unique_ptr<DerivedExpression> expression = expressions_->ReadDerivedField(e, name);
  engine_->hasExpressions = true;
  return AddSlot(name, type, expression.release());
}

void Reader::ReadDataDictionary(DOMElement* dd) {
  dictionary_ = tr_.ParseDictionary(dd);
  model_.SetScoreDictionary(dictionary_);
  Engine& engine = *engine_;
  for (DOMElement* f : Children(dd)) {
    if (!Is(f, "DataField")) {
      if (Is(f, "Extension") || Is(f, "Taxonomy")) continue;
      Refuse(f, "Element <" + Text(f->getTagName()) + ">");
    }
    DataField field;
    field.name = Required(f, "name");
    bool known = false;
    field.type = ParseType(Attr(f, "dataType"), &known);
    const std::string optype = Attr(f, "optype");
    if (!known) {
      if (Has(f, "dataType")) RefuseValue(f, "dataType");
      field.type = optype == "continuous" ? DataType::kDouble : DataType::kString;
    }
    field.continuous = optype == "continuous" || (optype.empty() && IsNumericType(field.type));
    for (DOMElement* c : Children(f)) {
      if (Is(c, "Value")) {
        const std::string property = Has(c, "property") ? Attr(c, "property") : "valid";
        Constant value = MakeConstant(Required(c, "value"), field.type);
        if (property == "valid") {
          field.validValues.push_back(value);
        } else if (property == "invalid") {
          field.invalidValues.push_back(value);
        } else if (property == "missing") {
          field.missingValues.push_back(value);
        } else {
          RefuseValue(c, "property");
        }
      } else if (Is(c, "Interval")) {
        const std::string closure = Required(c, "closure");
        Interval i;
        i.left = Number(c, "leftMargin", -INFINITY);
        i.right = Number(c, "rightMargin", INFINITY);
        if (closure == "openClosed" || closure == "openOpen") {
          i.leftClosed = false;
        } else if (closure == "closedOpen" || closure == "closedClosed") {
          i.leftClosed = true;
        } else {
          RefuseValue(c, "closure");
        }
        i.rightClosed = closure == "openClosed" || closure == "closedClosed";
        field.intervals.push_back(i);
      } else if (!Is(c, "Extension")) {
        Refuse(c, "Element <" + Text(c->getTagName()) + ">");
      }
    }
    // Declared values list the valid categories of a categorical field; a
    // continuous field is bounded by its intervals only.
    if (field.continuous) field.validValues.clear();
    slotOf_[field.name] = static_cast<int>(engine.fields.size());
    engine.fields.push_back(std::move(field));
  }
  engine.dataCount = static_cast<int>(engine.fields.size());
  // Expressions read the treated inputs from a record in dictionary order.
  for (ScoreDictVar* var : dictionary_->GetVars()) {
    auto it = slotOf_.find(var->GetName());
    if (it != slotOf_.end()) var->SetIndex(it->second);
  }
}

void Reader::ReadMiningSchema(const DOMElement* schema, bool top) {
  for (DOMElement* f : Children(schema)) {
    if (!Is(f, "MiningField")) {
      if (Is(f, "Extension")) continue;
      Refuse(f, "Element <" + Text(f->getTagName()) + ">");
    }
    const std::string name = Required(f, "name");
    const int slot = SlotOf(f, name);
    const std::string usage = Has(f, "usageType") ? Attr(f, "usageType") : "active";
    FieldTreatment t;
    t.invalid = static_cast<FieldTreatment::Invalid>(
        Pick(f, "invalidValueTreatment", {"returnInvalid", "asIs", "asMissing", "asValue"}, 0));
    const DataType type = SlotType(slot);
    if (Has(f, "invalidValueReplacement")) {
      t.hasInvalidReplacement = true;
      t.invalidReplacement = MakeConstant(Attr(f, "invalidValueReplacement"), type);
    }
    if (Has(f, "missingValueReplacement")) {
      t.hasReplacement = true;
      t.replacement = MakeConstant(Attr(f, "missingValueReplacement"), type);
    }
    t.outliers = static_cast<FieldTreatment::Outliers>(
        Pick(f, "outliers", {"asIs", "asMissingValues", "asExtremeValues"}, 0));
    if (t.outliers != FieldTreatment::kOutliersAsIs) {
      t.lowValue = Number(f, "lowValue", -INFINITY);
      t.highValue = Number(f, "highValue", INFINITY);
    }
    const bool isTarget = usage == "target" || usage == "predicted";
    if (usage != "active" && !isTarget && usage != "supplementary" && usage != "group" &&
        usage != "order" && usage != "frequencyWeight" && usage != "analysisWeight") {
      RefuseValue(f, "usageType");
    }
    if (top) {
      if (isTarget) {
        model_.SetVarRole(name, ScoreModel::kRoleTarget);
        if (targetName_.empty()) {
          targetName_ = name;
          targetType_ = SlotType(slot);
        }
      } else if (usage == "active") {
        model_.SetVarRole(name, ScoreModel::kRoleInput);
      }
      if (slot < engine_->dataCount && usage == "active") {
        engine_->fields[slot].active = true;
        engine_->fields[slot].treatment = t;
      }
      continue;
    }
    // A nested model sees the values as the top model's schema treated them:
    // its own treatment changes nothing only when the top one already decided.
    if (usage == "active" && slot < engine_->dataCount) {
      const FieldTreatment& outer = engine_->fields[slot].treatment;
      const bool invalidDiffers = outer.invalid == FieldTreatment::kAsIs &&
                                  t.invalid != FieldTreatment::kAsIs &&
                                  Has(f, "invalidValueTreatment");
      const bool missingDiffers =
          t.hasReplacement &&
          (!outer.hasReplacement || outer.replacement.text != t.replacement.text);
      const bool outliersDiffer = t.outliers != FieldTreatment::kOutliersAsIs &&
                                  (outer.outliers != t.outliers || outer.lowValue != t.lowValue ||
                                   outer.highValue != t.highValue);
      if (invalidDiffers || missingDiffers || outliersDiffer) {
        Refuse(f, "A treatment of \"" + name + "\" that differs from the top model's");
      }
    }
  }
}

int Reader::Category(const DOMElement* where, const std::string& text) {
  Engine& e = *engine_;
  const Constant c = MakeConstant(text, targetType_);
  for (size_t k = 0; k < e.categories.size(); ++k) {
    const ScoreValue* v = e.categories[k].get();
    if (v->GetTypeTag() == ScoreValue::kNumericTag) {
      if (c.isNumber && v->ToDouble() == c.number) return static_cast<int>(k);
    } else if (static_cast<const StringValue*>(v)->GetText() == text) {
      return static_cast<int>(k);
    }
  }
  if (IsNumericType(targetType_)) {
    if (!c.isNumber) {
      throw VeltraException(3, "\"" + text + "\" is not a number of the target in <" +
                                   Text(where->getTagName()) + ">" + Where(where));
    }
    e.categories.push_back(std::make_unique<NumericValue>(c.number));
  } else {
    e.categories.push_back(std::make_unique<StringValue>(text));
  }
  return static_cast<int>(e.categories.size() - 1);
}

std::vector<Constant> Reader::ReadArray(const DOMElement* array, DataType type) const {
  const std::string text = Text(array->getTextContent());
  std::vector<Constant> out;
  size_t i = 0;
  while (i < text.size()) {
    const char ch = text[i];
    if (ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r') {
      ++i;
      continue;
    }
    std::string token;
    if (ch == '"') {
      // A quoted entry: \" is a quote inside it.
      ++i;
      bool closed = false;
      while (i < text.size()) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '"') {
          token += '"';
          i += 2;
        } else if (text[i] == '"') {
          ++i;
          closed = true;
          break;
        } else {
          token += text[i++];
        }
      }
      if (!closed) {
        throw VeltraException(3, "An <Array> entry has no closing quote" + Where(array));
      }
    } else {
      while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '\n' &&
             text[i] != '\r') {
        token += text[i++];
      }
    }
    out.push_back(MakeConstant(token, type));
  }
  if (Has(array, "n")) {
    const double n = Number(array, "n", 0);
    if (n != static_cast<double>(out.size())) {
      throw VeltraException(12, "<Array> says n=\"" + Attr(array, "n") + "\" but holds " +
                                    std::to_string(out.size()) + " values" + Where(array));
    }
  }
  return out;
}

int Reader::ReadPredicate(const DOMElement* e) {
  Predicate p;
  if (Is(e, "True")) {
    p.kind = Predicate::kTrue;
    p.text = "True";
  } else if (Is(e, "False")) {
    p.kind = Predicate::kFalse;
    p.text = "False";
  } else if (Is(e, "SimplePredicate")) {
    p.kind = Predicate::kSimple;
    const std::string field = Required(e, "field");
    p.slot = SlotOf(e, field);
    const DataType type = SlotType(p.slot);
    p.numericField = IsNumericType(type);
    const std::string op = Required(e, "operator");
    static const std::pair<const char*, Predicate::Op> kOps[] = {
        {"equal", Predicate::kEqual},
        {"notEqual", Predicate::kNotEqual},
        {"lessThan", Predicate::kLessThan},
        {"lessOrEqual", Predicate::kLessOrEqual},
        {"greaterThan", Predicate::kGreaterThan},
        {"greaterOrEqual", Predicate::kGreaterOrEqual},
        {"isMissing", Predicate::kIsMissing},
        {"isNotMissing", Predicate::kIsNotMissing}};
    static const char* kSymbols[] = {
        "==", "!=", "<", "<=", ">", ">=", "is missing", "is not missing"};
    int found = -1;
    for (int i = 0; i < 8; ++i) {
      if (op == kOps[i].first) found = i;
    }
    if (found < 0) RefuseValue(e, "operator");
    p.op = kOps[found].second;
    p.text = field + " " + kSymbols[found];
    if (p.op != Predicate::kIsMissing && p.op != Predicate::kIsNotMissing) {
      p.value = MakeConstant(Required(e, "value"), type);
      if (p.numericField && !p.value.isNumber) {
        throw VeltraException(
            3, "\"" + p.value.text + "\" is not a number of field \"" + field + "\"" + Where(e));
      }
      p.text += " " + p.value.text;
    }
  } else if (Is(e, "SimpleSetPredicate")) {
    p.kind = Predicate::kSet;
    const std::string field = Required(e, "field");
    p.slot = SlotOf(e, field);
    Required(e, "booleanOperator");
    p.op = Pick(e, "booleanOperator", {"isIn", "isNotIn"}, 0) == 0 ? Predicate::kIsIn
                                                                   : Predicate::kIsNotIn;
    const DOMElement* array = BaseTranslator::GetChildByTag(e, "Array");
    if (array == nullptr)
      throw VeltraException(1, "<SimpleSetPredicate> has no <Array>" + Where(e));
    p.set = ReadArray(array, SlotType(p.slot));
    p.text = field + (p.op == Predicate::kIsIn ? " in {" : " not in {");
    for (size_t i = 0; i < p.set.size(); ++i) p.text += (i ? "," : "") + p.set[i].text;
    p.text += "}";
  } else if (Is(e, "CompoundPredicate")) {
    p.kind = Predicate::kCompound;
    const std::string op = Required(e, "booleanOperator");
    p.op = static_cast<Predicate::Op>(
        Predicate::kAnd + Pick(e, "booleanOperator", {"and", "or", "xor", "surrogate"}, 0));
    p.text = op + "(";
    for (DOMElement* c : Children(e)) {
      if (Is(c, "Extension")) continue;
      const int child = ReadPredicate(c);
      p.text += (p.children.empty() ? "" : ", ") + engine_->predicates[child].text;
      p.children.push_back(child);
    }
    p.text += ")";
    if (p.children.size() < 2) {
      throw VeltraException(1, "<CompoundPredicate> needs two predicates at least" + Where(e));
    }
  } else {
    Refuse(e, "Predicate element <" + Text(e->getTagName()) + ">");
  }
  engine_->predicates.push_back(std::move(p));
  return static_cast<int>(engine_->predicates.size() - 1);
}

bool IsPredicate(const DOMElement* e) {
  return Is(e, "True") || Is(e, "False") || Is(e, "SimplePredicate") ||
         Is(e, "SimpleSetPredicate") || Is(e, "CompoundPredicate");
}

void Reader::ReadNode(const DOMElement* e, TreeModel& tree, int index, int depth) {
  if (depth > 10000) throw VeltraException(5, "Tree deeper than 10000 levels" + Where(e));
  if (depth > engine_->maxDepth) engine_->maxDepth = depth;
  const bool floatMath = tree.floatMath;
  std::vector<const DOMElement*> children;
  int predicate = -1;
  std::string defaultChild;
  {
    TreeNode& n = tree.nodes[index];
    n.id = Has(e, "id") ? Attr(e, "id") : std::to_string(nodeCounter_ + 1);
    ++nodeCounter_;
    if (Has(e, "score")) {
      n.hasScore = true;
      if (tree.function == Model::kClassification) {
        n.category = Category(e, Attr(e, "score"));
      } else {
        n.score = Number(e, "score", 0);
        if (floatMath) n.score = static_cast<float>(n.score);
      }
    }
    n.recordCount = Number(e, "recordCount", -1);
    defaultChild = Attr(e, "defaultChild");
  }
  std::vector<NodeScore> scores;
  for (DOMElement* c : Children(e)) {
    if (IsPredicate(c)) {
      if (predicate >= 0) Refuse(c, "A second predicate");
      predicate = ReadPredicate(c);
    } else if (Is(c, "Node")) {
      children.push_back(c);
    } else if (Is(c, "ScoreDistribution")) {
      if (tree.function != Model::kClassification) continue;
      NodeScore s;
      s.category = Category(c, Required(c, "value"));
      s.recordCount = Number(c, "recordCount", 0);
      s.probability = Number(c, "probability", -1);
      s.confidence = Number(c, "confidence", -1);
      scores.push_back(s);
    } else if (!Is(c, "Extension")) {
      Refuse(c, "Element <" + Text(c->getTagName()) + ">");
    }
  }
  if (predicate < 0) throw VeltraException(1, "<Node> has no predicate" + Where(e));
  const int first = static_cast<int>(tree.nodes.size());
  tree.nodes.resize(tree.nodes.size() + children.size());
  {
    TreeNode& n = tree.nodes[index];
    n.predicate = predicate;
    n.scoreBegin = static_cast<int>(tree.scores.size());
    n.scoreCount = static_cast<int>(scores.size());
    n.firstChild = children.empty() ? -1 : first;
    n.childCount = static_cast<int>(children.size());
  }
  tree.scores.insert(tree.scores.end(), scores.begin(), scores.end());
  for (size_t i = 0; i < children.size(); ++i) {
    ReadNode(children[i], tree, first + static_cast<int>(i), depth + 1);
  }
  if (!defaultChild.empty()) {
    for (size_t i = 0; i < children.size(); ++i) {
      if (tree.nodes[first + i].id == defaultChild) tree.nodes[index].defaultChild = first + i;
    }
    if (tree.nodes[index].defaultChild < 0) {
      throw VeltraException(1, "defaultChild=\"" + defaultChild + "\" names no child" + Where(e));
    }
  }
}

void Reader::ReadTree(const DOMElement* e, TreeModel& tree) {
  tree.missing =
      static_cast<TreeModel::Missing>(Pick(e, "missingValueStrategy",
                                           {"none", "lastPrediction", "nullPrediction",
                                            "defaultChild", "weightedConfidence", "aggregateNodes"},
                                           0));
  if (tree.function == Model::kRegression && tree.missing == TreeModel::kAggregateNodes) {
    Refuse(e, "missingValueStrategy=\"aggregateNodes\" with a regression tree");
  }
  tree.penalty = Number(e, "missingValuePenalty", 1.0);
  tree.returnLastPrediction =
      Pick(e, "noTrueChildStrategy", {"returnNullPrediction", "returnLastPrediction"}, 0) == 1;
  // Both split kinds are walked the same way: children in document order.
  Pick(e, "splitCharacteristic", {"binarySplit", "multiSplit"}, 0);
  const DOMElement* root = BaseTranslator::GetChildByTag(e, "Node");
  if (root == nullptr) throw VeltraException(4, "<TreeModel> has no <Node>" + Where(e));
  nodeCounter_ = 0;
  tree.nodes.resize(1);
  ReadNode(root, tree, 0, 0);
}

void Reader::ReadRegression(const DOMElement* e, RegressionModel& regression) {
  regression.normalization = static_cast<RegressionModel::Normalization>(Pick(
      e, "normalizationMethod",
      {"none", "softmax", "logit", "exp", "probit", "cloglog", "loglog", "cauchit", "simplemax"},
      0));
  for (DOMElement* t : Children(e)) {
    if (!Is(t, "RegressionTable")) continue;
    RegressionModel::Table table;
    table.intercept = Number(t, "intercept", 0);
    if (regression.function == Model::kClassification) {
      table.category = Category(t, Required(t, "targetCategory"));
    }
    for (DOMElement* c : Children(t)) {
      if (Is(c, "NumericPredictor")) {
        const int slot = SlotOf(c, Required(c, "name"));
        table.numeric.push_back({slot, Number(c, "exponent", 1), Number(c, "coefficient", 0)});
      } else if (Is(c, "CategoricalPredictor")) {
        const int slot = SlotOf(c, Required(c, "name"));
        table.categorical.push_back({slot, MakeConstant(Required(c, "value"), SlotType(slot)),
                                     Number(c, "coefficient", 0)});
      } else if (!Is(c, "Extension")) {
        Refuse(c, "Element <" + Text(c->getTagName()) + ">");
      }
    }
    regression.tables.push_back(std::move(table));
  }
  if (regression.tables.empty()) {
    throw VeltraException(4, "<RegressionModel> has no <RegressionTable>" + Where(e));
  }
  if (regression.function == Model::kRegression && regression.tables.size() != 1) {
    Refuse(e, "A regression with several tables");
  }
}

void Reader::ReadSegmentation(const DOMElement* e, MiningModel& mining) {
  Required(e, "multipleModelMethod");
  mining.method = static_cast<MiningModel::Method>(
      Pick(e, "multipleModelMethod",
           {"majorityVote", "weightedMajorityVote", "average", "weightedAverage", "median", "max",
            "sum", "selectFirst", "selectAll", "modelChain"},
           0));
  const bool classification = mining.function == Model::kClassification;
  if (classification &&
      (mining.method == MiningModel::kSum || mining.method == MiningModel::kMedian)) {
    RefuseValue(e, "multipleModelMethod");
  }
  if (!classification && (mining.method == MiningModel::kMajorityVote ||
                          mining.method == MiningModel::kWeightedMajorityVote)) {
    RefuseValue(e, "multipleModelMethod");
  }
  mining.missingReturns = Attr(e, "missingPredictionTreatment") == "returnMissing";
  for (DOMElement* s : Children(e)) {
    if (!Is(s, "Segment")) {
      if (Is(s, "Extension")) continue;
      Refuse(s, "Element <" + Text(s->getTagName()) + ">");
    }
    Segment segment;
    segment.id = Attr(s, "id");
    segment.weight = Number(s, "weight", 1);
    for (DOMElement* c : Children(s)) {
      if (Is(c, "Extension")) continue;
      if (IsPredicate(c)) {
        segment.predicate = ReadPredicate(c);
      } else if (segment.model == nullptr) {
        if (segment.predicate < 0)
          throw VeltraException(1, "<Segment> has no predicate" + Where(s));
        segment.model = ReadModel(c, false);
      } else {
        Refuse(c, "A second model");
      }
    }
    if (segment.model == nullptr) throw VeltraException(4, "<Segment> has no model" + Where(s));
    // Votes and averages combine answers of the segmentation's own kind.
    const bool combines = mining.method != MiningModel::kSelectFirst &&
                          mining.method != MiningModel::kSelectAll &&
                          mining.method != MiningModel::kModelChain;
    if (combines && segment.model->function != mining.function) {
      Refuse(s, "A segment whose functionName differs from its segmentation's");
    }
    mining.segments.push_back(std::move(segment));
  }
}

void Reader::ReadTargets(const DOMElement* e, Model& model) {
  for (DOMElement* t : Children(e)) {
    if (!Is(t, "Target")) continue;
    model.hasTarget = true;
    Target& target = model.target;
    target.rescaleFactor = Number(t, "rescaleFactor", 1);
    target.rescaleConstant = Number(t, "rescaleConstant", 0);
    if (Has(t, "min")) {
      target.hasMin = true;
      target.min = Number(t, "min", 0);
    }
    if (Has(t, "max")) {
      target.hasMax = true;
      target.max = Number(t, "max", 0);
    }
    target.castInteger = Has(t, "castInteger");
    target.castMode = Pick(t, "castInteger", {"round", "ceiling", "floor"}, 0);
    for (DOMElement* v : Children(t)) {
      if (Is(v, "TargetValue") && (Has(v, "defaultValue") || Has(v, "priorProbability"))) {
        Refuse(v, "A prior or default value");
      }
    }
  }
}

void Reader::ReadOutput(const DOMElement* e, Model& model, bool top) {
  for (DOMElement* f : Children(e)) {
    if (!Is(f, "OutputField")) continue;
    OutputField out;
    out.name = Required(f, "name");
    const std::string feature = Has(f, "feature") ? Attr(f, "feature") : "predictedValue";
    bool known = false;
    out.type = ParseType(Attr(f, "dataType"), &known);
    out.hasType = known;
    out.isFinal = Attr(f, "isFinalResult") != "false";
    if (Has(f, "segmentId")) RefuseValue(f, "segmentId");
    if (Has(f, "rank") && Attr(f, "rank") != "1") RefuseValue(f, "rank");
    const DOMElement* expression = nullptr;
    for (DOMElement* c : Children(f)) {
      if (!Is(c, "Extension") && !Is(c, "Decisions") && !Is(c, "Value")) expression = c;
    }
    DerivedExpression* compiled = nullptr;
    if (feature == "predictedValue" || feature == "predictedDisplayValue") {
      out.feature = OutputField::kPredictedValue;
    } else if (feature == "probability") {
      out.feature = OutputField::kProbability;
      if (Has(f, "value")) out.category = Category(f, Attr(f, "value"));
    } else if (feature == "confidence") {
      out.feature = OutputField::kConfidence;
    } else if (feature == "entityId") {
      out.feature = OutputField::kEntityId;
    } else if (feature == "transformedValue" || feature == "decision") {
      if (expression == nullptr) Refuse(f, "feature=\"" + feature + "\" without an expression");
      out.feature = OutputField::kExpression;
      compiled = expressions_->ReadExpression(expression).release();
      engine_->hasExpressions = true;
    } else {
      RefuseValue(f, "feature");
    }
    if (compiled == nullptr && expression != nullptr) Refuse(expression, "An expression here");
    if (!out.hasType) {
      out.type = out.feature == OutputField::kEntityId ? DataType::kString : DataType::kDouble;
      if (out.feature == OutputField::kPredictedValue && model.function == Model::kClassification) {
        out.type = targetType_;
      }
    }
    out.slot = AddSlot(out.name, out.type, compiled ? compiled : new PublishedValue());
    if (top && out.isFinal &&
        (out.feature == OutputField::kExpression || out.feature == OutputField::kConfidence)) {
      engine_->extraOutputs.push_back(static_cast<int>(model.outputs.size()));
    }
    model.outputs.push_back(std::move(out));
  }
}

std::unique_ptr<Model> Reader::ReadModel(const DOMElement* e, bool top) {
  std::unique_ptr<Model> model;
  TreeModel* tree = nullptr;
  MiningModel* mining = nullptr;
  RegressionModel* regression = nullptr;
  if (Is(e, "TreeModel")) {
    model.reset(tree = new TreeModel());
  } else if (Is(e, "MiningModel")) {
    model.reset(mining = new MiningModel());
  } else if (Is(e, "RegressionModel")) {
    model.reset(regression = new RegressionModel());
  } else {
    Refuse(e, "Model <" + Text(e->getTagName()) + ">");
  }
  model->index = engine_->modelCount++;
  Required(e, "functionName");
  model->function =
      static_cast<Model::Function>(Pick(e, "functionName", {"regression", "classification"}, 0));
  model->floatMath = Attr(e, "x-mathContext") == "float";
  model->sumFromConstant = version_.rfind("4.4", 0) == 0;
  if (Has(e, "x-mathContext") && !model->floatMath && Attr(e, "x-mathContext") != "double") {
    RefuseValue(e, "x-mathContext");
  }
  const DOMElement* output = nullptr;
  for (DOMElement* c : Children(e)) {
    if (Is(c, "MiningSchema")) {
      ReadMiningSchema(c, top);
    } else if (Is(c, "LocalTransformations")) {
      for (DOMElement* d : Children(c)) {
        if (Is(d, "DerivedField")) model->localSlots.push_back(ReadDerivedField(d));
      }
    } else if (Is(c, "Targets")) {
      ReadTargets(c, *model);
    } else if (Is(c, "Output")) {
      output = c;
    } else if (Is(c, "Node") && tree) {
      ReadTree(e, *tree);
    } else if (Is(c, "Segmentation") && mining) {
      ReadSegmentation(c, *mining);
    } else if (Is(c, "RegressionTable") && regression) {
      // Read with the model below.
    } else if (!IsIgnorable(c)) {
      Refuse(c, "Element <" + Text(c->getTagName()) + ">");
    }
  }
  if (regression) ReadRegression(e, *regression);
  if (mining && mining->segments.empty()) {
    throw VeltraException(4, "<MiningModel> has no segments" + Where(e));
  }
  if (tree && tree->nodes.empty()) throw VeltraException(4, "<TreeModel> has no <Node>" + Where(e));
  // Output fields are read last: they may refer to fields the model defines.
  if (output) ReadOutput(output, *model, top);
  return model;
}

std::unique_ptr<Engine> Reader::Read(DOMDocument* document) {
  if (document == nullptr) throw VeltraException(1, "No document to read!");
  DOMElement* top = document->getDocumentElement();
  if (top == nullptr || !Is(top, "PMML")) {
    throw VeltraException(1, "The document is not a PMML document");
  }
  version_ = Attr(top, "version");
  model_.SetVersionInfo(new VersionInfo(version_));
  ReadDataDictionary(BaseTranslator::GetChildByTagForced(top, "DataDictionary"));
  auto slots = std::make_unique<TransformationDictionary>();
  engine_->slots = slots.get();
  model_.SetTransformationScoreDictionary(slots.release());
  expressions_ = std::make_unique<DerivedExpressionReader>(tr_, dictionary_, engine_->slots);

  const DOMElement* modelElement = nullptr;
  for (DOMElement* c : Children(top)) {
    if (Is(c, "DataDictionary") || IsIgnorable(c)) continue;
    if (Is(c, "TransformationDictionary")) {
      for (DOMElement* d : Children(c)) {
        if (Is(d, "DerivedField")) {
          engine_->globalSlots.push_back(ReadDerivedField(d));
        } else if (!Is(d, "Extension")) {
          Refuse(d, "Element <" + Text(d->getTagName()) + ">");
        }
      }
      continue;
    }
    if (modelElement != nullptr) {
      throw VeltraException(5, "A second model at the top of the document (<" +
                                   Text(c->getTagName()) + ">" + Where(c) +
                                   ") is not supported: the PMML engine scores one model; "
                                   "a MiningModel combines several");
    }
    modelElement = c;
  }
  if (modelElement == nullptr) throw VeltraException(4, "The document has no model");
  // The target's declared categories come first, in their order.
  const std::string targetName = [&] {
    const DOMElement* schema = BaseTranslator::GetChildByTag(modelElement, "MiningSchema");
    if (schema == nullptr) return std::string();
    for (DOMElement* f : Children(schema)) {
      const std::string usage = Attr(f, "usageType");
      if (usage == "target" || usage == "predicted") return Attr(f, "name");
    }
    return std::string();
  }();
  auto it = slotOf_.find(targetName);
  if (it != slotOf_.end() && it->second < engine_->dataCount) {
    const DataField& target = engine_->fields[it->second];
    targetType_ = target.type;
    for (const Constant& c : target.validValues) Category(modelElement, c.text);
  }
  engine_->top = ReadModel(modelElement, true);
  engine_->top->Finish(*engine_);
  if (engine_->top->function == Model::kClassification && engine_->categories.empty()) {
    throw VeltraException(4, "The classification model names no category" + Where(modelElement));
  }
  return std::move(engine_);
}

}  // namespace

std::unique_ptr<Engine> ReadDocument(PMMLTranslator& translator, DOMDocument* document,
                                     BaseModel& model) {
  Reader reader(translator, model);
  return reader.Read(document);
}

}  // namespace pmml44
