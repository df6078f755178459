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
  if(NOT WIN32)
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()
