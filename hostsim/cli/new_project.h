// `hostsim new NAME [DIR]`: writes a small, complete module project, made from the template
// files in hostsim/cli/new_project/, which the build embeds into the program.
#pragma once

#include <filesystem>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace hostsim::cli {

// One template file as embedded: its path under the project (placeholders in it, ".in"
// dropped) and its bytes.
struct TemplateFile {
  std::string_view path;
  std::string_view bytes;
};

// The embedded templates (defined by the source the build generates).
std::span<const TemplateFile> NewProjectTemplates();

// The longest module name `hostsim new` takes: its class name must keep the lines of the
// generated C++ within 100 columns.
inline constexpr std::size_t kMaxModuleNameLength = 40;

// Why `name` cannot name a new module ("" when it can): not a C identifier, too long, or a
// name the generated project cannot use (reserved by CMake or by Windows, or giving a class
// name the host interface or the template already uses).
std::string ModuleNameError(std::string_view name);

// The C++ class name for module `name`: its parts between underscores, each starting with a
// capital ("wind_sock" -> "WindSock"); with "Vessel" added when that leaves no small letter,
// since such a name may be a macro ("NULL", "EOF"), or nothing but digits or nothing at all.
std::string ClassNameOf(std::string_view name);

// The project's files for module `name`: relative paths (with '/') and contents, the
// placeholders @NAME@, @CLASS@ and @DATE@ (`date`, "Mmm dd yyyy") replaced.
std::vector<std::pair<std::string, std::string>> NewProjectFiles(std::string_view name,
                                                                 std::string_view date);

// Writes the project for `name` into the folder `dir`, which must not exist or be an empty
// folder; every file through the safe writer, into a fresh sibling folder that is renamed to
// `dir` once complete. Prints what it wrote and what to run next to `out`. Returns "" or the
// reason it failed, with nothing left behind.
std::string WriteNewProject(std::string_view name, const std::filesystem::path& dir,
                            std::string_view date, std::ostream& out);

// Today's date as "Mmm dd yyyy" (UTC), for ModuleDate.
std::string TodayText();

}  // namespace hostsim::cli
