#pragma once

#include <string>
#include <vector>

#include <xercesc/dom/DOM.hpp>

#include "host/ScoreTranslator.h"
#include "plugin/PluginExport.h"

class CompositeTreeNode;
class DendrixPMMLModel;
class TreeClsNodeStats;

// Reads the legacy tree layout (Tree, Dictionary, ClsTree / RegTree) into a
// DendrixPMMLModel. Used once per document; the returned model (with its
// dictionary and tree) belongs to the caller. Not thread-safe.
class DX_PLUGIN_API DendrixTranslator : public BaseTranslator {
 public:
  DendrixTranslator();
  DendrixTranslator(const DendrixTranslator&) = delete;
  DendrixTranslator& operator=(const DendrixTranslator&) = delete;
  ~DendrixTranslator() override;

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

  CompositeTreeNode* root;
  DendrixPMMLModel* model;
  ScoreDictionary* dictionary;
  const ScoreDictVar* target;
  std::vector<std::string> variableNames;
};
