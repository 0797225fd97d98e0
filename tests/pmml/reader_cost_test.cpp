// Misclassification cost cells read into the predicted -> actual -> cost map.

#include <map>

#include "host/ScoreCaseRecord.h"
#include "reader_support.h"

// The cost map a read left in the model; it has no public view.
class DendrixPMMLModelTestPeer {
 public:
  static const std::map<std::string, std::map<std::string, double>>& Costs(const ScoreModel& m) {
    return static_cast<const DendrixPMMLModel&>(m).misclassificationCosts;
  }
};

using namespace reader_test;

namespace {

using CostMap = std::map<std::string, std::map<std::string, double>>;

// One cost cell: the cost of predicting `predicted` for a case of `actual`.
std::string Cell(const std::string& predicted, const std::string& actual, const std::string& cost,
                 const std::string& type = "A",
                 const std::string& name = "X-MisclassificationCost") {
  return "<" + name + "><X-PredictedValue type=\"" + type + "\">" + predicted +
         "</X-PredictedValue><X-ActualValue type=\"" + type + "\">" + actual +
         "</X-ActualValue><X-Cost>" + cost + "</X-Cost></" + name + ">";
}

// A one-leaf tree predicting target, with the cells in a document-level Extension.
std::string CostDocument(const std::string& cells, const std::string& target = "class") {
  const std::string score = target == "class" ? "A" : "1";
  return Document("<Extension>" + cells + "</Extension>" +
                  TreeModel(ClsNode(score, ""), "", Schema(target, {"x"})));
}

TEST_F(ReaderTest, CostCellsBecomeRowsOfKnownCategories) {
  const std::vector<std::tuple<std::string, std::string, CostMap>> cases = {
      {"text categories",
       CostDocument(Cell("A", "B", "5") + Cell("A", "C", "2") + Cell("B", "A", "3") +
                    Cell("A", "B", "9") +    // repeated pair: the first cost stands
                    Cell("Q", "A", "4") +    // not a category: dropped
                    Cell("B", "Zed", "7") +  // unknown actual category: kept
                    // Children count by position, not by name.
                    "<X-MisclassificationCost><X-Cost type=\"A\">C</X-Cost>"
                    "<X-PredictedValue type=\"A\">A</X-PredictedValue>"
                    "<Whatever>4.5</Whatever><Ignored/></X-MisclassificationCost>"),
       {{"A", {{"B", 5.0}, {"C", 2.0}}}, {"B", {{"A", 3.0}, {"Zed", 7.0}}}, {"C", {{"A", 4.5}}}}},
      // Numeric categories match by normalised text.
      {"numeric categories",
       CostDocument(Cell("1.0", "2", "3", "D") + Cell("2", "1", "6", "J"), "code"),
       {{"1", {{"2", 3.0}}}, {"2", {{"1", 6.0}}}}},
  };
  for (const auto& [name, xml, costs] : cases) {
    EXPECT_EQ(DendrixPMMLModelTestPeer::Costs(*ReadOk(xml).model), costs) << name;
  }
}

TEST_F(ReaderTest, IncompleteCostCellsAreRefused) {
  const std::string open = "<X-MisclassificationCost>", close = "</X-MisclassificationCost>";
  const std::string pa = "<P type=\"A\">A</P>", qb = "<Q type=\"A\">B</Q>";
  const std::vector<std::tuple<std::string, int, std::string>> cases = {
      {CostDocument(open + "text only" + close), 4, "No child node in <X-MisclassificationCost>"},
      {CostDocument(open + "<P type=\"A\"/>" + close), 4, "No predicted value found"},
      {CostDocument(open + pa + close), 4, "No actual value node found"},
      {CostDocument(open + pa + "<Q type=\"A\"/>" + close), 4, "No actual value found"},
      {CostDocument(open + pa + qb + close), 4, "No cost node found"},
      {CostDocument(open + pa + qb + "<C/>" + close), 4, "No cost value found"},
      // A broken cell after a good one still fails: all cells are read first.
      {CostDocument(Cell("A", "B", "1") + "<X-MisclassificationCost/>"), 4,
       "No child node in <X-MisclassificationCost>"},
      {CostDocument(Cell("A", "B", "1", "d")), 11, "Invalid Target Variable type!!"},
      {CostDocument(Cell("A", "B", "cheap")), 3, ""},
      {CostDocument(Cell("1", "2", "1", "A"), "code"), 11, "Target Variable type doesn't match!!"},
      {CostDocument(Cell("2.5", "1", "1", "J"), "code"), 3, ""},
  };
  for (const auto& [xml, code, message] : cases) Refused(xml, code, message, xml);
}

// Predicting A for a B case costs 5, so B becomes the cheaper answer; the
// reverse cell keeps A.
TEST_F(ReaderTest, CostMatrixPlacementDecidesThePrediction) {
  const std::string aForB = "<Extension>" + Cell("A", "B", "5") + "</Extension>";
  const std::string bForA = "<Extension>" + Cell("B", "A", "5") + "</Extension>";
  // A single leaf with shares A 0.6, B 0.4 whose stored prediction is A.
  const auto tree = [](const std::string& extension) {
    return "<TreeModel functionName=\"classification\">" + Schema() + extension +
           ClsNode("A", Dist("A", "6") + Dist("B", "4")) + "</TreeModel>";
  };
  const std::vector<std::pair<std::string, std::string>> cases = {
      {Document(tree("")), "A"},
      // The document level wins.
      {Document(aForB + tree(bForA)), "B"},
      {Document(tree(aForB)), "B"},
      {Document(tree("<Extension>" + Cell("A", "B", "5", "A", "X-MisclassificatonCost") +
                     "</Extension>")),
       "B"},
      // A tree-level Extension counts only when the cost cell is its first child.
      {Document(tree("<Extension><Other/>" + Cell("A", "B", "5") + "</Extension>")), "A"},
      // Only the first tree is consulted.
      {Document(tree("") + tree(aForB)), "A"},
  };
  for (const auto& [xml, prediction] : cases) {
    ReadOutcome outcome = ReadOk(xml);
    NamedCaseRecord record;
    ScoreResult* result = nullptr;
    ASSERT_TRUE(outcome->GetScore(&record, result, false).IsOK() && result) << xml;
    EXPECT_EQ(result->GetPrediction()->ToString(), prediction) << xml;
    delete result;
  }
}

}  // namespace
