#include "new_project.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <system_error>

#include "hostsim/platform/files.h"
#include "hostsim/platform/path_text.h"

namespace fs = std::filesystem;

namespace hostsim::cli {
namespace {

bool SameLetters(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

// Target names CMake keeps for itself (and "CMAKE" and "PROJECT", whose variables project()
// would set), in any case: a module target cannot have them.
constexpr std::string_view kCMakeNames[] = {"all",
                                            "clean",
                                            "help",
                                            "install",
                                            "test",
                                            "package",
                                            "preinstall",
                                            "package_source",
                                            "edit_cache",
                                            "rebuild_cache",
                                            "list_install_components",
                                            "ALL_BUILD",
                                            "ZERO_CHECK",
                                            "RUN_TESTS",
                                            "cmake",
                                            "project"};

// File names Windows keeps for devices, with any extension: no config/NAME.cfg could be made.
bool WindowsDeviceName(std::string_view name) {
  for (std::string_view device : {"CON", "PRN", "AUX", "NUL"})
    if (SameLetters(name, device)) return true;
  return name.size() == 4 &&
         (SameLetters(name.substr(0, 3), "COM") || SameLetters(name.substr(0, 3), "LPT")) &&
         name[3] >= '1' && name[3] <= '9';
}

// Names with a capital first that the generated source sees besides its class: the host
// interface's and the template's own. A class of the same name would not compile.
constexpr std::string_view kTakenClassNames[] = {
    "LightEmitter",      "PointLight",       "SpotLight", "OmniLight",    "InputCallback",
    "ModuleExitHook",    "ZvcInitFn",        "ZvcExitFn", "ModuleDateFn", "GetModuleVersionFn",
    "ModuleDate",        "GetModuleVersion", "Date2Int",  "InitLib",      "ParsePercent",
    "BrightnessEntered", "ShowLamp"};

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
    text.replace(at, from.size(), to);
    at += to.size();
  }
  return text;
}

// A sibling of `dir` that did not exist and now does, empty, for the project's files.
std::string MakeScratchFolder(const fs::path& dir, fs::path& scratch) {
  const fs::path parent = dir.parent_path();
  for (int n = 1; n < 1000; ++n) {
    scratch =
        parent / ("." + platform::PathToUtf8(dir.filename()) + ".partial-" + std::to_string(n));
    std::error_code ec;
    if (fs::create_directory(scratch, ec)) return {};
    if (ec) return platform::PathToUtf8(scratch) + ": " + ec.message();
  }
  return platform::PathToUtf8(parent) + ": no free name for a scratch folder";
}

}  // namespace

std::string ModuleNameError(std::string_view name) {
  const auto identifierChar = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  };
  if (name.empty() || (name[0] >= '0' && name[0] <= '9') ||
      !std::all_of(name.begin(), name.end(), identifierChar))
    return "is not a C identifier (letters, digits and '_', not starting with a digit)";
  if (name.size() > kMaxModuleNameLength)
    return "is longer than " + std::to_string(kMaxModuleNameLength) + " characters";
  for (std::string_view taken : kCMakeNames)
    if (SameLetters(name, taken)) return "is a name CMake keeps for itself";
  if (WindowsDeviceName(name)) return "is a device name on Windows, not a file name";
  if (SameLetters(name, "hostsim")) return "is the name of the host's own library";
  const std::string className = ClassNameOf(name);
  for (std::string_view taken : kTakenClassNames)
    if (className == taken)
      return "gives the class name " + className + ", which the module's source uses already";
  return {};
}

std::string ClassNameOf(std::string_view name) {
  std::string out;
  bool capital = true;
  for (char c : name) {
    if (c == '_') {
      capital = true;
      continue;
    }
    out += capital ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
    capital = false;
  }
  const bool small =
      std::any_of(out.begin(), out.end(), [](char c) { return c >= 'a' && c <= 'z'; });
  if (!small) {
    // A leading digit (from "_1") cannot start an identifier: the word goes first then.
    if (!out.empty() && out[0] >= '0' && out[0] <= '9') return "Vessel" + out;
    out += "Vessel";
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> NewProjectFiles(std::string_view name,
                                                                 std::string_view date) {
  const std::string className = ClassNameOf(name);
  const auto fill = [&](std::string_view text) {
    std::string out = ReplaceAll(std::string(text), "@NAME@", name);
    out = ReplaceAll(std::move(out), "@CLASS@", className);
    return ReplaceAll(std::move(out), "@DATE@", date);
  };
  std::vector<std::pair<std::string, std::string>> files;
  for (const TemplateFile& t : NewProjectTemplates()) {
    std::string path = fill(t.path);
    if (path.ends_with(".in")) path.resize(path.size() - 3);
    files.emplace_back(std::move(path), fill(t.bytes));
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string WriteNewProject(std::string_view name, const fs::path& dir, std::string_view date,
                            std::ostream& out) {
  const std::string shown = platform::PathToUtf8(dir);
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(dir, ec);
  const bool existed = fs::exists(status);
  if (existed && !fs::is_directory(status))
    return shown + ": cannot write the project: it exists and is not a folder";
  if (existed && !fs::is_empty(dir, ec))
    return shown + ": cannot write the project: the folder is not empty (nothing was changed)";
  const fs::path target = fs::absolute(dir, ec).lexically_normal();
  if (ec) return shown + ": " + ec.message();
  const fs::path full = target.has_filename() ? target : target.parent_path();
  if (std::string reason = platform::CreateFolders(full.parent_path()); !reason.empty())
    return "cannot create the folder " + reason;

  fs::path scratch;
  if (std::string reason = MakeScratchFolder(full, scratch); !reason.empty())
    return "cannot write the project: " + reason;
  const auto files = NewProjectFiles(name, date);
  std::string reason;
  for (const auto& [path, bytes] : files) {
    const fs::path file = scratch / platform::PathFromUtf8(path);
    reason = platform::CreateFolders(file.parent_path());
    if (reason.empty()) reason = platform::WriteFile(file, bytes);
    if (!reason.empty()) {
      reason = shown + "/" + path + ": cannot write: " + reason;
      break;
    }
  }
  if (reason.empty() && !existed) {
    fs::rename(scratch, full, ec);
    if (ec) reason = shown + ": cannot move the project into place: " + ec.message();
  } else if (reason.empty()) {
    // The empty folder stays (it may be where the user stands): the complete project's
    // entries move into it, and back out should one of them not.
    std::vector<fs::path> entries, moved;
    for (const fs::directory_entry& e : fs::directory_iterator(scratch, ec))
      entries.push_back(e.path().filename());
    for (const fs::path& entry : entries) {
      fs::rename(scratch / entry, full / entry, ec);
      if (ec) {
        reason = shown + ": cannot move the project into place: " + ec.message();
        break;
      }
      moved.push_back(entry);
    }
    if (!reason.empty())
      for (const fs::path& entry : moved) fs::rename(full / entry, scratch / entry, ec);
    if (reason.empty()) fs::remove(scratch, ec);
  }
  if (!reason.empty()) {
    fs::remove_all(scratch, ec);
    return reason;
  }

  out << "hostsim new: wrote the module project " << name << " in " << shown << ":\n";
  for (const auto& [path, bytes] : files) out << "  " << path << "\n";
  out << "Build it and run its tests (with -DCMAKE_PREFIX_PATH=<hostsim's prefix> when it is "
         "not installed in /usr or /usr/local):\n"
      << "  cmake -S " << shown << " -B " << shown << "/build\n"
      << "  cmake --build " << shown << "/build\n"
      << "  ctest --test-dir " << shown << "/build\n"
      << "Then try it in a window: hostsim play " << shown << "/scenarios/" << name
      << ".scn --root " << shown << "/build/root\n"
      << "(leave it open: each build of the module reloads it there)\n";
  return {};
}

std::string TodayText() {
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::chrono::year_month_day day{
      std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now())};
  char text[16];
  std::snprintf(text, sizeof text, "%s %02u %04d", kMonths[static_cast<unsigned>(day.month()) - 1],
                static_cast<unsigned>(day.day()), static_cast<int>(day.year()));
  return text;
}

}  // namespace hostsim::cli
