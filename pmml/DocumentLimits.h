#pragma once

// Size limits the tree readers enforce on a whole document before building
// anything from it. Nothing here is owned or allocated past a call.

#include <cstdint>
#include <xercesc/dom/DOM.hpp>

// Most tree nodes (PMML Node elements and the legacy layout's node elements)
// one document may hold: far above real ensembles, low enough to bound what
// reading builds.
inline constexpr int64_t kMaxTreeNodes = 10'000'000;

// Most target categories a document with misclassification costs may have;
// the cost matrix is categories squared.
inline constexpr int kMaxCostCategories = 1000;

// Throws VeltraException 5 when the document holds more tree node elements
// than limit. One walk over the document's elements, without recursion.
void CheckTreeNodeCount(const xercesc::DOMDocument* document, int64_t limit);
