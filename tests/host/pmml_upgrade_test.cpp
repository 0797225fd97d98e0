#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/PmmlUpgrade.h"
#include "host/Utf16.h"
#include "host/VeltraException.h"
#include "host/XmlDocument.h"

namespace {

using xercesc::DOMElement;
using xercesc::DOMNode;

std::u16string U(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string Pmml(const std::string& dataFields, const std::string& body,
                 const std::string& afterData = "") {
  return "<PMML version=\"4.2\"><DataDictionary>" + dataFields + "</DataDictionary>" + afterData +
         body + "</PMML>";
}

class PmmlUpgradeTest : public ::testing::Test {
 protected:
  xercesc::DOMDocument* Parse(XmlDocument& document, const std::string& text) {
    XmlParseError error;
    EXPECT_TRUE(document.ParseMemory(text, &error)) << error.message;
    return document.GetDocument();
  }
  std::vector<PmmlUpgradeChange> Upgrade(const std::string& text) {
    return UpgradePmmlDocument(Parse(document_, text));
  }
  // The n-th element (document order) with this tag.
  DOMElement* Element(const char* tag, XMLSize_t n = 0) {
    return static_cast<DOMElement*>(
        document_.GetDocument()->getElementsByTagName(U(tag).c_str())->item(n));
  }
  std::string AttrOf(DOMElement* element, const char* name) {
    if (element == nullptr || !element->hasAttribute(U(name).c_str())) return "<absent>";
    return dendrix_host::ToUtf8(element->getAttribute(U(name).c_str()));
  }
  std::string NodeScore(const char* id) {
    auto* nodes = document_.GetDocument()->getElementsByTagName(U("Node").c_str());
    for (XMLSize_t i = 0; i < nodes->getLength(); ++i) {
      auto* node = static_cast<DOMElement*>(nodes->item(i));
      if (AttrOf(node, "id") == id) return AttrOf(node, "score");
    }
    return "<no node>";
  }

  XercesSession session_;
  XmlDocument document_;
};

std::vector<std::string> Texts(const std::vector<PmmlUpgradeChange>& changes) {
  std::vector<std::string> out;
  for (const PmmlUpgradeChange& change : changes) out.push_back(change.text);
  return out;
}

const char kNumericFields[] =
    "<DataField name=\"x\" optype=\"continuous\" dataType=\"double\"/>"
    "<DataField name=\"y\" optype=\"continuous\" dataType=\"double\"/>";

// --- Mining schema --------------------------------------------------------------

TEST_F(PmmlUpgradeTest, UsageTypesGetTheNamesTheReaderKnows) {
  auto changes =
      Upgrade(Pmml(kNumericFields,
                   "<TreeModel functionName=\"regression\"><MiningSchema>"
                   "<MiningField name=\"x\"/>"
                   "<MiningField name=\"y\" usageType=\"target\"/>"
                   "<MiningField name=\"z\" usageType=\"supplementary\"/>"
                   "<MiningField name=\"w\" usageType=\"predicted\"/>"
                   "</MiningSchema><Node id=\"1\" score=\"1\"><True/></Node></TreeModel>"));
  EXPECT_EQ(AttrOf(Element("MiningField", 0), "usageType"), "active");
  EXPECT_EQ(AttrOf(Element("MiningField", 1), "usageType"), "predicted");
  EXPECT_EQ(AttrOf(Element("MiningField", 2), "usageType"), "supplementary");
  EXPECT_EQ(AttrOf(Element("MiningField", 3), "usageType"), "predicted");
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0].kind, PmmlUpgradeChange::kUsageType);
  EXPECT_EQ(Texts(changes),
            (std::vector<std::string>{"MiningField 'x': no usageType, now \"active\"",
                                      "MiningField 'y': usageType \"target\" now \"predicted\""}));
}

// A document already in the reader's form is left exactly as it was.
TEST_F(PmmlUpgradeTest, ConformingDocumentIsUntouched) {
  const std::string text = Pmml(
      "<DataField name=\"c\" optype=\"categorical\" dataType=\"string\">"
      "<Value value=\"a\"/></DataField>" +
          std::string(kNumericFields),
      "<TreeModel functionName=\"classification\"><MiningSchema>"
      "<MiningField name=\"x\" usageType=\"active\"/>"
      "<MiningField name=\"c\" usageType=\"predicted\"/></MiningSchema>"
      "<Node id=\"1\" score=\"a\"><True/><ScoreDistribution value=\"a\" recordCount=\"3\"/>"
      "<Node id=\"2\" score=\"a\"><SimplePredicate field=\"x\" operator=\"lessThan\" "
      "value=\"1\"/></Node></Node></TreeModel>",
      "<TransformationDictionary><DerivedField name=\"d\"/></TransformationDictionary>");
  XmlDocument pristine;
  xercesc::DOMDocument* reference = Parse(pristine, text);
  EXPECT_TRUE(Upgrade(text).empty());
  EXPECT_TRUE(
      document_.GetDocument()->getDocumentElement()->isEqualNode(reference->getDocumentElement()));
  EXPECT_EQ(DescribeNewerPmmlConventions(document_.GetDocument()), "");
}

// --- Local transformations -------------------------------------------------------

const char kLocalDerived[] =
    "<LocalTransformations><DerivedField name=\"ratio\" optype=\"continuous\" "
    "dataType=\"double\"><Apply function=\"/\"><FieldRef field=\"x\"/><FieldRef field=\"y\"/>"
    "</Apply></DerivedField></LocalTransformations>";

std::string TreeWithLocal(const std::string& local, const std::string& name = "t") {
  return "<TreeModel modelName=\"" + name +
         "\" functionName=\"regression\"><MiningSchema><MiningField name=\"x\" "
         "usageType=\"active\"/></MiningSchema>" +
         local +
         "<Node id=\"1\" score=\"1\"><True/><Node id=\"2\" score=\"2\"><SimplePredicate "
         "field=\"ratio\" operator=\"lessThan\" value=\"1\"/></Node></Node></TreeModel>";
}

TEST_F(PmmlUpgradeTest, LocalDerivedFieldsMoveToANewDictionaryAfterTheDataDictionary) {
  const std::string text = Pmml(kNumericFields, TreeWithLocal(kLocalDerived));
  XmlDocument pristine;
  EXPECT_EQ(DescribeNewerPmmlConventions(Parse(pristine, text)),
            "predicate field 'ratio' is defined only in a LocalTransformations");

  auto changes = Upgrade(text);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].kind, PmmlUpgradeChange::kLocalDerived);
  EXPECT_EQ(changes[0].text,
            "DerivedField 'ratio' of TreeModel 't': moved to TransformationDictionary");
  DOMElement* dictionary = Element("TransformationDictionary");
  ASSERT_NE(dictionary, nullptr);
  EXPECT_EQ(dictionary->getPreviousElementSibling(), Element("DataDictionary"));
  ASSERT_NE(dictionary->getFirstElementChild(), nullptr);
  EXPECT_EQ(AttrOf(dictionary->getFirstElementChild(), "name"), "ratio");
  EXPECT_EQ(dictionary->getFirstElementChild()->getFirstElementChild(), Element("Apply"));
  EXPECT_EQ(Element("LocalTransformations"), nullptr) << "the emptied element stays";
  EXPECT_EQ(DescribeNewerPmmlConventions(document_.GetDocument()), "");
}

TEST_F(PmmlUpgradeTest, LocalDerivedFieldsJoinAnExistingDictionaryAndDuplicatesAreMerged) {
  // Two trees of an ensemble carry the same definition; a third field is new.
  const std::string second =
      std::string(kLocalDerived)
          .replace(std::string(kLocalDerived).find("</LocalTransformations>"), 0,
                   "<DerivedField name=\"twice\" optype=\"continuous\" dataType=\"double\">"
                   "<FieldRef field=\"x\"/></DerivedField>");
  auto changes =
      Upgrade(Pmml(kNumericFields,
                   "<MiningModel><Segmentation><Segment>" + TreeWithLocal(kLocalDerived, "a") +
                       "</Segment><Segment>" + TreeWithLocal(second, "b") +
                       "</Segment></Segmentation>" + "</MiningModel>",
                   "<TransformationDictionary><DerivedField name=\"old\"/>"
                   "</TransformationDictionary>"));
  EXPECT_EQ(Texts(changes),
            (std::vector<std::string>{
                "DerivedField 'ratio' of TreeModel 'a': moved to TransformationDictionary",
                "DerivedField 'ratio' of TreeModel 'b': same definition already in "
                "TransformationDictionary",
                "DerivedField 'twice' of TreeModel 'b': moved to TransformationDictionary"}));
  DOMElement* dictionary = Element("TransformationDictionary");
  EXPECT_EQ(dictionary->getChildElementCount(), 3u);
  EXPECT_EQ(AttrOf(dictionary->getLastElementChild(), "name"), "twice");
  EXPECT_EQ(Element("TransformationDictionary", 1), nullptr);
}

TEST_F(PmmlUpgradeTest, NameClashIsAnErrorNamingTheField) {
  const std::string clashesWithData = std::string(kLocalDerived);
  std::string local = clashesWithData;
  local.replace(local.find("ratio"), 5, "y");
  try {
    Upgrade(Pmml(kNumericFields, TreeWithLocal(local)));
    FAIL() << "no exception";
  } catch (const VeltraException& e) {
    EXPECT_EQ(e.GetCode(), 3);
    EXPECT_EQ(e.GetMessage(),
              "LocalTransformations of TreeModel 't': DerivedField 'y' clashes with another "
              "field of that name");
  }
  // A different definition under a name the dictionary already has.
  XmlDocument other;
  xercesc::DOMDocument* document =
      Parse(other, Pmml(kNumericFields, TreeWithLocal(kLocalDerived),
                        "<TransformationDictionary><DerivedField name=\"ratio\"><FieldRef "
                        "field=\"y\"/></DerivedField></TransformationDictionary>"));
  EXPECT_THROW(UpgradePmmlDocument(document), VeltraException);
}

// --- Node scores --------------------------------------------------------------------

TEST_F(PmmlUpgradeTest, ClassificationNodeTakesItsLargestDistributionFirstOnTies) {
  auto changes = Upgrade(
      Pmml(kNumericFields,
           "<TreeModel functionName=\"classification\"><MiningSchema/>"
           "<Node id=\"r\"><True/>"
           "<ScoreDistribution value=\"a\" recordCount=\"2\"/>"
           "<ScoreDistribution value=\"b\" recordCount=\"5\"/>"
           "<ScoreDistribution value=\"c\" recordCount=\"5\"/>"
           "<Node id=\"k\" score=\"kept\"><True/><ScoreDistribution value=\"a\" recordCount=\"9\"/>"
           "</Node>"
           "<Node id=\"n\"><True/><ScoreDistribution value=\"a\" recordCount=\"1.5\"/>"
           "<ScoreDistribution value=\"b\" recordCount=\"1e1\"/></Node>"
           "<Node id=\"none\"><True/></Node>"
           "</Node></TreeModel>"));
  EXPECT_EQ(NodeScore("r"), "b");
  EXPECT_EQ(NodeScore("k"), "kept");
  EXPECT_EQ(NodeScore("n"), "b");
  EXPECT_EQ(NodeScore("none"), "<absent>") << "nothing to take it from";
  EXPECT_EQ(Texts(changes),
            (std::vector<std::string>{
                "Node 'r' of TreeModel #1: score 'b', its largest ScoreDistribution",
                "Node 'n' of TreeModel #1: score 'b', its largest ScoreDistribution"}));
}

// Distributions kept on leaves only: the inner node sums them over its leaves.
TEST_F(PmmlUpgradeTest, ClassificationNodeWithoutDistributionsSumsItsLeaves) {
  auto changes = Upgrade(
      Pmml(kNumericFields,
           "<TreeModel functionName=\"classification\"><MiningSchema/>"
           "<Node id=\"r\"><True/>"
           "<Node id=\"1\" score=\"a\"><True/><ScoreDistribution value=\"a\" recordCount=\"0.6\"/>"
           "<ScoreDistribution value=\"b\" recordCount=\"0.4\"/></Node>"
           "<Node id=\"2\"><True/>"
           "<Node id=\"3\" score=\"b\"><True/><ScoreDistribution value=\"a\" recordCount=\"0.3\"/>"
           "<ScoreDistribution value=\"b\" recordCount=\"0.7\"/></Node>"
           "<Node id=\"4\" score=\"b\"><True/><ScoreDistribution value=\"b\" recordCount=\"0.5\"/>"
           "<ScoreDistribution value=\"a\" recordCount=\"0.5\"/></Node>"
           "</Node></Node></TreeModel>"));
  EXPECT_EQ(NodeScore("2"), "b");  // a 0.8, b 1.2
  EXPECT_EQ(NodeScore("r"), "b");  // a 1.4, b 1.6 over the three leaves
  EXPECT_EQ(Texts(changes), (std::vector<std::string>{
                                "Node 'r' of TreeModel #1: score 'b', the largest of its leaves' "
                                "ScoreDistributions",
                                "Node '2' of TreeModel #1: score 'b', the largest of its leaves' "
                                "ScoreDistributions"}));
}

// Forest leaves carry a score only: each counts as its recordCount (one when
// absent) records of that score, so the inner nodes take the weighted majority.
TEST_F(PmmlUpgradeTest, ClassificationLeavesWithOnlyAScoreCountTheirScore) {
  auto changes = Upgrade(Pmml(kNumericFields,
                              "<TreeModel functionName=\"classification\"><MiningSchema/>"
                              "<Node id=\"r\"><True/>"
                              "<Node id=\"2\"><True/>"
                              "<Node id=\"3\" score=\"a\"><True/></Node>"
                              "<Node id=\"4\" score=\"b\"><True/></Node>"
                              "<Node id=\"5\" score=\"b\"><True/></Node></Node>"
                              "<Node id=\"6\" score=\"a\" recordCount=\"4\"><True/></Node>"
                              "<Node id=\"7\" score=\"c\" recordCount=\"0\"><True/></Node>"
                              "</Node></TreeModel>"));
  EXPECT_EQ(NodeScore("2"), "b");  // a 1, b 2
  EXPECT_EQ(NodeScore("r"), "a");  // a 5, b 2, c 1: a zero count still counts once
  EXPECT_EQ(Texts(changes),
            (std::vector<std::string>{
                "Node 'r' of TreeModel #1: score 'a', the most frequent score of its leaves",
                "Node '2' of TreeModel #1: score 'b', the most frequent score of its leaves"}));
}

TEST_F(PmmlUpgradeTest, MiningModelLocalTransformationsMoveToo) {
  auto changes = Upgrade(Pmml(kNumericFields, "<MiningModel>" + std::string(kLocalDerived) +
                                                  "<Segmentation/></MiningModel>"));
  EXPECT_EQ(Texts(changes), (std::vector<std::string>{"DerivedField 'ratio' of MiningModel #1: "
                                                      "moved to TransformationDictionary"}));
  EXPECT_NE(Element("TransformationDictionary"), nullptr);
  EXPECT_EQ(Element("LocalTransformations"), nullptr);
}

// Leaves 10 (3 records), 20 (1 record) under "inner"; 40 (4 records) beside it.
std::string RegressionTree(const std::string& innerLeafCount) {
  return "<TreeModel functionName=\"regression\"><MiningSchema/>"
         "<Node id=\"r\"><True/>"
         "<Node id=\"inner\"><True/>"
         "<Node id=\"l1\" score=\"10\" recordCount=\"3\"><True/></Node>"
         "<Node id=\"l2\" score=\"20\"" +
         innerLeafCount +
         "><True/></Node></Node>"
         "<Node id=\"l3\" score=\"40\" recordCount=\"4\"><True/></Node>"
         "</Node></TreeModel>";
}

TEST_F(PmmlUpgradeTest, RegressionNodeTakesTheRecordWeightedMeanOfItsLeaves) {
  auto changes = Upgrade(Pmml(kNumericFields, RegressionTree(" recordCount=\"1\"")));
  EXPECT_EQ(NodeScore("inner"), "12.5");  // (3*10 + 20) / 4
  EXPECT_EQ(NodeScore("r"), "26.25");     // (30 + 20 + 160) / 8, leaves only
  EXPECT_EQ(NodeScore("l1"), "10");
  EXPECT_EQ(Texts(changes),
            (std::vector<std::string>{
                "Node 'r' of TreeModel #1: score 26.25, the record-weighted mean of 3 leaves below",
                "Node 'inner' of TreeModel #1: score 12.5, the record-weighted mean of 2 leaves "
                "below"}));
}

TEST_F(PmmlUpgradeTest, RegressionNodeTakesThePlainMeanWhenACountIsMissing) {
  Upgrade(Pmml(kNumericFields, RegressionTree("")));
  EXPECT_EQ(NodeScore("inner"), "15");
  EXPECT_EQ(NodeScore("r"), "23.333333333333332");  // (10 + 20 + 40) / 3, shortest round trip
}

// The walk is iterative: a very deep chain of scoreless nodes is fine.
TEST_F(PmmlUpgradeTest, DeepRegressionChainIsScored) {
  const int depth = 1500;
  std::string nodes;
  for (int i = 0; i < depth; ++i) nodes += "<Node id=\"" + std::to_string(i) + "\"><True/>";
  nodes += "<Node id=\"leaf\" score=\"7\" recordCount=\"2\"><True/></Node>";
  for (int i = 0; i < depth; ++i) nodes += "</Node>";
  auto changes =
      Upgrade(Pmml(kNumericFields, "<TreeModel functionName=\"regression\"><MiningSchema/>" +
                                       nodes + "</TreeModel>"));
  EXPECT_EQ(changes.size(), static_cast<size_t>(depth));
  EXPECT_EQ(NodeScore("0"), "7");
  EXPECT_EQ(NodeScore("1499"), "7");
}

// --- Ensembles ----------------------------------------------------------------------

const char kSpecies[] =
    "<DataField name=\"x\" optype=\"continuous\" dataType=\"double\"/>"
    "<DataField name=\"s\" optype=\"categorical\" dataType=\"string\"><Value value=\"a\"/>"
    "<Value value=\"b\"/></DataField>";

std::string Segments(const std::string& trees) {
  return "<MiningModel functionName=\"classification\"><MiningSchema>"
         "<MiningField name=\"s\" usageType=\"target\"/><MiningField name=\"x\"/></MiningSchema>"
         "<Segmentation multipleModelMethod=\"majorityVote\">" +
         trees + "</Segmentation></MiningModel>";
}

std::string Segment(const std::string& tree) { return "<Segment><True/>" + tree + "</Segment>"; }

// Leaves with a score only get their records as all of that score, so every
// tree of the ensemble votes with the same weight; inner nodes are scored as
// before, from the leaves' scores.
TEST_F(PmmlUpgradeTest, EnsembleLeavesWithOnlyAScoreGetTheirRecords) {
  const std::string schema =
      "<MiningSchema><MiningField name=\"s\" usageType=\"predicted\"/></MiningSchema>";
  auto changes = Upgrade(Pmml(
      kSpecies,
      Segments(Segment("<TreeModel modelName=\"c\" functionName=\"classification\">" + schema +
                       "<Node id=\"r\"><True/>"
                       "<Node id=\"bare\" score=\"b\"><True/></Node>"
                       "<Node id=\"four\" score=\"a\" recordCount=\"4\"><True/><Extension/></Node>"
                       "<Node id=\"zero\" score=\"a\" recordCount=\"0\"><True/></Node>"
                       "<Node id=\"dist\" score=\"a\"><True/>"
                       "<ScoreDistribution value=\"b\" recordCount=\"2\"/></Node>"
                       "</Node></TreeModel>") +
               Segment("<TreeModel modelName=\"r\" functionName=\"regression\">" + schema +
                       "<Node id=\"reg\" score=\"2\"><True/></Node></TreeModel>"))));
  std::vector<std::string> leafTexts;
  std::vector<std::string> nodeTexts;
  for (const PmmlUpgradeChange& change : changes) {
    if (change.kind == PmmlUpgradeChange::kLeafDistribution) leafTexts.push_back(change.text);
    if (change.kind == PmmlUpgradeChange::kNodeScore) nodeTexts.push_back(change.text);
  }
  // The root is scored from the leaves as they were: a 4 + 1, b 1 + 2.
  EXPECT_EQ(nodeTexts, (std::vector<std::string>{"Node 'r' of TreeModel 'c': score 'a', the most "
                                                 "frequent score of its leaves"}));
  EXPECT_EQ(leafTexts, (std::vector<std::string>{
                           "Node 'bare' of TreeModel 'c': recordCount 1 and a ScoreDistribution "
                           "of 1 record of its score 'b'",
                           "Node 'four' of TreeModel 'c': a ScoreDistribution of its 4 records, "
                           "all of its score 'a'"}));
  DOMElement* bare = Element("Node", 1);
  EXPECT_EQ(AttrOf(bare, "recordCount"), "1");
  ASSERT_NE(bare->getLastElementChild(), nullptr);
  EXPECT_EQ(AttrOf(bare->getLastElementChild(), "value"), "b");
  EXPECT_EQ(AttrOf(bare->getLastElementChild(), "recordCount"), "1");
  DOMElement* four = Element("Node", 2);
  EXPECT_EQ(AttrOf(four, "recordCount"), "4");
  EXPECT_EQ(AttrOf(four->getLastElementChild(), "recordCount"), "4");
  EXPECT_EQ(Element("Node", 3)->getChildElementCount(), 1u) << "a zero-record leaf is left";
  EXPECT_EQ(Element("Node", 4)->getChildElementCount(), 2u) << "its own distribution is kept";
  EXPECT_EQ(Element("Node", 5)->getChildElementCount(), 1u) << "regression leaves are left";
  EXPECT_EQ(NodeScore("r"), "a");
  EXPECT_EQ(Element("ScoreDistribution", 3), nullptr);
}

// Segment trees of newer exports list derived fields as mining fields and
// leave the target to their MiningModel.
TEST_F(PmmlUpgradeTest, SegmentSchemasDropDerivedFieldsAndTakeTheTarget) {
  const std::string local =
      "<LocalTransformations><DerivedField name=\"d\" optype=\"continuous\" dataType=\"double\">"
      "<FieldRef field=\"x\"/></DerivedField></LocalTransformations>";
  const std::string leaf =
      "<Node id=\"1\" score=\"a\"><True/><ScoreDistribution value=\"a\" "
      "recordCount=\"1\"/></Node>";
  auto tree = [&](const std::string& name, const std::string& fields) {
    return "<TreeModel modelName=\"" + name + "\" functionName=\"classification\"><MiningSchema>" +
           fields + "</MiningSchema>" + leaf + "</TreeModel>";
  };
  const std::string extension =
      "<Extension extender=\"Dendrix\" name=\"DerivedFields\"><MiningField name=\"d\" "
      "usageType=\"active\"/></Extension>";
  // t2's derived field holds an element that the walk meets after dropping it.
  std::string mining = Segments(
      Segment(tree("t1", "<MiningField name=\"d\"/><MiningField name=\"x\"/>" + extension)) +
      Segment(tree("t2",
                   "<MiningField name=\"s\" usageType=\"predicted\"/>"
                   "<MiningField name=\"d\" usageType=\"active\">"
                   "<MiningField name=\"x\"/></MiningField>")));
  mining.insert(mining.find("<Segmentation"), local);
  const std::string text = Pmml(kSpecies, mining + tree("alone", "<MiningField name=\"d\"/>"));

  XmlDocument pristine;
  EXPECT_EQ(DescribeNewerPmmlConventions(Parse(pristine, text)),
            "MiningField 'x' has no usageType (and 4 more); MiningField 's' has usageType "
            "\"target\"; MiningField 'd' names a derived field (and 2 more); TreeModel 't1' in a "
            "Segment names no target");

  auto changes = Upgrade(text);
  std::vector<std::string> schemaTexts;
  for (const PmmlUpgradeChange& change : changes) {
    if (change.kind == PmmlUpgradeChange::kDerivedMiningField ||
        change.kind == PmmlUpgradeChange::kSegmentTarget) {
      schemaTexts.push_back(change.text);
    }
    EXPECT_NE(change.text, "MiningField 'd': no usageType, now \"active\"");
  }
  EXPECT_EQ(schemaTexts,
            (std::vector<std::string>{
                "MiningField 'd' of TreeModel 't1': names a derived field, dropped from the "
                "mining schema",
                "MiningField 'd' of TreeModel 't2': names a derived field, dropped from the "
                "mining schema",
                "MiningField 'd' of TreeModel 'alone': names a derived field, dropped from the "
                "mining schema",
                "TreeModel 't1': no predicted MiningField, given 's' of MiningModel #1"}));
  // t1: the target copied in first, x typed, the reader's own extension kept.
  DOMElement* schema = Element("MiningSchema", 1);
  std::vector<std::string> listed;
  for (DOMElement* f = schema->getFirstElementChild(); f; f = f->getNextElementSibling()) {
    listed.push_back(AttrOf(f, "name") + "/" + AttrOf(f, "usageType"));
  }
  EXPECT_EQ(listed,
            (std::vector<std::string>{"s/predicted", "x/active", "DerivedFields/<absent>"}));
  EXPECT_EQ(AttrOf(schema->getLastElementChild()->getFirstElementChild(), "name"), "d");
  EXPECT_EQ(Element("MiningSchema", 2)->getChildElementCount(), 1u);
  EXPECT_EQ(Element("MiningSchema", 3)->getChildElementCount(), 0u)
      << "a tree outside a segment is given no target";
  EXPECT_EQ(DescribeNewerPmmlConventions(document_.GetDocument()), "");
}

// --- Category values ------------------------------------------------------------------

TEST_F(PmmlUpgradeTest, CategoricalFieldGetsThePredicateValuesInOrderOfFirstAppearance) {
  auto changes = Upgrade(Pmml(
      "<DataField name=\"c\" optype=\"categorical\" dataType=\"string\"/>"
      "<DataField name=\"k\" optype=\"categorical\" dataType=\"string\"><Value value=\"only\"/>"
      "</DataField>"
      "<DataField name=\"x\" optype=\"continuous\" dataType=\"double\"/>"
      "<DataField name=\"unused\" optype=\"categorical\" dataType=\"string\"/>",
      "<TreeModel functionName=\"regression\"><MiningSchema/><Node id=\"r\" score=\"1\"><True/>"
      "<Node id=\"1\" score=\"1\"><SimplePredicate field=\"c\" operator=\"equal\" value=\"red\"/>"
      "</Node>"
      "<Node id=\"2\" score=\"1\"><SimpleSetPredicate field=\"c\" booleanOperator=\"isIn\">"
      "<Array type=\"string\" n=\"3\">blue \"dark red\" red</Array></SimpleSetPredicate></Node>"
      "<Node id=\"3\" score=\"1\"><CompoundPredicate booleanOperator=\"and\">"
      "<SimplePredicate field=\"k\" operator=\"equal\" value=\"new\"/>"
      "<SimplePredicate field=\"x\" operator=\"equal\" value=\"3\"/>"
      "<SimpleSetPredicate field=\"c\" booleanOperator=\"isNotIn\">"
      "<Array type=\"string\">\"say \\\"hi\\\"\" blue</Array></SimpleSetPredicate>"
      "</CompoundPredicate></Node></Node></TreeModel>"));
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].kind, PmmlUpgradeChange::kCategoryValues);
  EXPECT_EQ(changes[0].text,
            "DataField 'c': 4 values from its predicates ('red', 'blue', 'dark red', "
            "'say \"hi\"')");
  DOMElement* field = Element("DataField", 0);
  std::vector<std::string> values;
  for (DOMElement* v = field->getFirstElementChild(); v; v = v->getNextElementSibling()) {
    values.push_back(AttrOf(v, "value"));
  }
  EXPECT_EQ(values, (std::vector<std::string>{"red", "blue", "dark red", "say \"hi\""}));
  EXPECT_EQ(Element("DataField", 1)->getChildElementCount(), 1u) << "declared values are kept";
  EXPECT_EQ(Element("DataField", 2)->getChildElementCount(), 0u);
  EXPECT_EQ(Element("DataField", 3)->getChildElementCount(), 0u) << "no predicate names it";
}

// --- Hint ---------------------------------------------------------------------------------

TEST_F(PmmlUpgradeTest, NewerConventionsAreNamed) {
  Parse(document_, Pmml(kNumericFields,
                        "<TreeModel><MiningSchema><MiningField name=\"x\"/>"
                        "<MiningField name=\"z\"/><MiningField name=\"y\" usageType=\"target\"/>"
                        "</MiningSchema><Node/></TreeModel>"));
  EXPECT_EQ(DescribeNewerPmmlConventions(document_.GetDocument()),
            "MiningField 'x' has no usageType (and 1 more); MiningField 'y' has usageType "
            "\"target\"");
  // A local field that the data dictionary also declares is not a newer convention.
  XmlDocument shadowed;
  std::string local = kLocalDerived;
  local.replace(local.find("ratio"), 5, "x");
  std::string tree = TreeWithLocal(local);
  tree.replace(tree.find("field=\"ratio\""), 13, "field=\"x\"");
  EXPECT_EQ(DescribeNewerPmmlConventions(Parse(shadowed, Pmml(kNumericFields, tree))), "");
}

// Forest exports leave score off inner nodes and values off categorical
// fields; both are named, a scoreless leaf is not (nothing would score it).
TEST_F(PmmlUpgradeTest, ScorelessInnerNodesAndValuelessCategoriesAreNamed) {
  const std::string fields =
      "<DataField name=\"x\" optype=\"continuous\" dataType=\"double\"/>"
      "<DataField name=\"c\" optype=\"categorical\" dataType=\"string\"/>"
      "<DataField name=\"d\" optype=\"categorical\" dataType=\"string\"/>"
      "<DataField name=\"e\" optype=\"categorical\" dataType=\"string\"><Value value=\"v\"/>"
      "</DataField>";
  Parse(document_, Pmml(fields,
                        "<TreeModel><MiningSchema><MiningField name=\"x\" usageType=\"active\"/>"
                        "</MiningSchema><Node id=\"r\"><True/>"
                        "<Node id=\"i\"><True/><Node id=\"l\" score=\"1\"><True/></Node></Node>"
                        "<Node id=\"bare\"><True/></Node></Node></TreeModel>"));
  EXPECT_EQ(DescribeNewerPmmlConventions(document_.GetDocument()),
            "Node 'r' has no score (and 1 more inner nodes); categorical DataField 'c' (and 1 "
            "more) lists no values");
}

TEST(PmmlUpgradeSummary, CountsAndNamesEachKind) {
  EXPECT_EQ(SummarizePmmlUpgrade(PmmlUpgradeChange::kNodeScore, 1),
            "1 node without score given one");
  EXPECT_EQ(SummarizePmmlUpgrade(PmmlUpgradeChange::kLocalDerived, 2),
            "2 derived fields moved from LocalTransformations to the TransformationDictionary");
}

}  // namespace
