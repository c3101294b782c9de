# Builds the Debian package of the build tree, checks its contents and control
# fields, unpacks it into a temporary root and builds and runs the out-of-tree
# project against that root. Variables: BINARY_DIR, SOURCE_DIR, WORK_DIR, GUI.
include("${CMAKE_CURRENT_LIST_DIR}/OutOfTreeChecks.cmake")
file(REMOVE_RECURSE "${WORK_DIR}")

run_step(${CMAKE_CPACK_COMMAND} -G DEB --config "${BINARY_DIR}/CPackConfig.cmake"
         -B "${WORK_DIR}/cpack")
file(GLOB package "${WORK_DIR}/cpack/*.deb")
list(LENGTH package count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "Expected one package, found: ${package}")
endif()

execute_process(COMMAND dpkg-deb -c "${package}" OUTPUT_VARIABLE contents)
set(files bin/kalvoro lib/libkalvoro.so.0 include/kalvoro/UnitTest.h
    lib/cmake/Kalvoro/KalvoroConfig.cmake lib/cmake/Kalvoro/KalvoroDiscoverTests.cmake
    share/kalvoro/examples/Demo.so share/kalvoro/examples/Demo.kvr share/man/man1/kalvoro.1)
set(fields "Package: kalvoro" "Depends: [^\n]*libc6" "Depends: [^\n]*libstdc\\+\\+6")
if(GUI)
  list(APPEND files bin/morvane share/man/man1/morvane.1 share/applications/morvane.desktop
       share/mime/packages/kalvoro.xml share/icons/hicolor/scalable/apps/morvane.svg)
  list(APPEND fields "Depends: [^\n]*libqt6widgets6" "Depends: [^\n]*libqt6svg6")
endif()
foreach(file IN LISTS files)
  if(NOT contents MATCHES " \\./usr/${file}( |\n)")
    message(FATAL_ERROR "The package lacks /usr/${file}:\n${contents}")
  endif()
endforeach()
execute_process(COMMAND dpkg-deb -I "${package}" OUTPUT_VARIABLE info)
foreach(field IN LISTS fields)
  if(NOT info MATCHES "${field}")
    message(FATAL_ERROR "The package's control lacks \"${field}\":\n${info}")
  endif()
endforeach()

set(root "${WORK_DIR}/root")
run_step(dpkg-deb -x "${package}" "${root}")
find_program(validate desktop-file-validate)
if(GUI AND validate)
  run_step(${validate} "${root}/usr/share/applications/morvane.desktop")
endif()
find_program(update_mime update-mime-database)
if(GUI AND update_mime)
  run_step(${update_mime} "${root}/usr/share/mime")
  file(READ "${root}/usr/share/mime/globs2" globs)
  if(NOT globs MATCHES "application/x-kalvoro-project:\\*\\.kvr")
    message(FATAL_ERROR "The project file type is not *.kvr:\n${globs}")
  endif()
endif()
check_out_of_tree("${root}/usr" "${SOURCE_DIR}" "${WORK_DIR}")
