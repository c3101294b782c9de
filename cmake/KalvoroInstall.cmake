# Install rules, one component per Debian package (cmake/KalvoroPackage.cmake
# names them):
#   library      libkalvoro.so.N                                  libkalvoroN
#   development  headers, static parts, CMake and pkg-config files libkalvoro-dev
#   runner       bin/kalvoro, LIBDIR/kalvoro/kalvoro-host           kalvoro
#   manager      bin/morvane, its desktop entry, icon, file type    morvane
#   examples     LIBDIR/kalvoro/examples: modules and demo project   kalvoro-examples
# Every install() names its component, so that no package of unnamed files
# appears. An install with a prefix of its own keeps its programs' RUNPATH
# $ORIGIN/../lib, so it works wherever it is put.
include(CMakePackageConfigHelpers)

set(KALVORO_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/Kalvoro")
set(KALVORO_PRIVATE_DIR "${CMAKE_INSTALL_LIBDIR}/kalvoro")
set(KALVORO_PACKAGES library development runner examples)
if(KALVORO_BUILD_GUI)
  list(APPEND KALVORO_PACKAGES manager)
endif()
set(KALVORO_PACKAGE_library libkalvoro${KALVORO_ABI_VERSION})
set(KALVORO_PACKAGE_development libkalvoro-dev)
set(KALVORO_PACKAGE_runner kalvoro)
set(KALVORO_PACKAGE_manager morvane)
set(KALVORO_PACKAGE_examples kalvoro-examples)
include(cmake/KalvoroDocs.cmake)

# What scripts/run starts and the packages hold, without tests and benchmarks.
add_custom_target(kalvoro_programs)
add_dependencies(kalvoro_programs kalvoro_runner Demo Vacuel kalvoro_docs)

# Library and development files.
install(TARGETS kalvoro kalvoro_module kalvoro_package EXPORT KalvoroTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(FILES ${KALVORO_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kalvoro
  COMPONENT development)
install(EXPORT KalvoroTargets NAMESPACE Kalvoro:: DESTINATION ${KALVORO_CMAKE_DIR}
  COMPONENT development)

configure_package_config_file(cmake/KalvoroConfig.cmake.in
  "${PROJECT_BINARY_DIR}/KalvoroConfig.cmake"
  INSTALL_DESTINATION ${KALVORO_CMAKE_DIR})
write_basic_package_version_file("${PROJECT_BINARY_DIR}/KalvoroConfigVersion.cmake"
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES
  "${PROJECT_BINARY_DIR}/KalvoroConfig.cmake"
  "${PROJECT_BINARY_DIR}/KalvoroConfigVersion.cmake"
  cmake/KalvoroModule.cmake
  cmake/KalvoroDiscoverTests.cmake
  DESTINATION ${KALVORO_CMAKE_DIR} COMPONENT development)

# The pkg-config files get the prefix of the install itself, which cpack and
# `cmake --install --prefix` choose only then.
install(CODE "set(KALVORO_PC_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(KALVORO_PC_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(KALVORO_PC_VERSION \"${PROJECT_VERSION}\")
  set(KALVORO_PC_SOURCE \"${PROJECT_SOURCE_DIR}/packaging\")
  set(KALVORO_PC_WORK \"${PROJECT_BINARY_DIR}/pkgconfig\")
  include(\"${PROJECT_SOURCE_DIR}/cmake/KalvoroPkgConfig.cmake\")"
  COMPONENT development)

# The console runner and its host. The runner's CMake target is a file of its
# own, which the CMake package reads when the runner is installed.
install(TARGETS kalvoro_runner EXPORT KalvoroRunnerTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runner)
install(EXPORT KalvoroRunnerTargets NAMESPACE Kalvoro:: DESTINATION ${KALVORO_CMAKE_DIR}
  COMPONENT runner)
# The host lies in LIBDIR/kalvoro, beside the library as in the build tree,
# with the RUNPATH $ORIGIN/.. (Sources/Host).
add_dependencies(kalvoro_programs kalvoro_host)
install(TARGETS kalvoro_host RUNTIME DESTINATION ${KALVORO_PRIVATE_DIR} COMPONENT runner)

# The examples: modules and the demo project together, which names its modules
# beside itself. The installed copy writes no report files, as it may lie
# where its user cannot write. The modules need no RUNPATH: the program that
# loads them has libkalvoro loaded already.
file(READ "${KALVORO_EXAMPLES_DIR}/Demo.kvr" demo_project)
string(REGEX REPLACE "(Summary|Log|Error)Enabled=1" "\\1Enabled=0" demo_project "${demo_project}")
file(CONFIGURE OUTPUT "${PROJECT_BINARY_DIR}/Installed/Demo.kvr" CONTENT "${demo_project}" @ONLY)
set_target_properties(Demo Vacuel PROPERTIES INSTALL_RPATH "")
install(TARGETS Demo Vacuel LIBRARY DESTINATION ${KALVORO_PRIVATE_DIR}/examples COMPONENT examples)
install(FILES "${PROJECT_BINARY_DIR}/Installed/Demo.kvr"
  DESTINATION ${KALVORO_PRIVATE_DIR}/examples COMPONENT examples)

# The manager, with its desktop entry, icon and project file type, so that
# the desktop's menu lists Morvane and opens .kvr files with it.
if(KALVORO_BUILD_GUI)
  add_dependencies(kalvoro_programs morvane)
  install(TARGETS morvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT manager)
  install(FILES packaging/morvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
    COMPONENT manager)
  install(FILES packaging/kalvoro.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
    COMPONENT manager)
  install(FILES Sources/Morvane/Icons/application.svg RENAME morvane.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT manager)
endif()
