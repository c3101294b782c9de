# Installs the build tree into a fresh prefix, builds an out-of-tree module
# against it with find_package(Kalvoro), and runs it with the installed runner.
# Variables: BINARY_DIR, SOURCE_DIR, WORK_DIR.
file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")

function(run_step)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "Step failed (${result}): ${ARGN}\n${out}\n${err}")
  endif()
endfunction()

run_step(${CMAKE_COMMAND} --install "${BINARY_DIR}" --prefix "${prefix}")
foreach(file bin/kalvoro include/kalvoro/UnitTest.h lib/cmake/Kalvoro/KalvoroConfig.cmake
             share/kalvoro/examples/Demo.so share/kalvoro/examples/Vacuel.bpl)
  if(NOT EXISTS "${prefix}/${file}")
    message(FATAL_ERROR "Not installed: ${file}")
  endif()
endforeach()

run_step(${CMAKE_COMMAND} -S "${SOURCE_DIR}/Tests/Install/OutOfTree" -B "${WORK_DIR}/build"
         -G Ninja -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
run_step(${CMAKE_COMMAND} --build "${WORK_DIR}/build")

foreach(module OutOfTree.so OutOfTreePackage.bpl)
  execute_process(COMMAND "${prefix}/bin/kalvoro" run "${WORK_DIR}/build/${module}"
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 1)
    message(FATAL_ERROR "${module}: exit code ${result}, expected 1\n${out}\n${err}")
  endif()
  foreach(expected "FAILURE (TQueueTest.TestEmptyFront) a new queue has elements"
                   "SUCCESS   TQueueTest.TestFifo" "Total number of UnitTest Methods = 2")
    string(FIND "${out}" "${expected}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${module}: output lacks \"${expected}\":\n${out}")
    endif()
  endforeach()
endforeach()
