// dendrix-score --path and --render, run as a process.

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "RunTool.h"
#include "ToolCase.h"
#include "host/XmlDocument.h"

namespace {

const std::string kIrisModel = ExamplePath("iris/model.pmml");
const std::string kIrisInput = ExamplePath("iris/input.csv");

// Row 13 has no petal_width: node 4 sends it to its biggest child.
TEST(PathColumn, EndsAtTheNodeIdAndSaysHowTheCaseGotThere) {
  ExpectToolCases({
      {"text", "", "", "--path @iris @iris.csv", 0, "", ",advice,status,path\n"},
      {"row 13", "", "", "--path @iris @iris.csv", 0, "",
       ",6,0,0.9791666666666666,0.020833333333333332,104:petal_width;108:petal_width,0,1 -> "
       "3[petal_length > 2.45] -> 4[no condition applies: biggest child] -> 6[petal_length <= "
       "4.95]\n"},
      {"JSON", "", "", "--path --format jsonl @iris @iris.csv", 0, "",
       ",\"path\":[[{\"node\":\"1\",\"depth\":0,\"condition\":\"\",\"weight\":1},{\"node\":\"2\","
       "\"depth\":1,\"condition\":\"petal_length <= 2.45\",\"weight\":1}]]}\n"},
  });
}

// Checks that the SVG is well-formed and counts its node boxes, the highlighted
// boxes and edges, and the nodes said to be hidden below the boxes.
struct Drawing {
  int nodes = 0, highlighted = 0;
  long long hidden = 0;
};

Drawing ReadSvg(const std::string& svg) {
  XercesSession session;
  XmlDocument document(XmlDocument::Form::kReadOnly);
  XmlParseError error;
  EXPECT_TRUE(document.ParseMemory(svg, &error)) << error.line << ": " << error.message;
  Drawing drawing;
  const std::regex mark("<g class=\"node\"|stroke=\"#d62728\" stroke-width|\\+(\\d+) nodes below");
  for (std::sregex_iterator it(svg.begin(), svg.end(), mark), end; it != end; ++it) {
    const char first = it->str()[0];
    drawing.nodes += first == '<';
    drawing.highlighted += first == 's';
    if (first == '+') drawing.hidden += std::stoll((*it)[1]);
  }
  return drawing;
}

TEST(Render, DrawsEveryNodeOrCountsTheCutOnes) {
  TempFolder folder;
  const std::string svg = folder.Path() + "/tree.svg";
  ToolRun run = RunTool({"--render", svg, kIrisModel});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  Drawing iris = ReadSvg(ReadFile(svg));
  EXPECT_EQ(iris.nodes, 9);
  EXPECT_EQ(iris.highlighted, 0);

  // Row 13's path: four boxes and the three edges between them.
  run = RunTool({"--render", "-", "--highlight", "13", kIrisModel, kIrisInput});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadSvg(run.out).highlighted, 4 + 3);

  // The medium tree is complete to depth 4: 31 boxes, the other 974 nodes counted below them.
  const std::string mediumTree = std::string(DENDRIX_SHARED_DIR) + "/bench-models/medium-tree.pmml";
  if (!std::ifstream(mediumTree)) GTEST_SKIP() << mediumTree << " is absent";
  run = RunTool({"--render", "-", "--depth", "4", mediumTree});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  Drawing medium = ReadSvg(run.out);
  EXPECT_EQ(medium.nodes, 31);
  EXPECT_EQ(medium.nodes + medium.hidden, 1005);
}

TEST(Render, RefusesWhatItCannotDraw) {
  const std::string twoRows = "petal_length\n1\n5\n";
  ExpectToolCases({
      {"depth alone", "", "", "--depth 2 @iris", 64, "--depth needs --render\n", ""},
      {"no such tree", "", "", "--render - --tree 2 @iris", 64, "the model has 1 tree\n", ""},
      {"which row", "", twoRows, "--render - @iris @in", 64, "choose the one to draw", ""},
      {"no such row", "", twoRows, "--render - --highlight 3 @iris @in", 64, "has only 2 rows\n",
       ""},
      {"with a path", "", "", "--render - --path @iris", 64, "cannot be used with --dump", ""},
  });
}

}  // namespace
