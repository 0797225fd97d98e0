// The conformance runner: its manifest, CSV and comparison rules, and the run
// of every corpus model against the agreement docs/conformance.md states.

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/RunTool.h"
#include "conformance/Conformance.h"

namespace fs = std::filesystem;
using namespace conformance;

namespace {

const std::string kManifest = DENDRIX_SOURCE_DIR "/tests/conformance/manifest.txt";
const std::string kShared = DENDRIX_SHARED_DIR;

// --- Manifest ---------------------------------------------------------------------

// A semantics block shares the files and row column of its entry, not its
// options or refusal.
TEST(Manifest, ReadsEntriesComparisonsAndRefusals) {
  const std::vector<ModelEntry> entries = ParseManifest(
      "# comment\n"
      "model a rpart\n  document d.pmml\n  input i.csv.gz\n  expected e.csv\n  rows row\n"
      "  options --upgrade-pmml --na N/A\n"
      "  refused 2 | dendrix-score: {document}: error 5: x | y\n"
      "  semantics pmml\n  compare prediction | P (y=1) | number 1e-9 given | 7/9\n"
      "  compare node_id | node_id | text | 9/9\n");
  // Each entry in one line: its fields, then each compared column.
  std::vector<std::string> got;
  for (const ModelEntry& e : entries) {
    std::ostringstream line;
    line << e.name << " " << e.corpus << " [" << e.semantics << "] " << e.document << " " << e.input
         << " " << e.expected << " rows=" << e.rowColumn << " refused=" << e.refused << " "
         << e.refusedExit << " '" << e.refusedMessage << "' options=";
    for (const std::string& option : e.options) line << option << ";";
    for (const ColumnCheck& c : e.columns) {
      line << " | " << c.ours << "/" << c.theirs << " " << c.numeric << " " << c.tolerance << " "
           << c.givenOnly << " " << c.statedAgree << "/" << c.statedTotal;
    }
    got.push_back(line.str());
  }
  EXPECT_EQ(got, (std::vector<std::string>{
                     "a rpart [] d.pmml i.csv.gz e.csv rows=row refused=1 2 "
                     "'dendrix-score: {document}: error 5: x | y' options=--upgrade-pmml;--na;N/A;",
                     "a rpart [pmml] d.pmml i.csv.gz e.csv rows=row refused=0 0 '' options= | "
                     "prediction/P (y=1) 1 1e-09 1 7/9 | node_id/node_id 0 0 0 9/9"}));
}

TEST(Manifest, MalformedEntriesNameTheirLine) {
  const std::string head = "model a rpart\n document d\n input i\n expected e\n";
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {"document d\n", "line 1: 'document' before the first model"},
      {head + " compare a | b | text | 5/4\n", "line 5: more rows agree than are compared"},
      {head + " compare a | b | text\n", "line 5: compare needs"},
      {head + " compare a | b | fuzzy | 1/1\n", "line 5: unknown comparison 'fuzzy'"},
      {head + " compare a | b | number x | 1/1\n", "line 5: bad tolerance 'x'"},
      {head + " compare a | b | text | 1-1\n", "line 5: agreement must read agree/total"},
      {head + " colour red\n", "line 5: unknown key 'colour'"},
      {head, "line 1: a needs an expected file and at least one compare"},
      {head + " compare a | b | text | 1/1\n refused 2 | m\n", "line 1: a is refused yet"},
      {"model a rpart\n input i\n refused 2 | m\n", "line 1: a has no document"},
      {head + " compare a | b | text | 1/1\n semantics\n", "line 6: semantics needs one engine"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      ParseManifest(c.text);
      ADD_FAILURE() << "accepted";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

// --- CSV and cells ----------------------------------------------------------------

TEST(Csv, QuotesLineEndsAndAMissingFinalBreak) {
  const Table table = ParseCsv("a,\"b,c\",d\r\n1,\"say \"\"hi\"\"\",\n\n\"x\ny\",,3");
  EXPECT_EQ(table.header, (std::vector<std::string>{"a", "b,c", "d"}));
  EXPECT_EQ(table.rows,
            (std::vector<std::vector<std::string>>{{"1", "say \"hi\"", ""}, {"x\ny", "", "3"}}));
}

TEST(Cells, TextIsExactAndNumbersUseARelativeTolerance) {
  const ColumnCheck text, number{"", "", true, 1e-9};
  EXPECT_TRUE(CellsAgree(text, "setosa", "setosa"));
  EXPECT_FALSE(CellsAgree(text, "15", "15.0"));
  EXPECT_TRUE(CellsAgree(number, "17", "17.0"));
  EXPECT_TRUE(CellsAgree(number, "1000000", "1000000.0009"));
  EXPECT_FALSE(CellsAgree(number, "1000000", "1000000.01"));
  EXPECT_TRUE(CellsAgree(number, "0", "1e-10")) << "absolute near zero";
  EXPECT_FALSE(CellsAgree(number, "", "0")) << "no prediction is not zero";
  EXPECT_TRUE(CellsAgree(number, "", ""));
  EXPECT_FALSE(CellsAgree(number, "nan", "nan"));
  EXPECT_FALSE(CellsAgree(number, "1x", "1")) << "trailing text is not a number";
}

// --- Comparison -------------------------------------------------------------------

// The outcome: each problem, then per column "agree/total" and its first
// differences.
TEST(Compare, FallingBelowOrMissingTheStatedFigureIsAProblem) {
  const std::string ours = "prediction,node_id\nA,1\nB,2\n", expected = "predicted,node\nA,1\nA,\n";
  const struct {
    size_t agree, total;  // stated for the prediction
    std::string rows, ours, expected, outcome;
  } cases[] = {
      {1, 2, "", ours, expected, "1/2 row 2: ours 'B', theirs 'A'; 1/1; "},
      {2, 2, "", ours, expected,
       "prediction vs predicted: 1/2 agree, stated 2/2; 1/2 row 2: ours 'B', theirs 'A'; 1/1; "},
      // Compared rows must match the stated count, or the statement is stale.
      {1, 3, "", ours, expected,
       "prediction vs predicted: 1/2 agree, stated 1/3; 1/2 row 2: ours 'B', theirs 'A'; 1/1; "},
      {1, 2, "", "prediction\nA\nB\n", expected,
       "no column 'node_id' in our output; 1/2 row 2: ours 'B', theirs 'A'; 0/0; "},
      {1, 2, "", "prediction,node_id\nA,1\n", expected,
       "we wrote 1 rows, the expected file has 2; "},
      // Expected rows name input rows 3 and 1; the node of row 1 is not asserted.
      {1, 2, "row", "prediction,node_id\nA,1\nB,2\nC,3\n", "row,predicted,node\n3,C,3\n1,B,\n",
       "1/2 row 1: ours 'A', theirs 'B'; 1/1; "},
      {1, 2, "row", ours, "row,predicted,node\n1,A,1\n5,A,\n",
       "expected row 2 names input row '5', which we did not score; "},
      {1, 2, "line", ours, expected, "the expected file has no column 'line'; "},
  };
  for (const auto& c : cases) {
    ModelEntry entry;
    entry.rowColumn = c.rows;
    entry.columns = {{"prediction", "predicted", false, 0, false, c.agree, c.total},
                     {"node_id", "node", false, 0, true, 1, 1}};
    ModelResult result;
    CompareOutputs(entry, ParseCsv(c.ours), ParseCsv(c.expected), &result);
    std::string outcome;
    for (const std::string& problem : result.problems) outcome += problem + "; ";
    for (const ColumnResult& column : result.columns) {
      outcome += std::to_string(column.agree) + "/" + std::to_string(column.total);
      for (const std::string& difference : column.firstDifferences) outcome += " " + difference;
      outcome += "; ";
    }
    EXPECT_EQ(outcome, c.outcome) << c.ours << c.expected;
  }
}

// --- The corpora ------------------------------------------------------------------

class Corpus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kShared)) GTEST_SKIP() << kShared << " is absent";
    entries_ = ParseManifest(ReadFile(kManifest));
  }

  // Runs the corpus's models; every one must meet its stated agreement (or
  // still be refused with the stated message).
  void RunCorpus(const std::string& corpus) {
    std::vector<ModelResult> results;
    for (const ModelEntry& entry : entries_) {
      if (entry.corpus == corpus)
        results.push_back(RunModel(entry, kShared, DENDRIX_BIN_DIR "/dendrix-score"));
    }
    ASSERT_FALSE(results.empty()) << "no model of " << corpus << " in the manifest";
    PrintReport(results, std::cout);
    for (const ModelResult& result : results) {
      for (const std::string& problem : result.problems)
        ADD_FAILURE() << result.entry->name << ": " << problem;
    }
  }

  std::vector<ModelEntry> entries_;
};

// Every model document in the corpus folders has an entry, so a new model
// cannot go uncompared.
TEST_F(Corpus, EveryDocumentIsInTheManifest) {
  std::set<std::string> listed;
  int native = 0;
  for (const ModelEntry& entry : entries_) {
    listed.insert(entry.document);
    native += entry.semantics.empty() ? 1 : 0;
  }
  int documents = 0;
  for (const std::string folder : {"conformance", "bench-models"}) {
    for (const auto& file : fs::recursive_directory_iterator(kShared + "/" + folder)) {
      const bool model = file.path().filename().string().find(".pmml") != std::string::npos ||
                         file.path().extension() == ".xml";
      if (!file.is_regular_file() || !model) continue;
      ++documents;
      const std::string relative = fs::relative(file.path(), kShared).string();
      EXPECT_EQ(listed.count(relative), 1u) << relative << " has no manifest entry";
    }
  }
  EXPECT_EQ(documents, native);
}

TEST_F(Corpus, RpartModelsAgreeAsStated) { RunCorpus("rpart"); }
TEST_F(Corpus, ProducerDocumentsAgreeAsStated) { RunCorpus("jpmml-knime"); }
TEST_F(Corpus, ExternalDocumentsAgreeAsStated) { RunCorpus("external"); }
TEST_F(Corpus, CurrentProducerEnsemblesAgreeAsStated) { RunCorpus("producers"); }
TEST_F(Corpus, BenchModelsAgreeAsStated) { RunCorpus("bench-models"); }

}  // namespace
