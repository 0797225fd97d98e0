#pragma once

// Test access to the translator's predicate readers and the state they use.
// Everything set here is borrowed by the translator; the test keeps owning it
// (the model included: the translator never deletes it).

#include <string>
#include <vector>

#include "host/ScoreDictionary.h"
#include "host/ScoreSplitVar.h"
#include "host/TransformationDictionary.h"
#include "plugin/DendrixPMMLTranslator.h"
#include "scoring/DendrixPMMLModel.h"

class DendrixPMMLTranslatorTestPeer {
 public:
  using Splits = std::vector<ScoreSplitVar*>;

  static void SetDictionary(DendrixPMMLTranslator& t, ScoreDictionary* d) { t.dictionary = d; }
  static void SetTransformationDictionary(DendrixPMMLTranslator& t, TransformationDictionary* d) {
    t.transformationDictionary = d;
  }
  static void SetTarget(DendrixPMMLTranslator& t, const ScoreDictVar* target) {
    t.targetVar = target;
  }
  static void SetRuleSet(DendrixPMMLTranslator& t, bool on) { t.isRuleSet = on; }
  static void SetLegacyVendorPMML(DendrixPMMLTranslator& t, bool on) { t.isLegacyVendorPMML = on; }
  static DendrixPMMLModel* Model(const DendrixPMMLTranslator& t) { return t.model; }
  static const XMLCh* FieldNameBuffer(const DendrixPMMLTranslator& t) { return t.fieldNameBuffer; }

  static void HandlePredicate(DendrixPMMLTranslator& t, xercesc::DOMNode* holder, Splits& splits,
                              int childCount, int childIndex, const XMLCh* fieldName,
                              int splitIndex) {
    t.HandlePredicate(holder, splits, childCount, childIndex, fieldName, splitIndex);
  }
  static void SetNodeScaleSplit(DendrixPMMLTranslator& t, Splits& splits, xercesc::DOMNode* holder,
                                const ScoreDictVar* var, int childCount, int childIndex,
                                int splitIndex, const XMLCh* fieldName) {
    t.SetNodeScaleSplit(splits, holder, var, childCount, childIndex, splitIndex, fieldName);
  }
  static void GetScaleSplitValue(DendrixPMMLTranslator& t, const XMLCh* value, const XMLCh* op,
                                 double& low, double& high, bool& closed) {
    t.GetScaleSplitValue(value, op, low, high, closed);
  }
  static void SetNodeDiscreteSplit(DendrixPMMLTranslator& t, Splits& splits,
                                   xercesc::DOMNode* holder, const ScoreDictVar* var,
                                   int childCount, int childIndex, int splitIndex,
                                   const XMLCh* fieldName) {
    t.SetNodeDiscreteSplit(splits, holder, var, childCount, childIndex, splitIndex, fieldName);
  }
  static void SetDiscreteSplitValue(DendrixPMMLTranslator& t, const ScoreDictVar* var,
                                    DiscreteSplit* split, const XMLCh* value, int childIndex) {
    t.SetDiscreteSplitValue(var, split, value, childIndex);
  }
  static int HandleOrdinalVariable(DendrixPMMLTranslator& t, xercesc::DOMElement* predicate,
                                   const ScoreDictVar* var, int& low, int& high) {
    return t.HandleOrdinalVariable(predicate, var, low, high);
  }
  static int GetIndexOfOrdinalValue(DendrixPMMLTranslator& t, const std::string& text,
                                    const ScoreDictVar* var) {
    return t.GetIndexOfOrdinalValue(text, var);
  }
  static void HandleSetPredicate(DendrixPMMLTranslator& t, xercesc::DOMNode* predicate,
                                 Splits& splits, int childCount, int childIndex,
                                 const XMLCh* fieldName, int splitIndex) {
    t.HandleSetPredicate(predicate, splits, childCount, childIndex, fieldName, splitIndex);
  }
  static void SetArrayDiscreteSplit(DendrixPMMLTranslator& t, Splits& splits,
                                    xercesc::DOMNode* predicate, const ScoreDictVar* var,
                                    int childIndex, int splitIndex) {
    t.SetArrayDiscreteSplit(splits, predicate, var, childIndex, splitIndex);
  }
  static xercesc::DOMNode* GetArrayNode(DendrixPMMLTranslator& t, xercesc::DOMNode* predicate) {
    return t.GetArrayNode(predicate);
  }
  static std::vector<std::string> GetArrayElements(DendrixPMMLTranslator& t,
                                                   xercesc::DOMNode* array, const XMLCh* type) {
    return t.GetArrayElements(array, type);
  }
  static std::vector<std::string> Remove(DendrixPMMLTranslator& t, const ScoreDictVar* var,
                                         std::vector<std::string> elements) {
    return t.Remove(var, std::move(elements));
  }
  static bool IsCategoryValue(DendrixPMMLTranslator& t, const ScoreDictVar* var,
                              const std::string& text) {
    return t.IsCategoryValue(var, text);
  }
  static std::string GetValueString(DendrixPMMLTranslator& t, const XMLCh* value,
                                    const XMLCh* type) {
    return t.GetValueString(value, type);
  }
  static bool HandleCompoundPredicate(DendrixPMMLTranslator& t, xercesc::DOMNode* compound,
                                      Splits& splits, int childCount, int childIndex,
                                      int splitIndex) {
    return t.HandleCompoundPredicate(compound, splits, childCount, childIndex, splitIndex);
  }
};
