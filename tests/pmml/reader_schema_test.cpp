// Mining schema: roles, the target field, derived-field lists and failures.

#include <string>
#include <vector>

#include "pmml/ReaderConstants.h"
#include "reader_support.h"

using namespace reader_test;

namespace {

const std::string kLeaf = ClsNode("A", Dist("A", "1"));

const std::string kTransformation =
    "<TransformationDictionary><DerivedField name=\"dx\" optype=\"continuous\" "
    "dataType=\"double\"><FieldRef field=\"x\"/></DerivedField></TransformationDictionary>";

std::string Schema(const std::string& fields) {
  return "<MiningSchema>" + fields + "</MiningSchema>";
}

std::string DerivedList(const std::string& fields,
                        const std::string& extender = kDerivedFieldsExtender,
                        const std::string& name = "DerivedFields") {
  return "<Extension extender=\"" + extender + "\" name=\"" + name + "\">" + fields +
         "</Extension>";
}

std::string WithSchema(const std::string& schemaFields, const std::string& attributes = "",
                       const std::string& before = "", const std::string& fields = StandardFields(),
                       const std::string& nodes = kLeaf) {
  return Document(before + TreeModel(nodes, attributes, Schema(schemaFields)), fields);
}

}  // namespace

TEST_F(ReaderTest, UsageTypesGiveRoles) {
  ReadOutcome outcome =
      ReadOk(WithSchema(MiningField("x", "active") + MiningField("class", "predicted") +
                        MiningField("y", "supplementary") + MiningField("color", "group")));
  ASSERT_TRUE(outcome.model);
  ScoreModel* model = outcome.model.get();
  EXPECT_EQ(model->GetVarRole("x"), ScoreModel::kRoleInput);
  EXPECT_EQ(model->GetVarRole("class"), ScoreModel::kRoleTarget);
  EXPECT_EQ(model->GetVarRole("y"), ScoreModel::kRoleOther);
  EXPECT_EQ(model->GetVarRole("color"), ScoreModel::kRoleOther);
  EXPECT_EQ(model->GetVarRole("grade"), -1);
  ASSERT_NE(model->GetTargetVar(), nullptr);
  EXPECT_EQ(model->GetTargetVar()->GetName(), "class");
  EXPECT_EQ(DendrixPMMLReaderTestAccess::Target(*outcome.translator), model->GetTargetVar());
}

TEST_F(ReaderTest, EveryChildOfTheSchemaButExtensionIsAField) {
  // An element of another name is still a mining field: without a name
  // attribute it fails in the forced read.
  ReadOutcome outcome =
      Read(WithSchema(MiningField("class", "predicted") + "<Output usageType=\"active\"/>"));
  EXPECT_TRUE(outcome.failed);
  EXPECT_EQ(outcome.code, 1);
}

TEST_F(ReaderTest, RolesMayRepeatOnlyFromTheOtherRole) {
  ReadOutcome twiceActive = Read(WithSchema(
      MiningField("class", "predicted") + MiningField("x", "active") + MiningField("x", "active")));
  EXPECT_EQ(twiceActive.code, 8);
  EXPECT_EQ(twiceActive.message, "x: Intersect variable role!");

  ReadOutcome targetThenActive =
      Read(WithSchema(MiningField("class", "predicted") + MiningField("class", "active")));
  EXPECT_EQ(targetThenActive.code, 8);
  EXPECT_EQ(targetThenActive.message, "class: Intersect variable role!");

  ReadOutcome otherThenActive =
      ReadOk(WithSchema(MiningField("class", "predicted") + MiningField("x", "supplementary") +
                        MiningField("x", "active")));
  ASSERT_TRUE(otherThenActive.model);
  EXPECT_EQ(otherThenActive.model->GetVarRole("x"), ScoreModel::kRoleInput);
}

TEST_F(ReaderTest, TheLastPredictedFieldIsTheTarget) {
  const std::string fields = StandardFields() + Field("kind", "categorical", "string", {"A", "B"});
  ReadOutcome outcome = ReadOk(WithSchema(
      MiningField("class", "predicted") + MiningField("kind", "predicted"), "", "", fields));
  ASSERT_TRUE(outcome.model);
  EXPECT_EQ(DendrixPMMLReaderTestAccess::Target(*outcome.translator)->GetName(), "kind");
  EXPECT_EQ(outcome.model->GetVarRole("class"), ScoreModel::kRoleTarget);
  EXPECT_EQ(outcome.model->GetVarRole("kind"), ScoreModel::kRoleTarget);
}

TEST_F(ReaderTest, StringOrdinalInputsNeedC5OrRuleSet) {
  const std::string schema = MiningField("class", "predicted") + MiningField("grade", "active");
  ReadOutcome plain = Read(WithSchema(schema));
  EXPECT_EQ(plain.code, 5);
  EXPECT_EQ(plain.message, "grade: only Numeric Ordinal variable is accepted");

  EXPECT_TRUE(ReadOk(WithSchema(schema, "algorithmName=\"C5\"")).model);
  EXPECT_TRUE(ReadOk(WithSchema(schema, "algorithmName=\"RuleSet\"")).model);
  // A numeric ordinal input is fine anywhere.
  EXPECT_TRUE(
      ReadOk(WithSchema(MiningField("class", "predicted") + MiningField("level", "active"))).model);
}

TEST_F(ReaderTest, TargetFailures) {
  struct Case {
    std::string name;
    std::string xml;
    int code;
    std::string message;
  };
  const std::string nominalWithoutValues =
      StandardFields() + Field("bare", "categorical", "string");
  const std::string ordinalWithoutValues = StandardFields() + Field("rank", "ordinal", "integer");
  const std::string amountLeaf = "<Node score=\"1.5\"/>";
  const std::vector<Case> cases = {
      {"no predicted field", WithSchema(MiningField("x", "active")), 10,
       "Target variable is missing!"},
      {"empty schema", WithSchema(""), 10, "Target variable is missing!"},
      {"nominal target without categories",
       WithSchema(MiningField("bare", "predicted"), "", "", nominalWithoutValues), 4,
       "Target Variable: No Category value list!!!"},
      {"ordinal target without categories",
       WithSchema(MiningField("rank", "predicted"), "", "", ordinalWithoutValues), 4,
       "Target Variable: No Category value list!!!"},
      {"nominal target without categories in C5",
       WithSchema(MiningField("bare", "predicted"), "algorithmName=\"C5\"", "",
                  nominalWithoutValues),
       4, "Target Variable: No Category value list!!!"},
      {"continuous target in C5",
       WithSchema(MiningField("amount", "predicted"), "algorithmName=\"C5\"", "", StandardFields(),
                  amountLeaf),
       4, "Category value list is required for C5!!!"},
      {"unknown field", WithSchema(MiningField("class", "predicted") + MiningField("zz", "active")),
       8, "zz Is NOT in the dictionary!"},
  };
  for (const Case& c : cases) {
    ReadOutcome outcome = Read(c.xml);
    EXPECT_TRUE(outcome.failed) << c.name;
    EXPECT_EQ(outcome.code, c.code) << c.name;
    EXPECT_EQ(outcome.message, c.message) << c.name;
  }
}

TEST_F(ReaderTest, MissingNameOrUsageTypeFailsInTheForcedRead) {
  ReadOutcome noUsage =
      Read(WithSchema(MiningField("class", "predicted") + "<MiningField name=\"x\"/>"));
  EXPECT_TRUE(noUsage.failed);
  EXPECT_EQ(noUsage.code, 1);
  ReadOutcome noName =
      Read(WithSchema(MiningField("class", "predicted") + "<MiningField usageType=\"active\"/>"));
  EXPECT_TRUE(noName.failed);
  EXPECT_EQ(noName.code, 1);
}

TEST_F(ReaderTest, DerivedFieldListIsReadFromTheTransformationDictionary) {
  const std::string base = MiningField("class", "predicted") + MiningField("x", "active");
  ReadOutcome outcome =
      ReadOk(WithSchema(base + DerivedList(MiningField("dx", "active")), "", kTransformation));
  ASSERT_TRUE(outcome.model);
  EXPECT_EQ(outcome.model->GetVarRole("dx"), ScoreModel::kRoleInput);

  // Found in the data dictionary only: the derived lookup replaces it.
  ReadOutcome dataOnly =
      Read(WithSchema(base + DerivedList(MiningField("y", "active")), "", kTransformation));
  EXPECT_EQ(dataOnly.code, 8);
  EXPECT_EQ(dataOnly.message, "y Is NOT in the dictionary!");

  ReadOutcome predicted =
      Read(WithSchema(base + DerivedList(MiningField("dx", "predicted")), "", kTransformation));
  EXPECT_EQ(predicted.code, 5);
  EXPECT_EQ(predicted.message, "Target variable has to be an input variable!!");

  ReadOutcome empty = Read(WithSchema(base + DerivedList(""), "", kTransformation));
  EXPECT_EQ(empty.code, 5);
  EXPECT_EQ(empty.message, "<MiningField> is required!");

  // Fields at any depth below the Extension count.
  ReadOutcome nested = ReadOk(
      WithSchema(base + DerivedList("<Group>" + MiningField("dx", "supplementary") + "</Group>"),
                 "", kTransformation));
  ASSERT_TRUE(nested.model);
  EXPECT_EQ(nested.model->GetVarRole("dx"), ScoreModel::kRoleOther);
}

TEST_F(ReaderTest, OtherExtensionsOfTheSchemaAreSkipped) {
  const std::string base = MiningField("class", "predicted") + MiningField("x", "active");
  const std::string wrong = DerivedList(MiningField("nowhere", "predicted"));
  // Without a transformation dictionary even a matching list is skipped.
  EXPECT_TRUE(ReadOk(WithSchema(base + wrong)).model);
  // Another extender or another name is skipped as well.
  EXPECT_TRUE(ReadOk(WithSchema(base + DerivedList(MiningField("nowhere", "predicted"), "Other"),
                                "", kTransformation))
                  .model);
  EXPECT_TRUE(ReadOk(WithSchema(base + DerivedList(MiningField("nowhere", "predicted"),
                                                   kDerivedFieldsExtender, "Fields"),
                                "", kTransformation))
                  .model);
  EXPECT_TRUE(ReadOk(WithSchema(base + "<Extension/>", "", kTransformation)).model);
}
