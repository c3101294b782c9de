# Run at install time (cmake/KalvoroInstall.cmake sets the KALVORO_PC_
# variables): writes kalvoro.pc and kalvoro-module.pc with the prefix of this
# install, which `cmake --install --prefix` and cpack choose, and installs them
# into LIBDIR/pkgconfig.
set(prefix "${CMAKE_INSTALL_PREFIX}")
set(files "")
foreach(name kalvoro kalvoro-module)
  configure_file("${KALVORO_PC_SOURCE}/${name}.pc.in" "${KALVORO_PC_WORK}/${name}.pc" @ONLY)
  list(APPEND files "${KALVORO_PC_WORK}/${name}.pc")
endforeach()
set(destination "${CMAKE_INSTALL_PREFIX}/${KALVORO_PC_LIBDIR}/pkgconfig")
foreach(file IN LISTS files)
  get_filename_component(name "${file}" NAME)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${destination}/${name}")
endforeach()
file(INSTALL DESTINATION "${destination}" TYPE FILE FILES ${files})
