# CTest discovery of a GoogleTest program (the framework's samples, which all
# pass): one CTest test per test of the program, each running exactly it
# through the runner, and all of them passing. Variables: RUNNER, MODULE,
# SCRIPT (KalvoroDiscoverTests.cmake), WORK_DIR.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
file(WRITE "${WORK_DIR}/arguments.cmake"
  "set(TEST_PREFIX [=[samples.]=])\nset(EXTRA_ARGS [=[--no-progress]=])\nset(PROPERTIES [=[]=])\n")
execute_process(COMMAND "${CMAKE_COMMAND}" "-DRUNNER=${RUNNER}" "-DMODULE=${MODULE}"
    "-DARGUMENTS_FILE=${WORK_DIR}/arguments.cmake" "-DTESTS_FILE=${WORK_DIR}/tests.cmake"
    -P "${SCRIPT}"
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "Discovery failed (${result}):\n${out}\n${err}")
endif()
file(WRITE "${WORK_DIR}/CTestTestfile.cmake" "include([=[${WORK_DIR}/tests.cmake]=])\n")

execute_process(COMMAND "${RUNNER}" list "${MODULE}" OUTPUT_VARIABLE listed)
string(REGEX MATCHALL "\n    [^\n]+" methods "${listed}")
list(LENGTH methods expected)
execute_process(COMMAND "${CMAKE_CTEST_COMMAND}" --test-dir "${WORK_DIR}" --show-only=json-v1
  OUTPUT_VARIABLE json)
string(JSON count LENGTH "${json}" tests)
if(expected LESS 30 OR NOT count EQUAL expected)
  message(FATAL_ERROR "${expected} tests listed by the program, ${count} discovered")
endif()
string(JSON first GET "${json}" tests 0 name)
if(NOT first STREQUAL "samples.FactorialTest.Negative")
  message(FATAL_ERROR "First test \"${first}\", expected samples.FactorialTest.Negative")
endif()
execute_process(COMMAND "${CMAKE_CTEST_COMMAND}" --test-dir "${WORK_DIR}" -j2
  RESULT_VARIABLE result OUTPUT_VARIABLE out)
if(NOT result EQUAL 0 OR NOT out MATCHES "100% tests passed, 0 tests failed out of ${count}")
  message(FATAL_ERROR "The discovered tests did not all pass:\n${out}")
endif()
