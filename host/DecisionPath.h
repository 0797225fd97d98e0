#pragma once

#include <string>
#include <vector>

// The way one case took through a model: for each tree scored, the nodes
// entered from the root to the answer. Filled on request only, apart from
// ordinary scoring, so scoring without it costs nothing.
struct DecisionStep {
  std::string nodeId;     // the node entered
  std::string condition;  // why the case entered it from its parent (empty at a root)
  double weight = 1.0;    // share of the case that took this branch (below 1 for fractional cases)
  int depth = 0;          // 0 at the root; fractional branches share a depth
};

struct DecisionPath {
  // One list per tree (or segment) in scoring order; a tree the case did not
  // reach (a segment whose predicate was false) has an empty list.
  std::vector<std::vector<DecisionStep>> trees;
  void Clear() { trees.clear(); }
};
