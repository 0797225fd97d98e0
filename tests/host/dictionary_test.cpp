#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "host/BaseDictionary.h"
#include "host/ScoreCaseRecord.h"

namespace {

std::unique_ptr<DictVar> MakeVar(int type, std::initializer_list<const char*> categories) {
  auto var = std::make_unique<DictVar>("v", type);
  auto labels = std::make_unique<ValueLabelSet>();
  for (const char* text : categories) {
    ScoreValue* value = type == ScoreDictVar::kNumeric
                            ? static_cast<ScoreValue*>(new NumericValue(std::string(text)))
                            : new StringValue(text);
    labels->AddLabel(new ValueLbl(value, text));
  }
  var->SetValueLabelSet(labels.release());
  return var;
}

TEST(Categories, NumericVariableMatchesNumbersOnly) {
  auto grade = MakeVar(ScoreDictVar::kNumeric, {"1", "2", "3.5"});
  auto color = MakeVar(ScoreDictVar::kString, {"red", "green"});
  EXPECT_EQ(grade->GetCategoryCount(), 3);
  NumericValue two(2), threeHalf(3.5), four(4);
  StringValue textTwo("2"), red("red"), upper("Red"), padded("red "), blue("blue");
  // A string variable matches the exact text.
  const std::tuple<const DictVar*, const ScoreValue*, bool> cases[] = {
      {grade.get(), &two, true},      {grade.get(), &threeHalf, true}, {grade.get(), &four, false},
      {grade.get(), &textTwo, false}, {grade.get(), nullptr, false},   {color.get(), &red, true},
      {color.get(), &upper, false},   {color.get(), &padded, false},   {color.get(), &blue, false},
      {color.get(), &two, false}};
  for (const auto& [var, value, valid] : cases) {
    EXPECT_EQ(var->IsValidCategory(value), valid) << (value ? value->ToString() : "null");
  }
}

TEST(Categories, CacheFollowsLabelSetAndTypeChanges) {
  auto var = MakeVar(ScoreDictVar::kString, {"1", "2"});
  NumericValue one(1), nine(9);
  StringValue textOne("1");
  EXPECT_FALSE(var->IsValidCategory(&one));
  var->SetVariableType(ScoreDictVar::kNumeric);
  EXPECT_TRUE(var->IsValidCategory(&one));
  EXPECT_FALSE(var->IsValidCategory(&textOne));
  auto labels = std::make_unique<ValueLabelSet>();
  labels->AddLabel(new ValueLbl(new NumericValue(9), "nine"));
  var->SetValueLabelSet(labels.release());
  EXPECT_TRUE(var->IsValidCategory(&nine));
  EXPECT_FALSE(var->IsValidCategory(&one));
  var->SetValueLabelSet(nullptr);
  EXPECT_FALSE(var->IsValidCategory(&nine));
  EXPECT_EQ(var->GetCategoryCount(), 0);
}

TEST(MissingValues, DeclaredCodesAndRangesOfNumbersAndTexts) {
  DictVar age("age", ScoreDictVar::kNumeric), answer("answer", ScoreDictVar::kString);
  auto numbers = std::make_unique<MissingValueSet>();
  numbers->AddValue(new NumericValue(-1));
  numbers->AddRange(new NumericValue(97), new NumericValue(99));
  auto texts = std::make_unique<MissingValueSet>();
  texts->AddValue(new StringValue("NA"));
  texts->AddRange(new StringValue("X0"), new StringValue("X9"));
  NumericValue sysmis(NumericValue::GetSysmisValue()), ten(10), minusOne(-1), low(97), high(99),
      inside(98.5), above(99.5);
  StringValue textMinusOne("-1"), na("NA"), lower("na"), x5("X5"), y("Y"), empty("");
  EXPECT_TRUE(age.IsMissingValue(nullptr));
  EXPECT_TRUE(age.IsMissingValue(&sysmis));
  EXPECT_FALSE(age.IsMissingValue(&minusOne));  // nothing declared yet
  age.SetMissingValueSet(numbers.release());
  answer.SetMissingValueSet(texts.release());
  // Both ends of a range are included; a numeric range holds numbers only.
  const std::tuple<const DictVar*, const ScoreValue*, bool> cases[] = {
      {&age, &minusOne, true},      {&age, &low, true},    {&age, &high, true},
      {&age, &inside, true},        {&age, &above, false}, {&age, &ten, false},
      {&age, &textMinusOne, false}, {&answer, &na, true},  {&answer, &x5, true},
      {&answer, &lower, false},     {&answer, &y, false},  {&answer, &empty, false}};
  for (const auto& [var, value, missing] : cases) {
    EXPECT_EQ(var->IsMissingValue(value), missing) << var->GetName() << " " << value->ToString();
  }
}

TEST(IndexedRecord, ReusesSlotsAndAnswersByPositionAndName) {
  IndexedCaseRecord record({"age", "color", "age"});
  record.SetNumber(0, 41);
  record.SetString(1, "red");
  EXPECT_EQ(record.GetValue("color")->ToString(), "red");
  EXPECT_EQ(record.GetIndex("age"), 0);  // the first of a repeated name
  EXPECT_EQ(record.GetValue("nope"), nullptr);
  EXPECT_EQ(record.GetValueAt(3), nullptr);
  // A position can change kind.
  record.SetString(0, "n/a");
  EXPECT_TRUE(record.GetValueAt(0)->IsString());
  record.SetNull(1);
  EXPECT_EQ(record.GetValue("color"), nullptr);
  record.SetNumber(7, 1);  // out of range: ignored
  record.ClearAll();
  EXPECT_EQ(record.GetValueAt(0), nullptr);
}

}  // namespace
