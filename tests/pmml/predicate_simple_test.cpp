// SimplePredicate on continuous fields: ranges, missing values, the choice of
// split kind and the failures of the range builder.

#include "predicate_support.h"

namespace predicate_test {
namespace {

class SimplePredicateTest : public PredicateTest {
 protected:
  void SetUp() override {
    Continuous("x");
    Continuous("y");
    Nominal("color", {"red", "green", "blue"});
    AddField("bare", ScoreDictVar::kString, ScoreDictVar::kNominal);
  }
};

TEST_F(SimplePredicateTest, ComparisonsBecomeRanges) {
  Simple(Pred("x", "lessOrEqual", "5"), 0);
  Simple(Pred("x", "greaterThan", "5"), 1);
  Simple(Pred("x", "greaterThan", "5") + Pred("x", "lessOrEqual", "10"), 0, 1);
  // On a tie the first bound keeps its closedness, in either order.
  Simple(Pred("x", "greaterOrEqual", "5") + Pred("x", "greaterThan", "5"), 0, 2);
  Simple(Pred("x", "lessThan", "8") + Pred("x", "lessOrEqual", "8"), 1, 2);
  // Predicates on another field in the holder are passed over.
  Simple(Pred("x", "equal", "3") + Pred("y", "greaterThan", "100"), 0, 3);
  ASSERT_NE(dynamic_cast<ScaleSplit*>(splits_[0]), nullptr);
  EXPECT_EQ(Layouts(),
            "x: (-inf, 5] -> 0; (5, +inf) -> 1; missing -> -1\n"
            "x: (5, 10] -> 0; missing -> -1\n"
            "x: [5, +inf) -> 0; (-inf, 8) -> 1; missing -> -1\n"
            "x: [3, 3] -> 0; missing -> -1\n");
}

TEST_F(SimplePredicateTest, MissingValues) {
  Simple(Pred("x", "isMissing"), 1);
  Simple(Pred("x", "equal", ""), 0, 1);  // empty value: missing
  // "isNotMissing" puts the range so far, ends open, and ends the holder.
  Simple(Pred("x", "isNotMissing") + Pred("x", "lessThan", "3"), 0, 2);
  Simple(Pred("x", "greaterOrEqual", "2") + Pred("x", "isNotMissing") + Pred("x", "lessThan", "1"),
         1, 2);
  EXPECT_EQ(Layouts(),
            "x: missing -> 1\n"
            "x: missing -> 0\n"
            "x: (-inf, +inf) -> 0; (2, +inf) -> 1; missing -> -1\n");
}

TEST_F(SimplePredicateTest, Failures) {
  EXPECT_VELTRA(Simple(Pred("x", "lessThan", "3") + Pred("x", "greaterThan", "7"), 0), 5,
                "x: Invalid split value range!!!");
  EXPECT_VELTRA(Simple(Pred("x", "isMissing", "1"), 0), 1,
                "No value allowed after \"isMissing\" or\"isNotMissing\"");
  EXPECT_VELTRA(Simple(Pred("x", "isNotMissing", ""), 0), 1,
                "No value allowed after \"isMissing\" or\"isNotMissing\"");
  EXPECT_VELTRA(Simple(Pred("x", "lessThan", ""), 0), 1, "Only \"Equal\" allowed here!!!");
  EXPECT_VELTRA(Simple(Pred("x", "notEqual", "3"), 0), 5, "notEqual: Not supported!");
  EXPECT_VELTRA(Simple(Pred("zz", "lessThan", "3"), 0), 8, "zz: Invalid Split Variable!");
  EXPECT_VELTRA(Simple(Pred("bare", "equal", "a"), 0), 4,
                "bare: category value list is required!!");
  // The number is checked before the operator; an absent one fails there too.
  EXPECT_EQ(CodeOf([&] { Simple(Pred("x", "notEqual", "abc"), 0); }), 3);
  EXPECT_EQ(CodeOf([&] { Simple(Pred("x", "lessThan"), 0); }), 3);
  // None of the failed calls left a split behind (the sanitizer build checks
  // they were freed), and the model needs no derived fields.
  EXPECT_TRUE(splits_.empty());
  EXPECT_FALSE(Peer::Model(translator_)->NeedDerivedPredictor());
}

TEST_F(SimplePredicateTest, SplitListEntriesAndRuleSetMode) {
  Simple(Pred("x", "lessThan", "3"), 0);
  Simple(Pred("color", "equal", "red"), 0, 1);
  EXPECT_VELTRA(Simple(Pred("y", "lessThan", "1"), 1), 5,
                "Multiple split variables not supported!");
  EXPECT_VELTRA(Simple(Pred("x", "lessThan", "1"), 1, 1), 5,
                "Multiple split variables not supported!");
  // A split already in the list keeps what it had when a later call fails.
  EXPECT_VELTRA(Simple(Pred("x", "bogus", "3"), 1), 5, "bogus: Not supported!");
  Peer::SetRuleSet(translator_, true);
  Simple(Pred("x", "greaterThan", "1"), 0);
  EXPECT_VELTRA(Simple(Pred("x", "notEqual", "3"), 0), 5, "notEqual: Not supported!");
  EXPECT_EQ(Layouts(),
            "x: (-inf, 3) -> 0; missing -> -1\n"
            "color: red -> 0; missing -> -1\n"
            "x: (1, +inf) -> 0; missing -> -1\n");
}

TEST_F(SimplePredicateTest, DerivedFieldsFlagTheModel) {
  AddField(Transformations(), "ratio", ScoreDictVar::kNumeric, ScoreDictVar::kContinuous);
  Simple(Pred("x", "lessThan", "1"), 0);
  EXPECT_FALSE(Peer::Model(translator_)->NeedDerivedPredictor());
  Simple(Pred("ratio", "greaterThan", "0.5"), 1, 1);
  EXPECT_TRUE(Peer::Model(translator_)->NeedDerivedPredictor());
  EXPECT_EQ(Layout(splits_.at(1)), "ratio: (0.5, +inf) -> 1; missing -> -1");
}

TEST_F(SimplePredicateTest, FailedSecondLookupStillFlagsTheModel) {
  Transformations();
  EXPECT_VELTRA(Simple(Pred("zz", "lessThan", "3"), 0), 8, "zz: Invalid Split Variable!");
  EXPECT_TRUE(Peer::Model(translator_)->NeedDerivedPredictor());
}

TEST_F(SimplePredicateTest, LevelTypeAndDocumentChooseTheSplitKind) {
  AddField("level", ScoreDictVar::kNumeric, ScoreDictVar::kOrdinal, {"1", "2", "3"});
  AddField("grade", ScoreDictVar::kString, ScoreDictVar::kOrdinal, {"low", "high"});
  Simple(Pred("level", "lessOrEqual", "2"), 0);
  Simple(Pred("grade", "equal", "high"), 0, 1);
  // The vendor's older documents read numeric ordinal fields as continuous.
  Peer::SetLegacyVendorPMML(translator_, true);
  Simple(Pred("level", "lessOrEqual", "2"), 0, 2);
  Simple(Pred("grade", "equal", "low"), 1, 1);
  EXPECT_EQ(Layouts(),
            "level: #1 -> 0; #2 -> 0; missing -> -1\n"
            "grade: high -> 0; low -> 1; missing -> -1\n"
            "level: (-inf, 2] -> 0; missing -> -1\n");
}

}  // namespace
}  // namespace predicate_test
