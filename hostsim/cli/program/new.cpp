// hostsim new: a module project that builds against hostsim and passes its tests.
#include <iostream>
#include <string>

#include "hostsim/cli/new_project.h"
#include "hostsim/cli/text.h"
#include "hostsim/platform/path_text.h"
#include "program.h"

namespace fs = std::filesystem;
using hostsim::platform::PathFromUtf8;

namespace hostsim::cli::program {

void AddNewOptions(CLI::App& command, Args& a) {
  const CLI::Validator name(
      [](std::string& text) -> std::string {
        const std::string reason = hostsim::cli::ModuleNameError(text);
        if (reason.empty()) return {};
        return hostsim::cli::Quote(text, hostsim::cli::TextEncoding::Utf8) + " " + reason;
      },
      "", "name");
  command
      .add_option("NAME", a.newName,
                  "Name of the module: its library, class, files and C++ class come from it")
      ->required()
      ->type_name("NAME")
      ->check(name);
  command.add_option("DIR", a.newDir, "Folder to make, new or empty (default: ./NAME)")
      ->type_name("DIR");
  command.footer(
      "Writes a module project that builds against hostsim's CMake package and tests itself:\n"
      "the module's source, its class configuration and mesh, a scenario, a session script\n"
      "with its expected transcript, and a README. Nothing that exists is replaced.");
}

int New(const Args& a) {
  const fs::path dir = PathFromUtf8(a.newDir.empty() ? a.newName : a.newDir);
  const std::string reason =
      hostsim::cli::WriteNewProject(a.newName, dir, hostsim::cli::TodayText(), std::cout);
  if (!reason.empty()) {
    Report(reason);
    return kExitFailure;
  }
  return OutputWritten() ? 0 : kExitFailure;
}

}  // namespace hostsim::cli::program
