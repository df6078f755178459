# The per-OS seams: the module's load hook and the host's library loading.
if(WIN32)
  set(LUMIPOD_PLATFORM_HOOK ${CMAKE_SOURCE_DIR}/module/load_hook_win32.cpp)
  set(LUMIPOD_PLATFORM_LIBS "")
  set(HOSTSIM_PLATFORM_SOURCES ${CMAKE_SOURCE_DIR}/hostsim/platform/dynlib_win32.cpp)
  set(LUMIPOD_MODULE_SUFFIX ".dll")
else()
  set(LUMIPOD_PLATFORM_HOOK ${CMAKE_SOURCE_DIR}/module/load_hook_posix.cpp)
  set(LUMIPOD_PLATFORM_LIBS ${CMAKE_DL_LIBS})
  set(HOSTSIM_PLATFORM_SOURCES ${CMAKE_SOURCE_DIR}/hostsim/platform/dynlib_posix.cpp)
  set(LUMIPOD_MODULE_SUFFIX ".so")
endif()

# Turns a shared-library target into a vessel module: no "lib" prefix, placed in modules/,
# every symbol hidden except the explicitly exported entry points.
function(lumipod_make_module target)
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    SUFFIX ${LUMIPOD_MODULE_SUFFIX}
    LIBRARY_OUTPUT_DIRECTORY ${LUMIPOD_MODULE_DIR}
    RUNTIME_OUTPUT_DIRECTORY ${LUMIPOD_MODULE_DIR}
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  # Every reference must resolve at link time, except with clang's sanitizers: their
  # runtime is linked into the program only, so a sanitized module refers to it unresolved.
  if(NOT WIN32 AND NOT (LUMIPOD_SANITIZE AND CMAKE_CXX_COMPILER_ID MATCHES "Clang"))
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()

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
