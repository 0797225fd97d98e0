// Documents written by other tools: the shared conformance and benchmark
// models are read into models; documents the reader cannot take are refused
// with the failure it prescribes.

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) {
    return files;
  }
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() > suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
      files.push_back(folder + "/" + name);
    }
  }
  closedir(dir);
  std::sort(files.begin(), files.end());
  return files;
}

bool FolderExists(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (dir != nullptr) {
    closedir(dir);
  }
  return dir != nullptr;
}

// Unpacks a gzip file into memory with the system gzip; false on failure.
bool Gunzip(const std::string& path, std::string& text) {
  const std::string command = "gzip -dc '" + path + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return false;
  }
  char buffer[1 << 16];
  std::size_t n = 0;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    text.append(buffer, n);
  }
  return pclose(pipe) == 0;
}

bool ReadFile(const std::string& path, std::string& text) {
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) {
    return false;
  }
  char buffer[1 << 16];
  std::size_t n = 0;
  while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) {
    text.append(buffer, n);
  }
  fclose(file);
  return true;
}

int CountNodes(const TreeNode* node) {
  int count = 1;
  for (int i = 0; i < node->GetChildCount(); ++i) {
    count += CountNodes(node->GetChildAt(i));
  }
  return count;
}

}  // namespace

TEST_F(ReaderTest, ConformanceAndBenchmarkDocumentsAreRead) {
  const std::string rpart = DENDRIX_SHARED_DIR "/conformance/rpart";
  const std::string bench = DENDRIX_SHARED_DIR "/bench-models";
  if (!FolderExists(rpart) && !FolderExists(bench)) {
    GTEST_SKIP() << "no shared model folders";
  }
  std::vector<std::string> plain = FilesEndingIn(rpart, ".pmml");
  const std::vector<std::string> benchPlain = FilesEndingIn(bench, ".pmml");
  plain.insert(plain.end(), benchPlain.begin(), benchPlain.end());
  const std::vector<std::string> packed = FilesEndingIn(bench, ".pmml.gz");

  // Documents that break the reading rules, with the failure they get: a
  // field listed twice as active, and forest nodes without a score.
  const std::map<std::string, std::pair<int, std::string>> refused = {
      {"airquality_nosurr_anova.pmml", {8, "Wind: Intersect variable role!"}},
      {"rf_iris.pmml", {1, ""}},  // the host's forced-read wording
      {"rf_solder_reg.pmml", {1, ""}},
  };

  int read = 0;
  int refusedCount = 0;
  auto check = [&](const std::string& path, const std::string& text) {
    ReadOutcome outcome = Read(text);
    const auto known = refused.find(path.substr(path.rfind('/') + 1));
    if (known != refused.end()) {
      EXPECT_TRUE(outcome.failed) << path;
      EXPECT_EQ(outcome.code, known->second.first) << path;
      if (!known->second.second.empty()) {
        EXPECT_EQ(outcome.message, known->second.second) << path;
      }
      std::printf("%s refused: code %d: %s\n", path.c_str(), outcome.code, outcome.message.c_str());
      ++refusedCount;
      return;
    }
    EXPECT_FALSE(outcome.failed) << path << ": code " << outcome.code << ": " << outcome.message;
    if (!outcome.model) {
      return;
    }
    DendrixPMMLModel* model = outcome.Model();
    ASSERT_GE(model->GetTreeCount(), 1) << path;
    for (int t = 0; t < model->GetTreeCount(); ++t) {
      ASSERT_NE(model->GetTree(t), nullptr) << path;
      EXPECT_GE(CountNodes(model->GetTree(t)), 1) << path;
    }
    ++read;
  };
  for (const std::string& path : plain) {
    std::string text;
    ASSERT_TRUE(ReadFile(path, text)) << path;
    check(path, text);
  }
  for (const std::string& path : packed) {
    std::string text;
    ASSERT_TRUE(Gunzip(path, text)) << path;
    check(path, text);
  }
  EXPECT_EQ(read + refusedCount, static_cast<int>(plain.size() + packed.size()));
  std::printf("read %d shared documents\n", read);
}

TEST_F(ReaderTest, BenchmarkTreesKeepTheirShape) {
  const std::string path = DENDRIX_SHARED_DIR "/bench-models/iris-tree.pmml";
  std::string text;
  if (!ReadFile(path, text)) {
    GTEST_SKIP() << "no " << path;
  }
  ReadOutcome outcome = ReadOk(text);
  ASSERT_TRUE(outcome.model);
  // 15 nodes; the root is scikit-learn's node 0.
  EXPECT_EQ(CountNodes(outcome.Model()->GetRoot()), 15);
  EXPECT_EQ(outcome.Model()->GetRoot()->GetNodeStats()->GetNodeID(), "0");
  EXPECT_EQ(outcome.Model()->GetTargetVar()->GetName(), "species");
}

TEST_F(ReaderTest, DocumentsWithoutUsageTypesAreRefused) {
  const std::string folder = DENDRIX_SHARED_DIR "/conformance/jpmml-knime";
  const std::vector<std::string> files = FilesEndingIn(folder, ".pmml");
  if (files.empty()) {
    GTEST_SKIP() << "no " << folder;
  }
  for (const std::string& path : files) {
    std::string text;
    ASSERT_TRUE(ReadFile(path, text)) << path;
    ReadOutcome outcome = Read(text);
    EXPECT_TRUE(outcome.failed) << path;
    EXPECT_FALSE(outcome.model) << path;
    // Their mining fields carry no usageType: the forced attribute read fails.
    EXPECT_EQ(outcome.code, 1) << path << ": " << outcome.message;
    std::printf("%s: code %d: %s\n", path.substr(folder.size() + 1).c_str(), outcome.code,
                outcome.message.c_str());
  }
}
