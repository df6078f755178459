// The driver of a fuzz target built without libFuzzer: runs the target once on every file it
// is given, each path a file or a folder (searched recursively, files in name order).
//
//   target_replay PATH...
//
// Exit status 0 when every input ran; 1 when a path cannot be read or holds no input at all.
// A broken expectation or a sanitizer finding ends the process as it would under the fuzzer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

namespace {

bool Collect(const fs::path& path, std::vector<fs::path>& files) {
  std::error_code ec;
  if (fs::is_regular_file(path, ec)) {
    files.push_back(path);
    return true;
  }
  if (!fs::is_directory(path, ec)) {
    std::fprintf(stderr, "%s: no such file or folder\n", path.string().c_str());
    return false;
  }
  std::vector<fs::path> found;
  for (fs::recursive_directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file(ec)) found.push_back(it->path());
  if (ec) {
    std::fprintf(stderr, "%s: %s\n", path.string().c_str(), ec.message().c_str());
    return false;
  }
  std::sort(found.begin(), found.end());
  files.insert(files.end(), found.begin(), found.end());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE|FOLDER...\n", argc > 0 ? argv[0] : "replay");
    return 1;
  }
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i)
    if (!Collect(argv[i], files)) return 1;
  if (files.empty()) {
    std::fprintf(stderr, "no inputs found\n");
    return 1;
  }
  for (const fs::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
      std::fprintf(stderr, "%s: cannot read\n", file.string().c_str());
      return 1;
    }
    std::fprintf(stderr, "running %s (%zu bytes)\n", file.string().c_str(), bytes.size());
    // A copy of exactly the input's size, so that a read past its end is caught.
    std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(data.empty() ? nullptr : data.data(), data.size());
  }
  std::printf("replayed %zu inputs\n", files.size());
  return 0;
}
