// The commands of a session script, one a line, and their parser. One table holds every
// command's name, argument synopsis, description and argument reader; the parser, the help
// of `hostsim run` and the command table of docs/modules.md all come from it.
//
// A line whose first non-blank character is '#' is a comment, and so is the rest of a line
// from a '#' that follows a blank, except in `type`, which takes its text verbatim: the text
// starts after the one blank that follows the word "type" and runs to the end of the line.
// FILE (for load and save) is the rest of the line without surrounding blanks.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "camera_choice.h"
#include "chord.h"

namespace hostsim::cli {

struct Command {
  enum class Kind {
    Load,
    Focus,
    Step,
    Press,
    Hold,
    Type,
    Cancel,
    Hud,
    Inspect,
    Save,
    Visual,
    Render,
    Reload
  };
  Kind kind = Kind::Step;
  std::string arg;                     // FILE, NAME, TEXT or MODULE; empty when not given
  long long frames = 1;                // step, hold
  double dt = 0.02;                    // step, hold
  std::vector<Chord> chords;           // press (one), hold (one or more)
  int width = 0, height = 0;           // hud, render
  bool build = true;                   // visual build (true) or drop (false)
  std::optional<CameraChoice> camera;  // render: the camera chosen, when one is
};

// One command of the script language.
struct CommandSpec {
  Command::Kind kind;
  std::string_view name;      // the word that starts the line
  std::string_view synopsis;  // its arguments, e.g. "[N] [DT]"; empty when it takes none
  std::string_view summary;   // what it does, in one line
  // Reads the rest of the line after the name (comments still in it) into `c`, setting its
  // kind; returns an error text, or "" when the arguments are good.
  std::string (*parse)(std::string_view rest, Command& c);
  // Writes the arguments of `c` as `parse` reads them back (without the name); throws
  // std::invalid_argument when they cannot be written so (a file name with a " #", a name
  // with blanks).
  std::string (*format)(const Command& c);
};

// Every command, in the order the help lists them.
std::span<const CommandSpec> SessionCommands();

// "name synopsis", e.g. "step [N] [DT]".
std::string Usage(const CommandSpec& spec);

// The result of parsing one line: a command, nothing (blank or comment), or an error.
struct ParsedLine {
  std::optional<Command> command;
  std::string error;  // non-empty when the line is malformed
};

ParsedLine ParseLine(std::string_view line);

// The script line of a command, which ParseLine reads back as the same command; throws
// std::invalid_argument when the command cannot be written as a line.
std::string FormatLine(const Command& c);

// The command list of `hostsim run --help`: one "  USAGE  SUMMARY" line per command.
std::string CommandHelp();

// The command table of docs/modules.md, in Markdown: a header row, then one row per command.
std::string CommandTableMarkdown();

}  // namespace hostsim::cli
