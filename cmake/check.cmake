# updater-check: the settings checker, a console program beside the updater
# (updater-check.exe in the Windows build). Included at the end of
# CMakeLists.txt, after updater_engine, MESSAGES_RC and unit_tests exist.
# The checker's sources are the library updater_check, the top layer.
if(WIN32)
  # Console subsystem; the string table of the messages, and a manifest that
  # asks for no elevation (a name holding "update" would otherwise be taken
  # for an installer).
  add_executable(updater-check ${CMAKE_SOURCE_DIR}/src/check/main.cc
    ${MESSAGES_RC} ${CMAKE_SOURCE_DIR}/src/check/check.rc)
  target_include_directories(updater-check PRIVATE
    ${CMAKE_SOURCE_DIR}/src/check)
  set_source_files_properties(${CMAKE_SOURCE_DIR}/src/check/check.rc
    PROPERTIES OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/src/check/check.manifest)
  target_link_options(updater-check PRIVATE -static -static-libgcc
    -static-libstdc++ $<$<CONFIG:Release>:-s>)
else()
  add_executable(updater-check ${CMAKE_SOURCE_DIR}/src/check/main.cc)
endif()
target_link_libraries(updater-check PRIVATE updater_check)
target_include_directories(updater-check PRIVATE
  ${LAYER_INCLUDE_ROOT}/check)
