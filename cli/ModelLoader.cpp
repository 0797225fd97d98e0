#include "cli/ModelLoader.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <utility>

#include "cli/CliError.h"
#include "cli/TextFormat.h"
#include "host/VeltraException.h"
#include "host/XmlDocument.h"
#include "pmml/DocumentLimits.h"

#ifndef DENDRIX_LIB_FROM_BIN
#define DENDRIX_LIB_FROM_BIN "../lib"  // the library folder, from the binary folder
#endif

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

namespace {

// dlopen searches the library path for a name without a slash; a name the
// user gives is a file name, relative to the working folder.
std::string AsPath(const std::string& name) {
  return name.find('/') == std::string::npos ? "./" + name : name;
}

}  // namespace

std::string FindPluginPath(const std::string& optionPath, bool pmml) {
  if (!optionPath.empty()) return AsPath(optionPath);
  const char* fromEnvironment = pmml ? nullptr : std::getenv("DENDRIX_PLUGIN");
  if (fromEnvironment && *fromEnvironment) return AsPath(fromEnvironment);
  const std::string kName = pmml ? "libdendrix_pmml44.so" : "libdendrix_plugin.so";
  char self[4096];
  ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) {
    self[n] = '\0';
    std::string folder(self);
    size_t slash = folder.rfind('/');
    if (slash != std::string::npos) {
      // Next to this executable in a build folder; in the library folder
      // when installed.
      const std::string beside = folder.substr(0, slash + 1) + kName;
      const std::string installed =
          folder.substr(0, slash + 1) + DENDRIX_LIB_FROM_BIN + "/" + kName;
      return ::access(beside.c_str(), F_OK) != 0 && ::access(installed.c_str(), F_OK) == 0
                 ? installed
                 : beside;
    }
  }
  return kName;
}

namespace {

// A size in whole KB or MB, rounded up.
std::string SizeText(uint64_t bytes) {
  if (bytes < (uint64_t{10} << 20)) return std::to_string((bytes + 1023) >> 10) + " KB";
  return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MB";
}

// Whether text at p (with n bytes readable) opens a tree node element: Node,
// or the legacy layout's ClsNode, ClsTerminalNode, RegNode, RegTerminalNode.
bool OpensTreeNode(const char* p, size_t n) {
  auto is = [&](const char* name) {
    const size_t length = std::strlen(name);
    if (n < length + 1 || std::memcmp(p, name, length) != 0) return false;
    const char after = p[length];
    return after == '>' || after == '/' || after == ' ' || after == '\t' || after == '\n' ||
           after == '\r';
  };
  if (n == 0) return false;
  if (p[0] == 'N') return is("Node");
  if (p[0] == 'C') return is("ClsNode") || is("ClsTerminalNode");
  if (p[0] == 'R') return is("RegNode") || is("RegTerminalNode");
  return false;
}

// Refuses a path that is missing, unreadable or a folder, with the system's
// reason; then, for a regular file, one that is over maxBytes or that holds
// more tree node elements than the reader accepts, before anything is built
// from it. The node count reads the bytes in blocks (an ASCII-compatible
// encoding; the reader counts the elements again). Keeps the first bytes in
// *head for the hints on a failed parse.
void ScanModelFile(const std::string& path, uint64_t maxBytes, std::string* head) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw CliError(kExitModel, path + ": " + std::strerror(errno));
  struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
  } closer{fd};
  struct stat info;
  if (::fstat(fd, &info) != 0) return;
  if (S_ISDIR(info.st_mode)) throw CliError(kExitModel, path + ": " + std::strerror(EISDIR));
  if (!S_ISREG(info.st_mode)) return;  // a pipe is read once, by the parser
  if (static_cast<uint64_t>(info.st_size) > maxBytes) {
    throw CliError(kExitModel, path + ": the document is " +
                                   SizeText(static_cast<uint64_t>(info.st_size)) +
                                   ", over the limit of " + SizeText(maxBytes) +
                                   " (--max-model-size SIZE raises it)");
  }
  constexpr size_t kBlock = 1u << 20;
  constexpr size_t kKeep = 16;  // longest tag name and the byte after it
  std::vector<char> buffer(kKeep + kBlock);
  size_t kept = 0;
  int64_t nodes = 0;
  bool first = true;
  while (true) {
    ssize_t n = ::read(fd, buffer.data() + kept, kBlock);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    const size_t size = kept + static_cast<size_t>(n);
    if (first) head->assign(buffer.data(), std::min<size_t>(size, 64));
    first = false;
    const char* data = buffer.data();
    // Tags starting in the last kKeep bytes are looked at with the next block.
    const size_t scanEnd = size > kKeep ? size - kKeep : 0;
    for (const char* p = data; p < data + scanEnd;) {
      p = static_cast<const char*>(std::memchr(p, '<', static_cast<size_t>(data + scanEnd - p)));
      if (p == nullptr) break;
      ++p;
      if (OpensTreeNode(p, static_cast<size_t>(data + size - p)) && ++nodes > kMaxTreeNodes) {
        throw CliError(kExitModel, path + ": error 5: Documents with more than " +
                                       std::to_string(kMaxTreeNodes) +
                                       " tree nodes are not supported!");
      }
    }
    kept = size - scanEnd;
    std::memmove(buffer.data(), data + scanEnd, kept);
  }
}

// The parser decodes UTF-8 a buffer ahead of where it reads, so an invalid
// byte is reported at the wrong place. Finds the first byte that starts no
// valid UTF-8 sequence: its 1-based line and column (in characters), and the
// byte. False when every byte is valid or the file cannot be read.
bool FindInvalidUtf8(const std::string& path, int64_t* line, int64_t* column, unsigned* byte) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  constexpr size_t kBlock = 1u << 20;
  std::string buffer;
  *line = 1;
  *column = 1;
  while (true) {
    // A sequence cut by the block end is taken again with the next block.
    const size_t kept = buffer.size();
    buffer.resize(kept + kBlock);
    in.read(&buffer[kept], kBlock);
    const size_t got = static_cast<size_t>(in.gcount());
    buffer.resize(kept + got);
    const bool last = got == 0;
    size_t at = 0;
    while (at < buffer.size()) {
      const size_t length = textformat::Utf8SequenceLength(buffer, at);
      if (length == 0) {
        if (!last && buffer.size() - at < 4) break;
        *byte = static_cast<unsigned char>(buffer[at]);
        return true;
      }
      if (buffer[at] == '\n') {
        ++*line;
        *column = 1;
      } else {
        ++*column;
      }
      at += length;
    }
    buffer.erase(0, at);
    if (last) return false;
  }
}

// A hint for a document the XML parser refused, from its first bytes.
std::string ParseFailureHint(const std::string& path, const std::string& head) {
  if (head.empty()) return path + " is empty: MODEL must be a model document";
  if (head.size() >= 2 && static_cast<unsigned char>(head[0]) == 0x1f &&
      static_cast<unsigned char>(head[1]) == 0x8b) {
    return path + " is gzip data: unpack the model document first";
  }
  size_t at = head.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  while (at < head.size() && std::isspace(static_cast<unsigned char>(head[at]))) ++at;
  // UTF-16 and other encodings start with '<' or a byte-order mark too.
  const unsigned char c = at < head.size() ? static_cast<unsigned char>(head[at]) : 0;
  if (c == '<' || c == 0 || c == 0xFE || c == 0xFF) return std::string();
  return path + " does not start like an XML document; the model comes first: " +
         "dendrix-score [OPTIONS] MODEL [INPUT]";
}

}  // namespace

ModelDocument::ModelDocument(const Plugin& plugin, const std::string& path, bool upgrade,
                             std::vector<PmmlUpgradeChange>* changes, uint64_t maxBytes)
    : plugin_(plugin),
      path_(path),
      upgrade_(upgrade),
      document_(std::make_unique<XmlDocument>(upgrade ? XmlDocument::Form::kEditable
                                                      : XmlDocument::Form::kReadOnly)) {
  std::string head;
  ScanModelFile(path, maxBytes, &head);
  XmlParseError parseError;
  if (!document_->ParseFile(path, &parseError)) {
    if (parseError.line == 0 && parseError.message == "out of memory") throw std::bad_alloc();
    const std::string hint = ParseFailureHint(path, head);
    int64_t line = 0, column = 0;
    unsigned byte = 0;
    if (parseError.message.rfind("invalid byte", 0) == 0 &&
        FindInvalidUtf8(path, &line, &column, &byte)) {
      char text[96];
      std::snprintf(text, sizeof text, ":%lld:%lld: invalid UTF-8 byte 0x%02x",
                    static_cast<long long>(line), static_cast<long long>(column), byte & 0xffu);
      throw CliError(kExitModel, path + text, hint);
    }
    if (parseError.line > 0) {
      throw CliError(kExitModel,
                     path + ":" + std::to_string(parseError.line) + ":" +
                         std::to_string(parseError.column) + ": " + parseError.message,
                     hint);
    }
    throw CliError(kExitModel, path + ": " + parseError.message, hint);
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
    // Names and categories come out in the encoding asked for, whatever the
    // document's own: the tool matches and writes UTF-8 only.
    model = translator->ParseFromTree(document_->GetDocument(), "UTF-8");
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
  } catch (const std::bad_alloc&) {
    throw;  // main reports it as out of memory (exit 1)
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
