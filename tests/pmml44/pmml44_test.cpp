// The PMML 4.4 engine on one small document per construct. Each expected
// answer is worked out by hand from the standard's rule for that construct.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "cli/RunTool.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreModel.h"
#include "host/ScoreResult.h"
#include "host/VeltraException.h"
#include "host/XmlDocument.h"
#include "pmml44/Pmml44Model.h"

namespace {

// x, z: doubles in [0, 100]; s: categories a b c; n: integer categories 1 2;
// w: any text; y: the target, categories A B.
std::string Doc(const std::string& model,
                const std::string& xField =
                    "<DataField name=\"x\" optype=\"continuous\" dataType=\"double\"/>") {
  return "<PMML version=\"4.4\"><DataDictionary>" + xField +
         "<DataField name=\"z\" optype=\"continuous\" dataType=\"double\"/>"
         "<DataField name=\"s\" optype=\"categorical\" dataType=\"string\">"
         "<Value value=\"a\"/><Value value=\"b\"/><Value value=\"c\"/></DataField>"
         "<DataField name=\"n\" optype=\"categorical\" dataType=\"integer\">"
         "<Value value=\"1\"/><Value value=\"2\"/></DataField>"
         "<DataField name=\"w\" optype=\"categorical\" dataType=\"string\"/>"
         "<DataField name=\"y\" optype=\"categorical\" dataType=\"string\">"
         "<Value value=\"A\"/><Value value=\"B\"/></DataField>"
         "<DataField name=\"r\" optype=\"continuous\" dataType=\"double\"/>"
         "</DataDictionary>" +
         model + "</PMML>";
}

std::string Schema(const std::string& target, const std::string& xAttributes = "") {
  return "<MiningSchema><MiningField name=\"" + target +
         "\" usageType=\"target\"/><MiningField name=\"x\" " + xAttributes +
         "/><MiningField name=\"z\"/><MiningField name=\"s\"/><MiningField name=\"n\"/>"
         "<MiningField name=\"w\"/></MiningSchema>";
}

std::string Tree(const std::string& attributes, const std::string& nodes,
                 const std::string& function = "classification", const std::string& rootScore = "A",
                 const std::string& extra = "") {
  const std::string target = function == "classification" ? "y" : "r";
  return "<TreeModel functionName=\"" + function + "\" " + attributes + ">" + Schema(target) +
         extra + "<Node score=\"" + rootScore + "\"><True/>" + nodes + "</Node></TreeModel>";
}

struct Answer {
  std::string prediction;  // empty: none
  int status = 0;
  std::string node;
  double confidence = -1;
  std::vector<double> shares;  // per category of y, when given
};

class Pmml44Test : public ::testing::Test {
 protected:
  std::unique_ptr<ScoreModel> Read(const std::string& text) {
    XmlDocument document(XmlDocument::Form::kReadOnly);
    XmlParseError error;
    if (!document.ParseMemory(text, &error)) throw std::runtime_error(error.message + "\n" + text);
    return std::unique_ptr<ScoreModel>(
        pmml44::Pmml44Translator().ParseFromTree(document.GetDocument(), document.GetEncoding()));
  }

  // inputs: "x=1;s=a" (absent names are missing).
  static void Fill(NamedCaseRecord& record, const std::string& inputs) {
    std::istringstream in(inputs);
    for (std::string pair; std::getline(in, pair, ';');) {
      const size_t eq = pair.find('=');
      const std::string name = pair.substr(0, eq), value = pair.substr(eq + 1);
      double number = 0;
      if ((name == "x" || name == "z" || name == "n") &&
          NumericValue::ParseDouble(value, &number)) {
        record.SetNumber(name, number);
      } else {
        record.SetString(name, value);
      }
    }
  }

  Answer Score(ScoreModel& model, const std::string& inputs) {
    NamedCaseRecord record;
    Fill(record, inputs);
    ScoreResult* raw = nullptr;
    const VorqScore::VorqStatus status = model.GetScore(&record, raw, false);
    std::unique_ptr<ScoreResult> result(raw);
    Answer answer;
    answer.status = status.GetCode();
    if (status.IsOK() && result->GetPrediction() != nullptr) {
      answer.prediction = result->GetPrediction()->ToString();
      answer.confidence = result->GetConfidence();
    }
    if (auto* stats = dynamic_cast<ScoreNodeStats*>(result.get())) answer.node = stats->GetNodeID();
    if (auto* cls = dynamic_cast<ScoreClsResult*>(result.get())) {
      for (const auto& share : cls->GetAllValuePercent()) answer.shares.push_back(share.second);
    }
    return answer;
  }

  Answer ScoreDoc(const std::string& text, const std::string& inputs) {
    return Score(*Read(text), inputs);
  }

  XercesSession session_;
};

// --- Predicates --------------------------------------------------------------

// The first child holds the predicate: TRUE gives A, FALSE the second child's
// B, UNKNOWN no prediction (missingValueStrategy nullPrediction, 90041).
TEST_F(Pmml44Test, PredicatesFollowThreeValuedLogic) {
  const auto simple = [](const char* field, const char* op, const char* value = nullptr) {
    return std::string("<SimplePredicate field=\"") + field + "\" operator=\"" + op + "\"" +
           (value ? std::string(" value=\"") + value + "\"" : "") + "/>";
  };
  const auto set = [](const char* field, const char* op, const char* type, const char* values) {
    return std::string("<SimpleSetPredicate field=\"") + field + "\" booleanOperator=\"" + op +
           "\"><Array type=\"" + type + "\">" + values + "</Array></SimpleSetPredicate>";
  };
  // x < 2 op s = a
  const auto compound = [&](const char* op, const char* last = "") {
    return std::string("<CompoundPredicate booleanOperator=\"") + op + "\">" +
           simple("x", "lessThan", "2") + simple("s", "equal", "a") + last + "</CompoundPredicate>";
  };
  // A predicate and its answers: inputs, then "A", "B" or "?".
  const std::pair<std::string, std::vector<std::pair<const char*, const char*>>> cases[] = {
      {simple("x", "equal", "2"), {{"x=2", "A"}, {"x=2.5", "B"}, {"", "?"}}},
      {simple("x", "notEqual", "2"), {{"x=2", "B"}}},
      {simple("x", "lessThan", "2"), {{"x=2", "B"}}},
      {simple("x", "lessOrEqual", "2"), {{"x=2", "A"}}},
      {simple("x", "greaterThan", "2"), {{"x=2", "B"}}},
      {simple("x", "greaterOrEqual", "2"), {{"x=2", "A"}}},
      {simple("x", "isMissing"), {{"", "A"}, {"x=0", "B"}}},
      {simple("x", "isNotMissing"), {{"", "B"}}},
      // A nominal notEqual is the negation of equal, not equal itself.
      {simple("s", "notEqual", "b"), {{"s=c", "A"}, {"s=b", "B"}}},
      // Numeric categories compare as numbers.
      {simple("n", "equal", "1.0"), {{"n=1", "A"}}},
      {set("s", "isIn", "string\" n=\"2", "a \"b\""), {{"s=b", "A"}}},
      {set("s", "isIn", "string", "a b"), {{"s=c", "B"}}},
      {set("s", "isNotIn", "string", "a"), {{"s=c", "A"}, {"", "?"}}},
      {set("w", "isIn", "string\" n=\"2", "\"two words\" \"say \\\"hi\\\"\""),
       {{"w=say \"hi\"", "A"}}},
      {set("n", "isIn", "int", "2 3"), {{"n=2", "A"}}},
      // FALSE and UNKNOWN is FALSE; TRUE or UNKNOWN is TRUE.
      {compound("and"), {{"x=1;s=a", "A"}, {"x=1", "?"}, {"x=3", "B"}}},
      {compound("or"), {{"x=1", "A"}, {"x=3", "?"}}},
      {compound("xor"), {{"x=1;s=b", "A"}, {"x=1;s=a", "B"}, {"x=1", "?"}}},
      // The first answer that is not UNKNOWN, or the last resort False.
      {compound("surrogate", "<False/>"), {{"s=a", "A"}, {"x=5;s=a", "B"}, {"", "B"}}},
  };
  for (const auto& [predicate, answers] : cases) {
    const std::string nodes =
        "<Node score=\"A\">" + predicate + "</Node><Node score=\"B\"><True/></Node>";
    std::unique_ptr<ScoreModel> m =
        Read(Doc(Tree("missingValueStrategy=\"nullPrediction\"", nodes)));
    for (const auto& [inputs, expected] : answers) {
      const Answer a = Score(*m, inputs);
      EXPECT_EQ(a.status == 90041 ? "?" : a.prediction, expected)
          << predicate << " with " << inputs;
    }
  }
}

// --- Tree strategies ---------------------------------------------------------

// root (A: 6 of 10) -> [x < 2] (A: 4 of 4) -> [z < 1] A 3, [z >= 1] id L2: B 1
//                   -> [x >= 2] id R (B: 4 of 6, A 2)
const std::string kGolf =
    "<Node score=\"A\" recordCount=\"4\" defaultChild=\"L2\">"
    "<SimplePredicate field=\"x\" operator=\"lessThan\" value=\"2\"/>"
    "<ScoreDistribution value=\"A\" recordCount=\"4\"/><ScoreDistribution value=\"B\" "
    "recordCount=\"0\"/>"
    "<Node score=\"A\" recordCount=\"3\"><SimplePredicate field=\"z\" operator=\"lessThan\" "
    "value=\"1\"/><ScoreDistribution value=\"A\" recordCount=\"3\"/></Node>"
    "<Node id=\"L2\" score=\"B\" recordCount=\"1\"><SimplePredicate field=\"z\" "
    "operator=\"greaterOrEqual\" value=\"1\"/><ScoreDistribution value=\"B\" "
    "recordCount=\"1\"/></Node></Node>"
    "<Node id=\"R\" score=\"B\" recordCount=\"6\"><SimplePredicate field=\"x\" "
    "operator=\"greaterOrEqual\" value=\"2\"/><ScoreDistribution value=\"A\" recordCount=\"2\"/>"
    "<ScoreDistribution value=\"B\" recordCount=\"4\"/></Node>";

std::string Golf(const std::string& attributes) {
  return Doc("<TreeModel functionName=\"classification\" " + attributes + ">" + Schema("y") +
             "<Node score=\"A\" recordCount=\"10\" defaultChild=\"R\"><True/>"
             "<ScoreDistribution value=\"A\" recordCount=\"6\"/>"
             "<ScoreDistribution value=\"B\" recordCount=\"4\"/>" +
             kGolf + "</Node></TreeModel>");
}

// The decision path lists steps as "node/condition/weight"; under weightedConfidence and
// aggregateNodes, every child a missing value leaves open with its share of the records.
TEST_F(Pmml44Test, MissingValuePenaltyAppliesAtEveryStep) {
  // The root's default child becomes the x < 2 node, whose default is L2: a case without x
  // and z takes two missing-value steps, so L2's confidence 1 is multiplied by 0.8 twice.
  std::string doc = Golf("missingValueStrategy=\"defaultChild\" missingValuePenalty=\"0.8\"");
  doc.replace(doc.find("defaultChild=\"R\""), 16, "defaultChild=\"L\"");
  doc.replace(doc.find("<Node score=\"A\" recordCount=\"4\""), 5, "<Node id=\"L\"");
  const Answer a = ScoreDoc(doc, "");
  EXPECT_EQ(a.node, "L2");
  EXPECT_NEAR(a.confidence, 0.8 * 0.8, 1e-12);
}

TEST_F(Pmml44Test, TreeMissingValueAndNoTrueChildStrategies) {
  // {attributes, inputs, prediction, status, node, confidence, path (when checked)}; nodes
  // without an id count from 1 in document order.
  const std::tuple<const char*, const char*, const char*, int, const char*, double, const char*>
      cases[] = {
          {"", "x=1;z=0.5", "A", 0, "3", 1.0, "1//1 2/x < 2/1 3/z < 1/1"},
          {"", "x=1;z=5", "B", 0, "L2", 1.0, ""},
          // none: UNKNOWN is FALSE, so no child is true.
          {"", "z=0.5", "", 90042, "-1", -1, ""},
          {"noTrueChildStrategy=\"returnLastPrediction\"", "z=0.5", "A", 0, "1", 0.6, ""},
          {"missingValueStrategy=\"lastPrediction\"", "x=1", "A", 0, "2", 1.0, ""},
          {"missingValueStrategy=\"nullPrediction\"", "x=1", "", 90041, "-1", -1, ""},
          // One missing-value step (x at the root): the confidence times 0.8.
          {"missingValueStrategy=\"defaultChild\" missingValuePenalty=\"0.8\"", "z=0.5", "B", 0,
           "R", 4.0 / 6 * 0.8, "1//1 R/defaultChild/1"},
          {"missingValueStrategy=\"defaultChild\" missingValuePenalty=\"0.5\"", "x=1", "B", 0, "L2",
           0.5, ""},
          // Children weighted by their records: A = 0.4 * 1 + 0.6 * 2/6.
          {"missingValueStrategy=\"weightedConfidence\"", "z=0.5", "A", 0, "-1", 0.6,
           "1//1 2/weightedConfidence/0.4 3/z < 1/0.4 R/weightedConfidence/0.6"},
          // A = 0.4 * 0 + 0.6 * 2/6, B = 0.4 * 1 + 0.6 * 4/6.
          {"missingValueStrategy=\"weightedConfidence\"", "z=5", "B", 0, "-1", 0.8, ""},
          // Every leaf reached adds its counts: A 3 + 2, B 0 + 4.
          {"missingValueStrategy=\"aggregateNodes\"", "z=0.5", "A", 0, "-1", 5.0 / 9, ""},
          {"missingValueStrategy=\"aggregateNodes\"", "x=1", "A", 0, "-1", 0.75,
           "1//1 2/x < 2/1 3/aggregateNodes/0.75 L2/aggregateNodes/0.25"},
      };
  for (const auto& [attributes, inputs, prediction, status, node, confidence, steps] : cases) {
    SCOPED_TRACE(std::string(attributes) + " with " + inputs);
    std::unique_ptr<ScoreModel> m = Read(Golf(attributes));
    const Answer a = Score(*m, inputs);
    EXPECT_EQ(a.prediction, prediction);
    EXPECT_EQ(a.status, status);
    EXPECT_EQ(a.node, node);
    EXPECT_NEAR(a.confidence, confidence, 1e-12);
    if (*steps == 0) continue;
    NamedCaseRecord record;
    Fill(record, inputs);
    DecisionPath path;
    ASSERT_TRUE(m->GetDecisionPath(&record, path, false));
    ASSERT_EQ(path.trees.size(), 1u);
    std::string got;
    for (const DecisionStep& s : path.trees[0]) {
      got += (got.empty() ? "" : " ") + s.nodeId + "/" + s.condition + "/" +
             NumericValue::FormatDouble(s.weight);
    }
    EXPECT_EQ(got, steps);
  }
}

TEST_F(Pmml44Test, ScoreDistributionsGiveSharesAndConfidences) {
  // Given probabilities win over record counts, a given confidence over the share; without a
  // score the largest share wins. Each leaf predicts B.
  const std::tuple<const char*, std::vector<double>, double> cases[] = {
      {"<Node score=\"B\"><True/><ScoreDistribution value=\"A\" recordCount=\"1\" "
       "probability=\"0.3\"/><ScoreDistribution value=\"B\" recordCount=\"1\" probability=\"0.7\" "
       "confidence=\"0.9\"/></Node>",
       {0.3, 0.7},
       0.9},
      {"<Node><True/><ScoreDistribution value=\"A\" recordCount=\"1\"/><ScoreDistribution "
       "value=\"B\" recordCount=\"3\"/></Node>",
       {0.25, 0.75},
       0.75},
  };
  for (const auto& [leaf, shares, confidence] : cases) {
    const Answer a = ScoreDoc(Doc(Tree("", leaf)), "");
    EXPECT_EQ(a.prediction, "B") << leaf;
    EXPECT_EQ(a.shares, shares) << leaf;
    EXPECT_DOUBLE_EQ(a.confidence, confidence) << leaf;
  }
}

// --- Segmentations -----------------------------------------------------------

std::string Leaf(const std::string& function, const std::string& score,
                 const std::string& shares = "") {
  std::string tree = Tree("", "", function, score);
  if (!shares.empty()) tree.insert(tree.find("<True/>") + 7, shares);
  return tree;
}

// Segments without a predicate of their own get <True/>.
std::string Mining(const std::string& function, const std::string& method,
                   const std::vector<std::string>& segments,
                   const std::vector<std::string>& weights = {}) {
  std::string text = "<MiningModel functionName=\"" + function + "\">" +
                     Schema(function == "classification" ? "y" : "r") +
                     "<Segmentation multipleModelMethod=\"" + method + "\">";
  for (size_t i = 0; i < segments.size(); ++i) {
    text += "<Segment" + (i < weights.size() ? " weight=\"" + weights[i] + "\"" : "") + ">" +
            (segments[i].rfind("<SimplePredicate", 0) == 0 ? "" : "<True/>") + segments[i] +
            "</Segment>";
  }
  return text + "</Segmentation></MiningModel>";
}

TEST_F(Pmml44Test, SegmentationMethods) {
  const std::string a =
      Leaf("classification", "A", "<ScoreDistribution value=\"A\" recordCount=\"1\"/>");
  const std::string b = Leaf("classification", "B",
                             "<ScoreDistribution value=\"A\" recordCount=\"1\"/>"
                             "<ScoreDistribution value=\"B\" recordCount=\"3\"/>");
  const std::string r1 = Leaf("regression", "1"), r2 = Leaf("regression", "2"),
                    r6 = Leaf("regression", "6");
  const std::string noX = "<SimplePredicate field=\"x\" operator=\"lessThan\" value=\"0\"/>";
  const std::tuple<std::string, const char*, double> cases[] = {
      {Mining("classification", "majorityVote", {a, b, b}), "B", 2.0 / 3},
      {Mining("classification", "majorityVote", {b, a}), "A", 0.5},  // a tie: the first category
      {Mining("classification", "weightedMajorityVote", {a, b, b}, {"3", "1", "1"}), "A", 0.6},
      // Shares (1, 0) and three times (0.25, 0.75) averaged.
      {Mining("classification", "average", {a, b, b, b}), "B", 0.5625},
      {Mining("classification", "weightedAverage", {a, b, b}, {"2", "1", "1"}), "A", 0.625},
      {Mining("classification", "max", {b, a}), "A", 1.0},
      {Mining("regression", "sum", {r1, r2, r6}), "9", -1},
      {Mining("regression", "average", {r1, r2, r6}), "3", -1},
      {Mining("regression", "weightedAverage", {r1, r2, r6}, {"3", "1", "1"}), "2.2", -1},
      {Mining("regression", "median", {r6, r1, r2}), "2", -1},
      {Mining("regression", "median", {r6, r1, r2, r1}), "1.5", -1},
      {Mining("regression", "max", {r1, r6, r2}), "6", -1},
      {Mining("regression", "selectFirst", {noX + r1, r2, r6}), "2", -1},
      {Mining("regression", "selectAll", {r1, noX + r2, r6}), "1;6", -1},
  };
  for (const auto& [model, prediction, confidence] : cases) {
    const Answer answer = ScoreDoc(Doc(model), "x=1");
    EXPECT_EQ(answer.prediction, prediction) << model;
    if (confidence >= 0) {
      EXPECT_DOUBLE_EQ(answer.confidence, confidence) << model;
    }
  }
  // No segment chosen.
  EXPECT_EQ(ScoreDoc(Doc(Mining("regression", "selectFirst", {noX + r1})), "x=1").status, 90044);
}

TEST_F(Pmml44Test, ModelChainFeedsOutputsToTheRegressionAfterIt) {
  // The trees' sum 0.5 + 1.5 goes on as "v"; the classifier gives A the logit
  // of 2v - 4 = 0, then B the rest.
  std::string sum =
      Mining("regression", "sum", {Leaf("regression", "0.5"), Leaf("regression", "1.5")});
  sum.insert(sum.find("<Segmentation"),
             "<Output><OutputField name=\"v\" feature=\"predictedValue\" isFinalResult=\"false\"/>"
             "</Output>");
  const std::string logit =
      "<RegressionModel functionName=\"classification\" normalizationMethod=\"logit\">"
      "<MiningSchema><MiningField name=\"y\" usageType=\"target\"/><MiningField name=\"v\"/>"
      "</MiningSchema><RegressionTable intercept=\"-4\" targetCategory=\"A\">"
      "<NumericPredictor name=\"v\" coefficient=\"2\"/></RegressionTable>"
      "<RegressionTable intercept=\"0\" targetCategory=\"B\"/></RegressionModel>";
  const std::string chain =
      "<MiningModel functionName=\"classification\">" + Schema("y") +
      "<Output><OutputField name=\"pB\" feature=\"probability\" value=\"B\"/></Output>"
      "<Segmentation multipleModelMethod=\"modelChain\"><Segment><True/>" +
      sum + "</Segment><Segment><True/>" + logit + "</Segment></Segmentation></MiningModel>";
  const Answer a = ScoreDoc(Doc(chain), "");
  EXPECT_EQ(a.prediction, "A");  // 0.5 each: the first category
  EXPECT_EQ(a.shares, (std::vector<double>{0.5, 0.5}));
}

TEST_F(Pmml44Test, RegressionNormalizations) {
  const char* kTwoClasses =
      "<RegressionTable intercept=\"0\" targetCategory=\"A\"><NumericPredictor name=\"x\" "
      "coefficient=\"1\"/></RegressionTable><RegressionTable intercept=\"0\" "
      "targetCategory=\"B\"/>";
  const char* kLine =
      "<RegressionTable intercept=\"1\"><NumericPredictor name=\"x\" exponent=\"2\" "
      "coefficient=\"3\"/></RegressionTable>";
  // {function, method, tables, x, the prediction or the share of A}
  const std::tuple<const char*, const char*, const char*, double, double> cases[] = {
      {"classification", "logit", kTwoClasses, std::log(3.0), 0.75},
      {"classification", "softmax", kTwoClasses, std::log(3.0), 0.75},
      {"regression", "none", kLine, 2, 13},
      {"regression", "exp", kLine, 0, std::exp(1.0)},
      {"regression", "logit", kLine, 0, 1 / (1 + std::exp(-1.0))},
  };
  for (const auto& [function, method, tables, x, expected] : cases) {
    const bool classification = std::string(function) == "classification";
    const std::string model = std::string("<RegressionModel functionName=\"") + function +
                              "\" normalizationMethod=\"" + method + "\">" +
                              Schema(classification ? "y" : "r") + tables + "</RegressionModel>";
    const Answer a = ScoreDoc(Doc(model), "x=" + NumericValue::FormatDouble(x));
    ASSERT_EQ(a.status, 0) << method;
    EXPECT_NEAR(classification ? a.shares.at(0) : std::stod(a.prediction), expected, 1e-12)
        << method;
  }
}

// --- Mining schema, targets, outputs, transformations ------------------------

TEST_F(Pmml44Test, MiningFieldTreatmentsAndValidity) {
  // x < 2 gives 1, x >= 2 gives 2; x is valid in [0, 10].
  const std::string xField =
      "<DataField name=\"x\" optype=\"continuous\" dataType=\"double\">"
      "<Interval closure=\"closedClosed\" leftMargin=\"0\" rightMargin=\"10\"/></DataField>";
  const std::string nodes =
      "<Node score=\"1\"><SimplePredicate field=\"x\" operator=\"lessThan\" value=\"2\"/></Node>"
      "<Node score=\"2\"><SimplePredicate field=\"x\" operator=\"greaterOrEqual\" "
      "value=\"2\"/></Node>";
  // {x's attributes, inputs, prediction, status}
  const std::tuple<const char*, const char*, const char*, int> cases[] = {
      {"", "x=1", "1", 0},
      {"", "", "", 90042},
      {"", "x=20", "", 90043},  // returnInvalid is the default
      {"invalidValueTreatment=\"asIs\"", "x=20", "2", 0},
      {"invalidValueTreatment=\"asMissing\"", "x=20", "", 90042},
      {"invalidValueTreatment=\"asValue\" invalidValueReplacement=\"1\"", "x=20", "1", 0},
      {"missingValueReplacement=\"5\"", "", "2", 0},
      {"outliers=\"asExtremeValues\" lowValue=\"3\" highValue=\"9\"", "x=1", "2", 0},
      {"outliers=\"asMissingValues\" lowValue=\"3\" highValue=\"9\"", "x=1", "", 90042},
  };
  for (const auto& [xAttributes, inputs, prediction, status] : cases) {
    SCOPED_TRACE(std::string(xAttributes) + " with " + inputs);
    const Answer a =
        ScoreDoc(Doc("<TreeModel functionName=\"regression\">" + Schema("r", xAttributes) +
                         "<Node score=\"0\"><True/>" + nodes + "</Node></TreeModel>",
                     xField),
                 inputs);
    EXPECT_EQ(a.prediction, prediction);
    EXPECT_EQ(a.status, status);
  }
}

TEST_F(Pmml44Test, TargetsRescaleClipAndCast) {
  // The tree answers 0.25; min and max clip first, then the rescaling, then the cast.
  const std::pair<const char*, const char*> cases[] = {
      {"<Target rescaleFactor=\"10\" rescaleConstant=\"1\"/>", "3.5"},
      {"<Target rescaleFactor=\"10\" rescaleConstant=\"1\" castInteger=\"round\"/>", "4"},
      {"<Target rescaleFactor=\"10\" rescaleConstant=\"1\" castInteger=\"floor\"/>", "3"},
      {"<Target max=\"0.2\" rescaleFactor=\"10\" rescaleConstant=\"1\"/>", "3"},
      {"<Target min=\"0.5\"/>", "0.5"},
  };
  for (const auto& [target, prediction] : cases) {
    const std::string model =
        Tree("", "", "regression", "0.25", std::string("<Targets>") + target + "</Targets>");
    EXPECT_EQ(ScoreDoc(Doc(model), "").prediction, prediction) << target;
  }
}

// The batch scorer with --semantics pmml: the engine is found next to it, a
// row without an answer gets its status, the output expression its column.
// x2 = 2x decides the split; "twice" = 2 * prediction is an extra column.
TEST_F(Pmml44Test, BatchScorerChoosesTheEngine) {
  TempFolder folder;
  const std::string input = folder.Write("in.csv", "x\n2\n0\n");
  const std::string model = folder.Write(
      "m.pmml",
      Doc("<TreeModel functionName=\"regression\">" + Schema("r") +
          "<Output><OutputField name=\"p\"/><OutputField name=\"twice\" "
          "feature=\"transformedValue\"><Apply function=\"*\"><FieldRef field=\"p\"/>"
          "<Constant>2</Constant></Apply></OutputField></Output><LocalTransformations>"
          "<DerivedField name=\"x2\" optype=\"continuous\" dataType=\"double\"><Apply "
          "function=\"*\"><FieldRef field=\"x\"/><Constant>2</Constant></Apply></DerivedField>"
          "</LocalTransformations><Node score=\"0\"><True/><Node score=\"7\"><SimplePredicate "
          "field=\"x2\" operator=\"greaterThan\" value=\"3\"/></Node></Node></TreeModel>"));
  // {--semantics, --upgrade-pmml given, in standard output or error}
  const std::tuple<const char*, bool, const char*> cases[] = {
      {"pmml", false, "prediction,std_dev,node_id,advice,status,twice\n7,,2,,0,14\n,,-1,,90042,\n"},
      {"pmml", true, "cannot"},
      {"sometimes", false, "expected 'native' or 'pmml'"},
  };
  for (const auto& [option, upgrade, output] : cases) {
    std::vector<std::string> args = {"--semantics", option, model, input};
    if (upgrade) args.insert(args.begin(), "--upgrade-pmml");
    const ToolRun run = RunTool(args);
    EXPECT_NE((run.out + run.err).find(output), std::string::npos) << option << ":\n" << run.err;
  }
}

TEST_F(Pmml44Test, FloatModelsAddInSinglePrecision) {
  const auto sum = [](const std::vector<std::string>& scores, const std::string& targets) {
    std::vector<std::string> leaves;
    for (const std::string& score : scores) leaves.push_back(Leaf("regression", score));
    std::string model = Mining("regression", "sum", leaves);
    model.insert(model.find("<Segmentation"), targets);
    return Doc(model.insert(model.find('>'), " x-mathContext=\"float\""));
  };
  // Float steps of 8 near 1e8: 1e8 + 5 + 5 is 100000016 when the constant
  // comes first (PMML 4.4 exports), 100000008 when it comes last.
  std::string document =
      sum({"5", "5"}, "<Targets><Target rescaleConstant=\"100000000\"/></Targets>");
  EXPECT_EQ(std::stod(ScoreDoc(document, "").prediction), 100000016);
  document.replace(document.find("4.4"), 3, "4.3");
  EXPECT_EQ(std::stod(ScoreDoc(document, "").prediction), 100000008);
  // 0.1f three times is 0.3000000119 in float arithmetic, 0.30000000447 in double.
  const double total = std::stod(ScoreDoc(sum({"0.1", "0.1", "0.1"}, ""), "").prediction);
  EXPECT_EQ(total, static_cast<double>(static_cast<float>(total)));
  EXPECT_NE(total, 3 * static_cast<double>(0.1f));
}

// --- Refusals and threads ----------------------------------------

TEST_F(Pmml44Test, UnsupportedOrMalformedConstructsAreRefusedWithTheirLine) {
  const std::tuple<std::string, int, const char*> cases[] = {
      {Tree("", "<Node score=\"A\">\n<Foo/></Node>"), 5, "<Foo> is not supported in <Foo> (line"},
      {Tree("missingValueStrategy=\"guess\"", ""), 5, "missingValueStrategy=\"guess\""},
      {Tree("",
            "<Node score=\"A\"><SimpleSetPredicate field=\"s\" booleanOperator=\"isIn\"><Array "
            "type=\"string\" n=\"3\">a b</Array></SimpleSetPredicate></Node>"),
       12, "n=\"3\" but holds 2 values"},
      {"<NeuralNetwork functionName=\"regression\"/>", 5, "Model <NeuralNetwork>"},
      {Tree("",
            "<Node score=\"A\"><SimplePredicate field=\"q\" operator=\"equal\" "
            "value=\"1\"/></Node>"),
       8, "Field \"q\""},
      {Mining("classification", "sum", {Leaf("classification", "A")}), 5,
       "multipleModelMethod=\"sum\""},
  };
  for (const auto& [model, code, message] : cases) {
    try {
      Read(Doc(model));
      ADD_FAILURE() << "read: " << model;
    } catch (const VeltraException& e) {
      EXPECT_EQ(e.GetCode(), code) << e.GetMessage();
      EXPECT_NE(e.GetMessage().find(message), std::string::npos) << e.GetMessage();
    }
  }
}

TEST_F(Pmml44Test, OneModelScoresFromSeveralThreads) {
  std::unique_ptr<ScoreModel> m = Read(Golf("missingValueStrategy=\"weightedConfidence\""));
  const char* inputs[] = {"x=1;z=0.5", "x=1;z=5", "x=3", "z=0.5", "z=5"};
  std::vector<std::string> expected;
  for (const char* in : inputs) expected.push_back(Score(*m, in).prediction);
  std::vector<int> wrong(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        const int k = (i + t) % 5;
        wrong[t] += Score(*m, inputs[k]).prediction != expected[k];
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

}  // namespace
