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

// A document-level cost matrix with one cell: predicting c0 for c1 costs 5.
const std::string kCosts =
    "<Extension><X-MisclassificationCost><X-PredictedValue type=\"A\">c0</X-PredictedValue>"
    "<X-ActualValue type=\"A\">c1</X-ActualValue><X-Cost>5</X-Cost></X-MisclassificationCost>"
    "</Extension>";

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
    const int limit = count - 1;
    EXPECT_THAT([&] { CheckTreeNodeCount(document.GetDocument(), limit); },
                reader_test::ThrowsRefusal(5, "Documents with more than " + std::to_string(limit) +
                                                  " tree nodes are not supported!"));
  }
}

// Memory grows with the categories, not with their square.
TEST_F(HostileDocuments, ManyTargetCategoriesCostLinearMemory) {
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  std::unique_ptr<ScoreModel> model = ReadOk(Document(kTwoLeaves, Values(20000))).model;
  NamedCaseRecord record;
  record.SetNumber("x", 0.5);
  ScoreResult* result = nullptr;
  ASSERT_TRUE(model->GetScore(&record, result, false).IsOK() && result);
  EXPECT_EQ(result->GetPrediction()->ToString(), "c1");
  delete result;
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 256L * 1024);  // kilobytes
}

// Their time is in bench/bench_hostile.cpp.
TEST_F(HostileDocuments, LongListsAreRead) {
  const int n = 40000;
  std::string elements, fields;
  for (int i = 0; i < n; ++i) {
    elements += "c" + std::to_string(i) + " ";
    fields += "<DataField name=\"f" + std::to_string(i) +
              "\" optype=\"continuous\" dataType=\"double\"/>";
  }
  const auto set = [&](const std::string& op) {
    return "<Node score=\"c1\"><SimpleSetPredicate field=\"t\" booleanOperator=\"" + op +
           "\"><Array n=\"" + std::to_string(n) + "\" type=\"string\">" + elements +
           "</Array></SimpleSetPredicate></Node>" + kSecondLeaf;
  };
  std::string manyFields = Document(kTwoLeaves);
  manyFields.insert(manyFields.find("</DataDictionary>"), fields);
  for (const std::string& xml :
       {Document(set("isIn"), Values(n)), Document(set("isNotIn"), Values(n + 1)), manyFields}) {
    ReadOk(xml);
  }
}

TEST_F(HostileDocuments, CostsOverTooManyCategoriesAreRefused) {
  ReadOk(Document(kTwoLeaves, Values(kMaxCostCategories), kCosts));
  Refused(Document(kTwoLeaves, Values(kMaxCostCategories + 1), kCosts), 5,
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
      EXPECT_THAT(
          [&] {
            delete (overload == 0 ? translator->ParseFromTree(path, "")
                                  : translator->ParseFromTree(in, ""));
          },
          reader_test::ThrowsRefusal(1, ::testing::Not(::testing::HasSubstr("PLUGIN-SECRET"))))
          << xml.substr(0, 80);
    }
  }
}

// One failure at each reading step the reader and embedding tests leave out;
// under the sanitizer build a leak on any of these paths fails the run.
TEST_F(HostileDocuments, EveryReadingStepReleasesEverythingOnFailure) {
  using namespace reader_test;
  using reader_test::Document;
  const std::string kTrue = "<True/>";
  const auto deep = [&](const std::string& inner) {
    return Document(
        TreeModel(ClsNode("A", ClsNode("A", Simple("x", "lessThan", "1") +
                                                ClsNode("A", kTrue + ClsNode("B", kTrue + inner))) +
                                   ClsNode("B", kTrue))));
  };
  const std::string compoundTooDeep = Repeat("<CompoundPredicate booleanOperator=\"and\">", 1001) +
                                      kTrue + kTrue + Repeat(kTrue + "</CompoundPredicate>", 1001);
  // The step, a document failing there and the code.
  const std::vector<std::tuple<std::string, std::string, int>> cases = {
      {"data dictionary",
       "<PMML version=\"4.3\"><DataDictionary><DataField name=\"x\"/></DataDictionary></PMML>", 1},
      {"rule set with rule lists pending",
       Document(TreeModel(ClsNode("A", ClsNode("A", Simple("x", "lessThan", "1")) +
                                           ClsNode("Z", kTrue) + ClsNode("B", kTrue)),
                          "algorithmName=\"RuleSet\"")),
       3},
      {"node statistics deep in the tree", deep(Dist("A", "many")), 3},
      {"simple predicate deep in the tree", deep(ClsNode("A", Simple("x", "near", "1"))), 5},
      {"set predicate array",
       deep(ClsNode("A", SetPred("color", "isIn", "n=\"999\" type=\"string\"", "red blue"))), 12},
      {"compound predicate nesting", deep(ClsNode("A", compoundTooDeep)), 5},
      {"regression node value",
       Document(TreeModel(ClsNode("2", ClsNode("oops", kTrue)), "", Schema("amount", {"x"}))), 3},
      {"second tree of several",
       Document(TreeModel(ClsNode("A", kTrue)) +
                TreeModel(ClsNode("A", ClsNode("A", Simple("nowhere", "equal", "1"))))),
       8},
  };
  for (const auto& [step, xml, code] : cases) Refused(xml, code, "", step);
}

}  // namespace
