# kalvoro_add_test_module(NAME SOURCES src... [PACKAGE] [OUTPUT_DIRECTORY dir])
#
# Builds a test module: NAME.so, or with PACKAGE the package NAME.bpl. Modules
# are built with hidden visibility and without process-wide unique symbols, so
# that each keeps its own registry and unloading really unmaps it.
include_guard(GLOBAL)

function(kalvoro_add_test_module NAME)
  cmake_parse_arguments(ARG "PACKAGE" "OUTPUT_DIRECTORY" "SOURCES" ${ARGN})
  if(NOT ARG_SOURCES)
    set(ARG_SOURCES ${ARG_UNPARSED_ARGUMENTS})
  endif()
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "kalvoro_add_test_module(${NAME}): no SOURCES given")
  endif()
  add_library(${NAME} MODULE ${ARG_SOURCES})
  target_link_libraries(${NAME} PRIVATE
    Kalvoro::kalvoro
    "$<LINK_LIBRARY:WHOLE_ARCHIVE,Kalvoro::kalvoro_module>")
  set(suffix ".so")
  if(ARG_PACKAGE)
    target_link_libraries(${NAME} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,Kalvoro::kalvoro_package>")
    set(suffix ".bpl")
  endif()
  set_target_properties(${NAME} PROPERTIES
    PREFIX ""
    SUFFIX "${suffix}"
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${NAME} PRIVATE -fno-gnu-unique)
  endif()
  if(ARG_OUTPUT_DIRECTORY)
    set_target_properties(${NAME} PROPERTIES LIBRARY_OUTPUT_DIRECTORY "${ARG_OUTPUT_DIRECTORY}")
  endif()
endfunction()
