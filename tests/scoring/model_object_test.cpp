#include <memory>
#include <sstream>

#include "host/VeltraException.h"
#include "scoring_fixture.h"

using namespace scoring_test;

namespace {

std::string Dump(const TreeNode* node) {
  std::ostringstream os;
  node->Display(os);
  return os.str();
}

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

TEST_F(ModelObjectTest, ModelTypeFollowsRuleSetModeAndEnsemble) {
  EXPECT_EQ(model->GetModelType(), ScoreModel::kSingleTree);
  model->SetRuleSetScoreMethod(DendrixPMMLModel::FirstHit);
  EXPECT_EQ(model->GetModelType(), ScoreModel::kSingleRuleSet);
  model->SetRuleSetScoreMethod(DendrixPMMLModel::Voting);
  EXPECT_EQ(model->GetModelType(), ScoreModel::kSingleRuleSet);
  model->SetMultipleNodes(ClsNode("t2", "A", 0.5));
  EXPECT_EQ(model->GetModelType(), ScoreModel::kMultipleTrees);
  model->SetRuleSetScoreMethod(DendrixPMMLModel::NotRuleSet);
  EXPECT_EQ(model->GetModelType(), ScoreModel::kMultipleTrees);
}

TEST_F(ModelObjectTest, VarsOfTargetRoleBeforeSetRootIsNull) {
  EXPECT_EQ(model->GetVarsOfRole(ScoreModel::kRoleTarget), nullptr);
  model->SetRoot(ClsNode("0", "A", 0.5));
  std::unique_ptr<ScoreDictionary> targets(model->GetVarsOfRole(ScoreModel::kRoleTarget));
  ASSERT_NE(targets, nullptr);
  ASSERT_EQ(targets->GetNumberOfVars(), 1);
  EXPECT_EQ(targets->GetVars()[0]->GetName(), "class");
  EXPECT_NE(targets->GetVars()[0], d.target);  // a copy, owned by the caller
  std::unique_ptr<ScoreDictionary> inputs(model->GetVarsOfRole(ScoreModel::kRoleInput));
  ASSERT_NE(inputs, nullptr);
  ASSERT_EQ(inputs->GetNumberOfVars(), 3);
  EXPECT_EQ(inputs->GetVars()[2]->GetName(), "color");
  EXPECT_EQ(model->GetVarsOfRole(ScoreModel::kRoleOther), nullptr);
}

TEST_F(ModelObjectTest, SetRootFillsCategoriesInLabelOrderForNominalTargets) {
  model->SetRoot(ClsNode("0", "B", 0.5));
  const auto& categories = DendrixPMMLModelTestPeer::Categories(*model);
  ASSERT_EQ(categories.size(), 3u);
  EXPECT_EQ(categories[0]->ToString(), "A");
  EXPECT_EQ(categories[2]->ToString(), "C");
  StringValue c("C"), z("Z");
  EXPECT_EQ(DendrixPMMLModelTestPeer::IndexOf(*model, &c), 2);
  EXPECT_EQ(DendrixPMMLModelTestPeer::IndexOf(*model, &z), -1);
  EXPECT_EQ(DendrixPMMLModelTestPeer::IndexOf(*model, nullptr), -1);

  // A continuous target has no categories and its root needs no statistics.
  d.target->SetMeasurementLevel(ScoreDictVar::kContinuous);
  model->SetRoot(new CompositeTreeNode(true));
  EXPECT_TRUE(DendrixPMMLModelTestPeer::Categories(*model).empty());
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
  EXPECT_TRUE(DendrixPMMLModelTestPeer::Categories(*model).empty());

  // Without any label set; the tree is kept and destroyed with the model.
  d.target->SetValueLabelSet(nullptr);
  model->SetVarRole("class", ScoreModel::kRoleTarget);
  ExpectRefused("No Category Value for Target variable!!");
  EXPECT_NE(model->GetRoot(), nullptr);
}

// Statistics that report their own destruction.
class TrackedStats : public TreeClsNodeStats {
 public:
  explicit TrackedStats(bool* destroyed) : destroyed_(destroyed) {}
  ~TrackedStats() override { *destroyed_ = true; }

 private:
  bool* destroyed_;
};

TEST_F(ModelObjectTest, SecondSetRootReleasesTheFirstTree) {
  bool destroyed = false;
  auto* first = new CompositeTreeNode(true);
  first->SetNodeStats(new TrackedStats(&destroyed));
  model->SetRoot(first);
  model->SetRoot(first);  // the same tree again is kept
  EXPECT_FALSE(destroyed);
  model->SetRoot(ClsNode("second", "B", 0.7));
  EXPECT_TRUE(destroyed);
  NamedCaseRecord r;
  ASSERT_TRUE(Score(r).IsOK());
  EXPECT_EQ(NodeId(), "second");
}

TEST_F(ModelObjectTest, TreesListRootFirst) {
  EXPECT_EQ(model->GetTreeCount(), 0);
  CompositeTreeNode* second = ClsNode("t2", "A", 0.5);
  CompositeTreeNode* third = ClsNode("t3", "A", 0.5);
  model->SetMultipleNodes(second);
  model->SetMultipleNodes(third);
  CompositeTreeNode* first = ClsNode("t1", "A", 0.5);
  model->SetRoot(first);
  EXPECT_EQ(model->GetTreeCount(), 3);
  EXPECT_EQ(model->GetTree(0), first);
  EXPECT_EQ(model->GetTree(1), second);
  EXPECT_EQ(model->GetTree(2), third);
  EXPECT_EQ(model->GetTree(3), nullptr);
  EXPECT_EQ(model->GetTree(-1), nullptr);
}

TEST_F(ModelObjectTest, ModelWithoutTreeGivesNoPrediction) {
  NamedCaseRecord r;
  EXPECT_EQ(Score(r).GetCode(), 90027);
  EXPECT_EQ(result, nullptr);
}

TEST_F(ModelObjectTest, DisplayWritesTreesInPreOrderWithBanners) {
  std::ostringstream single;
  CompositeTreeNode* only = ClsNode("r", "A", 0.5);
  model->SetRoot(only);
  model->Display(single);
  EXPECT_EQ(single.str(),
            "Start Display DendrixPMMLModel: \n\n" + Dump(only) + "End of DendrixPMMLModel.\n\n");

  CompositeTreeNode* a = ClsNode("a", "A", 0.9);
  CompositeTreeNode* b = ClsNode("b", "B", 0.9);
  CompositeTreeNode* inner = Join(ClsNode("i", "A", 0.6), {Threshold(d.y, 1)}, {a, b});
  CompositeTreeNode* c = ClsNode("c", "C", 0.8);
  CompositeTreeNode* top = Join(ClsNode("r", "A", 0.5), {Threshold(d.x, 5)}, {inner, c});
  CompositeTreeNode* t2 = ClsNode("t2", "B", 0.5);
  CompositeTreeNode* t3 = Join(ClsNode("t3", "C", 0.5), {Threshold(d.x, 1)},
                               {ClsNode("t3a", "A", 1), ClsNode("t3b", "B", 1)});
  model->SetMultipleNodes(t2);
  model->SetMultipleNodes(t3);
  model->SetRoot(top);

  const std::string expected =
      "Start Display DendrixPMMLModel: \n\n" + Dump(top) + Dump(inner) + Dump(a) + Dump(b) +
      Dump(c) + "There are 3 TreeModels:\n\n" + " ********  1th Tree *******\n" + Dump(t2) +
      " ********  2th Tree *******\n" + Dump(t3) + Dump(t3->GetChildAt(0)) +
      Dump(t3->GetChildAt(1)) + "End of DendrixPMMLModel.\n\n";
  std::ostringstream os;
  model->Display(os);
  EXPECT_EQ(os.str(), expected);
}

}  // namespace
