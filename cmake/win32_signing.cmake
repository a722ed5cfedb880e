# Authenticode signing of the Windows programs, updater.exe and
# updater-check.exe, with osslsigncode after each is linked. Included at the
# end of CMakeLists.txt in the Win32 build, after both targets exist.
#
#   UPDATER_SIGN_PKCS12          a .pfx/.p12 file holding the certificate
#                                and its key, or:
#   UPDATER_SIGN_CERT            the certificate (PEM; with the chain below
#   UPDATER_SIGN_KEY             it, if any) and its private key (PEM)
#   UPDATER_SIGN_PASSWORD_FILE   a file whose first line is the password of
#                                the .pfx or the key; empty: none
#   UPDATER_SIGN_TIMESTAMP_URL   an RFC 3161 time-stamp authority; empty: no
#                                time stamp
#   UPDATER_SIGN_CA_FILE         the certificates (PEM) that the check after
#                                signing trusts; empty: the system's bundle
#
# None of the first three given: the programs are not signed. Given, each
# program is signed (SHA-256) and the signature verified at once; a program
# whose signing or verifying fails is removed and the build fails, so that
# no unsigned file is left where a signed one was asked for.

set(UPDATER_SIGN_PKCS12 "" CACHE FILEPATH
    "Sign the Windows programs with this .pfx/.p12 file (empty: unsigned)")
set(UPDATER_SIGN_PASSWORD_FILE "" CACHE FILEPATH
    "File holding the password of the .pfx or of the key (empty: none)")
set(UPDATER_SIGN_CERT "" CACHE FILEPATH
    "Sign with this certificate (PEM), together with UPDATER_SIGN_KEY")
set(UPDATER_SIGN_KEY "" CACHE FILEPATH
    "Private key (PEM) of UPDATER_SIGN_CERT")
set(UPDATER_SIGN_TIMESTAMP_URL "" CACHE STRING
    "RFC 3161 time-stamp authority for the signatures (empty: none)")
set(UPDATER_SIGN_CA_FILE "" CACHE FILEPATH
    "Certificates (PEM) the check after signing trusts (empty: the system's)")

set(sign_material "")
if(UPDATER_SIGN_PKCS12)
  if(UPDATER_SIGN_CERT OR UPDATER_SIGN_KEY)
    message(FATAL_ERROR "UPDATER_SIGN_PKCS12 and UPDATER_SIGN_CERT/"
                        "UPDATER_SIGN_KEY are both given; give one of them")
  endif()
  set(sign_material -pkcs12 ${UPDATER_SIGN_PKCS12})
  set(sign_files UPDATER_SIGN_PKCS12)
elseif(UPDATER_SIGN_CERT OR UPDATER_SIGN_KEY)
  if(NOT UPDATER_SIGN_CERT OR NOT UPDATER_SIGN_KEY)
    message(FATAL_ERROR "UPDATER_SIGN_CERT and UPDATER_SIGN_KEY go together; "
                        "one of them is empty")
  endif()
  set(sign_material -certs ${UPDATER_SIGN_CERT} -key ${UPDATER_SIGN_KEY})
  set(sign_files UPDATER_SIGN_CERT UPDATER_SIGN_KEY)
elseif(UPDATER_SIGN_PASSWORD_FILE OR UPDATER_SIGN_TIMESTAMP_URL OR
       UPDATER_SIGN_CA_FILE)
  message(FATAL_ERROR "UPDATER_SIGN_PASSWORD_FILE, UPDATER_SIGN_TIMESTAMP_URL "
                      "and UPDATER_SIGN_CA_FILE need UPDATER_SIGN_PKCS12 or "
                      "UPDATER_SIGN_CERT and UPDATER_SIGN_KEY")
endif()

if(sign_material)
  if(UPDATER_SIGN_PASSWORD_FILE)
    list(APPEND sign_files UPDATER_SIGN_PASSWORD_FILE)
  endif()
  if(UPDATER_SIGN_CA_FILE)
    list(APPEND sign_files UPDATER_SIGN_CA_FILE)
  endif()
  foreach(option ${sign_files})
    if(NOT EXISTS "${${option}}" OR IS_DIRECTORY "${${option}}")
      message(FATAL_ERROR "${option} is \"${${option}}\"; no such file")
    endif()
  endforeach()
  find_program(OSSLSIGNCODE osslsigncode)
  if(NOT OSSLSIGNCODE)
    message(FATAL_ERROR "signing asked for (${sign_files}) but osslsigncode "
                        "is not installed (tools/setup-debian.sh installs it)")
  endif()
  if(UPDATER_SIGN_TIMESTAMP_URL AND
     NOT UPDATER_SIGN_TIMESTAMP_URL MATCHES "^https?://[^ ]+$")
    message(FATAL_ERROR "UPDATER_SIGN_TIMESTAMP_URL is "
                        "\"${UPDATER_SIGN_TIMESTAMP_URL}\"; it must be an "
                        "http:// or https:// address")
  endif()
  # The arguments reach the script as one list; ";" cannot be escaped
  # through -D, hence "|".
  string(REPLACE ";" "|" sign_arguments "${sign_material}")
  foreach(program updater updater-check)
    add_custom_command(TARGET ${program} POST_BUILD
      COMMAND ${CMAKE_COMMAND}
        -DOSSLSIGNCODE=${OSSLSIGNCODE}
        -DFILE=$<TARGET_FILE:${program}>
        "-DMATERIAL=${sign_arguments}"
        "-DPASSWORD_FILE=${UPDATER_SIGN_PASSWORD_FILE}"
        "-DTIMESTAMP_URL=${UPDATER_SIGN_TIMESTAMP_URL}"
        "-DCA_FILE=${UPDATER_SIGN_CA_FILE}"
        -P ${CMAKE_SOURCE_DIR}/cmake/sign_file.cmake
      VERBATIM)
  endforeach()
  message(STATUS "updater.exe and updater-check.exe are signed with "
                 "${sign_files}")
endif()
