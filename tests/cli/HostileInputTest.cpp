// What a careless user or a hostile input gives the batch scorer: each case
// is files, a command line, and what must come back.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>
#include <sstream>
#include <string>

#include "RunTool.h"
#include "ToolCase.h"

namespace {

const std::string kIris = ExamplePath("iris/model.pmml");
const std::string kIrisHeader = "sepal_length,sepal_width,petal_length,petal_width";

// A regression model of `trees` trees (two or more: an ensemble) on the inputs
// named (blank-separated), every leaf scoring leafScore.
std::string RegressionModel(const std::string& inputs, int trees, const std::string& leafScore) {
  std::string mining, text = "<PMML version=\"4.3\"><DataDictionary>";
  std::istringstream names(inputs + " y");
  for (std::string name; names >> name;) {
    text += "<DataField name=\"" + name + "\" optype=\"continuous\" dataType=\"double\"/>";
    mining += "<MiningField name=\"" + name + "\" usageType=\"" +
              (name == "y" ? "predicted" : "active") + "\"/>";
  }
  text += "</DataDictionary>";
  for (int t = 0; t < trees; ++t) {
    text += "<TreeModel functionName=\"regression\"><MiningSchema>" + mining +
            "</MiningSchema><Node score=\"" + leafScore + "\"><True/></Node></TreeModel>";
  }
  return text + "</PMML>";
}

TEST(HostileInput, EachCaseEndsAsDocumented) {
  const std::string latin1Model = std::regex_replace(
      std::regex_replace(std::regex_replace(ReadFile(kIris), std::regex("UTF-8"), "ISO-8859-1"),
                         std::regex("setosa"), "s\xe9tosa"),
      std::regex("petal_length"), "petal_l\xe9ngth");
  const std::string iris = kIrisHeader + "\n5.1,3.5,1.4,0.2\n", absent = "/nonexistent/absent";
  ExpectToolCases({
      // A model, input or plug-in that cannot be read: exit 2 and one line naming
      // the file and the reason (no hint where nothing suggests one); with -o no
      // file, temporary or not, is left behind.
      {"not well-formed: line and column", "<PMML version=\"4.3\">\n  <DataDictionary>\n</PMML>\n",
       iris, "-o @out @m @in", 2, "^dendrix-score: @/m.pmml:3:", ""},
      {"no tree", "<PMML version=\"4.3\"><DataDictionary/></PMML>", iris, "-o @out @m @in", 2,
       "=dendrix-score: @/m.pmml: error 1: Node element is missing!\n", ""},
      {"absent model", "", iris, "-o @out " + absent + " @in", 2,
       "=dendrix-score: " + absent + ": No such file or directory\n", ""},
      {"absent input", "", "", "-o @out @iris " + absent, 2,
       "=dendrix-score: " + absent + ": No such file or directory\n", ""},
      // The plug-in named by the environment is loaded when --plugin is absent.
      {"plug-in", "", iris, "DENDRIX_PLUGIN=" + absent + " -o @out @iris @in", 2,
       "^dendrix-score: " + absent + ": cannot load the plug-in: ", ""},
      {"semicolons", "", "sepal_length;petal_length\n1;2\n", "@iris @in", 2,
       "holds ';': columns must be separated by commas", ""},
      {"blanks around names", "", " sepal_length, petal_length\n1,2\n", "@iris @in", 2,
       "near misses: column ' sepal_length' for 'sepal_length', column", ""},
      {"some columns match", "", "petal_length,petal_width\n1,0.2\n", "@iris @in", 0,
       "model input 'sepal_length' has no column", "setosa,"},
      {"kept column named like a score", "", "status,petal_length\nok,1\n",
       "--keep status @iris @in", 64, "'status' has the name of a score column", ""},
      {"two kept columns of one name", "", "a,a," + kIrisHeader + "\n1,2,5,3,1,0\n",
       "--keep all @iris @in", 64, "two columns named 'a' (columns 1 and 2)", ""},
      {"NUL byte", "", iris + "5,3,1,0\n" + std::string("5,3\0,1,0\n", 9), "@iris @in", 3,
       "in.csv:4: NUL byte", "setosa"},
      {"model and input swapped", "", iris, "@in @iris", 2, "the model comes first", ""},
      {"invalid byte in the model",
       "<?xml version=\"1.0\"?>\n<PMML>\n  <Header x=\"a\xff\"/></PMML>", "", "@m", 2,
       "m.pmml:3:15: invalid UTF-8 byte 0xff", ""},
      {"model over the size limit", "", "", "--max-model-size 1K @iris", 2,
       "over the limit of 1 KB (--max-model-size", ""},
      {"plug-in name without a slash", "", "", "--plugin nosuch.so @iris", 2,
       "./nosuch.so: cannot load the plug-in", ""},
      {"Latin-1 model matched and written as UTF-8", latin1Model,
       "sepal_length,sepal_width,petal_l\xc3\xa9ngth,petal_width\n5.1,3.5,1.4,0.2\n", "@m @in", 0,
       "", "probability(s\xc3\xa9tosa)"},
      {"invalid UTF-8 in a kept JSON cell", "", "id," + kIrisHeader + "\n\xff,5,3,1,0\n",
       "--format jsonl --keep id @iris @in", 0, "",
       "{\"id\":\"\xef\xbf\xbd\",\"prediction\":\"setosa\""},
      {"mean of two huge leaves", RegressionModel("x", 2, "1e308"), "x\n1\n",
       "--format jsonl @m @in", 0, "", "{\"prediction\":1e+308,"},
      {"many inputs without a column", RegressionModel("a b c d e f g h", 1, "2"), "a\n1\n",
       "@m @in", 0, "2 more model inputs have no column", "2,,"},
      {"huge text echoed in a message", RegressionModel("x", 1, std::string(100000, 'x')), "x\n1\n",
       "@m @in", 2, "more bytes)", ""},
      {"empty model file", "", "", "@m -", 2, "m.pmml is empty", ""},
  });
}

// Output through a link replaces the link's target and keeps its mode; a name
// as long as a file name may be still leaves room for the temporary name.
// Gzip input reads like the plain file.
TEST(HostileInput, OutputThroughALinkAndGzipInput) {
  TempFolder folder;
  const std::string input = folder.Write("in.csv", kIrisHeader + "\n5.1,3.5,1.4,0.2\n");
  const std::string target = folder.Write("target.csv", "old\n");
  ::chmod(target.c_str(), 0640);
  const std::string link = folder.Path() + "/link.csv";
  ASSERT_EQ(::symlink("target.csv", link.c_str()), 0);
  ASSERT_EQ(RunTool({"-o", link, kIris, input}).exitCode, 0);
  struct stat linkInfo, targetInfo;
  ASSERT_EQ(::lstat(link.c_str(), &linkInfo), 0);
  ASSERT_EQ(::stat(target.c_str(), &targetInfo), 0);
  EXPECT_TRUE(S_ISLNK(linkInfo.st_mode));
  EXPECT_EQ(targetInfo.st_mode & 07777, 0640u);
  EXPECT_EQ(Lines(ReadFile(target)).size(), 2u);
  // A failed run leaves the old file as it was (checked last), and no temporary file.
  const std::string bad = folder.Write("bad.csv", kIrisHeader + "\n1,2,3\n");
  EXPECT_EQ(RunTool({"-o", link, kIris, bad}).exitCode, 3);
  EXPECT_EQ(folder.List(),
            (std::vector<std::string>{"bad.csv", "in.csv", "link.csv", "target.csv"}));

  const std::string longName = folder.Path() + "/" + std::string(250, 'n');
  EXPECT_EQ(RunTool({"-o", longName, kIris, input}).exitCode, 0);
  EXPECT_EQ(Lines(ReadFile(longName)).size(), 2u);
  ASSERT_EQ(RunProgram({"gzip", "-k", input}).exitCode, 0);
  EXPECT_EQ(RunTool({"-o", "-", kIris, input + ".gz"}).out, ReadFile(target));
  ToolRun broken = RunTool({kIris, folder.Write("bad.csv.gz", "\x1f\x8b\x08 not gzip")});
  EXPECT_EQ(broken.exitCode, 2);
  EXPECT_NE(broken.err.find("bad.csv.gz: "), std::string::npos) << broken.err;
}

}  // namespace
