# The Win32 platform checks: a program that exercises the Win32 platform on
# the real system (run under Wine by tests/win32/run_checks.sh). Included from
# CMakeLists.txt in the Win32 build, after updater_engine and MESSAGES_RC.
if(WIN32)
  add_executable(win32_platform_check
    ${CMAKE_SOURCE_DIR}/tests/win32/win32_platform_check.cc ${MESSAGES_RC})
  target_link_libraries(win32_platform_check PRIVATE updater_engine)
  target_link_options(win32_platform_check PRIVATE
    -static -static-libgcc -static-libstdc++)
endif()

# The INI reader compared with the system's profile functions on generated
# files (run by tests/win32/run_checks.sh).
if(WIN32)
  add_executable(profile_compare_check
    ${CMAKE_SOURCE_DIR}/tests/win32/profile_compare_check.cc)
  target_link_libraries(profile_compare_check PRIVATE updater_engine)
  target_link_options(profile_compare_check PRIVATE
    -static -static-libgcc -static-libstdc++)
endif()

# The progress window seen from outside (run under Wine by
# tests/win32/run_progress_check.sh): needs nothing of the engine.
if(WIN32)
  add_executable(progress_check ${CMAKE_SOURCE_DIR}/tests/win32/progress_check.cc)
  target_link_libraries(progress_check PRIVATE user32)
  target_link_options(progress_check PRIVATE
    -static -static-libgcc -static-libstdc++)
endif()
