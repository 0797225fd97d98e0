#pragma once

#include <string>
#include <vector>
#include <xercesc/dom/DOM.hpp>

#include "host/BaseDictionary.h"
#include "host/ScoreSplitVar.h"
#include "host/ScoreTranslator.h"

class CompositeTreeNode;
class DendrixPMMLModel;
class TreeClsNodeStats;

// Reads the legacy tree layout (Tree, Dictionary, ClsTree / RegTree) into a
// DendrixPMMLModel. Used once per document; the returned model (with its
// dictionary and tree) belongs to the caller. A model never handed over (no
// call, or a failed one) is released by the translator. Not thread-safe.
class DendrixTranslator : public BaseTranslator {
 public:
  DendrixTranslator();
  DendrixTranslator(const DendrixTranslator&) = delete;
  DendrixTranslator& operator=(const DendrixTranslator&) = delete;
  ~DendrixTranslator() override;

  // Node levels accepted below a ClsTree or RegTree; deeper documents are
  // refused instead of being read with unbounded recursion.
  static constexpr int kMaxNodeDepth = 1000;

  using BaseTranslator::ParseFromTree;
  // Never null on return; throws VeltraException on a malformed document.
  ScoreModel* ParseFromTree(xercesc::DOMDocument* document, const std::string& encoding) override;

 private:
  void ReadDictionary(xercesc::DOMNodeList* variables);
  DictVar* ReadVariable(xercesc::DOMElement* element);
  CompositeTreeNode* ReadClsNode(xercesc::DOMElement* element, CompositeTreeNode* parent);
  CompositeTreeNode* ReadRegNode(xercesc::DOMElement* element, CompositeTreeNode* parent);
  void ReadValuePercentage(TreeClsNodeStats* stats, xercesc::DOMElement* element);
  void ReadDiscreteSplit(std::vector<ScoreSplitVar*>& splits, xercesc::DOMElement* element);
  void ReadMappedDiscreteValues(DiscreteSplit* split, xercesc::DOMElement* element, int position);
  void ReadScaleSplit(std::vector<ScoreSplitVar*>& splits, xercesc::DOMElement* element);

  // Text of the element's first child node; code 1 when there is none.
  std::string ElementText(const xercesc::DOMElement* element) const;
  // A value of the target's type (numeric texts are verified).
  ScoreValue* MakeTargetValue(const std::string& text) const;
  // Enters one node level; code 5 beyond the nesting limit.
  void EnterNode();
  // Releases everything built and not yet handed over (failure path).
  void ReleaseAll();

  CompositeTreeNode* root;
  DendrixPMMLModel* model;
  ScoreDictionary* dictionary;
  const ScoreDictVar* target;
  std::vector<std::string> variableNames;
  bool dictionaryGiven;  // the model owns the dictionary
  int depth;             // node levels being read
};
