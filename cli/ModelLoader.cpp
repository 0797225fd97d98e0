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

std::string FindPluginPath(const std::string& optionPath) {
  if (!optionPath.empty()) return optionPath;
  const char* fromEnvironment = std::getenv("DENDRIX_PLUGIN");
  if (fromEnvironment && *fromEnvironment) return fromEnvironment;
  char self[4096];
  ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) {
    self[n] = '\0';
    std::string folder(self);
    size_t slash = folder.rfind('/');
    if (slash != std::string::npos) return folder.substr(0, slash + 1) + "libdendrix_plugin.so";
  }
  return "libdendrix_plugin.so";
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

std::vector<std::unique_ptr<ScoreModel>> LoadModels(const Plugin& plugin, const std::string& path,
                                                    int count, bool upgrade,
                                                    std::vector<PmmlUpgradeChange>* changes) {
  CheckReadableFile(path);
  XmlDocument document(upgrade ? XmlDocument::Form::kEditable : XmlDocument::Form::kReadOnly);
  XmlParseError parseError;
  if (!document.ParseFile(path, &parseError)) {
    if (parseError.line > 0) {
      throw CliError(kExitModel, path + ":" + std::to_string(parseError.line) + ":" +
                                     std::to_string(parseError.column) + ": " + parseError.message);
    }
    throw CliError(kExitModel, path + ": " + parseError.message);
  }

  if (upgrade) {
    std::vector<PmmlUpgradeChange> made;
    try {
      made = UpgradePmmlDocument(document.GetDocument());
    } catch (const VeltraException& e) {
      throw CliError(kExitModel,
                     path + ": error " + std::to_string(e.GetCode()) + ": " + e.GetMessage());
    }
    if (changes) *changes = std::move(made);
  }

  std::vector<std::unique_ptr<ScoreModel>> models;
  for (int i = 0; i < count; ++i) {
    std::unique_ptr<ScoreTranslator> translator(plugin.GiveTranslator());
    if (!translator)
      throw CliError(kExitModel, plugin.GetPath() + ": the plug-in gave no translator");
    ScoreModel* model = nullptr;
    try {
      model = translator->ParseFromTree(document.GetDocument(), document.GetEncoding());
    } catch (const VeltraException& e) {
      std::string note;
      if (!upgrade) {
        const std::string newer = DescribeNewerPmmlConventions(document.GetDocument());
        if (!newer.empty()) {
          note = path + " follows newer PMML conventions (" + newer + "); --upgrade-pmml reads it";
        }
      }
      throw CliError(kExitModel,
                     path + ": error " + std::to_string(e.GetCode()) + ": " + e.GetMessage(), note);
    } catch (const std::exception& e) {
      throw CliError(kExitModel, path + ": " + e.what());
    }
    if (!model) throw CliError(kExitModel, path + ": the plug-in read no model");
    models.emplace_back(model);
  }
  return models;
}
