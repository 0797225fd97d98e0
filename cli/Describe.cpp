#include "cli/Describe.h"

#include <memory>
#include <utility>
#include <vector>

#include "host/ScoreDictionary.h"
#include "host/TransformationDictionary.h"
#include "host/TreeNode.h"

TreeShape MeasureTree(const TreeNode* root) {
  TreeShape shape;
  if (!root) return shape;
  std::vector<std::pair<const TreeNode*, int>> stack = {{root, 0}};
  while (!stack.empty()) {
    auto [node, depth] = stack.back();
    stack.pop_back();
    ++shape.nodes;
    if (depth > shape.depth) shape.depth = depth;
    int children = node->GetChildCount();
    if (children == 0) ++shape.leaves;
    for (int i = children - 1; i >= 0; --i) {
      const TreeNode* child = node->GetChildAt(i);
      if (child) stack.emplace_back(child, depth + 1);
    }
  }
  return shape;
}

namespace {

const char* LevelName(int level) {
  switch (level) {
    case ScoreDictVar::kContinuous:
      return "continuous";
    case ScoreDictVar::kOrdinal:
      return "ordinal";
    case ScoreDictVar::kNominal:
      return "nominal";
  }
  return "unknown";
}

const char* TypeName(int type) { return type == ScoreDictVar::kString ? "string" : "numeric"; }

void WriteVariable(std::ostream& os, const ScoreDictVar& var) {
  os << "  " << var.GetName() << " (" << LevelName(var.GetMeasurementLevel()) << ", "
     << TypeName(var.GetVariableType()) << ")\n";
}

void WriteRole(std::ostream& os, const ScoreModel& model, ScoreModel::VarRole role,
               const char* title) {
  std::unique_ptr<ScoreDictionary> vars(model.GetVarsOfRole(role));
  int count = vars ? vars->GetNumberOfVars() : 0;
  os << title << ": " << count << "\n";
  if (vars) {
    for (const ScoreDictVar* var : vars->GetVars()) WriteVariable(os, *var);
  }
}

const char* KindName(ScoreModel::ModelType type) {
  switch (type) {
    case ScoreModel::kSingleTree:
      return "single tree";
    case ScoreModel::kSingleRuleSet:
      return "rule set";
    case ScoreModel::kMultipleTrees:
      return "ensemble";
  }
  return "unknown";
}

}  // namespace

void DescribeModel(ScoreModel& model, std::ostream& os) {
  ScoreModel::ModelType type = model.GetModelType();
  os << "kind: " << KindName(type) << " (model type " << static_cast<int>(type) << ")\n";

  const ScoreDictVar* target = model.GetTargetVar();
  if (target) {
    bool regression = target->GetMeasurementLevel() == ScoreDictVar::kContinuous;
    os << "target: " << target->GetName() << " (" << LevelName(target->GetMeasurementLevel())
       << ", " << TypeName(target->GetVariableType()) << "; "
       << (regression ? "regression" : "classification") << ")\n";
    const ScoreValueLabelSet* labels = target->GetValueLabelSet();
    if (!regression) {
      os << "categories: " << (labels ? labels->GetLabelCount() : 0) << "\n";
      if (labels) {
        for (const ScoreValueLabel* label : labels->GetLabels()) {
          os << "  " << label->GetValue()->ToString();
          if (!label->GetLabel().empty() && label->GetLabel() != label->GetValue()->ToString()) {
            os << " (" << label->GetLabel() << ")";
          }
          os << "\n";
        }
      }
    }
  } else {
    os << "target: none\n";
  }

  WriteRole(os, model, ScoreModel::kRoleInput, "inputs");
  WriteRole(os, model, ScoreModel::kRoleOther, "other fields");

  // Dictionary fields the model gives no role.
  std::vector<const ScoreDictVar*> unused;
  if (const ScoreDictionary* dictionary = model.GetDictionary()) {
    for (const ScoreDictVar* var : dictionary->GetVars()) {
      if (model.GetVarRole(var) < 0) unused.push_back(var);
    }
  }
  os << "unused fields: " << unused.size() << "\n";
  for (const ScoreDictVar* var : unused) WriteVariable(os, *var);

  if (const TransformationDictionary* derived = model.GetTransformationDictionary()) {
    os << "derived fields: " << derived->GetNumberOfVars() << "\n";
    for (const ScoreDictVar* var : derived->GetVars()) WriteVariable(os, *var);
  }

  int trees = model.GetTreeCount();
  os << "trees: " << trees << "\n";
  for (int i = 0; i < trees; ++i) {
    TreeShape shape = MeasureTree(model.GetTree(i));
    os << "  tree " << (i + 1) << ": " << shape.nodes << " nodes, " << shape.leaves
       << " leaves, depth " << shape.depth << "\n";
  }
}

void DescribeUpgrade(const std::vector<PmmlUpgradeChange>& changes, std::ostream& os) {
  os << "upgraded: " << changes.size() << "\n";
  for (const PmmlUpgradeChange& change : changes) os << "  " << change.text << "\n";
}
