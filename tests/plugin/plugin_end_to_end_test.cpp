// The plug-in as a host uses it: load the library, get a translator through
// the exported entry point, read a document, score cases, release everything.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/ScoreCaseRecord.h"
#include "host/ScoreModel.h"
#include "host/ScoreResult.h"
#include "host/ScoreTranslator.h"
#include "host/VeltraException.h"
#include "host/XmlDocument.h"

namespace {

using EntryPoint = ScoreTranslator* (*)();

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = dlopen(DENDRIX_BIN_DIR "/libdendrix_plugin.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library_, nullptr) << dlerror();
    entry_ = reinterpret_cast<EntryPoint>(dlsym(library_, "GiveMyTranslator"));
    ASSERT_NE(entry_, nullptr) << dlerror();
  }
  void TearDown() override {
    if (library_ != nullptr) {
      dlclose(library_);
    }
  }

  // Reads a test document through a fresh translator, which is destroyed
  // before the model is used: the model must stand on its own.
  std::unique_ptr<ScoreModel> Load(const std::string& file) {
    XmlDocument document;
    XmlParseError error;
    const std::string path = std::string(DENDRIX_TEST_DATA_DIR "/pmml/") + file;
    if (!document.ParseFile(path, &error)) {
      ADD_FAILURE() << path << ": " << error.message;
      return nullptr;
    }
    std::unique_ptr<ScoreTranslator> translator(entry_());
    if (!translator) {
      ADD_FAILURE() << "no translator";
      return nullptr;
    }
    try {
      return std::unique_ptr<ScoreModel>(
          translator->ParseFromTree(document.GetDocument(), document.GetEncoding()));
    } catch (const VeltraException& e) {
      ADD_FAILURE() << path << ": code " << e.GetCode() << ": " << e.GetMessage();
      return nullptr;
    }
  }

  XercesSession session_;
  void* library_ = nullptr;
  EntryPoint entry_ = nullptr;
};

struct Answer {
  std::string prediction;
  std::string nodeId;
  double confidence;
};

Answer Score(ScoreModel* model, const ScoreCaseRecord& record, ScoreResult*& result) {
  const VorqScore::VorqStatus status = model->GetScore(&record, result, false);
  EXPECT_TRUE(status.IsOK());
  Answer answer{"(none)", "", -1.0};
  if (result == nullptr) {
    return answer;
  }
  if (result->GetPrediction() != nullptr) {
    answer.prediction = result->GetPrediction()->ToString();
  }
  if (const auto* stats = dynamic_cast<const ScoreNodeStats*>(result)) {
    answer.nodeId = stats->GetNodeID();
  }
  answer.confidence = result->GetConfidence();
  return answer;
}

}  // namespace

TEST_F(PluginTest, ClassificationDocumentScoresCases) {
  std::unique_ptr<ScoreModel> model = Load("small_iris_tree.pmml");
  ASSERT_TRUE(model);
  EXPECT_EQ(model->GetModelType(), ScoreModel::kSingleTree);
  EXPECT_EQ(model->GetTargetVar()->GetName(), "species");

  struct Case {
    double length;
    double width;
    Answer expected;
  };
  // Leaf confidences (c + 1) / (N + K) with K = 3 listed categories.
  const std::vector<Case> cases = {
      {1.4, 0.2, {"setosa", "1", 51.0 / 53.0}},     {2.45, 3.0, {"setosa", "1", 51.0 / 53.0}},
      {4.5, 1.5, {"versicolor", "3", 50.0 / 57.0}}, {5.5, 1.75, {"versicolor", "3", 50.0 / 57.0}},
      {6.0, 2.1, {"virginica", "4", 46.0 / 49.0}},
  };
  IndexedCaseRecord indexed({"petal_width", "species", "petal_length"});
  NamedCaseRecord named;
  ScoreResult* result = nullptr;
  for (const Case& c : cases) {
    indexed.SetNumber(2, c.length);
    indexed.SetNumber(0, c.width);
    named.SetNumber("petal_length", c.length);
    named.SetNumber("petal_width", c.width);
    for (const ScoreCaseRecord* record : std::vector<const ScoreCaseRecord*>{&indexed, &named}) {
      const Answer answer = Score(model.get(), *record, result);
      EXPECT_EQ(answer.prediction, c.expected.prediction) << c.length << " " << c.width;
      EXPECT_EQ(answer.nodeId, c.expected.nodeId) << c.length << " " << c.width;
      EXPECT_NEAR(answer.confidence, c.expected.confidence, 1e-12) << c.length << " " << c.width;
    }
  }
  // A missing split value with no missing-value child goes to the biggest
  // child (node 2) and on down.
  indexed.SetNull(2);
  indexed.SetNumber(0, 1.0);
  EXPECT_EQ(Score(model.get(), indexed, result).nodeId, "3");
  delete result;
}
