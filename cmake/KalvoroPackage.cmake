# `cpack -G DEB` makes one Debian package per install component (the table
# in cmake/KalvoroInstall.cmake). Built from a tree configured for the prefix
# /usr (the `deb` preset), the library lies in the multiarch folder. Each
# program needs the library of its own build, so it depends on that exact
# version; the other dependencies come from dpkg-shlibdeps. Today's single
# `kalvoro` 0.7.0 package held the files that the other packages hold now:
# they break and replace it, so that it can be upgraded.
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_PACKAGE_NAME kalvoro)
set(CPACK_PACKAGE_VENDOR "Kalvoro")
set(CPACK_PACKAGE_CONTACT "Kalvoro developers <kalvoro@example.org>")
# Each package's description starts with its own summary line; CPack would
# put a common summary before it.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SOURCE kalvoro)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The programs need the package's own library, which is not installed yet.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${PROJECT_BINARY_DIR}/Sources/Framework")

if(NOT KALVORO_DEB_VERSION STREQUAL "${CPACK_DEBIAN_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")
  message(FATAL_ERROR "The package version differs from the changelog's: ${KALVORO_DEB_VERSION}")
endif()
set(same "(= ${KALVORO_DEB_VERSION})")
set(library "${KALVORO_PACKAGE_library} ${same}")
set(old "kalvoro (<< ${KALVORO_DEB_VERSION})")

# Per package: name, section, description (a summary line, then the text),
# dependencies beyond those found by dpkg-shlibdeps, and whether it takes
# files over from the old single package.
function(_kalvoro_deb aComponent aSection aDepends aSummary)
  string(TOUPPER "${aComponent}" upper)
  set(prefix CPACK_DEBIAN_${upper})
  set(${prefix}_PACKAGE_NAME "${KALVORO_PACKAGE_${aComponent}}" PARENT_SCOPE)
  set(${prefix}_PACKAGE_SECTION "${aSection}" PARENT_SCOPE)
  set(${prefix}_PACKAGE_DEPENDS "${aDepends}" PARENT_SCOPE)
  string(JOIN "\n" description "${aSummary}" ${ARGN})
  set(CPACK_COMPONENT_${upper}_DESCRIPTION "${description}" PARENT_SCOPE)
  if(NOT aComponent STREQUAL "runner")
    set(${prefix}_PACKAGE_BREAKS "${old}" PARENT_SCOPE)
    set(${prefix}_PACKAGE_REPLACES "${old}" PARENT_SCOPE)
  endif()
endfunction()

_kalvoro_deb(library libs ""
  "Unit-testing framework for C++ (shared library)"
  "Kalvoro runs unit tests that are classes built into test modules, shared"
  "libraries loaded at run time. This package holds the library that the"
  "programs and every test module use. Its soname's number is the module ABI"
  "version.")
_kalvoro_deb(development libdevel "${library}"
  "Unit-testing framework for C++ (development files)"
  "Headers, the static parts linked into each test module, the CMake package"
  "for find_package(Kalvoro) with kalvoro_add_test_module and"
  "kalvoro_discover_tests, and the pkg-config files kalvoro and kalvoro-module.")
_kalvoro_deb(runner devel "${library}"
  "Unit-testing framework for C++ (console runner)"
  "The kalvoro program runs test modules and projects headless, for terminals"
  "and CI, and writes the log, the error list, the summary and JUnit XML. Its"
  "run host runs the tests in a separate process. It needs no Qt.")
_kalvoro_deb(manager devel "${library}, kalvoro ${same}, libqt6svg6"
  "Unit-testing framework for C++ (desktop manager)"
  "Morvane loads test modules, groups their unit tests into scenarios, runs"
  "them behind a progress window and shows every result, check and exception.")
_kalvoro_deb(examples devel "${library}"
  "Unit-testing framework for C++ (example modules)"
  "Two example test modules and a demo project that uses them, which opens"
  "and runs in place in Morvane and with the console runner.")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_RECOMMENDS "kalvoro ${same}, cmake, g++, pkg-config")
set(CPACK_DEBIAN_EXAMPLES_PACKAGE_RECOMMENDS "morvane ${same} | kalvoro ${same}")

# libkalvoro.so.N is a public library: the package declares it (shlibs) and
# lets dpkg run ldconfig through a trigger. CPack would add maintainer scripts
# that call ldconfig unless a postinst and a postrm are named; naming files
# that do not exist keeps the package without maintainer scripts.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA
  "${PROJECT_SOURCE_DIR}/packaging/triggers"
  "${PROJECT_BINARY_DIR}/packaging/none/postinst"
  "${PROJECT_BINARY_DIR}/packaging/none/postrm")
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
