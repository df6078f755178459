// The files a run reads are its inputs: no output of the run (a save, a picture, a trace, a
// recording, a check's JSON or JUnit file) may replace one.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "hostsim/world.h"

namespace hostsim {

// An input and how a message names it ("the session script").
struct Input {
  std::string what;
  std::filesystem::path path;
};

// The files `world` read, named by their kind and path ("the class configuration
// root/config/tug.cfg"); its scenarios only when `scenarios` is set.
std::vector<Input> InputsOf(const World& world, bool scenarios);

// Why an output may not be written at `target`, the one question every writer of a run asks
// (saves, pictures, traces, recordings, the window's saves, check's reports): the reason why
// it is no regular file ("Is a directory", "not a regular file but a FIFO") when something
// other than a regular file is there; "it is an input of this run: WHAT" for one of `inputs`
// (the same file, however it is spelled or linked); "it is in the NAME folder, an input of
// this run" for a file in the config, meshes or modules folder of `root`; "" when it may be
// written.
std::string InputReason(const std::vector<Input>& inputs, const Paths& root,
                        const std::filesystem::path& target);

}  // namespace hostsim
