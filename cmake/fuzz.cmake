# libFuzzer targets (fuzz/*_fuzz.cc): UPDATER_FUZZ=ON, clang only.
# Each target links the engine, built once more for them with coverage
# instrumentation (-fsanitize=fuzzer-no-link), AddressSanitizer and
# UndefinedBehaviorSanitizer; tools/fuzz.sh builds and runs them.
option(UPDATER_FUZZ "Build the libFuzzer targets (clang)" OFF)

if(UPDATER_FUZZ)
  if(WIN32 OR NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR
      "UPDATER_FUZZ needs clang: -DCMAKE_CXX_COMPILER=clang++")
  endif()
  set(UPDATER_FUZZ_SANITIZE
      -fsanitize=address,undefined -fno-sanitize-recover=all
      -fno-omit-frame-pointer)

  # The engine with the POSIX platform, the two test platforms that the
  # targets drive it through: the recording one (a run that changes
  # nothing) and the fake one (scripted applications and folders), and the
  # reference text operations the targets compare the engine with.
  file(GLOB FUZZ_SUPPORT CONFIGURE_DEPENDS
    src/check/recording_platform.cc src/platform/fake/fake_platform.cc
    fuzz/reference_text.cc)
  add_library(updater_fuzz_engine STATIC
    ${ENGINE_SOURCES} ${PLATFORM_SOURCES} ${FUZZ_SUPPORT} ${MESSAGES_TABLE})
  target_include_directories(updater_fuzz_engine PUBLIC src ${GENERATED_DIR})
  add_dependencies(updater_fuzz_engine messages)
  target_compile_options(updater_fuzz_engine
    PUBLIC ${UPDATER_FUZZ_SANITIZE} PRIVATE -fsanitize=fuzzer-no-link)

  file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS fuzz/*_fuzz.cc)
  set(FUZZ_TARGETS)
  foreach(source ${FUZZ_SOURCES})
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE updater_fuzz_engine)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE
      -fsanitize=fuzzer ${UPDATER_FUZZ_SANITIZE})
    set_target_properties(${name} PROPERTIES
      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
    list(APPEND FUZZ_TARGETS ${name})
  endforeach()
  add_custom_target(fuzz_targets DEPENDS ${FUZZ_TARGETS})
endif()
