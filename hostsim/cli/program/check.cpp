// hostsim check: a module against the battery of named checks (hostsim/check/).
#include <charconv>
#include <cstdint>
#include <iostream>
#include <limits>
#include <string>
#include <system_error>

#include "hostsim/cli/text.h"
#include "hostsim/platform/path_text.h"
#include "program.h"

using hostsim::platform::PathFromUtf8;

namespace hostsim::cli::program {
namespace {

// A seed: a decimal integer from 0 to 2^64 - 1, without a sign.
const CLI::Validator kSeed(
    [](std::string& text) -> std::string {
      std::uint64_t v = 0;
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
      if (!text.empty() && text[0] != '-' && ec == std::errc() && end == text.data() + text.size())
        return {};
      return hostsim::cli::Quote(text, hostsim::cli::TextEncoding::Utf8) +
             " is not a whole number from 0 to " +
             std::to_string(std::numeric_limits<std::uint64_t>::max());
    },
    "", "seed");

}  // namespace

void AddCheckOptions(CLI::App& command, Args& a) {
  hostsim::check::Options& o = a.check;
  command.add_option("MODULE", a.module, "Module library to check (.so; .dll on Windows)")
      ->type_name("FILE");
  command
      .add_option("--class", o.className,
                  "Check this class only (default: every class whose configuration names "
                  "the module)")
      ->type_name("NAME");
  command.add_option("--filter", o.filter, "Run the checks whose names match")->type_name("REGEX");
  command.add_flag("--list", o.list, "List the checks with their descriptions");
  command.add_option("--json", o.json, "Write the results as JSON")->type_name("FILE");
  command.add_option("--junit", o.junit, "Write the results as JUnit XML")->type_name("FILE");
  command.add_option("--seed", o.seed, "Seed of the random input (default: a new one)")
      ->type_name("N")
      ->check(kSeed);
  command.add_flag("--memcheck", o.memcheck,
                   "Run each check's child under Valgrind's memcheck: reads of memory never set, "
                   "accesses to memory not owned and double frees in the module fail the check "
                   "(Linux; many times slower)");
  command.add_flag("--in-process", o.inProcess,
                   "Run the checks in this process, not each in a child (a crash ends the run)");
  // Given by a parent run to its child processes, not by a user.
  command.add_option("--journal-tail", o.journalTail)->group("");
  command.add_flag("--under-memcheck", o.underMemcheck)->group("");
  command.add_option("--hang-after", o.hangSeconds)->group("");
  command.add_option("--hung-in", o.hangs)->group("");
  command.add_option("--library-copy", a.libraryCopy)->group("");
  command.footer(
      "Each check runs in a child process of its own with a time limit; a crash or a hang\n"
      "fails that check and the run goes on. Exit status: 0 when no check failed, crashed\n"
      "or hung, 1 otherwise, 2 for a usage error, 3 when hostsim itself crashed. Every\n"
      "failure prints the seed that repeats it.");
}

int Check(Args& a, const CLI::App& command) {
  hostsim::check::Options& o = a.check;
  o.module = PathFromUtf8(a.module);
  o.seedGiven = command.count("--seed") > 0;
  o.root = a.root;
  o.libraryCopy = PathFromUtf8(a.libraryCopy);
  if (command.count("--timeout") > 0) o.timeoutSeconds = a.timeout;
  try {
    const hostsim::Paths paths = ChoosePaths(o.root, a.argv0);
    return hostsim::check::Main(o, paths, std::cout, std::cerr);
  } catch (const hostsim::Error& e) {
    Report(e.what());
    return kExitFailure;
  }
}

}  // namespace hostsim::cli::program
