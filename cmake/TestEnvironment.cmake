# The environment the tests run in, declared with the tests themselves, so that `ctest
# --test-dir BUILD` runs them as `ctest --preset NAME` does. A build with sanitizers gives its
# tests the options every sanitizer run has; a long fuzzing run (scripts/fuzz.sh) gets the same
# from cmake/sanitizer-env.cmake.

# lumipod_sanitizer_environment(OUT SOURCE_DIR): every sanitizer run's variables as
# NAME=VALUE: leak detection on with the one suppressions file (tests/sanitizers/lsan.supp, which
# also says why thread-local storage is not scanned), UBSan stopping at its first finding, and
# Mesa's software renderer drawing on the calling thread.
function(lumipod_sanitizer_environment out source_dir)
  set(${out}
      "ASAN_OPTIONS=detect_leaks=1"
      "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1"
      "LSAN_OPTIONS=suppressions=${source_dir}/tests/sanitizers/lsan.supp:print_suppressions=0:use_tls=0"
      "LP_NUM_THREADS=0"
      PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
  return()
endif()

set(LUMIPOD_TEST_ENVIRONMENT "")
if(LUMIPOD_SANITIZED)
  lumipod_sanitizer_environment(LUMIPOD_TEST_ENVIRONMENT ${CMAKE_SOURCE_DIR})
endif()

# lumipod_test_environment(): gives every test the current folder added with add_test so far
# the tests' environment. Called at the end of each folder's list of tests.
function(lumipod_test_environment)
  get_property(tests DIRECTORY PROPERTY TESTS)
  if(tests AND LUMIPOD_TEST_ENVIRONMENT)
    set_property(TEST ${tests} APPEND PROPERTY ENVIRONMENT ${LUMIPOD_TEST_ENVIRONMENT})
  endif()
endfunction()

# lumipod_discover_tests(TARGET [ENVIRONMENT NAME=VALUE...] [gtest_discover_tests options...]):
# gtest_discover_tests, with the tests' environment and the variables given set on every test
# it finds. The discovered tests exist only when ctest reads the build's test files, and
# gtest_discover_tests cannot carry a list in a property, so a file of this folder's test files
# sets the environment on the discovered list after the discovery's own file has made it.
function(lumipod_discover_tests target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "ENVIRONMENT")
  gtest_discover_tests(${target} TEST_LIST ${target}_TESTS ${arg_UNPARSED_ARGUMENTS})
  set(environment ${LUMIPOD_TEST_ENVIRONMENT} ${arg_ENVIRONMENT})
  if(NOT environment)
    return()
  endif()
  set(file ${CMAKE_CURRENT_BINARY_DIR}/${target}_environment.cmake)
  file(WRITE ${file} "if(${target}_TESTS)\n"
                     "  set_tests_properties(\${${target}_TESTS} PROPERTIES ENVIRONMENT\n"
                     "                       [==[${environment}]==])\n"
                     "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${file})
endfunction()
