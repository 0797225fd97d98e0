// The embedding header: documents read from a file or from text and scored
// through a Scorer; failures reach the caller with their codes.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "dendrix.h"
#include "pmml/reader_support.h"

namespace {

const std::string kIrisPath = DENDRIX_SOURCE_DIR "/examples/iris/model.pmml";

TEST(Embed, ScoresRecordsThroughTheScorer) {
  const std::unique_ptr<ScoreModel> model = dendrix::ReadModelFile(kIrisPath);
  dendrix::Scorer scorer(*model);
  const int length = scorer.Position("petal_length");
  const int width = scorer.Position("petal_width");
  ASSERT_TRUE(length >= 0 && width >= 0);
  EXPECT_EQ(scorer.Position("sepal_colour"), -1);
  EXPECT_EQ(scorer.Result(), nullptr);

  // The iris tree of examples/README.md; the last case reuses the record.
  const struct {
    double length, width;
    const char* prediction;
    const char* node;
  } cases[] = {
      {1.4, 0.2, "setosa", "2"}, {4.7, 1.4, "versicolor", "6"}, {4.8, 1.8, "virginica", "8"}};
  for (const auto& c : cases) {
    scorer.Record().SetNumber(length, c.length);
    scorer.Record().SetNumber(width, c.width);
    ASSERT_TRUE(scorer.Score().IsOK()) << c.prediction;
    EXPECT_EQ(scorer.Result()->GetPrediction()->ToString(), c.prediction);
    EXPECT_EQ(dynamic_cast<const ScoreNodeStats&>(*scorer.Result()).GetNodeID(), c.node);
  }
}

TEST(Embed, FailuresCarryTheirCodes) {
  std::ifstream in(kIrisPath);
  std::stringstream text;
  text << in.rdbuf();
  std::string unknownFunction = text.str();
  unknownFunction.insert(unknownFunction.find("</DataDictionary>") + 17,
                         "<TransformationDictionary><DerivedField name=\"d\" optype=\"continuous\" "
                         "dataType=\"double\"><Apply function=\"nosuch\"/></DerivedField>"
                         "</TransformationDictionary>");
  const std::pair<std::string, int> cases[] = {{"<PMML version=\"4.1\"", ErrorCode::kMalformed},
                                               {unknownFunction, ErrorCode::kUnsupported}};
  for (const auto& c : cases) {
    EXPECT_THAT([&] { dendrix::ReadModelText(c.first); },
                reader_test::ThrowsRefusal(c.second, ::testing::_));
  }
  EXPECT_THROW(dendrix::ReadModelFile(kIrisPath + ".missing"), VeltraException);
}

}  // namespace
