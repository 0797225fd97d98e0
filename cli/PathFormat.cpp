#include "cli/PathFormat.h"

#include <cstdio>

#include "cli/TextFormat.h"

void AppendPathText(std::string& out, const DecisionPath& path) {
  for (size_t t = 0; t < path.trees.size(); ++t) {
    if (t > 0) out += " | ";
    const std::vector<DecisionStep>& steps = path.trees[t];
    for (size_t i = 0; i < steps.size(); ++i) {
      const DecisionStep& step = steps[i];
      if (i > 0) out += step.depth == steps[i - 1].depth + 1 ? " -> " : " ; ";
      out += step.nodeId;
      if (!step.condition.empty()) {
        out += '[';
        out += step.condition;
        out += ']';
      }
      if (step.weight < 1.0) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "*%.4g", step.weight);
        out += buffer;
      }
    }
  }
}

void AppendPathJson(std::string& out, const DecisionPath& path) {
  out += '[';
  for (size_t t = 0; t < path.trees.size(); ++t) {
    if (t > 0) out += ',';
    out += '[';
    const std::vector<DecisionStep>& steps = path.trees[t];
    for (size_t i = 0; i < steps.size(); ++i) {
      if (i > 0) out += ',';
      out += "{\"node\":";
      textformat::AppendJsonString(out, steps[i].nodeId);
      out += ",\"depth\":";
      textformat::AppendInt(out, steps[i].depth);
      out += ",\"condition\":";
      textformat::AppendJsonString(out, steps[i].condition);
      out += ",\"weight\":";
      textformat::AppendJsonNumber(out, steps[i].weight);
      out += '}';
    }
    out += ']';
  }
  out += ']';
}
