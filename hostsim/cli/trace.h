// The trace of a run (`run --trace FILE`): every host call and callback the modules made, in
// the journal's one-line-per-entry form, each session command's lines under a
// "# SCRIPT:LINE: command" line. It is written out as the run goes, so that its memory does
// not grow with the run, into new content that takes the file's place when the run ends, or
// when it is stopped (a signal, a crash, a time limit) with what was traced up to the stop.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "hostsim/platform/files.h"
#include "hostsim/world.h"

namespace hostsim::cli {

class TraceWriter {
 public:
  TraceWriter() = default;
  // Stops following the journal it follows, if any; a trace not finished is given up.
  ~TraceWriter();
  TraceWriter(const TraceWriter&) = delete;
  TraceWriter& operator=(const TraceWriter&) = delete;

  // Begins the trace of `file` with the safe writer (and its rules): the file keeps its old
  // content until Finish. Returns "" or the reason.
  [[nodiscard]] std::string Open(const std::filesystem::path& file);
  // Turns `journal` on and takes every entry it records from now on, keeping none in it.
  void Follow(Journal& journal);
  // A session command begins: its "# SCRIPT:LINE: command" line, given without "# ". The lines
  // of the commands before go to the system first.
  void Mark(std::string_view command);
  // A frame has ended: the lines so far go to the system.
  void EndOfFrame();
  // Stops following the journal (and turns it off), writes what is left and puts the trace in
  // its file's place. Returns "" or the reason of the first failure of any write; the file then
  // keeps its old content. Once finished, or abandoned, it only says again how it ended.
  [[nodiscard]] std::string Finish();
  // Stops following the journal and gives the trace up: the file keeps its old content.
  void Abandon();

 private:
  static void Take(void* writer, const Journal::Entry& e);
  void Hand();      // the buffered lines to the system
  void Unfollow();  // the journal is left off and without a listener

  platform::FileReplacement file_;
  std::string buffer_;
  std::string error_;  // the first failure
  Journal* followed_ = nullptr;
  bool finished_ = false;
};

}  // namespace hostsim::cli
