// CompoundPredicate elements: the parts of a compound become splits of the
// parent, sharing one split index for "or" and taking one index each
// otherwise.

#include <vector>
#include <xercesc/util/XMLString.hpp>

#include "host/Codes.h"
#include "host/ScoreSplitVar.h"
#include "host/VeltraException.h"
#include "pmml/DendrixPMMLTranslator.h"
#include "pmml/ReaderConstants.h"

using xercesc::DOMNode;

namespace {

// Deeper compounds are refused rather than risking the stack.
constexpr int kMaxCompoundDepth = 1000;
constexpr XMLSize_t kFieldNameCapacity = kFieldNameBufferSize - 1;

// Keeps a copy of the last field handled in buffer (null once the translator
// has released it); a name too long for it leaves the buffer empty.
void RememberFieldName(XMLCh* buffer, const XMLCh* field) {
  if (buffer == nullptr) return;
  if (xercesc::XMLString::stringLen(field) <= kFieldNameCapacity) {
    xercesc::XMLString::copyString(buffer, field);
  } else {
    buffer[0] = 0;
  }
}

}  // namespace

bool DendrixPMMLTranslator::HandleCompoundPredicate(DOMNode* compound,
                                                    std::vector<ScoreSplitVar*>& splits,
                                                    int childCount, int childIndex,
                                                    int splitIndex) {
  // The field of the last SimplePredicate handled, shared by nested
  // compounds. It points into the document, so names of any length compare
  // exactly; fieldNameBuffer keeps a copy of it when it fits.
  const XMLCh* lastField = nullptr;

  auto handle = [&](auto& self, DOMNode* node, int firstIndex, int depth) -> bool {
    if (depth > kMaxCompoundDepth) {
      throw VeltraException(ErrorCode::kUnsupported,
                            "CompoundPredicate nesting deeper than 1000 levels is not supported!");
    }
    const bool isOr = IsEqual(GetAttribute(node, "booleanOperator"), "or");
    int index = firstIndex;
    bool seenSimple = false;
    bool result = false;

    for (DOMNode* child = node->getFirstChild(); child != nullptr;
         child = child->getNextSibling()) {
      const XMLCh* name = child->getNodeName();
      if (IsEqual(name, "SimplePredicate")) {
        const XMLCh* field = GetAttributeForced(child, "field");
        // HandlePredicate applies every SimplePredicate of this compound on
        // the field at once, so a repeat of the last field is passed over.
        if (!seenSimple || !IsEqual(field, lastField)) {
          HandlePredicate(node, splits, childCount, childIndex, field, index);
          if (!isOr) ++index;
          seenSimple = true;
          lastField = field;
          RememberFieldName(fieldNameBuffer, field);
        }
      } else if (IsEqual(name, "CompoundPredicate")) {
        self(self, child, index, depth + 1);
        if (!isOr) ++index;
      } else if (IsEqual(name, "SimpleSetPredicate")) {
        const XMLCh* field = GetAttributeForced(child, "field");
        HandleSetPredicate(child, splits, childCount, childIndex, field, index);
        if (!isOr) ++index;
      } else if (IsEqual(name, "True")) {
        result = true;
      } else if (IsEqual(name, "False")) {
        result = false;
      }
    }
    return result;
  };

  return handle(handle, compound, splitIndex, 1);
}
