# The resources of updater.exe besides the string table: the application
# manifest, the version resource and the icon, with the build options that
# choose the execution level and brand the program. Included from
# CMakeLists.txt in the Win32 build; sets UPDATER_RESOURCE_SOURCES (the .rc
# files to compile into updater.exe) and configures them into GENERATED_DIR.
#
#   UPDATER_EXECUTION_LEVEL   asInvoker (default), highestAvailable or
#                             requireAdministrator
#   UPDATER_COMPANY_NAME      CompanyName; empty: none
#   UPDATER_PRODUCT_NAME      ProductName
#   UPDATER_FILE_DESCRIPTION  FileDescription; empty: the project description
#   UPDATER_FILE_VERSION      file version, 1 to 4 numbers (a.b.c.d, each at
#                             most 65535); empty: the project version
#   UPDATER_PRODUCT_VERSION   product version, the same form; empty: the
#                             file version
#   UPDATER_COPYRIGHT         LegalCopyright; empty: none
#   UPDATER_ICON              a .ico file; empty: src/resources/updater.ico
#
# Texts are UTF-8; they reach the resource script escaped and the resource
# compiler reads it as UTF-8 (code page 65001), as the string table does.

set(UPDATER_EXECUTION_LEVELS asInvoker highestAvailable requireAdministrator)
set(UPDATER_EXECUTION_LEVEL asInvoker CACHE STRING
    "Execution level of updater.exe's manifest: ${UPDATER_EXECUTION_LEVELS}")
set_property(CACHE UPDATER_EXECUTION_LEVEL
             PROPERTY STRINGS ${UPDATER_EXECUTION_LEVELS})
set(UPDATER_COMPANY_NAME "" CACHE STRING
    "CompanyName of updater.exe's version resource (empty: none)")
set(UPDATER_PRODUCT_NAME "Updater" CACHE STRING
    "ProductName of updater.exe's version resource")
set(UPDATER_FILE_DESCRIPTION "" CACHE STRING
    "FileDescription of updater.exe (empty: the project description)")
set(UPDATER_FILE_VERSION "" CACHE STRING
    "File version of updater.exe, a.b.c.d (empty: the project version)")
set(UPDATER_PRODUCT_VERSION "" CACHE STRING
    "Product version of updater.exe, a.b.c.d (empty: the file version)")
set(UPDATER_COPYRIGHT "" CACHE STRING
    "LegalCopyright of updater.exe's version resource (empty: none)")
set(UPDATER_ICON "" CACHE FILEPATH
    "Icon of updater.exe, a .ico file (empty: the project's own)")

if(NOT UPDATER_EXECUTION_LEVEL IN_LIST UPDATER_EXECUTION_LEVELS)
  string(REPLACE ";" ", " levels "${UPDATER_EXECUTION_LEVELS}")
  message(FATAL_ERROR "UPDATER_EXECUTION_LEVEL is \"${UPDATER_EXECUTION_LEVEL}\"; "
                      "it must be one of ${levels}")
endif()

# A version of one to four numbers, each at most 65535, as the resource's
# four-part numeric form ("2, 3, 0, 0") and its dotted text ("2.3.0.0").
function(updater_resource_version option text out_numeric out_text)
  if(NOT text MATCHES "^[0-9]+(\\.[0-9]+)?(\\.[0-9]+)?(\\.[0-9]+)?$")
    message(FATAL_ERROR "${option} is \"${text}\"; it must be one to four "
                        "numbers separated by dots, such as 2.3.4.5")
  endif()
  string(REPLACE "." ";" parts "${text}")
  set(numbers "")
  foreach(part IN LISTS parts)
    string(LENGTH "${part}" digits)
    if(digits GREATER 5 OR part GREATER 65535)
      message(FATAL_ERROR "${option} is \"${text}\"; "
                          "no part of a version may exceed 65535")
    endif()
    math(EXPR part "${part}")  # drops leading zeros
    list(APPEND numbers ${part})
  endforeach()
  list(LENGTH numbers count)
  while(count LESS 4)
    list(APPEND numbers 0)
    math(EXPR count "${count} + 1")
  endwhile()
  string(REPLACE ";" ", " numeric "${numbers}")
  string(REPLACE ";" "." dotted "${numbers}")
  set(${out_numeric} "${numeric}" PARENT_SCOPE)
  set(${out_text} "${dotted}" PARENT_SCOPE)
endfunction()

# A text as the inside of a resource-script string: backslashes doubled (the
# resource compiler reads C escapes), double quotes doubled. Line breaks and
# other control characters are refused: a version field is one line.
function(updater_resource_text option text out)
  string(ASCII 1 first)
  string(ASCII 31 last)
  string(ASCII 127 delete)
  if(text MATCHES "[${first}-${last}${delete}]")
    message(FATAL_ERROR "${option} holds a line break, tab or other control "
                        "character; a version text is one line")
  endif()
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\"\"" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(file_version "${UPDATER_FILE_VERSION}")
if(file_version STREQUAL "")
  set(file_version "${PROJECT_VERSION}")
endif()
updater_resource_version(UPDATER_FILE_VERSION "${file_version}"
  UPDATER_RC_FILE_VERSION UPDATER_RC_FILE_VERSION_TEXT)
set(product_version "${UPDATER_PRODUCT_VERSION}")
if(product_version STREQUAL "")
  set(product_version "${file_version}")
endif()
updater_resource_version(UPDATER_PRODUCT_VERSION "${product_version}"
  UPDATER_RC_PRODUCT_VERSION UPDATER_RC_PRODUCT_VERSION_TEXT)

set(description "${UPDATER_FILE_DESCRIPTION}")
if(description STREQUAL "")
  set(description "${PROJECT_DESCRIPTION}")
endif()
updater_resource_text(UPDATER_FILE_DESCRIPTION "${description}"
                      UPDATER_RC_FILE_DESCRIPTION)
updater_resource_text(UPDATER_PRODUCT_NAME "${UPDATER_PRODUCT_NAME}"
                      UPDATER_RC_PRODUCT_NAME)
# The values a publisher may leave out entirely.
set(UPDATER_RC_OPTIONAL_VALUES "")
foreach(pair "CompanyName;UPDATER_COMPANY_NAME"
             "LegalCopyright;UPDATER_COPYRIGHT")
  list(GET pair 0 key)
  list(GET pair 1 option)
  if(NOT "${${option}}" STREQUAL "")
    updater_resource_text(${option} "${${option}}" value)
    string(APPEND UPDATER_RC_OPTIONAL_VALUES
           "      VALUE \"${key}\", \"${value}\"\n")
  endif()
endforeach()

# The icon is copied into the build tree under a fixed name, so the resource
# script names no path of the build machine; a change to the file reruns
# the configure step.
set(icon "${UPDATER_ICON}")
if(icon STREQUAL "")
  set(icon "${CMAKE_SOURCE_DIR}/src/resources/updater.ico")
endif()
if(NOT EXISTS "${icon}" OR IS_DIRECTORY "${icon}")
  message(FATAL_ERROR "UPDATER_ICON: no file \"${icon}\"")
endif()
file(READ "${icon}" icon_header LIMIT 6 HEX)
if(NOT icon_header MATCHES "^00000100" OR icon_header MATCHES "0000$")
  message(FATAL_ERROR "UPDATER_ICON: \"${icon}\" is not an icon (.ico) file")
endif()
configure_file("${icon}" "${GENERATED_DIR}/updater.ico" COPYONLY)

# The manifest names the processor of the build (the product is x86; the
# 64-bit build that some test machines run under Wine is amd64): Windows
# refuses to start a program whose manifest names another.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(UPDATER_RC_ARCHITECTURE amd64)
else()
  set(UPDATER_RC_ARCHITECTURE x86)
endif()
configure_file(${CMAKE_SOURCE_DIR}/src/resources/updater.manifest.in
               ${GENERATED_DIR}/updater.manifest @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/src/resources/version.rc.in
               ${GENERATED_DIR}/version.rc @ONLY)

set(UPDATER_RESOURCE_SOURCES
    ${GENERATED_DIR}/version.rc
    ${CMAKE_SOURCE_DIR}/src/resources/manifest.rc
    ${CMAKE_SOURCE_DIR}/src/resources/icon.rc)
set_source_files_properties(${CMAKE_SOURCE_DIR}/src/resources/manifest.rc
  PROPERTIES OBJECT_DEPENDS ${GENERATED_DIR}/updater.manifest)
set_source_files_properties(${CMAKE_SOURCE_DIR}/src/resources/icon.rc
  PROPERTIES OBJECT_DEPENDS ${GENERATED_DIR}/updater.ico)
