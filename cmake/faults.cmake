# Programs of the fault scenarios (tests/scenarios/faults, native only):
# fault_shim.so, preloaded into the updater to inject faults during a run
# (tests/faults/fault_shim.c), and crash_at_once, a program that dies of a
# signal as soon as it starts. Both land beside the updater, where the
# scenario runner looks for helpers. They are never instrumented by the
# sanitizers: a sanitizer's own report of the crash, or its objection to a
# preloaded library, is not what the scenarios test.
if(NOT WIN32 AND UPDATER_TESTS)
  enable_language(C)
  add_library(fault_shim MODULE tests/faults/fault_shim.c)
  set_target_properties(fault_shim PROPERTIES
    PREFIX "" SUFFIX ".so"
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
    C_STANDARD 11
    UPDATER_NO_SANITIZE TRUE)
  target_compile_options(fault_shim PRIVATE -Wall -Wextra -Werror)
  target_link_libraries(fault_shim PRIVATE ${CMAKE_DL_LIBS})

  add_executable(crash_at_once tests/faults/crash_at_once.c)
  set_target_properties(crash_at_once PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
    C_STANDARD 11
    UPDATER_NO_SANITIZE TRUE)
  target_compile_options(crash_at_once PRIVATE -Wall -Wextra -Werror)
endif()
