// PMMLTranslator::HandleTransformationDictionary: DerivedField elements into
// derived variables and their compiled expressions.

#include <memory>
#include <string>

#include "host/BaseDictionary.h"
#include "host/Codes.h"
#include "host/DerivedField.h"
#include "host/FieldDeclaration.h"
#include "host/ScoreTranslator.h"
#include "host/TransformationDictionary.h"
#include "host/VeltraException.h"

using xercesc::DOMElement;

TransformationDictionary* PMMLTranslator::HandleTransformationDictionary(
    DOMElement* element, const ScoreDictionary* dictionary) {
  auto derived = std::make_unique<TransformationDictionary>();
  DerivedExpressionReader reader(*this, dictionary, derived.get());
  for (DOMElement* field = element != nullptr ? GetFirstChildElt(element) : nullptr;
       field != nullptr; field = GetNextSiblingElt(field)) {
    if (!IsEqual(field->getNodeName(), "DerivedField")) continue;
    const std::string name = Transcode(GetAttributeForced(field, "name"));
    if (derived->GetVar(name) != nullptr) {
      throw VeltraException(ErrorCode::kMalformed, "Duplicate DerivedField name: " + name);
    }
    if (dictionary != nullptr && dictionary->GetVar(name) != nullptr) {
      throw VeltraException(ErrorCode::kMalformed,
                            "DerivedField name is already a DataField: " + name);
    }

    // Type, measurement level and Value children as for a DataField.
    std::unique_ptr<DictVar> var =
        dendrix_host::ReadFieldDeclaration(*this, field, name, "DerivedField", false);

    std::unique_ptr<DerivedExpression> expression = reader.ReadDerivedField(field, name);
    const int slot = derived->GetNumberOfVars();
    if (!derived->AddDerivedField(var.get(), expression.get())) {
      throw VeltraException(ErrorCode::kMalformed, "Duplicate DerivedField name: " + name);
    }
    var.release();
    expression.release();
    reader.AddDerivedName(name, slot);
  }
  derived->SetUpDerivedCaseRecord();
  return derived.release();
}
