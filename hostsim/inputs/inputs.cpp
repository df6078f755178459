#include "hostsim/inputs/inputs.h"

#include <system_error>
#include <utility>

#include "hostsim/platform/files.h"
#include "hostsim/platform/path_text.h"

namespace hostsim {

std::vector<Input> InputsOf(const World& world, bool scenarios) {
  std::vector<Input> out;
  for (const FileRead& f : world.FilesRead())
    if (scenarios || std::string_view(f.kind) != "scenario")
      out.push_back({std::string("the ") + f.kind + " " + platform::PathToUtf8(f.path), f.path});
  return out;
}

std::string InputReason(const std::vector<Input>& inputs, const Paths& root,
                        const std::filesystem::path& target) {
  // A folder, a FIFO or a device where the file would go: writing there would wait for a
  // reader, act on a device or fail half-way; the writer refuses it too, this says so first.
  std::error_code ec;
  if (!target.has_filename()) return "it names a folder, not a file";
  if (std::filesystem::status(target, ec).type() != std::filesystem::file_type::not_found)
    if (std::string reason = platform::NotARegularFile(target); !reason.empty()) return reason;
  for (const Input& input : inputs)
    if (platform::SameFile(target, input.path)) return "it is an input of this run: " + input.what;
  const std::filesystem::path folder =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  for (const auto& [path, name] :
       {std::pair{&root.config, "config"}, std::pair{&root.meshes, "meshes"},
        std::pair{&root.modules, "modules"}})
    if (platform::SameFile(folder, *path))
      return std::string("it is in the ") + name + " folder, an input of this run";
  return {};
}

}  // namespace hostsim
