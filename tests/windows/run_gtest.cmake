# Runs one GoogleTest program under Wine and proves that it ran: Wine can end
# a program it could not start with status 0 and no output (a 32-bit program
# without wine32), so the result file must exist and count at least one test
# and no failure.
#   cmake -DWINE=... -DPROGRAM=... -DRESULT=... -P run_gtest.cmake
file(REMOVE ${RESULT})
execute_process(COMMAND ${WINE} ${PROGRAM} --gtest_output=xml:${RESULT}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} ended with status ${status}")
endif()
if(NOT EXISTS ${RESULT})
  message(FATAL_ERROR "${PROGRAM} wrote no result file: it did not run")
endif()
file(READ ${RESULT} xml LIMIT 2000)
string(REGEX MATCH "<testsuites tests=\"([0-9]+)\" failures=\"([0-9]+)\"" header "${xml}")
if(NOT header)
  message(FATAL_ERROR "${RESULT} does not read as a GoogleTest result")
endif()
if(CMAKE_MATCH_1 EQUAL 0 OR NOT CMAKE_MATCH_2 EQUAL 0)
  message(FATAL_ERROR "${PROGRAM}: ${CMAKE_MATCH_1} tests, ${CMAKE_MATCH_2} failed")
endif()
message(STATUS "${PROGRAM}: ${CMAKE_MATCH_1} tests passed under Wine")
