# The host interface reference: HTML that Doxygen makes from the contract comments of the
# host/ headers (docs/reference/Doxyfile.in), built by the target host_reference into
# BUILD/docs/host-reference/html and installed with hostsim's documents
# (share/doc/hostsim/docs/host-reference/). An undocumented function, class or member of the
# interface fails that target, and so the build.
#
# LUMIPOD_HOST_REFERENCE: ON requires Doxygen (the release preset); AUTO builds the reference
# where Doxygen is found and leaves it out elsewhere, with a note in its place (the package
# preset); OFF leaves it out. HOSTSIM_HOST_REFERENCE tells whether this build makes it.
set(LUMIPOD_HOST_REFERENCE AUTO CACHE STRING "Build the host interface reference (ON, AUTO, OFF)")
set_property(CACHE LUMIPOD_HOST_REFERENCE PROPERTY STRINGS ON AUTO OFF)

if(LUMIPOD_HOST_REFERENCE STREQUAL "ON")
  find_package(Doxygen REQUIRED)
elseif(LUMIPOD_HOST_REFERENCE STREQUAL "AUTO")
  find_package(Doxygen QUIET)
endif()
# The filter is an awk script: Doxygen runs it on the build machine, which is Linux.
find_program(LUMIPOD_AWK NAMES awk gawk mawk)
if(LUMIPOD_HOST_REFERENCE STREQUAL "ON" AND NOT LUMIPOD_AWK)
  message(FATAL_ERROR "the host interface reference needs awk, which is not found")
endif()

if(DOXYGEN_FOUND AND LUMIPOD_AWK AND NOT LUMIPOD_HOST_REFERENCE STREQUAL "OFF")
  set(HOST_REFERENCE_DIR ${CMAKE_BINARY_DIR}/docs/host-reference)
  set(HOST_REFERENCE_FILTER "\"${LUMIPOD_AWK} -f ${CMAKE_SOURCE_DIR}/docs/reference/filter.awk\"")
  set(HOST_REFERENCE_DOCS ${CMAKE_SOURCE_DIR}/docs/reference)
  configure_file(${CMAKE_SOURCE_DIR}/docs/reference/Doxyfile.in ${HOST_REFERENCE_DIR}/Doxyfile
                 @ONLY)
  file(GLOB _host_headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/host/*.h)
  # The stamp is written only when Doxygen succeeded, so a failed run is run again.
  add_custom_command(
    OUTPUT ${HOST_REFERENCE_DIR}/html.stamp
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${HOST_REFERENCE_DIR}/html
    COMMAND Doxygen::doxygen ${HOST_REFERENCE_DIR}/Doxyfile
    COMMAND ${CMAKE_COMMAND} -E touch ${HOST_REFERENCE_DIR}/html.stamp
    DEPENDS ${_host_headers} ${HOST_REFERENCE_DIR}/Doxyfile
            ${CMAKE_SOURCE_DIR}/docs/reference/filter.awk
            ${CMAKE_SOURCE_DIR}/docs/reference/mainpage.md
    WORKING_DIRECTORY ${HOST_REFERENCE_DIR}
    COMMENT "Host interface reference (Doxygen)"
    VERBATIM)
  add_custom_target(host_reference ALL DEPENDS ${HOST_REFERENCE_DIR}/html.stamp)
  install(DIRECTORY ${HOST_REFERENCE_DIR}/html/
          DESTINATION ${HOSTSIM_INSTALL_DOCDIR}/docs/host-reference COMPONENT hostsim)
  set(HOSTSIM_HOST_REFERENCE ON)
else()
  set(HOSTSIM_HOST_REFERENCE OFF)
  # Left out where it is wanted but cannot be made (the package preset without Doxygen): the
  # build says so, and what it installs holds a note in the reference's place.
  if(NOT LUMIPOD_HOST_REFERENCE STREQUAL "OFF")
    message(STATUS "host interface reference: left out (needs Doxygen and awk; "
                   "scripts/setup.sh package installs Doxygen)")
    set(_note ${CMAKE_BINARY_DIR}/docs/host-reference/README.txt)
    file(WRITE ${_note}
         "The host interface reference was left out of this build: Doxygen was not found when\n"
         "it was configured. The reference is made from the contract comments of the host\n"
         "interface headers (include/host/), which say the same.\n")
    install(FILES ${_note} DESTINATION ${HOSTSIM_INSTALL_DOCDIR}/docs/host-reference
            COMPONENT hostsim)
  endif()
endif()
