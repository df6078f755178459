# nlohmann-json for the Windows build: the header-only library of the build machine's
# package, staged into the build tree (see StageHostHeaders.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/StageHostHeaders.cmake)
include(FindPackageHandleStandardArgs)

function(_lumipod_add_nlohmann_json)
  lumipod_stage_headers(staged nlohmann /usr/include)
  if(staged)
    add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
    target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE
                               ${LUMIPOD_STAGED_INCLUDE_DIR})
  endif()
endfunction()

if(NOT TARGET nlohmann_json::nlohmann_json)
  _lumipod_add_nlohmann_json()
endif()
if(TARGET nlohmann_json::nlohmann_json)
  set(nlohmann_json_INCLUDE_DIR ${LUMIPOD_STAGED_INCLUDE_DIR})
endif()
find_package_handle_standard_args(nlohmann_json REQUIRED_VARS nlohmann_json_INCLUDE_DIR)
