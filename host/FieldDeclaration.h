// Reading of the declaration a DataField and a DerivedField share, inside the
// host library only (not exported). Returns a new variable owned by the caller.
#pragma once

#include <memory>
#include <string>
#include <xercesc/dom/DOMElement.hpp>

#include "host/BaseDictionary.h"
#include "host/ScoreTranslator.h"

namespace dendrix_host {

// A new variable named name from field's dataType, optype and displayName and
// its Value children (categories and declared missing values). With
// readIntervals, Interval children are read too. element ("DataField" or
// "DerivedField") names the element in error messages.
std::unique_ptr<DictVar> ReadFieldDeclaration(const BaseTranslator& translator,
                                              const xercesc::DOMElement* field,
                                              const std::string& name, const char* element,
                                              bool readIntervals);

}  // namespace dendrix_host
