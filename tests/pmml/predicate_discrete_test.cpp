// SimplePredicate on categorical fields: nominal values, ordinal category runs
// and the empty-value rules.

#include "predicate_support.h"

namespace predicate_test {
namespace {

class DiscretePredicateTest : public PredicateTest {
 protected:
  void SetUp() override {
    Nominal("color", {"red", "green", "blue"});
    AddField("code", ScoreDictVar::kNumeric, ScoreDictVar::kNominal, {"1", "2"});
    AddField("grade", ScoreDictVar::kString, ScoreDictVar::kOrdinal, {"low", "mid", "high"});
    AddField("level", ScoreDictVar::kNumeric, ScoreDictVar::kOrdinal, {"1", "2", "3"});
  }
};

TEST_F(DiscretePredicateTest, NominalValuesGoToTheirChild) {
  Simple(Pred("color", "equal", "red"), 0);
  // Two predicates of one holder both count; the operator is not examined.
  Simple(Pred("color", "notEqual", "blue") + Pred("color", "lessThan", "green"), 1);
  Simple(Pred("code", "equal", "2.0"), 0, 1);  // numbers compare by value
  ASSERT_NE(dynamic_cast<DiscreteSplit*>(splits_[0]), nullptr);
  EXPECT_EQ(Layouts(),
            "color: red -> 0; blue -> 1; green -> 1; missing -> -1\n"
            "code: #2 -> 0; missing -> -1\n");
  EXPECT_VELTRA(Simple(Pred("color", "equal", "Red"), 0), 1,
                "Value list is required and split value should be in the list!Red");
  EXPECT_VELTRA(Simple(Pred("color", "equal"), 0), 1,
                "value attribute is required for split variable color");
}

TEST_F(DiscretePredicateTest, OrdinalComparisonsSelectCategoryRuns) {
  Simple(Pred("grade", "lessOrEqual", "mid"), 0);
  Simple(Pred("grade", "greaterThan", "mid"), 1);
  // One holder intersects its comparisons.
  Simple(Pred("grade", "greaterOrEqual", "mid") + Pred("grade", "lessThan", "high"), 0, 1);
  // An empty run puts nothing and is no error.
  Simple(Pred("grade", "lessThan", "low"), 0, 2);
  // A child whose only predicate is "isMissing" gets every category.
  Simple(Pred("grade", "isMissing"), 1, 3);
  // Numeric fields match by number and put the dictionary's own values.
  Simple(Pred("level", "greaterOrEqual", "2.0"), 0, 4);
  EXPECT_EQ(Layouts(),
            "grade: low -> 0; mid -> 0; high -> 1; missing -> -1\n"
            "grade: mid -> 0; missing -> -1\n"
            "grade: missing -> -1\n"
            "grade: low -> 1; mid -> 1; high -> 1; missing -> 1\n"
            "level: #2 -> 0; #3 -> 0; missing -> -1\n");
}

TEST_F(DiscretePredicateTest, OrdinalFailures) {
  // The value is checked before the operator, by exact text.
  EXPECT_VELTRA(Simple(Pred("grade", "bogus", "Mid"), 0), 9,
                "Invalid split value for variable: grade");
  EXPECT_VELTRA(Simple(Pred("grade", "notEqual", "mid"), 0), 9, "Invalid operator!!");
  EXPECT_TRUE(splits_.empty());
  DictVar* bare = AddField("bare", ScoreDictVar::kString, ScoreDictVar::kOrdinal);
  EXPECT_VELTRA(Peer::GetIndexOfOrdinalValue(translator_, "a", bare), 1,
                "bare: Value list is required!!");
}

TEST_F(DiscretePredicateTest, EmptyValues) {
  Nominal("tag", {"", "x"});
  AddField("rank", ScoreDictVar::kString, ScoreDictVar::kOrdinal, {"", "a", "b"});
  Simple(Pred("code", "equal", ""), 1);      // numeric: missing
  Simple(Pred("color", "equal", ""), 0, 1);  // no empty category: missing
  Simple(Pred("tag", "equal", ""), 1, 2);    // the empty category
  Simple(Pred("rank", "equal", ""), 0, 3);
  EXPECT_EQ(Layouts(),
            "code: missing -> 1\ncolor: missing -> 0\ntag:  -> 1; missing -> -1\n"
            "rank:  -> 0; missing -> -1\n");
  // The empty category outside a run already narrowed is an empty range.
  EXPECT_VELTRA(Simple(Pred("rank", "greaterThan", "a") + Pred("rank", "equal", ""), 1, 3), 5,
                "Invalid split value range!!!");
  EXPECT_VELTRA(Simple(Pred("color", "isMissing", "red"), 0, 1), 1,
                "No value attribute allowed after \"isMissing\"");
  EXPECT_VELTRA(Simple(Pred("color", "notEqual", ""), 0, 1), 1,
                "Only equal operator is allowed for null string value");
}

TEST_F(DiscretePredicateTest, SplitListEntriesAndRuleSetMode) {
  Simple(Pred("color", "equal", "red"), 0);
  EXPECT_VELTRA(Simple(Pred("grade", "equal", "low"), 1), 5,
                "Multiple split variables not supported!");
  Peer::SetRuleSet(translator_, true);
  Simple(Pred("color", "equal", "blue"), 0);
  EXPECT_VELTRA(Simple(Pred("color", "equal", "teal"), 0), 1,
                "Value list is required and split value should be in the list!teal");
  EXPECT_EQ(Layouts(), "color: red -> 0; missing -> -1\ncolor: blue -> 0; missing -> -1\n");
}

// A field whose category count claims more categories than its label list
// holds.
class OvercountedVar : public ScoreDictVar {
 public:
  explicit OvercountedVar(const ScoreDictVar* inner) : inner_(inner) {}
  ScoreDictVar* Clone() const override { return nullptr; }
  bool IsMissingValue(const ScoreValue* v) const override { return inner_->IsMissingValue(v); }
  bool IsValidCategory(const ScoreValue* v) const override { return inner_->IsValidCategory(v); }
  const std::string& GetName() const override { return inner_->GetName(); }
  int GetVariableType() const override { return inner_->GetVariableType(); }
  int GetMeasurementLevel() const override { return inner_->GetMeasurementLevel(); }
  const ScoreValueLabelSet* GetValueLabelSet() const override { return inner_->GetValueLabelSet(); }
  int GetCategoryCount() const override { return inner_->GetCategoryCount() + 3; }
  void SetIndex(int) override {}
  int GetIndex() const override { return -1; }
  bool IsDerived() const override { return false; }

 private:
  const ScoreDictVar* inner_;
};

TEST_F(DiscretePredicateTest, OrdinalRunStopsAtTheEndOfTheLabelList) {
  OvercountedVar grade(dictionary_->GetVar("grade"));
  DOMElement* node = Parse("<Node>" + Pred("grade", "greaterOrEqual", "mid") + "</Node>");
  Peer::SetNodeDiscreteSplit(translator_, splits_, node, &grade, 2, 0, 0, X("grade"));
  EXPECT_EQ(Layouts(), "grade: mid -> 0; high -> 0; missing -> -1\n");
}

}  // namespace
}  // namespace predicate_test
