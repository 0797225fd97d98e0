#pragma once

#include <string>
#include <vector>

// Runs the built dendrix-score with arguments and a file as standard input,
// capturing its exit status and both output streams.
struct ToolRun {
  int exitCode = -1;  // 128 + signal when it was killed
  std::string out;
  std::string err;
};

ToolRun RunTool(const std::vector<std::string>& args, const std::string& stdinPath = "/dev/null",
                const std::vector<std::string>& environment = {});

// The same with standard error on a pseudo-terminal, as when a person runs
// the tool; err holds what the terminal received.
ToolRun RunToolWithTerminal(const std::vector<std::string>& args);

// Runs a program (argv[0], looked up on PATH) with no input.
ToolRun RunProgram(const std::vector<std::string>& argv);

// A fresh folder, removed with everything in it when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }
  // Writes a file in the folder and returns its path.
  std::string Write(const std::string& name, const std::string& content) const;
  // Names of the files in the folder, sorted.
  std::vector<std::string> List() const;

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
// Splits text into lines without their line breaks.
std::vector<std::string> Lines(const std::string& text);
// Path of a file under the source tree's examples folder.
std::string ExamplePath(const std::string& relative);
