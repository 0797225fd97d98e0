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
    ScoreValue* value = type == ScoreDictVar::kNumeric
                            ? static_cast<ScoreValue*>(new NumericValue(c))
                            : new StringValue(c);
    labels->AddLabel(new ValueLbl(value, c));
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
  void TearDown() override { delete DendrixPMMLReaderTestAccess::Model(translator_); }

  // Reads the cells of <Costs>cells</Costs> against target; returns false
  // (with code and message filled in) when reading fails.
  bool ReadCells(const std::string& cells, const DictVar* target, CostMap& costs) {
    XmlDocument document;
    XmlParseError error;
    if (!document.ParseMemory("<Costs>" + cells + "</Costs>", &error)) {
      ADD_FAILURE() << error.message;
      return false;
    }
    DendrixPMMLReaderTestAccess::SetTarget(translator_, target);
    xercesc::DOMNodeList* list =
        BaseTranslator::GetElementsByTagName(document.GetDocument(), "X-MisclassificationCost");
    try {
      DendrixPMMLReaderTestAccess::HandleMisclassificationCost(translator_, list, costs);
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
                            Cell("A", "B", "9") +   // repeated pair: the first cost stands
                            Cell("Q", "A", "4") +   // not a category: dropped
                            Cell("B", "Zed", "7"),  // unknown actual category: kept
                        target.get(), costs));
  const CostMap expected = {{"A", {{"B", 5.0}, {"C", 2.0}}}, {"B", {{"A", 3.0}, {"Zed", 7.0}}}};
  EXPECT_EQ(costs, expected);
  EXPECT_EQ(costs.count("C"), 0u);
}

TEST_F(CostReaderTest, ChildrenAreTakenByPositionNotByName) {
  auto target = Target(ScoreDictVar::kString, {"A", "B"});
  CostMap costs;
  ASSERT_TRUE(
      ReadCells("<X-MisclassificationCost><X-Cost type=\"A\">B</X-Cost>"
                "<X-PredictedValue type=\"A\">A</X-PredictedValue>"
                "<Whatever>4.5</Whatever><Ignored/></X-MisclassificationCost>",
                target.get(), costs));
  EXPECT_EQ(costs, (CostMap{{"B", {{"A", 4.5}}}}));
}

TEST_F(CostReaderTest, NumericCategoriesMatchNormalisedText) {
  auto target = Target(ScoreDictVar::kNumeric, {"1", "2"});
  CostMap costs;
  ASSERT_TRUE(
      ReadCells(Cell("1.0", "2", "3", "D") + Cell("2", "1", "6", "J"), target.get(), costs));
  EXPECT_EQ(costs, (CostMap{{"1", {{"2", 3.0}}}, {"2", {{"1", 6.0}}}}));
}

TEST_F(CostReaderTest, TargetWithoutCategoriesLeavesTheMapAlone) {
  DictVar target("t", ScoreDictVar::kString);
  CostMap costs = {{"keep", {{"me", 1.0}}}};
  ASSERT_TRUE(ReadCells(Cell("A", "B", "5"), &target, costs));
  EXPECT_EQ(costs, (CostMap{{"keep", {{"me", 1.0}}}}));
}

TEST_F(CostReaderTest, IncompleteCellsAreRefused) {
  auto target = Target(ScoreDictVar::kString, {"A", "B"});
  struct Case {
    std::string cells;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"<X-MisclassificationCost>text only</X-MisclassificationCost>",
       "No child node in <X-MisclassificationCost>"},
      {"<X-MisclassificationCost><P type=\"A\"/></X-MisclassificationCost>",
       "No predicted value found"},
      {"<X-MisclassificationCost><P type=\"A\">A</P></X-MisclassificationCost>",
       "No actual value node found"},
      {"<X-MisclassificationCost><P type=\"A\">A</P><Q type=\"A\"/></X-MisclassificationCost>",
       "No actual value found"},
      {"<X-MisclassificationCost><P type=\"A\">A</P><Q type=\"A\">B</Q>"
       "</X-MisclassificationCost>",
       "No cost node found"},
      {"<X-MisclassificationCost><P type=\"A\">A</P><Q type=\"A\">B</Q><C/>"
       "</X-MisclassificationCost>",
       "No cost value found"},
      // A broken cell after a good one still fails: all cells are read first.
      {Cell("A", "B", "1") + "<X-MisclassificationCost/>",
       "No child node in <X-MisclassificationCost>"},
  };
  for (const Case& c : cases) {
    CostMap costs;
    EXPECT_FALSE(ReadCells(c.cells, target.get(), costs)) << c.message;
    EXPECT_EQ(code_, 4) << c.message;
    EXPECT_EQ(message_, c.message);
    EXPECT_TRUE(costs.empty()) << c.message;
  }
}

TEST_F(CostReaderTest, MalformedCostsAndTypesAreRefused) {
  auto target = Target(ScoreDictVar::kString, {"A", "B"});
  CostMap costs;
  EXPECT_FALSE(ReadCells(Cell("A", "B", "cheap"), target.get(), costs));
  EXPECT_EQ(code_, 3);
  EXPECT_FALSE(ReadCells(Cell("A", "B", "1", "X"), target.get(), costs));
  EXPECT_EQ(code_, 11);
  EXPECT_EQ(message_, "Invalid Target Variable type!!");
  EXPECT_TRUE(costs.empty());
}
