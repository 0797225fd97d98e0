#pragma once

// Shared helpers of the reader tests: small PMML documents built from pieces,
// a fixture that reads them, and access to the translator's reading state.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/ScoreModel.h"
#include "host/VeltraException.h"
#include "host/XmlDocument.h"
#include "plugin/DendrixPMMLTranslator.h"
#include "scoring/DendrixPMMLModel.h"
#include "tree/CompositeTreeNode.h"
#include "tree/TreeClsResult.h"
#include "tree/TreeRegResult.h"

// Befriended by the translator: reads and sets its reading state.
class DendrixPMMLReaderTestAccess {
 public:
  static bool IsLegacyVendorPMML(const DendrixPMMLTranslator& t) { return t.isLegacyVendorPMML; }
  static bool IsCFive(const DendrixPMMLTranslator& t) { return t.isCFive; }
  static bool IsRuleSet(const DendrixPMMLTranslator& t) { return t.isRuleSet; }
  static bool HasMisclassificationCost(const DendrixPMMLTranslator& t) {
    return t.hasMisclassificationCost;
  }
  static bool HasMultipleTrees(const DendrixPMMLTranslator& t) { return t.hasMultipleTrees; }
  static int NodeIdCounter(const DendrixPMMLTranslator& t) { return t.nodeIdCounter; }
  static DendrixPMMLModel* Model(const DendrixPMMLTranslator& t) { return t.model; }
  static ScoreDictionary* Dictionary(const DendrixPMMLTranslator& t) { return t.dictionary; }
  static const ScoreDictVar* Target(const DendrixPMMLTranslator& t) { return t.targetVar; }
  static const XMLCh* FieldNameBuffer(const DendrixPMMLTranslator& t) { return t.fieldNameBuffer; }
  static XMLCh* MutableFieldNameBuffer(DendrixPMMLTranslator& t) { return t.fieldNameBuffer; }
  static std::vector<std::vector<ScoreSplitVar*>>& RuleSplitVars(DendrixPMMLTranslator& t) {
    return t.ruleSplitVars;
  }
  static void SetTarget(DendrixPMMLTranslator& t, const ScoreDictVar* target) {
    t.targetVar = target;
  }
  static void SetNodeId(DendrixPMMLTranslator& t, ScoreNodeStats* stats,
                        xercesc::DOMElement* node) {
    t.SetNodeId(stats, node);
  }
  static void ScanTreeModel(DendrixPMMLTranslator& t, xercesc::DOMNode* treeModel) {
    t.ScanTreeModel(treeModel);
  }
  static void ForgetScan(DendrixPMMLTranslator& t) { t.nodeExtensionInfo.clear(); }
  static void HandleMisclassificationCost(
      DendrixPMMLTranslator& t, xercesc::DOMNodeList* cells,
      std::map<std::string, std::map<std::string, double>>& costs) {
    t.HandleMisclassificationCost(cells, costs);
  }
};

namespace reader_test {

// Categories given as (value) lists; fields as complete DataField elements.
inline std::string Field(const std::string& name, const std::string& optype,
                         const std::string& dataType, const std::vector<std::string>& values = {}) {
  std::string text =
      "<DataField name=\"" + name + "\" optype=\"" + optype + "\" dataType=\"" + dataType + "\">";
  for (const std::string& v : values) {
    text += "<Value value=\"" + v + "\"/>";
  }
  return text + "</DataField>";
}

// A target "class" (A, B, C), continuous inputs x and y, a nominal "color",
// a string ordinal "grade", an integer ordinal "level", a continuous "amount"
// and an integer nominal "code".
inline std::string StandardFields() {
  return Field("class", "categorical", "string", {"A", "B", "C"}) +
         Field("x", "continuous", "double") + Field("y", "continuous", "double") +
         Field("color", "categorical", "string", {"red", "green", "blue"}) +
         Field("grade", "ordinal", "string", {"low", "mid", "high"}) +
         Field("level", "ordinal", "integer", {"1", "2", "3"}) +
         Field("amount", "continuous", "double") +
         Field("code", "categorical", "integer", {"1", "2"});
}

inline std::string MiningField(const std::string& name, const std::string& usage) {
  return "<MiningField name=\"" + name + "\" usageType=\"" + usage + "\"/>";
}

inline std::string StandardSchema(const std::string& target = "class") {
  return "<MiningSchema>" + MiningField(target, "predicted") + MiningField("x", "active") +
         MiningField("y", "active") + "</MiningSchema>";
}

inline std::string TreeModel(const std::string& nodes, const std::string& attributes = "",
                             const std::string& schema = StandardSchema()) {
  return "<TreeModel functionName=\"classification\" " + attributes + ">" + schema + nodes +
         "</TreeModel>";
}

inline std::string Document(const std::string& body, const std::string& fields = StandardFields(),
                            const std::string& pmmlAttributes = "version=\"4.3\"",
                            const std::string& header = "") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><PMML " + pmmlAttributes + ">" + header +
         "<DataDictionary>" + fields + "</DataDictionary>" + body + "</PMML>";
}

// A classification node; extra is placed inside (predicate, distributions,
// children).
inline std::string ClsNode(const std::string& score, const std::string& extra,
                           const std::string& attributes = "") {
  return "<Node score=\"" + score + "\" " + attributes + ">" + extra + "</Node>";
}

inline std::string Dist(const std::string& value, const std::string& count) {
  return "<ScoreDistribution value=\"" + value + "\" recordCount=\"" + count + "\"/>";
}

inline std::string Simple(const std::string& field, const std::string& op,
                          const std::string& value) {
  return "<SimplePredicate field=\"" + field + "\" operator=\"" + op + "\" value=\"" + value +
         "\"/>";
}

// The outcome of reading one document. Keeps the translator so its reading
// state can be looked at; owns the model when the read succeeded.
struct ReadOutcome {
  std::unique_ptr<DendrixPMMLTranslator> translator;
  std::unique_ptr<ScoreModel> model;
  bool failed = false;
  int code = 0;
  std::string message;

  DendrixPMMLModel* Model() const { return static_cast<DendrixPMMLModel*>(model.get()); }
};

// Owns a live Xerces session for the test; read outcomes must be released
// before it (they are locals of the test body).
class ReaderTest : public ::testing::Test {
 protected:
  ReadOutcome Read(const std::string& xml) {
    ReadOutcome outcome;
    XmlDocument document;
    XmlParseError error;
    if (!document.ParseMemory(xml, &error)) {
      ADD_FAILURE() << "test document does not parse: " << error.message << " at " << error.line
                    << ":" << error.column;
      outcome.failed = true;
      return outcome;
    }
    outcome.translator = std::make_unique<DendrixPMMLTranslator>();
    try {
      outcome.model.reset(
          outcome.translator->ParseFromTree(document.GetDocument(), document.GetEncoding()));
    } catch (const VeltraException& e) {
      outcome.failed = true;
      outcome.code = e.GetCode();
      outcome.message = e.GetMessage();
    }
    return outcome;
  }

  // Reads a document that must be accepted.
  ReadOutcome ReadOk(const std::string& xml) {
    ReadOutcome outcome = Read(xml);
    EXPECT_FALSE(outcome.failed) << "code " << outcome.code << ": " << outcome.message;
    return outcome;
  }

  XercesSession session_;
};

// Statistics of a node of a built tree.
inline const TreeClsResult* ClsStats(const TreeNode* node) {
  return dynamic_cast<const TreeClsResult*>(node->GetNodeStats());
}
inline const TreeRegResult* RegStats(const TreeNode* node) {
  return dynamic_cast<const TreeRegResult*>(node->GetNodeStats());
}

// Node identifiers of a tree in pre-order.
inline void CollectIds(const TreeNode* node, std::vector<std::string>& ids) {
  ids.push_back(node->GetNodeStats()->GetNodeID());
  for (int i = 0; i < node->GetChildCount(); ++i) {
    CollectIds(node->GetChildAt(i), ids);
  }
}

}  // namespace reader_test
