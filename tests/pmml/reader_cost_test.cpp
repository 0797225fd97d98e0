// Misclassification cost cells read into the predicted -> actual -> cost map.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/BaseDictionary.h"
#include "reader_support.h"

using namespace reader_test;

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
                 const std::string& type = "A") {
  return "<X-MisclassificationCost><X-PredictedValue type=\"" + type + "\">" + predicted +
         "</X-PredictedValue><X-ActualValue type=\"" + type + "\">" + actual +
         "</X-ActualValue><X-Cost>" + cost + "</X-Cost></X-MisclassificationCost>";
}

class CostReaderTest : public ReaderTest {
 protected:
  // Reads <Costs>cells</Costs> against target; false (code_ and message_
  // filled in) when reading fails.
  bool ReadCells(const std::string& cells, const DictVar* target, CostMap& costs) {
    XmlDocument document;
    XmlParseError error;
    if (!document.ParseMemory("<Costs>" + cells + "</Costs>", &error)) {
      ADD_FAILURE() << error.message;
      return false;
    }
    Peer::SetTarget(translator_, target);
    try {
      Peer::HandleMisclassificationCost(
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

}  // namespace

TEST_F(CostReaderTest, CellsBecomeRowsOfKnownCategories) {
  auto target = Target(ScoreDictVar::kString, {"A", "B", "C"});
  CostMap costs;
  ASSERT_TRUE(ReadCells(Cell("A", "B", "5") + Cell("A", "C", "2") + Cell("B", "A", "3") +
                            Cell("A", "B", "9") +    // repeated pair: the first cost stands
                            Cell("Q", "A", "4") +    // not a category: dropped
                            Cell("B", "Zed", "7") +  // unknown actual category: kept
                            // Children count by position, not by name.
                            "<X-MisclassificationCost><X-Cost type=\"A\">C</X-Cost>"
                            "<X-PredictedValue type=\"A\">A</X-PredictedValue>"
                            "<Whatever>4.5</Whatever><Ignored/></X-MisclassificationCost>",
                        target.get(), costs));
  EXPECT_EQ(costs, (CostMap{{"A", {{"B", 5.0}, {"C", 2.0}}},
                            {"B", {{"A", 3.0}, {"Zed", 7.0}}},
                            {"C", {{"A", 4.5}}}}));

  // Numeric categories match by normalised text.
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

TEST_F(CostReaderTest, IncompleteCellsAreRefused) {
  auto target = Target(ScoreDictVar::kString, {"A", "B"});
  const std::string open = "<X-MisclassificationCost>", close = "</X-MisclassificationCost>";
  const std::string pa = "<P type=\"A\">A</P>", qb = "<Q type=\"A\">B</Q>";
  struct Case {
    std::string cells, message;
    int code = 4;
  };
  const std::vector<Case> cases = {
      {open + "text only" + close, "No child node in <X-MisclassificationCost>"},
      {open + "<P type=\"A\"/>" + close, "No predicted value found"},
      {open + pa + close, "No actual value node found"},
      {open + pa + "<Q type=\"A\"/>" + close, "No actual value found"},
      {open + pa + qb + close, "No cost node found"},
      {open + pa + qb + "<C/>" + close, "No cost value found"},
      // A broken cell after a good one still fails: all cells are read first.
      {Cell("A", "B", "1") + "<X-MisclassificationCost/>",
       "No child node in <X-MisclassificationCost>"},
      {Cell("A", "B", "1", "X"), "Invalid Target Variable type!!", 11},
      {Cell("A", "B", "cheap"), "", 3},
  };
  for (const Case& c : cases) {
    CostMap costs;
    code_ = 0;
    EXPECT_FALSE(ReadCells(c.cells, target.get(), costs)) << c.cells;
    EXPECT_EQ(code_, c.code) << c.cells;
    if (!c.message.empty()) {
      EXPECT_EQ(message_, c.message);
    }
    EXPECT_TRUE(costs.empty()) << c.cells;
  }
}
