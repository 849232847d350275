# Authenticode signing of the shipped executable, off unless a key is named. The payloads
# are resources inside the image, so the one signature covers every payload byte.
#
# A key from a PKCS#12 file:    -DORVANTA_SIGN_PKCS12=<file.p12>
# A key on a hardware token:    -DORVANTA_SIGN_CERTIFICATE=<chain.pem>
#                               -DORVANTA_SIGN_PKCS11_KEY=<pkcs11: URI>
#                               -DORVANTA_SIGN_PKCS11_MODULE=<module.so>
# An RFC 3161 timestamp:        -DORVANTA_SIGN_TIMESTAMP_URL=<url>
# The password of the PKCS#12 file, or the token's PIN, is read from the environment
# variable ORVANTA_SIGN_PASSWORD when the build signs; it is never stored by CMake.
set(ORVANTA_SIGN_PKCS12 "" CACHE FILEPATH
    "PKCS#12 file with the code-signing key and its certificate chain; empty: not signed")
set(ORVANTA_SIGN_CERTIFICATE "" CACHE FILEPATH
    "Certificate chain (PEM) of a code-signing key on a PKCS#11 token")
set(ORVANTA_SIGN_PKCS11_KEY "" CACHE STRING "PKCS#11 URI of the code-signing key on a token")
set(ORVANTA_SIGN_PKCS11_MODULE "" CACHE FILEPATH "PKCS#11 module of the token")
set(ORVANTA_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 timestamp server; empty: none")

# A file named in the cache, as an absolute path that must exist.
function(orvanta_signing_file variable out)
    get_filename_component(file "${${variable}}" ABSOLUTE BASE_DIR ${CMAKE_BINARY_DIR})
    if(NOT EXISTS "${file}" OR IS_DIRECTORY "${file}")
        message(FATAL_ERROR "${variable}: no such file: ${${variable}}")
    endif()
    set(${out} "${file}" PARENT_SCOPE)
endfunction()

# sign_after_link(<target>): signs the target's file as the last step of its link, before
# anything that depends on the target can use it.
function(sign_after_link target)
    set(options)
    if(ORVANTA_SIGN_PKCS12)
        if(ORVANTA_SIGN_PKCS11_KEY)
            message(FATAL_ERROR "ORVANTA_SIGN_PKCS12 and ORVANTA_SIGN_PKCS11_KEY: name one key")
        endif()
        orvanta_signing_file(ORVANTA_SIGN_PKCS12 pkcs12)
        list(APPEND options --pkcs12 "${pkcs12}")
    elseif(ORVANTA_SIGN_PKCS11_KEY)
        if(NOT ORVANTA_SIGN_CERTIFICATE OR NOT ORVANTA_SIGN_PKCS11_MODULE)
            message(FATAL_ERROR "ORVANTA_SIGN_PKCS11_KEY needs ORVANTA_SIGN_CERTIFICATE and "
                                "ORVANTA_SIGN_PKCS11_MODULE")
        endif()
        orvanta_signing_file(ORVANTA_SIGN_CERTIFICATE certificate)
        orvanta_signing_file(ORVANTA_SIGN_PKCS11_MODULE module)
        # A URI's attributes are separated by semicolons, which a CMake list would split.
        string(REPLACE ";" "$<SEMICOLON>" key "${ORVANTA_SIGN_PKCS11_KEY}")
        list(APPEND options --certs "${certificate}" --pkcs11-module "${module}"
             --pkcs11-key "${key}")
    else()
        return()
    endif()
    if(ORVANTA_SIGN_TIMESTAMP_URL)
        list(APPEND options --timestamp "${ORVANTA_SIGN_TIMESTAMP_URL}")
    endif()
    find_program(OSSLSIGNCODE osslsigncode REQUIRED)
    find_program(BASH bash REQUIRED)
    message(STATUS "${target} is signed after linking")
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${BASH} ${PROJECT_SOURCE_DIR}/scripts/sign.sh ${options} $<TARGET_FILE:${target}>
        COMMENT "Signing ${target}"
        VERBATIM)
endfunction()
