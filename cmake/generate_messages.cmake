# Generates the native message table (a C++ include) and the Windows string
# table (.rc) from the one UTF-8 source of the message texts.
# Input: SOURCE. Outputs: TABLE, RC.
#
# A source line is an id, a tab and the text. The escapes \n, \t and \\ of
# the text mean the same in C++ and in a resource script and pass through
# unchanged; only double quotes need escaping ("\"" in C++, """" in .rc).
# The .rc is UTF-8 (code_page 65001); LoadStringA converts the texts to the
# ANSI code page at run time.
cmake_policy(SET CMP0057 NEW)
file(STRINGS ${SOURCE} lines ENCODING UTF-8)
set(table "// Generated from messages.txt; do not edit.\n")
set(rc "// Generated from messages.txt; do not edit.\n#pragma code_page(65001)\nLANGUAGE 0x11, 0x01\nSTRINGTABLE\nBEGIN\n")
set(seen "")
foreach(line IN LISTS lines)
  if(line MATCHES "^#" OR line STREQUAL "")
    continue()
  endif()
  # A ";" in a text would split the line here (CMake lists); it fails below.
  if(NOT line MATCHES "^([0-9]+)\t(.*)$")
    message(FATAL_ERROR "bad line in ${SOURCE}: ${line}")
  endif()
  set(id ${CMAKE_MATCH_1})
  set(text "${CMAKE_MATCH_2}")
  if(id IN_LIST seen)
    message(FATAL_ERROR "message id ${id} appears twice in ${SOURCE}")
  endif()
  list(APPEND seen ${id})
  string(REPLACE "\"" "\\\"" c_text "${text}")
  string(REPLACE "\"" "\"\"" rc_text "${text}")
  string(APPEND table "{${id}, \"${c_text}\"},\n")
  string(APPEND rc "  ${id}, \"${rc_text}\"\n")
endforeach()
string(APPEND rc "END\n")
file(WRITE ${TABLE} "${table}")
file(WRITE ${RC} "${rc}")
