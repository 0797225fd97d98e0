#pragma once

#include <map>
#include <string>
#include <unordered_map>
#include <vector>
#include <xercesc/dom/DOM.hpp>

#include "host/ScoreResult.h"
#include "host/ScoreSplitVar.h"
#include "host/ScoreTranslator.h"

class CompositeTreeNode;
class DendrixPMMLModel;
class TreeClsNodeStats;
class TreeRegNodeStats;
class DendrixPMMLTranslatorTestPeer;

// Reads a PMML tree document (or, without a PMML element, the legacy tree
// layout) into a DendrixPMMLModel. One translator reads one document; the
// returned model belongs to the caller and the translator may then be
// destroyed. Not thread-safe; use one translator per thread.
class DendrixPMMLTranslator : public PMMLTranslator {
 public:
  DendrixPMMLTranslator();
  // Shares the model, dictionaries, target and tree; has its own rule split
  // lists and field-name buffer.
  DendrixPMMLTranslator(const DendrixPMMLTranslator& other);
  DendrixPMMLTranslator& operator=(const DendrixPMMLTranslator& other);
  ~DendrixPMMLTranslator() override;

  using BaseTranslator::ParseFromTree;
  // The caller owns the returned model. Throws VeltraException; the model is
  // then destroyed and the translator is only fit to be destroyed.
  ScoreModel* ParseFromTree(xercesc::DOMDocument* document, const std::string& encoding) override;
  // As the host's file and stream reading; a document that cannot be parsed
  // also destroys the model made by the constructor.
  ScoreModel* ParseFromTree(const std::string& fileName, const std::string& encoding) override;
  ScoreModel* ParseFromTree(std::istream& in, const std::string& encoding,
                            const std::string& systemId) override;

 private:
  friend class DendrixPMMLTranslatorTestPeer;

  // Document dispatch.
  CompositeTreeNode* BuildTreePMML(xercesc::DOMNode* treeModel);
  // Mining schema.
  void HandleMiningSchema(xercesc::DOMElement* miningSchema);
  void HandleMiningField(xercesc::DOMElement* field, bool fromExtension);
  // Node construction.
  CompositeTreeNode* BuildClsTree(xercesc::DOMNode* treeModel);
  CompositeTreeNode* BuildRegTree(xercesc::DOMNode* treeModel);
  CompositeTreeNode* InsertClsTreeNode(xercesc::DOMNode* node, CompositeTreeNode* parent,
                                       double& recordCount, double& confidence);
  CompositeTreeNode* InsertRegTreeNode(xercesc::DOMNode* node, CompositeTreeNode* parent);
  // The one predicate of child node childIndex, into splits. A compound
  // predicate that marks the child as the biggest sets that on stats; with
  // fieldRequired a SimplePredicate must name its field.
  void HandleChildPredicate(xercesc::DOMElement* child, std::vector<ScoreSplitVar*>& splits,
                            int childCount, int childIndex, bool fieldRequired,
                            ScoreNodeStats* stats);
  // The model's one value for a category text of the target, made (and
  // handed to the model) on first use; null when the target refuses it.
  ScoreValue* SharedNodeValue(const std::string& text);
  void SetNodeValue(TreeClsNodeStats* stats, const XMLCh* score);
  void SetNodeValue(TreeRegNodeStats* stats, const XMLCh* score);
  void SetNodeValuePercent(TreeClsNodeStats* stats, xercesc::DOMElement* scoreDistribution,
                           double total);
  void SetStdDeviation(TreeRegNodeStats* stats, xercesc::DOMElement* regInfo);
  void SetNodeId(ScoreNodeStats* stats, xercesc::DOMElement* node);
  // Simple predicates and continuous splits.
  void HandlePredicate(xercesc::DOMNode* holder, std::vector<ScoreSplitVar*>& splits,
                       int childCount, int childIndex, const XMLCh* fieldName, int splitIndex);
  void SetNodeScaleSplit(std::vector<ScoreSplitVar*>& splits, xercesc::DOMNode* holder,
                         const ScoreDictVar* var, int childCount, int childIndex, int splitIndex,
                         const XMLCh* fieldName);
  void GetScaleSplitValue(const XMLCh* value, const XMLCh* op, double& low, double& high,
                          bool& closed);
  // Categorical splits and ordinal values.
  void SetNodeDiscreteSplit(std::vector<ScoreSplitVar*>& splits, xercesc::DOMNode* holder,
                            const ScoreDictVar* var, int childCount, int childIndex, int splitIndex,
                            const XMLCh* fieldName);
  // The split already at splitIndex of splits, which must be a discrete
  // split on var; null when the list has no entry there (or in a rule set).
  DiscreteSplit* ListedDiscreteSplit(std::vector<ScoreSplitVar*>& splits, const ScoreDictVar* var,
                                     int splitIndex);
  void SetDiscreteSplitValue(const ScoreDictVar* var, DiscreteSplit* split, const XMLCh* value,
                             int childIndex);
  int HandleOrdinalVariable(xercesc::DOMElement* predicate, const ScoreDictVar* var, int& low,
                            int& high);
  int GetIndexOfOrdinalValue(const std::string& text, const ScoreDictVar* var);
  // Set predicates and value arrays.
  void HandleSetPredicate(xercesc::DOMNode* predicate, std::vector<ScoreSplitVar*>& splits,
                          int childCount, int childIndex, const XMLCh* fieldName, int splitIndex);
  void SetArrayDiscreteSplit(std::vector<ScoreSplitVar*>& splits, xercesc::DOMNode* predicate,
                             const ScoreDictVar* var, int childIndex, int splitIndex);
  xercesc::DOMNode* GetArrayNode(xercesc::DOMNode* predicate);
  std::vector<std::string> GetArrayElements(xercesc::DOMNode* array, const XMLCh* type);
  std::vector<std::string> Remove(const ScoreDictVar* var, std::vector<std::string> elements);
  bool IsCategoryValue(const ScoreDictVar* var, const std::string& text);
  std::string GetValueString(const XMLCh* value, const XMLCh* type);
  // Compound predicates.
  bool HandleCompoundPredicate(xercesc::DOMNode* compound, std::vector<ScoreSplitVar*>& splits,
                               int childCount, int childIndex, int splitIndex);
  // Misclassification cost matrix.
  void HandleMisclassificationCost(xercesc::DOMNodeList* costCells,
                                   std::map<std::string, std::map<std::string, double>>& costs);

  CompositeTreeNode* root;
  DendrixPMMLModel* model;
  ScoreDictionary* dictionary;
  TransformationDictionary* transformationDictionary;
  const ScoreDictVar* targetVar;
  XMLCh* fieldNameBuffer;  // 128 code units, owned
  int nodeIdCounter;
  bool isRuleSet;
  std::vector<std::vector<ScoreSplitVar*>> ruleSplitVars;
  int ruleIndex;
  bool hasMultipleTrees;
  bool hasMisclassificationCost;
  bool isCFive;
  bool isLegacyVendorPMML;
  // The model is this translator's to free: made by it and not yet returned
  // (a copy shares the model and never owns it).
  bool ownsModel;

  // What lies below one Node element of the tree being read: whether any
  // Extension does, and the first "x-nodeId" Extension in document order.
  struct NodeExtensionInfo {
    bool hasExtension;
    xercesc::DOMElement* firstNodeIdExtension;
  };
  // One iterative pass over a TreeModel: rejects Node nesting deeper than
  // the supported limit and fills nodeExtensionInfo for SetNodeId.
  void ScanTreeModel(xercesc::DOMNode* treeModel);
  // Reads the rule-set scoring method from the first tree's rule-set root.
  void ReadRuleSetScoreMethod(xercesc::DOMNode* ruleSetRoot);
  // Deletes the splits of rule lists not yet attached to a rule node and
  // empties the lists.
  void ReleaseRuleSplitVars();
  // Undoes a failed ParseFromTree: everything built and not yet owned by the
  // model, then the model.
  void ReleaseAfterFailure(bool dictionaryGiven, bool transformationGiven, bool rootGiven);

  std::unordered_map<const xercesc::DOMNode*, NodeExtensionInfo> nodeExtensionInfo;
  // Category values given to node statistics, by text; owned by the model.
  std::unordered_map<std::string, ScoreValue*> sharedNodeValues;
};
