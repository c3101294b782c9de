# kalvoro_add_test_module(NAME SOURCES src... [PACKAGE] [OUTPUT_DIRECTORY dir])
#
# Builds a test module: NAME.so, or with PACKAGE the package NAME.bpl. Modules
# are built with hidden visibility and without process-wide unique symbols, so
# that each keeps its own registry and unloading really unmaps it.
#
# kalvoro_discover_tests(TARGET [TEST_PREFIX prefix] [EXTRA_ARGS arg...]
#                        [PROPERTIES name value...])
#
# Registers one CTest test per test method of the module TARGET, named
# prefix + "TUnitTest.Method" (prefix "TARGET." unless given). Each test runs
# `kalvoro run MODULE --filter TUnitTest.Method EXTRA_ARGS...` (or, where the
# name cannot select the method alone, `--filter @U.M`, its position in the
# listing) and fails when its method fails or raises, so `ctest -j N` runs the methods in N processes.
# The methods are listed with the runner each time the module is built; until
# then the directory has one failing test, prefix + "NOT_BUILT". PROPERTIES go
# to set_tests_properties() of every test.
include_guard(GLOBAL)

function(kalvoro_add_test_module NAME)
  cmake_parse_arguments(ARG "PACKAGE" "OUTPUT_DIRECTORY" "SOURCES" ${ARGN})
  if(NOT ARG_SOURCES)
    set(ARG_SOURCES ${ARG_UNPARSED_ARGUMENTS})
  endif()
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "kalvoro_add_test_module(${NAME}): no SOURCES given")
  endif()
  add_library(${NAME} MODULE ${ARG_SOURCES})
  target_link_libraries(${NAME} PRIVATE
    Kalvoro::kalvoro
    "$<LINK_LIBRARY:WHOLE_ARCHIVE,Kalvoro::kalvoro_module>")
  set(suffix ".so")
  if(ARG_PACKAGE)
    target_link_libraries(${NAME} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,Kalvoro::kalvoro_package>")
    set(suffix ".bpl")
  endif()
  set_target_properties(${NAME} PROPERTIES
    PREFIX ""
    SUFFIX "${suffix}"
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${NAME} PRIVATE -fno-gnu-unique)
  endif()
  if(ARG_OUTPUT_DIRECTORY)
    set_target_properties(${NAME} PROPERTIES LIBRARY_OUTPUT_DIRECTORY "${ARG_OUTPUT_DIRECTORY}")
  endif()
endfunction()

# A CMake bracket argument holding aValue verbatim (no variables, escapes or
# list splitting), with a bracket level that does not occur in it.
function(_kalvoro_bracket aOut aValue)
  set(level "=")
  while("${aValue}]" MATCHES "\\]${level}\\]")
    string(APPEND level "=")
  endwhile()
  set(${aOut} "[${level}[${aValue}]${level}]" PARENT_SCOPE)
endfunction()

function(kalvoro_discover_tests TARGET)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "TEST_PREFIX" "EXTRA_ARGS;PROPERTIES")
  if(NOT TARGET ${TARGET})
    message(FATAL_ERROR "kalvoro_discover_tests(${TARGET}): no such target")
  endif()
  if(NOT TARGET Kalvoro::kalvoro-runner)
    message(FATAL_ERROR "kalvoro_discover_tests(${TARGET}): the runner Kalvoro::kalvoro-runner is unknown")
  endif()
  if(NOT DEFINED ARG_TEST_PREFIX)
    set(ARG_TEST_PREFIX "${TARGET}.")
  endif()

  # The arguments go through a file, so that lists and special characters
  # reach the listing script unchanged.
  set(base "${CMAKE_CURRENT_BINARY_DIR}/${TARGET}_kalvoro")
  get_property(multi_config GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
  if(multi_config)
    set(tests_file "${base}_tests-$<CONFIG>.cmake")
  else()
    set(tests_file "${base}_tests.cmake")
  endif()
  set(arguments "")
  foreach(name TEST_PREFIX EXTRA_ARGS PROPERTIES)
    _kalvoro_bracket(value "${ARG_${name}}")
    string(APPEND arguments "set(${name} ${value})\n")
  endforeach()
  file(WRITE "${base}_arguments.cmake" "${arguments}")

  add_custom_command(TARGET ${TARGET} POST_BUILD
    COMMAND "${CMAKE_COMMAND}"
      "-DRUNNER=$<TARGET_FILE:Kalvoro::kalvoro-runner>"
      "-DMODULE=$<TARGET_FILE:${TARGET}>"
      "-DARGUMENTS_FILE=${base}_arguments.cmake"
      "-DTESTS_FILE=${tests_file}"
      -P "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/KalvoroDiscoverTests.cmake"
    BYPRODUCTS "${tests_file}"
    COMMENT "Listing the test methods of ${TARGET}"
    VERBATIM)
  # In this project's own tree the runner is built here too, and first.
  get_target_property(runner Kalvoro::kalvoro-runner ALIASED_TARGET)
  if(runner)
    add_dependencies(${TARGET} ${runner})
  endif()

  _kalvoro_bracket(not_built "${ARG_TEST_PREFIX}NOT_BUILT")
  if(multi_config)
    set(tests_file "${base}_tests-\${CTEST_CONFIGURATION_TYPE}.cmake")
  endif()
  file(WRITE "${base}_include.cmake"
    "if(EXISTS \"${tests_file}\")\n"
    "  include(\"${tests_file}\")\n"
    "else()\n"
    "  add_test(${not_built} ${not_built})\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${base}_include.cmake")
endfunction()
