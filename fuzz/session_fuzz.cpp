// hostsim session scripts, as far as the CLI's library reaches them: every input line is
// parsed (ParseLine) and then run by a Session against a fresh world, in a scratch folder
// that holds a copy of the example scenario as demo.scn. A line that fails is a
// SessionError with the script's name and line; the run goes on with the next line, so that
// whatever state a failure leaves behind meets the commands after it.
//
// Kept out of the run, so that the fuzzer stays inside its folder and its time: load and
// save of an absolute path or one that climbs out with "..", and step or hold of more than
// 200 frames. Parsed they are all the same. The program around the library (command line,
// --trace, exit status) is tested by driving the built hostsim in tests/cli_hostile.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "hostsim/cli/session.h"
#include "hostsim/platform/path_text.h"
#include "support.h"

namespace {

namespace fs = std::filesystem;

bool StaysInside(const std::string& file) {
  const fs::path p = hostsim::platform::PathFromUtf8(file);
  if (p.is_absolute() || p.has_root_name() || p.has_root_directory()) return false;
  for (const auto& part : p.lexically_normal())
    if (part == "..") return false;
  return !file.empty() && file[0] != '~';
}

bool Runnable(const hostsim::cli::Command& c) {
  using Kind = hostsim::cli::Command::Kind;
  switch (c.kind) {
    case Kind::Load:
    case Kind::Save:
      return StaysInside(c.arg);
    case Kind::Step:
    case Kind::Hold:
      return c.frames <= 200;
    default:
      return true;
  }
}

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzsupport::PinModules();
  static const std::string demo =
      ReadFile(fs::path(LUMIPOD_SOURCE_DIR) / "examples" / "scenarios" / "demo.scn");
  const fs::path dir = fuzzsupport::FreshDir(fuzzsupport::Scratch() / "session");
  fuzzsupport::WriteFile(dir / "demo.scn", demo);

  hostsim::World world(fuzzsupport::ExamplePaths());
  world.journal().SetEnabled(false);
  std::ostringstream out;
  hostsim::cli::SessionOptions opts;
  opts.script = dir / "fuzz.session";
  opts.label = "fuzz.session";
  opts.outDir = dir / "out";
  hostsim::cli::Session session(world, out, opts);

  int number = 0;
  for (const std::string& line : fuzzsupport::Lines(fuzzsupport::AsText(data, size))) {
    ++number;
    const hostsim::cli::ParsedLine parsed = hostsim::cli::ParseLine(line);
    fuzzsupport::Expect(parsed.error.empty() || !parsed.command, "a line is a command or an error");
    if (parsed.command && !Runnable(*parsed.command)) continue;
    try {
      session.RunLine(line, number);
    } catch (const hostsim::cli::SessionError& e) {
      const std::string where = "fuzz.session:" + std::to_string(number) + ": ";
      fuzzsupport::Expect(std::string(e.what()).rfind(where, 0) == 0,
                          std::string("the error names script and line: ") + e.what());
    }
  }
  return 0;
}
