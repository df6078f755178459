#include "program.h"

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <system_error>

#include "hostsim/cli/root.h"
#include "hostsim/cli/text.h"
#include "hostsim/platform/path_text.h"

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace fs = std::filesystem;
using hostsim::platform::PathFromUtf8;

namespace hostsim::cli::program {
namespace {

// How long a callback runs before the watch says so on the standard error.
constexpr double kSlowCallbackSeconds = 5;

// The folder of the running executable, or empty when it cannot be told.
fs::path ExecutableDir(const char* argv0) {
  std::error_code ec;
#if defined(_WIN32)
  wchar_t buf[32768];
  DWORD n = GetModuleFileNameW(nullptr, buf, static_cast<DWORD>(std::size(buf)));
  if (n > 0 && n < std::size(buf)) return fs::path(std::wstring(buf, n)).parent_path();
#else
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec && !self.empty()) return self.parent_path();
#endif
  if (argv0 && *argv0) {
    fs::path p = fs::absolute(PathFromUtf8(argv0), ec);
    if (!ec) return p.parent_path();
  }
  return {};
}

// Folders when no --root is given: those of the build tree or of the installation this
// program is part of.
hostsim::Paths DefaultPaths(const char* argv0) {
  return hostsim::cli::DefaultPaths(ExecutableDir(argv0), {PathFromUtf8(HOSTSIM_INSTALLED_ROOT),
                                                           PathFromUtf8(HOSTSIM_SOURCE_DIR)});
}

const FailureKeepingOutput* g_output = nullptr;  // set by main for the program's life

}  // namespace

hostsim::Paths ChoosePaths(const std::string& root, const char* argv0) {
  hostsim::Paths paths;
  if (root.empty()) {
    paths = DefaultPaths(argv0);
  } else {
    std::error_code ec;
    if (!fs::is_directory(PathFromUtf8(root), ec))
      throw hostsim::Error("no such root folder (--root)", root);
    paths = hostsim::Paths::FromRoot(PathFromUtf8(root));
  }
  paths.copies = std::make_shared<hostsim::LibraryCopies>();
  return paths;
}

void Report(const std::string& message) { std::cerr << hostsim::cli::ErrorText(message) << "\n"; }

void LoadScenario(hostsim::World& world, const std::string& scenario) {
  try {
    hostsim::BlamingModules(world, [&] { world.LoadScenario(PathFromUtf8(scenario)); });
  } catch (const hostsim::UnknownClassError& e) {
    throw hostsim::cli::WithRootHint(e);
  }
  for (const std::string& w : world.TakeWarnings())
    std::cerr << hostsim::cli::ErrorText("warning: " + w) << "\n";
}

std::string Located(const hostsim::Error& e, const std::string& file) {
  if (!e.file().empty()) return e.what();
  return file + ": " + e.message();
}

WatchOptions StoppableWatch(double hangSeconds, double stopGrace) {
  WatchOptions w;
  w.hangSeconds = hangSeconds;
  w.stopOnSignals = true;
  w.stopGrace = stopGrace;
  w.slowSeconds = kSlowCallbackSeconds;
  return w;
}

FailureKeepingOutput::int_type FailureKeepingOutput::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  if (closed_) return traits_type::eof();
  return Kept(inner_->sputc(traits_type::to_char_type(c)) == traits_type::eof())
             ? c
             : traits_type::eof();
}

std::streamsize FailureKeepingOutput::xsputn(const char* s, std::streamsize n) {
  if (closed_) return 0;
  const std::streamsize written = inner_->sputn(s, n);
  Kept(written != n);
  return written;
}

int FailureKeepingOutput::sync() {
  if (closed_) return 0;
  return Kept(inner_->pubsync() != 0) ? 0 : -1;
}

bool FailureKeepingOutput::Kept(bool failed) {
  if (failed && error_ == 0) error_ = errno != 0 ? errno : EIO;
  return !failed;
}

void KeepOutputFailures(const FailureKeepingOutput* output) { g_output = output; }

bool OutputWritten(int error) {
  static bool reported = false;
  std::cout.flush();
  if (error == 0 && g_output != nullptr) error = g_output->error();
  if (error == 0) error = errno;
  if (std::cout && std::ferror(stdout) == 0) return true;
  if (!reported)
    Report("standard output: cannot write" +
           (error != 0 ? ": " + std::generic_category().message(error) : std::string()));
  reported = true;
  return false;
}

}  // namespace hostsim::cli::program
