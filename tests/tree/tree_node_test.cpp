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

// Identifiers met walking from node with step until the walk ends.
template <typename Step>
std::string Walk(const CompositeTreeNode* node, Step step) {
  std::string ids;
  for (; node != nullptr; node = step(node)) ids += Id(node);
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

  // For each node in pre-order: id, level, next and previous sibling, next
  // and previous leaf, first and last child, first and last leaf.
  std::string Neighbours() const {
    std::string text;
    for (const CompositeTreeNode* n : {root, a, a1, a2, b, b1}) {
      text += Id(n) + ":" + std::to_string(n->GetLevel()) + Id(n->GetNextSibling()) +
              Id(n->GetPreviousSibling()) + Id(n->GetNextLeaf()) + Id(n->GetPreviousLeaf()) +
              Id(n->GetFirstChild()) + Id(n->GetLastChild()) + Id(n->GetFirstLeaf()) +
              Id(n->GetLastLeaf()) + " ";
    }
    return text;
  }

  CompositeTreeNode *root, *a, *b, *a1, *a2, *b1;
};

using CompositeTreeNodeTest = TreeNodeTest;

TEST_F(TreeNodeTest, StructureAndWalks) {
  EXPECT_EQ(root->GetChildAt(1), b);
  EXPECT_EQ(root->GetChildAt(-1), nullptr);
  EXPECT_EQ(root->GetChildAt(2), nullptr);
  EXPECT_EQ(b1->GetRoot(), root);
  EXPECT_EQ(a1->GetSiblingCount(), 2);
  // a2's next leaf climbs to a, then down to b's first leaf.
  EXPECT_EQ(Neighbours(),
            "0:0----1235 1:12-5-3434 3:24-4---33 4:2-353--44 2:1-1-45555 5:2---4--55 ");
  EXPECT_EQ(Walk(root, [](auto* n) { return n->GetNextNode(); }), "013425");
  EXPECT_EQ(Walk(b1, [](auto* n) { return n->GetPreviousNode(); }), "524310");

  EXPECT_EQ(root->GetChildAfter(a), b);
  EXPECT_EQ(root->GetChildAfter(b), nullptr);
  EXPECT_EQ(root->GetChildAfter(b1), a);  // not a child: the first child
  EXPECT_EQ(a1->GetChildAfter(b1), nullptr);
  EXPECT_EQ(root->GetChildBefore(b), a);
  EXPECT_EQ(root->GetChildBefore(a), nullptr);
  EXPECT_EQ(root->GetChildBefore(b1), nullptr);
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
  EXPECT_EQ(b->GetChildAt(1), a1);
  // The old slot stays, empty, so the other child keeps its position.
  EXPECT_EQ(Slots(a), "-4");
  // Adding a child that is already attached here changes nothing.
  b->Add(b1);
  EXPECT_EQ(Slots(b), "53");
}

TEST_F(TreeNodeTest, RemoveAllChildrenLeavesEmptySlots) {
  root->Add(Node("6"));
  root->RemoveAllChildren();
  EXPECT_EQ(g_statsDestroyed, 6);  // a, b, the new child and the three grandchildren
  EXPECT_EQ(Slots(root), "---");
  EXPECT_FALSE(root->IsLeaf());
  EXPECT_EQ(root->GetFirstChild(), nullptr);
  EXPECT_EQ(root->GetFirstLeaf(), root);
  EXPECT_EQ(root->GetNextNode(), nullptr);
}

TEST_F(TreeNodeTest, RemovalByEqualStatistics) {
  CompositeTreeNode* twin = Node("3");  // same identifier as a1
  a->Add(twin);
  EXPECT_EQ(a->GetIndex(twin), 0);  // equality, not identity
  EXPECT_EQ(a->GetIndex(a2), 1);
  EXPECT_EQ(a->GetIndex(nullptr), -1);
  EXPECT_EQ(a->GetIndex(b), -1);

  a->Remove(2);
  EXPECT_EQ(g_statsDestroyed, 2);  // both twins
  EXPECT_EQ(Slots(a), "-4-");
  a->Remove(0);  // an empty slot: nothing happens
  a->Remove(7);
  EXPECT_EQ(g_statsDestroyed, 2);

  // Removing by node needs a child of this node.
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
  EXPECT_EQ(root->GetChildAt(1), nullptr);
  EXPECT_EQ(a->GetNextSibling(), c);
  EXPECT_EQ(c->GetPreviousSibling(), a);
  EXPECT_EQ(a2->GetNextLeaf(), c);
  EXPECT_EQ(c->GetPreviousNode(), a2);
  EXPECT_EQ(Walk(root, [](auto* n) { return n->GetNextNode(); }), "01346");
}

TEST_F(CompositeTreeNodeTest, EqualityComparesStatisticsOnly) {
  std::unique_ptr<CompositeTreeNode> twin(Node("1"));  // a's identifier, no children
  CompositeTreeNode bare;
  EXPECT_TRUE(*twin == *a);
  EXPECT_FALSE(*a == *b);
  EXPECT_FALSE(bare == *a);
  EXPECT_FALSE(*a == bare);
}

}  // namespace
