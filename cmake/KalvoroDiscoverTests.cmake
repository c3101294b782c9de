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

# Each method's listed name (as "kalvoro list" shows it, escaped where needed)
# and its position ("@U.M": the M-th method of the U-th unit test); names are
# counted by a digest, as they may hold any character.
set(count 0)
set(unit_test "")
set(unit_position 0)
set(method_position 0)
foreach(line IN LISTS lines)
  string(REPLACE "${semicolon}" ";" line "${line}")
  string(REPLACE "${open}" "[" line "${line}")
  string(REPLACE "${close}" "]" line "${line}")
  if(line MATCHES "^    ([^ ].*)$")
    math(EXPR method_position "${method_position} + 1")
    math(EXPR count "${count} + 1")
    set(test_${count}_unit "${unit_test}")
    set(test_${count}_method "${CMAKE_MATCH_1}")
    set(test_${count}_position "@${unit_position}.${method_position}")
    string(MD5 key "${unit_test}.${CMAKE_MATCH_1}")
    set(test_${count}_key "${key}")
    if(DEFINED seen_${key})
      math(EXPR seen_${key} "${seen_${key}} + 1")
    else()
      set(seen_${key} 1)
    endif()
  elseif(line MATCHES "^  ([^ ].*)$")
    set(unit_test "${CMAKE_MATCH_1}")
    math(EXPR unit_position "${unit_position} + 1")
    set(method_position 0)
  endif()
endforeach()

# A test selects its method by name where the name says which method it is:
# both parts plain identifiers (nothing that the filter reads as a separator
# or wildcard, no '.' that could split the name elsewhere) and the name not
# repeated. Any other method is selected by its position; a repeated name
# gets the position in the test's name too, so that every test has a name of
# its own.
set(content "")
set(indexes "")
if(count GREATER 0)
  foreach(index RANGE 1 ${count})
    list(APPEND indexes ${index})
  endforeach()
endif()
foreach(index IN LISTS indexes)
  set(unit "${test_${index}_unit}")
  set(method "${test_${index}_method}")
  set(name "${unit}.${method}")
  set(filter "${test_${index}_position}")
  if(seen_${test_${index}_key} GREATER 1)
    string(APPEND name " ${test_${index}_position}")
  elseif(unit MATCHES "^[A-Za-z0-9_]+$" AND method MATCHES "^[A-Za-z0-9_]+$")
    set(filter "${unit}.${method}")
  endif()
  bracket(name "${TEST_PREFIX}${name}")
  bracket(filter "${filter}")
  string(APPEND content "add_test(${name} ${runner} run ${module} --filter ${filter}${common_args})\n")
  # A filter that matches nothing exits 0: a method gone from the module
  # must not pass.
  string(APPEND content "set_tests_properties(${name} PROPERTIES FAIL_REGULAR_EXPRESSION "
    "[=[matches no test method]=]${properties})\n")
endforeach()
file(WRITE "${TESTS_FILE}" "${content}")
