#pragma once

// Documents for the hostile-input tests and benchmarks: a small
// classification tree whose target categories and nodes are given.

#include <string>

namespace hostile {

inline std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

inline std::string Values(int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += "<Value value=\"c" + std::to_string(i) + "\"/>";
  return out;
}

// A classification tree on x with target t (categories given as Value
// elements); nodes go inside the root node.
inline std::string Document(const std::string& nodes, const std::string& targetValues = Values(3),
                            const std::string& extra = "") {
  return "<PMML version=\"4.3\"><DataDictionary>"
         "<DataField name=\"x\" optype=\"continuous\" dataType=\"double\"/>"
         "<DataField name=\"t\" optype=\"categorical\" dataType=\"string\">" +
         targetValues + "</DataField></DataDictionary>" + extra +
         "<TreeModel functionName=\"classification\"><MiningSchema>"
         "<MiningField name=\"x\" usageType=\"active\"/>"
         "<MiningField name=\"t\" usageType=\"predicted\"/></MiningSchema>"
         "<Node score=\"c0\"><True/>" +
         nodes + "</Node></TreeModel></PMML>";
}

inline const std::string kSecondLeaf =
    "<Node score=\"c2\"><True/><ScoreDistribution value=\"c2\" recordCount=\"5\"/></Node>";
inline const std::string kTwoLeaves =
    "<Node score=\"c1\"><SimplePredicate field=\"x\" operator=\"lessThan\" value=\"1\"/>"
    "<ScoreDistribution value=\"c1\" recordCount=\"5\"/></Node>" +
    kSecondLeaf;

}  // namespace hostile
