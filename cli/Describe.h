#pragma once

#include <ostream>
#include <vector>

#include "host/PmmlUpgrade.h"
#include "host/ScoreModel.h"

class TreeNode;

// Size of one tree: nodes, leaves and depth (levels below the root).
struct TreeShape {
  long long nodes = 0;
  long long leaves = 0;
  int depth = 0;
};

// Walks the tree without recursion, so any depth is safe.
TreeShape MeasureTree(const TreeNode* root);

// Writes the model's kind, target, categories, variables by role, derived
// fields and per-tree sizes as "key: value" lines.
void DescribeModel(ScoreModel& model, std::ostream& os);

// Writes "upgraded: N" and one indented line per change the upgrade made.
void DescribeUpgrade(const std::vector<PmmlUpgradeChange>& changes, std::ostream& os);
