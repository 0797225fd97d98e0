// Mining schema: roles, the target field, derived-field lists and failures.

#include "pmml/ReaderConstants.h"
#include "reader_support.h"

using namespace reader_test;

namespace {

const std::string kTransformation =
    "<TransformationDictionary><DerivedField name=\"dx\" optype=\"continuous\" "
    "dataType=\"double\"><FieldRef field=\"x\"/></DerivedField></TransformationDictionary>";

const std::string kBase = MiningField("class", "predicted") + MiningField("x", "active");

std::string DerivedList(const std::string& fields,
                        const std::string& extender = kDerivedFieldsExtender,
                        const std::string& name = "DerivedFields") {
  return "<Extension extender=\"" + extender + "\" name=\"" + name + "\">" + fields +
         "</Extension>";
}

// A one-leaf document whose schema holds schemaFields.
std::string WithSchema(const std::string& schemaFields, const std::string& attributes = "",
                       const std::string& before = "", const std::string& fields = StandardFields(),
                       const std::string& nodes = ClsNode("A", Dist("A", "1"))) {
  return Document(
      before + TreeModel(nodes, attributes, "<MiningSchema>" + schemaFields + "</MiningSchema>"),
      fields);
}

}  // namespace

TEST_F(ReaderTest, UsageTypesGiveRoles) {
  ReadOutcome outcome =
      ReadOk(WithSchema(MiningField("x", "active") + MiningField("class", "predicted") +
                        MiningField("y", "supplementary") + MiningField("color", "group") +
                        // A field of the other role may be named again as an input.
                        MiningField("amount", "supplementary") + MiningField("amount", "active")));
  const std::vector<std::pair<std::string, int>> roles = {
      {"x", ScoreModel::kRoleInput},      {"class", ScoreModel::kRoleTarget},
      {"y", ScoreModel::kRoleOther},      {"color", ScoreModel::kRoleOther},
      {"amount", ScoreModel::kRoleInput}, {"grade", -1}};
  for (const auto& [name, role] : roles) EXPECT_EQ(outcome.model->GetVarRole(name), role) << name;
  EXPECT_EQ(outcome.model->GetTargetVar()->GetName(), "class");

  // The last predicted field is the target; both keep the target role.
  const std::string fields = StandardFields() + Field("kind", "categorical", "string", {"A", "B"});
  ReadOutcome two = ReadOk(WithSchema(
      MiningField("class", "predicted") + MiningField("kind", "predicted"), "", "", fields));
  EXPECT_EQ(two.model->GetTargetVar()->GetName(), "kind");
  EXPECT_EQ(two.model->GetVarRole("class"), ScoreModel::kRoleTarget);
  EXPECT_EQ(two.model->GetVarRole("kind"), ScoreModel::kRoleTarget);

  // String ordinal inputs need C5 or a rule set; numeric ones are fine anywhere.
  const std::string grade = MiningField("class", "predicted") + MiningField("grade", "active");
  ReadOk(WithSchema(grade, "algorithmName=\"C5\""));
  ReadOk(WithSchema(grade, "algorithmName=\"RuleSet\""));
  ReadOk(WithSchema(MiningField("class", "predicted") + MiningField("level", "active")));
}

TEST_F(ReaderTest, SchemaFailures) {
  const std::string nominalWithoutValues =
      StandardFields() + Field("bare", "categorical", "string");
  const std::string ordinalWithoutValues = StandardFields() + Field("rank", "ordinal", "integer");
  const std::string noCategories = "Target Variable: No Category value list!!!";
  const std::vector<std::tuple<std::string, std::string, int, std::string>> cases = {
      {"no predicted field", WithSchema(MiningField("x", "active")), 10,
       "Target variable is missing!"},
      {"nominal target without categories",
       WithSchema(MiningField("bare", "predicted"), "", "", nominalWithoutValues), 4, noCategories},
      {"ordinal target without categories",
       WithSchema(MiningField("rank", "predicted"), "", "", ordinalWithoutValues), 4, noCategories},
      {"continuous target in C5",
       WithSchema(MiningField("amount", "predicted"), "algorithmName=\"C5\"", "", StandardFields(),
                  "<Node score=\"1.5\"/>"),
       4, "Category value list is required for C5!!!"},
      {"unknown field", WithSchema(kBase + MiningField("zz", "active")), 8,
       "zz Is NOT in the dictionary!"},
      {"input twice", WithSchema(kBase + MiningField("x", "active")), 8,
       "x: Intersect variable role!"},
      {"target then input", WithSchema(kBase + MiningField("class", "active")), 8,
       "class: Intersect variable role!"},
      {"string ordinal input", WithSchema(kBase + MiningField("grade", "active")), 5,
       "grade: only Numeric Ordinal variable is accepted"},
      // Every child of the schema but Extension is a mining field, whatever its
      // name; a missing name or usageType fails in the forced read.
      {"no usageType", WithSchema(kBase + "<MiningField name=\"y\"/>"), 1, ""},
      {"no name", WithSchema(kBase + "<MiningField usageType=\"active\"/>"), 1, ""},
      {"other element", WithSchema(kBase + "<Output usageType=\"active\"/>"), 1, ""},
  };
  for (const auto& [name, xml, code, message] : cases) Refused(xml, code, message, name);
}

TEST_F(ReaderTest, DerivedFieldListIsReadFromTheTransformationDictionary) {
  ReadOutcome outcome =
      ReadOk(WithSchema(kBase + DerivedList(MiningField("dx", "active")), "", kTransformation));
  EXPECT_EQ(outcome.model->GetVarRole("dx"), ScoreModel::kRoleInput);

  // Found in the data dictionary only: the derived lookup replaces it.
  Refused(WithSchema(kBase + DerivedList(MiningField("y", "active")), "", kTransformation), 8,
          "y Is NOT in the dictionary!");
  Refused(WithSchema(kBase + DerivedList(MiningField("dx", "predicted")), "", kTransformation), 5,
          "Target variable has to be an input variable!!");
  Refused(WithSchema(kBase + DerivedList(""), "", kTransformation), 5,
          "<MiningField> is required!");

  // Fields at any depth below the Extension count.
  ReadOutcome nested = ReadOk(
      WithSchema(kBase + DerivedList("<Group>" + MiningField("dx", "supplementary") + "</Group>"),
                 "", kTransformation));
  EXPECT_EQ(nested.model->GetVarRole("dx"), ScoreModel::kRoleOther);
}

TEST_F(ReaderTest, OtherExtensionsOfTheSchemaAreSkipped) {
  const std::string nowhere = MiningField("nowhere", "predicted");
  // Without a transformation dictionary even a matching list is skipped.
  ReadOk(WithSchema(kBase + DerivedList(nowhere)));
  // Another extender or another name is skipped as well.
  ReadOk(WithSchema(kBase + DerivedList(nowhere, "Other"), "", kTransformation));
  ReadOk(WithSchema(kBase + DerivedList(nowhere, kDerivedFieldsExtender, "Fields"), "",
                    kTransformation));
  ReadOk(WithSchema(kBase + "<Extension/>", "", kTransformation));
}
