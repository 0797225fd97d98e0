// Predicate readers: ranges from comparisons, category splits, arrays of
// SimpleSetPredicate, compound predicates and their failures. The fixture
// gives the translator a dictionary built in code, parses DOM fragments from
// inline text and dumps the split layouts the readers fill.

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
#include "plugin/DendrixPMMLTranslator.h"
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

using Peer = DendrixPMMLTranslatorTestPeer;
using xercesc::DOMElement;
using xercesc::DOMNode;

inline std::string Bound(double x) {
  if (std::isinf(x)) return x < 0 ? "-inf" : "+inf";
  return NumericValue::FormatDouble(x);
}

// "(-inf, 5] -> 0; (5, +inf) -> 1; missing -> -1" for a range split,
// "red -> 0; green -> 1; missing -> -1" for a value split.
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
    delete Peer::Model(translator_);
    delete dictionary_;
    delete transformations_;
  }

  // Adds a field; values are its categories in order (none: no value-label
  // set). Numeric categories are written as numbers.
  DictVar* AddField(BaseDictionary* dictionary, const std::string& name, int type, int level,
                    const std::vector<std::string>& values = {}) {
    auto* var = new DictVar(name, type);
    var->SetMeasurementLevel(level);
    if (!values.empty()) {
      auto* labels = new ValueLabelSet();
      for (const std::string& v : values) {
        ScoreValue* value = type == ScoreDictVar::kNumeric
                                ? static_cast<ScoreValue*>(new NumericValue(v))
                                : new StringValue(v);
        labels->AddLabel(new ValueLbl(value, v));
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

  // Reads the SimplePredicate of a child Node as the node reader does.
  void Simple(const std::string& nodeXml, int childIndex, int splitIndex = 0) {
    DOMElement* node = Parse(nodeXml);
    const XMLCh* field = BaseTranslator::GetAttribute(
        BaseTranslator::GetChildByTag(node, "SimplePredicate"), "field");
    Peer::HandlePredicate(translator_, node, splits_, 2, childIndex, field, splitIndex);
  }
  // Reads a SimpleSetPredicate element.
  void Set(const std::string& predicateXml, int childIndex, int splitIndex = 0) {
    DOMElement* predicate = Parse(predicateXml);
    Peer::HandleSetPredicate(translator_, predicate, splits_, 2, childIndex,
                             BaseTranslator::GetAttributeForced(predicate, "field"), splitIndex);
  }
  // Reads a CompoundPredicate element.
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

inline std::string SimpleXml(const std::string& field, const std::string& op,
                             const std::string& value) {
  return "<SimplePredicate field=\"" + field + "\" operator=\"" + op + "\" value=\"" + value +
         "\"/>";
}
inline std::string NoValueXml(const std::string& field, const std::string& op) {
  return "<SimplePredicate field=\"" + field + "\" operator=\"" + op + "\"/>";
}
inline std::string NodeXml(const std::string& predicates) {
  return "<Node score=\"A\">" + predicates + "</Node>";
}
inline std::string CompoundXml(const std::string& op, const std::string& parts) {
  return "<CompoundPredicate booleanOperator=\"" + op + "\">" + parts + "</CompoundPredicate>";
}
inline std::string In(const std::string& field, const std::string& op,
                      const std::string& arrayAttributes, const std::string& content) {
  return "<SimpleSetPredicate field=\"" + field + "\" booleanOperator=\"" + op + "\"><Array " +
         arrayAttributes + ">" + content + "</Array></SimpleSetPredicate>";
}

namespace {

using Elements = std::vector<std::string>;

class PredicateReaderTest : public PredicateTest {
 protected:
  void SetUp() override {
    Continuous("x");
    Continuous("y");
    Continuous("z");
    Nominal("color", {"red", "green", "blue"});
    Nominal("letter", {"A", "B", "C", "D"});
    AddField("code", ScoreDictVar::kNumeric, ScoreDictVar::kNominal, {"1", "2", "3"});
    AddField("grade", ScoreDictVar::kString, ScoreDictVar::kOrdinal, {"low", "mid", "high"});
    AddField("level", ScoreDictVar::kNumeric, ScoreDictVar::kOrdinal, {"1", "2", "3"});
    AddField("bare", ScoreDictVar::kString, ScoreDictVar::kNominal);
  }

  // The elements of <Array attributes>content</Array>.
  Elements Array(const std::string& attributes, const std::string& content) {
    DOMElement* array = Parse("<Array " + attributes + ">" + content + "</Array>");
    return Peer::GetArrayElements(translator_, array, BaseTranslator::GetAttribute(array, "type"));
  }

  // The layouts that one compound for child 0 gives on an empty split list.
  std::string Run(const std::string& op, const std::string& parts) {
    Clear();
    Compound(CompoundXml(op, parts), 0);
    return Layouts();
  }
};

std::string Lt(const std::string& field, const std::string& v) {
  return SimpleXml(field, "lessThan", v);
}
std::string Gt(const std::string& field, const std::string& v) {
  return SimpleXml(field, "greaterThan", v);
}
std::string Eq(const std::string& field, const std::string& v) {
  return SimpleXml(field, "equal", v);
}

TEST_F(PredicateReaderTest, ComparisonsAndMissingValuesBecomeRanges) {
  Simple(NodeXml(SimpleXml("x", "lessOrEqual", "5")), 0);
  Simple(NodeXml(Gt("x", "5")), 1);
  Simple(NodeXml(Gt("x", "5") + SimpleXml("x", "lessOrEqual", "10")), 0, 1);
  // On a tie the first bound keeps its closedness, in either order.
  Simple(NodeXml(SimpleXml("x", "greaterOrEqual", "5") + Gt("x", "5")), 0, 2);
  Simple(NodeXml(Lt("x", "8") + SimpleXml("x", "lessOrEqual", "8")), 1, 2);
  // Predicates on another field in the holder are passed over.
  Simple(NodeXml(Eq("x", "3") + Gt("y", "100")), 0, 3);
  Simple(NodeXml(NoValueXml("x", "isMissing")), 1, 4);
  Simple(NodeXml(Eq("x", "")), 0, 5);  // empty value: missing
  // "isNotMissing" puts the range so far, ends open, and ends the holder.
  Simple(NodeXml(NoValueXml("x", "isNotMissing") + Lt("x", "3")), 0, 6);
  Simple(NodeXml(SimpleXml("x", "greaterOrEqual", "2") + NoValueXml("x", "isNotMissing") +
                 Lt("x", "1")),
         1, 6);
  ASSERT_NE(dynamic_cast<ScaleSplit*>(splits_[0]), nullptr);
  EXPECT_EQ(Layouts(),
            "x: (-inf, 5] -> 0; (5, +inf) -> 1; missing -> -1\n"
            "x: (5, 10] -> 0; missing -> -1\n"
            "x: [5, +inf) -> 0; (-inf, 8) -> 1; missing -> -1\n"
            "x: [3, 3] -> 0; missing -> -1\n"
            "x: missing -> 1\n"
            "x: missing -> 0\n"
            "x: (-inf, +inf) -> 0; (2, +inf) -> 1; missing -> -1\n");
  EXPECT_FALSE(Peer::Model(translator_)->NeedDerivedPredictor());
}

TEST_F(PredicateReaderTest, SimplePredicateFailures) {
  const std::string noValue = "No value allowed after \"isMissing\" or\"isNotMissing\"";
  EXPECT_VELTRA(Simple(NodeXml(Lt("x", "3") + Gt("x", "7")), 0), 5,
                "x: Invalid split value range!!!");
  EXPECT_VELTRA(Simple(NodeXml(SimpleXml("x", "isMissing", "1")), 0), 1, noValue);
  EXPECT_VELTRA(Simple(NodeXml(SimpleXml("x", "isNotMissing", "")), 0), 1, noValue);
  EXPECT_VELTRA(Simple(NodeXml(Lt("x", "")), 0), 1, "Only \"Equal\" allowed here!!!");
  EXPECT_VELTRA(Simple(NodeXml(SimpleXml("x", "notEqual", "3")), 0), 5, "notEqual: Not supported!");
  EXPECT_VELTRA(Simple(NodeXml(Lt("zz", "3")), 0), 8, "zz: Invalid Split Variable!");
  EXPECT_VELTRA(Simple(NodeXml(Eq("bare", "a")), 0), 4, "bare: category value list is required!!");
  // The number is checked before the operator; an absent one fails there too.
  EXPECT_EQ(CodeOf([&] { Simple(NodeXml(SimpleXml("x", "notEqual", "abc")), 0); }), 3);
  EXPECT_EQ(CodeOf([&] { Simple(NodeXml(NoValueXml("x", "lessThan")), 0); }), 3);
  // Nothing was left behind (the sanitizer build checks the frees).
  EXPECT_TRUE(splits_.empty());
}

TEST_F(PredicateReaderTest, SplitListEntriesAndRuleSetMode) {
  Simple(NodeXml(Lt("x", "3")), 0);
  Simple(NodeXml(Eq("color", "red")), 0, 1);
  EXPECT_VELTRA(Simple(NodeXml(Lt("y", "1")), 1), 5, "Multiple split variables not supported!");
  EXPECT_VELTRA(Simple(NodeXml(Eq("grade", "low")), 1, 1), 5,
                "Multiple split variables not supported!");
  // A split already in the list keeps what it had when a later call fails.
  EXPECT_VELTRA(Simple(NodeXml(SimpleXml("x", "bogus", "3")), 1), 5, "bogus: Not supported!");
  Peer::SetRuleSet(translator_, true);  // every call appends
  Simple(NodeXml(Gt("x", "1")), 0);
  Set(In("letter", "isIn", "n=\"1\" type=\"string\"", "A"), 1);
  EXPECT_EQ(Layouts(),
            "x: (-inf, 3) -> 0; missing -> -1\n"
            "color: red -> 0; missing -> -1\n"
            "x: (1, +inf) -> 0; missing -> -1\n"
            "letter: A -> 1; missing -> -1\n");
}

TEST_F(PredicateReaderTest, DerivedFieldsFlagTheModel) {
  AddField(Transformations(), "ratio", ScoreDictVar::kNumeric, ScoreDictVar::kContinuous);
  AddField(Transformations(), "band", ScoreDictVar::kString, ScoreDictVar::kNominal, {"lo", "hi"});
  Simple(NodeXml(Lt("x", "1")), 0);
  EXPECT_FALSE(Peer::Model(translator_)->NeedDerivedPredictor());
  Simple(NodeXml(Gt("ratio", "0.5")), 1, 1);
  EXPECT_TRUE(Peer::Model(translator_)->NeedDerivedPredictor());
  Set(In("band", "isIn", "n=\"1\" type=\"string\"", "hi"), 0, 2);
  EXPECT_EQ(Layout(splits_.at(1)), "ratio: (0.5, +inf) -> 1; missing -> -1");
  EXPECT_EQ(Layout(splits_.at(2)), "band: hi -> 0; missing -> -1");
}

TEST_F(PredicateReaderTest, FailedSecondLookupStillFlagsTheModel) {
  Transformations();
  EXPECT_VELTRA(Simple(NodeXml(Lt("zz", "3")), 0), 8, "zz: Invalid Split Variable!");
  EXPECT_TRUE(Peer::Model(translator_)->NeedDerivedPredictor());
}

TEST_F(PredicateReaderTest, CategoricalValuesAndOrdinalRuns) {
  Simple(NodeXml(Eq("color", "red")), 0);
  // Two predicates of one holder both count; the operator is not examined.
  Simple(NodeXml(SimpleXml("color", "notEqual", "blue") + Lt("color", "green")), 1);
  Simple(NodeXml(Eq("code", "2.0")), 0, 1);  // numbers compare by value
  Simple(NodeXml(SimpleXml("grade", "lessOrEqual", "mid")), 0, 2);
  Simple(NodeXml(Gt("grade", "mid")), 1, 2);
  // One holder intersects its comparisons; an empty run puts nothing.
  Simple(NodeXml(SimpleXml("grade", "greaterOrEqual", "mid") + Lt("grade", "high")), 0, 3);
  Simple(NodeXml(Lt("grade", "low")), 0, 4);
  // A child whose only predicate is "isMissing" gets every category.
  Simple(NodeXml(NoValueXml("grade", "isMissing")), 1, 4);
  // Numeric fields match by number and put the dictionary's own values.
  Simple(NodeXml(SimpleXml("level", "greaterOrEqual", "2.0")), 0, 5);
  ASSERT_NE(dynamic_cast<DiscreteSplit*>(splits_[0]), nullptr);
  EXPECT_EQ(Layouts(),
            "color: red -> 0; blue -> 1; green -> 1; missing -> -1\n"
            "code: #2 -> 0; missing -> -1\n"
            "grade: low -> 0; mid -> 0; high -> 1; missing -> -1\n"
            "grade: mid -> 0; missing -> -1\n"
            "grade: low -> 1; mid -> 1; high -> 1; missing -> 1\n"
            "level: #2 -> 0; #3 -> 0; missing -> -1\n");
}

TEST_F(PredicateReaderTest, OlderVendorDocumentsSplitNumericOrdinalsAsRanges) {
  Peer::SetLegacyVendorPMML(translator_, true);
  Simple(NodeXml(SimpleXml("level", "lessOrEqual", "2")), 0);
  Simple(NodeXml(Eq("grade", "low")), 0, 1);
  // Set predicates still split by category.
  Set(In("level", "isIn", "n=\"1\" type=\"int\"", "2"), 0, 2);
  EXPECT_EQ(Layouts(),
            "level: (-inf, 2] -> 0; missing -> -1\n"
            "grade: low -> 0; missing -> -1\n"
            "level: #2 -> 0; missing -> -1\n");
}

TEST_F(PredicateReaderTest, EmptyValuesAndCategoricalFailures) {
  Nominal("tag", {"", "x"});
  AddField("rank", ScoreDictVar::kString, ScoreDictVar::kOrdinal, {"", "a", "b"});
  Simple(NodeXml(Eq("code", "")), 1);      // numeric: missing
  Simple(NodeXml(Eq("color", "")), 0, 1);  // no empty category: missing
  Simple(NodeXml(Eq("tag", "")), 1, 2);    // the empty category
  Simple(NodeXml(Eq("rank", "")), 0, 3);
  EXPECT_EQ(Layouts(),
            "code: missing -> 1\ncolor: missing -> 0\ntag:  -> 1; missing -> -1\n"
            "rank:  -> 0; missing -> -1\n");
  Clear();
  // The empty category outside a run already narrowed is an empty range.
  EXPECT_VELTRA(Simple(NodeXml(Gt("rank", "a") + Eq("rank", "")), 1), 5,
                "Invalid split value range!!!");
  EXPECT_VELTRA(Simple(NodeXml(SimpleXml("color", "isMissing", "red")), 0), 1,
                "No value attribute allowed after \"isMissing\"");
  EXPECT_VELTRA(Simple(NodeXml(SimpleXml("color", "notEqual", "")), 0), 1,
                "Only equal operator is allowed for null string value");
  EXPECT_VELTRA(Simple(NodeXml(Eq("color", "Red")), 0), 1,
                "Value list is required and split value should be in the list!Red");
  EXPECT_VELTRA(Simple(NodeXml(NoValueXml("color", "equal")), 0), 1,
                "value attribute is required for split variable color");
  // Ordinal values are checked before the operator, by exact text.
  EXPECT_VELTRA(Simple(NodeXml(SimpleXml("grade", "bogus", "Mid")), 0), 9,
                "Invalid split value for variable: grade");
  EXPECT_VELTRA(Simple(NodeXml(SimpleXml("grade", "notEqual", "mid")), 0), 9, "Invalid operator!!");
  EXPECT_TRUE(splits_.empty());
}

TEST_F(PredicateReaderTest, ArrayElements) {
  const std::string s = "type=\"string\" n=";
  const std::vector<std::pair<std::pair<std::string, std::string>, Elements>> rows = {
      {{s + "\"3\"", "a b c"}, {"a", "b", "c"}},
      {{s + "\"2\"", "a   b  "}, {"a", "b"}},
      {{s + "\"2\"", "a b c"}, {"a", "b"}},  // the rest is not read
      {{"type=\"string\"", "a b c"}, {}},    // no n: no elements
      {{s + "\"2\"", "\"New York\" Boston"}, {"New York", "Boston"}},
      {{s + "\"3\"", "\"\" x \"\""}, {"", "x", ""}},
      // Escaped quotation marks keep their backslash; a closing quotation
      // mark needs no separator; an opening one drops what came before it.
      {{s + "\"2\"", "\"say \\\"hi\\\"\" z"}, {"say \\\"hi\\\"", "z"}},
      {{s + "\"2\"", "\"a\"b"}, {"a", "b"}},
      {{s + "\"1\"", "ab\"cd\""}, {"cd"}},
      // Only blanks separate: line feeds are dropped, tabs are kept.
      {{s + "\"1\"", "a\nb"}, {"a\nb"}},
      {{s + "\"2\"", "a \nb"}, {"a", "b"}},
      {{s + "\"2\"", "a\tb c"}, {"a\tb", "c"}},
      {{s + "\"2\"", "<![CDATA[x<y \"a&b\"]]>"}, {"x<y", "a&b"}},
      {{"type=\"real\" n=\"3\"", "1.5 -2 3e2"}, {"1.5", "-2", "3e2"}},
  };
  for (const auto& [input, expected] : rows) {
    EXPECT_EQ(Array(input.first, input.second), expected) << input.first << " " << input.second;
  }
}

TEST_F(PredicateReaderTest, MalformedArrays) {
  const std::string s = "type=\"string\" n=";
  const std::string sizeMismatch = "Number of Elements doesn't match with array size!";
  const std::string unterminated = "Unterminated quotation mark in array!";
  EXPECT_VELTRA(Array(s + "\"4\"", "a b c"), 12, sizeMismatch);
  // A huge n fails the same way, without reserving room for n elements.
  EXPECT_VELTRA(Array(s + "\"2000000000\"", "a b"), 12, sizeMismatch);
  EXPECT_VELTRA(Array(s + "\"-1\"", "a"), 12, "Array size n can't be negative!");
  EXPECT_VELTRA(Array(s + "\"1\"", ""), 4, "Array Node is required!!!");
  EXPECT_VELTRA(Array(s + "\"1\"", " \n\t "), 4, "No Elements found in array!");
  EXPECT_VELTRA(Array(s + "\"1\"", "<b>a</b>"), 4, "Array content must be text!");
  EXPECT_VELTRA(Array(s + "\"2\"", "a \"open"), 4, unterminated);
  EXPECT_VELTRA(Array(s + "\"1\"", "\"open \\\""), 4, unterminated);
  EXPECT_EQ(CodeOf([&] { Array(s + "\"two\"", "a b"); }), 3);
  EXPECT_EQ(CodeOf([&] { Array("type=\"int\" n=\"2\"", "1 x"); }), 3);
  EXPECT_EQ(CodeOf([&] { Array("type=\"int\" n=\"1\"", "1.5"); }), 3);
}

TEST_F(PredicateReaderTest, IsInAndIsNotIn) {
  Set(In("letter", "isIn", "n=\"2\" type=\"string\"", "C \"A\""), 1);
  Set(In("letter", "isNotIn", "n=\"3\" type=\"string\"", "D B A"), 0);
  // Numeric fields name categories by number.
  Set(In("code", "isIn", "n=\"1\" type=\"int\"", "3"), 0, 1);
  Set(In("code", "isNotIn", "n=\"2\" type=\"real\"", "2 2.0"), 1, 1);
  // Without n, "isIn" puts nothing and "isNotIn" every category.
  Set(In("letter", "isIn", "type=\"string\"", "A"), 0, 2);
  Set(In("letter", "isNotIn", "type=\"string\"", "A"), 1, 2);
  // A continuous field adds no condition, whatever the predicate holds.
  Set(In("x", "bogus", "n=\"9\"", ""), 0, 3);
  EXPECT_EQ(Layouts(),
            "letter: C -> 1; A -> 1; C -> 0; missing -> -1\n"
            "code: #3 -> 0; #1 -> 1; #3 -> 1; missing -> -1\n"
            "letter: A -> 1; B -> 1; C -> 1; D -> 1; missing -> -1\n");
}

TEST_F(PredicateReaderTest, SetPredicateFailures) {
  const std::string one = "n=\"1\" type=\"string\"";
  EXPECT_VELTRA(Set(In("letter", "isIn", "n=\"2\" type=\"string\"", "A Z"), 0), 3,
                "In valid split value!");
  EXPECT_VELTRA(Set(In("letter", "isNotIn", "n=\"2\" type=\"string\"", "A Z"), 0), 3,
                "Invalid category value: Z");
  EXPECT_VELTRA(Set(In("zz", "isIn", one, "A"), 0), 8, "Variable zz not in the dictionary!");
  EXPECT_VELTRA(Set(In("bare", "isIn", one, "A"), 0), 4, "bare: category value list is required!!");
  EXPECT_VELTRA(Set("<SimpleSetPredicate field=\"letter\" booleanOperator=\"isIn\"/>", 0), 9,
                "Array Node is required!!!");
  // The type is checked before the operator, the element numbers before both.
  EXPECT_VELTRA(Set(In("letter", "isAmong", "n=\"1\" type=\"double\"", "A"), 0), 11,
                "double Invalid Operator!");
  EXPECT_VELTRA(Set(In("letter", "isAmong", "n=\"1\"", "A"), 0), 11, " Invalid Operator!");
  EXPECT_VELTRA(Set(In("letter", "isAmong", one, "A"), 0), 9, "isAmong Invalid Operator!");
  EXPECT_EQ(CodeOf([&] { Set(In("code", "isAmong", "n=\"1\" type=\"int\"", "x"), 0); }), 3);
  EXPECT_TRUE(splits_.empty());
}

TEST_F(PredicateReaderTest, CostValuesAreNormalisedByTargetType) {
  EXPECT_EQ(Peer::GetValueString(translator_, X("2.50"), X("D")), "2.5");
  EXPECT_EQ(Peer::GetValueString(translator_, X(" 7 "), X("J")), "7");
  EXPECT_EQ(CodeOf([&] { Peer::GetValueString(translator_, X("2.5"), X("J")); }), 3);
  EXPECT_VELTRA(Peer::GetValueString(translator_, X("7"), X("d")), 11,
                "Invalid Target Variable type!!");
  Peer::SetTarget(translator_, dictionary_->GetVar("code"));
  EXPECT_VELTRA(Peer::GetValueString(translator_, X("yes"), X("A")), 11,
                "Target Variable type doesn't match!!");
  Peer::SetTarget(translator_, dictionary_->GetVar("color"));
  EXPECT_EQ(Peer::GetValueString(translator_, X(" yes "), X("A")), " yes ");
}

TEST_F(PredicateReaderTest, CompoundResultFollowsTheLastTrueOrFalse) {
  EXPECT_TRUE(Compound(CompoundXml("surrogate", Lt("x", "5") + "<True/>"), 0));
  EXPECT_FALSE(Compound(CompoundXml("and", "<True/><False/>"), 0));
  EXPECT_TRUE(Compound(CompoundXml("and", "<False/><True/>"), 0));
  // A True of a nested compound is not the outer compound's.
  EXPECT_FALSE(Compound(CompoundXml("or", CompoundXml("and", "<True/>")), 0));
}

TEST_F(PredicateReaderTest, CompoundSplitIndexes) {
  // Each part of a surrogate (and, xor, none) takes the next index; the
  // predicates of one field in one compound make one range.
  const std::string twoFields =
      "x: (5, 10] -> 0; missing -> -1\ny: (-inf, 2) -> 0; missing -> -1\n";
  const std::string parts = Gt("x", "5") + SimpleXml("x", "lessOrEqual", "10") + Lt("y", "2");
  EXPECT_EQ(Run("surrogate", parts), twoFields);
  EXPECT_EQ(Run("xor", parts), twoFields);
  Clear();
  Compound("<CompoundPredicate>" + parts + "</CompoundPredicate>", 0);
  EXPECT_EQ(Layouts(), twoFields);
  // "or" keeps one index, nested compounds included.
  EXPECT_EQ(Run("or", CompoundXml("and", Eq("letter", "C")) + Eq("letter", "A")),
            "letter: C -> 0; A -> 0; missing -> -1\n");
  // Set predicates take the running index.
  EXPECT_EQ(Run("and", Lt("x", "1") + In("letter", "isIn", "n=\"2\" type=\"string\"", "B C")),
            "x: (-inf, 1) -> 0; missing -> -1\nletter: B -> 0; C -> 0; missing -> -1\n");
  // A lone "isMissing" adds only the missing mapping, but beside another
  // predicate of the compound it also takes the whole line.
  EXPECT_EQ(Run("and", NoValueXml("x", "isMissing") + Lt("y", "5")),
            "x: (-inf, +inf) -> 0; missing -> 0\ny: (-inf, 5) -> 0; missing -> -1\n");
  // A nested compound uses indexes 0 and 1; the outer predicate after it
  // lands on index 1 as well.
  EXPECT_EQ(Run("and", CompoundXml("and", Gt("x", "1") + Lt("y", "9")) + Gt("y", "2")),
            "x: (1, +inf) -> 0; missing -> -1\ny: (-inf, 9) -> 0; (2, +inf) -> 0; missing -> -1\n");
  // In a rule set every handled field is appended.
  Peer::SetRuleSet(translator_, true);
  EXPECT_EQ(Run("or", Gt("x", "1") + Lt("x", "4") + Lt("y", "5")),
            "x: (1, 4) -> 0; missing -> -1\ny: (-inf, 5) -> 0; missing -> -1\n");
}

TEST_F(PredicateReaderTest, OnlyTheLastHandledFieldIsRemembered) {
  const std::string xTwice =
      "x: (1, 10) -> 0; missing -> -1\ny: (-inf, 5) -> 0; missing -> -1\n"
      "x: (1, 10) -> 0; missing -> -1\n";
  // x, y, x: x is handled again at the third index.
  EXPECT_EQ(Run("and", Gt("x", "1") + Lt("y", "5") + Lt("x", "10")), xTwice);
  // A nested compound that handles y counts as the last field too...
  EXPECT_EQ(Run("and", Gt("x", "1") + CompoundXml("and", Lt("y", "5")) + Lt("x", "10")), xTwice);
  // ...and one without fields leaves x remembered.
  EXPECT_EQ(Run("and", Gt("x", "1") + CompoundXml("and", "<True/>") + Lt("x", "10")),
            "x: (1, 10) -> 0; missing -> -1\n");
  // Names alike in their first 200 characters are still different fields;
  // the name buffer keeps only names that fit it.
  const std::string longA = std::string(200, 'f') + "a";
  const std::string longB = std::string(200, 'f') + "b";
  Continuous(longA);
  Continuous(longB);
  EXPECT_EQ(Run("and", Gt(longA, "1") + Lt(longA, "4")), longA + ": (1, 4) -> 0; missing -> -1\n");
  Run("and", Gt(longA, "1") + Lt(longB, "4") + Lt(longA, "3"));
  ASSERT_EQ(splits_.size(), 3u);
  EXPECT_EQ(splits_[1]->GetSplitName(), longB);
  EXPECT_EQ(Peer::FieldNameBuffer(translator_)[0], 0);
}

std::string Nested(int levels, const std::string& inner) {
  std::string text = inner;
  for (int i = 0; i < levels; ++i) text = CompoundXml("and", text);
  return text;
}

TEST_F(PredicateReaderTest, CompoundFailures) {
  // "or" narrows one range, so disjoint ranges fail; two fields meet at one index.
  EXPECT_VELTRA(Run("or", Lt("x", "3") + Gt("x", "7")), 5, "x: Invalid split value range!!!");
  EXPECT_VELTRA(Run("or", Eq("letter", "B") + Lt("x", "1")), 5,
                "Multiple split variables not supported!");
  EXPECT_VELTRA(Run("and", CompoundXml("and", Gt("x", "1") + Lt("y", "9")) + Gt("z", "2")), 5,
                "Multiple split variables not supported!");
  EXPECT_EQ(CodeOf([&] { Run("and", "<SimplePredicate operator=\"lessThan\" value=\"1\"/>"); }), 1);
  Clear();
  Compound(Nested(1000, Lt("x", "1")), 0);
  EXPECT_EQ(Layouts(), "x: (-inf, 1) -> 0; missing -> -1\n");
  EXPECT_VELTRA(Compound(Nested(1001, Lt("y", "1")), 0), 5,
                "CompoundPredicate nesting deeper than 1000 levels is not supported!");
  EXPECT_EQ(splits_.size(), 1u);
}

}  // namespace
}  // namespace predicate_test
