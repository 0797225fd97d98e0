// Mining schema of the first TreeModel: variable roles and the target field.

#include <string>

#include "host/Codes.h"
#include "host/TransformationDictionary.h"
#include "host/VeltraException.h"
#include "pmml/DendrixPMMLTranslator.h"
#include "pmml/ReaderConstants.h"
#include "scoring/DendrixPMMLModel.h"

using xercesc::DOMElement;
using xercesc::DOMNodeList;

void DendrixPMMLTranslator::HandleMiningSchema(DOMElement* miningSchema) {
  for (DOMElement* child = GetFirstChildElt(miningSchema); child != nullptr;
       child = GetNextSiblingElt(child)) {
    if (!IsEqual(child->getTagName(), "Extension")) {
      HandleMiningField(child, false);
      continue;
    }
    // The derived-fields list only counts when there are derived fields.
    if (transformationDictionary == nullptr ||
        !IsEqual(GetAttribute(child, "extender"), kDerivedFieldsExtender) ||
        !IsEqual(GetAttribute(child, "name"), "DerivedFields")) {
      continue;
    }
    DOMNodeList* fields = GetElementsByTagName(child, "MiningField");
    if (fields == nullptr || fields->item(0) == nullptr) {
      throw VeltraException(ErrorCode::kUnsupported, "<MiningField> is required!");
    }
    for (XMLSize_t i = 0; xercesc::DOMNode* field = fields->item(i); ++i) {
      HandleMiningField(static_cast<DOMElement*>(field), true);
    }
  }

  if (targetVar == nullptr) {
    throw VeltraException(ErrorCode::kTargetMissing, "Target variable is missing!");
  }
  const int level = targetVar->GetMeasurementLevel();
  if ((level == ScoreDictVar::kNominal || level == ScoreDictVar::kOrdinal) &&
      targetVar->GetValueLabelSet() == nullptr) {
    throw VeltraException(ErrorCode::kMissingList, "Target Variable: No Category value list!!!");
  }
  if (isCFive && targetVar->GetValueLabelSet() == nullptr) {
    throw VeltraException(ErrorCode::kMissingList, "Category value list is required for C5!!!");
  }
}

void DendrixPMMLTranslator::HandleMiningField(DOMElement* field, bool fromExtension) {
  const std::string name = Transcode(GetAttributeForced(field, "name"));
  const XMLCh* usageType = GetAttributeForced(field, "usageType");

  const ScoreDictVar* var = dictionary != nullptr ? dictionary->GetVar(name) : nullptr;
  if (fromExtension && transformationDictionary != nullptr) {
    var = transformationDictionary->GetVar(name);
  }
  if (var == nullptr) {
    throw VeltraException(ErrorCode::kUnknownVariable, name + " Is NOT in the dictionary!");
  }

  const int role = model->GetVarRole(var);
  if (role == ScoreModel::kRoleInput || role == ScoreModel::kRoleTarget) {
    throw VeltraException(ErrorCode::kUnknownVariable, name + ": Intersect variable role!");
  }

  if (IsEqual(usageType, "active")) {
    model->SetVarRole(name, ScoreModel::kRoleInput);
    if (var->GetMeasurementLevel() == ScoreDictVar::kOrdinal &&
        var->GetVariableType() == ScoreDictVar::kString && !isCFive && !isRuleSet) {
      throw VeltraException(ErrorCode::kUnsupported,
                            name + ": only Numeric Ordinal variable is accepted");
    }
  } else if (IsEqual(usageType, "predicted")) {
    if (fromExtension) {
      throw VeltraException(ErrorCode::kUnsupported,
                            "Target variable has to be an input variable!!");
    }
    model->SetVarRole(name, ScoreModel::kRoleTarget);
    targetVar = var;
  } else {
    model->SetVarRole(name, ScoreModel::kRoleOther);
  }
}
