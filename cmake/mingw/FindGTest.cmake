# GoogleTest and GoogleMock for the Windows build, compiled from the sources the build
# machine's googletest package ships (/usr/src/googletest). Provides GTest::gtest,
# GTest::gtest_main, GTest::gmock and GTest::gmock_main as static libraries.
include(FindPackageHandleStandardArgs)

find_path(GTEST_SOURCE_DIR NAMES googletest/src/gtest-all.cc
          PATHS /usr/src/googletest NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)

# A function keeps googletest's settings out of the caller's scope.
function(_lumipod_add_googletest)
  set(BUILD_SHARED_LIBS OFF)
  set(INSTALL_GTEST OFF)
  set(BUILD_GMOCK ON)
  # SYSTEM: its headers are system headers to the tests, as the packaged ones are on Linux,
  # so warnings from inside its macros do not count against the tests.
  add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL
                   SYSTEM)
endfunction()

if(GTEST_SOURCE_DIR AND NOT TARGET GTest::gtest)
  _lumipod_add_googletest()
endif()
if(TARGET GTest::gtest)
  set(GTEST_INCLUDE_DIRS ${GTEST_SOURCE_DIR}/googletest/include)
  set(GTEST_LIBRARIES GTest::gtest)
  set(GTEST_MAIN_LIBRARIES GTest::gtest_main)
endif()
find_package_handle_standard_args(GTest REQUIRED_VARS GTEST_SOURCE_DIR GTEST_INCLUDE_DIRS)
