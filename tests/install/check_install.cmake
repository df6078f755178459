# Installs a build into WORK/prefix, runs the installed hostsim on the installed demo from
# another folder, checks that the paths the installed README names are installed beside it,
# then configures, builds and tests the example module the package ships (the buoy, in
# DOCDIR/examples/buoy) and a project the installed `hostsim new` writes against that prefix
# only (no package registry, no other prefix); and a project the build tree's `hostsim new`
# writes against the build tree, as a prefix of its own.
#
#   cmake -DBUILD_DIR=<build> -DDOCDIR=<docs folder under the prefix> -DDEMO_EXPECTED=<file>
#         -DWORK=<dir> -DGENERATOR=<generator> -DCXX=<compiler> [-DBUILD_TYPE=<type>]
#         -DSOURCE_DIR=<source tree> [-DCLANG_FORMAT=<program>] -P check_install.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/check_readme_paths.cmake)

# run(<what> <command>...): runs the command, stops with its output when it fails.
function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
endfunction()

# check_project(<what> <source> <prefix> [DEFAULT_TYPE]): configures the project in <source>
# into <source>/build, finding hostsim in <prefix> only, builds it and runs its tests. It is
# built as hostsim was, or with DEFAULT_TYPE as the project's own default build type.
function(check_project what src prefix)
  set(type -DCMAKE_BUILD_TYPE=${BUILD_TYPE})
  if(ARGV3 STREQUAL "DEFAULT_TYPE")
    set(type)
  endif()
  run("configuring ${what}" ${CMAKE_COMMAND} -S ${src} -B ${src}/build -G ${GENERATOR}
      -DCMAKE_CXX_COMPILER=${CXX} ${type}
      -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF
      -DCMAKE_PREFIX_PATH=${prefix})
  run("building ${what}" ${CMAKE_COMMAND} --build ${src}/build)
  run("the tests of ${what}" ${CMAKE_CTEST_COMMAND} --test-dir ${src}/build --output-on-failure)
endfunction()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/elsewhere)
set(prefix ${WORK}/prefix)
run("installing ${BUILD_DIR}" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

execute_process(
  COMMAND ${prefix}/bin/hostsim run ../prefix/share/hostsim/examples/sessions/demo.session
          --out out
  WORKING_DIRECTORY ${WORK}/elsewhere
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
file(READ ${DEMO_EXPECTED} expected)
if(NOT rc EQUAL 0 OR NOT out STREQUAL expected)
  file(WRITE ${WORK}/demo.actual "${out}")
  message(FATAL_ERROR "the installed hostsim's demo session: exit ${rc}, output in "
                      "${WORK}/demo.actual (expected ${DEMO_EXPECTED})\n${err}")
endif()

check_readme_paths(${prefix}/${DOCDIR}/README.md)

# The installed example is copied out first, as a user starts their own module from it.
file(COPY ${prefix}/${DOCDIR}/examples/buoy/ DESTINATION ${WORK}/src)
check_project("the example module" ${WORK}/src ${prefix})

# `hostsim new` of the installed program: the project it writes builds against the prefix and
# passes its own tests. Its C++ is as clang-format writes it (when there is one), also for a
# name of the longest length.
set(fresh ${WORK}/fresh)
file(MAKE_DIRECTORY ${fresh})
run("hostsim new" ${prefix}/bin/hostsim new windsock ${fresh}/windsock)
check_project("the new module project" ${fresh}/windsock ${prefix} DEFAULT_TYPE)
# Built as it comes, the module carries the line table that crash and check reports name its
# source lines by.
find_program(READELF readelf)
if(READELF)
  execute_process(COMMAND ${READELF} --debug-dump=decodedline
                          ${fresh}/windsock/build/root/modules/windsock.so
                  OUTPUT_VARIABLE lines ERROR_QUIET)
  if(NOT lines MATCHES "windsock\\.cpp")
    message(FATAL_ERROR "the new project's module, built by default, has no line table")
  endif()
endif()
if(CLANG_FORMAT)
  set(long a_name_of_forty_characters_for_one_lamp_)
  run("hostsim new ${long}" ${prefix}/bin/hostsim new ${long} ${fresh}/${long})
  file(COPY ${SOURCE_DIR}/.clang-format DESTINATION ${fresh})
  run("clang-format on the new projects" ${CLANG_FORMAT} --dry-run --Werror
      ${fresh}/windsock/windsock.cpp ${fresh}/${long}/${long}.cpp)
endif()

# The build tree as the prefix: its hostsim writes the project, which finds the build tree's
# package config, runtime, headers and load hook, and runs its tests with the build's hostsim.
run("the build tree's hostsim new" ${BUILD_DIR}/bin/hostsim new windsock ${WORK}/tree/windsock)
check_project("the new module project against the build tree" ${WORK}/tree/windsock ${BUILD_DIR})
