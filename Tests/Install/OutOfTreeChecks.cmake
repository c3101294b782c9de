# Builds Tests/Install/OutOfTree against the Kalvoro in PREFIX and checks it:
# the modules run with the installed runner, and the discovered CTest tests
# have their names and fail exactly where their method fails.

function(run_step)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "Step failed (${result}): ${ARGN}\n${out}\n${err}")
  endif()
endfunction()

function(expect_lines aWhat aText)
  foreach(expected IN LISTS ARGN)
    string(FIND "${aText}" "${expected}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${aWhat} lacks \"${expected}\":\n${aText}")
    endif()
  endforeach()
endfunction()

# Runs modules built from QueueTest.cpp with RUNNER: one method passes, one
# fails at its check.
function(expect_queue_runs aRunner)
  foreach(module IN LISTS ARGN)
    execute_process(COMMAND "${aRunner}" run "${module}"
                    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT result EQUAL 1)
      message(FATAL_ERROR "${module}: exit code ${result}, expected 1\n${out}\n${err}")
    endif()
    expect_lines("${module}'s output" "${out}"
      "QueueTest.cpp:24: FAILURE (TQueueTest.TestEmptyFront) a new queue has elements (expected: 2, actual: 0)"
      "SUCCESS   TQueueTest.TestFifo" "Total number of UnitTest Methods = 2")
  endforeach()
endfunction()

# Builds a module and a package module from QueueTest.cpp by one compiler
# command line each, with the flags of kalvoro-module.pc in PC_DIR (its
# prefix moved to PREFIX) and its variables module_cflags and package_libs,
# and runs them with the runner in PREFIX.
function(check_pkg_config aPrefix aPcDir aSourceDir aWorkDir)
  find_program(pkg_config pkg-config REQUIRED)
  file(MAKE_DIRECTORY "${aWorkDir}")
  set(ENV{PKG_CONFIG_PATH} "${aPcDir}")
  set(query ${pkg_config} --define-variable=prefix=${aPrefix} kalvoro-module)
  execute_process(COMMAND ${query} --cflags --libs OUTPUT_VARIABLE flags
                  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  foreach(variable module_cflags package_libs)
    execute_process(COMMAND ${query} --variable=${variable} OUTPUT_VARIABLE ${variable}
                    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
  separate_arguments(flags UNIX_COMMAND "${module_cflags} ${flags}")
  separate_arguments(package_flags UNIX_COMMAND "${package_libs}")
  set(source "${aSourceDir}/Tests/Install/OutOfTree/QueueTest.cpp")
  run_step(c++ -std=c++20 -shared -o "${aWorkDir}/Queue.so" "${source}" ${flags})
  run_step(c++ -std=c++20 -shared -o "${aWorkDir}/Queue.bpl" "${source}" ${flags} ${package_flags})
  expect_queue_runs("${aPrefix}/bin/kalvoro" "${aWorkDir}/Queue.so" "${aWorkDir}/Queue.bpl")
endfunction()

function(check_out_of_tree aPrefix aSourceDir aWorkDir)
  set(build "${aWorkDir}/build")
  run_step(${CMAKE_COMMAND} -S "${aSourceDir}/Tests/Install/OutOfTree" -B "${build}"
           -G Ninja "-DCMAKE_PREFIX_PATH=${aPrefix}" -DCMAKE_BUILD_TYPE=Release
           "-DCMAKE_MODULE_LINKER_FLAGS=${MODULE_LINKER_FLAGS}"
           "-DCMAKE_SHARED_LINKER_FLAGS=${MODULE_LINKER_FLAGS}")
  run_step(${CMAKE_COMMAND} --build "${build}")

  expect_queue_runs("${aPrefix}/bin/kalvoro" "${build}/OutOfTree.so" "${build}/OutOfTreePackage.bpl")

  execute_process(COMMAND ${CMAKE_CTEST_COMMAND} -N WORKING_DIRECTORY "${build}"
                  OUTPUT_VARIABLE listed)
  expect_lines("ctest -N" "${listed}"
    ": OutOfTree.TQueueTest.TestFifo\n" ": OutOfTree.TQueueTest.TestEmptyFront\n"
    ": deque/Queues::TDequeTest.TestPushFront\n" ": deque/Queues::TDequeTest.TestPopBack\n"
    ": deque/Queues::TRingTest<int[2]>.TestSize\n" "Total Tests: 5")
  execute_process(COMMAND ${CMAKE_CTEST_COMMAND} -N -L discovered --show-only=json-v1
                  WORKING_DIRECTORY "${build}" OUTPUT_VARIABLE json)
  string(JSON labelled LENGTH "${json}" tests)
  string(JSON words LENGTH "${json}" tests 0 command)
  math(EXPR last "${words} - 1")
  math(EXPR before "${words} - 2")
  string(JSON option GET "${json}" tests 0 command ${before})
  string(JSON value GET "${json}" tests 0 command ${last})
  if(NOT labelled EQUAL 3 OR NOT option STREQUAL "--timeout" OR NOT value STREQUAL "30")
    message(FATAL_ERROR "Labels or extra arguments lost: ${labelled} tests\n${json}")
  endif()

  execute_process(COMMAND ${CMAKE_CTEST_COMMAND} -j2 WORKING_DIRECTORY "${build}"
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REGEX MATCHALL "[0-9]+ - [^\n]* \\(Failed\\)" failed "${out}")
  if(result EQUAL 0 OR NOT failed MATCHES "^[0-9]+ - OutOfTree.TQueueTest.TestEmptyFront \\(Failed\\)$")
    message(FATAL_ERROR "ctest -j2: exit code ${result}, failed: ${failed}\n${out}\n${err}")
  endif()
  expect_lines("ctest -j2" "${out}" "80% tests passed, 1 tests failed out of 5")
endfunction()
