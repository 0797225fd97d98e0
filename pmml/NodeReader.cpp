// Node construction: PMML Node elements become CompositeTreeNode objects with
// their statistics; the children's predicates become the parent's splits.

#include <memory>
#include <string>
#include <vector>
#include <xercesc/util/XMLString.hpp>

#include "host/Codes.h"
#include "host/ScoreSplitVar.h"
#include "host/ScoreValue.h"
#include "host/VeltraException.h"
#include "pmml/DendrixPMMLTranslator.h"
#include "pmml/ReaderConstants.h"
#include "scoring/DendrixPMMLModel.h"
#include "tree/CompositeTreeNode.h"
#include "tree/TreeClsResult.h"
#include "tree/TreeRegResult.h"

using xercesc::DOMElement;
using xercesc::DOMNode;
using xercesc::DOMNodeList;

namespace {

constexpr XMLCh kNode[] = u"Node";
constexpr XMLCh kExtension[] = u"Extension";
constexpr XMLCh kScoreDistribution[] = u"ScoreDistribution";
constexpr XMLCh kSimplePredicate[] = u"SimplePredicate";
constexpr XMLCh kSimpleSetPredicate[] = u"SimpleSetPredicate";
constexpr XMLCh kCompoundPredicate[] = u"CompoundPredicate";

bool IsElementNamed(const DOMNode* node, const XMLCh* name) {
  return node->getNodeType() == DOMNode::ELEMENT_NODE &&
         xercesc::XMLString::equals(node->getNodeName(), name);
}

bool IsNodeIdExtension(const DOMNode* element) {
  return BaseTranslator::IsEqual(BaseTranslator::GetAttribute(element, "name"), "x-nodeId");
}

// The Node children of a Node element, in document order.
std::vector<DOMElement*> ChildNodes(const DOMNode* node) {
  std::vector<DOMElement*> children;
  for (DOMNode* child = node->getFirstChild(); child != nullptr; child = child->getNextSibling()) {
    if (IsElementNamed(child, kNode)) {
      children.push_back(static_cast<DOMElement*>(child));
    }
  }
  return children;
}

void DeleteSplits(std::vector<ScoreSplitVar*>& splits) {
  for (ScoreSplitVar* split : splits) {
    delete split;
  }
  splits.clear();
}

// Releases what a failed node read built: before the node exists, its
// statistics and splits; after (the node holds them), the children built so
// far, and the node itself when no parent owns it.
void ReleaseFailedNode(CompositeTreeNode* treeNode, ScoreNodeStats* stats,
                       std::vector<ScoreSplitVar*>& splits, const CompositeTreeNode* parent,
                       bool attached) {
  if (treeNode == nullptr) {
    delete stats;
    DeleteSplits(splits);
    return;
  }
  treeNode->RemoveAllChildren();
  if (parent == nullptr || !attached) delete treeNode;
}

}  // namespace

void DendrixPMMLTranslator::ScanTreeModel(DOMNode* treeModel) {
  nodeExtensionInfo.clear();
  // An open element of the walk and what has been found below it so far.
  struct Frame {
    DOMNode* element;
    bool isNode;
    bool hasExtension;
    DOMElement* firstNodeIdExtension;
  };
  std::vector<Frame> open;
  open.push_back({treeModel, false, false, nullptr});
  int nodeDepth = 0;
  DOMNode* next = treeModel->getFirstChild();
  for (;;) {
    if (next != nullptr) {
      if (next->getNodeType() != DOMNode::ELEMENT_NODE) {
        next = next->getNextSibling();
        continue;
      }
      const bool isNode = xercesc::XMLString::equals(next->getNodeName(), kNode);
      if (isNode && ++nodeDepth > kMaxNodeDepth) {
        nodeExtensionInfo.clear();
        throw VeltraException(ErrorCode::kUnsupported,
                              "Node nesting deeper than 1000 levels is not supported!");
      }
      open.push_back({next, isNode, false, nullptr});
      next = next->getFirstChild();
      continue;
    }
    // Every child of the innermost open element has been visited.
    const Frame done = open.back();
    open.pop_back();
    if (open.empty()) {
      break;
    }
    if (done.isNode) {
      --nodeDepth;
      nodeExtensionInfo[done.element] = {done.hasExtension, done.firstNodeIdExtension};
    }
    Frame& parent = open.back();
    const bool isExtension = xercesc::XMLString::equals(done.element->getNodeName(), kExtension);
    parent.hasExtension = parent.hasExtension || isExtension || done.hasExtension;
    if (parent.firstNodeIdExtension == nullptr) {
      // Document order: an element comes before everything below it.
      parent.firstNodeIdExtension = (isExtension && IsNodeIdExtension(done.element))
                                        ? static_cast<DOMElement*>(done.element)
                                        : done.firstNodeIdExtension;
    }
    next = done.element->getNextSibling();
  }
}

CompositeTreeNode* DendrixPMMLTranslator::BuildClsTree(DOMNode* treeModel) {
  CompositeTreeNode* built = nullptr;
  try {
    for (DOMNode* child = treeModel->getFirstChild(); child != nullptr;
         child = child->getNextSibling()) {
      if (!IsElementNamed(child, kNode)) {
        continue;
      }
      double recordCount = 0.0;
      double confidence = 0.0;
      CompositeTreeNode* node = InsertClsTreeNode(child, nullptr, recordCount, confidence);
      // The last top-level Node is the tree; an earlier one is dropped.
      delete built;
      built = node;
    }
    return built;
  } catch (...) {
    delete built;
    throw;
  }
}

CompositeTreeNode* DendrixPMMLTranslator::BuildRegTree(DOMNode* treeModel) {
  CompositeTreeNode* built = nullptr;
  try {
    for (DOMNode* child = treeModel->getFirstChild(); child != nullptr;
         child = child->getNextSibling()) {
      if (!IsElementNamed(child, kNode)) {
        continue;
      }
      CompositeTreeNode* node = InsertRegTreeNode(child, nullptr);
      delete built;
      built = node;
    }
    return built;
  } catch (...) {
    delete built;
    throw;
  }
}

void DendrixPMMLTranslator::ReadRuleSetScoreMethod(DOMNode* ruleSetRoot) {
  DOMNodeList* extensions = GetElementsByTagName(ruleSetRoot, "Extension");
  if (extensions == nullptr) {
    return;
  }
  for (XMLSize_t i = 0; DOMNode* extension = extensions->item(i); ++i) {
    if (IsEqual(GetAttribute(extension, "name"), "x-scoreMethod")) {
      model->SetRuleSetScoreMethod(IsEqual(GetAttribute(extension, "value"), "voting")
                                       ? DendrixPMMLModel::Voting
                                       : DendrixPMMLModel::FirstHit);
      return;
    }
  }
}

CompositeTreeNode* DendrixPMMLTranslator::InsertClsTreeNode(DOMNode* node,
                                                            CompositeTreeNode* parent,
                                                            double& recordCount,
                                                            double& confidence) {
  TreeClsNodeStats* stats = new TreeClsNodeStats();
  stats->ShareValues();
  std::vector<ScoreSplitVar*> splits;  // owned here until the node takes them
  CompositeTreeNode* treeNode = nullptr;
  bool attached = false;  // treeNode is its parent's child (or the root)
  try {
    SetNodeValue(stats, GetAttributeForced(node, "score"));
    SetNodeId(stats, static_cast<DOMElement*>(node));
    stats->SetRuleSet(isRuleSet);
    const bool isRuleSetRoot = isRuleSet && parent == nullptr;
    if (isRuleSetRoot && !hasMultipleTrees) {
      ReadRuleSetScoreMethod(node);
    }

    double total = 0.0;
    const XMLCh* ownCount = GetAttribute(node, "recordCount");
    const bool hasOwnCount = ownCount != nullptr && *ownCount != 0;
    if (hasOwnCount) {
      total = VerifyDouble(ownCount);
      if (total < 0.0) {
        throw VeltraException(ErrorCode::kUnsupported, "recordCount can't be negative!");
      }
    }
    std::vector<DOMElement*> children;
    size_t distributions = 0;
    for (DOMNode* child = node->getFirstChild(); child != nullptr;
         child = child->getNextSibling()) {
      if (IsElementNamed(child, kNode)) {
        children.push_back(static_cast<DOMElement*>(child));
      } else if (IsElementNamed(child, kScoreDistribution)) {
        ++distributions;
        if (hasOwnCount) {
          continue;
        }
        const double count = VerifyDouble(GetAttributeForced(child, "recordCount"));
        if (count < 0.0) {
          throw VeltraException(ErrorCode::kUnsupported, "recordCount can't be negative!");
        }
        total += count;
      }
    }
    stats->ReserveValuePercents(distributions);
    const int childCount = static_cast<int>(children.size());
    recordCount = total;

    if (isRuleSet && parent != nullptr && childCount > 0) {
      // One condition list per rule: a rule can't hold rules of its own.
      throw VeltraException(ErrorCode::kUnsupported,
                            "A rule of a rule set can't have child nodes!");
    }
    if (isRuleSetRoot) {
      // Lists of an earlier rule-set root all belong to its rules by now.
      ruleSplitVars.clear();
      ruleSplitVars.resize(children.size());
      ruleIndex = 0;
    }

    for (int j = 0; j < childCount; ++j) {
      std::vector<ScoreSplitVar*>& childSplits = isRuleSet ? ruleSplitVars[j] : splits;
      HandleChildPredicate(children[j], childSplits, childCount, j, false, stats);
    }

    if (isRuleSet && parent != nullptr &&
        (ruleIndex < 0 || ruleIndex >= static_cast<int>(ruleSplitVars.size()))) {
      throw VeltraException(ErrorCode::kUnsupported,
                            "A rule of a rule set can't have child nodes!");
    }
    treeNode = new CompositeTreeNode(true);
    // Nothing can fail between making the node and handing it its parts.
    treeNode->SetNodeStats(stats);
    if (!isRuleSet) {
      treeNode->TakeSplitVars(splits);
    } else if (parent != nullptr) {
      treeNode->TakeSplitVars(ruleSplitVars[ruleIndex]);
      ++ruleIndex;
    }
    if (parent != nullptr) {
      parent->Add(treeNode);
    }
    attached = true;

    double maxConfidence = -1.0;
    int confidenceIndex = -1;
    double maxRecords = 0.0;
    int biggestIndex = 0;
    int childIndex = 0;
    for (DOMNode* child = node->getFirstChild(); child != nullptr;
         child = child->getNextSibling()) {
      if (IsElementNamed(child, kNode)) {
        double childRecords = 0.0;
        double childConfidence = 0.0;
        InsertClsTreeNode(child, treeNode, childRecords, childConfidence);
        if (childConfidence > maxConfidence) {
          maxConfidence = childConfidence;
          confidenceIndex = childIndex;
        }
        if (childRecords > maxRecords) {
          maxRecords = childRecords;
          biggestIndex = childIndex;
        }
        ++childIndex;
      } else if (IsElementNamed(child, kScoreDistribution)) {
        SetNodeValuePercent(stats, static_cast<DOMElement*>(child), total);
      }
    }
    if (stats->GetBiggestChild() == -1) {
      stats->SetBiggestChild(biggestIndex);
    }
    stats->SetChildIndexOnMaxConfidence(confidenceIndex);
    stats->SetTotalRecord(total);
    stats->ComputeConfidence();
    if (hasMisclassificationCost || isCFive) {
      stats->SetTarget(targetVar);
    }
    confidence = stats->GetConfidence();
    return treeNode;
  } catch (...) {
    ReleaseFailedNode(treeNode, stats, splits, parent, attached);
    throw;
  }
}

CompositeTreeNode* DendrixPMMLTranslator::InsertRegTreeNode(DOMNode* node,
                                                            CompositeTreeNode* parent) {
  TreeRegNodeStats* stats = new TreeRegNodeStats();
  std::vector<ScoreSplitVar*> splits;  // owned here until the node takes them
  CompositeTreeNode* treeNode = nullptr;
  bool attached = false;  // treeNode is its parent's child (or the root)
  try {
    SetNodeValue(stats, GetAttributeForced(node, "score"));
    SetNodeId(stats, static_cast<DOMElement*>(node));

    const std::vector<DOMElement*> children = ChildNodes(node);
    const int childCount = static_cast<int>(children.size());
    for (int j = 0; j < childCount; ++j) {
      HandleChildPredicate(children[j], splits, childCount, j, true, stats);
    }

    treeNode = new CompositeTreeNode(true);
    treeNode->SetNodeStats(stats);
    treeNode->TakeSplitVars(splits);
    if (parent != nullptr) {
      parent->Add(treeNode);
    }
    attached = true;

    int maxRecords = 0;
    int biggestIndex = 0;
    int childIndex = 0;
    for (DOMNode* child = node->getFirstChild(); child != nullptr;
         child = child->getNextSibling()) {
      if (IsElementNamed(child, kNode)) {
        // A child without a count (common in exported forests) counts 0.
        const XMLCh* count = GetAttribute(child, "recordCount");
        const int records = (count != nullptr && *count != 0) ? VerifyInt(count) : 0;
        if (records > maxRecords) {
          maxRecords = records;
          biggestIndex = childIndex;
        }
        InsertRegTreeNode(child, treeNode);
        ++childIndex;
      } else if (IsElementNamed(child, kExtension)) {
        if (DOMElement* xNode = GetChildByTag(child, "X-Node")) {
          if (DOMElement* regInfo = GetChildByTag(xNode, "X-RegInfo")) {
            SetStdDeviation(stats, regInfo);
          }
        }
      }
    }
    if (stats->GetBiggestChild() == -1) {
      stats->SetBiggestChild(biggestIndex);
    }
    return treeNode;
  } catch (...) {
    ReleaseFailedNode(treeNode, stats, splits, parent, attached);
    throw;
  }
}

void DendrixPMMLTranslator::HandleChildPredicate(DOMElement* child,
                                                 std::vector<ScoreSplitVar*>& splits,
                                                 int childCount, int childIndex, bool fieldRequired,
                                                 ScoreNodeStats* stats) {
  bool seenPredicate = false;
  for (DOMNode* part = child->getFirstChild(); part != nullptr; part = part->getNextSibling()) {
    const bool isCompound = IsElementNamed(part, kCompoundPredicate);
    const bool isSimple = !isCompound && IsElementNamed(part, kSimplePredicate);
    const bool isSet = !isCompound && !isSimple && IsElementNamed(part, kSimpleSetPredicate);
    if (!isCompound && !isSimple && !isSet) {
      continue;
    }
    if (seenPredicate) {
      throw VeltraException(ErrorCode::kMalformed, "Only one PREDICATE element allowed!");
    }
    seenPredicate = true;
    if (isCompound) {
      if (HandleCompoundPredicate(part, splits, childCount, childIndex, 0)) {
        stats->SetBiggestChild(childIndex);
      }
    } else if (isSimple) {
      HandlePredicate(
          child, splits, childCount, childIndex,
          fieldRequired ? GetAttributeForced(part, "field") : GetAttribute(part, "field"), 0);
    } else {
      HandleSetPredicate(part, splits, childCount, childIndex, GetAttributeForced(part, "field"),
                         0);
    }
  }
}

ScoreValue* DendrixPMMLTranslator::SharedNodeValue(const std::string& text) {
  const auto known = sharedNodeValues.find(text);
  if (known != sharedNodeValues.end()) {
    return known->second;
  }
  std::unique_ptr<ScoreValue> made;
  if (targetVar->GetVariableType() == ScoreDictVar::kNumeric) {
    made.reset(new NumericValue(VerifyDouble(text)));
  } else {
    made.reset(new StringValue(text));
  }
  if (!targetVar->IsValidCategory(made.get())) {
    return nullptr;
  }
  ScoreValue* value = made.get();
  model->AdoptNodeValue(value);
  made.release();
  sharedNodeValues.emplace(text, value);
  return value;
}

void DendrixPMMLTranslator::SetNodeValue(TreeClsNodeStats* stats, const XMLCh* score) {
  const std::string text = Transcode(score);
  if (targetVar->GetVariableType() == ScoreDictVar::kNumeric) {
    VerifyDouble(text);
  }
  ScoreValue* value = SharedNodeValue(text);
  if (value == nullptr) {
    throw VeltraException(ErrorCode::kInvalidValue, text + ": is invalid score value!!");
  }
  stats->SetPrediction(value);
}

void DendrixPMMLTranslator::SetNodeValue(TreeRegNodeStats* stats, const XMLCh* score) {
  const std::string text = Transcode(score);
  ScoreValue* value = nullptr;
  if (targetVar->GetVariableType() == ScoreDictVar::kNumeric) {
    value = new NumericValue(VerifyDouble(score));
  } else {
    value = new StringValue(text);
  }
  stats->SetPrediction(value);
}

void DendrixPMMLTranslator::SetNodeValuePercent(TreeClsNodeStats* stats,
                                                DOMElement* scoreDistribution, double total) {
  const double count = VerifyDouble(GetAttributeForced(scoreDistribution, "recordCount"));
  const std::string text = Transcode(GetAttributeForced(scoreDistribution, "value"));
  const double denominator = total == 0.0 ? 1.0 : total;
  if (count < 0.0 || count > denominator) {
    throw VeltraException(ErrorCode::kInvalidValue,
                          "invalid recordCount value in ScoreDistribution!!");
  }
  double percent = count / denominator;
  DOMElement* extension = GetChildByTag(scoreDistribution, "Extension");
  if (extension != nullptr && IsEqual(GetAttribute(extension, "name"), "probability")) {
    percent = VerifyDouble(GetAttributeForced(extension, "value"));
  }

  ScoreValue* value = SharedNodeValue(text);
  if (value == nullptr) {
    throw VeltraException(ErrorCode::kInvalidValue,
                          text + ": is invalid value in ScoreDistribution!!");
  }
  stats->AddValuePercent(value, percent);
}

void DendrixPMMLTranslator::SetStdDeviation(TreeRegNodeStats* stats, DOMElement* regInfo) {
  stats->SetStdDev(VerifyDouble(GetAttribute(regInfo, "stdDev")));
}

void DendrixPMMLTranslator::SetNodeId(ScoreNodeStats* stats, DOMElement* node) {
  const XMLCh* id = GetAttribute(node, "x-nodeId");
  if (id == nullptr || *id == 0) {
    id = GetAttribute(node, "id");
  }
  if (id != nullptr && *id != 0) {
    stats->SetNodeID(Transcode(id));
    return;
  }

  NodeExtensionInfo info{false, nullptr};
  const auto known = nodeExtensionInfo.find(node);
  if (known != nodeExtensionInfo.end()) {
    info = known->second;
  } else {
    // Not part of a scanned TreeModel: walk the subtree in document order.
    DOMNode* current = node->getFirstChild();
    while (current != nullptr && info.firstNodeIdExtension == nullptr) {
      if (IsElementNamed(current, kExtension)) {
        info.hasExtension = true;
        if (IsNodeIdExtension(current)) {
          info.firstNodeIdExtension = static_cast<DOMElement*>(current);
          break;
        }
      }
      if (current->getFirstChild() != nullptr) {
        current = current->getFirstChild();
        continue;
      }
      while (current != node && current->getNextSibling() == nullptr) {
        current = current->getParentNode();
      }
      current = current == node ? nullptr : current->getNextSibling();
    }
  }

  if (!info.hasExtension) {
    stats->SetNodeID(NumericValue(static_cast<double>(nodeIdCounter)).ToString());
    ++nodeIdCounter;
  } else if (info.firstNodeIdExtension != nullptr) {
    stats->SetNodeID(Transcode(GetAttribute(info.firstNodeIdExtension, "value")));
  }
}
