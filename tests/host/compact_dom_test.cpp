// The read-only DOM against the parser's own DOM: the same tree for every
// document we read, the same answers from the calls readers make, and no way
// to change it.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>
#include <xercesc/dom/DOM.hpp>

#include "host/Utf16.h"
#include "host/XmlDocument.h"

using xercesc::DOMElement;
using xercesc::DOMException;
using xercesc::DOMNode;

namespace {

class CompactDomTest : public ::testing::Test {
 protected:
  XercesSession session_;
};

std::string U8(const XMLCh* text) {
  return text == nullptr ? "<null>" : dendrix_host::ToUtf8(text);
}

bool IsLayoutSpace(const DOMNode* node) {
  if (node->getNodeType() != DOMNode::TEXT_NODE) return false;
  for (const XMLCh* c = node->getNodeValue(); *c != 0; ++c) {
    if (*c != u' ' && *c != u'\t' && *c != u'\n' && *c != u'\r') return false;
  }
  return true;
}

bool HasElementChild(const DOMNode* node) {
  for (DOMNode* c = node->getFirstChild(); c != nullptr; c = c->getNextSibling()) {
    if (c->getNodeType() == DOMNode::ELEMENT_NODE) return true;
  }
  return false;
}

// Children of a node as a reader of either DOM sees them: white space that
// only separates elements is layout; comments and processing instructions
// are not kept by the compact form.
std::vector<const DOMNode*> Children(const DOMNode* node) {
  std::vector<const DOMNode*> out;
  const bool elementContent = HasElementChild(node);
  for (DOMNode* c = node->getFirstChild(); c != nullptr; c = c->getNextSibling()) {
    const auto type = c->getNodeType();
    if (type == DOMNode::COMMENT_NODE || type == DOMNode::PROCESSING_INSTRUCTION_NODE ||
        type == DOMNode::DOCUMENT_TYPE_NODE || (elementContent && IsLayoutSpace(c))) {
      continue;
    }
    out.push_back(c);
  }
  return out;
}

// Walks both trees together; stops at the first difference.
void ExpectSameTree(const DOMNode* editable, const DOMNode* compact) {
  std::vector<std::pair<const DOMNode*, const DOMNode*>> pending{{editable, compact}};
  while (!pending.empty()) {
    auto [a, b] = pending.back();
    pending.pop_back();
    ASSERT_EQ(a->getNodeType(), b->getNodeType()) << U8(a->getNodeName());
    ASSERT_EQ(U8(a->getNodeName()), U8(b->getNodeName()));
    ASSERT_EQ(U8(a->getNodeValue()), U8(b->getNodeValue()));
    if (a->getNodeType() == DOMNode::ELEMENT_NODE) {
      auto* x = static_cast<const DOMElement*>(a);
      auto* y = static_cast<const DOMElement*>(b);
      ASSERT_EQ(x->getAttributes()->getLength(), y->getAttributes()->getLength())
          << U8(a->getNodeName());
      for (XMLSize_t i = 0; i < x->getAttributes()->getLength(); ++i) {
        const DOMNode* attribute = x->getAttributes()->item(i);
        const XMLCh* name = attribute->getNodeName();
        ASSERT_NE(y->getAttributeNode(name), nullptr) << U8(name);
        ASSERT_EQ(U8(attribute->getNodeValue()), U8(y->getAttribute(name)));
        ASSERT_EQ(U8(attribute->getNodeValue()), U8(y->getAttributeNode(name)->getValue()));
      }
      ASSERT_EQ(x->getChildElementCount(), y->getChildElementCount());
      if (!HasElementChild(a)) {
        ASSERT_EQ(U8(x->getTextContent()), U8(y->getTextContent()));
      }
    }
    std::vector<const DOMNode*> left = Children(a);
    std::vector<const DOMNode*> right = Children(b);
    ASSERT_EQ(left.size(), right.size()) << "children of " << U8(a->getNodeName());
    const DOMNode* previous = nullptr;
    for (size_t i = 0; i < right.size(); ++i) {
      ASSERT_EQ(right[i]->getParentNode(), b);
      ASSERT_EQ(right[i]->getPreviousSibling(), previous);
      previous = right[i];
      pending.emplace_back(left[i], right[i]);
    }
    ASSERT_EQ(b->getLastChild(), previous);
  }
}

// Both forms of one document: the same tree and the same element lists.
void ExpectSameDocument(const XmlDocument& editable, const XmlDocument& compact) {
  xercesc::DOMDocument* a = editable.GetDocument();
  xercesc::DOMDocument* b = compact.GetDocument();
  EXPECT_EQ(editable.GetEncoding(), compact.GetEncoding());
  EXPECT_EQ(U8(a->getXmlVersion()), U8(b->getXmlVersion()));
  EXPECT_EQ(a->getXmlStandalone(), b->getXmlStandalone());
  ExpectSameTree(a->getDocumentElement(), b->getDocumentElement());
  for (const char16_t* tag : {u"*", u"Node", u"DataField", u"Extension", u"NoSuchElement"}) {
    EXPECT_EQ(a->getElementsByTagName(tag)->getLength(), b->getElementsByTagName(tag)->getLength())
        << U8(tag);
  }
  // Lists found from an inner element: same elements in the same order.
  if (a->getElementsByTagName(u"Node")->getLength() == 0) return;
  auto inner = [](xercesc::DOMDocument* d) {
    return static_cast<DOMElement*>(d->getElementsByTagName(u"Node")->item(0))
        ->getElementsByTagName(u"*");
  };
  auto key = [](xercesc::DOMNodeList* list, XMLSize_t i) {
    auto* e = static_cast<DOMElement*>(list->item(i));
    return U8(e->getNodeName()) + "#" + U8(e->getAttribute(u"id"));
  };
  xercesc::DOMNodeList* listA = inner(a);
  xercesc::DOMNodeList* listB = inner(b);
  ASSERT_EQ(listA->getLength(), listB->getLength());
  for (XMLSize_t i = 0; i < listB->getLength(); i += 1 + listB->getLength() / 50) {
    EXPECT_EQ(key(listA, i), key(listB, i));
  }
  EXPECT_EQ(listB->item(listB->getLength()), nullptr);
}

TEST_F(CompactDomTest, SameTreeAsTheParsersDomForEveryDocumentWeRead) {
  size_t documents = 0;
  for (const char* folder :
       {DENDRIX_TEST_DATA_DIR "/pmml", DENDRIX_SOURCE_DIR "/examples",
        DENDRIX_SHARED_DIR "/conformance", DENDRIX_SHARED_DIR "/bench-models"}) {
    if (!std::filesystem::is_directory(folder)) continue;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
      const std::string path = entry.path().string(), extension = entry.path().extension();
      if (extension != ".pmml" && extension != ".xml") continue;
      SCOPED_TRACE(path);
      XmlDocument editable(XmlDocument::Form::kEditable), compact(XmlDocument::Form::kReadOnly);
      XmlParseError error;
      ASSERT_TRUE(editable.ParseFile(path, &error) && compact.ParseFile(path, &error))
          << error.message;
      ExpectSameDocument(editable, compact);
      ++documents;
    }
  }
  EXPECT_GE(documents, 8u);
}

TEST_F(CompactDomTest, CharacterDataEntitiesAndWhiteSpace) {
  const std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<!DOCTYPE r [<!ENTITY n \"name\"><!ATTLIST e d CDATA \"dflt\">]>\n"
      "<!-- comment --><r a=\"&lt;&amp;&gt; x\">\n"
      "  <Array n=\"3\"> 1 2 &n; </Array>\n"
      "  <e/><e d=\"given\"/>\n"
      "  <mixed>one <b>two</b> three<![CDATA[ <four> ]]>five</mixed>\n"
      "  <blank> </blank><caf\xC3\xA9>&#233;t&#xE9;</caf\xC3\xA9>\n"
      "</r>\n";
  XmlDocument editable(XmlDocument::Form::kEditable), compact(XmlDocument::Form::kReadOnly);
  XmlParseError error;
  ASSERT_TRUE(editable.ParseMemory(xml, &error) && compact.ParseMemory(xml, &error));
  ExpectSameDocument(editable, compact);
  // Beyond what the comparison with the parser's tree covers.
  DOMElement* root = compact.GetDocument()->getDocumentElement();
  EXPECT_EQ(root->getAttributeNode(u"missing"), nullptr);
  auto* mixed = static_cast<DOMElement*>(root->getElementsByTagName(u"mixed")->item(0));
  EXPECT_EQ(U8(mixed->getTextContent()), "one two three <four> five");
  EXPECT_EQ(root->getParentNode(), compact.GetDocument());
}

TEST_F(CompactDomTest, BothFormsAcceptTheSameXmlVersions) {
  for (const char* version : {"1.0", "1.1", "1.5", "1.0<x"}) {
    const std::string xml = std::string("<?xml version=\"") + version + "\"?><r/>";
    XmlDocument editable(XmlDocument::Form::kEditable), compact(XmlDocument::Form::kReadOnly);
    XmlParseError error;
    EXPECT_EQ(editable.ParseMemory(xml, &error), compact.ParseMemory(xml, &error)) << version;
  }
}

TEST_F(CompactDomTest, ChangesAreRefused) {
  XmlDocument compact(XmlDocument::Form::kReadOnly);
  XmlParseError error;
  ASSERT_TRUE(compact.ParseMemory("<r a=\"1\"><c>t</c></r>", &error));
  xercesc::DOMDocument* document = compact.GetDocument();
  DOMElement* root = document->getDocumentElement();
  auto code = [](auto&& change) {
    try {
      change();
    } catch (const DOMException& e) {
      return static_cast<int>(e.code);
    }
    return -1;
  };
  const int readOnly = DOMException::NO_MODIFICATION_ALLOWED_ERR;
  EXPECT_EQ(code([&] { root->setAttribute(u"a", u"2"); }), readOnly);
  EXPECT_EQ(code([&] { root->removeChild(root->getFirstChild()); }), readOnly);
  EXPECT_EQ(code([&] { root->appendChild(root->getFirstChild()); }), readOnly);
  EXPECT_EQ(code([&] { document->createElement(u"x"); }), readOnly);
  EXPECT_EQ(code([&] { root->getFirstChild()->setTextContent(u"x"); }), readOnly);
  EXPECT_EQ(code([&] { root->cloneNode(true); }), DOMException::NOT_SUPPORTED_ERR);
  EXPECT_EQ(U8(root->getAttribute(u"a")), "1");
  EXPECT_EQ(U8(root->getTextContent()), "t");
}

}  // namespace
