// The fuzz targets without libFuzzer: runs the target once on every file named, or on every
// file in every folder named, so the committed corpus is a regression test in every build.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void RunFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 0;
  for (int i = 1; i < argc; ++i) {
    std::string path = argv[i];
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
      std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
      return 2;
    }
    std::vector<std::string> files;
    if (S_ISDIR(st.st_mode)) {
      DIR* dir = opendir(path.c_str());
      while (dirent* e = dir ? readdir(dir) : nullptr) {
        std::string name = e->d_name;
        if (name != "." && name != "..") files.push_back(path + "/" + name);
      }
      if (dir) closedir(dir);
      std::sort(files.begin(), files.end());
    } else {
      files.push_back(path);
    }
    for (const std::string& f : files) {
      RunFile(f);
      ++runs;
    }
  }
  std::printf("replayed %d inputs\n", runs);
  return runs > 0 ? 0 : 2;
}
