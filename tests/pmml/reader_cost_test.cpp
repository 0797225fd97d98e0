// Misclassification costs: cells read into the predicted -> actual -> cost
// map, and where in a document a cost matrix counts.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/BaseDictionary.h"
#include "host/ScoreCaseRecord.h"
#include "reader_support.h"

using namespace reader_test;
using Access = DendrixPMMLReaderTestAccess;

namespace {

using CostMap = std::map<std::string, std::map<std::string, double>>;

std::unique_ptr<DictVar> Target(int type, const std::vector<std::string>& categories) {
  auto var = std::make_unique<DictVar>("t", type);
  var->SetMeasurementLevel(ScoreDictVar::kNominal);
  auto* labels = new ValueLabelSet();
  for (const std::string& c : categories) {
    labels->AddLabel(new ValueLbl(type == ScoreDictVar::kNumeric
                                      ? static_cast<ScoreValue*>(new NumericValue(c))
                                      : new StringValue(c),
                                  c));
  }
  var->SetValueLabelSet(labels);
  return var;
}

std::string Cell(const std::string& predicted, const std::string& actual, const std::string& cost,
                 const std::string& type = "A",
                 const std::string& name = "X-MisclassificationCost") {
  return "<" + name + "><X-PredictedValue type=\"" + type + "\">" + predicted +
         "</X-PredictedValue><X-ActualValue type=\"" + type + "\">" + actual +
         "</X-ActualValue><X-Cost>" + cost + "</X-Cost></" + name + ">";
}

class CostReaderTest : public ReaderTest {
 protected:
  void TearDown() override { delete Access::Model(translator_); }

  // Reads the cells of <Costs>cells</Costs> against target; returns false
  // (with code and message filled in) when reading fails.
  bool ReadCells(const std::string& cells, const DictVar* target, CostMap& costs) {
    XmlDocument document;
    XmlParseError error;
    if (!document.ParseMemory("<Costs>" + cells + "</Costs>", &error)) {
      ADD_FAILURE() << error.message;
      return false;
    }
    Access::SetTarget(translator_, target);
    try {
      Access::HandleMisclassificationCost(
          translator_,
          BaseTranslator::GetElementsByTagName(document.GetDocument(), "X-MisclassificationCost"),
          costs);
      return true;
    } catch (const VeltraException& e) {
      code_ = e.GetCode();
      message_ = e.GetMessage();
      return false;
    }
  }

  DendrixPMMLTranslator translator_;
  int code_ = 0;
  std::string message_;
};

// The prediction for one case of a single leaf with shares A 0.6, B 0.4.
std::string Predict(ScoreModel* model) {
  NamedCaseRecord record;
  record.SetNumber("x", 1.0);
  ScoreResult* result = nullptr;
  std::string prediction = "(none)";
  if (model->GetScore(&record, result, false).IsOK() && result != nullptr &&
      result->GetPrediction() != nullptr) {
    prediction = result->GetPrediction()->ToString();
  }
  delete result;
  return prediction;
}

std::string CostTree(const std::string& treeExtension) {
  return "<TreeModel functionName=\"classification\">" + StandardSchema() + treeExtension +
         ClsNode("A", Dist("A", "6") + Dist("B", "4")) + "</TreeModel>";
}

}  // namespace

TEST_F(CostReaderTest, CellsBecomeRowsOfKnownCategories) {
  auto target = Target(ScoreDictVar::kString, {"A", "B", "C"});
  CostMap costs;
  ASSERT_TRUE(ReadCells(Cell("A", "B", "5") + Cell("A", "C", "2") + Cell("B", "A", "3") +
                            Cell("A", "B", "9") +    // repeated pair: the first cost stands
                            Cell("Q", "A", "4") +    // not a category: dropped
                            Cell("B", "Zed", "7") +  // unknown actual category: kept
                            // Children are taken by position, not by name.
                            "<X-MisclassificationCost><X-Cost type=\"A\">C</X-Cost><P type=\"A\">"
                            "A</P><Whatever>4.5</Whatever><Ignored/></X-MisclassificationCost>",
                        target.get(), costs));
  EXPECT_EQ(costs, (CostMap{{"A", {{"B", 5.0}, {"C", 2.0}}},
                            {"B", {{"A", 3.0}, {"Zed", 7.0}}},
                            {"C", {{"A", 4.5}}}}));

  // Numeric categories match by their normalised text.
  auto numeric = Target(ScoreDictVar::kNumeric, {"1", "2"});
  costs.clear();
  ASSERT_TRUE(
      ReadCells(Cell("1.0", "2", "3", "D") + Cell("2", "1", "6", "J"), numeric.get(), costs));
  EXPECT_EQ(costs, (CostMap{{"1", {{"2", 3.0}}}, {"2", {{"1", 6.0}}}}));

  // A target without categories leaves the map alone.
  DictVar bare("t", ScoreDictVar::kString);
  costs = {{"keep", {{"me", 1.0}}}};
  ASSERT_TRUE(ReadCells(Cell("A", "B", "5"), &bare, costs));
  EXPECT_EQ(costs, (CostMap{{"keep", {{"me", 1.0}}}}));
}

TEST_F(CostReaderTest, MalformedCellsAreRefused) {
  auto target = Target(ScoreDictVar::kString, {"A", "B"});
  const std::string open = "<X-MisclassificationCost>";
  const std::string close = "</X-MisclassificationCost>";
  const std::string pq = "<P type=\"A\">A</P><Q type=\"A\">B</Q>";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {open + "text only" + close, "No child node in <X-MisclassificationCost>"},
      {open + "<P type=\"A\"/>" + close, "No predicted value found"},
      {open + "<P type=\"A\">A</P>" + close, "No actual value node found"},
      {open + "<P type=\"A\">A</P><Q type=\"A\"/>" + close, "No actual value found"},
      {open + pq + close, "No cost node found"},
      {open + pq + "<C/>" + close, "No cost value found"},
      // A broken cell after a good one still fails: all cells are read first.
      {Cell("A", "B", "1") + open + close, "No child node in <X-MisclassificationCost>"},
  };
  for (const auto& [cells, message] : cases) {
    CostMap costs;
    EXPECT_FALSE(ReadCells(cells, target.get(), costs)) << message;
    EXPECT_EQ(code_, 4) << message;
    EXPECT_EQ(message_, message);
    EXPECT_TRUE(costs.empty()) << message;
  }
  CostMap costs;
  EXPECT_FALSE(ReadCells(Cell("A", "B", "cheap"), target.get(), costs));
  EXPECT_EQ(code_, 3);
  EXPECT_FALSE(ReadCells(Cell("A", "B", "1", "X"), target.get(), costs));
  EXPECT_EQ(code_, 11);
  EXPECT_EQ(message_, "Invalid Target Variable type!!");
  EXPECT_TRUE(costs.empty());
}

TEST_F(ReaderTest, CostMatrixPlacementDecidesThePrediction) {
  // Predicting A for a B case costs 5: B becomes the cheaper answer.
  const std::string aForB = "<Extension>" + Cell("A", "B", "5") + "</Extension>";
  // Predicting B for an A case costs 5: A stays the answer.
  const std::string bForA = "<Extension>" + Cell("B", "A", "5") + "</Extension>";
  struct Case {
    std::string name;
    std::string body;
    bool hasCosts;
    std::string prediction;
  };
  const std::vector<Case> cases = {
      {"none", CostTree(""), false, "A"},
      {"document level wins", aForB + CostTree(bForA), true, "B"},
      {"tree level", CostTree(bForA), true, "A"},
      {"tree level, element name misspelt",
       CostTree("<Extension>" + Cell("A", "B", "5", "A", "X-MisclassificatonCost") +
                "</Extension>"),
       true, "B"},
      // A tree-level Extension counts only when the cell is its first child.
      {"tree level, not first",
       CostTree("<Extension><Other/>" + Cell("A", "B", "5") + "</Extension>"), false, "A"},
      {"later tree only", CostTree("") + CostTree(aForB), false, "A"},
  };
  for (const Case& c : cases) {
    ReadOutcome outcome = ReadOk(Document(c.body));
    ASSERT_TRUE(outcome.model) << c.name;
    EXPECT_EQ(Access::HasMisclassificationCost(*outcome.translator), c.hasCosts) << c.name;
    EXPECT_EQ(Predict(outcome.model.get()), c.prediction) << c.name;
  }
}
