# `cpack -G DEB` in a build tree makes a Debian package of the install tree
# under /usr. Its dependencies come from dpkg-shlibdeps when dpkg-dev is
# there; the SVG image plugin, which the manager loads at run time, is named
# by hand.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kalvoro)
set(CPACK_PACKAGE_VENDOR "Kalvoro")
set(CPACK_PACKAGE_CONTACT "Kalvoro developers <kalvoro@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
  "Unit tests are classes built into test modules (shared libraries) that are "
  "loaded at run time. The package holds the framework library and headers, the "
  "CMake package for find_package(Kalvoro), the console runner kalvoro, the "
  "desktop manager Morvane and example modules.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "cmake, g++")
# libkalvoro.so.0 is a public library: the package declares it (shlibs) and
# runs ldconfig.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)

find_program(KALVORO_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(KALVORO_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The programs need the package's own library, which is not installed yet.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    "${PROJECT_BINARY_DIR}/Sources/Framework")
  set(depends "")
else()
  set(depends "libc6, libstdc++6")
  if(KALVORO_BUILD_GUI)
    string(APPEND depends ", libqt6core6, libqt6gui6, libqt6widgets6")
  endif()
endif()
if(KALVORO_BUILD_GUI)
  list(APPEND depends "libqt6svg6")
endif()
list(JOIN depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)

include(CPack)
