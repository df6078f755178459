// What `render` and `play` share: a scenario shown in a picture or a window, its size, and
// the files it read, which what they write may not replace.
#include <iostream>

#include "hostsim/cli/camera_choice.h"
#include "hostsim/cli/text.h"
#include "hostsim/platform/path_text.h"
#include "hostsim/render/render.h"
#include "program.h"

namespace fs = std::filesystem;
using hostsim::platform::PathFromUtf8;
using hostsim::platform::PathToUtf8;

namespace hostsim::cli::program {

// --size of a picture or the window (`what`).
void AddSize(CLI::App& command, Args& a, const std::string& what) {
  const CLI::Validator size(
      [](std::string& text) -> std::string {
        if (hostsim::render::ParseSize(text)) return {};
        return hostsim::cli::Quote(text, hostsim::cli::TextEncoding::Utf8) +
               " is not WxH with each side from 1 to 8192 pixels";
      },
      "", "size");
  command
      .add_option("--size", a.size, what + " size, each side 1 to 8192 pixels (default 800x500)")
      ->type_name("WxH")
      ->check(size);
}

std::optional<std::pair<int, int>> SizeOf(const Args& a) {
  const auto size = hostsim::render::ParseSize(a.size);
  if (!size) std::cerr << "hostsim: --size must be WxH, each side from 1 to 8192\n";
  return size;
}

void AddCamera(CLI::App& command, Args& a, const std::string& what) {
  const CLI::Validator camera(
      [](std::string& text) -> std::string {
        hostsim::cli::CameraChoice choice;
        return hostsim::cli::ParseCameraChoice(text, choice);
      },
      "", "camera");
  command
      .add_option("--camera", a.camera,
                  what +
                      ", in words apart: at=NAME (a vessel) or at=X,Y,Z (a point, metres), "
                      "yaw=DEG (about the vertical, 0: from +z), pitch=DEG (above the "
                      "horizontal, -88 to 88), dist=M (metres away); each optional, the "
                      "default view's where left out")
      ->type_name("CAMERA")
      ->check(camera);
}

std::optional<hostsim::render::Camera> CameraOf(const Args& a, hostsim::World& world,
                                                std::pair<int, int> size) {
  if (a.camera.empty()) return std::nullopt;
  hostsim::cli::CameraChoice choice;
  hostsim::cli::ParseCameraChoice(a.camera, choice);  // checked by the parser
  try {
    return hostsim::cli::ChosenCamera(world, choice, static_cast<double>(size.first) / size.second);
  } catch (const hostsim::Error& e) {
    throw hostsim::Error("--camera: " + e.message());
  }
}

std::vector<hostsim::Input> ShownInputs(const hostsim::World& world, const std::string& scenario) {
  std::vector<hostsim::Input> inputs = {{"the scenario", PathFromUtf8(scenario)}};
  const std::vector<hostsim::Input> read = hostsim::InputsOf(world, false);
  inputs.insert(inputs.end(), read.begin(), read.end());
  return inputs;
}

bool MayWrite(const std::vector<hostsim::Input>& inputs, const hostsim::World& world,
              const fs::path& target, const std::string& cannot) {
  const std::string reason = hostsim::InputReason(inputs, world.paths(), target);
  if (reason.empty()) return true;
  Report(PathToUtf8(target) + ": " + cannot + ": " + reason);
  return false;
}

}  // namespace hostsim::cli::program
