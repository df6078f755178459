# Runs the hostsim program once and checks what it did: its exit status, its standard output
# and its error output (each against a file or a regular expression), and optionally a file
# it wrote. Line endings are normalised and '\' in error output becomes '/', so the same
# expected files serve a Windows build run under an emulator.
#
#   cmake -DHOSTSIM=<program> [-DEMULATOR=<runner|args>] -DWORKDIR=<dir> -DARGS=<a|b|c>
#         [-DEXPECT_EXIT=<n>] [-DSTDOUT_FILE=<file>] [-DSTDOUT_REGEX=<re>]
#         [-DSTDERR_FILE=<file>] [-DSTDERR_REGEX=<re>] [-DSESSION=<script>]
#         [-DWRITTEN_FILE=<file> -DWRITTEN_REGEX=<re>] [-DGUIDE_USAGE=<guide.md>]
#         -P check_cli.cmake
#
# SESSION names a script whose "# expect exit N" line gives the exit status (default 0).
# With the environment variable HOSTSIM_UPDATE_GOLDEN=1 the expected STDOUT_FILE and
# STDERR_FILE are rewritten from this run instead of compared; read them before committing.
cmake_minimum_required(VERSION 3.25)

foreach(var HOSTSIM WORKDIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check_cli.cmake: ${var} is not set")
  endif()
endforeach()

# The program's arguments and the emulator's command come as lists with '|' between elements.
string(REPLACE "|" ";" ARGS "${ARGS}")
string(REPLACE "|" ";" EMULATOR "${EMULATOR}")

if(NOT DEFINED EXPECT_EXIT)
  set(EXPECT_EXIT 0)
  if(DEFINED SESSION)
    file(READ "${WORKDIR}/${SESSION}" _script)
    if(_script MATCHES "# expect exit ([0-9]+)")
      set(EXPECT_EXIT ${CMAKE_MATCH_1})
    endif()
  endif()
endif()

if(DEFINED WRITTEN_FILE)
  file(REMOVE "${WRITTEN_FILE}")
endif()

execute_process(
  COMMAND ${EMULATOR} ${HOSTSIM} ${ARGS}
  WORKING_DIRECTORY "${WORKDIR}"
  OUTPUT_VARIABLE out
  ERROR_VARIABLE err
  RESULT_VARIABLE rc)

string(REPLACE "\r\n" "\n" out "${out}")
string(REPLACE "\r\n" "\n" err "${err}")
string(REPLACE "\\" "/" err "${err}")
# A program built for another system and run under an emulator prints that system's path
# separators and its C library's rounding; the expected files come from this one.
set(emulated FALSE)
if(EMULATOR)
  set(emulated TRUE)
  string(REPLACE "\\" "/" out "${out}")
  include(${CMAKE_CURRENT_LIST_DIR}/compare_numbers.cmake)
endif()

set(failed "")

if(NOT "${rc}" STREQUAL "${EXPECT_EXIT}")
  string(APPEND failed "exit status ${rc}, expected ${EXPECT_EXIT}\n")
endif()

set(update "$ENV{HOSTSIM_UPDATE_GOLDEN}")

# Compares `actual` with the contents of `expected_file`; on a difference keeps the actual
# text beside the build's output and shows a diff.
function(compare_with_file what actual expected_file)
  if(update)
    file(WRITE "${expected_file}" "${actual}")
    message(STATUS "updated ${expected_file}")
    return()
  endif()
  if(NOT EXISTS "${expected_file}")
    set(failed "${failed}${what}: expected file ${expected_file} is missing\n" PARENT_SCOPE)
    return()
  endif()
  file(READ "${expected_file}" expected)
  string(REPLACE "\r\n" "\n" expected "${expected}")
  set(close FALSE)
  if(emulated AND NOT actual STREQUAL expected)
    texts_match_but_for_rounding(close "${expected}" "${actual}")
  endif()
  if(NOT actual STREQUAL expected AND NOT close)
    get_filename_component(name "${expected_file}" NAME)
    set(actual_file "${CMAKE_CURRENT_BINARY_DIR}/${name}.actual")
    file(WRITE "${actual_file}" "${actual}")
    find_program(DIFF diff)
    set(shown "")
    if(DIFF)
      execute_process(COMMAND ${DIFF} -u "${expected_file}" "${actual_file}"
                      OUTPUT_VARIABLE shown)
    endif()
    set(failed "${failed}${what} differs from ${expected_file} (actual: ${actual_file})\n${shown}"
        PARENT_SCOPE)
  endif()
endfunction()

if(DEFINED STDOUT_FILE)
  compare_with_file("standard output" "${out}" "${STDOUT_FILE}")
endif()
if(DEFINED STDERR_FILE)
  compare_with_file("error output" "${err}" "${STDERR_FILE}")
elseif(DEFINED STDERR_REGEX)
  if(NOT err MATCHES "${STDERR_REGEX}")
    string(APPEND failed "error output does not match \"${STDERR_REGEX}\"\n")
  endif()
elseif(NOT err STREQUAL "")
  string(APPEND failed "unexpected error output\n")
endif()
if(DEFINED STDOUT_REGEX AND NOT out MATCHES "${STDOUT_REGEX}")
  string(APPEND failed "standard output does not match \"${STDOUT_REGEX}\"\n")
endif()
# The guide's usage block (the indented lines after "## Using hostsim") is printed as it is.
if(DEFINED GUIDE_USAGE)
  file(READ "${GUIDE_USAGE}" readme)
  string(REPLACE "\r\n" "\n" readme "${readme}")
  if(NOT readme MATCHES "\n## Using hostsim\n\n((    [^\n]*\n)+)")
    string(APPEND failed "${GUIDE_USAGE} has no usage block after \"## Using hostsim\"\n")
  else()
    string(FIND "${out}" "${CMAKE_MATCH_1}" at)
    if(at EQUAL -1)
      string(APPEND failed "standard output lacks the usage block of ${GUIDE_USAGE}\n")
    endif()
  endif()
endif()
if(DEFINED WRITTEN_FILE)
  if(NOT EXISTS "${WRITTEN_FILE}")
    string(APPEND failed "${WRITTEN_FILE} was not written\n")
  else()
    file(READ "${WRITTEN_FILE}" written)
    if(DEFINED WRITTEN_REGEX AND NOT written MATCHES "${WRITTEN_REGEX}")
      string(APPEND failed "${WRITTEN_FILE} does not match \"${WRITTEN_REGEX}\"\n")
    endif()
  endif()
endif()

if(failed)
  message(FATAL_ERROR "hostsim ${ARGS}\n${failed}--- error output ---\n${err}")
endif()
