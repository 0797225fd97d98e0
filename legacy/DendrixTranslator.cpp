#include "legacy/DendrixTranslator.h"

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "host/BaseDictionary.h"
#include "host/Codes.h"
#include "host/ScoreSplitVar.h"
#include "scoring/DendrixPMMLModel.h"
#include "tree/CompositeTreeNode.h"
#include "tree/TreeClsResult.h"
#include "tree/TreeRegResult.h"

using xercesc::DOMDocument;
using xercesc::DOMElement;
using xercesc::DOMNode;
using xercesc::DOMNodeList;

namespace {

// An optional attribute: null when missing or empty.
const XMLCh* OptionalAttribute(const DOMElement* element, const char* name) {
  const XMLCh* value = BaseTranslator::GetAttribute(element, name);
  return (value == nullptr || value[0] == 0) ? nullptr : value;
}

DOMElement* FirstElement(const DOMNode* node, const char* name) {
  DOMNodeList* list = BaseTranslator::GetElementsByTagName(node, name);
  if (list == nullptr || list->getLength() == 0) return nullptr;
  DOMNode* item = list->item(0);
  return item->getNodeType() == DOMNode::ELEMENT_NODE ? static_cast<DOMElement*>(item) : nullptr;
}

bool IsNamed(const DOMNode* node, const char* name) {
  return BaseTranslator::IsEqual(node->getNodeName(), name);
}

void DeleteSplits(std::vector<ScoreSplitVar*>& splits) {
  for (ScoreSplitVar*& split : splits) {
    delete split;
    split = nullptr;
  }
  splits.clear();
}

// A new node holding splits and stats, hung under parent (a null parent
// leaves it to the caller), with its child nodes named nodeName or
// terminalName read by readChild. On failure an attached node goes with the
// tree it hangs in and a top node is deleted; depth is restored and the error
// passes on.
template <typename ReadChild>
CompositeTreeNode* HangNode(DOMElement* element, CompositeTreeNode* parent,
                            std::vector<ScoreSplitVar*>& splits, ScoreNodeStats* stats,
                            const char* nodeName, const char* terminalName, int& depth,
                            ReadChild readChild) {
  std::unique_ptr<CompositeTreeNode> owned;
  try {
    owned.reset(new CompositeTreeNode(true));
  } catch (...) {
    delete stats;
    DeleteSplits(splits);
    --depth;
    throw;
  }
  CompositeTreeNode* node = owned.get();
  node->SetNodeStats(stats);
  node->TakeSplitVars(splits);
  try {
    if (parent != nullptr) {
      parent->Add(node);
      owned.release();  // the parent's from here on
    }
    for (DOMElement* child = BaseTranslator::GetFirstChildElt(element); child != nullptr;
         child = BaseTranslator::GetNextSiblingElt(child)) {
      if (IsNamed(child, nodeName) || IsNamed(child, terminalName)) readChild(child, node);
    }
  } catch (...) {
    --depth;
    throw;
  }
  owned.release();
  return node;
}

}  // namespace

DendrixTranslator::DendrixTranslator()
    : root(nullptr),
      model(nullptr),
      dictionary(nullptr),
      target(nullptr),
      dictionaryGiven(false),
      depth(0) {
  // The model is freed when making the dictionary fails.
  std::unique_ptr<DendrixPMMLModel> made(new DendrixPMMLModel());
  dictionary = new BaseDictionary();
  model = made.release();
}

DendrixTranslator::~DendrixTranslator() {
  // Only what was never handed over is left here.
  ReleaseAll();
  variableNames.clear();
}

void DendrixTranslator::ReleaseAll() {
  delete root;
  root = nullptr;
  if (!dictionaryGiven) delete dictionary;
  dictionary = nullptr;
  delete model;
  model = nullptr;
  target = nullptr;
  dictionaryGiven = false;
}

ScoreModel* DendrixTranslator::ParseFromTree(DOMDocument* document, const std::string& encoding) {
  if (model == nullptr) {  // a second document: start afresh
    model = new DendrixPMMLModel();
    dictionary = new BaseDictionary();
  }
  variableNames.clear();
  depth = 0;
  try {
    CreateTranscoder(encoding);
    if (document == nullptr) throw VeltraException(ErrorCode::kMalformed, "No document to read!");

    DOMElement* dictionaryElement = FirstElement(document, "Dictionary");
    if (dictionaryElement == nullptr) {
      throw VeltraException(ErrorCode::kMalformed, "Dictionary element is missing!");
    }
    ReadDictionary(GetElementsByTagName(dictionaryElement, "Variable"));

    for (const std::string& name : variableNames) model->SetVarRole(name, ScoreModel::kRoleInput);

    DOMElement* treeElement = FirstElement(document, "Tree");
    if (treeElement == nullptr)
      throw VeltraException(ErrorCode::kMalformed, "Tree element is missing!");
    const std::string targetName = Transcode(GetAttributeForced(treeElement, "TargetName"));
    target = dictionary->GetVar(targetName);
    if (target == nullptr)
      throw VeltraException(ErrorCode::kUnknownVariable, targetName + " Is NOT in the dictionary!");
    model->SetVarRole(targetName, ScoreModel::kRoleTarget);

    DOMElement* versionElement = FirstElement(document, "VersionInfo");
    if (versionElement == nullptr)
      throw VeltraException(ErrorCode::kMalformed, "VersionInfo element is missing!");
    const std::string version = Transcode(GetAttributeForced(versionElement, "Major")) +
                                Transcode(GetAttributeForced(versionElement, "Minor"));
    model->SetVersionInfo(new VersionInfo(version));

    if (DOMElement* clsTree = FirstElement(document, "ClsTree")) {
      for (DOMElement* child = GetFirstChildElt(clsTree); child != nullptr;
           child = GetNextSiblingElt(child)) {
        if (!IsNamed(child, "ClsNode") && !IsNamed(child, "ClsTerminalNode")) continue;
        CompositeTreeNode* top = ReadClsNode(child, nullptr);
        delete root;  // the top node read before is superseded
        root = top;
      }
    }
    if (DOMElement* regTree = FirstElement(document, "RegTree")) {
      DOMElement* first = GetFirstChildElt(regTree);
      if (first == nullptr)
        throw VeltraException(ErrorCode::kMalformed, "RegTree has no node element!");
      CompositeTreeNode* top = nullptr;
      if (IsNamed(first, "RegNode") || IsNamed(first, "RegTerminalNode")) {
        top = ReadRegNode(first, nullptr);
      }
      delete root;  // a regression tree overrides a classification tree
      root = top;
    }

    // The model owns the tree from here on, even when SetRoot throws.
    CompositeTreeNode* tree = root;
    root = nullptr;
    model->SetRoot(tree);
  } catch (...) {
    ReleaseAll();
    throw;
  }
  DendrixPMMLModel* result = model;
  model = nullptr;
  dictionary = nullptr;
  target = nullptr;
  dictionaryGiven = false;
  return result;
}

void DendrixTranslator::ReadDictionary(DOMNodeList* variables) {
  const XMLSize_t count = variables == nullptr ? 0 : variables->getLength();
  for (XMLSize_t i = 0; i < count; ++i) {
    DOMNode* item = variables->item(i);
    if (item->getNodeType() != DOMNode::ELEMENT_NODE || !IsNamed(item, "Variable")) continue;
    std::unique_ptr<DictVar> var(ReadVariable(static_cast<DOMElement*>(item)));
    const std::string name = var->GetName();
    if (!dictionary->AddVar(name, var.get())) {
      throw VeltraException(ErrorCode::kInvalidValue,
                            name + " Is defined twice in the dictionary!");
    }
    var.release();  // the dictionary's
    variableNames.push_back(name);
  }
  model->SetScoreDictionary(dictionary);
  dictionaryGiven = true;
}

DictVar* DendrixTranslator::ReadVariable(DOMElement* element) {
  const std::string name = Transcode(GetAttributeForced(element, "Name"));
  const std::string label = Transcode(GetAttributeForced(element, "Label"));
  const std::string level = Transcode(GetAttributeForced(element, "MeasurementLevel"));
  const std::string type = Transcode(GetAttributeForced(element, "Type"));

  // Each part is owned here until its owner has it: a setter takes ownership
  // before it can throw, so nothing is freed twice or lost on a failure.
  std::unique_ptr<DictVar> var(new DictVar(name, ScoreDictVar::kNumeric));
  var->SetLabel(label);
  if (level == "CONTINUOUS") {
    var->SetMeasurementLevel(ScoreDictVar::kContinuous);
  } else if (level == "ORDINAL") {
    var->SetMeasurementLevel(ScoreDictVar::kOrdinal);
  } else if (level == "NOMINAL") {
    var->SetMeasurementLevel(ScoreDictVar::kNominal);
  }
  if (type != "0") var->SetVariableType(ScoreDictVar::kString);

  for (DOMElement* child = GetFirstChildElt(element); child != nullptr;
       child = GetNextSiblingElt(child)) {
    if (IsNamed(child, "FormatSpec")) {
      const int decimals = VerifyInt(GetAttributeForced(child, "Decimals"));
      const int width = VerifyInt(GetAttributeForced(child, "Width"));
      var->SetFormat(decimals, width);
    } else if (IsNamed(child, "VarStats")) {
      const double minimum = VerifyDouble(GetAttributeForced(child, "Minimum"));
      const double maximum = VerifyDouble(GetAttributeForced(child, "Maximum"));
      const double mean = VerifyDouble(GetAttributeForced(child, "Mean"));
      const double stdDev = VerifyDouble(GetAttributeForced(child, "StdDev"));
      var->SetVarStats(new VarStats(minimum, maximum, mean, stdDev));
    } else if (IsNamed(child, "Categories")) {
      auto labels = std::make_unique<ValueLabelSet>();
      for (DOMElement* category = GetFirstChildElt(child); category != nullptr;
           category = GetNextSiblingElt(category)) {
        DOMElement* valueElement = GetFirstChildElt(category);
        if (valueElement == nullptr) {
          throw VeltraException(ErrorCode::kMalformed, Transcode(category->getNodeName()) +
                                                           " in Categories has no value element!");
        }
        const std::string text = ElementText(valueElement);
        DOMElement* labelElement = GetNextSiblingElt(valueElement);
        const std::string display = labelElement ? ElementText(labelElement) : text;
        std::unique_ptr<ScoreValue> value(CarefullyMakeVarValue(var.get(), text));
        std::unique_ptr<ValueLbl> label(new ValueLbl(value.get(), display));
        value.release();  // the label's
        labels->AddLabel(label.release());
      }
      var->SetValueLabelSet(labels.release());
    } else if (IsNamed(child, "MissingValues")) {
      auto missing = std::make_unique<MissingValueSet>();
      for (DOMElement* entry = GetFirstChildElt(child); entry != nullptr;
           entry = GetNextSiblingElt(entry)) {
        const bool isCategory = IsNamed(entry, "Category");
        if (!isCategory && !IsNamed(entry, "Range")) continue;
        DOMElement* lowElement = GetFirstChildElt(entry);
        DOMElement* highElement = isCategory ? lowElement : GetNextSiblingElt(lowElement);
        if (lowElement == nullptr || highElement == nullptr) {
          throw VeltraException(
              ErrorCode::kMalformed,
              Transcode(entry->getNodeName()) + " in MissingValues lacks a value element!");
        }
        std::unique_ptr<ScoreValue> low(CarefullyMakeVarValue(var.get(), ElementText(lowElement)));
        std::unique_ptr<ScoreValue> high(
            CarefullyMakeVarValue(var.get(), ElementText(highElement)));
        missing->AddRange(low.release(), high.release());
      }
      var->SetMissingValueSet(missing.release());
    } else {
      throw VeltraException(ErrorCode::kMalformed,
                            Transcode(child->getNodeName()) + " Is NOT a valid element here!");
    }
  }
  return var.release();
}

std::string DendrixTranslator::ElementText(const DOMElement* element) const {
  const DOMNode* first = element->getFirstChild();
  if (first == nullptr || first->getNodeValue() == nullptr) {
    throw VeltraException(ErrorCode::kMalformed,
                          Transcode(element->getNodeName()) + " has no text!");
  }
  return Transcode(first->getNodeValue());
}

ScoreValue* DendrixTranslator::MakeTargetValue(const std::string& text) const {
  if (target != nullptr && target->GetVariableType() == ScoreDictVar::kNumeric) {
    return new NumericValue(VerifyDouble(text));
  }
  return new StringValue(text);
}

void DendrixTranslator::EnterNode() {
  if (depth >= kMaxNodeDepth) {
    throw VeltraException(ErrorCode::kUnsupported, "Tree nodes nested deeper than " +
                                                       std::to_string(kMaxNodeDepth) +
                                                       " levels are not supported!");
  }
  ++depth;
}

CompositeTreeNode* DendrixTranslator::ReadClsNode(DOMElement* element, CompositeTreeNode* parent) {
  EnterNode();
  TreeClsNodeStats* stats = new TreeClsNodeStats();
  std::vector<ScoreSplitVar*> splits;
  try {
    if (const XMLCh* biggest = OptionalAttribute(element, "BiggestChild")) {
      stats->SetBiggestChild(VerifyInt(biggest));
    }
    if (const XMLCh* id = OptionalAttribute(element, "Id")) stats->SetNodeID(Transcode(id));
    if (const XMLCh* count = OptionalAttribute(element, "Count")) {
      stats->SetTotalRecord(VerifyInt(count));
    }
    for (DOMElement* child = GetFirstChildElt(element); child != nullptr;
         child = GetNextSiblingElt(child)) {
      if (IsNamed(child, "Value")) {
        ScoreValue* value = MakeTargetValue(ElementText(child));
        delete stats->GetPrediction();  // a repeated Value replaces the first
        stats->SetPrediction(value);
      } else if (IsNamed(child, "ValuePercentage")) {
        ReadValuePercentage(stats, child);
      } else if (IsNamed(child, "DiscreteSplit")) {
        ReadDiscreteSplit(splits, child);
      } else if (IsNamed(child, "ScaleSplit")) {
        ReadScaleSplit(splits, child);
      }
    }
  } catch (...) {
    delete stats;
    DeleteSplits(splits);
    --depth;
    throw;
  }

  CompositeTreeNode* node =
      HangNode(element, parent, splits, stats, "ClsNode", "ClsTerminalNode", depth,
               [this](DOMElement* child, CompositeTreeNode* owner) { ReadClsNode(child, owner); });
  stats->ComputeConfidence();
  --depth;
  return node;
}

void DendrixTranslator::ReadValuePercentage(TreeClsNodeStats* stats, DOMElement* element) {
  const double percent = VerifyDouble(GetAttributeForced(element, "Percent"));
  DOMElement* valueElement = GetFirstChildElt(element);
  if (valueElement == nullptr) {
    throw VeltraException(ErrorCode::kMalformed, "ValuePercentage has no value element!");
  }
  std::unique_ptr<ScoreValue> value(MakeTargetValue(ElementText(valueElement)));
  if (stats->AddValuePercent(value.get(), percent / 100)) value.release();
}

CompositeTreeNode* DendrixTranslator::ReadRegNode(DOMElement* element, CompositeTreeNode* parent) {
  EnterNode();
  TreeRegNodeStats* stats = new TreeRegNodeStats();
  std::vector<ScoreSplitVar*> splits;
  try {
    stats->SetPrediction(new NumericValue(VerifyDouble(GetAttributeForced(element, "Prediction"))));
    if (const XMLCh* deviation = OptionalAttribute(element, "Deviation")) {
      stats->SetStdDev(VerifyDouble(deviation));
    }
    stats->SetCount(VerifyDouble(GetAttributeForced(element, "Count")));
    if (const XMLCh* biggest = OptionalAttribute(element, "BiggestChild")) {
      stats->SetBiggestChild(VerifyInt(biggest));
    }
    if (const XMLCh* id = OptionalAttribute(element, "Id")) stats->SetNodeID(Transcode(id));
    for (DOMElement* child = GetFirstChildElt(element); child != nullptr;
         child = GetNextSiblingElt(child)) {
      if (IsNamed(child, "DiscreteSplit")) {
        ReadDiscreteSplit(splits, child);
      } else if (IsNamed(child, "ScaleSplit")) {
        ReadScaleSplit(splits, child);
      }
    }
  } catch (...) {
    delete stats;
    DeleteSplits(splits);
    --depth;
    throw;
  }

  CompositeTreeNode* node =
      HangNode(element, parent, splits, stats, "RegNode", "RegTerminalNode", depth,
               [this](DOMElement* child, CompositeTreeNode* owner) { ReadRegNode(child, owner); });
  --depth;
  return node;
}

void DendrixTranslator::ReadDiscreteSplit(std::vector<ScoreSplitVar*>& splits,
                                          DOMElement* element) {
  const std::string name = Transcode(GetAttributeForced(element, "VarName"));
  const ScoreDictVar* var = dictionary->GetVar(name);
  if (var == nullptr)
    throw VeltraException(ErrorCode::kUnknownVariable, name + " Is NOT in the dictionary!");
  const int missing = VerifyInt(GetAttributeForced(element, "MissingValueMapping"));

  std::unique_ptr<DiscreteSplit> split(new DiscreteSplit(var));
  split->SetMissvalMap(missing);
  int position = 0;
  for (DOMElement* child = GetFirstChildElt(element); child != nullptr;
       child = GetNextSiblingElt(child), ++position) {
    if (!IsNamed(child, "MappedDiscreteValues")) {
      throw VeltraException(ErrorCode::kMalformed, Transcode(child->getNodeName()) + " is invalid");
    }
    ReadMappedDiscreteValues(split.get(), child, position);
  }
  splits.push_back(split.get());
  split.release();  // the node's, through the list
}

void DendrixTranslator::ReadMappedDiscreteValues(DiscreteSplit* split, DOMElement* element,
                                                 int position) {
  const bool text = split->GetSplitType() != 0;
  for (DOMElement* child = GetFirstChildElt(element); child != nullptr;
       child = GetNextSiblingElt(child)) {
    const std::string content = ElementText(child);
    ScoreValue* value = text ? static_cast<ScoreValue*>(new StringValue(content))
                             : new NumericValue(VerifyDouble(content));
    split->PutSplit(value, position);
  }
}

void DendrixTranslator::ReadScaleSplit(std::vector<ScoreSplitVar*>& splits, DOMElement* element) {
  const std::string name = Transcode(GetAttributeForced(element, "VarName"));
  const ScoreDictVar* var = dictionary->GetVar(name);
  if (var == nullptr)
    throw VeltraException(ErrorCode::kUnknownVariable, name + " Is NOT in the dictionary!");
  const int top = VerifyInt(GetAttributeForced(element, "TopIntervalMapping"));
  const int missing = VerifyInt(GetAttributeForced(element, "MissingValueMapping"));

  std::unique_ptr<ScaleSplit> split(new ScaleSplit(var));
  split->SetMissvalMap(missing);
  const double infinity = NumericValue::GetInfinity();
  double low = -infinity;
  for (DOMElement* child = GetFirstChildElt(element); child != nullptr;
       child = GetNextSiblingElt(child)) {
    if (!IsNamed(child, "MappedOrdinalValue")) {
      throw VeltraException(ErrorCode::kMalformed, Transcode(child->getNodeName()) + " is invalid");
    }
    const int position = VerifyInt(GetAttributeForced(child, "MappedChildPosition"));
    DOMElement* cutElement = GetFirstChildElt(child);
    if (cutElement == nullptr) {
      throw VeltraException(ErrorCode::kMalformed, "MappedOrdinalValue has no cut point element!");
    }
    const double cut = VerifyDouble(ElementText(cutElement));
    split->PutSplit(new Range(low, cut, false, true), position);
    low = cut;
  }
  // The top interval; the whole line when there was no cut point.
  split->PutSplit(new Range(low, infinity, false, false), top);
  splits.push_back(split.get());
  split.release();  // the node's, through the list
}
