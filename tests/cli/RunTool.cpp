#include "RunTool.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

namespace {

// argv[0] is looked up on PATH when it holds no slash.
ToolRun Run(const std::vector<std::string>& argv, const std::string& stdinPath,
            const std::vector<std::string>& environment, bool terminal) {
  int master = -1;
  std::string terminalPath;
  if (terminal) {
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
      throw std::runtime_error("no pseudo-terminal");
    }
    terminalPath = ::ptsname(master);
  }
  TempFolder capture;
  const std::string outPath = capture.Path() + "/out", errPath = capture.Path() + "/err";

  pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int err = terminal ? ::open(terminalPath.c_str(), O_RDWR | O_NOCTTY)
                             : ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (::dup2(::open(stdinPath.c_str(), O_RDONLY), STDIN_FILENO) < 0 ||
        ::dup2(::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO) < 0 ||
        ::dup2(err, STDERR_FILENO) < 0) {
      ::_exit(126);
    }
    for (const std::string& setting : environment) ::putenv(const_cast<char*>(setting.c_str()));
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  // The terminal is read while the tool runs, so it never blocks on a full buffer.
  std::string fromTerminal;
  int status = 0;
  for (pid_t done = 0; done == 0;) {
    done = ::waitpid(pid, &status, terminal ? WNOHANG : 0);
    char buffer[4096];
    pollfd ready{master, POLLIN, 0};
    while (terminal && ::poll(&ready, 1, done == 0 ? 20 : 0) > 0) {
      const ssize_t got = ::read(master, buffer, sizeof buffer);
      if (got <= 0) break;
      fromTerminal.append(buffer, static_cast<size_t>(got));
    }
  }
  if (terminal) ::close(master);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), ReadFile(outPath),
          terminal ? fromTerminal : ReadFile(errPath)};
}

std::vector<std::string> ToolArgv(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {DENDRIX_BIN_DIR "/dendrix-score"};
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

}  // namespace

ToolRun RunProgram(const std::vector<std::string>& argv) {
  return Run(argv, "/dev/null", {}, false);
}

ToolRun RunTool(const std::vector<std::string>& args, const std::string& stdinPath,
                const std::vector<std::string>& environment) {
  return Run(ToolArgv(args), stdinPath, environment, false);
}

ToolRun RunToolWithTerminal(const std::vector<std::string>& args) {
  return Run(ToolArgv(args), "/dev/null", {}, true);
}

TempFolder::TempFolder() {
  path_ = (fs::temp_directory_path() / "dendrix-cli-XXXXXX").string();
  if (!::mkdtemp(path_.data())) throw std::runtime_error("mkdtemp failed");
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string TempFolder::Write(const std::string& name, const std::string& content) const {
  std::string path = path_ + "/" + name;
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

std::vector<std::string> TempFolder::List() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(path_)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string ExamplePath(const std::string& relative) {
  return std::string(DENDRIX_SOURCE_DIR) + "/examples/" + relative;
}
