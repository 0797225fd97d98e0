#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "embed/dendrix.h"
#include "host/ScoreTranslator.h"
#include "host/XmlDocument.h"

namespace dendrix {

namespace {

// Names and values of the model come out in UTF-8 whatever the document's
// encoding.
constexpr char kEncoding[] = "UTF-8";

// Starting and stopping the XML parser is not thread-safe: reads take turns.
std::mutex readMutex;

std::unique_ptr<ScoreTranslator> MakeTranslator(GiveMyTranslatorFunction makeTranslator) {
  std::unique_ptr<ScoreTranslator> translator(makeTranslator());
  if (!translator) throw VeltraException(ErrorCode::kUnsupported, "The plug-in gave no translator");
  return translator;
}

std::vector<std::string> VariableNames(const ScoreModel& model) {
  std::vector<std::string> names;
  if (const ScoreDictionary* dictionary = model.GetDictionary()) {
    for (const ScoreDictVar* var : dictionary->GetVars()) names.push_back(var->GetName());
  }
  return names;
}

}  // namespace

std::unique_ptr<ScoreModel> ReadModelFile(const std::string& path,
                                          GiveMyTranslatorFunction makeTranslator) {
  XercesSession xerces;
  return std::unique_ptr<ScoreModel>(
      MakeTranslator(makeTranslator)->ParseFromTree(path, kEncoding));
}

std::unique_ptr<ScoreModel> ReadModelText(const std::string& text,
                                          GiveMyTranslatorFunction makeTranslator) {
  std::lock_guard<std::mutex> lock(readMutex);
  XercesSession xerces;
  std::istringstream in(text);
  return std::unique_ptr<ScoreModel>(
      MakeTranslator(makeTranslator)->ParseFromTree(in, kEncoding, "<text>"));
}

Scorer::Scorer(ScoreModel& model) : model_(model), record_(VariableNames(model)) {}

Scorer::~Scorer() { delete result_; }

VorqScore::VorqStatus Scorer::Score() { return model_.GetScore(&record_, result_, false); }

}  // namespace dendrix
