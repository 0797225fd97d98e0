#include "tree/CompositeTreeNode.h"

#include <string>

#include "host/ScoreSplitVar.h"

namespace {

const CompositeTreeNode* AsComposite(const TreeNode* node) {
  return dynamic_cast<const CompositeTreeNode*>(node);
}

}  // namespace

CompositeTreeNode::CompositeTreeNode(bool allowsChildren)
    : parent(nullptr), allowsChildren(allowsChildren), nodeStats(nullptr) {}

CompositeTreeNode::~CompositeTreeNode() {
  delete nodeStats;
  nodeStats = nullptr;
  for (ScoreSplitVar*& split : splitVars) {
    delete split;
    split = nullptr;
  }
  splitVars.clear();
  for (TreeNode*& child : children) {
    delete child;
    child = nullptr;
  }
  children.clear();
}

bool CompositeTreeNode::operator==(const TreeNode& other) const {
  const ScoreNodeStats* mine = GetNodeStats();
  const ScoreNodeStats* theirs = other.GetNodeStats();
  // A node without statistics equals nothing.
  if (mine == nullptr || theirs == nullptr) return false;
  return *mine == *theirs;
}

void CompositeTreeNode::Insert(TreeNode* child, int /*index*/) {
  if (!allowsChildren || child == nullptr) return;
  for (const TreeNode* n = this; n != nullptr; n = n->GetParent()) {
    if (n == child) return;  // would make a cycle
  }
  if (child->GetParent() == this) return;  // already attached here
  if (child->GetParent() != nullptr) {
    // Move: detach from the old parent without destroying the child. Only
    // our own node class can be detached safely; anything else is refused.
    auto* moving = dynamic_cast<CompositeTreeNode*>(child);
    auto* oldParent = moving ? dynamic_cast<CompositeTreeNode*>(moving->parent) : nullptr;
    if (oldParent == nullptr) return;
    for (TreeNode*& slot : oldParent->children) {
      if (slot == child) slot = nullptr;  // the slot stays, empty
    }
  }
  child->SetParent(this);
  children.push_back(child);
}

void CompositeTreeNode::Remove(TreeNode* child) {
  if (child == nullptr || children.empty() || child->GetParent() != this) return;
  const int index = GetIndex(child);
  if (index >= 0) Remove(index);
}

void CompositeTreeNode::Remove(int index) {
  const TreeNode* target = GetChildAt(index);
  if (target == nullptr) return;
  // Every other child equal to the target goes first; the target is still
  // needed for the comparisons and is destroyed last.
  for (size_t i = 0; i < children.size(); ++i) {
    if (static_cast<int>(i) == index || children[i] == nullptr) continue;
    if (target->operator==(*children[i])) {
      delete children[i];
      children[i] = nullptr;
    }
  }
  children[index] = nullptr;
  delete target;
}

void CompositeTreeNode::RemoveFromParent() {
  // The parent destroys this node: nothing may touch it afterwards.
  if (parent != nullptr) parent->Remove(this);
}

bool CompositeTreeNode::IsLeaf() const { return children.empty(); }

void CompositeTreeNode::SetNodeStats(ScoreNodeStats* stats) { nodeStats = stats; }

void CompositeTreeNode::SetParent(TreeNode* newParent) { parent = newParent; }

void CompositeTreeNode::SetSplitVar(const std::vector<ScoreSplitVar*>& splits) {
  splitVars = splits;
}

const ScoreNodeStats* CompositeTreeNode::GetNodeStats() const { return nodeStats; }

const TreeNode* CompositeTreeNode::GetChildAt(int index) const {
  if (index < 0 || index >= GetChildCount()) return nullptr;
  return children[index];
}

int CompositeTreeNode::GetChildCount() const { return static_cast<int>(children.size()); }

const TreeNode* CompositeTreeNode::GetParent() const { return parent; }

int CompositeTreeNode::GetIndex(const TreeNode* node) const {
  if (node == nullptr) return -1;
  for (size_t i = 0; i < children.size(); ++i) {
    if (children[i] != nullptr && node->operator==(*children[i])) return static_cast<int>(i);
  }
  return -1;
}

bool CompositeTreeNode::GetAllowsChildren() const { return allowsChildren; }

const std::vector<ScoreSplitVar*>* CompositeTreeNode::GetSplitVar() const { return &splitVars; }

void CompositeTreeNode::Display(std::ostream& os) const {
  os << "Start TreeNode Display:\n";
  os << "  Node ID = " << (nodeStats ? nodeStats->GetNodeID() : std::string("-1")) << "\n";
  const int best = nodeStats ? nodeStats->GetChildIndexOnMaxConfidence() : -1;
  if (best >= 0) os << " Biggest Child Index On Confidence = " << best << "\n";
  for (const TreeNode* child : children) {
    if (child == nullptr) continue;
    const ScoreNodeStats* stats = child->GetNodeStats();
    os << "       Child NodeID = " << (stats ? stats->GetNodeID() : std::string("-1")) << std::endl;
  }
  os << "  Level = " << GetLevel() << "\n\n";
  if (!splitVars.empty())
    os << "Split Var Imformation: "
       << "\n";
  for (const ScoreSplitVar* split : splitVars) {
    if (split != nullptr) split->Display(os);
  }
  os << "End TreeNode Display. \n\n";
}

const std::vector<TreeNode*> CompositeTreeNode::Children() { return children; }

void CompositeTreeNode::Add(TreeNode* child) {
  const int n =
      (child != nullptr && child->GetParent() == this) ? GetChildCount() - 1 : GetChildCount();
  Insert(child, n);
}

const TreeNode* CompositeTreeNode::GetRoot() const {
  const TreeNode* node = this;
  while (node->GetParent() != nullptr) node = node->GetParent();
  return node;
}

bool CompositeTreeNode::IsNodeAncestor(const TreeNode* node) const {
  if (node == nullptr) return false;
  for (const TreeNode* n = this; n != nullptr; n = n->GetParent()) {
    if (n == node) return true;
  }
  return false;
}

bool CompositeTreeNode::IsNodeDescendant(const CompositeTreeNode* node) const {
  return node != nullptr && node->IsNodeAncestor(this);
}

bool CompositeTreeNode::IsNodeChild(const TreeNode* node) const {
  if (node == nullptr || children.empty()) return false;
  return node->GetParent() == this;
}

bool CompositeTreeNode::IsNodeSibling(const TreeNode* node) const {
  if (node == nullptr) return false;
  if (node == this) return true;
  if (parent == nullptr) return false;
  return node->GetParent() == parent;
}

bool CompositeTreeNode::IsRoot() const { return parent == nullptr; }

int CompositeTreeNode::GetLevel() const {
  int level = 0;
  for (const TreeNode* n = parent; n != nullptr; n = n->GetParent()) ++level;
  return level;
}

int CompositeTreeNode::GetSiblingCount() const {
  return parent == nullptr ? 1 : parent->GetChildCount();
}

// Empty slots left by removals are skipped by every walk below.

const TreeNode* CompositeTreeNode::GetFirstChild() const {
  for (const TreeNode* child : children) {
    if (child != nullptr) return child;
  }
  return nullptr;
}

const TreeNode* CompositeTreeNode::GetLastChild() const {
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    if (*it != nullptr) return *it;
  }
  return nullptr;
}

const TreeNode* CompositeTreeNode::GetChildAfter(TreeNode* child) const {
  const int i = GetIndex(child);
  for (int k = i + 1; k < GetChildCount(); ++k) {
    if (children[k] != nullptr) return children[k];
  }
  return nullptr;
}

const TreeNode* CompositeTreeNode::GetChildBefore(const TreeNode* child) const {
  const int i = GetIndex(child);
  for (int k = i - 1; k >= 0; --k) {
    if (children[k] != nullptr) return children[k];
  }
  return nullptr;
}

const CompositeTreeNode* CompositeTreeNode::GetNextSibling() const {
  const CompositeTreeNode* up = AsComposite(parent);
  if (up == nullptr) return nullptr;
  const int i = up->GetIndex(this);
  if (i < 0) return nullptr;
  return AsComposite(up->GetChildAfter(const_cast<CompositeTreeNode*>(this)));
}

const CompositeTreeNode* CompositeTreeNode::GetPreviousSibling() const {
  const CompositeTreeNode* up = AsComposite(parent);
  if (up == nullptr) return nullptr;
  const int i = up->GetIndex(this);
  if (i < 0) return nullptr;
  return AsComposite(up->GetChildBefore(this));
}

const CompositeTreeNode* CompositeTreeNode::GetFirstLeaf() const {
  const CompositeTreeNode* node = this;
  while (!node->IsLeaf()) {
    const CompositeTreeNode* next = AsComposite(node->GetFirstChild());
    if (next == nullptr) break;  // only empty slots left
    node = next;
  }
  return node;
}

const CompositeTreeNode* CompositeTreeNode::GetLastLeaf() const {
  const CompositeTreeNode* node = this;
  while (!node->IsLeaf()) {
    const CompositeTreeNode* next = AsComposite(node->GetLastChild());
    if (next == nullptr) break;
    node = next;
  }
  return node;
}

const CompositeTreeNode* CompositeTreeNode::GetNextLeaf() const {
  for (const CompositeTreeNode* n = this; n != nullptr && n->parent != nullptr;
       n = AsComposite(n->parent)) {
    if (const CompositeTreeNode* sibling = n->GetNextSibling()) return sibling->GetFirstLeaf();
  }
  return nullptr;
}

const CompositeTreeNode* CompositeTreeNode::GetPreviousLeaf() const {
  for (const CompositeTreeNode* n = this; n != nullptr && n->parent != nullptr;
       n = AsComposite(n->parent)) {
    if (const CompositeTreeNode* sibling = n->GetPreviousSibling()) return sibling->GetLastLeaf();
  }
  return nullptr;
}

const CompositeTreeNode* CompositeTreeNode::GetNextNode() const {
  if (const CompositeTreeNode* first = AsComposite(GetFirstChild())) return first;
  for (const CompositeTreeNode* n = this; n != nullptr; n = AsComposite(n->parent)) {
    if (const CompositeTreeNode* sibling = n->GetNextSibling()) return sibling;
  }
  return nullptr;
}

const CompositeTreeNode* CompositeTreeNode::GetPreviousNode() const {
  if (parent == nullptr) return nullptr;
  const CompositeTreeNode* sibling = GetPreviousSibling();
  if (sibling == nullptr) return AsComposite(parent);
  return sibling->GetLastLeaf();
}

void CompositeTreeNode::RemoveAllChildren() {
  for (int i = GetChildCount() - 1; i >= 0; --i) Remove(i);
}

void CompositeTreeNode::SetAllowsChildren(bool allows) {
  if (allows == allowsChildren) return;
  allowsChildren = allows;
  if (!allowsChildren) RemoveAllChildren();
}
