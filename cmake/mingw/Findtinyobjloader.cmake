# tinyobjloader for the Windows build. The build machine's package ships a Linux library, so
# its single header is staged into the build tree and its implementation compiled into a
# static library of our own, with the package's default (single-precision) real type.
include(${CMAKE_CURRENT_LIST_DIR}/StageHostHeaders.cmake)
include(FindPackageHandleStandardArgs)

function(_lumipod_add_tinyobjloader)
  lumipod_stage_headers(staged tiny_obj_loader.h /usr/include)
  if(NOT staged)
    return()
  endif()
  set(impl ${CMAKE_BINARY_DIR}/_deps/tinyobjloader/tiny_obj_loader.cpp)
  file(CONFIGURE OUTPUT ${impl} CONTENT
       "#define TINYOBJLOADER_IMPLEMENTATION\n#include <tiny_obj_loader.h>\n")
  add_library(lumipod_tinyobjloader STATIC ${impl})
  target_include_directories(lumipod_tinyobjloader SYSTEM PUBLIC ${LUMIPOD_STAGED_INCLUDE_DIR})
  add_library(tinyobjloader::tinyobjloader ALIAS lumipod_tinyobjloader)
endfunction()

if(NOT TARGET tinyobjloader::tinyobjloader)
  _lumipod_add_tinyobjloader()
endif()
if(TARGET tinyobjloader::tinyobjloader)
  set(tinyobjloader_INCLUDE_DIR ${LUMIPOD_STAGED_INCLUDE_DIR})
endif()
find_package_handle_standard_args(tinyobjloader REQUIRED_VARS tinyobjloader_INCLUDE_DIR)
