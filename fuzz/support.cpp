#include "support.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>

namespace fuzzsupport {

namespace fs = std::filesystem;

hostsim::Paths ExamplePaths() {
  hostsim::Paths p;
  p.config = fs::path(LUMIPOD_SOURCE_DIR) / "examples" / "config";
  p.meshes = fs::path(LUMIPOD_SOURCE_DIR) / "examples" / "meshes";
  p.modules = fs::path(LUMIPOD_MODULE_DIR);
  return p;
}

namespace {

struct ScratchFolder {
  fs::path path;
  ScratchFolder() {
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    if (ec) base = "/tmp";
    std::string templ = (base / "lumipod-fuzz-XXXXXX").string();
    if (mkdtemp(templ.data()) == nullptr) Fail("cannot make a scratch folder in " + base.string());
    path = templ;
  }
  ~ScratchFolder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

}  // namespace

const fs::path& Scratch() {
  static ScratchFolder folder;
  return folder.path;
}

fs::path FreshDir(const fs::path& dir) {
  std::error_code ec;
  fs::remove_all(dir, ec);
  fs::create_directories(dir, ec);
  if (ec) Fail("cannot make " + dir.string() + ": " + ec.message());
  return dir;
}

void WriteFile(const fs::path& file, std::string_view bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) Fail("cannot write " + file.string());
}

void PinModules() {
#if defined(LUMIPOD_FUZZ_LIBFUZZER)
  static const bool pinned = [] {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(LUMIPOD_MODULE_DIR, ec)) {
      if (entry.path().extension() != ".so") continue;
      // Never closed: the reference lives as long as the process.
      if (dlopen(entry.path().c_str(), RTLD_NOW | RTLD_LOCAL) == nullptr)
        Fail(std::string("cannot load ") + entry.path().string() + ": " + dlerror());
    }
    return true;
  }();
  (void)pinned;
#endif
}

std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return size == 0 ? std::string_view()
                   : std::string_view(reinterpret_cast<const char*>(data), size);
}

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t nl = text.find('\n', pos);
    if (nl == std::string_view::npos) nl = text.size();
    lines.emplace_back(text.substr(pos, nl - pos));
    pos = nl + 1;
  }
  return lines;
}

void Fail(const std::string& what) {
  std::fprintf(stderr, "fuzz expectation failed: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

}  // namespace fuzzsupport
