# Cross build for 64-bit Windows with the MinGW-w64 GCC (posix threads flavour), run under
# Wine. Used by the "mingw" preset; works with any other build folder as well:
#
#   cmake -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
#
# Every program and DLL links the GCC runtime, the C++ library and winpthread statically, so
# it needs nothing beside our own DLLs and the system's. Programs built here run through
# cmake/wine-run.sh (the cross-compiling emulator), which ctest and test discovery honour.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(LUMIPOD_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${LUMIPOD_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LUMIPOD_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${LUMIPOD_MINGW_TRIPLE}-windres)

# Libraries, headers and packages come from the MinGW sysroot only, never from the build
# machine: a Linux header or library found by accident would break the build in odd ways.
set(CMAKE_FIND_ROOT_PATH /usr/${LUMIPOD_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static makes the linker take the static archives of libgcc, libstdc++ and winpthread; the
# system DLLs still come in through their import libraries.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# The header-only and source-built dependencies (nlohmann-json, CLI11, tinyobjloader,
# GoogleTest) are taken from the build machine's packages by the find modules in cmake/mingw/.
list(APPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/mingw)

# Windows programs run under Wine, in a prefix of their own inside the build folder.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${CMAKE_BINARY_DIR}/wineprefix)
endif()
