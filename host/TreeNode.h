#pragma once

#include <ostream>
#include <vector>

#include "host/HostExport.h"
#include "host/ScoreResult.h"
#include "host/ScoreSplitVar.h"

// A node of a decision tree: children, split conditions choosing among them,
// and statistics. The host's interface; the plug-in provides the class.
class DX_HOST_API TreeNode {
 public:
  virtual ~TreeNode();                                                  // slot 0
  virtual bool operator==(const TreeNode& other) const = 0;             // 1
  virtual void Insert(TreeNode* child, int index) = 0;                  // 2
  virtual void Remove(TreeNode* child) = 0;                             // 3
  virtual void Remove(int index) = 0;                                   // 4
  virtual void RemoveFromParent() = 0;                                  // 5
  virtual bool IsLeaf() const = 0;                                      // 6
  virtual void SetNodeStats(ScoreNodeStats* stats) = 0;                 // 7
  virtual void SetParent(TreeNode* parent) = 0;                         // 8
  virtual void SetSplitVar(const std::vector<ScoreSplitVar*>& splits) = 0;  // 9
  virtual const ScoreNodeStats* GetNodeStats() const = 0;               // 10
  virtual const TreeNode* GetChildAt(int index) const = 0;              // 11
  virtual int GetChildCount() const = 0;                                // 12
  virtual const TreeNode* GetParent() const = 0;                        // 13
  virtual int GetIndex(const TreeNode* node) const = 0;                 // 14
  virtual bool GetAllowsChildren() const = 0;                           // 15
  virtual const std::vector<ScoreSplitVar*>* GetSplitVar() const = 0;   // 16
  virtual void Display(std::ostream& os) const = 0;                     // 17
};
