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
  static void HandleSetPredicate(DendrixPMMLTranslator& t, xercesc::DOMNode* predicate,
                                 Splits& splits, int childCount, int childIndex,
                                 const XMLCh* fieldName, int splitIndex) {
    t.HandleSetPredicate(predicate, splits, childCount, childIndex, fieldName, splitIndex);
  }
  static bool HandleCompoundPredicate(DendrixPMMLTranslator& t, xercesc::DOMNode* compound,
                                      Splits& splits, int childCount, int childIndex,
                                      int splitIndex) {
    return t.HandleCompoundPredicate(compound, splits, childCount, childIndex, splitIndex);
  }
  static std::vector<std::string> GetArrayElements(DendrixPMMLTranslator& t,
                                                   xercesc::DOMNode* array, const XMLCh* type) {
    return t.GetArrayElements(array, type);
  }
  static std::string GetValueString(DendrixPMMLTranslator& t, const XMLCh* value,
                                    const XMLCh* type) {
    return t.GetValueString(value, type);
  }
};
