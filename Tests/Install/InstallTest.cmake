# Installs the build tree into a prefix of its own, checks what lies there and
# where its programs look for the library, then builds an out-of-tree project
# against it with find_package(Kalvoro) and runs its modules and discovered
# tests with the installed runner.
# Variables: BINARY_DIR, SOURCE_DIR, WORK_DIR.
cmake_minimum_required(VERSION 3.25)
include("${CMAKE_CURRENT_LIST_DIR}/OutOfTreeChecks.cmake")
file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")

run_step(${CMAKE_COMMAND} --install "${BINARY_DIR}" --prefix "${prefix}")
foreach(file bin/kalvoro include/kalvoro/UnitTest.h lib/cmake/Kalvoro/KalvoroConfig.cmake
             lib/kalvoro/examples/Demo.so lib/kalvoro/examples/Vacuel.bpl
             lib/kalvoro/examples/Demo.kvr share/man/man1/kalvoro.1.gz
             share/doc/kalvoro/copyright)
  if(NOT EXISTS "${prefix}/${file}")
    message(FATAL_ERROR "Not installed: ${file}")
  endif()
endforeach()

# File, then the RUNPATH it must have: relative, so that the prefix can move.
set(runpaths bin/kalvoro "$ORIGIN/../lib" lib/kalvoro/kalvoro-host "$ORIGIN/.."
    lib/kalvoro/examples/Demo.so "")
while(runpaths)
  list(POP_FRONT runpaths file expected)
  execute_process(COMMAND readelf -d "${prefix}/${file}" OUTPUT_VARIABLE elf)
  string(REGEX MATCH "\\(RUNPATH\\)[^[]*\\[([^]]*)\\]" runpath "${elf}")
  if(NOT "${CMAKE_MATCH_1}" STREQUAL "${expected}")
    message(FATAL_ERROR "${file}: RUNPATH \"${CMAKE_MATCH_1}\", expected \"${expected}\"")
  endif()
endwhile()

file(STRINGS "${prefix}/lib/pkgconfig/kalvoro.pc" pc_prefix REGEX "^prefix=")
if(NOT pc_prefix STREQUAL "prefix=${prefix}")
  message(FATAL_ERROR "kalvoro.pc has ${pc_prefix}, expected the install's prefix ${prefix}")
endif()

check_out_of_tree("${prefix}" "${SOURCE_DIR}" "${WORK_DIR}")
