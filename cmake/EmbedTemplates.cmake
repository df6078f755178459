# Writes a C++ source holding every file under a folder, for `hostsim new`: the files' paths
# relative to the folder and their bytes, as hostsim::cli::NewProjectTemplates()
# (hostsim/cli/new_project.h) returns them.
#
#   cmake -DDIR=<folder> -DOUT=<source to write> -P EmbedTemplates.cmake
cmake_minimum_required(VERSION 3.25)

file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${DIR} ${DIR}/*)
list(SORT files)
set(arrays "")
set(rows "")
set(i 0)
foreach(file IN LISTS files)
  file(READ ${DIR}/${file} hex HEX)
  string(LENGTH "${hex}" size)
  math(EXPR size "${size} / 2")
  # Every byte as \xNN, 32 of them on a line of adjacent literals.
  string(REGEX REPLACE "(................................................................)" "\\1\n"
         hex "${hex}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" bytes "${hex}")
  string(REPLACE "\n" "\"\n    \"" bytes "${bytes}")
  string(APPEND arrays "// ${file}\nconstexpr char kFile${i}[] =\n    \"${bytes}\";\n")
  string(APPEND rows "    {\"${file}\", {kFile${i}, ${size}}},\n")
  math(EXPR i "${i} + 1")
endforeach()

file(CONFIGURE OUTPUT ${OUT} @ONLY CONTENT [[
// Made by cmake/EmbedTemplates.cmake from hostsim/cli/new_project/; do not edit.
#include "hostsim/cli/new_project.h"

namespace hostsim::cli {
namespace {

@arrays@
constexpr TemplateFile kTemplates[] = {
@rows@};

}  // namespace

std::span<const TemplateFile> NewProjectTemplates() { return kTemplates; }

}  // namespace hostsim::cli
]])
