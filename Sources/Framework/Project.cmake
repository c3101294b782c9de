# The project layer: project model, tokenizer and the INI project file. Linked
# into the programs (manager, console runner), not into test modules.
add_library(kalvoro_project STATIC
  ${CMAKE_CURRENT_LIST_DIR}/IniFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Project.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Tokenizer.cpp
)
add_library(Kalvoro::kalvoro_project ALIAS kalvoro_project)
target_include_directories(kalvoro_project PUBLIC
  $<BUILD_INTERFACE:${CMAKE_CURRENT_LIST_DIR}>)
target_link_libraries(kalvoro_project PUBLIC kalvoro)
set_target_properties(kalvoro_project PROPERTIES POSITION_INDEPENDENT_CODE ON)
