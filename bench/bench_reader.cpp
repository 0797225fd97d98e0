// Reading the large benchmark documents: the XML parse, the model reading
// (ParseFromTree) and both together, each timed on its own, with the parser's
// own DOM ("editable") and the compact read-only DOM ("readonly").

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "host/ScoreModel.h"
#include "host/VeltraException.h"
#include "host/XmlDocument.h"
#include "pmml/DendrixPMMLTranslator.h"

namespace {

// Unpacks folder/name.gz into dir/name with the system gzip.
bool Gunzip(const std::string& source, const std::string& target) {
  if (access(source.c_str(), R_OK) != 0) {
    return false;
  }
  const std::string command = "gzip -dc '" + source + "' > '" + target + "'";
  return std::system(command.c_str()) == 0;
}

using Form = XmlDocument::Form;

std::unique_ptr<XmlDocument> Parse(const std::string& path, Form form, benchmark::State& state) {
  auto document = std::make_unique<XmlDocument>(form);
  XmlParseError error;
  if (!document->ParseFile(path, &error)) {
    state.SkipWithError(("parse failed: " + error.message).c_str());
    return nullptr;
  }
  return document;
}

// Reads the model; false (and the benchmark stopped) on a refusal.
bool ReadModel(const XmlDocument& document, benchmark::State& state) {
  DendrixPMMLTranslator translator;
  try {
    std::unique_ptr<ScoreModel> model(
        translator.ParseFromTree(document.GetDocument(), document.GetEncoding()));
    state.PauseTiming();
    model.reset();
    state.ResumeTiming();
    return true;
  } catch (const VeltraException& e) {
    state.SkipWithError(("read failed: " + e.GetMessage()).c_str());
    return false;
  }
}

void BM_XmlParse(benchmark::State& state, const std::string& path, Form form) {
  for (auto _ : state) {
    std::unique_ptr<XmlDocument> document = Parse(path, form, state);
    if (!document) {
      break;
    }
    state.PauseTiming();
    document.reset();
    state.ResumeTiming();
  }
}

void BM_ModelRead(benchmark::State& state, const std::string& path, Form form) {
  for (auto _ : state) {
    state.PauseTiming();
    std::unique_ptr<XmlDocument> document = Parse(path, form, state);
    state.ResumeTiming();
    if (!document || !ReadModel(*document, state)) {
      break;
    }
    state.PauseTiming();
    document.reset();
    state.ResumeTiming();
  }
}

void BM_ParseAndRead(benchmark::State& state, const std::string& path, Form form) {
  for (auto _ : state) {
    std::unique_ptr<XmlDocument> document = Parse(path, form, state);
    if (!document || !ReadModel(*document, state)) {
      break;
    }
    state.PauseTiming();
    document.reset();
    state.ResumeTiming();
  }
}

}  // namespace

int main(int argc, char** argv) {
  XercesSession session;
  char folderTemplate[] = "/tmp/dendrix-bench-reader-XXXXXX";
  const char* folder = mkdtemp(folderTemplate);
  std::vector<std::string> unpacked;
  if (folder != nullptr) {
    for (const std::string name : {"deep-tree.pmml", "forest-100.pmml"}) {
      const std::string target = std::string(folder) + "/" + name;
      if (!Gunzip(DENDRIX_SHARED_DIR "/bench-models/" + name + ".gz", target)) {
        std::fprintf(stderr, "skipping %s: not available\n", name.c_str());
        std::remove(target.c_str());
        continue;
      }
      unpacked.push_back(target);
      const std::string stem = name.substr(0, name.size() - 5);
      for (Form form : {Form::kEditable, Form::kReadOnly}) {
        const std::string suffix = stem + (form == Form::kEditable ? "/editable" : "/readonly");
        benchmark::RegisterBenchmark(("XmlParse/" + suffix).c_str(), BM_XmlParse, target, form)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("ModelRead/" + suffix).c_str(), BM_ModelRead, target, form)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("ParseAndRead/" + suffix).c_str(), BM_ParseAndRead, target,
                                     form)
            ->Unit(benchmark::kMillisecond);
      }
    }
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const std::string& path : unpacked) {
    std::remove(path.c_str());
  }
  if (folder != nullptr) {
    rmdir(folder);
  }
  return 0;
}
