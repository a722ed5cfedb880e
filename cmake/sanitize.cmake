# Sanitizer build: UPDATER_SANITIZE=ON compiles and links every target of
# the project with AddressSanitizer (leaks included) and
# UndefinedBehaviorSanitizer, stopping at the first report
# (tools/sanitize.sh builds with it and runs the unit tests and the native
# scenarios). Also home of the fault-injection programs of the native fault
# scenarios (cmake/faults.cmake), which are never instrumented.
option(UPDATER_SANITIZE
       "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

include(${CMAKE_CURRENT_LIST_DIR}/faults.cmake)

if(UPDATER_SANITIZE)
  if(WIN32)
    message(FATAL_ERROR "UPDATER_SANITIZE is for the native build only")
  endif()
  set(UPDATER_SANITIZE_FLAGS
      -fsanitize=address,undefined -fno-omit-frame-pointer
      -fno-sanitize-recover=all)
  get_property(sanitize_targets DIRECTORY ${CMAKE_SOURCE_DIR}
               PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS sanitize_targets)
    get_target_property(type ${target} TYPE)
    get_target_property(skip ${target} UPDATER_NO_SANITIZE)
    if(skip OR NOT type MATCHES
       "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
      continue()
    endif()
    target_compile_options(${target} PRIVATE ${UPDATER_SANITIZE_FLAGS})
    if(target STREQUAL "unit_tests")
      # The tests' own code unoptimized: instrumented all the same, built
      # in a third of the time (the engine keeps the build's -O1; the
      # native build compiles the same code at -O1 for the warnings).
      target_compile_options(${target} PRIVATE -O0)
    endif()
    if(NOT type STREQUAL "STATIC_LIBRARY" AND NOT type STREQUAL "OBJECT_LIBRARY")
      target_link_options(${target} PRIVATE ${UPDATER_SANITIZE_FLAGS})
    endif()
  endforeach()
endif()
