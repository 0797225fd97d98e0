// Mining schema: roles, the target field, derived-field lists and failures.

#include <string>
#include <vector>

#include "pmml/ReaderConstants.h"
#include "reader_support.h"

using namespace reader_test;

namespace {

const std::string kTransformation =
    "<TransformationDictionary><DerivedField name=\"dx\" optype=\"continuous\" "
    "dataType=\"double\"><FieldRef field=\"x\"/></DerivedField></TransformationDictionary>";
const std::string kTarget = MiningField("class", "predicted");
const std::string kBase = kTarget + MiningField("x", "active");

std::string DerivedList(const std::string& fields,
                        const std::string& extender = kDerivedFieldsExtender,
                        const std::string& name = "DerivedFields") {
  return "<Extension extender=\"" + extender + "\" name=\"" + name + "\">" + fields +
         "</Extension>";
}

// A one-leaf tree with these schema fields; before goes ahead of the tree.
std::string WithSchema(const std::string& schemaFields, const std::string& attributes = "",
                       const std::string& before = "", const std::string& fields = StandardFields(),
                       const std::string& nodes = ClsNode("A", Dist("A", "1"))) {
  return Document(
      before + TreeModel(nodes, attributes, "<MiningSchema>" + schemaFields + "</MiningSchema>"),
      fields);
}

}  // namespace

TEST_F(ReaderTest, UsageTypesGiveRoles) {
  const std::string fields = StandardFields() + Field("kind", "categorical", "string", {"A", "B"});
  ReadOutcome outcome =
      ReadOk(WithSchema(MiningField("x", "active") + kTarget + MiningField("y", "supplementary") +
                            MiningField("color", "group") + MiningField("amount", "supplementary") +
                            MiningField("amount", "active") + MiningField("kind", "predicted"),
                        "", "", fields));
  ASSERT_TRUE(outcome.model);
  ScoreModel* model = outcome.model.get();
  EXPECT_EQ(model->GetVarRole("x"), ScoreModel::kRoleInput);
  EXPECT_EQ(model->GetVarRole("y"), ScoreModel::kRoleOther);
  EXPECT_EQ(model->GetVarRole("color"), ScoreModel::kRoleOther);
  EXPECT_EQ(model->GetVarRole("grade"), -1);
  // A field of the other role may be listed again with another role.
  EXPECT_EQ(model->GetVarRole("amount"), ScoreModel::kRoleInput);
  // Every predicted field is a target; the last one is the model's.
  EXPECT_EQ(model->GetVarRole("class"), ScoreModel::kRoleTarget);
  EXPECT_EQ(model->GetVarRole("kind"), ScoreModel::kRoleTarget);
  ASSERT_NE(model->GetTargetVar(), nullptr);
  EXPECT_EQ(model->GetTargetVar()->GetName(), "kind");
  EXPECT_EQ(DendrixPMMLReaderTestAccess::Target(*outcome.translator), model->GetTargetVar());
}

TEST_F(ReaderTest, StringOrdinalInputsNeedC5OrRuleSet) {
  const std::string schema = kTarget + MiningField("grade", "active");
  ReadOutcome plain = Read(WithSchema(schema));
  EXPECT_EQ(plain.code, 5);
  EXPECT_EQ(plain.message, "grade: only Numeric Ordinal variable is accepted");
  EXPECT_TRUE(ReadOk(WithSchema(schema, "algorithmName=\"C5\"")).model);
  EXPECT_TRUE(ReadOk(WithSchema(schema, "algorithmName=\"RuleSet\"")).model);
  EXPECT_TRUE(ReadOk(WithSchema(kTarget + MiningField("level", "active"))).model);
}

TEST_F(ReaderTest, DerivedFieldListsAreReadFromTheTransformationDictionary) {
  ReadOutcome outcome =
      ReadOk(WithSchema(kBase + DerivedList(MiningField("dx", "active")), "", kTransformation));
  ASSERT_TRUE(outcome.model);
  EXPECT_EQ(outcome.model->GetVarRole("dx"), ScoreModel::kRoleInput);
  // Fields at any depth below the Extension count.
  ReadOutcome nested = ReadOk(
      WithSchema(kBase + DerivedList("<Group>" + MiningField("dx", "supplementary") + "</Group>"),
                 "", kTransformation));
  ASSERT_TRUE(nested.model);
  EXPECT_EQ(nested.model->GetVarRole("dx"), ScoreModel::kRoleOther);

  // Lists are skipped without a transformation dictionary, or with another
  // extender or name.
  const std::string nowhere = MiningField("nowhere", "predicted");
  EXPECT_TRUE(ReadOk(WithSchema(kBase + DerivedList(nowhere))).model);
  EXPECT_TRUE(ReadOk(WithSchema(kBase + DerivedList(nowhere, "Other"), "", kTransformation)).model);
  EXPECT_TRUE(ReadOk(WithSchema(kBase + DerivedList(nowhere, kDerivedFieldsExtender, "Fields"), "",
                                kTransformation))
                  .model);
  EXPECT_TRUE(ReadOk(WithSchema(kBase + "<Extension/>", "", kTransformation)).model);
}

TEST_F(ReaderTest, MiningSchemaFailures) {
  struct Case {
    std::string name;
    std::string xml;
    int code;
    std::string message;  // empty: the host's wording of a forced read
  };
  const std::string bareFields = StandardFields() + Field("bare", "categorical", "string") +
                                 Field("rank", "ordinal", "integer");
  const std::string noCategories = "Target Variable: No Category value list!!!";
  const std::vector<Case> cases = {
      {"active twice", WithSchema(kBase + MiningField("x", "active")), 8,
       "x: Intersect variable role!"},
      {"target then active", WithSchema(kTarget + MiningField("class", "active")), 8,
       "class: Intersect variable role!"},
      {"no predicted field", WithSchema(MiningField("x", "active")), 10,
       "Target variable is missing!"},
      {"empty schema", WithSchema(""), 10, "Target variable is missing!"},
      {"nominal target without categories",
       WithSchema(MiningField("bare", "predicted"), "", "", bareFields), 4, noCategories},
      {"ordinal target without categories",
       WithSchema(MiningField("rank", "predicted"), "", "", bareFields), 4, noCategories},
      {"nominal target without categories in C5",
       WithSchema(MiningField("bare", "predicted"), "algorithmName=\"C5\"", "", bareFields), 4,
       noCategories},
      {"continuous target in C5",
       WithSchema(MiningField("amount", "predicted"), "algorithmName=\"C5\"", "", StandardFields(),
                  "<Node score=\"1.5\"/>"),
       4, "Category value list is required for C5!!!"},
      {"unknown field", WithSchema(kTarget + MiningField("zz", "active")), 8,
       "zz Is NOT in the dictionary!"},
      {"derived list field only in the data dictionary",
       WithSchema(kBase + DerivedList(MiningField("y", "active")), "", kTransformation), 8,
       "y Is NOT in the dictionary!"},
      {"derived target",
       WithSchema(kBase + DerivedList(MiningField("dx", "predicted")), "", kTransformation), 5,
       "Target variable has to be an input variable!!"},
      {"empty derived list", WithSchema(kBase + DerivedList(""), "", kTransformation), 5,
       "<MiningField> is required!"},
      {"no usageType", WithSchema(kTarget + "<MiningField name=\"x\"/>"), 1, ""},
      {"no name", WithSchema(kTarget + "<MiningField usageType=\"active\"/>"), 1, ""},
      // Every child but Extension is a mining field, whatever its name.
      {"other element", WithSchema(kTarget + "<Output usageType=\"active\"/>"), 1, ""},
  };
  for (const Case& c : cases) {
    ReadOutcome outcome = Read(c.xml);
    EXPECT_TRUE(outcome.failed) << c.name;
    EXPECT_EQ(outcome.code, c.code) << c.name << ": " << outcome.message;
    if (!c.message.empty()) {
      EXPECT_EQ(outcome.message, c.message) << c.name;
    }
  }
}
