// Small builders for the scoring tests: a dictionary, nodes with statistics,
// splits, and a fixture that owns a model and the result it fills.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "host/BaseDictionary.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreSplitVar.h"
#include "host/ScoreValue.h"
#include "scoring/DendrixPMMLModel.h"
#include "tree/CompositeTreeNode.h"
#include "tree/TreeClsResult.h"
#include "tree/TreeRegResult.h"

namespace scoring_test {

inline const double kInf = std::numeric_limits<double>::infinity();

// Variables: x, y (continuous numbers; x declares 99 missing), color (nominal
// text: red, green, blue) and the target: "class" (nominal text with the given
// categories) or "amount" (continuous number).
struct Dictionary {
  BaseDictionary* dictionary = nullptr;  // handed to the model, which owns it
  DictVar* x = nullptr;
  DictVar* y = nullptr;
  DictVar* color = nullptr;
  DictVar* target = nullptr;
};

inline ValueLabelSet* Labels(const std::vector<std::string>& texts) {
  auto* labels = new ValueLabelSet();
  for (const std::string& t : texts) labels->AddLabel(new ValueLbl(new StringValue(t), t));
  return labels;
}

inline DictVar* Nominal(const std::string& name, const std::vector<std::string>& categories) {
  auto* var = new DictVar(name, ScoreDictVar::kString);
  var->SetMeasurementLevel(ScoreDictVar::kNominal);
  var->SetValueLabelSet(Labels(categories));
  return var;
}

inline Dictionary MakeDictionary(const std::vector<std::string>& categories = {"A", "B", "C"},
                                 bool regression = false) {
  Dictionary d;
  d.dictionary = new BaseDictionary();
  d.x = new DictVar("x", ScoreDictVar::kNumeric);
  auto* missing = new MissingValueSet();
  missing->AddValue(new NumericValue(99.0));
  d.x->SetMissingValueSet(missing);
  d.y = new DictVar("y", ScoreDictVar::kNumeric);
  d.color = Nominal("color", {"red", "green", "blue"});
  d.target =
      regression ? new DictVar("amount", ScoreDictVar::kNumeric) : Nominal("class", categories);
  for (DictVar* v : {d.x, d.y, d.color, d.target}) d.dictionary->AddVar(v->GetName(), v);
  return d;
}

// A model holding the dictionary, with x, y and color as inputs and the
// target in the target role. The caller gives it its trees.
inline DendrixPMMLModel* MakeModel(const Dictionary& d) {
  auto* model = new DendrixPMMLModel();
  model->SetScoreDictionary(d.dictionary);
  for (const char* name : {"x", "y", "color"}) model->SetVarRole(name, ScoreModel::kRoleInput);
  model->SetVarRole(d.target->GetName(), ScoreModel::kRoleTarget);
  return model;
}

// A classification node. percents: category text and share of the node's
// records. statsTarget: given to the statistics for per-category confidences.
inline CompositeTreeNode* ClsNode(const std::string& id, const std::string& prediction,
                                  double confidence, double total = 10.0,
                                  const std::vector<std::pair<std::string, double>>& percents = {},
                                  const ScoreDictVar* statsTarget = nullptr) {
  auto* stats = new TreeClsNodeStats();
  stats->SetNodeID(id);
  stats->SetPrediction(new StringValue(prediction));
  for (const auto& p : percents) stats->AddValuePercent(new StringValue(p.first), p.second);
  stats->SetTotalRecord(total);
  stats->SetConfidence(confidence);
  if (statsTarget != nullptr) stats->SetTarget(statsTarget);
  auto* node = new CompositeTreeNode(true);
  node->SetNodeStats(stats);
  return node;
}

inline CompositeTreeNode* RegNode(const std::string& id, double prediction, double stdDev) {
  auto* stats = new TreeRegNodeStats();
  stats->SetNodeID(id);
  stats->SetPrediction(new NumericValue(prediction));
  stats->SetStdDev(stdDev);
  auto* node = new CompositeTreeNode(true);
  node->SetNodeStats(stats);
  return node;
}

// var <= cut holds (position 0); anything else does not.
inline ScaleSplit* AtMost(const ScoreDictVar* var, double cut) {
  auto* split = new ScaleSplit(var);
  split->PutSplit(new Range(-kInf, cut, false, true), 0);
  return split;
}

// var <= cut goes to child 0, var > cut to child 1.
inline ScaleSplit* Threshold(const ScoreDictVar* var, double cut, int missingChild = -1) {
  ScaleSplit* split = AtMost(var, cut);
  split->PutSplit(new Range(cut, kInf, false, false), 1);
  split->SetMissvalMap(missingChild);
  return split;
}

inline DiscreteSplit* Categories(const ScoreDictVar* var,
                                 const std::vector<std::pair<std::string, int>>& positions,
                                 int missingChild = -1) {
  auto* split = new DiscreteSplit(var);
  for (const auto& p : positions) split->PutSplit(new StringValue(p.first), p.second);
  split->SetMissvalMap(missingChild);
  return split;
}

// Gives node its splits and children; biggest names the biggest child.
inline CompositeTreeNode* Join(CompositeTreeNode* node, const std::vector<ScoreSplitVar*>& splits,
                               const std::vector<CompositeTreeNode*>& children, int biggest = 0) {
  node->SetSplitVar(splits);
  for (CompositeTreeNode* child : children) node->Add(child);
  node->GetMutableNodeStats()->SetBiggestChild(biggest);
  return node;
}

// A rule: a node whose splits are all conditions that must hold.
inline CompositeTreeNode* Rule(const std::string& id, const std::string& prediction,
                               double confidence, const std::vector<ScoreSplitVar*>& conditions) {
  CompositeTreeNode* rule = ClsNode(id, prediction, confidence);
  rule->SetSplitVar(conditions);
  return rule;
}

// A rule set: its root gives the fallback prediction.
inline CompositeTreeNode* RuleSet(const std::string& fallback,
                                  const std::vector<CompositeTreeNode*>& rules) {
  CompositeTreeNode* top = ClsNode("rs", fallback, 0.5);
  for (CompositeTreeNode* rule : rules) top->Add(rule);
  return top;
}

// root "0": x <= 5 -> "1", x > 5 -> "2"; surrogate y <= 2 / y > 2; biggest child "2".
//   "1": color red -> "3" (A 0.8, B 0.2), green -> "4", missing -> "4".
inline CompositeTreeNode* RoutingTree(const Dictionary& d) {
  auto* n1 = Join(ClsNode("1", "A", 0.6),
                  {Categories(d.color, {{"red", 0}, {"green", 1}}, /*missingChild=*/1)},
                  {ClsNode("3", "A", 0.8, 10, {{"A", 0.8}, {"B", 0.2}}), ClsNode("4", "B", 0.7)});
  return Join(ClsNode("0", "A", 0.5), {Threshold(d.x, 5), Threshold(d.y, 2)},
              {n1, ClsNode("2", "C", 0.6)}, /*biggest=*/1);
}

// Owns a model (through MakeModel) and the result it fills.
class ModelTest : public ::testing::Test {
 protected:
  explicit ModelTest(const std::vector<std::string>& categories = {"A", "B", "C"},
                     bool regression = false)
      : d(MakeDictionary(categories, regression)), model(MakeModel(d)) {}
  ~ModelTest() override {
    delete result;
    delete model;
  }
  // Starts again with a fresh classification model.
  void Reset() {
    delete result;
    delete model;
    result = nullptr;
    d = MakeDictionary();
    model = MakeModel(d);
  }

  // A case written as "name=value ...": a number where the text is one, else text.
  static void Fill(NamedCaseRecord& record, const std::string& values) {
    std::istringstream in(values);
    for (std::string cell; in >> cell;) {
      const size_t eq = cell.find('=');
      const std::string name = cell.substr(0, eq), text = cell.substr(eq + 1);
      double number = 0;
      if (NumericValue::ParseDouble(text, &number)) {
        record.SetNumber(name, number);
      } else {
        record.SetString(name, text);
      }
    }
  }
  VorqScore::VorqStatus Score(const std::string& values) {
    NamedCaseRecord record;
    Fill(record, values);
    return model->GetScore(&record, result, false);
  }
  std::string NodeId() const { return dynamic_cast<const ScoreNodeStats&>(*result).GetNodeID(); }
  const TreeClsResult& Cls() const { return dynamic_cast<const TreeClsResult&>(*result); }
  // Advice as "code:text" entries, in order.
  std::vector<std::string> Advice() const {
    std::vector<std::string> out;
    for (const ResultAdvice& a : result->GetAdvice()) {
      out.push_back(std::to_string(a.GetCode()) + ":" + a.GetText());
    }
    return out;
  }

  // A case and what scoring it must give; an empty prediction stands for
  // none: status 90027 and node identifier "-1".
  struct Row {
    std::string values;
    std::string prediction;
    double confidence;
    std::string node;
    std::vector<std::string> advice = {};
  };
  void Check(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      SCOPED_TRACE("case \"" + row.values + "\"");
      const VorqScore::VorqStatus status = Score(row.values);
      ASSERT_NE(result, nullptr);
      EXPECT_EQ(NodeId(), row.node);
      if (row.prediction.empty()) {
        EXPECT_EQ(status.GetCode(), 90027);
        EXPECT_FALSE(status.GetFlag());
        EXPECT_EQ(result->GetPrediction(), nullptr);
        continue;
      }
      ASSERT_TRUE(status.IsOK());
      ASSERT_NE(result->GetPrediction(), nullptr);
      EXPECT_EQ(result->GetPrediction()->ToString(), row.prediction);
      EXPECT_NEAR(result->GetConfidence(), row.confidence, 1e-12);
      EXPECT_EQ(Advice(), row.advice);
    }
  }
  // The first tree becomes the root, the others further trees.
  void Trees(const std::vector<CompositeTreeNode*>& trees) {
    for (size_t i = 1; i < trees.size(); ++i) model->SetMultipleNodes(trees[i]);
    model->SetRoot(trees[0]);
  }

  Dictionary d;
  DendrixPMMLModel* model;
  ScoreResult* result = nullptr;
};

class RegressionModelTest : public ModelTest {
 protected:
  RegressionModelTest() : ModelTest({}, /*regression=*/true) {}
};

}  // namespace scoring_test
