# What `cmake --install` puts under the prefix, the package config module authors find with
# find_package(hostsim), and the packages CPack makes of it all. Two components, each its own
# package: hostsim (the tools, the interface and what module authors build with) and lumipod
# (the lamp, which runs in hostsim).
#
# hostsim:
#   bin/hostsim                      the CLI (hostsim.exe with hostsim.dll on Windows)
#   lib/libhostsim.so                the host runtime (lib/libhostsim.dll.a on Windows)
#   lib/libhostsim_watch.so          the counting library of hostsim check (Linux)
#   include/host/*.h                 the host interface
#   lib/cmake/hostsim/               the package config: hostsim::host, hostsim::runtime,
#                                    hostsim::module_hook (load_hook.cpp), hostsim::hostsim
#                                    and hostsim_add_module()
#   share/hostsim/config, meshes, modules
#                                    the host root's folders, empty until the lamp fills them
#   share/doc/hostsim/               licence, version; docs/ (the module authors' guide, the
#                                    architecture, the file formats, the host interface
#                                    reference when it is built) and examples/buoy, a module's
#                                    own project, where the guides' paths find them
# lumipod:
#   share/hostsim/config, meshes, modules
#                                    a host root with the lamp (and the tug it hangs on)
#   share/hostsim/examples/scenarios, sessions
#                                    the demo, run by an installed hostsim without --root
#   share/doc/lumipod/               README, licence, version; docs/ (the guide to flying the
#                                    lamp, the file formats) and examples/ with the lamp's
#                                    configurations, meshes, scenarios and sessions
include(CMakePackageConfigHelpers)

set(_cmakedir ${CMAKE_INSTALL_LIBDIR}/cmake/hostsim)

# An installed hostsim finds the runtime in lib/ beside its own bin/, wherever the prefix is.
if(TARGET hostsim AND NOT WIN32)
  file(RELATIVE_PATH _lib_from_bin /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${CMAKE_INSTALL_LIBDIR})
  set_target_properties(hostsim PROPERTIES INSTALL_RPATH "$ORIGIN/${_lib_from_bin}")
endif()

install(TARGETS host_interface hostsim_runtime hostsim_module_hook
        EXPORT hostsimTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT hostsim
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT hostsim
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT hostsim)
if(TARGET hostsim)
  install(TARGETS hostsim EXPORT hostsimTargets
          RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT hostsim)
endif()
# The counting library hostsim check preloads into its checks' processes, beside the runtime.
if(TARGET hostsim_watch)
  install(TARGETS hostsim_watch LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT hostsim)
endif()
install(DIRECTORY ${CMAKE_SOURCE_DIR}/host/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/host
        COMPONENT hostsim FILES_MATCHING PATTERN "*.h")

# The host root: hostsim's package makes its folders, which an installed hostsim uses without
# --root; the lamp's fills them. The module is loaded by the host, which has the runtime
# loaded already: it needs no run path of its own. A module's import library (Windows) is of
# no use to anyone.
foreach(_folder IN ITEMS config meshes modules)
  install(DIRECTORY DESTINATION ${HOSTSIM_INSTALL_ROOTDIR}/${_folder} COMPONENT hostsim)
endforeach()
install(TARGETS lumipod
        RUNTIME DESTINATION ${HOSTSIM_INSTALL_ROOTDIR}/modules COMPONENT lumipod
        LIBRARY DESTINATION ${HOSTSIM_INSTALL_ROOTDIR}/modules COMPONENT lumipod
        ARCHIVE DESTINATION ${HOSTSIM_INSTALL_ROOTDIR}/modules EXCLUDE_FROM_ALL COMPONENT unused)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/config ${CMAKE_SOURCE_DIR}/examples/meshes
        DESTINATION ${HOSTSIM_INSTALL_ROOTDIR} COMPONENT lumipod PATTERN ".*" EXCLUDE)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/scenarios ${CMAKE_SOURCE_DIR}/examples/sessions
        DESTINATION ${HOSTSIM_INSTALL_ROOTDIR}/examples COMPONENT lumipod PATTERN ".*" EXCLUDE)

# Each package's documents, in the layout of the source tree so that the paths they name are
# found beside them (the install test and the package check see to it): licence and version in
# both; the lamp's README and guide with the lamp's examples; the module authors' guide, the
# architecture and the buoy's project (which the install test and the package check build
# against the installed package) with hostsim. The document of file formats is for both.
foreach(_component IN ITEMS hostsim lumipod)
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/VERSION-${_component}
       CONTENT "${_component} ${PROJECT_VERSION}\n")
  install(FILES ${CMAKE_BINARY_DIR}/VERSION-${_component} RENAME VERSION
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${_component} COMPONENT ${_component})
  install(FILES ${CMAKE_SOURCE_DIR}/LICENSE
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${_component} COMPONENT ${_component})
  install(FILES ${CMAKE_SOURCE_DIR}/docs/formats.md
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${_component}/docs COMPONENT ${_component})
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/docs/modules.md ${CMAKE_SOURCE_DIR}/docs/architecture.md
        DESTINATION ${HOSTSIM_INSTALL_DOCDIR}/docs COMPONENT hostsim)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/buoy DESTINATION ${HOSTSIM_INSTALL_DOCDIR}/examples
        COMPONENT hostsim PATTERN ".*" EXCLUDE)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR}
        COMPONENT lumipod)
install(FILES ${CMAKE_SOURCE_DIR}/docs/flying.md DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs
        COMPONENT lumipod)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
        COMPONENT lumipod PATTERN ".*" EXCLUDE PATTERN buoy EXCLUDE)

# The package config. The installed one is made in a folder of its own: the build tree has a
# package config of its own (below), which a search of the build tree must find instead.
set(_installed_config ${CMAKE_BINARY_DIR}/CMakeFiles/hostsim-installed)
install(EXPORT hostsimTargets NAMESPACE hostsim:: DESTINATION ${_cmakedir} COMPONENT hostsim)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/hostsimConfig.cmake.in
                              ${_installed_config}/hostsimConfig.cmake
                              INSTALL_DESTINATION ${_cmakedir}
                              PATH_VARS HOSTSIM_INSTALL_ROOTDIR)
write_basic_package_version_file(${_installed_config}/hostsimConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${_installed_config}/hostsimConfig.cmake
              ${_installed_config}/hostsimConfigVersion.cmake
              ${CMAKE_SOURCE_DIR}/cmake/HostsimModule.cmake ${CMAKE_SOURCE_DIR}/module/load_hook.cpp
        DESTINATION ${_cmakedir} COMPONENT hostsim)

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

# Packages: of each component a .tar.gz and a .deb of a Linux build, a .zip of a Windows one,
# all from the same build. Each archive holds the layout above; unpacked into one folder (or
# installed, the .debs) the two make one installation, whose host root in share/hostsim/
# drops into a host's own root as it is.
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "The lumipod developers")
set(CPACK_PACKAGE_CONTACT "The lumipod developers <lumipod@localhost>")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${CMAKE_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(_system win64)
else()
  set(CPACK_GENERATOR TGZ DEB)
  set(_system Linux)
endif()
set(CPACK_COMPONENTS_ALL hostsim lumipod)
# Each archive holds its files without a folder around them, so that both unpack into one.
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENT_HOSTSIM_DISPLAY_NAME "hostsim")
set(CPACK_COMPONENT_HOSTSIM_DESCRIPTION
    "A stand-in flight simulator host to run, inspect, draw and check vessel modules")
set(CPACK_COMPONENT_LUMIPOD_DISPLAY_NAME "lumipod")
set(CPACK_COMPONENT_LUMIPOD_DESCRIPTION
    "A portable floodlight vessel module that runs in hostsim, with its demo")
set(CPACK_COMPONENT_LUMIPOD_DEPENDS hostsim)
foreach(_component IN ITEMS hostsim lumipod)
  string(TOUPPER ${_component} _upper)
  set(CPACK_ARCHIVE_${_upper}_FILE_NAME ${_component}-${PROJECT_VERSION}-${_system})
  set(CPACK_DEBIAN_${_upper}_PACKAGE_NAME ${_component})
  set(CPACK_DEBIAN_${_upper}_FILE_NAME DEB-DEFAULT)
endforeach()

# Each package's description: its first line is the Debian synopsis (no summary of the whole
# project is set, which CPack would put before it).
set(CPACK_DEBIAN_HOSTSIM_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_HOSTSIM_DESCRIPTION
    "stand-in flight simulator host for vessel modules
hostsim runs vessel modules from scenario files and session scripts, draws their scenes,
opens them in a window that reloads a rebuilt module, and checks a module for the faults
users find first. Its host interface headers, runtime library and CMake package let module
authors build and test their own modules; the host interface reference is in
/usr/share/doc/hostsim/docs/host-reference.")
if(NOT HOSTSIM_HOST_REFERENCE)
  string(REPLACE "; the host interface reference is in\n/usr/share/doc/hostsim/docs/host-reference."
                 "." CPACK_DEBIAN_HOSTSIM_DESCRIPTION "${CPACK_DEBIAN_HOSTSIM_DESCRIPTION}")
endif()
set(CPACK_DEBIAN_LUMIPOD_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_LUMIPOD_DESCRIPTION
    "portable floodlight vessel module, with its demo for hostsim
lumipod is a vessel module: a small portable floodlight that can be switched, aimed, dimmed
and hung on another vessel. The package holds the module, its class configuration and mesh,
a tug to hang it on, and a demo scenario and session that hostsim runs.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# hostsim and the lamp need libhostsim.so, which the hostsim package brings.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
# The lamp is a module of hostsim's runtime, and its demo runs in hostsim: the same version.
set(CPACK_DEBIAN_LUMIPOD_PACKAGE_DEPENDS "hostsim (= ${PROJECT_VERSION})")
# The renderer draws the HUD text in this font (hostsim finds it at this path).
set(CPACK_DEBIAN_HOSTSIM_PACKAGE_RECOMMENDS fonts-dejavu-core)
# What the renderer loads at run time, which no link names: the GL-loading library opens the
# EGL library and a GL library by name, EGL its driver (Mesa's), and Mesa its software
# rasteriser among the DRI drivers; the window's layer opens the GL library too.
if(TARGET hostsim_render)
  set(CPACK_DEBIAN_HOSTSIM_PACKAGE_DEPENDS "libegl1, libegl-mesa0, libgl1, libgl1-mesa-dri")
endif()
include(CPack)
