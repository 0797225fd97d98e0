#pragma once

// Fixture of the predicate reader tests: a translator with a dictionary built
// in code, DOM fragments parsed from inline text, the split list the readers
// fill (owned and freed by the fixture), and readable dumps of split layouts.

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <memory>
#include <string>
#include <vector>
#include <xercesc/util/XMLString.hpp>

#include "host/BaseDictionary.h"
#include "host/ScoreSplitVar.h"
#include "host/ScoreValue.h"
#include "host/TransformationDictionary.h"
#include "host/VeltraException.h"
#include "host/XmlDocument.h"
#include "pmml/DendrixPMMLTranslator.h"
#include "scoring/DendrixPMMLModel.h"
#include "translator_peer.h"

// Runs stmt and checks that it throws a VeltraException with this code and
// message.
#define EXPECT_VELTRA(stmt, expectedCode, expectedMessage)                        \
  do {                                                                            \
    try {                                                                         \
      stmt;                                                                       \
      ADD_FAILURE() << "no VeltraException from " #stmt;                          \
    } catch (const VeltraException& veltraError) {                                \
      EXPECT_EQ(veltraError.GetCode(), expectedCode) << veltraError.GetMessage(); \
      EXPECT_EQ(veltraError.GetMessage(), std::string(expectedMessage));          \
    }                                                                             \
  } while (0)

namespace predicate_test {

// The code of the VeltraException that f throws; 0 when it throws none.
template <typename F>
int CodeOf(F f) {
  try {
    f();
  } catch (const VeltraException& e) {
    return e.GetCode();
  }
  return 0;
}

using xercesc::DOMElement;

inline std::string Bound(double x) {
  if (std::isinf(x)) return x < 0 ? "-inf" : "+inf";
  return NumericValue::FormatDouble(x);
}

// "x: (-inf, 5] -> 0; (5, +inf) -> 1; missing -> -1" for a range split,
// "color: red -> 0; missing -> -1" for a value split ("#2" for a number).
inline std::string Layout(const ScoreSplitVar* split) {
  std::string text = split->GetSplitName() + ": ";
  if (const auto* scale = dynamic_cast<const ScaleSplit*>(split)) {
    for (const auto& [range, child] : scale->GetRanges()) {
      text += std::string(range->IsLowClosed() ? "[" : "(") + Bound(range->GetLow()) + ", " +
              Bound(range->GetHigh()) + (range->IsHighClosed() ? "]" : ")") + " -> " +
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

class PredicateTest : public ::testing::Test {
 protected:
  PredicateTest() : dictionary_(new BaseDictionary()) {
    Peer::SetDictionary(translator_, dictionary_);
  }

  ~PredicateTest() override {
    Clear();
    delete dictionary_;
    delete transformations_;
  }

  // Adds a field whose categories are values, in order (none: no value-label
  // set). Numeric categories are written as numbers.
  DictVar* AddField(BaseDictionary* dictionary, const std::string& name, int type, int level,
                    const std::vector<std::string>& values = {}) {
    auto* var = new DictVar(name, type);
    var->SetMeasurementLevel(level);
    if (!values.empty()) {
      auto* labels = new ValueLabelSet();
      for (const std::string& v : values) {
        labels->AddLabel(new ValueLbl(type == ScoreDictVar::kNumeric
                                          ? static_cast<ScoreValue*>(new NumericValue(v))
                                          : new StringValue(v),
                                      v));
      }
      var->SetValueLabelSet(labels);
    }
    EXPECT_TRUE(dictionary->AddVar(name, var));
    return var;
  }
  DictVar* AddField(const std::string& name, int type, int level,
                    const std::vector<std::string>& values = {}) {
    return AddField(dictionary_, name, type, level, values);
  }
  DictVar* Continuous(const std::string& name) {
    return AddField(name, ScoreDictVar::kNumeric, ScoreDictVar::kContinuous);
  }
  DictVar* Nominal(const std::string& name, const std::vector<std::string>& values) {
    return AddField(name, ScoreDictVar::kString, ScoreDictVar::kNominal, values);
  }

  TransformationDictionary* Transformations() {
    if (transformations_ == nullptr) {
      transformations_ = new TransformationDictionary();
      Peer::SetTransformationDictionary(translator_, transformations_);
    }
    return transformations_;
  }

  // The document element of xml; the document lives as long as the test.
  DOMElement* Parse(const std::string& xml) {
    documents_.push_back(std::make_unique<XmlDocument>());
    XmlParseError error;
    if (!documents_.back()->ParseMemory(xml, &error)) {
      ADD_FAILURE() << "fragment does not parse: " << error.message;
      return nullptr;
    }
    return documents_.back()->GetDocument()->getDocumentElement();
  }

  // UTF-16 text that lives as long as the test.
  const XMLCh* X(const std::string& text) {
    XMLCh* converted = xercesc::XMLString::transcode(text.c_str());
    texts_.emplace_back(converted);
    xercesc::XMLString::release(&converted);
    return texts_.back().c_str();
  }

  // Reads the SimplePredicates of a Node holding predicates, for the field
  // of the first one, as the node reader does.
  void Simple(const std::string& predicates, int childIndex, int splitIndex = 0) {
    DOMElement* node = Parse("<Node score=\"A\">" + predicates + "</Node>");
    const XMLCh* field = BaseTranslator::GetAttribute(
        BaseTranslator::GetChildByTag(node, "SimplePredicate"), "field");
    Peer::HandlePredicate(translator_, node, splits_, 2, childIndex, field, splitIndex);
  }
  void Set(const std::string& predicateXml, int childIndex, int splitIndex = 0) {
    DOMElement* predicate = Parse(predicateXml);
    Peer::HandleSetPredicate(translator_, predicate, splits_, 2, childIndex,
                             BaseTranslator::GetAttributeForced(predicate, "field"), splitIndex);
  }
  bool Compound(const std::string& compoundXml, int childIndex, int splitIndex = 0) {
    return Peer::HandleCompoundPredicate(translator_, Parse(compoundXml), splits_, 2, childIndex,
                                         splitIndex);
  }

  void Clear() {
    for (ScoreSplitVar* split : splits_) delete split;
    splits_.clear();
  }

  // Every split of the list, one per line.
  std::string Layouts() const {
    std::string text;
    for (const ScoreSplitVar* split : splits_) text += Layout(split) + "\n";
    return text;
  }

  XercesSession session_;  // first member: outlives everything below
  DendrixPMMLTranslator translator_;
  BaseDictionary* dictionary_;
  TransformationDictionary* transformations_ = nullptr;
  std::vector<ScoreSplitVar*> splits_;

 private:
  std::vector<std::unique_ptr<XmlDocument>> documents_;
  std::deque<std::basic_string<XMLCh>> texts_;
};

inline std::string Pred(const std::string& field, const std::string& op) {
  return "<SimplePredicate field=\"" + field + "\" operator=\"" + op + "\"/>";
}
inline std::string Pred(const std::string& field, const std::string& op, const std::string& value) {
  return "<SimplePredicate field=\"" + field + "\" operator=\"" + op + "\" value=\"" + value +
         "\"/>";
}
inline std::string CompoundXml(const std::string& op, const std::string& parts) {
  return "<CompoundPredicate booleanOperator=\"" + op + "\">" + parts + "</CompoundPredicate>";
}
inline std::string SetXml(const std::string& field, const std::string& op,
                          const std::string& arrayAttributes, const std::string& content) {
  return "<SimpleSetPredicate field=\"" + field + "\" booleanOperator=\"" + op + "\"><Array " +
         arrayAttributes + ">" + content + "</Array></SimpleSetPredicate>";
}

}  // namespace predicate_test
