# Vessel modules for hostsim. A module is a shared library the host loads at run time by the
# name its class configuration gives (Module = <name>): <name>.so, or <name>.dll on Windows,
# without the "lib" prefix. Every symbol stays hidden but the entry points its source marks
# with ZVC_EXPORT (host/module_entry.h), and it links against the host runtime, whose exports
# it calls.
#
#   hostsim_add_module(<name> [OUTPUT_DIRECTORY <dir>] [NO_LOAD_HOOK] <source>...)
#       Adds the shared library <name> built from the sources, linked against hostsim::runtime,
#       and makes it a module.
#   hostsim_make_module(<target> [OUTPUT_DIRECTORY <dir>] [NO_LOAD_HOOK])
#       Makes an existing shared library target a module (it must link hostsim::runtime, or
#       the host runtime target of the build it is part of, itself).
#
# A module gets the library's load and unload hook (hostsim::module_hook, compiled into it):
# at load it calls InitLib with the library's handle and finds the library's own exit hook
# ("ExitModule", else "zpcDLLExit"), which it calls once at unload. The module's sources then
# hold only its entry points (zvcInit, zvcExit, ModuleDate, GetModuleVersion) and its classes.
# NO_LOAD_HOOK leaves it out, for a module that brings a hook of its own (a DllMain, or a
# constructor function that calls InitLib).
#
# OUTPUT_DIRECTORY is where the library is built, e.g. the modules/ folder of a host root;
# without it the variable HOSTSIM_MODULE_OUTPUT_DIRECTORY is used when set, else the target's
# usual output folder. On Linux every reference must resolve at link time (-Wl,--no-undefined),
# so a missing host function shows when the module is built rather than when it is loaded;
# set HOSTSIM_MODULE_ALLOW_UNDEFINED to drop that check (clang's sanitizers need it: their
# runtime is linked into the program only).

include_guard(GLOBAL)

function(hostsim_make_module target)
  cmake_parse_arguments(PARSE_ARGV 1 HM "NO_LOAD_HOOK" "OUTPUT_DIRECTORY" "")
  if(HM_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "hostsim_make_module: unexpected arguments: ${HM_UNPARSED_ARGUMENTS}")
  endif()
  get_target_property(_type ${target} TYPE)
  if(NOT _type STREQUAL "SHARED_LIBRARY")
    message(FATAL_ERROR "hostsim_make_module: ${target} is not a shared library")
  endif()
  if(WIN32)
    set(_suffix ".dll")
  else()
    set(_suffix ".so")
  endif()
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    SUFFIX ${_suffix}
    CXX_VISIBILITY_PRESET hidden
    C_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  if(NOT HM_OUTPUT_DIRECTORY AND DEFINED HOSTSIM_MODULE_OUTPUT_DIRECTORY)
    set(HM_OUTPUT_DIRECTORY ${HOSTSIM_MODULE_OUTPUT_DIRECTORY})
  endif()
  if(HM_OUTPUT_DIRECTORY)
    # A DLL is a runtime artefact, a shared object a library one: set both.
    set_target_properties(${target} PROPERTIES
      LIBRARY_OUTPUT_DIRECTORY ${HM_OUTPUT_DIRECTORY}
      RUNTIME_OUTPUT_DIRECTORY ${HM_OUTPUT_DIRECTORY})
  endif()
  if(NOT HM_NO_LOAD_HOOK)
    target_link_libraries(${target} PRIVATE hostsim::module_hook)
  endif()
  if(NOT WIN32 AND NOT APPLE AND NOT HOSTSIM_MODULE_ALLOW_UNDEFINED)
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
  if(NOT WIN32 AND NOT APPLE)
    # The C++ library's inline functions (std::isnan, say) keep default visibility whatever
    # the preset, and a compiler that does not inline them (clang without optimisation) emits
    # them in the module, exported. A version script keeps every symbol of namespace std
    # local; the module's own exports stay as they are. That includes the static data of the
    # library's inline functions (std::from_chars's table of digits, say): exported, g++ makes
    # it a unique symbol, and a library with one can never be unloaded.
    set(_script ${CMAKE_BINARY_DIR}/hostsim_module.version)
    file(WRITE ${_script}
         "{\n  local:\n    _ZSt*;\n    _ZNSt*;\n    _ZNKSt*;\n    _ZZNSt*;\n    _ZZNKSt*;\n};\n")
    target_link_options(${target} PRIVATE -Wl,--version-script=${_script})
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${_script})
  endif()
endfunction()

function(hostsim_add_module name)
  cmake_parse_arguments(PARSE_ARGV 1 HM "NO_LOAD_HOOK" "OUTPUT_DIRECTORY" "")
  if(NOT HM_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "hostsim_add_module: ${name} has no sources")
  endif()
  add_library(${name} SHARED ${HM_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE hostsim::runtime)
  set(_options "")
  if(HM_OUTPUT_DIRECTORY)
    list(APPEND _options OUTPUT_DIRECTORY ${HM_OUTPUT_DIRECTORY})
  endif()
  if(HM_NO_LOAD_HOOK)
    list(APPEND _options NO_LOAD_HOOK)
  endif()
  hostsim_make_module(${name} ${_options})
endfunction()
