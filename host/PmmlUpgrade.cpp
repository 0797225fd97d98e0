// Rewrites PMML documents written to newer conventions into the form the tree
// reader accepts. Every walk over the document is iterative, so hostile
// nesting cannot exhaust the stack.

#include "host/PmmlUpgrade.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "host/Codes.h"
#include "host/Utf16.h"
#include "host/VeltraException.h"

using xercesc::DOMDocument;
using xercesc::DOMElement;
using xercesc::DOMNode;

namespace {

using XString = std::u16string;

XString U(const char* ascii) {
  XString out;
  while (*ascii) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*ascii++)));
  return out;
}

std::string Utf8(const XString& text) { return dendrix_host::ToUtf8(text.c_str()); }

bool Equals(const XMLCh* text, const char* ascii) {
  if (text == nullptr) return false;
  for (; *ascii; ++ascii, ++text) {
    if (*text != static_cast<XMLCh>(static_cast<unsigned char>(*ascii))) return false;
  }
  return *text == 0;
}

bool IsTag(const DOMNode* node, const char* tag) {
  return node != nullptr && node->getNodeType() == DOMNode::ELEMENT_NODE &&
         Equals(node->getNodeName(), tag);
}

bool HasAttr(const DOMElement* element, const char* name) {
  return element->hasAttribute(U(name).c_str());
}

XString Attr(const DOMElement* element, const char* name) {
  const XMLCh* value = element->getAttribute(U(name).c_str());
  return value ? XString(value) : XString();
}

void SetAttr(DOMElement* element, const char* name, const XString& value) {
  element->setAttribute(U(name).c_str(), value.c_str());
}

DOMElement* FirstChildElement(const DOMNode* node) {
  for (DOMNode* child = node->getFirstChild(); child != nullptr; child = child->getNextSibling()) {
    if (child->getNodeType() == DOMNode::ELEMENT_NODE) return static_cast<DOMElement*>(child);
  }
  return nullptr;
}

DOMElement* NextElement(const DOMNode* node) {
  for (DOMNode* next = node->getNextSibling(); next != nullptr; next = next->getNextSibling()) {
    if (next->getNodeType() == DOMNode::ELEMENT_NODE) return static_cast<DOMElement*>(next);
  }
  return nullptr;
}

std::vector<DOMElement*> ChildrenByTag(const DOMNode* node, const char* tag) {
  std::vector<DOMElement*> out;
  for (DOMElement* child = FirstChildElement(node); child != nullptr; child = NextElement(child)) {
    if (IsTag(child, tag)) out.push_back(child);
  }
  return out;
}

DOMElement* ChildByTag(const DOMNode* node, const char* tag) {
  for (DOMElement* child = FirstChildElement(node); child != nullptr; child = NextElement(child)) {
    if (IsTag(child, tag)) return child;
  }
  return nullptr;
}

// Elements below root (root excluded) whose tag is one of tags, in document order.
std::vector<DOMElement*> Descendants(const DOMNode* root, std::initializer_list<const char*> tags) {
  std::vector<DOMElement*> out;
  std::vector<DOMElement*> stack;
  auto pushChildren = [&stack](const DOMNode* node) {
    std::vector<DOMElement*> children;
    for (DOMElement* child = FirstChildElement(node); child; child = NextElement(child)) {
      children.push_back(child);
    }
    stack.insert(stack.end(), children.rbegin(), children.rend());
  };
  pushChildren(root);
  while (!stack.empty()) {
    DOMElement* element = stack.back();
    stack.pop_back();
    for (const char* tag : tags) {
      if (IsTag(element, tag)) {
        out.push_back(element);
        break;
      }
    }
    pushChildren(element);
  }
  return out;
}

// A finite number filling the whole text (blanks around it allowed).
bool ParseNumber(const XString& text, double* value) {
  const std::string utf8 = Utf8(text);
  const char* begin = utf8.c_str();
  char* end = nullptr;
  double parsed = std::strtod(begin, &end);
  if (end == begin) return false;
  while (*end == ' ' || *end == '\t' || *end == '\n' || *end == '\r') ++end;
  if (*end != '\0' || !std::isfinite(parsed)) return false;
  *value = parsed;
  return true;
}

// The shortest decimal text that reads back to the same double.
XString NumberText(double value) {
  char buffer[40];
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(buffer, sizeof buffer, "%.*g", precision, value);
    if (std::strtod(buffer, nullptr) == value) break;
  }
  return U(buffer);
}

std::string Quoted(const XString& text) { return "'" + Utf8(text) + "'"; }

// "TreeModel 'name'" or, without a name, "TreeModel #k" (1-based, document
// order among the elements of that tag).
std::string TreeLabel(const DOMElement* model, size_t index) {
  const std::string tag = dendrix_host::ToUtf8(model->getTagName());
  XString name = Attr(model, "modelName");
  if (!name.empty()) return tag + " " + Quoted(name);
  return tag + " #" + std::to_string(index + 1);
}

std::string NodeLabel(const DOMElement* node) {
  XString id = Attr(node, "id");
  return id.empty() ? std::string("Node without id") : "Node " + Quoted(id);
}

// The entries of an Array's text: blank separated; a double-quoted entry may
// hold blanks and \" for a quote.
std::vector<XString> ArrayEntries(const XString& text) {
  std::vector<XString> out;
  size_t i = 0;
  auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; };
  while (i < text.size()) {
    while (i < text.size() && blank(text[i])) ++i;
    if (i >= text.size()) break;
    XString entry;
    if (text[i] == u'"') {
      ++i;
      while (i < text.size() && text[i] != u'"') {
        if (text[i] == u'\\' && i + 1 < text.size() && text[i + 1] == u'"') ++i;
        entry.push_back(text[i++]);
      }
      ++i;  // the closing quote
    } else {
      while (i < text.size() && !blank(text[i])) entry.push_back(text[i++]);
    }
    out.push_back(entry);
  }
  return out;
}

XString TextContent(const DOMElement* element) {
  const XMLCh* text = element->getTextContent();
  return text ? XString(text) : XString();
}

// Names of the DataFields and of the TransformationDictionary's DerivedFields.
std::unordered_set<XString> DeclaredNames(const DOMElement* top) {
  std::unordered_set<XString> names;
  if (const DOMElement* data = ChildByTag(top, "DataDictionary")) {
    for (DOMElement* field : ChildrenByTag(data, "DataField")) names.insert(Attr(field, "name"));
  }
  if (const DOMElement* transformations = ChildByTag(top, "TransformationDictionary")) {
    for (DOMElement* field : ChildrenByTag(transformations, "DerivedField")) {
      names.insert(Attr(field, "name"));
    }
  }
  return names;
}

std::unordered_set<XString> DataNames(const DOMElement* top) {
  std::unordered_set<XString> names;
  if (const DOMElement* data = ChildByTag(top, "DataDictionary")) {
    for (DOMElement* field : ChildrenByTag(data, "DataField")) names.insert(Attr(field, "name"));
  }
  return names;
}

// Names of the DerivedFields (of the TransformationDictionary or any
// LocalTransformations) that are not also data fields.
std::unordered_set<XString> DerivedOnlyNames(const DOMElement* top) {
  const std::unordered_set<XString> data = DataNames(top);
  std::unordered_set<XString> names;
  for (DOMElement* field : Descendants(top, {"DerivedField"})) {
    const DOMNode* holder = field->getParentNode();
    if (!IsTag(holder, "TransformationDictionary") && !IsTag(holder, "LocalTransformations")) {
      continue;
    }
    const XString name = Attr(field, "name");
    if (data.count(name) == 0) names.insert(name);
  }
  return names;
}

// A MiningField the reader looks up among the data fields: a direct child of
// a TreeModel's MiningSchema (the reader's derived-fields Extension is apart).
bool IsTreeMiningField(const DOMElement* field) {
  const DOMNode* schema = field->getParentNode();
  return IsTag(field, "MiningField") && IsTag(schema, "MiningSchema") &&
         IsTag(schema->getParentNode(), "TreeModel");
}

// Labels of the TreeModels and MiningModels, as TreeLabel gives them.
std::unordered_map<const DOMElement*, std::string> ModelLabels(const DOMElement* top) {
  std::unordered_map<const DOMElement*, std::string> labels;
  size_t treeCount = 0;
  size_t miningCount = 0;
  for (DOMElement* model : Descendants(top, {"TreeModel", "MiningModel"})) {
    labels[model] = TreeLabel(model, IsTag(model, "TreeModel") ? treeCount++ : miningCount++);
  }
  return labels;
}

bool IsPredicted(const DOMElement* field) {
  const XString usage = Attr(field, "usageType");
  return usage == U("predicted") || usage == U("target");
}

bool NamesPredicted(const DOMElement* schema) {
  for (DOMElement* field : ChildrenByTag(schema, "MiningField")) {
    if (IsPredicted(field)) return true;
  }
  return false;
}

// The predicted MiningField of the nearest MiningModel around a segment's
// TreeModel that names one; null for a tree outside a Segment.
DOMElement* EnclosingTarget(const DOMElement* tree) {
  if (!IsTag(tree->getParentNode(), "Segment")) return nullptr;
  for (DOMNode* up = tree->getParentNode(); up != nullptr; up = up->getParentNode()) {
    if (!IsTag(up, "MiningModel")) continue;
    if (const DOMElement* schema = ChildByTag(up, "MiningSchema")) {
      for (DOMElement* field : ChildrenByTag(schema, "MiningField")) {
        if (IsPredicted(field)) return field;
      }
    }
  }
  return nullptr;
}

void UpgradeUsageTypes(DOMElement* top, std::vector<PmmlUpgradeChange>* changes) {
  // Fields naming derived fields are dropped later, not typed.
  const std::unordered_set<XString> derived = DerivedOnlyNames(top);
  for (DOMElement* field : Descendants(top, {"MiningField"})) {
    if (IsTreeMiningField(field) && derived.count(Attr(field, "name")) != 0) continue;
    const std::string name = Quoted(Attr(field, "name"));
    if (!HasAttr(field, "usageType")) {
      SetAttr(field, "usageType", U("active"));
      changes->push_back({PmmlUpgradeChange::kUsageType,
                          "MiningField " + name + ": no usageType, now \"active\""});
    } else if (Attr(field, "usageType") == U("target")) {
      SetAttr(field, "usageType", U("predicted"));
      changes->push_back({PmmlUpgradeChange::kUsageType,
                          "MiningField " + name + ": usageType \"target\" now \"predicted\""});
    }
  }
}

void MoveLocalTransformations(DOMDocument* document, DOMElement* top,
                              std::vector<PmmlUpgradeChange>* changes) {
  // Ensembles may keep them on the MiningModel too.
  std::vector<DOMElement*> trees = Descendants(top, {"TreeModel", "MiningModel"});
  std::vector<size_t> index(trees.size());
  size_t treeCount = 0;
  size_t miningCount = 0;
  for (size_t t = 0; t < trees.size(); ++t) {
    index[t] = IsTag(trees[t], "TreeModel") ? treeCount++ : miningCount++;
  }
  DOMElement* dictionary = ChildByTag(top, "TransformationDictionary");
  std::unordered_set<XString> dataNames;
  if (const DOMElement* data = ChildByTag(top, "DataDictionary")) {
    for (DOMElement* field : ChildrenByTag(data, "DataField"))
      dataNames.insert(Attr(field, "name"));
  }
  for (size_t t = 0; t < trees.size(); ++t) {
    for (DOMElement* local : ChildrenByTag(trees[t], "LocalTransformations")) {
      for (DOMElement* field : ChildrenByTag(local, "DerivedField")) {
        const XString name = Attr(field, "name");
        DOMElement* existing = nullptr;
        if (dictionary != nullptr) {
          for (DOMElement* other : ChildrenByTag(dictionary, "DerivedField")) {
            if (Attr(other, "name") == name) existing = other;
          }
        }
        if (dataNames.count(name) != 0 || (existing && !existing->isEqualNode(field))) {
          throw VeltraException(ErrorCode::kInvalidValue,
                                "LocalTransformations of " + TreeLabel(trees[t], index[t]) +
                                    ": DerivedField " + Quoted(name) +
                                    " clashes with another field of that name");
        }
        local->removeChild(field);
        if (existing != nullptr) {
          // Several trees of an ensemble may carry the same definition.
          field->release();
          changes->push_back({PmmlUpgradeChange::kLocalDerived,
                              "DerivedField " + Quoted(name) + " of " +
                                  TreeLabel(trees[t], index[t]) +
                                  ": same definition already in TransformationDictionary"});
          continue;
        }
        if (dictionary == nullptr) {
          dictionary = document->createElement(U("TransformationDictionary").c_str());
          DOMElement* data = ChildByTag(top, "DataDictionary");
          top->insertBefore(dictionary, data ? data->getNextSibling() : top->getFirstChild());
        }
        dictionary->appendChild(field);
        changes->push_back(
            {PmmlUpgradeChange::kLocalDerived, "DerivedField " + Quoted(name) + " of " +
                                                   TreeLabel(trees[t], index[t]) +
                                                   ": moved to TransformationDictionary"});
      }
      if (FirstChildElement(local) == nullptr) {
        trees[t]->removeChild(local);
        local->release();
      }
    }
  }
}

// Sums over the scored leaves below a node.
struct LeafSums {
  double weightedSum = 0;
  double weight = 0;
  double sum = 0;
  long long leaves = 0;
  bool allCounted = true;
};

// Record counts per category, in order of first appearance.
using CategoryCounts = std::vector<std::pair<XString, double>>;

void AddCount(CategoryCounts* counts, const XString& category, double count) {
  for (auto& entry : *counts) {
    if (entry.first == category) {
      entry.second += count;
      return;
    }
  }
  counts->emplace_back(category, count);
}

CategoryCounts OwnDistribution(const DOMElement* node) {
  CategoryCounts counts;
  for (DOMElement* distribution : ChildrenByTag(node, "ScoreDistribution")) {
    double count = 0;
    if (ParseNumber(Attr(distribution, "recordCount"), &count)) {
      AddCount(&counts, Attr(distribution, "value"), count);
    }
  }
  return counts;
}

// The category with the largest count; the first listed on ties.
const XString* Largest(const CategoryCounts& counts) {
  const XString* best = nullptr;
  double bestCount = 0;
  for (const auto& [category, count] : counts) {
    if (best == nullptr || count > bestCount) {
      best = &category;
      bestCount = count;
    }
  }
  return best;
}

// A node with ScoreDistributions takes the largest; one without (some
// exporters keep them on leaves only) takes the largest of the counts summed
// over the leaves below it, a leaf without distributions counting as
// recordCount (or one) records of its own score.
void ScoreClassificationNodes(DOMElement* rootNode, const std::string& tree,
                              std::vector<PmmlUpgradeChange>* changes) {
  std::vector<DOMElement*> order = {rootNode};
  for (DOMElement* node : Descendants(rootNode, {"Node"})) order.push_back(node);
  std::unordered_map<const DOMElement*, CategoryCounts> leafCounts;
  std::unordered_set<const DOMElement*> countsScores;  // a leaf below counted its score
  std::vector<std::pair<DOMElement*, XString>> scores;
  std::vector<PmmlUpgradeChange> made;
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    DOMElement* node = *it;
    CategoryCounts& below = leafCounts[node];
    const bool leaf = ChildByTag(node, "Node") == nullptr;
    const CategoryCounts own = OwnDistribution(node);
    if (leaf) below = own;
    // A leaf without distributions (forests often write only a score) counts
    // as its recordCount, or one, records of its score.
    if (leaf && own.empty() && HasAttr(node, "score")) {
      double count = 0;
      if (!ParseNumber(Attr(node, "recordCount"), &count) || !(count > 0)) count = 1;
      AddCount(&below, Attr(node, "score"), count);
      countsScores.insert(node);
    }
    if (!HasAttr(node, "score")) {
      const bool fromOwn = !own.empty();
      if (const XString* best = Largest(fromOwn ? own : below)) {
        scores.emplace_back(node, *best);
        made.push_back({PmmlUpgradeChange::kNodeScore,
                        NodeLabel(node) + " of " + tree + ": score " + Quoted(*best) +
                            (fromOwn ? ", its largest ScoreDistribution"
                             : countsScores.count(node) != 0
                                 ? ", the most frequent score of its leaves"
                                 : ", the largest of its leaves' ScoreDistributions")});
      }
    }
    if (node != rootNode) {
      CategoryCounts& parent = leafCounts[static_cast<DOMElement*>(node->getParentNode())];
      for (const auto& [category, count] : below) AddCount(&parent, category, count);
      if (countsScores.count(node) != 0) {
        countsScores.insert(static_cast<DOMElement*>(node->getParentNode()));
      }
    }
  }
  for (auto& [node, value] : scores) SetAttr(node, "score", value);
  changes->insert(changes->end(), made.rbegin(), made.rend());
}

void ScoreRegressionNodes(DOMElement* rootNode, const std::string& tree,
                          std::vector<PmmlUpgradeChange>* changes) {
  std::vector<DOMElement*> order = {rootNode};
  for (DOMElement* node : Descendants(rootNode, {"Node"})) order.push_back(node);
  std::unordered_map<const DOMElement*, LeafSums> sums;
  std::vector<std::pair<DOMElement*, XString>> scores;
  // Children come after their parent in document order, so the reverse visits
  // every child before its parent.
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    DOMElement* node = *it;
    LeafSums& own = sums[node];
    const bool leaf = ChildByTag(node, "Node") == nullptr;
    if (leaf) {
      double score = 0;
      if (ParseNumber(Attr(node, "score"), &score)) {
        double count = 0;
        own.sum = score;
        own.leaves = 1;
        if (ParseNumber(Attr(node, "recordCount"), &count) && count >= 0) {
          own.weightedSum = score * count;
          own.weight = count;
        } else {
          own.allCounted = false;
        }
      }
    } else if (!HasAttr(node, "score") && own.leaves > 0) {
      const bool weighted = own.allCounted && own.weight > 0;
      const double mean = weighted ? own.weightedSum / own.weight : own.sum / own.leaves;
      const XString text = NumberText(mean);
      scores.emplace_back(node, text);
      changes->push_back({PmmlUpgradeChange::kNodeScore,
                          NodeLabel(node) + " of " + tree + ": score " + Utf8(text) + ", the " +
                              (weighted ? "record-weighted" : "plain") + " mean of " +
                              std::to_string(own.leaves) + " leaves below"});
    }
    if (node != rootNode) {
      LeafSums& parent = sums[static_cast<DOMElement*>(node->getParentNode())];
      parent.weightedSum += own.weightedSum;
      parent.weight += own.weight;
      parent.sum += own.sum;
      parent.leaves += own.leaves;
      parent.allCounted = parent.allCounted && own.allCounted;
    }
  }
  // Set only after the walk, so a new score never feeds another mean, and
  // report in document order.
  for (auto& [node, text] : scores) SetAttr(node, "score", text);
  const size_t added = scores.size();
  std::reverse(changes->end() - static_cast<long>(added), changes->end());
}

void ScoreNodes(DOMElement* top, std::vector<PmmlUpgradeChange>* changes) {
  std::vector<DOMElement*> trees = Descendants(top, {"TreeModel"});
  for (size_t t = 0; t < trees.size(); ++t) {
    const std::string label = TreeLabel(trees[t], t);
    const XString function = Attr(trees[t], "functionName");
    DOMElement* rootNode = ChildByTag(trees[t], "Node");
    if (rootNode == nullptr) continue;
    if (function == U("classification")) {
      ScoreClassificationNodes(rootNode, label, changes);
    } else if (function == U("regression")) {
      ScoreRegressionNodes(rootNode, label, changes);
    }
  }
}

void DropDerivedMiningFields(DOMElement* top, const std::unordered_set<XString>& derived,
                             std::vector<PmmlUpgradeChange>* changes) {
  if (derived.empty()) return;
  const auto labels = ModelLabels(top);
  // Removed only after the walk: the list also holds what lies below them.
  std::vector<DOMElement*> dropped;
  for (DOMElement* field : Descendants(top, {"MiningField"})) {
    const XString name = Attr(field, "name");
    if (!IsTreeMiningField(field) || derived.count(name) == 0) continue;
    const auto* tree = static_cast<const DOMElement*>(field->getParentNode()->getParentNode());
    changes->push_back({PmmlUpgradeChange::kDerivedMiningField,
                        "MiningField " + Quoted(name) + " of " + labels.at(tree) +
                            ": names a derived field, dropped from the mining schema"});
    dropped.push_back(field);
  }
  for (DOMElement* field : dropped) {
    field->getParentNode()->removeChild(field);
    field->release();
  }
}

void GiveSegmentsTheirTarget(DOMElement* top, std::vector<PmmlUpgradeChange>* changes) {
  const auto labels = ModelLabels(top);
  for (DOMElement* tree : Descendants(top, {"TreeModel"})) {
    DOMElement* schema = ChildByTag(tree, "MiningSchema");
    if (schema == nullptr || NamesPredicted(schema)) continue;
    const DOMElement* target = EnclosingTarget(tree);
    if (target == nullptr) continue;
    // Attributes only: the reader reads nothing below a MiningField.
    auto* copy = static_cast<DOMElement*>(target->cloneNode(false));
    schema->insertBefore(copy, schema->getFirstChild());
    const auto* owner = static_cast<const DOMElement*>(target->getParentNode()->getParentNode());
    changes->push_back({PmmlUpgradeChange::kSegmentTarget,
                        labels.at(tree) + ": no predicted MiningField, given " +
                            Quoted(Attr(target, "name")) + " of " + labels.at(owner)});
  }
}

// The reader takes a document of several TreeModels as an ensemble that adds
// up the trees' confidences. A classification leaf with a score alone has
// confidence 0, so such trees never vote. Listing the leaf's records as all of
// its score gives it confidence (n + 1) / (n + 1) = 1: every tree votes once.
void GiveLeavesTheirRecords(DOMDocument* document, DOMElement* top,
                            std::vector<PmmlUpgradeChange>* changes) {
  const std::vector<DOMElement*> trees = Descendants(top, {"TreeModel"});
  if (trees.size() < 2) return;
  for (size_t t = 0; t < trees.size(); ++t) {
    if (Attr(trees[t], "functionName") != U("classification")) continue;
    DOMElement* rootNode = ChildByTag(trees[t], "Node");
    if (rootNode == nullptr) continue;
    std::vector<DOMElement*> nodes = {rootNode};
    for (DOMElement* node : Descendants(rootNode, {"Node"})) nodes.push_back(node);
    const std::string label = TreeLabel(trees[t], t);
    for (DOMElement* node : nodes) {
      if (!HasAttr(node, "score") || ChildByTag(node, "Node") != nullptr ||
          ChildByTag(node, "ScoreDistribution") != nullptr) {
        continue;
      }
      const XString score = Attr(node, "score");
      XString records = U("1");
      std::string text;
      if (!HasAttr(node, "recordCount")) {
        SetAttr(node, "recordCount", records);
        text = "recordCount 1 and a ScoreDistribution of 1 record of its score " + Quoted(score);
      } else {
        double count = 0;
        if (!ParseNumber(Attr(node, "recordCount"), &count) || !(count > 0)) continue;
        records = Attr(node, "recordCount");
        text = "a ScoreDistribution of its " + Utf8(records) + " records, all of its score " +
               Quoted(score);
      }
      DOMElement* distribution = document->createElement(U("ScoreDistribution").c_str());
      SetAttr(distribution, "value", score);
      SetAttr(distribution, "recordCount", records);
      node->appendChild(distribution);
      changes->push_back(
          {PmmlUpgradeChange::kLeafDistribution, NodeLabel(node) + " of " + label + ": " + text});
    }
  }
}

void FillCategoryValues(DOMDocument* document, DOMElement* top,
                        std::vector<PmmlUpgradeChange>* changes) {
  DOMElement* data = ChildByTag(top, "DataDictionary");
  if (data == nullptr) return;
  std::unordered_map<XString, std::vector<XString>> found;
  std::vector<DOMElement*> empty;
  for (DOMElement* field : ChildrenByTag(data, "DataField")) {
    if (Attr(field, "optype") == U("categorical") && ChildByTag(field, "Value") == nullptr) {
      empty.push_back(field);
      found[Attr(field, "name")];
    }
  }
  if (empty.empty()) return;
  std::unordered_map<XString, std::unordered_set<XString>> seen;
  for (DOMElement* predicate : Descendants(top, {"SimplePredicate", "SimpleSetPredicate"})) {
    const XString name = Attr(predicate, "field");
    auto values = found.find(name);
    if (values == found.end()) continue;
    std::vector<XString> named;
    if (IsTag(predicate, "SimplePredicate")) {
      if (HasAttr(predicate, "value")) named.push_back(Attr(predicate, "value"));
    } else if (const DOMElement* array = ChildByTag(predicate, "Array")) {
      named = ArrayEntries(TextContent(array));
    }
    for (XString& value : named) {
      if (seen[name].insert(value).second) values->second.push_back(std::move(value));
    }
  }
  for (DOMElement* field : empty) {
    const XString name = Attr(field, "name");
    const std::vector<XString>& values = found[name];
    if (values.empty()) continue;
    std::string listed;
    for (size_t i = 0; i < values.size(); ++i) {
      DOMElement* value = document->createElement(U("Value").c_str());
      SetAttr(value, "value", values[i]);
      field->appendChild(value);
      if (i < 5) listed += (i ? ", " : "") + Quoted(values[i]);
    }
    if (values.size() > 5) listed += ", ...";
    changes->push_back({PmmlUpgradeChange::kCategoryValues,
                        "DataField " + Quoted(name) + ": " + std::to_string(values.size()) +
                            " values from its predicates (" + listed + ")"});
  }
}

}  // namespace

std::vector<PmmlUpgradeChange> UpgradePmmlDocument(DOMDocument* document) {
  std::vector<PmmlUpgradeChange> changes;
  if (document == nullptr) return changes;
  DOMElement* top = document->getDocumentElement();
  if (top == nullptr) return changes;
  const std::unordered_set<XString> derived = DerivedOnlyNames(top);
  UpgradeUsageTypes(top, &changes);
  MoveLocalTransformations(document, top, &changes);
  DropDerivedMiningFields(top, derived, &changes);
  GiveSegmentsTheirTarget(top, &changes);
  ScoreNodes(top, &changes);
  GiveLeavesTheirRecords(document, top, &changes);
  FillCategoryValues(document, top, &changes);
  return changes;
}

std::string DescribeNewerPmmlConventions(const DOMDocument* document) {
  if (document == nullptr || document->getDocumentElement() == nullptr) return "";
  const DOMElement* top = document->getDocumentElement();
  std::vector<std::string> findings;

  std::vector<XString> untyped;
  std::vector<XString> targets;
  for (DOMElement* field : Descendants(top, {"MiningField"})) {
    if (!HasAttr(field, "usageType")) {
      untyped.push_back(Attr(field, "name"));
    } else if (Attr(field, "usageType") == U("target")) {
      targets.push_back(Attr(field, "name"));
    }
  }
  auto describe = [](const std::vector<XString>& names, const std::string& what) {
    std::string text = "MiningField " + Quoted(names[0]) + what;
    if (names.size() > 1) text += " (and " + std::to_string(names.size() - 1) + " more)";
    return text;
  };
  if (!untyped.empty()) findings.push_back(describe(untyped, " has no usageType"));
  if (!targets.empty()) findings.push_back(describe(targets, " has usageType \"target\""));

  const std::unordered_set<XString> declared = DeclaredNames(top);
  std::unordered_set<XString> localOnly;
  for (DOMElement* local : Descendants(top, {"LocalTransformations"})) {
    for (DOMElement* field : ChildrenByTag(local, "DerivedField")) {
      const XString name = Attr(field, "name");
      if (declared.count(name) == 0) localOnly.insert(name);
    }
  }
  if (!localOnly.empty()) {
    for (DOMElement* predicate : Descendants(top, {"SimplePredicate", "SimpleSetPredicate"})) {
      const XString name = Attr(predicate, "field");
      if (localOnly.count(name) != 0) {
        findings.push_back("predicate field " + Quoted(name) +
                           " is defined only in a LocalTransformations");
        break;
      }
    }
  }

  const std::unordered_set<XString> derived = DerivedOnlyNames(top);
  std::vector<XString> derivedListed;
  for (DOMElement* field : Descendants(top, {"MiningField"})) {
    const XString name = Attr(field, "name");
    if (IsTreeMiningField(field) && derived.count(name) != 0) derivedListed.push_back(name);
  }
  if (!derivedListed.empty()) findings.push_back(describe(derivedListed, " names a derived field"));

  std::vector<std::string> untargeted;
  const auto labels = ModelLabels(top);
  for (DOMElement* tree : Descendants(top, {"TreeModel"})) {
    const DOMElement* schema = ChildByTag(tree, "MiningSchema");
    if (schema != nullptr && !NamesPredicted(schema) && EnclosingTarget(tree) != nullptr) {
      untargeted.push_back(labels.at(tree));
    }
  }
  if (!untargeted.empty()) {
    std::string text = untargeted[0] + " in a Segment names no target";
    if (untargeted.size() > 1) text += " (and " + std::to_string(untargeted.size() - 1) + " more)";
    findings.push_back(text);
  }

  // Inner nodes without score (leaves without one are left as they are, so
  // they are not offered as upgradable).
  std::vector<const DOMElement*> scoreless;
  for (DOMElement* node : Descendants(top, {"Node"})) {
    if (!HasAttr(node, "score") && ChildByTag(node, "Node") != nullptr) scoreless.push_back(node);
  }
  if (!scoreless.empty()) {
    std::string text = NodeLabel(scoreless[0]) + " has no score";
    if (scoreless.size() > 1) {
      text += " (and " + std::to_string(scoreless.size() - 1) + " more inner nodes)";
    }
    findings.push_back(text);
  }

  std::vector<XString> valueless;
  if (const DOMElement* data = ChildByTag(top, "DataDictionary")) {
    for (DOMElement* field : ChildrenByTag(data, "DataField")) {
      if (Attr(field, "optype") == U("categorical") && ChildByTag(field, "Value") == nullptr) {
        valueless.push_back(Attr(field, "name"));
      }
    }
  }
  if (!valueless.empty()) {
    std::string text = "categorical DataField " + Quoted(valueless[0]);
    if (valueless.size() > 1) text += " (and " + std::to_string(valueless.size() - 1) + " more)";
    findings.push_back(text + " lists no values");
  }

  std::string text;
  for (const std::string& finding : findings) text += (text.empty() ? "" : "; ") + finding;
  return text;
}

std::string SummarizePmmlUpgrade(PmmlUpgradeChange::Kind kind, int count) {
  const std::string n = std::to_string(count);
  switch (kind) {
    case PmmlUpgradeChange::kUsageType:
      return n + (count == 1 ? " mining field" : " mining fields") +
             " given a usageType the reader knows (\"active\", or \"predicted\" for \"target\")";
    case PmmlUpgradeChange::kLocalDerived:
      return n + (count == 1 ? " derived field" : " derived fields") +
             " moved from LocalTransformations to the TransformationDictionary";
    case PmmlUpgradeChange::kNodeScore:
      return n + (count == 1 ? " node" : " nodes") + " without score given one";
    case PmmlUpgradeChange::kCategoryValues:
      return n + (count == 1 ? " categorical field" : " categorical fields") +
             " without values given the values their predicates name";
    case PmmlUpgradeChange::kLeafDistribution:
      return n + (count == 1 ? " ensemble leaf" : " ensemble leaves") +
             " with only a score given a ScoreDistribution of its records, so every tree votes "
             "once";
    case PmmlUpgradeChange::kDerivedMiningField:
      return n + (count == 1 ? " mining field" : " mining fields") +
             " naming a derived field dropped from their mining schema";
    case PmmlUpgradeChange::kSegmentTarget:
      return n + (count == 1 ? " segment tree" : " segment trees") +
             " given the target of their MiningModel";
  }
  return n + " changes";
}

namespace {

// Counts of one kind of construct, keyed by the attribute value that names
// it, in order of first appearance.
class Tally {
 public:
  void Add(const std::string& key) {
    for (auto& entry : counts_) {
      if (entry.first == key) {
        ++entry.second;
        return;
      }
    }
    counts_.emplace_back(key, 1);
  }
  const std::vector<std::pair<std::string, int>>& Counts() const { return counts_; }

 private:
  std::vector<std::pair<std::string, int>> counts_;
};

std::string Plural(int count, const std::string& one, const std::string& many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

const char* Verb(int count, const char* one, const char* many) { return count == 1 ? one : many; }

// Attribute names of the scan below, converted once: it visits every element
// of documents with hundreds of thousands of nodes.
struct ScanNames {
  XString algorithmName = U("algorithmName");
  XString booleanOperator = U("booleanOperator");
  XString defaultChild = U("defaultChild");
  XString feature = U("feature");
  XString field = U("field");
  XString functionName = U("functionName");
  XString id = U("id");
  XString missingValuePenalty = U("missingValuePenalty");
  XString missingValueReplacement = U("missingValueReplacement");
  XString missingValueStrategy = U("missingValueStrategy");
  XString multipleModelMethod = U("multipleModelMethod");
  XString name = U("name");
  XString noTrueChildStrategy = U("noTrueChildStrategy");
  XString op = U("operator");
  XString optype = U("optype");
  XString outliers = U("outliers");
  XString probability = U("probability");
  XString recordCount = U("recordCount");
  XString rescaleConstant = U("rescaleConstant");
  XString rescaleFactor = U("rescaleFactor");
  XString castInteger = U("castInteger");
  XString min = U("min");
  XString max = U("max");
};

const XMLCh* Raw(const DOMElement* element, const XString& name) {
  const XMLCh* value = element->getAttribute(name.c_str());
  return value != nullptr ? value : u"";
}

bool Has(const DOMElement* element, const XString& name) {
  return element->hasAttribute(name.c_str());
}

// A finite number filling the attribute (blanks around it allowed); short
// texts only, read without allocating.
bool NumberAttr(const DOMElement* element, const XString& name, double* value) {
  const XMLCh* text = Raw(element, name);
  char buffer[64];
  size_t n = 0;
  for (; text[n] != 0; ++n) {
    if (n + 1 >= sizeof buffer || text[n] > 0x7e) return false;
    buffer[n] = static_cast<char>(text[n]);
  }
  buffer[n] = '\0';
  char* end = nullptr;
  const double parsed = std::strtod(buffer, &end);
  if (end == buffer) return false;
  while (*end == ' ' || *end == '\t' || *end == '\n' || *end == '\r') ++end;
  if (*end != '\0' || !std::isfinite(parsed)) return false;
  *value = parsed;
  return true;
}

// Records a child holds for the reader's biggest-child rule: its recordCount,
// else the sum of its distributions' counts.
double ChildRecords(const DOMElement* child, const ScanNames& names) {
  double records = 0;
  if (NumberAttr(child, names.recordCount, &records)) return records;
  for (const DOMElement* e = FirstChildElement(child); e != nullptr; e = NextElement(e)) {
    double count = 0;
    if (IsTag(e, "ScoreDistribution") && NumberAttr(e, names.recordCount, &count)) {
      records += count;
    }
  }
  return records;
}

// A Node's or Segment's predicate: its first element child after any
// Extensions.
const DOMElement* PredicateOf(const DOMElement* holder) {
  const DOMElement* e = FirstChildElement(holder);
  while (e != nullptr && IsTag(e, "Extension")) e = NextElement(e);
  return e;
}

bool IsTrueChild(const DOMElement* child) {
  return IsTag(child, "Node") && IsTag(PredicateOf(child), "True");
}

// What the scan finds, counted as it goes.
struct Findings {
  std::unordered_set<XString> nominal;
  std::vector<const DOMElement*>
      comparisons;  // SimplePredicates other than equal and the missing tests
  Tally compounds;
  Tally missingStrategies;
  Tally noTrueChild;
  int penalties = 0;
  int defaults = 0;
  int passedOver = 0;
  Tally votes;
  Tally averages;
  int nested = 0;
  int guarded = 0;
  int probabilities = 0;
  int targets = 0;
  int computed = 0;
  int replaced = 0;
  int outliers = 0;
};

// The child the reader sends a case to when no condition takes it: the last
// child whose CompoundPredicate lists True, else the first child holding the
// most records (the first child when none counts any). Counts a defaultChild
// naming another child and True children that are not it.
void ScanChildren(const DOMElement* node, const ScanNames& names, Findings* found) {
  // Most nodes name no defaultChild and have no True child: nothing to count.
  bool anyTrue = false;
  for (const DOMElement* child = FirstChildElement(node); child; child = NextElement(child)) {
    anyTrue = anyTrue || IsTrueChild(child);
  }
  if (!anyTrue && !Has(node, names.defaultChild)) return;
  const DOMElement* first = nullptr;
  const DOMElement* marked = nullptr;
  const DOMElement* biggest = nullptr;
  double most = 0;
  for (const DOMElement* child = FirstChildElement(node); child; child = NextElement(child)) {
    if (!IsTag(child, "Node")) continue;
    if (first == nullptr) first = biggest = child;
    const DOMElement* predicate = PredicateOf(child);
    if (IsTag(predicate, "CompoundPredicate") && ChildByTag(predicate, "True") != nullptr) {
      marked = child;
    }
    const double records = ChildRecords(child, names);
    if (records > most) {
      most = records;
      biggest = child;
    }
  }
  if (first == nullptr) return;
  const DOMElement* fallback = marked != nullptr ? marked : biggest;
  if (Has(node, names.defaultChild) &&
      XString(Raw(fallback, names.id)) != XString(Raw(node, names.defaultChild))) {
    ++found->defaults;
  }
  for (const DOMElement* child = first; child; child = NextElement(child)) {
    if (child != fallback && IsTrueChild(child)) ++found->passedOver;
  }
}

// A ScoreDistribution probability other than the record share.
void ScanDistributions(const DOMElement* node, const ScanNames& names, Findings* found) {
  bool anyProbability = false;
  for (const DOMElement* e = FirstChildElement(node); e != nullptr; e = NextElement(e)) {
    anyProbability = anyProbability || (IsTag(e, "ScoreDistribution") && Has(e, names.probability));
  }
  if (!anyProbability) return;
  double total = 0;
  for (const DOMElement* e = FirstChildElement(node); e != nullptr; e = NextElement(e)) {
    double count = 0;
    if (IsTag(e, "ScoreDistribution") && NumberAttr(e, names.recordCount, &count)) total += count;
  }
  for (const DOMElement* e = FirstChildElement(node); e != nullptr; e = NextElement(e)) {
    double probability = 0;
    double count = 0;
    if (!IsTag(e, "ScoreDistribution") || !NumberAttr(e, names.probability, &probability)) {
      continue;
    }
    NumberAttr(e, names.recordCount, &count);
    const double share = total > 0 ? count / total : 0;
    if (std::fabs(probability - share) > 1e-9) ++found->probabilities;
  }
}

void ScanTreeModel(const DOMElement* tree, const ScanNames& names, Findings* found) {
  const std::string strategy = Utf8(Raw(tree, names.missingValueStrategy));
  if (!strategy.empty() && strategy != "defaultChild") found->missingStrategies.Add(strategy);
  if (Has(tree, names.noTrueChildStrategy)) {
    found->noTrueChild.Add(Utf8(Raw(tree, names.noTrueChildStrategy)));
  }
  double penalty = 1;
  if (NumberAttr(tree, names.missingValuePenalty, &penalty) && penalty != 1) ++found->penalties;
}

void ScanSegmentation(const DOMElement* segmentation, bool nested, const ScanNames& names,
                      Findings* found) {
  const std::string method = Utf8(Raw(segmentation, names.multipleModelMethod));
  const DOMNode* model = segmentation->getParentNode();
  const bool regression =
      IsTag(model, "MiningModel") &&
      XString(Raw(static_cast<const DOMElement*>(model), names.functionName)) == U("regression");
  if (!regression) {
    found->votes.Add(method);
  } else if (method != "average") {
    found->averages.Add(method);
  }
  if (nested) ++found->nested;
}

void ScanTarget(const DOMElement* target, const ScanNames& names, Findings* found) {
  double factor = 1;
  double constant = 0;
  const bool rescaled = (NumberAttr(target, names.rescaleFactor, &factor) && factor != 1) ||
                        (NumberAttr(target, names.rescaleConstant, &constant) && constant != 0);
  if (rescaled || Has(target, names.castInteger) || Has(target, names.min) ||
      Has(target, names.max)) {
    ++found->targets;
  }
}

void ScanMiningField(const DOMElement* field, const ScanNames& names, Findings* found) {
  if (Has(field, names.missingValueReplacement)) ++found->replaced;
  if (Has(field, names.outliers) && XString(Raw(field, names.outliers)) != U("asIs")) {
    ++found->outliers;
  }
}

// One walk over the document, in document order, without recursion.
// Inside a TreeModel the reader takes as a rule set the root's children are
// rules tried in order, each holding when all of its conditions do, so their
// compounds and True conditions read as in PMML and are not counted.
Findings Scan(const DOMElement* top) {
  const ScanNames names;
  Findings found;
  bool ruleSet = false;
  int segmentDepth = 0;
  auto enter = [&](const DOMElement* e) {
    const XMLCh* tag = e->getNodeName();
    if (Equals(tag, "Node")) {
      if (!ruleSet) ScanChildren(e, names, &found);
      ScanDistributions(e, names, &found);
    } else if (Equals(tag, "SimplePredicate")) {
      const XMLCh* op = Raw(e, names.op);
      if (!Equals(op, "equal") && !Equals(op, "isMissing") && !Equals(op, "isNotMissing")) {
        found.comparisons.push_back(e);
      }
    } else if (Equals(tag, "CompoundPredicate")) {
      const XMLCh* op = Raw(e, names.booleanOperator);
      if (!ruleSet && (Equals(op, "and") || Equals(op, "xor"))) found.compounds.Add(Utf8(op));
    } else if (Equals(tag, "DataField") || Equals(tag, "DerivedField")) {
      if (Equals(Raw(e, names.optype), "categorical")) found.nominal.insert(Raw(e, names.name));
    } else if (Equals(tag, "TreeModel")) {
      ruleSet = Equals(Raw(e, names.algorithmName), "RuleSet");
      ScanTreeModel(e, names, &found);
    } else if (Equals(tag, "Segmentation")) {
      ScanSegmentation(e, segmentDepth > 0, names, &found);
    } else if (Equals(tag, "Segment")) {
      ++segmentDepth;
      if (!IsTag(PredicateOf(e), "True")) ++found.guarded;
    } else if (Equals(tag, "Target")) {
      ScanTarget(e, names, &found);
    } else if (Equals(tag, "OutputField")) {
      if (Equals(Raw(e, names.feature), "transformedValue")) ++found.computed;
    } else if (Equals(tag, "MiningField")) {
      ScanMiningField(e, names, &found);
    }
  };
  auto leave = [&](const DOMElement* e) {
    const XMLCh* tag = e->getNodeName();
    if (Equals(tag, "TreeModel")) ruleSet = false;
    if (Equals(tag, "Segment")) --segmentDepth;
  };
  const DOMElement* e = FirstChildElement(top);
  while (e != nullptr) {
    enter(e);
    if (const DOMElement* child = FirstChildElement(e)) {
      e = child;
      continue;
    }
    while (e != nullptr) {
      leave(e);
      if (const DOMElement* next = NextElement(e)) {
        e = next;
        break;
      }
      const DOMNode* up = e->getParentNode();
      e = up == top || up == nullptr ? nullptr : static_cast<const DOMElement*>(up);
    }
  }
  return found;
}

void Describe(const Tally& tally, const std::string& one, const std::string& many,
              const std::string& attribute, const char* verbOne, const char* verbMany,
              const std::string& rest, std::vector<std::string>* lines) {
  for (const auto& [value, count] : tally.Counts()) {
    lines->push_back(Plural(count, one, many) + " with " + attribute + " \"" + value + "\" " +
                     Verb(count, verbOne, verbMany) + rest);
  }
}

void DescribeCount(int count, const std::string& one, const std::string& many,
                   const std::string& rest, std::vector<std::string>* lines) {
  if (count > 0) lines->push_back(Plural(count, one, many) + rest);
}

}  // namespace

std::vector<std::string> DescribePmmlSemanticsDifferences(const DOMDocument* document) {
  std::vector<std::string> lines;
  if (document == nullptr || document->getDocumentElement() == nullptr) return lines;
  const ScanNames names;
  const Findings found = Scan(document->getDocumentElement());

  Tally comparisons;
  for (const DOMElement* predicate : found.comparisons) {
    if (found.nominal.count(Raw(predicate, names.field)) != 0) {
      comparisons.Add(Utf8(Raw(predicate, names.op)));
    }
  }
  for (const auto& [op, count] : comparisons.Counts()) {
    lines.push_back(Plural(count, op + " predicate", op + " predicates") +
                    (count == 1 ? " on a nominal field is" : " on nominal fields are") +
                    " read as equal");
  }
  for (const auto& [op, count] : found.compounds.Counts()) {
    lines.push_back(Plural(count, "CompoundPredicate", "CompoundPredicates") + " \"" + op + "\" " +
                    Verb(count, "is", "are") + " read as a condition and its surrogates");
  }
  Describe(found.missingStrategies, "TreeModel", "TreeModels", "missingValueStrategy", "sends",
           "send", " a missing value to a surrogate, the missing-value child or the biggest child",
           &lines);
  Describe(found.noTrueChild, "TreeModel", "TreeModels", "noTrueChildStrategy", "sends", "send",
           " a case no child takes to the biggest child", &lines);
  DescribeCount(found.penalties, "TreeModel states", "TreeModels state",
                " a missingValuePenalty; confidence shrinks by 0.9 per surrogate or fallback step "
                "instead",
                &lines);
  DescribeCount(found.defaults, "Node names", "Nodes name",
                " a defaultChild other than the biggest child, where a missing value goes instead",
                &lines);
  DescribeCount(found.passedOver, "True child adds", "True children add",
                " no condition: a case no sibling takes goes to the biggest child", &lines);
  Describe(found.votes, "Segmentation", "Segmentations", "multipleModelMethod", "is", "are",
           " scored by the trees' summed confidences", &lines);
  Describe(found.averages, "Segmentation", "Segmentations", "multipleModelMethod", "averages",
           "average", " the trees' scores", &lines);
  DescribeCount(found.nested, "nested Segmentation is", "nested Segmentations are",
                " read as part of one list of trees", &lines);
  DescribeCount(found.guarded, "Segment has", "Segments have",
                " a predicate other than True; every tree is scored", &lines);
  DescribeCount(found.probabilities, "ScoreDistribution states", "ScoreDistributions state",
                " a probability other than its record share; class shares are record shares",
                &lines);
  DescribeCount(found.targets, "Target rescales", "Targets rescale",
                ", rounds or bounds the prediction; the prediction is the trees' own", &lines);
  DescribeCount(found.computed, "OutputField computes", "OutputFields compute",
                " a transformedValue the tool does not write", &lines);
  DescribeCount(found.replaced, "MiningField states", "MiningFields state",
                " a missingValueReplacement; a missing value stays missing", &lines);
  DescribeCount(found.outliers, "MiningField treats", "MiningFields treat",
                " outliers otherwise than asIs; values are read as they are", &lines);
  return lines;
}
