# Runs a session script with hostsim and compares what it printed with the expected output.
#
#   cmake -DHOSTSIM=<program> -DROOT=<host root> -DSESSION=<script> -DEXPECTED=<file>
#         -DOUT=<folder for saves> -P check_session.cmake
cmake_minimum_required(VERSION 3.25)

execute_process(
  COMMAND ${HOSTSIM} run ${SESSION} --root ${ROOT} --out ${OUT}
  OUTPUT_VARIABLE out
  ERROR_VARIABLE err
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "hostsim run ${SESSION} failed (${rc}):\n${err}")
endif()
string(REPLACE "\r\n" "\n" out "${out}")
file(READ ${EXPECTED} expected)
if(NOT out STREQUAL expected)
  file(WRITE ${OUT}/actual.txt "${out}")
  message(FATAL_ERROR "the output differs from ${EXPECTED}; it is in ${OUT}/actual.txt")
endif()
