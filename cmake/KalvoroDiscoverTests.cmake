# Run after a test module is built (see kalvoro_discover_tests): lists the
# module's methods with the runner and writes TESTS_FILE, a CTest file with one
# test per method. Variables: RUNNER, MODULE, ARGUMENTS_FILE (TEST_PREFIX,
# EXTRA_ARGS, PROPERTIES), TESTS_FILE.
cmake_minimum_required(VERSION 3.25)

include("${ARGUMENTS_FILE}")
# A stale file must not outlive a failed listing.
file(REMOVE "${TESTS_FILE}")

function(bracket aOut aValue)
  set(level "=")
  while("${aValue}]" MATCHES "\\]${level}\\]")
    string(APPEND level "=")
  endwhile()
  set(${aOut} "[${level}[${aValue}]${level}]" PARENT_SCOPE)
endfunction()

execute_process(COMMAND "${RUNNER}" list "${MODULE}"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT result EQUAL 0 OR NOT output MATCHES "^[^\n]* \\(LOAD SUCCESS\\)\r?\n")
  message(FATAL_ERROR "Cannot list the test methods of ${MODULE} (exit code ${result}):\n${output}${errors}")
endif()

# Names may hold characters that CMake lists treat specially: they are masked
# while the output is split into lines.
string(ASCII 1 semicolon)
string(ASCII 2 open)
string(ASCII 3 close)
string(REPLACE ";" "${semicolon}" output "${output}")
string(REPLACE "[" "${open}" output "${output}")
string(REPLACE "]" "${close}" output "${output}")
string(REPLACE "\r" "" output "${output}")
string(REPLACE "\n" ";" lines "${output}")

set(common_args "")
foreach(argument IN LISTS EXTRA_ARGS)
  bracket(quoted "${argument}")
  string(APPEND common_args " ${quoted}")
endforeach()
set(properties "")
foreach(property IN LISTS PROPERTIES)
  bracket(quoted "${property}")
  string(APPEND properties " ${quoted}")
endforeach()
bracket(runner "${RUNNER}")
bracket(module "${MODULE}")

set(content "")
set(unit_test "")
foreach(line IN LISTS lines)
  string(REPLACE "${semicolon}" ";" line "${line}")
  string(REPLACE "${open}" "[" line "${line}")
  string(REPLACE "${close}" "]" line "${line}")
  if(line MATCHES "^    ([^ ].*)$")
    set(method "${unit_test}.${CMAKE_MATCH_1}")
  elseif(line MATCHES "^  ([^ ].*)$")
    set(unit_test "${CMAKE_MATCH_1}")
    continue()
  else()
    continue()
  endif()
  # ':' and '-' separate filter patterns, '*' and '?' (and in some globs
  # brackets) are wildcards: each stands for itself through '?', which
  # matches any one character.
  string(REGEX REPLACE "[-:*?]" "?" pattern "${method}")
  string(REPLACE "[" "?" pattern "${pattern}")
  string(REPLACE "]" "?" pattern "${pattern}")
  bracket(name "${TEST_PREFIX}${method}")
  bracket(pattern "${pattern}")
  string(APPEND content "add_test(${name} ${runner} run ${module} --filter ${pattern}${common_args})\n")
  # A filter that matches nothing exits 0: a method gone from the module
  # must not pass.
  string(APPEND content "set_tests_properties(${name} PROPERTIES FAIL_REGULAR_EXPRESSION "
    "[=[matches no test method]=]${properties})\n")
endforeach()
file(WRITE "${TESTS_FILE}" "${content}")
