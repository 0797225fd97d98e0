// Runs a fuzz target's entry point once per file, without libFuzzer: each
// argument is a file or a folder of files (its corpus). A broken invariant
// aborts inside the target; a file that cannot be read fails the run. Built
// with the ordinary compiler, so that every corpus is also an ordinary test.

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// The files named, folders expanded one level, in name order.
bool CollectFiles(const std::string& path, std::vector<std::string>* files) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return false;
  if (!S_ISDIR(info.st_mode)) {
    files->push_back(path);
    return true;
  }
  DIR* folder = ::opendir(path.c_str());
  if (folder == nullptr) return false;
  std::vector<std::string> found;
  while (const dirent* entry = ::readdir(folder)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string full = path + "/" + name;
    if (::stat(full.c_str(), &info) == 0 && S_ISREG(info.st_mode)) found.push_back(full);
  }
  ::closedir(folder);
  std::sort(found.begin(), found.end());
  files->insert(files->end(), found.begin(), found.end());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (!CollectFiles(argv[i], &files)) {
      std::fprintf(stderr, "%s: cannot read\n", argv[i]);
      return 2;
    }
  }
  if (files.empty()) {
    std::fprintf(stderr, "no inputs to replay\n");
    return 2;
  }
  for (const std::string& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
      std::fprintf(stderr, "%s: cannot read\n", file.c_str());
      return 2;
    }
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("replayed %zu inputs\n", files.size());
  return 0;
}
