# What every package holds besides its files, in Debian's form: the licence
# (copyright), the changelog, both under share/doc/PACKAGE, and the manual
# pages. The changelog and the pages are compressed with `gzip -9n`, which
# leaves out the file name and time, so that two builds give the same bytes.

# The package version is the project's with a packaging revision; the
# changelog's newest entry must name it.
set(KALVORO_DEB_VERSION "${PROJECT_VERSION}-1")
set(changelog "${PROJECT_SOURCE_DIR}/packaging/changelog")
file(STRINGS "${changelog}" newest LIMIT_COUNT 1)
if(NOT newest MATCHES "^kalvoro \\(${KALVORO_DEB_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog: the newest entry is \"${newest}\", "
                      "but the packages are version ${KALVORO_DEB_VERSION}")
endif()

# The copyright file: the licence text as a paragraph of the machine-readable
# format (lines indented by one space, an empty line written " .").
file(READ "${PROJECT_SOURCE_DIR}/LICENSE" licence)
string(STRIP "${licence}" licence)
string(REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REPLACE "\n" "\n " KALVORO_LICENSE_TEXT " ${licence}")
configure_file(packaging/copyright.in "${PROJECT_BINARY_DIR}/packaging/copyright" @ONLY)

set(compressed "")
function(_kalvoro_gzip aSource aName)
  set(copy "${PROJECT_BINARY_DIR}/packaging/${aName}")
  add_custom_command(OUTPUT "${copy}.gz"
    COMMAND ${CMAKE_COMMAND} -E copy "${aSource}" "${copy}"
    COMMAND gzip -9nf "${copy}"
    DEPENDS "${aSource}"
    COMMENT "Compressing ${aName}"
    VERBATIM)
  set(compressed ${compressed} "${copy}.gz" PARENT_SCOPE)
endfunction()
_kalvoro_gzip("${changelog}" changelog.Debian)
_kalvoro_gzip("${PROJECT_SOURCE_DIR}/docs/man/kalvoro.1" kalvoro.1)
_kalvoro_gzip("${PROJECT_SOURCE_DIR}/docs/man/morvane.1" morvane.1)
add_custom_target(kalvoro_docs ALL DEPENDS ${compressed})

foreach(component IN LISTS KALVORO_PACKAGES)
  set(doc "${CMAKE_INSTALL_DATADIR}/doc/${KALVORO_PACKAGE_${component}}")
  install(FILES "${PROJECT_BINARY_DIR}/packaging/copyright"
                "${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz"
    DESTINATION ${doc} COMPONENT ${component})
endforeach()
install(FILES "${PROJECT_BINARY_DIR}/packaging/kalvoro.1.gz"
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runner)
if(KALVORO_BUILD_GUI)
  install(FILES "${PROJECT_BINARY_DIR}/packaging/morvane.1.gz"
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT manager)
endif()
