#include <memory>
#include <sstream>

#include "host/VeltraException.h"
#include "scoring_fixture.h"

using namespace scoring_test;

namespace {

class ModelObjectTest : public ModelTest {
 protected:
  void ExpectRefused(const std::string& message) {
    try {
      model->SetRoot(ClsNode("0", "A", 0.5));
      ADD_FAILURE() << "expected an exception";
    } catch (const VeltraException& e) {
      EXPECT_EQ(e.GetCode(), 4);
      EXPECT_EQ(e.GetMessage(), message);
    }
  }
};

// Without a tree the model has no target and scores nothing.
TEST_F(ModelObjectTest, VarsOfTargetRoleBeforeSetRootIsNull) {
  EXPECT_EQ(model->GetVarsOfRole(ScoreModel::kRoleTarget), nullptr);
  EXPECT_EQ(Score("").GetCode(), 90027);
  EXPECT_EQ(result, nullptr);
  model->SetRoot(ClsNode("0", "A", 0.5));
  std::unique_ptr<ScoreDictionary> targets(model->GetVarsOfRole(ScoreModel::kRoleTarget));
  ASSERT_NE(targets, nullptr);
  ASSERT_EQ(targets->GetNumberOfVars(), 1);
  EXPECT_EQ(targets->GetVars()[0]->GetName(), "class");
  EXPECT_NE(targets->GetVars()[0], d.target);  // a copy, owned by the caller
  EXPECT_EQ(model->GetVarsOfRole(ScoreModel::kRoleOther), nullptr);
}

// Claims one category more than its label set holds.
class ShortLabelVar : public DictVar {
 public:
  using DictVar::DictVar;
  int GetCategoryCount() const override { return DictVar::GetCategoryCount() + 1; }
};

TEST_F(ModelObjectTest, LabelSetShorterThanCategoryCountIsRefused) {
  auto* var = new ShortLabelVar("short", ScoreDictVar::kString);
  var->SetMeasurementLevel(ScoreDictVar::kNominal);
  var->SetValueLabelSet(Labels({"A", "B"}));
  d.dictionary->AddVar("short", var);
  model->SetVarRole("short", ScoreModel::kRoleTarget);
  ExpectRefused("Category Values of Target variable are incomplete!!");

  // Without any label set; the tree is kept and destroyed with the model.
  d.target->SetValueLabelSet(nullptr);
  model->SetVarRole("class", ScoreModel::kRoleTarget);
  ExpectRefused("No Category Value for Target variable!!");
  EXPECT_NE(model->GetRoot(), nullptr);
}

// The sanitizer build catches a first tree that is leaked, or destroyed
// while still the root.
TEST_F(ModelObjectTest, SecondSetRootReleasesTheFirstTree) {
  CompositeTreeNode* first = ClsNode("first", "A", 0.5);
  model->SetRoot(first);
  model->SetRoot(first);  // the same tree again is kept
  ASSERT_TRUE(Score("").IsOK());
  EXPECT_EQ(NodeId(), "first");
  model->SetRoot(ClsNode("second", "B", 0.7));
  ASSERT_TRUE(Score("").IsOK());
  EXPECT_EQ(NodeId(), "second");
}

// The display of a model: its trees in pre-order, each node with its
// statistics and splits, the further trees numbered.
TEST_F(ModelObjectTest, DisplayWritesTreesInPreOrderWithBanners) {
  CompositeTreeNode* top =
      Join(ClsNode("r", "A", 0.5), {Threshold(d.x, 5, 1), Categories(d.color, {{"red", 0}})},
           {ClsNode("a", "A", 0.9), ClsNode("b", "B", 0.8)}, 1);
  top->GetMutableNodeStats()->SetChildIndexOnMaxConfidence(0);
  model->SetMultipleNodes(ClsNode("t2", "C", 0.5));
  model->SetRoot(top);
  std::ostringstream os;
  model->Display(os);
  EXPECT_EQ(os.str(),
            "Start Display DendrixPMMLModel: \n\n"
            "Start TreeNode Display:\n  Node ID = r\n"
            " Biggest Child Index On Confidence = 0\n"
            "       Child NodeID = a\n       Child NodeID = b\n  Level = 0\n\n"
            "Split Var Imformation: \n"
            "ScaleSplit on x\n  child 0: (-inf, 5]\n  child 1: (5, +inf)\n"
            "  missing values: child 1\n"
            "DiscreteSplit on color\n  child 0: \"red\"\n  missing values: child -1\n"
            "End TreeNode Display. \n\n"
            "Start TreeNode Display:\n  Node ID = a\n  Level = 1\n\nEnd TreeNode Display. \n\n"
            "Start TreeNode Display:\n  Node ID = b\n  Level = 1\n\nEnd TreeNode Display. \n\n"
            "There are 2 TreeModels:\n\n ********  1th Tree *******\n"
            "Start TreeNode Display:\n  Node ID = t2\n  Level = 0\n\nEnd TreeNode Display. \n\n"
            "End of DendrixPMMLModel.\n\n");
}

}  // namespace
