#include "cli/ModelLoader.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "cli/CliError.h"
#include "host/VeltraException.h"
#include "host/XmlDocument.h"

Plugin::Plugin(const std::string& path) : path_(path) {
  // RTLD_GLOBAL is not needed: the plug-in and this program share the host
  // library, which both link.
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* reason = ::dlerror();
    throw CliError(kExitModel,
                   path + ": cannot load the plug-in: " + (reason ? reason : "unknown error"));
  }
  void* symbol = ::dlsym(handle, "GiveMyTranslator");
  if (!symbol) {
    throw CliError(kExitModel, path + ": the plug-in has no GiveMyTranslator entry point");
  }
  entry_ = reinterpret_cast<EntryPoint>(symbol);
}

ScoreTranslator* Plugin::GiveTranslator() const { return entry_(); }

std::string FindPluginPath(const std::string& optionPath, bool pmml) {
  if (!optionPath.empty()) return optionPath;
  const char* library = pmml ? "libdendrix_pmml44.so" : "libdendrix_plugin.so";
  const char* fromEnvironment = pmml ? nullptr : std::getenv("DENDRIX_PLUGIN");
  if (fromEnvironment && *fromEnvironment) return fromEnvironment;
  char self[4096];
  ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) {
    self[n] = '\0';
    std::string folder(self);
    size_t slash = folder.rfind('/');
    if (slash != std::string::npos) return folder.substr(0, slash + 1) + library;
  }
  return library;
}

namespace {

// Refuses a path that is missing, unreadable or not a regular file, with the
// system's reason.
void CheckReadableFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) throw CliError(kExitModel, path + ": " + std::strerror(errno));
  struct stat info;
  int statResult = ::fstat(fd, &info);
  ::close(fd);
  if (statResult == 0 && S_ISDIR(info.st_mode)) {
    throw CliError(kExitModel, path + ": " + std::strerror(EISDIR));
  }
}

}  // namespace

ModelDocument::ModelDocument(const Plugin& plugin, const std::string& path, bool upgrade,
                             std::vector<PmmlUpgradeChange>* changes)
    : plugin_(plugin),
      path_(path),
      upgrade_(upgrade),
      document_(std::make_unique<XmlDocument>(upgrade ? XmlDocument::Form::kEditable
                                                      : XmlDocument::Form::kReadOnly)) {
  CheckReadableFile(path);
  XmlParseError parseError;
  if (!document_->ParseFile(path, &parseError)) {
    if (parseError.line > 0) {
      throw CliError(kExitModel, path + ":" + std::to_string(parseError.line) + ":" +
                                     std::to_string(parseError.column) + ": " + parseError.message);
    }
    throw CliError(kExitModel, path + ": " + parseError.message);
  }

  if (upgrade) {
    std::vector<PmmlUpgradeChange> made;
    try {
      made = UpgradePmmlDocument(document_->GetDocument());
    } catch (const VeltraException& e) {
      throw CliError(kExitModel,
                     path + ": error " + std::to_string(e.GetCode()) + ": " + e.GetMessage());
    }
    if (changes) *changes = std::move(made);
  }
}

ModelDocument::~ModelDocument() = default;

std::unique_ptr<ScoreModel> ModelDocument::ReadModel() const {
  if (!document_) throw CliError(kExitModel, path_ + ": the document was already released");
  std::unique_ptr<ScoreTranslator> translator(plugin_.GiveTranslator());
  if (!translator) {
    throw CliError(kExitModel, plugin_.GetPath() + ": the plug-in gave no translator");
  }
  ScoreModel* model = nullptr;
  try {
    model = translator->ParseFromTree(document_->GetDocument(), document_->GetEncoding());
  } catch (const VeltraException& e) {
    std::string note;
    if (!upgrade_ && upgradeHint_) {
      const std::string newer = DescribeNewerPmmlConventions(document_->GetDocument());
      if (!newer.empty()) {
        note = path_ + " follows newer PMML conventions (" + newer + "); --upgrade-pmml reads it";
      }
    }
    throw CliError(kExitModel,
                   path_ + ": error " + std::to_string(e.GetCode()) + ": " + e.GetMessage(), note);
  } catch (const std::exception& e) {
    throw CliError(kExitModel, path_ + ": " + e.what());
  }
  if (!model) throw CliError(kExitModel, path_ + ": the plug-in read no model");
  return std::unique_ptr<ScoreModel>(model);
}

std::vector<std::string> ModelDocument::DescribeSemanticsDifferences() const {
  if (!document_) return {};
  return DescribePmmlSemanticsDifferences(document_->GetDocument());
}

void ModelDocument::Release() { document_.reset(); }
