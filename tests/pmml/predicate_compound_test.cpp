// CompoundPredicate: split indexes of its parts, the True/False result,
// nesting and the remembered field.

#include "predicate_support.h"

namespace predicate_test {
namespace {

class CompoundPredicateTest : public PredicateTest {
 protected:
  void SetUp() override {
    Continuous("x");
    Continuous("y");
    Continuous("z");
    Nominal("color", {"A", "B", "C"});
  }

  // The layouts that one compound for child 0 gives on an empty split list.
  std::string Run(const std::string& op, const std::string& parts) {
    Clear();
    Compound(CompoundXml(op, parts), 0);
    return Layouts();
  }
};

std::string Lt(const std::string& field, const std::string& v) {
  return Pred(field, "lessThan", v);
}
std::string Gt(const std::string& field, const std::string& v) {
  return Pred(field, "greaterThan", v);
}

TEST_F(CompoundPredicateTest, ResultFollowsTheLastTrueOrFalse) {
  EXPECT_TRUE(Compound(CompoundXml("surrogate", Lt("x", "5") + "<True/>"), 0));
  EXPECT_FALSE(Compound(CompoundXml("and", "<True/><False/>"), 0));
  EXPECT_TRUE(Compound(CompoundXml("and", "<False/><True/>"), 0));
  // A True of a nested compound is not the outer compound's.
  EXPECT_FALSE(Compound(CompoundXml("or", CompoundXml("and", "<True/>")), 0));
}

TEST_F(CompoundPredicateTest, SplitIndexes) {
  // Each part of a surrogate (and, xor, none) takes the next index; the
  // predicates of one field in one compound make one range.
  const std::string twoFields =
      "x: (5, 10] -> 0; missing -> -1\ny: (-inf, 2) -> 0; missing -> -1\n";
  const std::string parts = Gt("x", "5") + Pred("x", "lessOrEqual", "10") + Lt("y", "2");
  EXPECT_EQ(Run("surrogate", parts), twoFields);
  EXPECT_EQ(Run("xor", parts), twoFields);
  Clear();
  Compound("<CompoundPredicate>" + parts + "</CompoundPredicate>", 0);
  EXPECT_EQ(Layouts(), twoFields);
  // "or" keeps one index, nested compounds included.
  EXPECT_EQ(
      Run("or", CompoundXml("and", Pred("color", "equal", "C")) + Pred("color", "equal", "A")),
      "color: C -> 0; A -> 0; missing -> -1\n");
  // Set predicates take the running index.
  EXPECT_EQ(Run("and", Lt("x", "1") + SetXml("color", "isIn", "n=\"2\" type=\"string\"", "B C")),
            "x: (-inf, 1) -> 0; missing -> -1\ncolor: B -> 0; C -> 0; missing -> -1\n");
  // A lone "isMissing" adds only the missing mapping, but beside another
  // predicate of the compound it also takes the whole line.
  EXPECT_EQ(Run("and", Pred("x", "isMissing") + Lt("y", "5")),
            "x: (-inf, +inf) -> 0; missing -> 0\ny: (-inf, 5) -> 0; missing -> -1\n");
}

TEST_F(CompoundPredicateTest, OnlyTheLastHandledFieldIsRemembered) {
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
}

TEST_F(CompoundPredicateTest, NestedCompoundTakesOneOuterStep) {
  // The nested compound uses indexes 0 and 1; the outer predicate after it
  // lands on index 1 as well.
  EXPECT_EQ(Run("and", CompoundXml("and", Gt("x", "1") + Lt("y", "9")) + Gt("y", "2")),
            "x: (1, +inf) -> 0; missing -> -1\ny: (-inf, 9) -> 0; (2, +inf) -> 0; missing -> -1\n");
  EXPECT_VELTRA(Run("and", CompoundXml("and", Gt("x", "1") + Lt("y", "9")) + Gt("z", "2")), 5,
                "Multiple split variables not supported!");
}

TEST_F(CompoundPredicateTest, FailuresPassThrough) {
  // "or" narrows one range, so disjoint ranges fail; two fields meet at one index.
  EXPECT_VELTRA(Run("or", Lt("x", "3") + Gt("x", "7")), 5, "x: Invalid split value range!!!");
  EXPECT_VELTRA(Run("or", Pred("color", "equal", "B") + Lt("x", "1")), 5,
                "Multiple split variables not supported!");
  EXPECT_EQ(CodeOf([&] { Run("and", "<SimplePredicate operator=\"lessThan\" value=\"1\"/>"); }), 1);
}

TEST_F(CompoundPredicateTest, RuleSetModeAppendsEveryHandledField) {
  Peer::SetRuleSet(translator_, true);
  EXPECT_EQ(Run("or", Gt("x", "1") + Lt("x", "4") + Lt("y", "5")),
            "x: (1, 4) -> 0; missing -> -1\ny: (-inf, 5) -> 0; missing -> -1\n");
}

TEST_F(CompoundPredicateTest, FieldNamesOfAnyLengthCompareExactly) {
  const std::string longA = std::string(200, 'f') + "a";
  const std::string longB = std::string(200, 'f') + "b";
  Continuous(longA);
  Continuous(longB);
  Run("and", Gt("x", "1"));
  EXPECT_TRUE(BaseTranslator::IsEqual(Peer::FieldNameBuffer(translator_), "x"));
  EXPECT_EQ(Run("and", Gt(longA, "1") + Lt(longA, "4")), longA + ": (1, 4) -> 0; missing -> -1\n");
  // Names alike in their first 200 characters are still different fields.
  Run("and", Gt(longA, "1") + Lt(longB, "4") + Lt(longA, "3"));
  ASSERT_EQ(splits_.size(), 3u);
  EXPECT_EQ(splits_[1]->GetSplitName(), longB);
  // The buffer keeps only names that fit it.
  EXPECT_EQ(Peer::FieldNameBuffer(translator_)[0], 0);
}

std::string Nested(int levels, const std::string& inner) {
  std::string text = inner;
  for (int i = 0; i < levels; ++i) text = CompoundXml("and", text);
  return text;
}

TEST_F(CompoundPredicateTest, NestingIsLimitedToAThousandLevels) {
  Compound(Nested(1000, Lt("x", "1")), 0);
  EXPECT_EQ(Layouts(), "x: (-inf, 1) -> 0; missing -> -1\n");
  EXPECT_VELTRA(Compound(Nested(1001, Lt("y", "1")), 0), 5,
                "CompoundPredicate nesting deeper than 1000 levels is not supported!");
  EXPECT_EQ(splits_.size(), 1u);
}

}  // namespace
}  // namespace predicate_test
