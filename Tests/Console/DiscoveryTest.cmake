# Lists the methods of a module whose names are hard to carry (Names.so) with
# the discovery script, and runs the CTest tests it writes: one test per
# method, each with a name of its own, each running exactly its method, so
# that a test fails exactly where its method fails. Variables: RUNNER,
# MODULE, SCRIPT (KalvoroDiscoverTests.cmake), WORK_DIR.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
file(WRITE "${WORK_DIR}/arguments.cmake"
  "set(TEST_PREFIX [=[names.]=])\nset(EXTRA_ARGS [=[--no-progress]=])\nset(PROPERTIES [=[]=])\n")
execute_process(COMMAND "${CMAKE_COMMAND}" "-DRUNNER=${RUNNER}" "-DMODULE=${MODULE}"
    "-DARGUMENTS_FILE=${WORK_DIR}/arguments.cmake" "-DTESTS_FILE=${WORK_DIR}/tests.cmake"
    -P "${SCRIPT}"
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "Discovery failed (${result}):\n${out}\n${err}")
endif()
file(WRITE "${WORK_DIR}/CTestTestfile.cmake" "include([=[${WORK_DIR}/tests.cmake]=])\n")

# The names, in the module's order; the unit tests whose long names share
# their first 255 bytes (named apart) and the long one alone come last.
# (One at a time: names may hold ';'.)
set(expected_count 0)
function(expect_name aName)
  math(EXPR index "${expected_count} + 1")
  set(expected_count ${index} PARENT_SCOPE)
  set(expected_${index} "${aName}" PARENT_SCOPE)
endfunction()
expect_name([=[names.TOdd."X\nBroken"]=])
expect_name([=[names.TOdd."  Leading"]=])
expect_name([=[names.TOdd.""]=])
expect_name([=[names.TOdd.dup @1.4]=])
expect_name([=[names.TOdd.dup @1.5]=])
expect_name([=[names.TOdd.a:b-c*d?[e]]=])
expect_name([==[names.TOdd."semi;colon ${x} ]=] \"q\" \\"]==])
expect_name([=[names.TOdd."Tab\there"]=])
expect_name([=[names.TOdd."Bad\xff\xc3("]=])
expect_name([=[names.TA.B.C @2.1]=])
expect_name([=[names.TA.B.C @3.1]=])
expect_name([=[names."TLine\nBreak".M]=])
expect_name([=[names."".M]=])
expect_name([=[names.TSame.M @6.1]=])
expect_name([=[names.TSame.M @7.1]=])
# Test numbers (from 1) whose method fails.
set(expected_failed 1 3 5 8 10 13 15 17)

execute_process(COMMAND "${CMAKE_CTEST_COMMAND}" --test-dir "${WORK_DIR}" --show-only=json-v1
  OUTPUT_VARIABLE json RESULT_VARIABLE result)
string(JSON count LENGTH "${json}" tests)
if(NOT count EQUAL 18)
  message(FATAL_ERROR "18 tests expected, ${count} listed:\n${json}")
endif()
foreach(index RANGE 1 ${expected_count})
  math(EXPR at "${index} - 1")
  string(JSON name GET "${json}" tests ${at} name)
  if(NOT name STREQUAL expected_${index})
    message(FATAL_ERROR "Test ${index}: \"${name}\", expected \"${expected_${index}}\"")
  endif()
endforeach()

execute_process(COMMAND "${CMAKE_CTEST_COMMAND}" --test-dir "${WORK_DIR}" -j2
  OUTPUT_VARIABLE out RESULT_VARIABLE result)
string(REGEX MATCHALL "\n[ \t]*[0-9]+ - [^\n]* \\(Failed\\)" lines "${out}")
set(failed "")
foreach(line IN LISTS lines)
  string(REGEX MATCH "[0-9]+" number "${line}")
  list(APPEND failed ${number})
endforeach()
list(SORT failed COMPARE NATURAL)
if(NOT failed STREQUAL expected_failed)
  message(FATAL_ERROR "Failed tests ${failed}, expected ${expected_failed}:\n${out}")
endif()
