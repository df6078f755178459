# Installs a build into WORK/prefix, runs the installed hostsim on the installed demo from
# another folder, checks that the paths the installed README names are installed beside it,
# then configures, builds and tests the example module the package ships (the buoy, in
# DOCDIR/examples/buoy) against that prefix only (no package registry, no other prefix).
#
#   cmake -DBUILD_DIR=<build> -DDOCDIR=<docs folder under the prefix> -DDEMO_EXPECTED=<file>
#         -DWORK=<dir> -DGENERATOR=<generator> -DCXX=<compiler> [-DBUILD_TYPE=<type>]
#         -P check_install.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/check_readme_paths.cmake)

# run(<what> <command>...): runs the command, stops with its output when it fails.
function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
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
run("configuring the example module"
    ${CMAKE_COMMAND} -S ${WORK}/src -B ${WORK}/build -G ${GENERATOR}
    -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF
    -DCMAKE_PREFIX_PATH=${prefix})
run("building the example module" ${CMAKE_COMMAND} --build ${WORK}/build)
run("the example module's test" ${CMAKE_CTEST_COMMAND} --test-dir ${WORK}/build
    --output-on-failure)
