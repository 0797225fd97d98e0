#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/PmmlUpgrade.h"
#include "host/ScoreModel.h"
#include "host/ScoreTranslator.h"
#include "host/XmlDocument.h"

// The tree plug-in, loaded at run time. The library stays loaded until the
// process ends, so models made by it may be destroyed at any time before.
class Plugin {
 public:
  // Loads the library at path; throws CliError (exit 2) when it cannot be
  // loaded or lacks the entry point.
  explicit Plugin(const std::string& path);
  // A new translator from the plug-in's entry point; the caller owns it.
  ScoreTranslator* GiveTranslator() const;
  const std::string& GetPath() const { return path_; }

 private:
  using EntryPoint = ScoreTranslator* (*)();
  std::string path_;
  EntryPoint entry_ = nullptr;
};

// Where the plug-in is looked for: the --plugin path, else the DENDRIX_PLUGIN
// environment variable, else libdendrix_plugin.so next to this executable or,
// installed, in the library folder. With pmml: the --plugin path, else
// libdendrix_pmml44.so found the same way (the environment variable names the
// native plug-in).
std::string FindPluginPath(const std::string& optionPath, bool pmml = false);

// A model document, parsed once, from which independent models are read, each
// with its own translator. The document is not safe to read from several
// threads at once: callers take turns (one thread, or a lock).
// A live XercesSession is needed while the document exists.
class ModelDocument {
 public:
  // Parses the file. Throws CliError (exit 2) with the contract's messages: a
  // missing or unreadable file, XML that is not well-formed
  // (MODEL:LINE:COLUMN, with a hint for an empty file, gzip data or text that
  // is not XML); before parsing, a file over maxBytes or with more tree nodes
  // than the reader takes. Throws std::bad_alloc when the parser runs out of
  // memory. With upgrade, the document is first rewritten by
  // UpgradePmmlDocument and the changes are stored in *changes.
  ModelDocument(const Plugin& plugin, const std::string& path, bool upgrade = false,
                std::vector<PmmlUpgradeChange>* changes = nullptr, uint64_t maxBytes = UINT64_MAX);
  ~ModelDocument();
  ModelDocument(const ModelDocument&) = delete;
  ModelDocument& operator=(const ModelDocument&) = delete;

  // A new model. Throws CliError (exit 2) for a document the reader rejects
  // (error CODE: MESSAGE); without upgrade, a rejected document that follows
  // newer PMML conventions gets a note naming them and the option.
  std::unique_ptr<ScoreModel> ReadModel() const;
  // The constructs the native rules read otherwise than PMML 4.4 does, as
  // DescribePmmlSemanticsDifferences gives them.
  std::vector<std::string> DescribeSemanticsDifferences() const;
  // Whether a rejected document gets the note about --upgrade-pmml (default on).
  void SetUpgradeHint(bool hint) { upgradeHint_ = hint; }
  // Frees the parsed document once no more models are needed.
  void Release();

 private:
  const Plugin& plugin_;
  std::string path_;
  bool upgrade_;
  bool upgradeHint_ = true;
  std::unique_ptr<XmlDocument> document_;
};
