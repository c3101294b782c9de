# Installs the build tree into a fresh prefix, builds an out-of-tree project
# against it with find_package(Kalvoro), and runs its modules and discovered
# tests with the installed runner. Variables: BINARY_DIR, SOURCE_DIR, WORK_DIR.
include("${CMAKE_CURRENT_LIST_DIR}/OutOfTreeChecks.cmake")
file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")

run_step(${CMAKE_COMMAND} --install "${BINARY_DIR}" --prefix "${prefix}")
foreach(file bin/kalvoro include/kalvoro/UnitTest.h lib/cmake/Kalvoro/KalvoroConfig.cmake
             share/kalvoro/examples/Demo.so share/kalvoro/examples/Vacuel.bpl)
  if(NOT EXISTS "${prefix}/${file}")
    message(FATAL_ERROR "Not installed: ${file}")
  endif()
endforeach()

check_out_of_tree("${prefix}" "${SOURCE_DIR}" "${WORK_DIR}")
