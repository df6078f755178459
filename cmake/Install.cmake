# What `cmake --install` puts under the prefix, the package config module authors find with
# find_package(hostsim), and the packages CPack makes of it all.
#
#   bin/hostsim                      the CLI (hostsim.exe with hostsim.dll on Windows)
#   lib/libhostsim.so                the host runtime (lib/libhostsim.dll.a on Windows)
#   lib/libhostsim_watch.so          the counting library of hostsim check (Linux)
#   include/host/*.h                 the host interface
#   lib/cmake/hostsim/               the package config: hostsim::host, hostsim::runtime,
#                                    hostsim::module_hook (load_hook.cpp), hostsim::hostsim
#                                    and hostsim_add_module()
#   share/hostsim/config, meshes, modules
#                                    a host root with the lamp (and the tug it hangs on)
#   share/hostsim/examples/scenarios, sessions
#                                    the demo, run by an installed hostsim without --root
#   share/doc/lumipod/               README, licence, version; docs/formats.md and examples/
#                                    (with the buoy, a module's own project), where the
#                                    README's paths find them
include(CMakePackageConfigHelpers)

set(_cmakedir ${CMAKE_INSTALL_LIBDIR}/cmake/hostsim)

# An installed hostsim finds the runtime in lib/ beside its own bin/, wherever the prefix is.
if(TARGET hostsim AND NOT WIN32)
  file(RELATIVE_PATH _lib_from_bin /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${CMAKE_INSTALL_LIBDIR})
  set_target_properties(hostsim PROPERTIES INSTALL_RPATH "$ORIGIN/${_lib_from_bin}")
endif()

install(TARGETS host_interface hostsim_runtime hostsim_module_hook
        EXPORT hostsimTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
if(TARGET hostsim)
  install(TARGETS hostsim EXPORT hostsimTargets RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
# The counting library hostsim check preloads into its checks' processes, beside the runtime.
if(TARGET hostsim_watch)
  install(TARGETS hostsim_watch LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()
install(DIRECTORY ${CMAKE_SOURCE_DIR}/host/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/host
        FILES_MATCHING PATTERN "*.h")

# The host root. The module is loaded by the host, which has the runtime loaded already: it
# needs no run path of its own. A module's import library (Windows) is of no use to anyone.
install(TARGETS lumipod
        RUNTIME DESTINATION ${HOSTSIM_INSTALL_ROOTDIR}/modules
        LIBRARY DESTINATION ${HOSTSIM_INSTALL_ROOTDIR}/modules
        ARCHIVE DESTINATION ${HOSTSIM_INSTALL_ROOTDIR}/modules EXCLUDE_FROM_ALL COMPONENT unused)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/config ${CMAKE_SOURCE_DIR}/examples/meshes
        DESTINATION ${HOSTSIM_INSTALL_ROOTDIR} PATTERN ".*" EXCLUDE)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/scenarios ${CMAKE_SOURCE_DIR}/examples/sessions
        DESTINATION ${HOSTSIM_INSTALL_ROOTDIR}/examples PATTERN ".*" EXCLUDE)

# Version, licence, README, and what the README names beside it: the document of file formats
# and the examples as they are in the source tree, the buoy's project among them (the install
# test and the package check build that copy against the installed package).
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/VERSION CONTENT "${PROJECT_NAME} ${PROJECT_VERSION}\n")
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/VERSION
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_SOURCE_DIR}/docs/formats.md DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
        PATTERN ".*" EXCLUDE)

# The package config. The installed one is made in a folder of its own: the build tree has a
# package config of its own (below), which a search of the build tree must find instead.
set(_installed_config ${CMAKE_BINARY_DIR}/CMakeFiles/hostsim-installed)
install(EXPORT hostsimTargets NAMESPACE hostsim:: DESTINATION ${_cmakedir})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/hostsimConfig.cmake.in
                              ${_installed_config}/hostsimConfig.cmake
                              INSTALL_DESTINATION ${_cmakedir}
                              PATH_VARS HOSTSIM_INSTALL_ROOTDIR)
write_basic_package_version_file(${_installed_config}/hostsimConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${_installed_config}/hostsimConfig.cmake
              ${_installed_config}/hostsimConfigVersion.cmake
              ${CMAKE_SOURCE_DIR}/cmake/HostsimModule.cmake ${CMAKE_SOURCE_DIR}/module/load_hook.cpp
        DESTINATION ${_cmakedir})

# The build tree is a package too: a module's project configured with
# -DCMAKE_PREFIX_PATH=<this build tree> finds it in lib/cmake/hostsim/, where it is in an
# installation. Its targets are the build's own (the runtime and hostsim in lib/ and bin/, the
# headers and the load hook in the source tree); its functions come from the source tree.
set(_build_config ${CMAKE_BINARY_DIR}/lib/cmake/hostsim)
export(EXPORT hostsimTargets NAMESPACE hostsim:: FILE ${_build_config}/hostsimTargets.cmake)
configure_file(${CMAKE_SOURCE_DIR}/cmake/hostsimBuildConfig.cmake.in
               ${_build_config}/hostsimConfig.cmake @ONLY)
write_basic_package_version_file(${_build_config}/hostsimConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)

# Packages: a .tar.gz and a .deb of a Linux build, a .zip of a Windows one. Each unpacks to
# the layout above; the host root in share/hostsim/ drops into a host's own root as it is.
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "The lumipod developers")
set(CPACK_PACKAGE_CONTACT "The lumipod developers <lumipod@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Portable floodlight vessel module, with hostsim, a stand-in host to run and test modules")
set(CPACK_PACKAGE_DESCRIPTION
    "lumipod is a vessel module: a small portable floodlight that can be switched, aimed, \
dimmed and hung on another vessel. hostsim runs vessel modules from scenario files and \
session scripts; its host interface headers, runtime library and CMake package let module \
authors build and test their own modules.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${CMAKE_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR TGZ DEB)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The lamp module and hostsim need libhostsim.so, which the package brings itself.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
# The renderer draws the HUD text in this font (hostsim finds it at this path).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-dejavu-core)
# What the renderer loads at run time, which no link names: the GL-loading library opens the
# EGL library and a GL library by name, EGL its driver (Mesa's), and Mesa its software
# rasteriser among the DRI drivers; the window's layer opens the GL library too.
if(TARGET hostsim_render)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libegl1, libegl-mesa0, libgl1, libgl1-mesa-dri")
endif()
include(CPack)
