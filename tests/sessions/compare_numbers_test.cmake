# Checks compare_numbers.cmake: rounding noise passes, real differences do not.
#   cmake -P compare_numbers_test.cmake
include(${CMAKE_CURRENT_LIST_DIR}/compare_numbers.cmake)

set(failures "")
function(expect want expected actual)
  texts_match_but_for_rounding(got "${expected}" "${actual}")
  if(NOT got STREQUAL want)
    set(failures "${failures}  \"${expected}\" vs \"${actual}\": ${got}, want ${want}\n"
        PARENT_SCOPE)
  endif()
endfunction()

# What another C library's sine and cosine make of the same computations.
expect(TRUE "POS 1.55 1.0083757696175937 -0.99201525825099623"
            "POS 1.55 1.0083757696175935 -0.99201525825099623")
expect(TRUE "[6.123233995736766e-17, 0.0, 1.0]" "[6.123031769111886e-17, 0.0, 1.0]")
expect(TRUE "[-4.371139000186241e-08, 0.0]" "[-4.371139000186444e-08, 0.0]")
expect(TRUE "y -1.0000000000000001e-300" "y -1e-300")
expect(TRUE "123456789.12345678" "123456789.12345679")
expect(TRUE "0.0 vs -0.0" "-0.0 vs 0.0")
expect(TRUE "no numbers at all" "no numbers at all")
expect(TRUE "hud 10 167 0x66FF66 \"[N] = Enter Range 300.0m\""
            "hud 10 167 0x66FF66 \"[N] = Enter Range 300.0m\"")

# Real differences.
expect(FALSE "Enter Range 300.0m" "Enter Range 300.1m")
expect(FALSE "intensity 0.5" "intensity 0.50001")
expect(FALSE "x 1e-11" "x 3e-11")
expect(FALSE "123456789.123" "123456789.124")
expect(FALSE "pos 1 2 3" "pos 1 2 -3")
expect(FALSE "pos 1 2 3" "pos 1 2 3 4")
expect(FALSE "Lamp1 on" "Lamp2 on")
expect(FALSE "lamp on" "lamp off")
expect(FALSE "7 items" "70 items")

if(failures)
  message(FATAL_ERROR "texts_match_but_for_rounding:\n${failures}")
endif()
message(STATUS "texts_match_but_for_rounding: all cases as expected")
