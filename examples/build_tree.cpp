// Assembles a small classification tree in code and prints its text dump:
// a root split on a continuous variable into two leaves with statistics.
#include <iostream>
#include <limits>
#include <vector>

#include "host/BaseDictionary.h"
#include "host/ScoreSplitVar.h"
#include "host/ScoreValue.h"
#include "tree/CompositeTreeNode.h"
#include "tree/TreeClsResult.h"

namespace {

// Statistics of a node with records of "yes" and "no"; the node owns them.
TreeClsNodeStats* MakeStats(const char* id, double total, double yesShare) {
  auto* stats = new TreeClsNodeStats();
  stats->SetNodeID(id);
  stats->SetTotalRecord(total);
  stats->SetPrediction(new StringValue(yesShare >= 0.5 ? "yes" : "no"));
  stats->AddValuePercent(new StringValue("yes"), yesShare);
  stats->AddValuePercent(new StringValue("no"), 1.0 - yesShare);
  stats->ComputeConfidence();
  return stats;
}

void DumpPreOrder(const CompositeTreeNode* root, std::ostream& os) {
  for (const CompositeTreeNode* node = root; node != nullptr; node = node->GetNextNode()) {
    node->Display(os);
  }
}

}  // namespace

int main() {
  DictVar age("age", ScoreDictVar::kNumeric);  // outlives the tree that borrows it

  auto* split = new ScaleSplit(&age);
  const double inf = std::numeric_limits<double>::infinity();
  split->PutSplit(new Range(-inf, 40.0, false, true), 0);  // age <= 40
  split->PutSplit(new Range(40.0, inf, false, false), 1);  // age > 40
  split->SetMissvalMap(0);

  auto* root = new CompositeTreeNode(true);
  root->SetNodeStats(MakeStats("0", 100, 0.55));
  root->SetSplitVar(std::vector<ScoreSplitVar*>{split});

  auto* young = new CompositeTreeNode(true);
  young->SetNodeStats(MakeStats("1", 60, 0.75));
  auto* old = new CompositeTreeNode(true);
  old->SetNodeStats(MakeStats("2", 40, 0.25));
  root->Add(young);
  root->Add(old);

  DumpPreOrder(root, std::cout);
  delete root;  // destroys the whole tree
  return 0;
}
