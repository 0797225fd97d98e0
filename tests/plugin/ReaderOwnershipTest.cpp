// Who frees what when reading fails at any allocation, and the record-layout
// check of debug builds.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "host/PluginExport.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreModel.h"
#include "host/ScoreResult.h"
#include "host/XmlDocument.h"
#include "pmml/DendrixPMMLTranslator.h"

// Every allocation of the process is counted (the plug-in's too: the
// replacement is exported); while failAfter is positive, the allocation that
// brings it to zero throws std::bad_alloc. Not inlined, so that the compiler
// does not pair a new with a free.
namespace {
std::atomic<long> liveBlocks{0};
std::atomic<long> failAfter{0};
}  // namespace

__attribute__((visibility("default"), noinline)) void* operator new(std::size_t size) {
  if (failAfter > 0 && --failAfter == 0) throw std::bad_alloc();
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  ++liveBlocks;
  return block;
}
__attribute__((visibility("default"), noinline)) void operator delete(void* block) noexcept {
  if (block == nullptr) return;
  --liveBlocks;
  std::free(block);
}
__attribute__((visibility("default"))) void operator delete(void* block, std::size_t) noexcept {
  operator delete(block);
}

namespace {

// The PMML example and the older layout's example.
class ReaderOwnership : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        document_.ParseFile(std::string(DENDRIX_SOURCE_DIR "/examples/") + GetParam(), nullptr));
  }
  ScoreModel* Read() {
    std::unique_ptr<ScoreTranslator> translator(GiveMyTranslator());
    return translator->ParseFromTree(document_.GetDocument(), "UTF-8");
  }
  XercesSession session_;
  XmlDocument document_;
};

TEST_P(ReaderOwnership, EveryFailedAllocationWhileReadingReleasesEverything) {
  delete Read();  // warms the caches that live as long as the process
  const long before = liveBlocks;
  delete GiveMyTranslator();  // never read: its model goes with it
  EXPECT_EQ(liveBlocks, before);

  int failures = 0;
  for (long n = 1;; ++n) {
    ScoreTranslator* translator = GiveMyTranslator();
    ASSERT_NE(translator, nullptr);
    ScoreModel* model = nullptr;
    failAfter = n;
    try {
      model = translator->ParseFromTree(document_.GetDocument(), "UTF-8");
    } catch (...) {
      ++failures;
    }
    failAfter = 0;
    delete translator;
    delete model;
    ASSERT_EQ(liveBlocks, before) << "allocation " << n << " failed";
    if (model != nullptr) break;
  }
  EXPECT_GT(failures, 100);
}

TEST_P(ReaderOwnership, DebugBuildsRefuseASecondRecordLayout) {
#ifdef NDEBUG
  GTEST_SKIP() << "the check is compiled into debug builds only";
#else
  std::unique_ptr<ScoreModel> model(Read());
  std::vector<std::string> names;
  for (const ScoreDictVar* var : model->GetDictionary()->GetVars()) names.push_back(var->GetName());
  IndexedCaseRecord first(names);
  IndexedCaseRecord same(names);
  std::vector<std::string> reversed(names.rbegin(), names.rend());
  IndexedCaseRecord other(reversed);
  ScoreResult* result = nullptr;
  model->GetScore(&first, result, false);
  model->GetScore(&same, result, false);
  EXPECT_DEATH(model->GetScore(&other, result, false), "indexed record with another layout");
  delete result;
#endif
}

INSTANTIATE_TEST_SUITE_P(Examples, ReaderOwnership,
                         ::testing::Values("credit/model.pmml", "legacy/model.xml"));

}  // namespace
