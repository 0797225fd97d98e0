// Black-box tests of dendrix-score: the built tool is run as a process.

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <regex>

#include "RunTool.h"
#include "ToolCase.h"
#include "host/XmlDocument.h"

namespace {

const std::string kIrisModel = ExamplePath("iris/model.pmml");
const std::string kIrisInput = ExamplePath("iris/input.csv");
const std::string kCreditModel = ExamplePath("credit/model.pmml");

const std::string kIrisHeader =
    "prediction,confidence,node_id,probability(setosa),probability(versicolor),"
    "probability(virginica),advice,status";

// A small iris input: one row per case, columns in the model's names.
std::string IrisCsv(const std::vector<std::string>& rows) {
  std::string text = "sepal_length,sepal_width,petal_length,petal_width\n";
  for (const std::string& row : rows) text += row + "\n";
  return text;
}

// --- CSV input ---------------------------------------------------------------------

// Malformed input stops the run with exit 3 and a message naming the line
// (counting line breaks inside quotes); the rows before it are written. The
// reader's own tests cover the size limits.
TEST(CsvInput, ReadLikePlainCsvOrNameTheBadLine) {
  const std::string dressed =
      "\xEF\xBB\xBF\"name\",petal_length,\"petal_width\",sepal_length,sepal_width\r\n\r\n"
      "\"a, \"\"quoted\"\"\nnote\",\"1.4\",0.2,5,3\r\n\nb,4.7,\"1.4\",7,3";
  const std::string scores =
      "=name,petal_width," + kIrisHeader +
      "\n\"a, \"\"quoted\"\"\nnote\",0.2,setosa,0.9622641509433962,2,1,0,0,,0\nb,1.4,versicolor,"
      "0.9411764705882353,6,0,0.9791666666666666,0.020833333333333332,,0\n";
  const std::string header = "=" + kIrisHeader + "\n";
  const std::string twoRows = header +
                              "setosa,0.9622641509433962,2,1,0,0,,0\nversicolor,"
                              "0.9411764705882353,6,0,0.9791666666666666,0.020833333333333332,,0\n";
  ExpectToolCases({
      {"open quote", "", IrisCsv({"5.1,3.5,1.4,0.2", "7.0,3.2,4.7,1.4", "6.3,\"3.3,6.0,2.5"}),
       "@iris @in", 3, "^dendrix-score: @/in.csv:4: unterminated quoted cell", twoRows},
      {"cell count", "",
       "sepal_length,sepal_width,petal_length,petal_width,note\n5.1,3.5,1.4,0.2,a\n"
       "7.0,3.2,4.7,1.4,\"two\nlines\"\n6.3,3.3,6.0,2.5\n",
       "@iris @in", 3, "^dendrix-score: @/in.csv:5: row has 4 cells, the header has 5\n", twoRows},
      {"stray quote", "", IrisCsv({"5.1,3\"5,1.4,0.2"}), "@iris @in", 3,
       "^dendrix-score: @/in.csv:2: quote inside an unquoted cell", header},
      {"text after quote", "", IrisCsv({"5.1,\"3.5\"x,1.4,0.2"}), "@iris @in", 3,
       "^dendrix-score: @/in.csv:2: text after the closing quote of a cell\n", header},
      {"empty", "", "", "@iris @in", 3, "^dendrix-score: @/in.csv:1: no header row", "="},
      {"into a new file", "", IrisCsv({"5.1,3.5,1.4,0.2", "1,2,3"}), "-o @out @iris @in", 3,
       "^dendrix-score: @/in.csv:3: row has 3 cells", "="},
      // Quoting, CRLF, a BOM, empty lines and no final line break read like plain
      // CSV, from a file, "-" or absent input (standard input); kept cells keep
      // their text and are quoted when needed.
      {"file", "", dressed, "--keep name,petal_width @iris @in", 0, "", scores},
      {"standard input", "", dressed, "--keep name,petal_width @iris -", 0, "", scores},
      {"no input", "", dressed, "--keep name,petal_width @iris", 0, "", scores},
  });
}

// --- Input values --------------------------------------------------------------------

TEST(InputValues, MissingTokensAndNonNumbers) {
  // NA: no value (advice 104), the biggest child is taken. Text that is not a
  // number is the system-missing number (advice 106). The record's own test
  // covers empty cells.
  const std::string shares = ",6,0,0.9791666666666666,0.020833333333333332,";
  const std::string noValue =
      "\nversicolor,0.8470588235294118" + shares + "104:petal_width;108:petal_width,0\n";
  const std::string notNumber =
      "\nversicolor,0.8470588235294118" + shares + "106:petal_width;108:petal_width,0\n";
  ExpectToolCases({
      {"NA", "", IrisCsv({"6.1,3.0,4.9,NA"}), "@iris @in", 0, "", noValue},
      {"text", "", IrisCsv({"6.1,3.0,4.9,wide"}), "@iris @in", 0, "", notNumber},
      // --na replaces the set: NA is then text, each token given is missing.
      {"NA replaced", "", IrisCsv({"6.1,3.0,4.9,NA"}), "--na ? @iris @in", 0, "", notNumber},
      {"two tokens", "", IrisCsv({"6.1,3.0,4.9,none"}), "--na ? --na none @iris @in", 0, "",
       noValue},
      // "Employed" is not a category (case matters): advice 105, surrogate used.
      {"an unknown category", "", "income,age,employment,housing\n20000,30,Employed,rent\n",
       "@credit @in", 0, "",
       "\nbad,0.6107142857142858,low-income-unstable,0.32,0.68,105:employment;107:housing,0\n"},
      // Of two columns of one name the first is read.
      {"duplicate names", "",
       "petal_length,petal_width,petal_length,sepal_length,sepal_width\n1.0,0.2,6.0,1,1\n",
       "@iris @in", 0, "", "\nsetosa,"},
  });
}

// --- Options ---------------------------------------------------------------------------

// Kept columns come first. Rows 13 and 14 of the iris input have no
// petal_width. JSON lines have the CSV keys, typed values and null where CSV
// has an empty cell. The example rule set scored first-hit: c02 takes a rule,
// c03 none.
TEST(Options, OutputColumnsAndRowsFollowTheOptions) {
  const std::string firstHit =
      std::regex_replace(ReadFile(ExamplePath("ruleset/model.pmml")),
                         std::regex("value=\"voting\""), "value=\"firstHit\"");
  ExpectToolCases({
      {"keep all", "", "", "--keep all @iris @iris.csv", 0, "",
       "flower,sepal_length,sepal_width,petal_length,petal_width," + kIrisHeader +
           "\nf01,5.1,3.5,1.4,0.2,setosa,"},
      {"unknown kept column", "", "", "--keep flower,colour @iris @iris.csv", 64, "'colour'", ""},
      {"first line, no header", "", "", "--format jsonl --keep flower @iris @iris.csv", 0, "",
       "^{\"flower\":\"f01\",\"prediction\":\"setosa\",\"confidence\":0.9622641509433962,"
       "\"node_id\":\"2\",\"probability(setosa)\":1,\"probability(versicolor)\":0,"
       "\"probability(virginica)\":0,\"advice\":\"\",\"status\":0}\n"},
      {"failed row", "", "", "--format jsonl --null-handling @iris @iris.csv", 0, "",
       "\n{\"prediction\":null,\"confidence\":null,\"node_id\":\"-1\""},
      {"regression", "", "", "--format=jsonl @regression @regression.csv", 0, "",
       "\n{\"prediction\":223846.15,\"std_dev\":null,\"node_id\":\"7\",\"advice\":\"\","
       "\"status\":0}\n"},
      {"scored", "", "", "--null-handling @iris @iris.csv", 0, "",
       "^" + kIrisHeader + "\nsetosa,0.9622641509433962,2,1,0,0,,0\n"},
      {"stopped", "", "", "--null-handling @iris @iris.csv", 0, "", "\n,,-1,,,,,90027\n"},
      {"prediction only", "", "", "--prediction-only @iris @iris.csv", 0, "",
       "^" + kIrisHeader + "\nsetosa,0.9622641509433962,2,,,,,0\n"},
      // The path column ends at the node id; node 4 sends row 13 to its biggest child.
      {"path header", "", "", "--path @iris @iris.csv", 0, "", ",advice,status,path\n"},
      {"path of row 13", "", "", "--path @iris @iris.csv", 0, "",
       ",6,0,0.9791666666666666,0.020833333333333332,104:petal_width;108:petal_width,0,1 -> "
       "3[petal_length > 2.45] -> 4[no condition applies: biggest child] -> 6[petal_length <= "
       "4.95]\n"},
      {"path in JSON", "", "", "--path --format jsonl @iris @iris.csv", 0, "",
       ",\"path\":[[{\"node\":\"1\",\"depth\":0,\"condition\":\"\",\"weight\":1},{\"node\":\"2\","
       "\"depth\":1,\"condition\":\"petal_length <= 2.45\",\"weight\":1}]]}\n"},
      {"first hit", firstHit, "", "--keep customer @m @ruleset.csv", 0, "",
       "\nc02,basic,0.7960526315789473,R3,,,,,0\nc03,basic,0.5,-1,,,,,0\n"},
  });
}

TEST(Options, DescribeListsKindTargetVariablesAndTreeSizes) {
  ExpectToolCases({
      {"variables", "", "", "--describe @iris", 0, "",
       "\ntarget: species (nominal, string; classification)\ncategories: 3\n  setosa\n  "
       "versicolor\n  virginica\ninputs: 4\n  sepal_length (continuous, numeric)\n"},
      {"tree size", "", "", "--describe @iris", 0, "", "\n  tree 1: 9 nodes, 5 leaves, depth 3\n"},
      {"other fields", "", "", "--describe @ensemble", 0, "",
       "\nother fields: 1\n  temperature (continuous, numeric)\nunused fields: 0\ntrees: 3\n"},
      {"rule set", "", "", "--describe @ruleset", 0, "", "^kind: rule set"},
      {"regression", "", "", "--describe @regression", 0, "",
       "\ntarget: price (continuous, numeric; regression)\n"},
      // --dump and --help print too.
      {"dump", "", "", "--dump @iris", 0, "", "^Start Display DendrixPMMLModel: \n\n"},
      {"help", "", "", "--help", 0, "", "--threads N"},
  });
}

TEST(Options, BadCommandLinesExitWith64) {
  const std::string twoRows = "petal_length\n1\n5\n";
  const std::string usage = "\nUsage: dendrix-score [OPTIONS] MODEL [INPUT]\n";
  ExpectToolCases({
      {"no model", "", "", "", 64, usage, ""},
      {"unknown option", "", "", "--frobnicate @iris", 64,
       "dendrix-score: unknown option '--frobnicate'" + usage, ""},
      {"no threads", "", "", "--threads 0 @iris", 64, usage, ""},
      {"unknown format", "", "", "--format xml @iris", 64, usage, ""},
      {"an extra argument", "", "", "@iris @iris.csv extra", 64, usage, ""},
      {"no keep list", "", "", "--keep", 64, usage, ""},
      {"dump and describe", "", "", "--dump --describe @iris", 64, usage, ""},
      {"value for a flag", "", "", "--prediction-only=yes @iris", 64, usage, ""},
      // What --render cannot draw.
      {"depth alone", "", "", "--depth 2 @iris", 64, "--depth needs --render\n", ""},
      {"no such tree", "", "", "--render - --tree 2 @iris", 64, "the model has 1 tree\n", ""},
      {"which row", "", twoRows, "--render - @iris @in", 64, "choose the one to draw", ""},
      {"no such row", "", twoRows, "--render - --highlight 3 @iris @in", 64, "has only 2 rows\n",
       ""},
      {"with a path", "", "", "--render - --path @iris", 64, "cannot be used with --dump", ""},
  });
}

TEST(Options, ProgressLineGoesToStandardErrorOnTerminalsOrOnRequest) {
  ToolRun progress = RunTool({"--progress", kIrisModel, kIrisInput});
  EXPECT_TRUE(std::regex_search(progress.err, std::regex("\\rdendrix-score: .*16 rows\n$")))
      << progress.err;

  // About 9 MB: over the size from which a terminal gets a progress line.
  TempFolder folder;
  std::string csv = "flower,sepal_length,sepal_width,petal_length,petal_width,note\n";
  const std::string note(1000, 'x');
  for (int i = 0; i < 9000; ++i) csv += "f,5.1,3.5,1.4,0.2," + note + "\n";
  const std::string large = folder.Write("large.csv", csv);

  ToolRun shown = RunToolWithTerminal({kIrisModel, large});
  ASSERT_EQ(shown.exitCode, 0) << shown.err;
  EXPECT_TRUE(std::regex_search(shown.err, std::regex("dendrix-score: .*9000 rows"))) << shown.err;
  EXPECT_EQ(RunToolWithTerminal({"--no-progress", kIrisModel, large}).err, "");
  EXPECT_EQ(RunToolWithTerminal({kIrisModel, kIrisInput}).err, "");  // a small file
  EXPECT_EQ(RunTool({kIrisModel, large}).err, "");                   // not a terminal
}

// --- Pictures ---------------------------------------------------------------

// Parses the SVG and counts its node boxes, highlighted boxes and edges, and
// the nodes said to be hidden below the boxes.
using Drawing = std::array<long long, 3>;
Drawing ReadSvg(const std::string& svg) {
  XercesSession session;
  XmlDocument document(XmlDocument::Form::kReadOnly);
  XmlParseError error;
  EXPECT_TRUE(document.ParseMemory(svg, &error)) << error.line << ": " << error.message;
  Drawing drawing{};
  const std::regex mark("<g class=\"node\"|stroke=\"#d62728\" stroke-width|\\+(\\d+) nodes below");
  for (std::sregex_iterator it(svg.begin(), svg.end(), mark), end; it != end; ++it) {
    const char first = it->str()[0];
    drawing[first == '<' ? 0 : first == 's' ? 1 : 2] += first == '+' ? std::stoll((*it)[1]) : 1;
  }
  return drawing;
}

TEST(Render, DrawsEveryNodeOrCountsTheCutOnes) {
  TempFolder folder;
  const std::string svg = folder.Path() + "/tree.svg";
  EXPECT_EQ(ReadSvg(RunTool({"--render", "-", kIrisModel}).out), (Drawing{9, 0, 0}));
  // Row 13's path: four boxes and the three edges between them.
  ASSERT_EQ(RunTool({"--render", svg, "--highlight", "13", kIrisModel, kIrisInput}).exitCode, 0);
  EXPECT_EQ(ReadSvg(ReadFile(svg)), (Drawing{9, 4 + 3, 0}));
  // The medium tree is complete to depth 4: 31 boxes, the other 974 nodes counted below them.
  const std::string mediumTree = std::string(DENDRIX_SHARED_DIR) + "/bench-models/medium-tree.pmml";
  if (!std::ifstream(mediumTree)) GTEST_SKIP() << mediumTree << " is absent";
  EXPECT_EQ(ReadSvg(RunTool({"--render", "-", "--depth", "4", mediumTree}).out),
            (Drawing{31, 0, 974}));
}

// --- Threads ----------------------------------------------------------------------------

// Workers score chunks; the rows are written in input order, and an error in
// a later chunk names its line. The input repeats the credit example's rows
// (numbers, empty cells, NA) with a row number in front.
TEST(Threads, TwoThreadsWriteExactlyWhatOneWrites) {
  TempFolder folder;
  const std::vector<std::string> example = Lines(ReadFile(ExamplePath("credit/input.csv")));
  std::string rows = "id" + example[0].substr(example[0].find(',')) + "\n";
  for (int i = 0; i < 100000; ++i) rows += std::to_string(i) + example[1 + i % 12].substr(3) + "\n";
  const std::string input = folder.Write("big.csv", rows);
  ToolRun one = RunTool({"--threads", "1", "--keep", "id", kCreditModel, input});
  ToolRun two = RunTool({"--threads", "2", "--keep", "id", kCreditModel, input});
  ASSERT_EQ(one.exitCode, 0) << one.err;
  ASSERT_EQ(Lines(one.out).size(), 100001u);
  EXPECT_EQ(Lines(one.out)[100000].rfind("99999,", 0), 0u);
  EXPECT_TRUE(one.out == two.out) << "outputs differ";

  const size_t cut = rows.find("\n60000,") + 1;
  const std::string bad =
      folder.Write("bad.csv", rows.substr(0, cut) + "1,2,3\n" + rows.substr(cut));
  ToolRun run = RunTool({"--threads", "3", kCreditModel, bad});
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_EQ(run.err, "dendrix-score: " + bad + ":60002: row has 3 cells, the header has 5\n");
  EXPECT_EQ(Lines(run.out).size(), 60001u);
}

}  // namespace
