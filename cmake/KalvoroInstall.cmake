# Installs the library, the headers, the programs, the example modules and a
# CMake package, so that find_package(Kalvoro) builds modules out of tree.
include(CMakePackageConfigHelpers)

set(KALVORO_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/Kalvoro")

install(TARGETS kalvoro kalvoro_module kalvoro_package EXPORT KalvoroTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${KALVORO_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kalvoro)
install(EXPORT KalvoroTargets NAMESPACE Kalvoro:: DESTINATION ${KALVORO_CMAKE_DIR})

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
  DESTINATION ${KALVORO_CMAKE_DIR})

install(FILES $<TARGET_FILE:Demo> $<TARGET_FILE:Vacuel> "${KALVORO_EXAMPLES_DIR}/Demo.kvr"
  DESTINATION ${CMAKE_INSTALL_DATADIR}/kalvoro/examples)

# Manual pages; for the manager also its desktop entry and icon, and the type
# of project files, so that the desktop's menu lists Morvane and opens .kvr
# files with it.
install(FILES docs/man/kalvoro.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(KALVORO_BUILD_GUI)
  install(FILES docs/man/morvane.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES packaging/morvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES packaging/kalvoro.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
  install(FILES Sources/Morvane/Icons/application.svg RENAME morvane.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
