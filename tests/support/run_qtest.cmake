# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one Qt Test program (TEST_PROGRAM) and fails unless it exits 0 and at least one of its
# own cases passed: a program whose every case skipped has tested nothing. The test case
# frame (initTestCase, cleanupTestCase) does not count as a case.
if(NOT TEST_PROGRAM)
  message(FATAL_ERROR "run_qtest.cmake: TEST_PROGRAM not given")
endif()
execute_process(COMMAND ${TEST_PROGRAM}
  RESULT_VARIABLE status
  OUTPUT_VARIABLE output ERROR_VARIABLE output
  ECHO_OUTPUT_VARIABLE ECHO_ERROR_VARIABLE)
if(NOT status STREQUAL "0")
  message(FATAL_ERROR "${TEST_PROGRAM} failed: ${status}")
endif()
string(REGEX MATCHALL "PASS   : [A-Za-z0-9_:]+::[A-Za-z0-9_]+\\(" passes "${output}")
list(FILTER passes EXCLUDE REGEX "::(initTestCase|cleanupTestCase)\\($")
list(LENGTH passes passed)
if(passed EQUAL 0)
  message(FATAL_ERROR "${TEST_PROGRAM}: no test case passed (all skipped or none ran)")
endif()
