#pragma once

#include <string>
#include <vector>

#include "host/DecisionPath.h"
#include "host/ScoreModel.h"

// What to draw of a model's tree.
struct RenderOptions {
  int tree = 0;       // which tree, 0 for the first (ensembles have several)
  int maxDepth = -1;  // levels below the root to draw; -1 draws every level
  // Steps of one case's path through that tree, drawn highlighted; null for none.
  const std::vector<DecisionStep>* highlight = nullptr;
  std::string caption;  // a line under the title, e.g. which case is highlighted
};

// The tree as a stand-alone SVG document: one box per node with its
// identifier, prediction, record count and (classification) its class shares
// as a bar; each edge labelled with the condition of the node's primary split
// that leads there, "or missing" where missing values go; surrogates listed
// in the parent's box. Nodes below maxDepth are left out and their count is
// shown under the last drawn node. Laid out here (parents centred over their
// children), so no layout program is needed. Throws std::out_of_range for a
// tree the model lacks. Reads the model only.
std::string RenderTreeSvg(ScoreModel& model, const RenderOptions& options);
