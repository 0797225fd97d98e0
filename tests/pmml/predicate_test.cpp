// Predicates of a node's children become the parent's splits: ranges on
// continuous fields, category lists on categorical ones, several splits from
// the parts of a compound. Each case is a small document read by the reader.

#include "reader_support.h"

using namespace reader_test;

namespace {

// Two continuous fields whose long names differ only at the end.
const std::string kLongA = std::string(200, 'f') + "a", kLongB = std::string(200, 'f') + "b";

// The standard fields, a nominal field without values, one whose values
// exercise array parsing and the long-named ones.
std::string Fields() {
  return StandardFields() + Field("bare", "categorical", "string") +
         Field(kLongA, "continuous", "double") + Field(kLongB, "continuous", "double") +
         Field(
             "city", "categorical", "string",
             {"a", "b", "c", "New York", "Boston", "a&amp;b", "x&lt;y", "say \\&quot;hi\\&quot;"});
}

// A root whose children hold one predicate each, in order.
std::string Tree(const std::vector<std::string>& predicates, const std::string& attributes = "",
                 const std::string& before = "", const std::string& header = "",
                 const std::string& version = "version=\"4.3\"") {
  std::string children;
  for (size_t i = 0; i < predicates.size(); ++i) children += ClsNode(i ? "B" : "A", predicates[i]);
  return Document(before + TreeModel(ClsNode("A", children), attributes), Fields(), version,
                  header);
}

std::string Lt(const std::string& f, const std::string& v) { return Simple(f, "lessThan", v); }
std::string Gt(const std::string& f, const std::string& v) { return Simple(f, "greaterThan", v); }
std::string Str(const std::string& n) { return "type=\"string\" n=\"" + n + "\""; }

std::string Nested(int levels, const std::string& inner) {
  std::string text = inner;
  for (int i = 0; i < levels; ++i) text = Compound("and", text);
  return text;
}

TEST_F(ReaderTest, ChildPredicatesBecomeTheParentsSplits) {
  const std::string xTwice =
      "x: (1, 10) -> 0; missing -> -1\ny: (-inf, 5) -> 0; missing -> -1\n"
      "x: (1, 10) -> 0; missing -> -1\n";
  // The children's predicates and the parent's splits.
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      // Continuous fields: ranges.
      {{Simple("x", "lessOrEqual", "5"), Gt("x", "5")},
       "x: (-inf, 5] -> 0; (5, +inf) -> 1; missing -> -1\n"},
      {{Simple("x", "greaterOrEqual", "5"), Lt("x", "8")},
       "x: [5, +inf) -> 0; (-inf, 8) -> 1; missing -> -1\n"},
      {{Simple("x", "equal", "3"), Simple("x", "isMissing")}, "x: [3, 3] -> 0; missing -> 1\n"},
      {{Simple("x", "equal", "")}, "x: missing -> 0\n"},
      // True adds nothing to the parent's splits.
      {{Lt("x", "5"), "<True/>"}, "x: (-inf, 5) -> 0; missing -> -1\n"},
      // One compound narrows one range; on a tie the first bound stays.
      {{Compound("and", Gt("x", "5") + Simple("x", "lessOrEqual", "10")),
        Compound("and", Simple("x", "lessOrEqual", "2") + Lt("x", "2"))},
       "x: (5, 10] -> 0; (-inf, 2] -> 1; missing -> -1\n"},
      // "isNotMissing" puts the range so far, open at both ends.
      {{Compound("and", Simple("x", "isNotMissing") + Lt("x", "3"))},
       "x: (-inf, +inf) -> 0; missing -> -1\n"},
      // Categorical fields: the values named; the operator is not examined.
      {{Simple("color", "equal", "red"),
        Compound("or", Simple("color", "notEqual", "blue") + Lt("color", "green"))},
       "color: red -> 0; blue -> 1; green -> 1; missing -> -1\n"},
      {{Simple("code", "equal", "2.0")}, "code: #2 -> 0; missing -> -1\n"},
      // Ordinal fields: runs of categories.
      {{Simple("grade", "lessOrEqual", "mid"), Gt("grade", "mid")},
       "grade: low -> 0; mid -> 0; high -> 1; missing -> -1\n"},
      {{Lt("grade", "mid"), Simple("grade", "greaterOrEqual", "mid")},
       "grade: low -> 0; mid -> 1; high -> 1; missing -> -1\n"},
      {{Compound("and", Simple("grade", "greaterOrEqual", "mid") + Lt("grade", "high"))},
       "grade: mid -> 0; missing -> -1\n"},
      {{Lt("grade", "low"), Simple("grade", "isMissing")},
       "grade: low -> 1; mid -> 1; high -> 1; missing -> 1\n"},
      {{Simple("level", "greaterOrEqual", "2.0")}, "level: #2 -> 0; #3 -> 0; missing -> -1\n"},
      // Set predicates; without n "isIn" puts nothing and "isNotIn" everything.
      {{SetPred("color", "isNotIn", Str("2"), "green red"),
        SetPred("color", "isIn", Str("2"), "blue \"red\"")},
       "color: blue -> 0; blue -> 1; red -> 1; missing -> -1\n"},
      {{SetPred("code", "isIn", "n=\"1\" type=\"int\"", "2"),
        SetPred("code", "isNotIn", "n=\"1\" type=\"real\"", "2")},
       "code: #2 -> 0; #1 -> 1; missing -> -1\n"},
      {{SetPred("color", "isIn", "type=\"string\"", "red"),
        SetPred("color", "isNotIn", "type=\"string\"", "red")},
       "color: red -> 1; green -> 1; blue -> 1; missing -> -1\n"},
      {{SetPred("x", "bogus", "n=\"9\"", "")}, ""},
      // Array text: quotes, blanks, entities and what n leaves unread.
      {{SetPred("city", "isIn", Str("2"), "a \n b  c"),
        SetPred("city", "isIn", Str("2"), "\"New York\" Boston")},
       "city: a -> 0; b -> 0; New York -> 1; Boston -> 1; missing -> -1\n"},
      {{SetPred("city", "isIn", Str("3"), "\"a\"b c"),
        SetPred("city", "isIn", Str("2"), "<![CDATA[x<y \"a&b\"]]>")},
       "city: a -> 0; b -> 0; c -> 0; x<y -> 1; a&b -> 1; missing -> -1\n"},
      {{SetPred("city", "isIn", Str("2"), "\"say \\\"hi\\\"\" Boston")},
       "city: say \\\"hi\\\" -> 0; Boston -> 0; missing -> -1\n"},
      // Compounds: each part of "and", "surrogate" and "xor" takes the next
      // split; "or" keeps one; one field's predicates in a part make one range.
      {{Compound("surrogate", Gt("x", "5") + Simple("x", "lessOrEqual", "10") + Lt("y", "2"))},
       "x: (5, 10] -> 0; missing -> -1\ny: (-inf, 2) -> 0; missing -> -1\n"},
      {{Compound("or", Compound("and", Simple("color", "equal", "blue")) +
                           Simple("color", "equal", "red"))},
       "color: blue -> 0; red -> 0; missing -> -1\n"},
      {{Compound("and", Lt("x", "1") + SetPred("color", "isIn", Str("2"), "green blue"))},
       "x: (-inf, 1) -> 0; missing -> -1\ncolor: green -> 0; blue -> 0; missing -> -1\n"},
      {{Compound("and", Simple("x", "isMissing") + Lt("y", "5"))},
       "x: (-inf, +inf) -> 0; missing -> 0\ny: (-inf, 5) -> 0; missing -> -1\n"},
      // Only the last field handled is remembered, nested compounds included.
      {{Compound("and", Gt("x", "1") + Lt("y", "5") + Lt("x", "10"))}, xTwice},
      {{Compound("and", Gt("x", "1") + Compound("and", Lt("y", "5")) + Lt("x", "10"))}, xTwice},
      {{Compound("and", Gt("x", "1") + Compound("and", "<True/>") + Lt("x", "10"))},
       "x: (1, 10) -> 0; missing -> -1\n"},
      // A nested compound takes one outer step.
      {{Compound("and", Compound("and", Gt("x", "1") + Lt("y", "9")) + Gt("y", "2"))},
       "x: (1, +inf) -> 0; missing -> -1\ny: (-inf, 9) -> 0; (2, +inf) -> 0; missing -> -1\n"},
      {{Nested(1000, Lt("x", "1"))}, "x: (-inf, 1) -> 0; missing -> -1\n"},
      // Field names of any length compare exactly.
      {{Compound("and", Gt(kLongA, "1") + Lt(kLongB, "4") + Lt(kLongA, "3"))},
       kLongA + ": (1, 3) -> 0; missing -> -1\n" + kLongB + ": (-inf, 4) -> 0; missing -> -1\n" +
           kLongA + ": (1, 3) -> 0; missing -> -1\n"},
  };
  for (const auto& [predicates, layouts] : cases) {
    EXPECT_EQ(Layouts(ReadOk(Tree(predicates))->GetRoot()), layouts)
        << ::testing::PrintToString(predicates);
  }
}

TEST_F(ReaderTest, RuleSetsAndOlderVendorDocumentsSplitDifferently) {
  // A rule holds its own conditions; "or" appends every field it handles.
  ReadOutcome rules = ReadOk(Tree(
      {Compound("or", Gt("x", "1") + Lt("x", "4") + Lt("y", "5")), Simple("color", "equal", "red")},
      "algorithmName=\"RuleSet\""));
  EXPECT_EQ(Layouts(rules->GetRoot()->GetChildAt(0)) + Layouts(rules->GetRoot()->GetChildAt(1)),
            "x: (1, 4) -> 0; missing -> -1\ny: (-inf, 5) -> 0; missing -> -1\n"
            "color: red -> 1; missing -> -1\n");

  // Older vendor documents read numeric ordinal fields as continuous, but not
  // in set predicates.
  const std::string header = "<Header><Application name=\"Dendrix\" version=\"1\"/></Header>";
  ReadOutcome set = ReadOk(Tree({SetPred("level", "isIn", "n=\"1\" type=\"int\"", "2")}, "", "",
                                header, "version=\"3.0\""));
  EXPECT_EQ(Layouts(set->GetRoot()), "level: #2 -> 0; missing -> -1\n");
}

TEST_F(ReaderTest, SplitsOnDerivedFieldsFlagTheModel) {
  const std::string derived =
      "<TransformationDictionary><DerivedField name=\"ratio\" optype=\"continuous\" "
      "dataType=\"double\"><FieldRef field=\"x\"/></DerivedField></TransformationDictionary>";
  EXPECT_FALSE(ReadOk(Tree({Lt("x", "1")}, "", derived))->NeedDerivedPredictor());
  EXPECT_TRUE(ReadOk(Tree({Gt("ratio", "0.5")}, "", derived))->NeedDerivedPredictor());
}

TEST_F(ReaderTest, MalformedPredicatesAreRefused) {
  const std::string multiple = "Multiple split variables not supported!";
  const std::string noValueAfter = "No value allowed after \"isMissing\" or\"isNotMissing\"";
  const std::string unterminated = "Unterminated quotation mark in array!";
  // Predicates, code and message (empty: the host's wording).
  const std::vector<std::tuple<std::vector<std::string>, int, std::string>> cases = {
      {{Compound("or", Lt("x", "3") + Gt("x", "7"))}, 5, "x: Invalid split value range!!!"},
      {{Simple("x", "isMissing", "1")}, 1, noValueAfter},
      {{Simple("x", "isNotMissing", "")}, 1, noValueAfter},
      {{Lt("x", "")}, 1, "Only \"Equal\" allowed here!!!"},
      {{Simple("x", "notEqual", "3")}, 5, "notEqual: Not supported!"},
      {{Lt("zz", "3")}, 8, "zz: Invalid Split Variable!"},
      {{Simple("bare", "equal", "a")}, 4, "bare: category value list is required!!"},
      // The number is checked before the operator; an absent one fails there too.
      {{Simple("x", "notEqual", "abc")}, 3, ""},
      {{Simple("x", "lessThan")}, 3, ""},
      {{Lt("x", "3"), Lt("y", "1")}, 5, multiple},
      {{Compound("or", Simple("color", "equal", "blue") + Lt("x", "1"))}, 5, multiple},
      {{Compound("and", Compound("and", Gt("x", "1") + Lt("y", "9")) + Gt("amount", "2"))},
       5,
       multiple},
      {{Compound("and", "<SimplePredicate operator=\"lessThan\" value=\"1\"/>")}, 1, ""},
      {{Nested(1001, Lt("x", "1"))},
       5,
       "CompoundPredicate nesting deeper than 1000 levels is not supported!"},
      // Categorical values.
      {{Simple("color", "equal", "Red")},
       1,
       "Value list is required and split value should be in the list!Red"},
      {{Simple("color", "equal")}, 1, "value attribute is required for split variable color"},
      {{Simple("grade", "bogus", "Mid")}, 9, "Invalid split value for variable: grade"},
      {{Simple("grade", "notEqual", "mid")}, 9, "Invalid operator!!"},
      {{Simple("color", "isMissing", "red")}, 1, "No value attribute allowed after \"isMissing\""},
      {{Simple("color", "notEqual", "")},
       1,
       "Only equal operator is allowed for null string value"},
      // Set predicates and their arrays.
      {{SetPred("color", "isIn", Str("2"), "red Z")}, 3, "In valid split value!"},
      {{SetPred("color", "isNotIn", Str("2"), "red Z")}, 3, "Invalid category value: Z"},
      {{SetPred("zz", "isIn", Str("1"), "A")}, 8, "Variable zz not in the dictionary!"},
      {{SetPred("bare", "isIn", Str("1"), "A")}, 4, "bare: category value list is required!!"},
      {{"<SimpleSetPredicate field=\"color\" booleanOperator=\"isIn\"/>"},
       9,
       "Array Node is required!!!"},
      {{SetPred("color", "isAmong", "n=\"1\" type=\"double\"", "red")},
       11,
       "double Invalid Operator!"},
      {{SetPred("color", "isAmong", Str("1"), "red")}, 9, "isAmong Invalid Operator!"},
      {{SetPred("city", "isIn", Str("2000000000"), "a b")},
       12,
       "Number of Elements doesn't match with array size!"},
      {{SetPred("city", "isIn", Str("-1"), "a")}, 12, "Array size n can't be negative!"},
      {{SetPred("city", "isIn", Str("1"), "")}, 4, "Array Node is required!!!"},
      {{SetPred("city", "isIn", Str("1"), " \n\t ")}, 4, "No Elements found in array!"},
      {{SetPred("city", "isIn", Str("1"), "<b>a</b>")}, 4, "Array content must be text!"},
      {{SetPred("city", "isIn", Str("2"), "a \"open")}, 4, unterminated},
      {{SetPred("city", "isIn", Str("1"), "\"open \\\"")}, 4, unterminated},
      {{SetPred("city", "isIn", Str("two"), "a b")}, 3, ""},
      {{SetPred("code", "isIn", "type=\"int\" n=\"1\"", "1.5")}, 3, ""},
  };
  for (const auto& [predicates, code, message] : cases) {
    Refused(Tree(predicates), code, message, ::testing::PrintToString(predicates));
  }
}

}  // namespace
