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

OutputSink::OutputSink(const std::string& path) : fd_(STDOUT_FILENO), path_(path) {
  if (path_.empty()) return;
  size_t slash = path_.rfind('/');
  std::string folder = slash == std::string::npos ? std::string() : path_.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? path_ : path_.substr(slash + 1);
  if (base.empty()) throw CliError(kExitModel, path_ + ": " + std::strerror(EISDIR));
  std::string pattern = folder + "." + base + ".tmp-XXXXXX";
  std::string buffer = pattern;
  fd_ = ::mkstemp(buffer.data());
  if (fd_ < 0) throw CliError(kExitModel, path_ + ": " + std::strerror(errno));
  tempPath_ = buffer;
  // mkstemp makes the file private; give it the usual permissions.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd_, 0666 & ~mask);
  InstallSignalCleanup(tempPath_);
}

OutputSink::~OutputSink() {
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
  if (tempPath_.empty()) return;
  int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0) Fail(std::strerror(errno));
  if (::rename(tempPath_.c_str(), path_.c_str()) != 0) {
    int error = errno;
    ::unlink(tempPath_.c_str());
    committed_ = true;
    ClearSignalCleanup();
    Fail(std::strerror(error));
  }
  committed_ = true;
  ClearSignalCleanup();
}
