#include "cli/OutputSink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "cli/CliError.h"

namespace {

// The temporary file to remove when a signal ends the process. Written before
// the handlers are installed; read only by the handler.
char gTempPath[4096];

extern "C" void RemoveTempAndReraise(int signal) {
  if (gTempPath[0] != '\0') ::unlink(gTempPath);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void InstallSignalCleanup(const std::string& tempPath) {
  if (tempPath.size() >= sizeof gTempPath) return;
  std::memcpy(gTempPath, tempPath.c_str(), tempPath.size() + 1);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = RemoveTempAndReraise;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
  }
}

void ClearSignalCleanup() {
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) std::signal(signal, SIG_DFL);
  gTempPath[0] = '\0';
}

}  // namespace

namespace {

// Where a file name leads: a symbolic link is followed to its target (a
// dangling link to the name it holds), so the target is replaced, not the link.
std::string FollowLinks(const std::string& path) {
  std::string at = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info;
    if (::lstat(at.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return at;
    std::string target(static_cast<size_t>(info.st_size > 0 ? info.st_size : 4096), '\0');
    ssize_t n = ::readlink(at.c_str(), target.data(), target.size());
    if (n < 0) return at;
    target.resize(static_cast<size_t>(n));
    if (target.empty() || target[0] != '/') {
      size_t slash = at.rfind('/');
      if (slash != std::string::npos) target = at.substr(0, slash + 1) + target;
    }
    at = target;
  }
  return at;
}

}  // namespace

OutputSink::OutputSink(const std::string& path) : fd_(STDOUT_FILENO), path_(path) {
  if (path_.empty() || path_ == "-") {
    path_.clear();
    return;
  }
  // stat follows links as the system does (/dev/stdout included).
  struct stat existing;
  const bool exists = ::stat(path_.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) {
    throw CliError(kExitModel, path_ + ": " + std::strerror(EISDIR));
  }
  if (exists && !S_ISREG(existing.st_mode)) {
    // A device, a FIFO or a socket is written through, never replaced.
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0) throw CliError(kExitModel, path_ + ": " + std::strerror(errno));
    direct_ = true;
    return;
  }
  const std::string target = FollowLinks(path_);
  size_t slash = target.rfind('/');
  std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  if (base.empty()) throw CliError(kExitModel, path_ + ": " + std::strerror(EISDIR));
  // The temporary name adds 12 bytes to the file's; a name near the limit
  // gets a short one instead.
  std::string pattern = folder + "." + base + ".tmp-XXXXXX";
  if (base.size() + 12 > 255) pattern = folder + ".dendrix-score.tmp-XXXXXX";
  std::string buffer = pattern;
  fd_ = ::mkstemp(buffer.data());
  if (fd_ < 0) throw CliError(kExitModel, path_ + ": " + std::strerror(errno));
  tempPath_ = buffer;
  renameTo_ = target;
  // mkstemp makes the file private: an existing file keeps its mode, a new
  // one gets the usual permissions.
  mode_t mode;
  if (exists) {
    mode = existing.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(fd_, mode);
  InstallSignalCleanup(tempPath_);
}

OutputSink::~OutputSink() {
  if (direct_) ::close(fd_);
  if (!tempPath_.empty() && !committed_) {
    if (fd_ >= 0) ::close(fd_);
    ::unlink(tempPath_.c_str());
    ClearSignalCleanup();
  }
}

void OutputSink::Fail(const std::string& what) {
  std::string name = path_.empty() ? "<stdout>" : path_;
  throw CliError(kExitModel, name + ": " + what);
}

void OutputSink::Write(const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd_, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(std::strerror(errno));
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
}

void OutputSink::Commit() {
  if (direct_) {
    direct_ = false;
    if (::close(fd_) != 0) Fail(std::strerror(errno));
    return;
  }
  if (tempPath_.empty()) return;
  int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0) Fail(std::strerror(errno));
  if (::rename(tempPath_.c_str(), renameTo_.c_str()) != 0) {
    int error = errno;
    ::unlink(tempPath_.c_str());
    committed_ = true;
    ClearSignalCleanup();
    Fail(std::strerror(error));
  }
  committed_ = true;
  ClearSignalCleanup();
}
