# Generates the native message tables (a C++ include) and the Windows string
# tables (.rc) from the UTF-8 sources of the message texts, one per language:
# messages.txt (Japanese) and messages.LANG.txt beside it.
# Input: SOURCE_DIR, LANGUAGES (comma-separated, e.g. "ja,en").
# Outputs: TABLE, RC. Without them (CHECK_ONLY), the sources are only checked.
#
# A source line is an id, a tab and the text. The escapes \n, \t and \\ of
# the text mean the same in C++ and in a resource script and pass through
# unchanged; only double quotes need escaping ("\"" in C++, """" in .rc).
# The .rc is UTF-8 (code_page 65001); LoadStringA converts the texts to the
# ANSI code page at run time.
#
# Every language must have every id of the Japanese source, and no other,
# each with the same conversions (%s, %08X, ...) in the same order.
cmake_policy(SET CMP0057 NEW)

# Reads one language's source into <prefix>_ids and <prefix>_text_<id>.
function(read_messages language prefix)
  if(language STREQUAL "ja")
    set(file ${SOURCE_DIR}/messages.txt)
  else()
    set(file ${SOURCE_DIR}/messages.${language}.txt)
  endif()
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "no message texts for language \"${language}\": "
                        "${file} is missing")
  endif()
  file(STRINGS ${file} lines ENCODING UTF-8)
  set(ids "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^#" OR line STREQUAL "")
      continue()
    endif()
    # A ";" in a text would split the line here (CMake lists); it fails below.
    if(NOT line MATCHES "^([0-9]+)\t(.*)$")
      message(FATAL_ERROR "bad line in ${file}: ${line}")
    endif()
    set(id ${CMAKE_MATCH_1})
    if(id IN_LIST ids)
      message(FATAL_ERROR "message id ${id} appears twice in ${file}")
    endif()
    list(APPEND ids ${id})
    set(${prefix}_text_${id} "${CMAKE_MATCH_2}" PARENT_SCOPE)
  endforeach()
  set(${prefix}_ids ${ids} PARENT_SCOPE)
  set(${prefix}_file ${file} PARENT_SCOPE)
endfunction()

string(REPLACE "," ";" languages "${LANGUAGES}")
if(NOT languages)
  message(FATAL_ERROR "no language for the message tables")
endif()
# Japanese, when built, comes first (the order of the string tables).
if("ja" IN_LIST languages)
  list(REMOVE_ITEM languages "ja")
  list(INSERT languages 0 "ja")
endif()
list(REMOVE_DUPLICATES languages)

# The Japanese source is the reference of every other one.
read_messages(ja ref)
foreach(language IN LISTS languages)
  if(language STREQUAL "ja")
    continue()
  endif()
  read_messages(${language} lang)
  foreach(id IN LISTS ref_ids)
    if(NOT id IN_LIST lang_ids)
      message(FATAL_ERROR "message ${id} has no text in ${lang_file}")
    endif()
    string(REGEX MATCHALL "%[-+ #0-9.]*[a-zA-Z]" want "${ref_text_${id}}")
    string(REGEX MATCHALL "%[-+ #0-9.]*[a-zA-Z]" got "${lang_text_${id}}")
    if(NOT want STREQUAL got)
      message(FATAL_ERROR "message ${id} of ${lang_file} has the conversions "
                          "\"${got}\"; the Japanese text has \"${want}\"")
    endif()
  endforeach()
  foreach(id IN LISTS lang_ids)
    if(NOT id IN_LIST ref_ids)
      message(FATAL_ERROR "message ${id} of ${lang_file} is not in "
                          "${ref_file}")
    endif()
  endforeach()
endforeach()
if(NOT TABLE)
  return()
endif()

# The resource language of each table: Japanese (Japan), as a build of
# Japanese only has always been, and English (United States). With both,
# the resource loader takes the table of the user's language, and English
# (US) for a user whose language has neither: that is its own order
# (user's language, then English (US), then any other).
set(rc_language_ja "0x11, 0x01")
set(rc_language_en "0x09, 0x01")

set(table "// Generated from the message texts; do not edit.\n")
set(rc "// Generated from the message texts; do not edit.\n#pragma code_page(65001)\n")
set(list_entries "")
foreach(language IN LISTS languages)
  if(NOT DEFINED rc_language_${language})
    message(FATAL_ERROR "no resource language for \"${language}\"")
  endif()
  read_messages(${language} lang)
  string(APPEND table "const MessageEntry kMessages_${language}[] = {\n")
  string(APPEND rc "LANGUAGE ${rc_language_${language}}\nSTRINGTABLE\nBEGIN\n")
  foreach(id IN LISTS lang_ids)
    set(text "${lang_text_${id}}")
    string(REPLACE "\"" "\\\"" c_text "${text}")
    string(REPLACE "\"" "\"\"" rc_text "${text}")
    string(APPEND table "  {${id}, \"${c_text}\"},\n")
    string(APPEND rc "  ${id}, \"${rc_text}\"\n")
  endforeach()
  string(APPEND table "};\n")
  string(APPEND rc "END\n")
  string(APPEND list_entries
         "  {\"${language}\", kMessages_${language}, sizeof kMessages_${language} / sizeof kMessages_${language}[0]},\n")
endforeach()
string(APPEND table "const MessageTable kMessageTables[] = {\n${list_entries}};\n")
file(WRITE ${TABLE} "${table}")
file(WRITE ${RC} "${rc}")
