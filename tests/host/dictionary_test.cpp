#include <gtest/gtest.h>

#include <cfloat>
#include <memory>

#include "host/BaseDictionary.h"
#include "host/ScoreCaseRecord.h"

namespace {

std::unique_ptr<DictVar> MakeVar(const std::string& name, int type,
                                 std::initializer_list<const char*> categories) {
  auto var = std::make_unique<DictVar>(name, type);
  if (categories.size() != 0) {
    auto labels = std::make_unique<ValueLabelSet>();
    for (const char* text : categories) {
      ScoreValue* value = type == ScoreDictVar::kNumeric
                              ? static_cast<ScoreValue*>(new NumericValue(std::string(text)))
                              : new StringValue(text);
      labels->AddLabel(new ValueLbl(value, std::string("label ") + text));
    }
    var->SetValueLabelSet(labels.release());
  }
  return var;
}

TEST(Categories, NumericVariableMatchesNumbersOnly) {
  auto var = MakeVar("grade", ScoreDictVar::kNumeric, {"1", "2", "3.5"});
  NumericValue two(2), threeHalf(3.5), four(4);
  StringValue textTwo("2");
  EXPECT_EQ(var->GetCategoryCount(), 3);
  EXPECT_TRUE(var->IsValidCategory(&two));
  EXPECT_TRUE(var->IsValidCategory(&threeHalf));
  EXPECT_FALSE(var->IsValidCategory(&four));
  EXPECT_FALSE(var->IsValidCategory(&textTwo));
  EXPECT_FALSE(var->IsValidCategory(nullptr));
  EXPECT_EQ(var->GetValueLabelSet()->GetLabels()[2]->GetLabel(), "label 3.5");

  // A string variable matches the exact text.
  auto color = MakeVar("color", ScoreDictVar::kString, {"red", "green"});
  StringValue red("red"), upper("Red"), padded("red "), blue("blue");
  EXPECT_TRUE(color->IsValidCategory(&red));
  for (const StringValue* v : {&upper, &padded, &blue}) EXPECT_FALSE(color->IsValidCategory(v));
}

TEST(Categories, CacheFollowsLabelSetAndTypeChanges) {
  auto var = MakeVar("v", ScoreDictVar::kString, {"1", "2"});
  NumericValue one(1);
  StringValue textOne("1"), textNine("9");
  EXPECT_FALSE(var->IsValidCategory(&one));
  EXPECT_TRUE(var->IsValidCategory(&textOne));
  var->SetVariableType(ScoreDictVar::kNumeric);
  EXPECT_TRUE(var->IsValidCategory(&one));
  EXPECT_FALSE(var->IsValidCategory(&textOne));
  auto labels = std::make_unique<ValueLabelSet>();
  labels->AddLabel(new ValueLbl(new NumericValue(9), "nine"));
  var->SetValueLabelSet(labels.release());
  NumericValue nine(9);
  EXPECT_TRUE(var->IsValidCategory(&nine));
  EXPECT_FALSE(var->IsValidCategory(&one));
  var->SetValueLabelSet(nullptr);
  EXPECT_FALSE(var->IsValidCategory(&nine));
  EXPECT_EQ(var->GetCategoryCount(), 0);
}

TEST(MissingValues, NullSysmisAndDeclaredValuesAndRanges) {
  DictVar var("age", ScoreDictVar::kNumeric);
  NumericValue sysmis(NumericValue::GetSysmisValue()), ten(10), minusOne(-1), low(97), high(99),
      inside(98.5), above(99.5);
  EXPECT_TRUE(var.IsMissingValue(nullptr));
  EXPECT_TRUE(var.IsMissingValue(&sysmis));
  EXPECT_FALSE(var.IsMissingValue(&ten));
  auto missing = std::make_unique<MissingValueSet>();
  missing->AddValue(new NumericValue(-1));
  missing->AddRange(new NumericValue(97), new NumericValue(99));
  var.SetMissingValueSet(missing.release());
  StringValue textMinusOne("-1");
  for (const ScoreValue* v : std::initializer_list<const ScoreValue*>{
           &minusOne, &low, &high, &inside}) {  // both range ends included
    EXPECT_TRUE(var.IsMissingValue(v)) << v->ToString();
  }
  for (const ScoreValue* v :
       std::initializer_list<const ScoreValue*>{&above, &ten, &textMinusOne}) {
    EXPECT_FALSE(var.IsMissingValue(v)) << v->ToString();
  }
}

TEST(MissingValues, StringCodesAndTextRanges) {
  DictVar var("answer", ScoreDictVar::kString);
  auto missing = std::make_unique<MissingValueSet>();
  missing->AddValue(new StringValue("NA"));
  missing->AddRange(new StringValue("X0"), new StringValue("X9"));
  var.SetMissingValueSet(missing.release());
  StringValue na("NA"), lower("na"), x5("X5"), y("Y"), empty("");
  EXPECT_TRUE(var.IsMissingValue(&na));
  EXPECT_TRUE(var.IsMissingValue(&x5));
  for (const StringValue* v : {&lower, &y, &empty}) EXPECT_FALSE(var.IsMissingValue(v));
}

TEST(BaseDictionaryTest, KeepsOrderFindsByNameRefusesDuplicates) {
  BaseDictionary dictionary;
  EXPECT_TRUE(dictionary.AddVar("b", new DictVar("b", 0)));
  EXPECT_TRUE(dictionary.AddVar("a", new DictVar("a", 1)));
  auto duplicate = std::make_unique<DictVar>("b", 1);
  EXPECT_FALSE(dictionary.AddVar("b", duplicate.get()));  // not taken: still ours to delete
  EXPECT_FALSE(dictionary.AddVar("c", nullptr));
  ASSERT_EQ(dictionary.GetNumberOfVars(), 2);
  EXPECT_EQ(dictionary.GetVars()[0]->GetName(), "b");
  EXPECT_EQ(dictionary.GetVars()[1]->GetName(), "a");
  EXPECT_EQ(dictionary.GetVar("b")->GetVariableType(), 0);
  EXPECT_EQ(dictionary.GetVar("B"), nullptr);
  EXPECT_EQ(dictionary.GetVar("a")->GetIndex(), -1);
}

TEST(IndexedRecord, ReusesSlotsAndAnswersByPositionAndName) {
  IndexedCaseRecord record({"age", "color", "age"});
  EXPECT_TRUE(record.IsIndexed());
  EXPECT_EQ(record.GetSize(), 3);
  EXPECT_EQ(record.GetValueAt(0), nullptr);  // nothing set yet
  record.SetNumber(0, 41);
  record.SetString(1, "red");
  const ScoreValue* age = record.GetValueAt(0);
  ASSERT_NE(age, nullptr);
  EXPECT_EQ(age->ToDouble(), 41);
  EXPECT_EQ(record.GetValue("color")->ToString(), "red");
  EXPECT_EQ(record.GetIndex("age"), 0);  // the first of a repeated name
  EXPECT_EQ(record.GetIndex("nope"), -1);
  EXPECT_EQ(record.GetValue("nope"), nullptr);
  EXPECT_EQ(record.GetValueAt(-1), nullptr);
  EXPECT_EQ(record.GetValueAt(3), nullptr);

  // The next case reuses the same value objects.
  record.SetNumber(0, 42);
  EXPECT_EQ(record.GetValueAt(0), age);
  EXPECT_EQ(age->ToDouble(), 42);
  // A position can change kind from case to case.
  record.SetString(0, "n/a");
  EXPECT_TRUE(record.GetValueAt(0)->IsString());
  record.SetNull(1);
  EXPECT_EQ(record.GetValue("color"), nullptr);
  record.ClearAll();
  EXPECT_EQ(record.GetValueAt(0), nullptr);
  record.SetNumber(7, 1);  // out of range: ignored
  record.SetString(-1, "x");
}

}  // namespace
