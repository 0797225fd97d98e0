#pragma once

// Reader tests: small PMML documents built from pieces, a fixture that reads
// them through the public reader, and readable dumps of what it built. A read
// outcome owns the model when the read succeeded.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "host/ScoreModel.h"
#include "host/ScoreSplitVar.h"
#include "host/ScoreValue.h"
#include "host/VeltraException.h"
#include "host/XmlDocument.h"
#include "pmml/DendrixPMMLTranslator.h"
#include "scoring/DendrixPMMLModel.h"
#include "tree/CompositeTreeNode.h"
#include "tree/TreeClsResult.h"
#include "tree/TreeRegResult.h"

namespace reader_test {

inline std::string Field(const std::string& name, const std::string& optype,
                         const std::string& dataType, const std::vector<std::string>& values = {}) {
  std::string text =
      "<DataField name=\"" + name + "\" optype=\"" + optype + "\" dataType=\"" + dataType + "\">";
  for (const std::string& v : values) text += "<Value value=\"" + v + "\"/>";
  return text + "</DataField>";
}

// Target "class" (A, B, C); continuous x, y, amount; nominal color; string
// ordinal grade; integer ordinal level; integer nominal code.
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

// A schema predicting target from the active fields.
inline std::string Schema(const std::string& target = "class",
                          const std::vector<std::string>& active = {"x", "y"}) {
  std::string text = "<MiningSchema>" + MiningField(target, "predicted");
  for (const std::string& a : active) text += MiningField(a, "active");
  return text + "</MiningSchema>";
}

inline std::string TreeModel(const std::string& nodes, const std::string& attributes = "",
                             const std::string& schema = Schema()) {
  return "<TreeModel functionName=\"classification\" " + attributes + ">" + schema + nodes +
         "</TreeModel>";
}

inline std::string Document(const std::string& body, const std::string& fields = StandardFields(),
                            const std::string& pmmlAttributes = "version=\"4.3\"",
                            const std::string& header = "") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><PMML " + pmmlAttributes + ">" + header +
         "<DataDictionary>" + fields + "</DataDictionary>" + body + "</PMML>";
}

// A node with score; extra goes inside (predicate, distributions, children).
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
inline std::string Simple(const std::string& field, const std::string& op) {
  return "<SimplePredicate field=\"" + field + "\" operator=\"" + op + "\"/>";
}
inline std::string Compound(const std::string& op, const std::string& parts) {
  return "<CompoundPredicate booleanOperator=\"" + op + "\">" + parts + "</CompoundPredicate>";
}
inline std::string SetPred(const std::string& field, const std::string& op,
                           const std::string& arrayAttributes, const std::string& content) {
  return "<SimpleSetPredicate field=\"" + field + "\" booleanOperator=\"" + op + "\"><Array " +
         arrayAttributes + ">" + content + "</Array></SimpleSetPredicate>";
}

// Matches a call that throws a VeltraException with code and a message
// matching message.
template <typename Message>
auto ThrowsRefusal(int code, Message message) {
  using namespace ::testing;
  return Throws<VeltraException>(AllOf(Property(&VeltraException::GetCode, code),
                                       Property(&VeltraException::GetMessage, message)));
}

struct ReadOutcome {
  std::unique_ptr<DendrixPMMLTranslator> translator;
  std::unique_ptr<ScoreModel> model;
  int code = 0;  // of the refusal
  std::string message;

  DendrixPMMLModel* operator->() const { return static_cast<DendrixPMMLModel*>(model.get()); }
};

class ReaderTest : public ::testing::Test {
 protected:
  ReadOutcome Read(const std::string& xml) {
    ReadOutcome outcome;
    XmlDocument document;
    XmlParseError error;
    if (!document.ParseMemory(xml, &error)) {
      throw std::runtime_error("test document does not parse: " + error.message);
    }
    outcome.translator = std::make_unique<DendrixPMMLTranslator>();
    try {
      outcome.model.reset(
          outcome.translator->ParseFromTree(document.GetDocument(), document.GetEncoding()));
    } catch (const VeltraException& e) {
      outcome.code = e.GetCode();
      outcome.message = e.GetMessage();
    }
    return outcome;
  }

  // Reads a document that must be accepted; a refusal ends the test.
  ReadOutcome ReadOk(const std::string& xml) {
    ReadOutcome outcome = Read(xml);
    if (!outcome.model) {
      throw std::runtime_error("refused, code " + std::to_string(outcome.code) + ": " +
                               outcome.message + "; document ends ..." +
                               xml.substr(xml.size() - std::min<size_t>(xml.size(), 300)));
    }
    return outcome;
  }

  // Reads a document that must be refused with code and, unless empty
  // (the host's wording), message.
  void Refused(const std::string& xml, int code, const std::string& message = "",
               const std::string& what = "") {
    ReadOutcome outcome = Read(xml);
    EXPECT_FALSE(outcome.model) << what;
    EXPECT_EQ(outcome.code, code) << what << ": " << outcome.message;
    EXPECT_TRUE(message.empty() || outcome.message == message) << what << ": " << outcome.message;
  }

  XercesSession session_;
};

inline const TreeClsResult* ClsStats(const TreeNode* node) {
  return dynamic_cast<const TreeClsResult*>(node->GetNodeStats());
}
inline const TreeRegResult* RegStats(const TreeNode* node) {
  return dynamic_cast<const TreeRegResult*>(node->GetNodeStats());
}

// A node's statistics in one line: "100: A 0.6 B 0.4 -> A, biggest 1,
// confident 0" (record count, each category with its share, prediction,
// biggest child, child on max confidence) or, for a regression node,
// "10.5 sd 2.5 n 12, biggest 1".
inline std::string Statistics(const TreeNode* node) {
  std::ostringstream text;
  if (const TreeRegResult* reg = RegStats(node)) {
    text << reg->GetPrediction()->ToDouble() << " sd " << reg->GetStdDev() << " n "
         << reg->GetCount() << ", biggest " << reg->GetBiggestChild();
    return text.str();
  }
  const TreeClsResult* stats = ClsStats(node);
  text << stats->GetTotalRecord() << ":";
  for (const auto& [value, share] : stats->GetAllValuePercent()) {
    text << ' ' << value->ToString() << ' ' << share;
  }
  text << " -> " << stats->GetPrediction()->ToString() << ", biggest " << stats->GetBiggestChild()
       << ", confident " << stats->GetChildIndexOnMaxConfidence();
  return text.str();
}

// Node identifiers of a tree in pre-order.
inline std::vector<std::string> Ids(const TreeNode* node) {
  std::vector<std::string> ids{node->GetNodeStats()->GetNodeID()};
  for (int i = 0; i < node->GetChildCount(); ++i) {
    for (std::string& id : Ids(node->GetChildAt(i))) ids.push_back(std::move(id));
  }
  return ids;
}

// "x: (-inf, 5] -> 0; (5, +inf) -> 1; missing -> -1" for a range split,
// "color: red -> 0; missing -> -1" for a value split ("#2" for a number).
inline std::string Layout(const ScoreSplitVar* split) {
  const auto bound = [](double x) {
    return std::isinf(x) ? (x < 0 ? "-inf" : "+inf") : NumericValue::FormatDouble(x);
  };
  std::string text = split->GetSplitName() + ": ";
  if (const auto* scale = dynamic_cast<const ScaleSplit*>(split)) {
    for (const auto& [range, child] : scale->GetRanges()) {
      text += std::string(range->IsLowClosed() ? "[" : "(") + bound(range->GetLow()) + ", " +
              bound(range->GetHigh()) + (range->IsHighClosed() ? "]" : ")") + " -> " +
              std::to_string(child) + "; ";
    }
  } else if (const auto* discrete = dynamic_cast<const DiscreteSplit*>(split)) {
    for (const auto& [value, child] : discrete->GetValues()) {
      text += (value->IsNumeric() ? "#" : "") + value->ToString() + " -> " + std::to_string(child) +
              "; ";
    }
  }
  return text + "missing -> " + std::to_string(split->GetMissvalMap());
}

// The layouts of every split a node holds, one per line.
inline std::string Layouts(const TreeNode* node) {
  std::string text;
  if (const std::vector<ScoreSplitVar*>* splits = node->GetSplitVar()) {
    for (const ScoreSplitVar* split : *splits) text += Layout(split) + "\n";
  }
  return text;
}

}  // namespace reader_test
