#pragma once

#include <ostream>
#include <vector>

#include "host/TreeNode.h"

// The one concrete node of a decision tree. Owns its children, its split
// conditions and its statistics; the parent is borrowed. Destroying a node
// destroys its whole subtree. Not thread-safe; a tree that is only read may
// be shared.
class CompositeTreeNode : public TreeNode {
 public:
  explicit CompositeTreeNode(bool allowsChildren = true);
  CompositeTreeNode(const CompositeTreeNode&) = delete;
  CompositeTreeNode& operator=(const CompositeTreeNode&) = delete;
  ~CompositeTreeNode() override;

  // TreeNode slots 1 to 17.
  bool operator==(const TreeNode& other) const override;
  void Insert(TreeNode* child, int index) override;
  void Remove(TreeNode* child) override;
  void Remove(int index) override;
  void RemoveFromParent() override;
  bool IsLeaf() const override;
  void SetNodeStats(ScoreNodeStats* stats) override;
  void SetParent(TreeNode* parent) override;
  void SetSplitVar(const std::vector<ScoreSplitVar*>& splits) override;
  const ScoreNodeStats* GetNodeStats() const override;
  const TreeNode* GetChildAt(int index) const override;
  int GetChildCount() const override;
  const TreeNode* GetParent() const override;
  int GetIndex(const TreeNode* node) const override;
  bool GetAllowsChildren() const override;
  const std::vector<ScoreSplitVar*>* GetSplitVar() const override;
  void Display(std::ostream& os) const override;
  // Slots 18 to 20.
  virtual const std::vector<TreeNode*> Children();
  virtual void Add(TreeNode* child);
  virtual const TreeNode* GetRoot() const;
  // Takes the splits (leaving splits with the node's old ones, none for a
  // new node) without allocating, so a reader can hand them over safely.
  void TakeSplitVars(std::vector<ScoreSplitVar*>& splits) noexcept { splitVars.swap(splits); }

  bool IsNodeAncestor(const TreeNode* node) const;
  bool IsNodeDescendant(const CompositeTreeNode* node) const;
  bool IsNodeChild(const TreeNode* node) const;
  bool IsNodeSibling(const TreeNode* node) const;
  bool IsRoot() const;
  int GetLevel() const;
  int GetSiblingCount() const;
  const TreeNode* GetFirstChild() const;
  const TreeNode* GetLastChild() const;
  const TreeNode* GetChildAfter(TreeNode* child) const;
  const TreeNode* GetChildBefore(const TreeNode* child) const;
  const CompositeTreeNode* GetNextSibling() const;
  const CompositeTreeNode* GetPreviousSibling() const;
  const CompositeTreeNode* GetFirstLeaf() const;
  const CompositeTreeNode* GetLastLeaf() const;
  const CompositeTreeNode* GetNextLeaf() const;
  const CompositeTreeNode* GetPreviousLeaf() const;
  const CompositeTreeNode* GetNextNode() const;
  const CompositeTreeNode* GetPreviousNode() const;
  void RemoveAllChildren();
  void SetAllowsChildren(bool allowsChildren);

  // Mutable statistics for the scoring engine, which recomputes per-category
  // confidences of the leaf it reaches.
  ScoreNodeStats* GetMutableNodeStats() const { return nodeStats; }

 private:
  TreeNode* parent;
  std::vector<TreeNode*> children;
  bool allowsChildren;
  std::vector<ScoreSplitVar*> splitVars;
  ScoreNodeStats* nodeStats;
};
