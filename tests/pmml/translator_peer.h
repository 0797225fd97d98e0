#pragma once

// Test access to the translator's reading state and its inner readers.
// Whatever a test sets here stays owned by the test; the translator's own
// model, never handed out, goes with the translator.

#include <map>
#include <string>
#include <vector>

#include "host/ScoreDictionary.h"
#include "host/ScoreSplitVar.h"
#include "host/TransformationDictionary.h"
#include "pmml/DendrixPMMLTranslator.h"
#include "scoring/DendrixPMMLModel.h"

class DendrixPMMLTranslatorTestPeer {
 public:
  using T = DendrixPMMLTranslator;
  using Splits = std::vector<ScoreSplitVar*>;
  using Node = xercesc::DOMNode;

  // State.
  static DendrixPMMLModel* Model(const T& t) { return t.model; }
  static const ScoreDictVar* Target(const T& t) { return t.targetVar; }
  static const XMLCh* FieldNameBuffer(const T& t) { return t.fieldNameBuffer; }
  static XMLCh* MutableFieldNameBuffer(T& t) { return t.fieldNameBuffer; }
  static bool IsLegacyVendorPMML(const T& t) { return t.isLegacyVendorPMML; }
  static bool IsCFive(const T& t) { return t.isCFive; }
  static bool IsRuleSet(const T& t) { return t.isRuleSet; }
  static bool HasMisclassificationCost(const T& t) { return t.hasMisclassificationCost; }
  static bool HasMultipleTrees(const T& t) { return t.hasMultipleTrees; }
  static int NodeIdCounter(const T& t) { return t.nodeIdCounter; }
  static std::vector<Splits>& RuleSplitVars(T& t) { return t.ruleSplitVars; }
  static void SetDictionary(T& t, ScoreDictionary* d) { t.dictionary = d; }
  static void SetTransformationDictionary(T& t, TransformationDictionary* d) {
    t.transformationDictionary = d;
  }
  static void SetTarget(T& t, const ScoreDictVar* target) { t.targetVar = target; }
  static void SetRuleSet(T& t, bool on) { t.isRuleSet = on; }
  static void SetLegacyVendorPMML(T& t, bool on) { t.isLegacyVendorPMML = on; }

  // Node identifiers and cost cells.
  static void SetNodeId(T& t, ScoreNodeStats* stats, xercesc::DOMElement* node) {
    t.SetNodeId(stats, node);
  }
  static void ScanTreeModel(T& t, Node* treeModel) { t.ScanTreeModel(treeModel); }
  static void ForgetScan(T& t) { t.nodeExtensionInfo.clear(); }
  static void HandleMisclassificationCost(
      T& t, xercesc::DOMNodeList* cells,
      std::map<std::string, std::map<std::string, double>>& costs) {
    t.HandleMisclassificationCost(cells, costs);
  }

  // Predicate readers.
  static void HandlePredicate(T& t, Node* holder, Splits& splits, int childCount, int childIndex,
                              const XMLCh* fieldName, int splitIndex) {
    t.HandlePredicate(holder, splits, childCount, childIndex, fieldName, splitIndex);
  }
  static void SetNodeDiscreteSplit(T& t, Splits& splits, Node* holder, const ScoreDictVar* var,
                                   int childCount, int childIndex, int splitIndex,
                                   const XMLCh* fieldName) {
    t.SetNodeDiscreteSplit(splits, holder, var, childCount, childIndex, splitIndex, fieldName);
  }
  static int GetIndexOfOrdinalValue(T& t, const std::string& text, const ScoreDictVar* var) {
    return t.GetIndexOfOrdinalValue(text, var);
  }
  static void HandleSetPredicate(T& t, Node* predicate, Splits& splits, int childCount,
                                 int childIndex, const XMLCh* fieldName, int splitIndex) {
    t.HandleSetPredicate(predicate, splits, childCount, childIndex, fieldName, splitIndex);
  }
  static void SetArrayDiscreteSplit(T& t, Splits& splits, Node* predicate, const ScoreDictVar* var,
                                    int childIndex, int splitIndex) {
    t.SetArrayDiscreteSplit(splits, predicate, var, childIndex, splitIndex);
  }
  static std::vector<std::string> GetArrayElements(T& t, Node* array, const XMLCh* type) {
    return t.GetArrayElements(array, type);
  }
  static std::vector<std::string> Remove(T& t, const ScoreDictVar* var,
                                         std::vector<std::string> elements) {
    return t.Remove(var, std::move(elements));
  }
  static bool IsCategoryValue(T& t, const ScoreDictVar* var, const std::string& text) {
    return t.IsCategoryValue(var, text);
  }
  static std::string GetValueString(T& t, const XMLCh* value, const XMLCh* type) {
    return t.GetValueString(value, type);
  }
  static bool HandleCompoundPredicate(T& t, Node* compound, Splits& splits, int childCount,
                                      int childIndex, int splitIndex) {
    return t.HandleCompoundPredicate(compound, splits, childCount, childIndex, splitIndex);
  }
};
using Peer = DendrixPMMLTranslatorTestPeer;
