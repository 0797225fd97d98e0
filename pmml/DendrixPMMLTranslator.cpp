#include "pmml/DendrixPMMLTranslator.h"

#include <algorithm>
#include <map>
#include <new>
#include <string>
#include <vector>
#include <xercesc/util/XMLString.hpp>

#include "host/Codes.h"
#include "host/ScoreSplitVar.h"
#include "host/TransformationDictionary.h"
#include "host/VeltraException.h"
#include "legacy/DendrixTranslator.h"
#include "pmml/DocumentLimits.h"
#include "pmml/ReaderConstants.h"
#include "scoring/DendrixPMMLModel.h"
#include "tree/CompositeTreeNode.h"

using xercesc::DOMDocument;
using xercesc::DOMElement;
using xercesc::DOMNode;
using xercesc::DOMNodeList;

namespace {

// The cost cells under container: the correctly spelt element name first,
// the misspelt one when there is none of those. Null when neither occurs.
DOMNodeList* FindCostCells(const DOMNode* container) {
  DOMNodeList* cells = BaseTranslator::GetElementsByTagName(container, "X-MisclassificationCost");
  if (cells == nullptr || cells->item(0) == nullptr) {
    cells = BaseTranslator::GetElementsByTagName(container, "X-MisclassificatonCost");
  }
  return (cells != nullptr && cells->item(0) != nullptr) ? cells : nullptr;
}

}  // namespace

DendrixPMMLTranslator::DendrixPMMLTranslator()
    : PMMLTranslator(""),
      root(nullptr),
      model(new DendrixPMMLModel()),
      dictionary(nullptr),
      transformationDictionary(nullptr),
      targetVar(nullptr),
      fieldNameBuffer(new XMLCh[kFieldNameBufferSize]()),
      nodeIdCounter(0),
      isRuleSet(false),
      ruleIndex(0),
      hasMultipleTrees(false),
      hasMisclassificationCost(false),
      isCFive(false),
      isLegacyVendorPMML(false),
      ownsModel(true) {}

DendrixPMMLTranslator::DendrixPMMLTranslator(const DendrixPMMLTranslator& other)
    : PMMLTranslator(other),
      root(other.root),
      model(other.model),
      dictionary(other.dictionary),
      transformationDictionary(other.transformationDictionary),
      targetVar(other.targetVar),
      fieldNameBuffer(new XMLCh[kFieldNameBufferSize]()),
      nodeIdCounter(other.nodeIdCounter),
      isRuleSet(other.isRuleSet),
      ruleSplitVars(other.ruleSplitVars),
      ruleIndex(other.ruleIndex),
      hasMultipleTrees(other.hasMultipleTrees),
      hasMisclassificationCost(other.hasMisclassificationCost),
      isCFive(other.isCFive),
      isLegacyVendorPMML(other.isLegacyVendorPMML),
      ownsModel(false),
      nodeExtensionInfo(other.nodeExtensionInfo) {
  if (other.fieldNameBuffer != nullptr) {
    std::copy(other.fieldNameBuffer, other.fieldNameBuffer + kFieldNameBufferSize, fieldNameBuffer);
  }
}

DendrixPMMLTranslator& DendrixPMMLTranslator::operator=(const DendrixPMMLTranslator& other) {
  if (this == &other) {
    return *this;
  }
  PMMLTranslator::operator=(other);
  if (ownsModel && model != other.model) {
    delete model;
  }
  ownsModel = false;
  root = other.root;
  model = other.model;
  dictionary = other.dictionary;
  transformationDictionary = other.transformationDictionary;
  targetVar = other.targetVar;
  if (fieldNameBuffer == nullptr) {
    fieldNameBuffer = new XMLCh[kFieldNameBufferSize]();
  }
  if (other.fieldNameBuffer != nullptr) {
    std::copy(other.fieldNameBuffer, other.fieldNameBuffer + kFieldNameBufferSize, fieldNameBuffer);
  } else {
    std::fill(fieldNameBuffer, fieldNameBuffer + kFieldNameBufferSize, XMLCh(0));
  }
  nodeIdCounter = other.nodeIdCounter;
  isRuleSet = other.isRuleSet;
  ruleSplitVars = other.ruleSplitVars;
  ruleIndex = other.ruleIndex;
  hasMultipleTrees = other.hasMultipleTrees;
  hasMisclassificationCost = other.hasMisclassificationCost;
  isCFive = other.isCFive;
  isLegacyVendorPMML = other.isLegacyVendorPMML;
  nodeExtensionInfo = other.nodeExtensionInfo;
  return *this;
}

// A translator that never handed out its model (nothing was read) frees it.
DendrixPMMLTranslator::~DendrixPMMLTranslator() {
  delete[] fieldNameBuffer;
  if (ownsModel) {
    delete model;
  }
}

ScoreModel* DendrixPMMLTranslator::ParseFromTree(DOMDocument* document,
                                                 const std::string& encoding) {
  bool dictionaryGiven = false;
  bool transformationGiven = false;
  bool rootGiven = false;
  try {
    CreateTranscoder(encoding);
    if (document == nullptr) {
      throw VeltraException(ErrorCode::kMalformed, "No document to read!");
    }
    CheckTreeNodeCount(document, kMaxTreeNodes);

    DOMNodeList* pmmlElements = GetElementsByTagName(document, "PMML");
    if (pmmlElements == nullptr || pmmlElements->item(0) == nullptr) {
      // Legacy layout: its own reader builds its own model; the empty model
      // made by the constructor is not used and is released here.
      ScoreModel* legacyModel = nullptr;
      {
        DendrixTranslator legacy;
        legacyModel = legacy.ParseFromTree(document, encoding);
      }
      delete model;
      model = nullptr;
      return legacyModel;
    }

    const std::string version = Transcode(GetAttribute(pmmlElements->item(0), "version"));
    const bool isVersion2 = !version.empty() && version[0] == '2';
    const bool isVersion30 = !isVersion2 && version == "3.0";

    DOMElement* top = document->getDocumentElement();
    DOMNodeList* applications = GetElementsByTagName(top, "Application");
    if (applications != nullptr && applications->item(0) != nullptr) {
      const std::string application = Transcode(GetAttributeForced(applications->item(0), "name"));
      if ((application == "Quellan" || application == "Dendrix") && (isVersion2 || isVersion30)) {
        isLegacyVendorPMML = true;
      }
    }

    dictionary = ParseDictionary(GetChildByTagForced(top, "DataDictionary"));

    DOMElement* transformation = GetChildByTag(top, "TransformationDictionary");
    if (transformation != nullptr) {
      transformationDictionary = HandleTransformationDictionary(transformation, dictionary);
      transformationDictionary->SetUpDerivedCaseRecord();
      model->SetTransformationScoreDictionary(transformationDictionary);
      transformationGiven = true;
    }

    DOMNodeList* treeModels = GetElementsByTagName(document, "TreeModel");

    model->SetScoreDictionary(dictionary);
    dictionaryGiven = true;

    DOMNodeList* costCells = nullptr;
    if (DOMElement* extension = GetChildByTag(top, "Extension")) {
      costCells = FindCostCells(extension);
    }
    hasMisclassificationCost = costCells != nullptr;

    DOMNode* firstTree = treeModels != nullptr ? treeModels->item(0) : nullptr;
    if (firstTree == nullptr) {
      throw VeltraException(ErrorCode::kMalformed, "Node element is missing!");
    }

    if (costCells == nullptr) {
      for (DOMElement* child = GetFirstChildElt(firstTree); child != nullptr;
           child = GetNextSiblingElt(child)) {
        if (!IsEqual(child->getTagName(), "Extension")) {
          continue;
        }
        DOMElement* first = GetFirstChildElt(child);
        if (first != nullptr && (IsEqual(first->getTagName(), "X-MisclassificatonCost") ||
                                 IsEqual(first->getTagName(), "X-MisclassificationCost"))) {
          costCells = FindCostCells(child);
          hasMisclassificationCost = costCells != nullptr;
          break;
        }
      }
    }

    const XMLCh* algorithm = GetAttribute(firstTree, "algorithmName");
    if (algorithm != nullptr && *algorithm != 0) {
      if (IsEqual(algorithm, "C5") || IsEqual(algorithm, "c5")) {
        isCFive = true;
        model->SetCFive(true);
      } else if (IsEqual(algorithm, "RuleSet")) {
        isRuleSet = true;
      }
    }

    root = BuildTreePMML(firstTree);

    if (treeModels->item(1) != nullptr) {
      hasMultipleTrees = true;
      for (XMLSize_t i = 1; DOMNode* tree = treeModels->item(i); ++i) {
        ReleaseRuleSplitVars();
        ruleIndex = 0;
        CompositeTreeNode* built = BuildTreePMML(tree);
        try {
          model->SetMultipleNodes(built);
        } catch (...) {
          delete built;  // not stored
          throw;
        }
      }
    }

    // The model owns the tree from here on, even when SetRoot refuses it.
    rootGiven = true;
    model->SetRoot(root);

    if (hasMisclassificationCost) {
      if (targetVar != nullptr && targetVar->GetCategoryCount() > kMaxCostCategories) {
        throw VeltraException(ErrorCode::kUnsupported,
                              "Misclassification costs for a target with more than " +
                                  std::to_string(kMaxCostCategories) +
                                  " categories are not supported!");
      }
      std::map<std::string, std::map<std::string, double>> costs;
      HandleMisclassificationCost(costCells, costs);
      model->SetMisclassificationCost(costs);
    }
    ownsModel = false;
    return model;
  } catch (...) {
    ReleaseAfterFailure(dictionaryGiven, transformationGiven, rootGiven);
    throw;
  }
}

// When the host's reading fails before the document overload runs (the text
// is not well-formed or cannot be read), the model made by the constructor
// is still here: nothing else would release it.
ScoreModel* DendrixPMMLTranslator::ParseFromTree(const std::string& fileName,
                                                 const std::string& encoding) {
  try {
    return BaseTranslator::ParseFromTree(fileName, encoding);
  } catch (const VeltraException&) {
    delete model;  // null when the document overload failed and released it
    model = nullptr;
    throw;
  }
}

ScoreModel* DendrixPMMLTranslator::ParseFromTree(std::istream& in, const std::string& encoding,
                                                 const std::string& systemId) {
  try {
    return BaseTranslator::ParseFromTree(in, encoding, systemId);
  } catch (const VeltraException&) {
    delete model;
    model = nullptr;
    throw;
  }
}

CompositeTreeNode* DendrixPMMLTranslator::BuildTreePMML(DOMNode* treeModel) {
  try {
    if (!hasMultipleTrees) {
      HandleMiningSchema(GetChildByTagForced(treeModel, "MiningSchema"));
    }
    DOMNodeList* nodes = GetElementsByTagName(treeModel, "Node");
    if (nodes == nullptr || nodes->item(0) == nullptr) {
      throw VeltraException(ErrorCode::kMalformed, "Node element is required!");
    }
    ScanTreeModel(treeModel);
    CompositeTreeNode* built = targetVar->GetMeasurementLevel() == ScoreDictVar::kContinuous
                                   ? BuildRegTree(treeModel)
                                   : BuildClsTree(treeModel);
    nodeExtensionInfo.clear();
    if (built == nullptr) {
      // Node elements only below other elements give no tree to score.
      throw VeltraException(ErrorCode::kMalformed, "TreeModel needs a Node element as its child!");
    }
    return built;
  } catch (...) {
    nodeExtensionInfo.clear();
    throw;
  }
}

void DendrixPMMLTranslator::ReleaseRuleSplitVars() {
  // Lists before ruleIndex were handed to rule nodes, which own their splits.
  for (std::size_t i = static_cast<std::size_t>(std::max(ruleIndex, 0)); i < ruleSplitVars.size();
       ++i) {
    for (ScoreSplitVar* split : ruleSplitVars[i]) {
      delete split;
    }
  }
  ruleSplitVars.clear();
}

void DendrixPMMLTranslator::ReleaseAfterFailure(bool dictionaryGiven, bool transformationGiven,
                                                bool rootGiven) {
  delete[] fieldNameBuffer;
  fieldNameBuffer = nullptr;
  ReleaseRuleSplitVars();
  ruleIndex = 0;
  nodeExtensionInfo.clear();
  if (!rootGiven) {
    delete root;
  }
  root = nullptr;
  sharedNodeValues.clear();  // owned by the model
  delete model;
  model = nullptr;
  if (!transformationGiven) {
    delete transformationDictionary;
  }
  transformationDictionary = nullptr;
  if (!dictionaryGiven) {
    delete dictionary;
  }
  dictionary = nullptr;
  targetVar = nullptr;
}
