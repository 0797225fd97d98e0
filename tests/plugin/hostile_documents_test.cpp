// Hostile and broken documents through the plug-in's reader: refusals leak
// nothing (sanitizer build) and the size limits hold.

#include "tests/plugin/hostile_documents.h"

#include <sys/resource.h>

#include <fstream>
#include <sstream>

#include "host/PluginExport.h"
#include "host/ScoreCaseRecord.h"
#include "pmml/DocumentLimits.h"
#include "pmml/reader_support.h"

namespace {

using namespace hostile;

// A document-level cost matrix with one cell: predicting c0 for c1 costs `cost`.
std::string Costs(const std::string& cost) {
  return "<Extension><X-MisclassificationCost><X-PredictedValue type=\"A\">c0</X-PredictedValue>"
         "<X-ActualValue type=\"A\">c1</X-ActualValue><X-Cost>" +
         cost + "</X-Cost></X-MisclassificationCost></Extension>";
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// Reads each document with a fresh translator, as the plug-in's entry point
// makes them.
using HostileDocuments = reader_test::ReaderTest;

// Each document with its node count; deep nesting is walked without recursion.
TEST_F(HostileDocuments, TreeNodeCountCoversBothLayoutsAndStopsPastTheLimit) {
  const std::vector<std::pair<std::string, int>> cases = {
      {Document(kTwoLeaves + "<Nodes/><NodeId/>"), 3},  // root and two leaves
      {"<Tree><ClsTree><ClsNode><ClsTerminalNode/><ClsNodeX/></ClsNode></ClsTree>"
       "<RegTree><RegNode><RegTerminalNode/><RegTerminal/></RegNode></RegTree></Tree>",
       4},
      {"<r>" + Repeat("<Node>", 20000) + Repeat("</Node>", 20000) + "<Node/></r>", 20001},
  };
  for (const auto& [xml, count] : cases) {
    XmlDocument document;
    XmlParseError error;
    ASSERT_TRUE(document.ParseMemory(xml, &error)) << error.message;
    EXPECT_NO_THROW(CheckTreeNodeCount(document.GetDocument(), count));
    try {
      CheckTreeNodeCount(document.GetDocument(), count - 1);
      ADD_FAILURE() << count << " nodes passed a limit of " << count - 1;
    } catch (const VeltraException& e) {
      EXPECT_EQ(e.GetCode(), 5);
      EXPECT_EQ(e.GetMessage(), "Documents with more than " + std::to_string(count - 1) +
                                    " tree nodes are not supported!");
    }
  }
}

// Memory grows with the categories, not with their square.
TEST_F(HostileDocuments, ManyTargetCategoriesCostLinearMemory) {
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  std::unique_ptr<ScoreModel> model = ReadOk(Document(kTwoLeaves, Values(20000))).model;
  ASSERT_TRUE(model);
  NamedCaseRecord record;
  record.SetNumber("x", 0.5);
  ScoreResult* result = nullptr;
  ASSERT_TRUE(model->GetScore(&record, result, false).IsOK());
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->GetPrediction()->ToString(), "c1");
  delete result;
  model.reset();
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 256L * 1024);  // kilobytes
}

// Their time is in bench/bench_hostile.cpp.
TEST_F(HostileDocuments, LongListsAreRead) {
  const int n = 40000;
  std::string elements;
  std::string fields;
  for (int i = 0; i < n; ++i) {
    elements += "c" + std::to_string(i) + " ";
    fields += "<DataField name=\"f" + std::to_string(i) +
              "\" optype=\"continuous\" dataType=\"double\"/>";
  }
  const std::string set =
      "<Node score=\"c1\"><SimpleSetPredicate field=\"t\" booleanOperator=\"isIn\"><Array n=\"" +
      std::to_string(n) + "\" type=\"string\">" + elements +
      "</Array></SimpleSetPredicate><ScoreDistribution value=\"c1\" recordCount=\"5\"/></Node>" +
      kSecondLeaf;
  const std::string notIn = Replace(set, "\"isIn\"", "\"isNotIn\"");
  std::string manyFields = Document(kTwoLeaves);
  manyFields.insert(manyFields.find("</DataDictionary>"), fields);
  for (const std::string& xml :
       {Document(set, Values(n)), Document(notIn, Values(n + 1)), manyFields}) {
    EXPECT_TRUE(ReadOk(xml).model);
  }
}

TEST_F(HostileDocuments, CostsOverTooManyCategoriesAreRefused) {
  EXPECT_TRUE(ReadOk(Document(kTwoLeaves, Values(kMaxCostCategories), Costs("5"))).model);
  Refused(Document(kTwoLeaves, Values(kMaxCostCategories + 1), Costs("5")), 5,
          "Misclassification costs for a target with more than 1000 categories are not "
          "supported!");
}

// Entity tricks through the translator's own file and stream reading.
TEST_F(HostileDocuments, EntityTricksAreRefusedWithoutTheirContent) {
  const std::string secret = ::testing::TempDir() + "plugin_secret.txt";
  std::ofstream(secret) << "PLUGIN-SECRET";
  std::string bomb = "<!DOCTYPE PMML [<!ENTITY a0 \"xxxxxxxxxx\">";
  for (int i = 1; i <= 12; ++i) {
    bomb += "<!ENTITY a" + std::to_string(i) + " \"" +
            Repeat("&a" + std::to_string(i - 1) + ";", 10) + "\">";
  }
  bomb += "]>";
  const std::string documents[] = {
      "<!DOCTYPE PMML [<!ENTITY s SYSTEM \"file://" + secret + "\">]>" +
          Document("<Extension name=\"&s;\"/>" + kTwoLeaves),
      "<!DOCTYPE PMML [<!ENTITY % p SYSTEM \"" + secret + "\"> %p;]>" + Document(kTwoLeaves),
      bomb + Document("<Extension name=\"&a12;\"/>" + kTwoLeaves),
  };
  for (const std::string& xml : documents) {
    const std::string path = ::testing::TempDir() + "plugin_hostile.pmml";
    std::ofstream(path) << xml;
    for (int overload = 0; overload < 2; ++overload) {
      std::unique_ptr<ScoreTranslator> translator(GiveMyTranslator());
      std::istringstream in(xml);
      try {
        delete (overload == 0 ? translator->ParseFromTree(path, "")
                              : translator->ParseFromTree(in, ""));
        ADD_FAILURE() << "accepted: " << xml.substr(0, 80);
      } catch (const VeltraException& e) {
        EXPECT_EQ(e.GetCode(), 1);
        EXPECT_EQ(e.GetMessage().find("PLUGIN-SECRET"), std::string::npos) << e.GetMessage();
      }
    }
  }
}

// One failure at each reading step the reader and embedding tests leave out;
// under the sanitizer build a leak on any of these paths fails the run.
TEST_F(HostileDocuments, EveryReadingStepReleasesEverythingOnFailure) {
  const auto deep = [](const std::string& inner) {
    return "<Node score=\"c1\"><SimplePredicate field=\"x\" operator=\"lessThan\" value=\"1\"/>"
           "<Node score=\"c1\"><True/><Node score=\"c2\"><True/>" +
           inner + "</Node></Node></Node><Node score=\"c2\"><True/></Node>";
  };
  std::string regression = Replace(
      Document("<Node score=\"2\"><True/><Node score=\"oops\"><True/></Node></Node>", ""),
      "optype=\"categorical\" dataType=\"string\"", "optype=\"continuous\" dataType=\"double\"");
  regression =
      Replace(Replace(regression, "\"classification\"", "\"regression\""), "\"c0\"", "\"1\"");
  std::string secondTreeBad = Document(kTwoLeaves);
  secondTreeBad.insert(secondTreeBad.find("</PMML>"),
                       "<TreeModel functionName=\"classification\"><MiningSchema/>"
                       "<Node score=\"c0\"><True/><Node score=\"c1\"><SimplePredicate "
                       "field=\"nowhere\" operator=\"equal\" value=\"1\"/></Node></Node>"
                       "</TreeModel>");
  const std::string compoundTooDeep =
      "<Node score=\"c1\">" + Repeat("<CompoundPredicate booleanOperator=\"and\">", 1001) +
      "<True/><True/>" + Repeat("<True/></CompoundPredicate>", 1001) + "</Node>";
  // The step, a document failing there and the code.
  const std::vector<std::tuple<std::string, std::string, int>> cases = {
      {"data dictionary",
       "<PMML version=\"4.3\"><DataDictionary><DataField name=\"x\"/></DataDictionary></PMML>", 1},
      {"rule set with rule lists pending",
       Replace(Document(Replace(kTwoLeaves, "score=\"c2\"", "score=\"zz\"") +
                        "<Node score=\"c2\"><True/></Node>"),
               "\"classification\"", "\"classification\" algorithmName=\"RuleSet\""),
       3},
      {"node statistics deep in the tree",
       Document(deep("<ScoreDistribution value=\"c1\" recordCount=\"many\"/>")), 3},
      {"simple predicate deep in the tree",
       Document(deep("<Node score=\"c1\"><SimplePredicate field=\"x\" operator=\"near\" "
                     "value=\"1\"/></Node>")),
       5},
      {"set predicate array",
       Document(deep("<Node score=\"c1\"><SimpleSetPredicate field=\"t\" booleanOperator="
                     "\"isIn\"><Array n=\"999\" type=\"string\">c1 c2</Array>"
                     "</SimpleSetPredicate></Node>")),
       12},
      {"compound predicate nesting", Document(deep(compoundTooDeep)), 5},
      {"regression node value", regression, 3},
      {"second tree of several", secondTreeBad, 8},
  };
  for (const auto& [step, xml, code] : cases) Refused(xml, code, "", step);
}

}  // namespace
