// Misclassification cost matrix: cost cells of the vendor extension become a
// map from predicted category to actual category to cost.

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/Codes.h"
#include "host/ScoreDictionary.h"
#include "host/VeltraException.h"
#include "pmml/DendrixPMMLTranslator.h"

using xercesc::DOMElement;
using xercesc::DOMNode;
using xercesc::DOMNodeList;

void DendrixPMMLTranslator::HandleMisclassificationCost(
    DOMNodeList* costCells, std::map<std::string, std::map<std::string, double>>& costs) {
  std::vector<std::string> predicted;
  std::vector<std::string> actual;
  std::vector<double> cost;

  // Every cell is read (and checked) before any is matched. The three child
  // elements are taken by position, whatever their names.
  for (XMLSize_t i = 0; costCells != nullptr; ++i) {
    DOMNode* cell = costCells->item(i);
    if (cell == nullptr) {
      break;
    }
    DOMElement* predictedElement = GetFirstChildElt(cell);
    if (predictedElement == nullptr) {
      throw VeltraException(ErrorCode::kMissingList, "No child node in <X-MisclassificationCost>");
    }
    DOMNode* predictedValue = predictedElement->getFirstChild();
    if (predictedValue == nullptr) {
      throw VeltraException(ErrorCode::kMissingList, "No predicted value found");
    }
    DOMElement* actualElement = GetNextSiblingElt(predictedElement);
    if (actualElement == nullptr) {
      throw VeltraException(ErrorCode::kMissingList, "No actual value node found");
    }
    DOMNode* actualValue = actualElement->getFirstChild();
    if (actualValue == nullptr) {
      throw VeltraException(ErrorCode::kMissingList, "No actual value found");
    }
    DOMElement* costElement = GetNextSiblingElt(actualElement);
    if (costElement == nullptr) {
      throw VeltraException(ErrorCode::kMissingList, "No cost node found");
    }
    DOMNode* costValue = costElement->getFirstChild();
    if (costValue == nullptr) {
      throw VeltraException(ErrorCode::kMissingList, "No cost value found");
    }
    predicted.push_back(
        GetValueString(predictedValue->getNodeValue(), GetAttribute(predictedElement, "type")));
    actual.push_back(
        GetValueString(actualValue->getNodeValue(), GetAttribute(actualElement, "type")));
    cost.push_back(VerifyDouble(costValue->getNodeValue()));
  }

  const ScoreValueLabelSet* categories = targetVar->GetValueLabelSet();
  if (categories == nullptr) {
    return;
  }
  for (const ScoreValueLabel* label : categories->GetLabels()) {
    const std::string category = label->GetValue()->ToString();
    std::map<std::string, double> row;
    for (std::size_t k = 0; k < predicted.size(); ++k) {
      if (predicted[k] == category) {
        row.emplace(actual[k], cost[k]);  // a repeated actual category keeps its first cost
      }
    }
    if (!row.empty()) {
      costs.emplace(category, std::move(row));  // a repeated category keeps its first row
    }
  }
}
