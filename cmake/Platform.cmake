# The per-OS seams: the host's library loading and its file reading
# and writing; and what follows from a build with sanitizers.

# Whether the build has sanitizers, turned on by LUMIPOD_SANITIZE or by the user's own flags
# (CMAKE_CXX_FLAGS, those of the build type, the linker's).
string(TOUPPER "${CMAKE_BUILD_TYPE}" _build_type)
set(LUMIPOD_SANITIZED ${LUMIPOD_SANITIZE})
set(_flags "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${_build_type}}")
string(APPEND _flags " ${CMAKE_SHARED_LINKER_FLAGS} ${CMAKE_EXE_LINKER_FLAGS}")
if(_flags MATCHES "-fsanitize=")
  set(LUMIPOD_SANITIZED ON)
endif()

if(WIN32)
  set(LUMIPOD_PLATFORM_LIBS "")
  set(HOSTSIM_PLATFORM_SOURCES ${CMAKE_SOURCE_DIR}/hostsim/platform/dynlib_win32.cpp
                               ${CMAKE_SOURCE_DIR}/hostsim/platform/files_win32.cpp)
  set(LUMIPOD_MODULE_SUFFIX ".dll")
else()
  set(LUMIPOD_PLATFORM_LIBS ${CMAKE_DL_LIBS})
  set(HOSTSIM_PLATFORM_SOURCES ${CMAKE_SOURCE_DIR}/hostsim/platform/dynlib_posix.cpp
                               ${CMAKE_SOURCE_DIR}/hostsim/platform/files_posix.cpp)
  set(LUMIPOD_MODULE_SUFFIX ".so")
endif()
list(APPEND HOSTSIM_PLATFORM_SOURCES ${CMAKE_SOURCE_DIR}/hostsim/platform/files.cpp
                                     ${CMAKE_SOURCE_DIR}/hostsim/platform/path_text.cpp
                                     ${CMAKE_SOURCE_DIR}/hostsim/platform/throw_site.cpp)

# Vessel modules (the lamp, the test modules) are made by the same helper module authors get
# from the installed package, and are built into modules/ of the build tree. Clang's
# sanitizer runtime is linked into the program only, so a module sanitized with clang (however
# the sanitizers were turned on) refers to it unresolved.
include(${CMAKE_CURRENT_LIST_DIR}/HostsimModule.cmake)
set(HOSTSIM_MODULE_OUTPUT_DIRECTORY ${LUMIPOD_MODULE_DIR})
if(LUMIPOD_SANITIZED AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  set(HOSTSIM_MODULE_ALLOW_UNDEFINED ON)
endif()

# Gives the host runtime library its per-OS shape. Like the shared object on POSIX, which
# exports every symbol, the Windows DLL exports its whole C++ interface (hostsim/world.h, for
# the CLI, the tests and the test modules) besides the dllexport-marked host/ interface; and
# it is called hostsim.dll, without the "lib" prefix MinGW would give it. Symbols of the static
# archives linked into it (the C++ library, the GCC runtime, tinyobjloader) stay private: each
# of our binaries has its own copy.
function(lumipod_make_host_runtime target)
  if(WIN32)
    set_target_properties(${target} PROPERTIES PREFIX "")
    if(MINGW)
      target_link_options(${target} PRIVATE -Wl,--export-all-symbols -Wl,--exclude-libs,ALL)
    endif()
  endif()
endfunction()

# For a program that reads the lamp's fields through its class (tests, fuzz targets,
# benchmarks): the sanitizer's dynamic-type check of such an access needs the class's type
# information at link time, but the module keeps it hidden and the program loads the module
# only at run time. The check is left out of these programs, whatever turned sanitizers on.
function(lumipod_reads_lamp_fields target)
  if(LUMIPOD_SANITIZED AND NOT MSVC)
    target_compile_options(${target} PRIVATE -fno-sanitize=vptr)
  endif()
endfunction()
