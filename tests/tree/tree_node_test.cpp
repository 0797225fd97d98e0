#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/BaseDictionary.h"
#include "tree/CompositeTreeNode.h"
#include "tree/TreeClsResult.h"

namespace {

int g_statsDestroyed = 0;

// Statistics that count their destruction.
class CountedStats : public TreeClsNodeStats {
 public:
  explicit CountedStats(const std::string& id) { SetNodeID(id); }
  ~CountedStats() override { ++g_statsDestroyed; }
};

CompositeTreeNode* Node(const std::string& id) {
  auto* node = new CompositeTreeNode(true);
  node->SetNodeStats(new CountedStats(id));
  return node;
}

std::string Id(const TreeNode* node) {
  return node == nullptr ? "-" : node->GetNodeStats()->GetNodeID();
}

// Identifiers in the node's child slots, "-" for an empty one.
std::string Slots(const CompositeTreeNode* node) {
  std::string ids;
  for (int i = 0; i < node->GetChildCount(); ++i) ids += Id(node->GetChildAt(i));
  return ids;
}

class TreeNodeTest : public ::testing::Test {
 protected:
  // root(0) -> a(1) [a1(3), a2(4)], b(2) [b1(5)]
  void SetUp() override {
    g_statsDestroyed = 0;
    root = Node("0");
    root->Add(a = Node("1"));
    root->Add(b = Node("2"));
    a->Add(a1 = Node("3"));
    a->Add(a2 = Node("4"));
    b->Add(b1 = Node("5"));
  }
  void TearDown() override { delete root; }

  // For each node: id, level, next and previous sibling, next and previous
  // leaf, first and last child, first and last leaf, next and previous node
  // in pre-order.
  static std::string Neighbours(std::initializer_list<const CompositeTreeNode*> nodes) {
    std::string text;
    for (const CompositeTreeNode* n : nodes) {
      text += Id(n) + ":" + std::to_string(n->GetLevel()) + Id(n->GetNextSibling()) +
              Id(n->GetPreviousSibling()) + Id(n->GetNextLeaf()) + Id(n->GetPreviousLeaf()) +
              Id(n->GetFirstChild()) + Id(n->GetLastChild()) + Id(n->GetFirstLeaf()) +
              Id(n->GetLastLeaf()) + Id(n->GetNextNode()) + Id(n->GetPreviousNode()) + " ";
    }
    return text;
  }

  CompositeTreeNode *root, *a, *b, *a1, *a2, *b1;
};

TEST_F(TreeNodeTest, StructureAndWalks) {
  EXPECT_EQ(root->GetChildAt(-1), nullptr);
  EXPECT_EQ(root->GetChildAt(2), nullptr);
  EXPECT_EQ(b1->GetRoot(), root);
  // a2's next leaf climbs to a, then down to b's first leaf.
  EXPECT_EQ(Neighbours({root, a, a1, a2, b, b1}),
            "0:0----12351- 1:12-5-343430 3:24-4---3341 4:2-353--4423 2:1-1-4555554 "
            "5:2---4--55-2 ");

  // After a node that is not a child comes the first child; nothing comes before it.
  EXPECT_EQ(Id(root->GetChildAfter(a)) + Id(root->GetChildAfter(b)) + Id(root->GetChildAfter(b1)) +
                Id(root->GetChildBefore(b)) + Id(root->GetChildBefore(a)) +
                Id(root->GetChildBefore(b1)),
            "2-11--");
}

TEST_F(TreeNodeTest, AttachRefusals) {
  a->Add(a);      // itself
  a1->Add(root);  // an ancestor
  a1->Add(nullptr);
  EXPECT_EQ(a->GetChildCount(), 2);
  EXPECT_EQ(a1->GetChildCount(), 0);
  EXPECT_EQ(root->GetParent(), nullptr);
  // A node closed to children refuses them.
  std::unique_ptr<CompositeTreeNode> late(Node("7"));
  CompositeTreeNode closed(false);
  closed.Add(late.get());
  EXPECT_EQ(closed.GetChildCount(), 0);
  EXPECT_EQ(late->GetParent(), nullptr);
}

TEST_F(TreeNodeTest, MovingANodeDetachesWithoutDestroying) {
  b->Add(a1);
  EXPECT_EQ(g_statsDestroyed, 0);
  EXPECT_EQ(a1->GetParent(), b);
  // The old slot stays, empty, so the other child keeps its position.
  EXPECT_EQ(Slots(a), "-4");
  // Adding a child that is already attached here changes nothing.
  EXPECT_EQ(Slots(b), "53");
  b->Add(b1);
  EXPECT_EQ(Slots(b), "53");
}

TEST_F(TreeNodeTest, RemovalByEqualStatistics) {
  CompositeTreeNode* twin = Node("3");  // same identifier as a1
  a->Add(twin);
  // Equality of statistics, not identity: the twin is found in a1's slot. A
  // node without statistics equals none.
  CompositeTreeNode bare;
  EXPECT_FALSE(bare == *a1);
  EXPECT_FALSE(*a1 == bare);
  EXPECT_EQ(
      (std::vector<int>{a->GetIndex(twin), a->GetIndex(a2), a->GetIndex(nullptr), a->GetIndex(b)}),
      (std::vector<int>{0, 1, -1, -1}));

  a->Remove(2);
  EXPECT_EQ(g_statsDestroyed, 2);  // both twins
  EXPECT_EQ(Slots(a), "-4-");
  // An empty slot, a position past the end, a node of another parent and
  // null remove nothing.
  a->Remove(0);
  a->Remove(7);
  a->Remove(b1);
  a->Remove(static_cast<TreeNode*>(nullptr));
  EXPECT_EQ(g_statsDestroyed, 2);
  a->Remove(a2);
  EXPECT_EQ(g_statsDestroyed, 3);
  EXPECT_EQ(Slots(a), "---");
}

TEST_F(TreeNodeTest, WalksSkipEmptySlots) {
  CompositeTreeNode* c = Node("6");
  root->Add(c);
  b->RemoveFromParent();  // destroys b and b1
  EXPECT_EQ(g_statsDestroyed, 2);
  EXPECT_EQ(Slots(root), "1-6");
  EXPECT_EQ(Neighbours({root, a, a1, a2, c}),
            "0:0----16361- 1:16-6-343430 3:24-4---3341 4:2-363--4463 6:1-1-4--66-4 ");
  // Removing all children keeps their slots, empty: the root is no leaf.
  root->RemoveAllChildren();
  EXPECT_EQ(g_statsDestroyed, 6);  // also a, its two children and the new child
  EXPECT_EQ(Slots(root), "---");
  EXPECT_FALSE(root->IsLeaf());
  EXPECT_EQ(Neighbours({root}), "0:0------00-- ");
}

}  // namespace
