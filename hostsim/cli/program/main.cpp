// hostsim: runs vessel modules in the stand-in host from scenario files and session scripts.
// Its commands are the rows of one table (Subcommands()), from which the parser, `hostsim
// --help` and the usage block of docs/modules.md all come; each command's options and body are
// in a file of its own beside this one (program.h).
#include <CLI/CLI.hpp>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <span>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "hostsim/cli/text.h"
#include "hostsim/platform/process.h"
#include "program.h"

namespace hostsim::cli::program {
namespace {

// The longest time limit an option takes, in seconds: a day.
constexpr int kMaxSeconds = 86400;

// A time limit in seconds: a decimal number above 0 and at most kMaxSeconds. The message
// quotes the value as given (escaped: it may hold anything).
const CLI::Validator kSeconds(
    [](std::string& text) -> std::string {
      double v = 0;
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
      if (!text.empty() && ec == std::errc() && end == text.data() + text.size() &&
          std::isfinite(v) && v > 0 && v <= kMaxSeconds)
        return {};
      return hostsim::cli::Quote(text, hostsim::cli::TextEncoding::Utf8) +
             " is not a number of seconds above 0 and at most " + std::to_string(kMaxSeconds);
    },
    "", "seconds");

// One command of the program, a row of the table the parser, the help and the guide's usage
// block are made from.
struct Subcommand {
  const char* name;
  const char* summary;      // one line, in the list of `hostsim --help`
  const char* rootHelp;     // what the folder of --root holds for it (null: takes no --root,
  const char* timeoutHelp;  // nor --timeout); what --timeout limits
  // Adds its arguments and its own options, bound to fields of `a`, and its help's footer.
  void (*addOptions)(CLI::App& command, Args& a);
  // Does the command once the command line is read.
  int (*action)(Args& a, const CLI::App& command);
};

constexpr const char* kRootHelp = "Folder with config/, meshes/ and modules/";
constexpr const char* kHangLimitHelp =
    "Stop a module's callback that runs longer than S seconds (at most a day) and report it "
    "as hung (default: no limit)";

// The options every command takes, declared here once.
void AddSharedOptions(CLI::App& command, const Subcommand& row, Args& a) {
  if (row.rootHelp == nullptr) return;
  command.add_option("--root", a.root, row.rootHelp)->type_name("DIR");
  command.add_option("--timeout", a.timeout, row.timeoutHelp)->type_name("S")->check(kSeconds);
}

// The commands, in the order of the help and of the message for an unknown one.
std::span<const Subcommand> Subcommands() {
  static const Subcommand kTable[] = {
    {"run", "Run a session script: load scenarios, step, press keys, type, draw the HUD, save.",
     kRootHelp, kHangLimitHelp, AddRunOptions, [](Args& a, const CLI::App&) { return Run(a); }},
    {"inspect", "Load a scenario and print the host's view of it as JSON.", kRootHelp,
     kHangLimitHelp, AddInspectOptions, [](Args& a, const CLI::App&) { return Inspect(a); }},
    {"check", "Test a vessel module for common faults with a battery of named checks.",
     "Folder with config/ and meshes/",
     "Time limit of one check's child process in seconds, at most a day (default 60, ample "
     "on a 2-core machine; a later check that would call a callback with the input an earlier "
     "one hung in is not run)",
     AddCheckOptions, Check},
    {"new", "Write a new module project that builds against hostsim and passes its tests.", nullptr,
     nullptr, AddNewOptions, [](Args& a, const CLI::App&) { return New(a); }},
#if defined(HOSTSIM_HAVE_RENDER)
    {"render", "Load a scenario and draw the focused vessel's view of it into a PNG picture.",
     kRootHelp, kHangLimitHelp, AddRenderOptions,
     [](Args& a, const CLI::App&) { return Render(a); }},
    {"play", "Run a scenario in a window in real time: keys go to the focused vessel.", kRootHelp,
     kHangLimitHelp, AddPlayOptions, [](Args& a, const CLI::App&) { return Play(a); }},
#endif
  };
  return kTable;
}

// The widest line of the usage block.
constexpr std::size_t kUsageWidth = 92;

// "hostsim NAME ARGUMENTS [--OPTION VALUE]...", from the arguments and options `command` was
// given (hidden ones left out), in lines of at most kUsageWidth, each after `indent`; a
// continued line starts under the first argument.
std::string Synopsis(const CLI::App& command, const std::string& indent) {
  const std::string head = "hostsim " + command.get_name() + " ";
  std::string out = indent + head;
  std::size_t column = head.size();
  bool first = true;
  for (const CLI::Option* o : command.get_options()) {
    if (o == command.get_help_ptr() || o->get_group().empty()) continue;
    std::string word = o->get_name();
    if (!o->get_positional() && !o->get_type_name().empty()) word += " " + o->get_type_name();
    if (!o->get_required()) word = "[" + word + "]";
    if (!first && column + 1 + word.size() > kUsageWidth) {
      out += "\n" + indent + std::string(head.size(), ' ');
      column = head.size();
    } else if (!first) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    first = false;
  }
  return out + "\n";
}

// The help's usage: a synopsis of every command, as docs/modules.md shows it, in place of the
// parser's generic line.
class Help : public CLI::Formatter {
 public:
  std::string make_usage(const CLI::App* app, std::string name) const override {
    if (app->get_parent() != nullptr) return CLI::Formatter::make_usage(app, std::move(name));
    std::string out = "Usage:\n";
    for (const CLI::App* command : app->get_subcommands({})) out += Synopsis(*command, "    ");
    return out + "    hostsim --help\n";
  }
};

// The program's work; main() adds only a last catch.
int Main(int argc, char** argv) {
  CLI::App app{
      "hostsim: the stand-in host for vessel modules. Runs scenarios and session scripts "
      "against the modules and shows what they did.",
      "hostsim"};
  app.formatter(std::make_shared<Help>());
  app.set_version_flag("--version", std::string("hostsim ") + HOSTSIM_VERSION);
  // Options are "--name" on every system: a Windows build would otherwise take an argument
  // that starts with '/' for an option, and a POSIX path given to it under Wine is one.
  app.allow_windows_style_options(false);
  app.require_subcommand(1);
  app.footer(
      "Without --root, an installed hostsim uses the host root of its installation\n"
      "(share/hostsim); one in a build tree the examples and the build's modules/ folder.\n"
      "Exit status: 0 done, 1 failed, 2 usage error, 3 hostsim itself crashed (check),\n"
      "4 a module crashed or hung (with a report on the standard error: what, where, the\n"
      "session line, the last host calls), 70 hostsim's own code crashed (no frame of a\n"
      "module's library on the stack; the same report), 128 + N stopped by signal N\n"
      "(SIGINT, SIGTERM, SIGHUP: the same report, with what was written so far kept whole).\n"
      "Every command runs a private copy of each module library: a build may rewrite the\n"
      "file while it runs.");

  Args args;
  args.argv0 = argv[0];
  std::vector<CLI::App*> commands;
  std::string names;
  for (const Subcommand& row : Subcommands()) {
    CLI::App* command = app.add_subcommand(row.name, row.summary);
    row.addOptions(*command, args);
    AddSharedOptions(*command, row, args);
    commands.push_back(command);
    names += (names.empty() ? "" : ", ") + std::string(row.name);
  }

  // CLI11 would report a mistyped command only as a missing one.
  if (argc > 1 && argv[1][0] != '-' &&
      (", " + names + ",").find(", " + std::string(argv[1]) + ",") == std::string::npos) {
    std::cerr << "hostsim: unknown command "
              << hostsim::cli::Quote(argv[1], hostsim::cli::TextEncoding::Utf8)
              << " (commands: " << names << ")\nRun 'hostsim --help' for usage.\n";
    return kExitUsage;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
    std::cerr << "hostsim: " << e.what() << "\nRun 'hostsim --help' for usage.\n";
    return kExitUsage;
  }

  for (std::size_t i = 0; i < commands.size(); ++i)
    if (*commands[i]) return Subcommands()[i].action(args, *commands[i]);
  return kExitUsage;  // not reached: the parser requires a command
}

}  // namespace
}  // namespace hostsim::cli::program

int main(int argc, char** argv) {
  using hostsim::cli::program::FailureKeepingOutput;
  using hostsim::cli::program::KeepOutputFailures;
  using hostsim::cli::program::kExitFailure;
  using hostsim::cli::program::OutputWritten;
  // Before anything is opened: a file opened while a standard stream is closed would take its
  // number and get what is written to it.
  const hostsim::platform::StandardStreams closed = hostsim::platform::HoldStandardStreams();
#if !defined(_WIN32)
  // Beyond a file-size limit a write fails and is reported, rather than ending the program
  // without a word.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  // What the commands do not catch themselves (memory running out, say) ends the program
  // with a message and the failure status, not with an abort.
  FailureKeepingOutput output(std::cout.rdbuf(), closed.outputClosed);
  std::cout.rdbuf(&output);
  KeepOutputFailures(&output);
  int status = kExitFailure;
  try {
    status = hostsim::cli::program::Main(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "hostsim: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "hostsim: unexpected failure\n";
  }
  // Whatever a command printed (the help, the version, check's list and results too) must
  // have reached its reader.
  if (!OutputWritten() && status == 0) status = kExitFailure;
  KeepOutputFailures(nullptr);
  std::cout.rdbuf(output.Inner());
  return status;
}
