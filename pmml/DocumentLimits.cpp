#include "pmml/DocumentLimits.h"

#include <string>

#include "host/Codes.h"
#include "host/VeltraException.h"

using xercesc::DOMNode;

namespace {

const XMLCh kNode[] = {'N', 'o', 'd', 'e', 0};

// Node, and the legacy layout's ClsNode, ClsTerminalNode, RegNode and
// RegTerminalNode.
bool IsTreeNode(const XMLCh* name) {
  if (xercesc::XMLString::equals(name, kNode)) return true;
  const XMLSize_t length = xercesc::XMLString::stringLen(name);
  if (length < 7 || (name[0] != 'C' && name[0] != 'R')) return false;
  const XMLCh* tail = name + 3;  // after "Cls" or "Reg"
  const bool cls = name[0] == 'C' && name[1] == 'l' && name[2] == 's';
  const bool reg = name[0] == 'R' && name[1] == 'e' && name[2] == 'g';
  if (!cls && !reg) return false;
  static const XMLCh kTerminalNode[] = {'T', 'e', 'r', 'm', 'i', 'n', 'a',
                                        'l', 'N', 'o', 'd', 'e', 0};
  return xercesc::XMLString::equals(tail, kNode) || xercesc::XMLString::equals(tail, kTerminalNode);
}

}  // namespace

void CheckTreeNodeCount(const xercesc::DOMDocument* document, int64_t limit) {
  if (document == nullptr) return;
  const DOMNode* top = document->getDocumentElement();
  int64_t count = 0;
  const DOMNode* at = top;
  while (at != nullptr) {
    if (at->getNodeType() == DOMNode::ELEMENT_NODE && IsTreeNode(at->getNodeName()) &&
        ++count > limit) {
      throw VeltraException(
          ErrorCode::kUnsupported,
          "Documents with more than " + std::to_string(limit) + " tree nodes are not supported!");
    }
    // Next in document order: first child, else the next sibling of the
    // nearest ancestor (or self) that has one, stopping at the top.
    if (const DOMNode* child = at->getFirstChild()) {
      at = child;
      continue;
    }
    while (at != nullptr && at != top && at->getNextSibling() == nullptr) at = at->getParentNode();
    at = (at == nullptr || at == top) ? nullptr : at->getNextSibling();
  }
}
