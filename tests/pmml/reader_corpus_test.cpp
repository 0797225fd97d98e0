// Documents written by other tools: the shared conformance and benchmark
// models are read into models; documents the reader cannot take are refused
// with the failure it prescribes. Skipped when the shared folder is absent.

#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "reader_support.h"

using namespace reader_test;

namespace {

// Files of folder whose names end in suffix, sorted; empty when the folder
// is absent.
std::vector<std::string> FilesEndingIn(const std::string& folder, const std::string& suffix) {
  std::vector<std::string> files;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.size() > suffix.size() &&
          name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
        files.push_back(folder + "/" + name);
      }
    }
    closedir(dir);
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The text of a file; ".gz" files are unpacked with the system gzip.
bool ReadText(const std::string& path, std::string& text) {
  const bool packed = path.size() > 3 && path.compare(path.size() - 3, 3, ".gz") == 0;
  FILE* file = packed ? popen(("gzip -dc '" + path + "'").c_str(), "r") : fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  char buffer[1 << 16];
  std::size_t n = 0;
  while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  return packed ? pclose(file) == 0 : fclose(file) == 0;
}

int CountNodes(const TreeNode* node) {
  int count = 1;
  for (int i = 0; i < node->GetChildCount(); ++i) count += CountNodes(node->GetChildAt(i));
  return count;
}

}  // namespace

TEST_F(ReaderTest, SharedDocumentsAreReadOrRefusedAsExpected) {
  const std::string rpart = DENDRIX_SHARED_DIR "/conformance/rpart";
  const std::string bench = DENDRIX_SHARED_DIR "/bench-models";
  const std::string noUsage = DENDRIX_SHARED_DIR "/conformance/jpmml-knime";
  std::vector<std::string> files = FilesEndingIn(rpart, ".pmml");
  for (const char* suffix : {".pmml", ".pmml.gz"}) {
    const std::vector<std::string> more = FilesEndingIn(bench, suffix);
    files.insert(files.end(), more.begin(), more.end());
  }
  const std::vector<std::string> unusable = FilesEndingIn(noUsage, ".pmml");
  if (files.empty() && unusable.empty()) {
    GTEST_SKIP() << "no shared model folders";
  }

  // Documents that break the reading rules, with the failure they get: a
  // field listed twice as active, forest nodes without a score, and mining
  // fields without usageType (empty message: the host's forced-read wording).
  std::map<std::string, std::pair<int, std::string>> refused = {
      {"airquality_nosurr_anova.pmml", {8, "Wind: Intersect variable role!"}},
      {"rf_iris.pmml", {1, ""}},
      {"rf_solder_reg.pmml", {1, ""}},
  };
  for (const std::string& path : unusable) {
    refused[path.substr(path.rfind('/') + 1)] = {1, ""};
  }
  files.insert(files.end(), unusable.begin(), unusable.end());

  int read = 0;
  for (const std::string& path : files) {
    std::string text;
    ASSERT_TRUE(ReadText(path, text)) << path;
    ReadOutcome outcome = Read(text);
    const auto known = refused.find(path.substr(path.rfind('/') + 1));
    if (known != refused.end()) {
      EXPECT_TRUE(outcome.failed) << path;
      EXPECT_FALSE(outcome.model) << path;
      EXPECT_EQ(outcome.code, known->second.first) << path << ": " << outcome.message;
      if (!known->second.second.empty()) {
        EXPECT_EQ(outcome.message, known->second.second) << path;
      }
      continue;
    }
    EXPECT_FALSE(outcome.failed) << path << ": code " << outcome.code << ": " << outcome.message;
    if (!outcome.model) continue;
    DendrixPMMLModel* model = outcome.Model();
    ASSERT_GE(model->GetTreeCount(), 1) << path;
    for (int t = 0; t < model->GetTreeCount(); ++t) {
      ASSERT_NE(model->GetTree(t), nullptr) << path;
    }
    if (path == bench + "/iris-tree.pmml") {
      EXPECT_EQ(CountNodes(model->GetRoot()), 15);
      EXPECT_EQ(model->GetRoot()->GetNodeStats()->GetNodeID(), "0");
      EXPECT_EQ(model->GetTargetVar()->GetName(), "species");
    }
    ++read;
  }
  std::printf("read %d of %zu shared documents\n", read, files.size());
  EXPECT_GT(read, 0);
}
