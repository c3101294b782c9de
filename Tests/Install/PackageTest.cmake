# Builds the Debian packages as a release does (the `deb` preset: prefix /usr,
# no tests) in a tree of its own, checks each package's files and control
# fields, runs lintian over them, unpacks them all into one root and checks
# what lies there: no build-folder RUNPATH, stripped binaries, a demo project
# that writes nothing, and test modules built against the root with CMake and
# with pkg-config that run with the unpacked runner.
# Variables: SOURCE_DIR, WORK_DIR.
cmake_minimum_required(VERSION 3.25)
include("${CMAKE_CURRENT_LIST_DIR}/OutOfTreeChecks.cmake")
# The package tree is kept between runs, so that a second run rebuilds only
# what changed.
set(build "${WORK_DIR}/build")
set(debs "${WORK_DIR}/debs")
set(root "${WORK_DIR}/root")
file(REMOVE_RECURSE "${debs}" "${root}" "${WORK_DIR}/build-cmake" "${WORK_DIR}/build-pc")

find_program(lintian lintian)
if(NOT lintian)
  message(FATAL_ERROR "lintian is not installed (scripts/setup installs it)")
endif()
execute_process(COMMAND dpkg-architecture -qDEB_HOST_MULTIARCH OUTPUT_VARIABLE triplet
                OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE arch
                OUTPUT_STRIP_TRAILING_WHITESPACE)
file(STRINGS "${SOURCE_DIR}/Sources/Framework/Export.h" abi REGEX "KalvoroAbiVersion = [0-9]+;")
string(REGEX MATCH "[0-9]+" abi "${abi}")
file(STRINGS "${SOURCE_DIR}/packaging/changelog" version LIMIT_COUNT 1)
string(REGEX REPLACE "^kalvoro \\(([^)]+)\\).*" "\\1" version "${version}")

run_step(${CMAKE_COMMAND} -S "${SOURCE_DIR}" --preset deb -B "${build}")
run_step(${CMAKE_COMMAND} --build "${build}")
run_step(${CMAKE_CPACK_COMMAND} -G DEB --config "${build}/CPackConfig.cmake" -B "${debs}")

# What each package must hold (below usr/) and which control fields it must
# have; every package also has its copyright file and changelog.
set(lib "lib/${triplet}")
set(v "${version}")
string(REPLACE "+" "\\+" ver "${v}")
set(old_package "Breaks: kalvoro \\(<< ${ver}\\)" "Replaces: kalvoro \\(<< ${ver}\\)")
set(needs_library "Depends: [^\n]*libkalvoro${abi} \\(= ${ver}\\)")

set(packages libkalvoro${abi} libkalvoro-dev kalvoro morvane kalvoro-examples)
set(files_libkalvoro${abi} ${lib}/libkalvoro.so.${abi})
set(fields_libkalvoro${abi} "Section: libs" "Depends: [^\n]*libstdc\\+\\+6"
    ${old_package})
set(files_libkalvoro-dev include/kalvoro/UnitTest.h ${lib}/libkalvoro.so ${lib}/libkalvoro_module.a
    ${lib}/libkalvoro_package.a ${lib}/cmake/Kalvoro/KalvoroConfig.cmake
    ${lib}/cmake/Kalvoro/KalvoroTargets.cmake ${lib}/cmake/Kalvoro/KalvoroDiscoverTests.cmake
    ${lib}/pkgconfig/kalvoro.pc ${lib}/pkgconfig/kalvoro-module.pc)
set(fields_libkalvoro-dev "Depends: libkalvoro${abi} \\(= ${ver}\\)" "Section: libdevel"
    ${old_package})
set(files_kalvoro bin/kalvoro ${lib}/kalvoro/kalvoro-host share/man/man1/kalvoro.1.gz
    ${lib}/cmake/Kalvoro/KalvoroRunnerTargets.cmake)
set(fields_kalvoro "${needs_library}" "Depends: [^\n]*libstdc\\+\\+6")
set(files_morvane bin/morvane share/man/man1/morvane.1.gz share/applications/morvane.desktop
    share/mime/packages/kalvoro.xml share/icons/hicolor/scalable/apps/morvane.svg)
set(fields_morvane "${needs_library}" "Depends: [^\n]*kalvoro \\(= ${ver}\\)"
    "Depends: [^\n]*libqt6widgets6" "Depends: [^\n]*libqt6svg6" ${old_package})
set(files_kalvoro-examples ${lib}/kalvoro/examples/Demo.so ${lib}/kalvoro/examples/Vacuel.bpl
    ${lib}/kalvoro/examples/Demo.kvr)
set(fields_kalvoro-examples "${needs_library}" ${old_package})

file(GLOB built RELATIVE "${debs}" "${debs}/*.deb")
set(expected "")
foreach(package IN LISTS packages)
  list(APPEND expected "${package}_${v}_${arch}.deb")
endforeach()
list(SORT built)
list(SORT expected)
if(NOT built STREQUAL expected)
  message(FATAL_ERROR "Packages built: ${built}\nexpected: ${expected}")
endif()

foreach(package IN LISTS packages)
  set(deb "${debs}/${package}_${v}_${arch}.deb")
  execute_process(COMMAND dpkg-deb -c "${deb}" OUTPUT_VARIABLE contents)
  foreach(file IN LISTS files_${package} ITEMS share/doc/${package}/copyright
                                               share/doc/${package}/changelog.Debian.gz)
    if(NOT contents MATCHES " \\./usr/${file}( |\n)")
      message(FATAL_ERROR "${package} lacks /usr/${file}:\n${contents}")
    endif()
  endforeach()
  execute_process(COMMAND dpkg-deb -I "${deb}" OUTPUT_VARIABLE info)
  foreach(field IN LISTS fields_${package} ITEMS "Version: ${ver}\n")
    if(NOT info MATCHES "${field}")
      message(FATAL_ERROR "${package}'s control lacks \"${field}\":\n${info}")
    endif()
  endforeach()
  # Only Morvane needs Qt; only the library has control files besides
  # md5sums: the shlibs and the ldconfig trigger, no maintainer scripts.
  if(NOT package STREQUAL "morvane" AND info MATCHES "[Qq]t6")
    message(FATAL_ERROR "${package} depends on Qt:\n${info}")
  endif()
  execute_process(COMMAND dpkg-deb --ctrl-tarfile "${deb}" COMMAND tar -t OUTPUT_VARIABLE control)
  string(REPLACE "./" "" control "${control}")
  string(REPLACE "\n" ";" control "${control}")
  list(REMOVE_ITEM control "" control md5sums)
  list(SORT control)
  set(expected_control "")
  if(package STREQUAL "libkalvoro${abi}")
    set(expected_control shlibs triggers)
  endif()
  if(NOT control STREQUAL expected_control)
    message(FATAL_ERROR "${package}'s control files besides control and md5sums: ${control}")
  endif()
  run_step(dpkg-deb -x "${deb}" "${root}")
endforeach()

# lintian: no error; every warning explained in docs/PACKAGING.md.
file(GLOB all_debs "${debs}/*.deb")
execute_process(COMMAND ${lintian} --no-tag-display-limit ${all_debs}
                OUTPUT_VARIABLE report ERROR_VARIABLE lintian_err)
if(report MATCHES "(^|\n)E: ")
  message(FATAL_ERROR "lintian reports errors:\n${report}")
endif()
file(READ "${SOURCE_DIR}/docs/PACKAGING.md" explained)
string(REGEX MATCHALL "(^|\n)W: [^:]+: [a-z0-9.+-]+" warnings "${report}")
foreach(warning IN LISTS warnings)
  string(REGEX REPLACE ".*: " "" tag "${warning}")
  string(FIND "${explained}" "`${tag}`" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "lintian warns of ${tag}, which docs/PACKAGING.md does not explain:\n${report}")
  endif()
endforeach()

# Binaries: stripped, and a RUNPATH, if any, relative to where they lie.
file(GLOB_RECURSE unpacked LIST_DIRECTORIES false "${root}/usr/*")
set(elf_count 0)
foreach(file IN LISTS unpacked)
  if(IS_SYMLINK "${file}" OR file MATCHES "\\.a$")
    continue()
  endif()
  file(READ "${file}" magic LIMIT 4 HEX)
  if(NOT magic STREQUAL "7f454c46")
    continue()
  endif()
  math(EXPR elf_count "${elf_count} + 1")
  execute_process(COMMAND readelf -d -S -W "${file}" OUTPUT_VARIABLE elf)
  string(REGEX MATCH "\\((RUNPATH|RPATH)\\)[^[]*\\[([^]]*)\\]" runpath "${elf}")
  set(runpath "${CMAKE_MATCH_2}")
  if(runpath AND NOT runpath MATCHES "^\\$ORIGIN(/[^:]*)?$")
    message(FATAL_ERROR "${file} has the RUNPATH ${runpath}")
  endif()
  if(elf MATCHES "\\.(symtab|debug_info) ")
    message(FATAL_ERROR "${file} is not stripped")
  endif()
endforeach()
if(elf_count LESS 5)
  message(FATAL_ERROR "Only ${elf_count} binaries found in ${root}")
endif()

# The demo project runs where it is installed and writes nothing there.
set(examples "${root}/usr/${lib}/kalvoro/examples")
file(GLOB before "${examples}/*")
execute_process(COMMAND "${root}/usr/bin/kalvoro" run "${examples}/Demo.kvr"
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
file(GLOB after "${examples}/*")
if(NOT result EQUAL 1 OR NOT before STREQUAL after)
  message(FATAL_ERROR "The installed demo project: exit code ${result}, files before: ${before}, "
                      "after: ${after}\n${out}\n${err}")
endif()
expect_lines("The installed demo project's run" "${out}" "SUCCESS   TStackTest.TestPush")

check_out_of_tree("${root}/usr" "${SOURCE_DIR}" "${WORK_DIR}/build-cmake")
check_pkg_config("${root}/usr" "${root}/usr/${lib}/pkgconfig" "${SOURCE_DIR}"
                 "${WORK_DIR}/build-pc")
