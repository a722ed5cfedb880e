# Signs one program with osslsigncode (SHA-256 Authenticode) and verifies
# the signature; run after linking by the rule of win32_signing.cmake.
# Input: OSSLSIGNCODE, FILE, MATERIAL (the certificate arguments, joined by
# "|"), PASSWORD_FILE, TIMESTAMP_URL, CA_FILE (each may be empty).
#
# The signed copy is written beside the program and renamed over it only
# when it verifies. On any failure the program itself is removed, so that
# the build stops with no unsigned file under its name, and the next build
# links it again.
get_filename_component(name "${FILE}" NAME)
set(signed "${FILE}.signed")
file(REMOVE "${signed}")

function(fail what output)
  file(REMOVE "${FILE}" "${signed}")
  message(FATAL_ERROR "signing ${name} failed: ${what}; ${name} was removed, "
                      "nothing unsigned is left.\nosslsigncode said:\n"
                      "${output}")
endfunction()

string(REPLACE "|" ";" material "${MATERIAL}")
set(command ${OSSLSIGNCODE} sign ${material} -h sha256)
if(PASSWORD_FILE)
  list(APPEND command -readpass ${PASSWORD_FILE})
endif()
if(TIMESTAMP_URL)
  list(APPEND command -ts ${TIMESTAMP_URL})
endif()
list(APPEND command -in ${FILE} -out ${signed})
execute_process(COMMAND ${command} RESULT_VARIABLE result
                OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR NOT EXISTS "${signed}")
  if(TIMESTAMP_URL AND output MATCHES "[Tt]imestamp")
    fail("no time stamp could be had from ${TIMESTAMP_URL}" "${output}")
  endif()
  if(output MATCHES "consistency of a private key|key values mismatch")
    fail("the key does not match the certificate" "${output}")
  elseif(output MATCHES "[Ww]rong password|mac verify failure|bad decrypt")
    fail("the password is wrong" "${output}")
  endif()
  fail("the certificate, the key or the password was not accepted" "${output}")
endif()

set(command ${OSSLSIGNCODE} verify -in ${signed})
if(CA_FILE)
  list(APPEND command -CAfile ${CA_FILE})
endif()
execute_process(COMMAND ${command} RESULT_VARIABLE result
                OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  set(reason "")
  if(output MATCHES "Error: ([^\n]*)")
    set(reason " (${CMAKE_MATCH_1})")
  endif()
  fail("the new signature does not verify${reason}: an expired or not yet \
valid certificate, or one whose issuer is not trusted (UPDATER_SIGN_CA_FILE \
names the certificates to trust)" "${output}")
endif()
file(RENAME "${signed}" "${FILE}")
message(STATUS "${name}: signed (SHA-256) and verified")
