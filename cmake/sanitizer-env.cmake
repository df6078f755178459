# Prints the environment of the sanitizer presets' tests, the hidden test preset "sanitizers"
# of CMakePresets.json, one NAME=VALUE a line with ${sourceDir} filled in, so that sanitizer
# runs outside ctest (scripts/fuzz.sh) use the very same:
#   cmake -P cmake/sanitizer-env.cmake
cmake_minimum_required(VERSION 3.25)
get_filename_component(source_dir "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
file(READ "${source_dir}/CMakePresets.json" presets)

string(JSON count LENGTH "${presets}" testPresets)
math(EXPR last "${count} - 1")
foreach(i RANGE ${last})
  string(JSON name GET "${presets}" testPresets ${i} name)
  if(name STREQUAL "sanitizers")
    string(JSON environment GET "${presets}" testPresets ${i} environment)
  endif()
endforeach()
if(NOT DEFINED environment)
  message(FATAL_ERROR "CMakePresets.json has no test preset \"sanitizers\"")
endif()

string(JSON count LENGTH "${environment}")
math(EXPR last "${count} - 1")
foreach(i RANGE ${last})
  string(JSON name MEMBER "${environment}" ${i})
  string(JSON value GET "${environment}" ${name})
  string(REPLACE "\${sourceDir}" "${source_dir}" value "${value}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${name}=${value}")
endforeach()
