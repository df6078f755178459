# CLI11 for the Windows build: the header-only library of the build machine's package,
# staged into the build tree (see StageHostHeaders.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/StageHostHeaders.cmake)
include(FindPackageHandleStandardArgs)

function(_lumipod_add_cli11)
  lumipod_stage_headers(staged CLI /usr/include)
  if(staged)
    add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
    target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${LUMIPOD_STAGED_INCLUDE_DIR})
  endif()
endfunction()

if(NOT TARGET CLI11::CLI11)
  _lumipod_add_cli11()
endif()
if(TARGET CLI11::CLI11)
  set(CLI11_INCLUDE_DIR ${LUMIPOD_STAGED_INCLUDE_DIR})
endif()
find_package_handle_standard_args(CLI11 REQUIRED_VARS CLI11_INCLUDE_DIR)
