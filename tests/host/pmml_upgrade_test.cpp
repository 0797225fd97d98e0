#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "host/PmmlUpgrade.h"
#include "host/Utf16.h"
#include "host/VeltraException.h"
#include "host/XmlDocument.h"

namespace {

using xercesc::DOMElement;
using Strings = std::vector<std::string>;

std::u16string U(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string Pmml(const std::string& dataFields, const std::string& body,
                 const std::string& afterData = "") {
  return "<PMML version=\"4.2\"><DataDictionary>" + dataFields + "</DataDictionary>" + afterData +
         body + "</PMML>";
}
std::string Num(const std::string& name) {
  return "<DataField name=\"" + name + "\" optype=\"continuous\" dataType=\"double\"/>";
}
std::string Cat(const std::string& name, const std::string& values = "") {
  return "<DataField name=\"" + name + "\" optype=\"categorical\" dataType=\"string\">" + values +
         "</DataField>";
}
// A TreeModel with an empty mining schema.
std::string Tree(const std::string& function, const std::string& nodes) {
  return "<TreeModel functionName=\"" + function + "\"><MiningSchema/>" + nodes + "</TreeModel>";
}
// A node that is always entered, e.g. Node(R"(id="1" score="a")", Dist("a", "3")).
std::string Node(const std::string& attributes, const std::string& body = "") {
  return "<Node " + attributes + "><True/>" + body + "</Node>";
}
std::string Dist(const std::string& value, const std::string& count) {
  return "<ScoreDistribution value=\"" + value + "\" recordCount=\"" + count + "\"/>";
}

const std::string kNumericFields = Num("x") + Num("y");

// The texts of the changes, of one kind or of all.
Strings Texts(const std::vector<PmmlUpgradeChange>& changes, int kind = -1) {
  Strings out;
  for (const PmmlUpgradeChange& change : changes) {
    if (kind < 0 || change.kind == kind) out.push_back(change.text);
  }
  return out;
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
  // The hint for the document as written, before any upgrade.
  std::string Describe(const std::string& text) {
    XmlDocument pristine;
    return DescribeNewerPmmlConventions(Parse(pristine, text));
  }
  // The n-th element (document order) with this tag.
  DOMElement* Element(const char* tag, XMLSize_t n = 0) {
    return static_cast<DOMElement*>(
        document_.GetDocument()->getElementsByTagName(U(tag).c_str())->item(n));
  }
  static std::string AttrOf(DOMElement* element, const char* name) {
    if (element == nullptr || !element->hasAttribute(U(name).c_str())) return "<absent>";
    return dendrix_host::ToUtf8(element->getAttribute(U(name).c_str()));
  }
  // The attribute of every element with this tag, in document order.
  Strings All(const char* tag, const char* name) {
    Strings out;
    for (XMLSize_t i = 0; Element(tag, i) != nullptr; ++i) {
      out.push_back(AttrOf(Element(tag, i), name));
    }
    return out;
  }
  // "id=score" for each node, in document order.
  std::string Scores() {
    std::string out;
    for (XMLSize_t i = 0; Element("Node", i) != nullptr; ++i) {
      out += " " + AttrOf(Element("Node", i), "id") + "=" + AttrOf(Element("Node", i), "score");
    }
    return out.substr(1);
  }

  XercesSession session_;
  XmlDocument document_;
};

const char kLocalDerived[] =
    R"(<LocalTransformations><DerivedField name="ratio" optype="continuous" dataType="double">)"
    R"(<Apply function="/"><FieldRef field="x"/><FieldRef field="y"/></Apply></DerivedField>)"
    R"(</LocalTransformations>)";

// Its leaf tests `ratio`.
std::string TreeWithLocal(const std::string& local, const std::string& name = "t") {
  return "<TreeModel modelName=\"" + name +
         R"(" functionName="regression"><MiningSchema><MiningField name="x" )"
         R"(usageType="active"/></MiningSchema>)" +
         local +
         R"(<Node id="1" score="1"><True/><Node id="2" score="2"><SimplePredicate )"
         R"(field="ratio" operator="lessThan" value="1"/></Node></Node></TreeModel>)";
}

// Two trees of an ensemble carry the same definition; a third field is new; the
// MiningModel's own local field moves too.
TEST_F(PmmlUpgradeTest, LocalDerivedFieldsJoinAnExistingDictionaryAndDuplicatesAreMerged) {
  std::string second = kLocalDerived;
  second.insert(second.find("</LocalTransformations>"),
                R"(<DerivedField name="twice" optype="continuous" dataType="double">)"
                R"(<FieldRef field="x"/></DerivedField>)");
  std::string own = kLocalDerived;
  own.replace(own.find("ratio"), 5, "own");
  auto changes = Upgrade(
      Pmml(kNumericFields,
           "<MiningModel>" + own + "<Segmentation><Segment>" + TreeWithLocal(kLocalDerived, "a") +
               "</Segment><Segment>" + TreeWithLocal(second, "b") + "</Segment></Segmentation>" +
               "</MiningModel>",
           R"(<TransformationDictionary><DerivedField name="old"/></TransformationDictionary>)"));
  EXPECT_EQ(Texts(changes),
            (Strings{"DerivedField 'own' of MiningModel #1: moved to TransformationDictionary",
                     "DerivedField 'ratio' of TreeModel 'a': moved to TransformationDictionary",
                     "DerivedField 'ratio' of TreeModel 'b': same definition already in "
                     "TransformationDictionary",
                     "DerivedField 'twice' of TreeModel 'b': moved to TransformationDictionary"}));
  EXPECT_EQ(All("DerivedField", "name"), (Strings{"old", "own", "ratio", "twice"}));
  EXPECT_EQ(Element("TransformationDictionary", 1), nullptr);
  EXPECT_EQ(Element("LocalTransformations"), nullptr);
}

// A different definition under a name the dictionary already has.
TEST_F(PmmlUpgradeTest, NameClashIsAnErrorNamingTheField) {
  try {
    Upgrade(Pmml(kNumericFields, TreeWithLocal(kLocalDerived),
                 R"(<TransformationDictionary><DerivedField name="ratio">)"
                 R"(<FieldRef field="y"/></DerivedField></TransformationDictionary>)"));
    FAIL() << "no exception";
  } catch (const VeltraException& e) {
    EXPECT_EQ(e.GetCode(), 3);
    EXPECT_EQ(e.GetMessage(),
              "LocalTransformations of TreeModel 't': DerivedField 'ratio' clashes with another "
              "field of that name");
  }
}

// A classification node takes its largest distribution (the first on ties), else the
// largest of the distributions summed over its leaves, else the score its leaves give
// most records (a leaf with a score only counts as its recordCount, at least one). A
// regression node takes the record-weighted mean of the leaves below (the plain mean when
// a count is missing), written as the shortest round trip; a node with nothing to take a
// score from keeps none.
TEST_F(PmmlUpgradeTest, InnerNodesTakeTheirScoreFromDistributionsOrLeaves) {
  // Leaves 10 (3 records), 20 under "inner"; 40 (4 records) beside it.
  auto regression = [](const std::string& l2Count) {
    return Node(R"(id="r")", Node(R"(id="inner")", Node(R"(id="l1" score="10" recordCount="3")") +
                                                       Node(R"(id="l2" score="20")" + l2Count)) +
                                 Node(R"(id="l3" score="40" recordCount="4")"));
  };
  // {function, nodes, "id=score" after the upgrade, the root's change}
  const std::tuple<const char*, std::string, std::string, std::string> cases[] = {
      {"classification",
       Node(R"(id="r")", Dist("a", "2") + Dist("b", "5") + Dist("c", "5") +
                             Node(R"(id="k" score="kept")", Dist("a", "9")) +
                             Node(R"(id="n")", Dist("a", "1.5") + Dist("b", "1e1")) +
                             Node(R"(id="none")")),
       "r=b k=kept n=b none=<absent>", "score 'b', its largest ScoreDistribution"},
      // 2: a 0.8, b 1.2; r: a 1.4, b 1.6 over the three leaves.
      {"classification",
       Node(R"(id="r")",
            Node(R"(id="1" score="a")", Dist("a", "0.6") + Dist("b", "0.4")) +
                Node(R"(id="2")",
                     Node(R"(id="3" score="b")", Dist("a", "0.3") + Dist("b", "0.7")) +
                         Node(R"(id="4" score="b")", Dist("b", "0.5") + Dist("a", "0.5")))),
       "r=b 1=a 2=b 3=b 4=b", "score 'b', the largest of its leaves' ScoreDistributions"},
      // 2: a 1, b 2; r: a 5, b 2, c 1.
      {"classification",
       Node(R"(id="r")",
            Node(R"(id="2")", Node(R"(id="3" score="a")") + Node(R"(id="4" score="b")") +
                                  Node(R"(id="5" score="b")")) +
                Node(R"(id="6" score="a" recordCount="4")") +
                Node(R"(id="7" score="c" recordCount="0")")),
       "r=a 2=b 3=a 4=b 5=b 6=a 7=c", "score 'a', the most frequent score of its leaves"},
      // inner: (3*10 + 20) / 4; r: (30 + 20 + 160) / 8, from the leaves only.
      {"regression", regression(R"( recordCount="1")"), "r=26.25 inner=12.5 l1=10 l2=20 l3=40",
       "score 26.25, the record-weighted mean of 3 leaves below"},
      {"regression", regression(""), "r=23.333333333333332 inner=15 l1=10 l2=20 l3=40",
       "score 23.333333333333332, the plain mean of 3 leaves below"},
  };
  for (const auto& [function, nodes, scores, rootText] : cases) {
    SCOPED_TRACE(nodes);
    auto changes = Upgrade(Pmml(kNumericFields, Tree(function, nodes)));
    EXPECT_EQ(Scores(), scores);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].text, "Node 'r' of TreeModel #1: " + rootText);
  }
}

// The walk is iterative: a very deep chain of scoreless nodes is fine.
TEST_F(PmmlUpgradeTest, DeepRegressionChainIsScored) {
  const int depth = 1500;
  std::string nodes;
  for (int i = 0; i < depth; ++i) nodes += "<Node id=\"" + std::to_string(i) + "\"><True/>";
  nodes += R"(<Node id="leaf" score="7" recordCount="2"><True/></Node>)";
  for (int i = 0; i < depth; ++i) nodes += "</Node>";
  auto changes = Upgrade(Pmml(kNumericFields, Tree("regression", nodes)));
  EXPECT_EQ(changes.size(), static_cast<size_t>(depth));
  EXPECT_EQ(Scores().substr(0, 7), "0=7 1=7");
  EXPECT_EQ(Scores().substr(Scores().size() - 13), "1499=7 leaf=7");
}

// --- Ensembles ----------------------------------------------------------------------

const std::string kSpecies = Num("x") + Cat("s", R"(<Value value="a"/><Value value="b"/>)");

std::string Segments(const std::string& trees) {
  return R"(<MiningModel functionName="classification"><MiningSchema>)"
         R"(<MiningField name="s" usageType="target"/><MiningField name="x"/></MiningSchema>)"
         R"(<Segmentation multipleModelMethod="majorityVote">)" +
         trees + "</Segmentation></MiningModel>";
}

std::string Segment(const std::string& tree) { return "<Segment><True/>" + tree + "</Segment>"; }

// Leaves with a score only get their records as all of that score, so every
// tree of the ensemble votes with the same weight; inner nodes are scored as
// before, from the leaves' scores.
TEST_F(PmmlUpgradeTest, EnsembleLeavesWithOnlyAScoreGetTheirRecords) {
  const std::string schema =
      R"(<MiningSchema><MiningField name="s" usageType="predicted"/></MiningSchema>)";
  auto changes = Upgrade(Pmml(
      kSpecies,
      Segments(Segment(R"(<TreeModel modelName="c" functionName="classification">)" + schema +
                       Node(R"(id="r")",
                            Node(R"(id="bare" score="b")") +
                                Node(R"(id="four" score="a" recordCount="4")", "<Extension/>") +
                                Node(R"(id="zero" score="a" recordCount="0")") +
                                Node(R"(id="dist" score="a")", Dist("b", "2"))) +
                       "</TreeModel>") +
               Segment(R"(<TreeModel modelName="r" functionName="regression">)" + schema +
                       Node(R"(id="reg" score="2")") + "</TreeModel>"))));
  // The root is scored from the leaves as they were: a 4 + 1, b 1 + 2.
  EXPECT_EQ(Texts(changes, PmmlUpgradeChange::kNodeScore),
            Strings{"Node 'r' of TreeModel 'c': score 'a', the most frequent score of its leaves"});
  EXPECT_EQ(Texts(changes, PmmlUpgradeChange::kLeafDistribution),
            (Strings{"Node 'bare' of TreeModel 'c': recordCount 1 and a ScoreDistribution of 1 "
                     "record of its score 'b'",
                     "Node 'four' of TreeModel 'c': a ScoreDistribution of its 4 records, all of "
                     "its score 'a'"}));
  // A zero-record leaf, a leaf with its own distribution and regression leaves are left.
  EXPECT_EQ(All("Node", "recordCount"),
            (Strings{"<absent>", "1", "4", "0", "<absent>", "<absent>"}));
  EXPECT_EQ(All("ScoreDistribution", "value"), (Strings{"b", "a", "b"}));
  EXPECT_EQ(All("ScoreDistribution", "recordCount"), (Strings{"1", "4", "2"}));
}

// Segment trees of newer exports list derived fields as mining fields and
// leave the target to their MiningModel.
TEST_F(PmmlUpgradeTest, SegmentSchemasDropDerivedFieldsAndTakeTheTarget) {
  auto tree = [&](const std::string& name, const std::string& fields) {
    return R"(<TreeModel modelName=")" + name +
           R"(" functionName="classification"><MiningSchema>)" + fields + "</MiningSchema>" +
           Node(R"(id="1" score="a")", Dist("a", "1")) + "</TreeModel>";
  };
  // t2's derived field holds an element that the walk meets after dropping it.
  std::string mining = Segments(
      Segment(tree("t1", R"(<MiningField name="d"/><MiningField name="x"/>)"
                         R"(<Extension extender="Dendrix" name="DerivedFields">)"
                         R"(<MiningField name="d" usageType="active"/></Extension>)")) +
      Segment(tree("t2", R"(<MiningField name="s" usageType="predicted"/>)"
                         R"(<MiningField name="d" usageType="active"><MiningField name="x"/>)"
                         R"(</MiningField>)")));
  mining.insert(mining.find("<Segmentation"),
                R"(<LocalTransformations><DerivedField name="d" optype="continuous" )"
                R"(dataType="double"><FieldRef field="x"/></DerivedField></LocalTransformations>)");
  const std::string text = Pmml(kSpecies, mining + tree("alone", R"(<MiningField name="d"/>)"));
  EXPECT_EQ(Describe(text),
            "MiningField 'x' has no usageType (and 4 more); MiningField 's' has usageType "
            "\"target\"; MiningField 'd' names a derived field (and 2 more); TreeModel 't1' in a "
            "Segment names no target");

  auto changes = Upgrade(text);
  const std::string dropped = ": names a derived field, dropped from the mining schema";
  EXPECT_EQ(Texts(changes, PmmlUpgradeChange::kDerivedMiningField),
            (Strings{"MiningField 'd' of TreeModel 't1'" + dropped,
                     "MiningField 'd' of TreeModel 't2'" + dropped,
                     "MiningField 'd' of TreeModel 'alone'" + dropped}));
  EXPECT_EQ(Texts(changes, PmmlUpgradeChange::kSegmentTarget),
            Strings{"TreeModel 't1': no predicted MiningField, given 's' of MiningModel #1"});
  for (const std::string& usage : Texts(changes, PmmlUpgradeChange::kUsageType)) {
    EXPECT_EQ(usage.find("'d'"), std::string::npos) << usage;
  }
  // t1: the target copied in first, x typed, the reader's own extension kept; a tree
  // outside a segment is given no target.
  EXPECT_EQ(All("MiningField", "name"), (Strings{"s", "x", "s", "x", "d", "s"}));
  EXPECT_EQ(All("MiningField", "usageType"),
            (Strings{"predicted", "active", "predicted", "active", "active", "predicted"}));
  EXPECT_EQ(DescribeNewerPmmlConventions(document_.GetDocument()), "");
}

// --- Category values ------------------------------------------------------------------

TEST_F(PmmlUpgradeTest, CategoricalFieldGetsThePredicateValuesInOrderOfFirstAppearance) {
  auto changes = Upgrade(Pmml(
      Cat("c") + Cat("k", R"(<Value value="only"/>)") + Num("x") + Cat("unused"),
      Tree("regression",
           R"(<Node id="r" score="1"><True/><Node id="1" score="1">)"
           R"(<SimplePredicate field="c" operator="equal" value="red"/></Node>)"
           R"(<Node id="2" score="1"><SimpleSetPredicate field="c" booleanOperator="isIn">)"
           R"(<Array type="string" n="3">blue "dark red" red</Array></SimpleSetPredicate></Node>)"
           R"(<Node id="3" score="1"><CompoundPredicate booleanOperator="and">)"
           R"(<SimplePredicate field="k" operator="equal" value="new"/>)"
           R"(<SimplePredicate field="x" operator="equal" value="3"/>)"
           R"(<SimpleSetPredicate field="c" booleanOperator="isNotIn">)"
           R"(<Array type="string">"say \"hi\"" blue</Array></SimpleSetPredicate>)"
           R"(</CompoundPredicate></Node></Node>)")));
  EXPECT_EQ(Texts(changes, PmmlUpgradeChange::kCategoryValues),
            Strings{"DataField 'c': 4 values from its predicates ('red', 'blue', 'dark red', "
                    "'say \"hi\"')"});
  EXPECT_EQ(changes.size(), 1u);
  // Declared values are kept; a field no predicate names is left alone.
  EXPECT_EQ(All("Value", "value"), (Strings{"red", "blue", "dark red", "say \"hi\"", "only"}));
}

// --- Hint ---------------------------------------------------------------------------------

// Forest exports leave score off inner nodes and values off categorical
// fields; both are named, a scoreless leaf is not (nothing would score it).
TEST_F(PmmlUpgradeTest, ScorelessInnerNodesAndValuelessCategoriesAreNamed) {
  EXPECT_EQ(Describe(Pmml(Num("x") + Cat("c") + Cat("d") + Cat("e", R"(<Value value="v"/>)"),
                          R"(<TreeModel><MiningSchema><MiningField name="x" usageType="active"/>)"
                          R"(</MiningSchema><Node id="r"><True/><Node id="i"><True/>)"
                          R"(<Node id="l" score="1"><True/></Node></Node>)"
                          R"(<Node id="bare"><True/></Node></Node></TreeModel>)")),
            "Node 'r' has no score (and 1 more inner nodes); categorical DataField 'c' (and 1 "
            "more) lists no values");
}

// --- Constructs the native rules read otherwise ----------------------------------

TEST_F(PmmlUpgradeTest, ConstructsReadOtherwiseAreNamedWithTheirCounts) {
  const std::string fields = Num("x") + Cat("c", R"(<Value value="a"/><Value value="b"/>)");
  // Children of a root node; the first holds more records than the second.
  auto split = [](const std::string& first, const std::string& second,
                  const std::string& rootAttributes = "") {
    return R"(<Node score="a" )" + rootAttributes +
           R"(><True/><Node id="1" score="a" recordCount="9">)" + first +
           R"(</Node><Node id="2" score="b" recordCount="1">)" + second + "</Node></Node>";
  };
  const std::string lessThan = R"(<SimplePredicate field="x" operator="lessThan" value="1"/>)";
  auto tree = [&](const std::string& attributes, const std::string& nodes) {
    return Pmml(fields, R"(<TreeModel functionName="classification" )" + attributes +
                            "><MiningSchema/>" + nodes + "</TreeModel>");
  };
  auto ensemble = [&](const std::string& function, const std::string& method,
                      const std::string& segment = "<True/>") {
    return Pmml(fields, R"(<MiningModel functionName=")" + function + R"("><MiningSchema/>)" +
                            R"(<Segmentation multipleModelMethod=")" + method + R"("><Segment>)" +
                            segment + Tree(function, Node(R"(score="1")")) +
                            "</Segment></Segmentation></MiningModel>");
  };
  const std::string andCompound =
      R"(<CompoundPredicate booleanOperator="and">)" + lessThan + lessThan + "</CompoundPredicate>";
  // Each line is named by its start.
  const std::pair<std::string, Strings> cases[] = {
      {tree("",
            split(R"(<SimplePredicate field="c" operator="notEqual" value="a"/>)" +
                      std::string(R"(<SimplePredicate field="x" operator="notEqual" value="1"/>)"),
                  lessThan)),
       {"1 notEqual predicate on a nominal field is read as equal"}},
      {tree("", split(andCompound, lessThan)), {"1 CompoundPredicate \"and\" is read as"}},
      {tree(R"(missingValueStrategy="lastPrediction")", split(lessThan, lessThan)),
       {"1 TreeModel with missingValueStrategy \"lastPrediction\" sends"}},
      {tree(R"(noTrueChildStrategy="returnNullPrediction")", split(lessThan, lessThan)),
       {"1 TreeModel with noTrueChildStrategy \"returnNullPrediction\" sends"}},
      {tree(R"(missingValuePenalty="0.8")", split(lessThan, lessThan)),
       {"1 TreeModel states a missingValuePenalty;"}},
      {tree(R"(missingValueStrategy="defaultChild")",
            split(lessThan, lessThan, R"(defaultChild="2")")),
       {"1 Node names a defaultChild other than the biggest child"}},
      {tree("", split(lessThan, "<True/>")), {"1 True child adds no condition"}},
      {ensemble("classification", "majorityVote"),
       {"1 Segmentation with multipleModelMethod \"majorityVote\" is scored"}},
      {ensemble("regression", "sum"), {"1 Segmentation with multipleModelMethod \"sum\" averages"}},
      {ensemble("regression", "average", lessThan), {"1 Segment has a predicate other than True"}},
      {tree("", Node(R"(score="a")",
                     Dist("a", "3") + Dist("b", "1") +
                         R"(<ScoreDistribution value="b" recordCount="0" probability="0.5"/>)")),
       {"1 ScoreDistribution states a probability other than its record share"}},
      {tree("", R"(<Targets><Target field="y" rescaleConstant="0.5"/></Targets>)" +
                    Node(R"(score="a")")),
       {"1 Target rescales, rounds or bounds the prediction"}},
      {tree("", R"(<Output><OutputField name="o" feature="transformedValue"/></Output>)" +
                    Node(R"(score="a")")),
       {"1 OutputField computes a transformedValue"}},
      {Pmml(fields, R"(<TreeModel functionName="classification"><MiningSchema>)"
                    R"(<MiningField name="x" missingValueReplacement="0"/>)"
                    R"(<MiningField name="c" outliers="asMissingValues"/></MiningSchema>)" +
                        Node(R"(score="a")") + "</TreeModel>"),
       {"1 MiningField states a missingValueReplacement", "1 MiningField treats outliers"}},
      // What the reader answers as PMML does: equal, a defaultChild on the
      // biggest child, a True child that is the biggest, a regression average,
      // the rules of a rule set.
      {tree(R"(algorithmName="RuleSet")", split(andCompound, "<True/>")), {}},
      {tree(R"(missingValueStrategy="defaultChild")",
            split("<True/>", R"(<SimplePredicate field="c" operator="equal" value="a"/>)",
                  R"(defaultChild="1")")),
       {}},
      {ensemble("regression", "average"), {}},
  };
  for (const auto& [text, starts] : cases) {
    SCOPED_TRACE(text);
    XmlDocument document;
    const Strings lines = DescribePmmlSemanticsDifferences(Parse(document, text));
    ASSERT_EQ(lines.size(), starts.size());
    for (size_t i = 0; i < lines.size(); ++i)
      EXPECT_EQ(lines[i].rfind(starts[i], 0), 0u) << lines[i];
  }
}

}  // namespace
