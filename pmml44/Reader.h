#pragma once

#include <memory>
#include <xercesc/dom/DOM.hpp>

#include "host/ScoreModel.h"
#include "host/ScoreTranslator.h"
#include "pmml44/Engine.h"

namespace pmml44 {

// Reads a PMML document into an engine. The data dictionary, the field roles
// and the slot dictionary are handed to model. A construct the engine does
// not evaluate is refused: VeltraException code 5 naming the element or the
// attribute value and its line.
std::unique_ptr<Engine> ReadDocument(PMMLTranslator& translator, xercesc::DOMDocument* document,
                                     BaseModel& model);

}  // namespace pmml44
