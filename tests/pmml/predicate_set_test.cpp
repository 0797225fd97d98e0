// SimpleSetPredicate: array reading, "isIn" / "isNotIn" splits, category
// complements and typed cost values.

#include "predicate_support.h"

namespace predicate_test {
namespace {

using Elements = std::vector<std::string>;

class SetPredicateTest : public PredicateTest {
 protected:
  void SetUp() override {
    Nominal("color", {"A", "B", "C", "D"});
    AddField("code", ScoreDictVar::kNumeric, ScoreDictVar::kNominal, {"1", "2", "3"});
    AddField("level", ScoreDictVar::kNumeric, ScoreDictVar::kOrdinal, {"1", "2", "3"});
    AddField("bare", ScoreDictVar::kString, ScoreDictVar::kNominal);
    Continuous("x");
  }

  // The elements of <Array attributes>content</Array>.
  Elements Read(const std::string& attributes, const std::string& content) {
    DOMElement* array = Parse("<Array " + attributes + ">" + content + "</Array>");
    return Peer::GetArrayElements(translator_, array, BaseTranslator::GetAttribute(array, "type"));
  }
};

TEST_F(SetPredicateTest, ArrayElements) {
  const std::string s = "type=\"string\" n=";
  EXPECT_EQ(Read(s + "\"3\"", "a b c"), (Elements{"a", "b", "c"}));
  EXPECT_EQ(Read(s + "\"2\"", "a   b  "), (Elements{"a", "b"}));
  EXPECT_EQ(Read(s + "\"2\"", "a b c"), (Elements{"a", "b"}));  // the rest is not read
  EXPECT_EQ(Read("type=\"string\"", "a b c"), Elements{});      // no n: no elements
  EXPECT_EQ(Read(s + "\"2\"", "\"New York\" Boston"), (Elements{"New York", "Boston"}));
  EXPECT_EQ(Read(s + "\"3\"", "\"\" x \"\""), (Elements{"", "x", ""}));
  // Escaped quotation marks keep their backslash; a closing quotation mark
  // needs no separator; an opening one drops what was gathered before it.
  EXPECT_EQ(Read(s + "\"2\"", "\"say \\\"hi\\\"\" z"), (Elements{"say \\\"hi\\\"", "z"}));
  EXPECT_EQ(Read(s + "\"2\"", "\"a\"b"), (Elements{"a", "b"}));
  EXPECT_EQ(Read(s + "\"1\"", "ab\"cd\""), (Elements{"cd"}));
  // Only blanks separate: line feeds are dropped, tabs are kept.
  EXPECT_EQ(Read(s + "\"1\"", "a\nb"), (Elements{"a\nb"}));
  EXPECT_EQ(Read(s + "\"2\"", "a \nb"), (Elements{"a", "b"}));
  EXPECT_EQ(Read(s + "\"2\"", "a\tb c"), (Elements{"a\tb", "c"}));
  EXPECT_EQ(Read(s + "\"2\"", "<![CDATA[x<y \"a&b\"]]>"), (Elements{"x<y", "a&b"}));
  EXPECT_EQ(Read("type=\"real\" n=\"3\"", "1.5 -2 3e2"), (Elements{"1.5", "-2", "3e2"}));
}

TEST_F(SetPredicateTest, MalformedArrays) {
  const std::string s = "type=\"string\" n=";
  EXPECT_VELTRA(Read(s + "\"4\"", "a b c"), 12,
                "Number of Elements doesn't match with array size!");
  // A huge n fails the same way, without reserving room for n elements.
  EXPECT_VELTRA(Read(s + "\"2000000000\"", "a b"), 12,
                "Number of Elements doesn't match with array size!");
  EXPECT_VELTRA(Read(s + "\"-1\"", "a"), 12, "Array size n can't be negative!");
  EXPECT_VELTRA(Read(s + "\"1\"", ""), 4, "Array Node is required!!!");
  EXPECT_VELTRA(Read(s + "\"1\"", " \n\t "), 4, "No Elements found in array!");
  EXPECT_VELTRA(Read(s + "\"1\"", "<b>a</b>"), 4, "Array content must be text!");
  EXPECT_VELTRA(Read(s + "\"2\"", "a \"open"), 4, "Unterminated quotation mark in array!");
  EXPECT_VELTRA(Read(s + "\"1\"", "\"open \\\""), 4, "Unterminated quotation mark in array!");
  EXPECT_EQ(CodeOf([&] { Read(s + "\"two\"", "a b"); }), 3);
  EXPECT_EQ(CodeOf([&] { Read("type=\"int\" n=\"2\"", "1 x"); }), 3);
  EXPECT_EQ(CodeOf([&] { Read("type=\"int\" n=\"1\"", "1.5"); }), 3);
}

TEST_F(SetPredicateTest, IsInAndIsNotIn) {
  Set(SetXml("color", "isIn", "n=\"2\" type=\"string\"", "C \"A\""), 1);
  Set(SetXml("color", "isNotIn", "n=\"3\" type=\"string\"", "D B A"), 0);
  Set(SetXml("code", "isIn", "n=\"1\" type=\"int\"", "3"), 0, 1);
  Set(SetXml("code", "isNotIn", "n=\"1\" type=\"real\"", "2"), 1, 1);
  // Without n, "isIn" puts nothing and "isNotIn" every category.
  Set(SetXml("color", "isIn", "type=\"string\"", "A"), 0, 2);
  Set(SetXml("color", "isNotIn", "type=\"string\"", "A"), 1, 2);
  EXPECT_EQ(Layouts(),
            "color: C -> 1; A -> 1; C -> 0; missing -> -1\n"
            "code: #3 -> 0; #1 -> 1; #3 -> 1; missing -> -1\n"
            "color: A -> 1; B -> 1; C -> 1; D -> 1; missing -> -1\n");
  EXPECT_VELTRA(Set(SetXml("color", "isIn", "n=\"2\" type=\"string\"", "A Z"), 0), 3,
                "In valid split value!");
  EXPECT_VELTRA(Set(SetXml("color", "isNotIn", "n=\"2\" type=\"string\"", "A Z"), 0), 3,
                "Invalid category value: Z");
}

TEST_F(SetPredicateTest, ComplementsAndCategoryTests) {
  const ScoreDictVar* color = dictionary_->GetVar("color");
  const ScoreDictVar* bare = dictionary_->GetVar("bare");
  // Numeric fields name categories by number; repeats change nothing.
  EXPECT_EQ(Peer::Remove(translator_, dictionary_->GetVar("code"), {"1.0", "3"}), Elements{"2"});
  EXPECT_EQ(Peer::Remove(translator_, color, {"B", "B", "C"}), (Elements{"A", "D"}));
  EXPECT_FALSE(Peer::IsCategoryValue(translator_, nullptr, "A"));
  EXPECT_FALSE(Peer::IsCategoryValue(translator_, color, "a"));
  EXPECT_VELTRA(Peer::IsCategoryValue(translator_, bare, "A"), 1,
                "bare: Value list is required!!!");
  EXPECT_VELTRA(Peer::Remove(translator_, bare, {}), 4, "bare: Category value list is required!!!");
}

TEST_F(SetPredicateTest, PredicateFailures) {
  EXPECT_VELTRA(Set(SetXml("zz", "isIn", "n=\"1\" type=\"string\"", "A"), 0), 8,
                "Variable zz not in the dictionary!");
  EXPECT_VELTRA(Set(SetXml("bare", "isIn", "n=\"1\" type=\"string\"", "A"), 0), 4,
                "bare: category value list is required!!");
  EXPECT_VELTRA(Set("<SimpleSetPredicate field=\"color\" booleanOperator=\"isIn\"/>", 0), 9,
                "Array Node is required!!!");
  // The type is checked before the operator, the element numbers before both.
  EXPECT_VELTRA(Set(SetXml("color", "isAmong", "n=\"1\" type=\"double\"", "A"), 0), 11,
                "double Invalid Operator!");
  EXPECT_VELTRA(Set(SetXml("color", "isAmong", "n=\"1\"", "A"), 0), 11, " Invalid Operator!");
  EXPECT_VELTRA(Set(SetXml("color", "isAmong", "n=\"1\" type=\"string\"", "A"), 0), 9,
                "isAmong Invalid Operator!");
  EXPECT_EQ(CodeOf([&] { Set(SetXml("code", "isAmong", "n=\"1\" type=\"int\"", "x"), 0); }), 3);
  // Called directly: on another element there is no array and no type.
  EXPECT_VELTRA(Peer::SetArrayDiscreteSplit(translator_, splits_, Parse("<SimplePredicate/>"),
                                            dictionary_->GetVar("color"), 0, 0),
                11, " Invalid Operator!");
  EXPECT_VELTRA(Peer::SetArrayDiscreteSplit(translator_, splits_, Parse("<SimpleSetPredicate/>"),
                                            dictionary_->GetVar("bare"), 0, 0),
                3, "bare: Value list is required!");
  EXPECT_TRUE(splits_.empty());
}

TEST_F(SetPredicateTest, FieldKindSplitListAndRuleSetMode) {
  // A continuous field adds no condition, whatever the predicate holds.
  Set(SetXml("x", "bogus", "n=\"9\"", ""), 0);
  EXPECT_TRUE(splits_.empty());
  // A numeric ordinal field splits by category even in older vendor documents.
  Peer::SetLegacyVendorPMML(translator_, true);
  Set(SetXml("level", "isIn", "n=\"1\" type=\"int\"", "2"), 0);
  EXPECT_VELTRA(Set(SetXml("color", "isIn", "n=\"1\" type=\"string\"", "A"), 1), 5,
                "Multiple split variables not supported!");
  Peer::SetRuleSet(translator_, true);
  Set(SetXml("color", "isIn", "n=\"1\" type=\"string\"", "A"), 1);
  EXPECT_VELTRA(Set(SetXml("color", "isIn", "n=\"2\" type=\"string\"", "C E"), 1), 3,
                "In valid split value!");
  EXPECT_EQ(Layouts(), "level: #2 -> 0; missing -> -1\ncolor: A -> 1; missing -> -1\n");
}

TEST_F(SetPredicateTest, DerivedFieldFlagsTheModel) {
  AddField(Transformations(), "band", ScoreDictVar::kString, ScoreDictVar::kNominal, {"lo", "hi"});
  Set(SetXml("band", "isIn", "n=\"1\" type=\"string\"", "hi"), 0);
  EXPECT_TRUE(Peer::Model(translator_)->NeedDerivedPredictor());
  EXPECT_EQ(Layouts(), "band: hi -> 0; missing -> -1\n");
}

TEST_F(SetPredicateTest, CostValuesAreNormalisedByType) {
  EXPECT_EQ(Peer::GetValueString(translator_, X("2.50"), X("D")), "2.5");
  EXPECT_EQ(Peer::GetValueString(translator_, X("1234567.8"), X("D")), "1.23457e+06");
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

}  // namespace
}  // namespace predicate_test
