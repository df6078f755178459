# Prints the environment every sanitizer run has (cmake/TestEnvironment.cmake, which the
# sanitizer builds' tests get), one NAME=VALUE a line, so that sanitizer runs outside ctest
# (scripts/fuzz.sh) use the very same:
#   cmake -P cmake/sanitizer-env.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/TestEnvironment.cmake)
get_filename_component(source_dir "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
lumipod_sanitizer_environment(environment ${source_dir})
foreach(line IN LISTS environment)
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${line}")
endforeach()
