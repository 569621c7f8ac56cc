# Authenticode signatures of the shipped programs, made with osslsigncode.
#
# The identity is a PKCS#12 file (KEYSETUP_SIGN_PKCS12) or a certificate and
# key pair (KEYSETUP_SIGN_CERT, KEYSETUP_SIGN_KEY). Its password is read when
# the build runs, from a file (KEYSETUP_SIGN_PASSWORD_FILE) or from the
# environment variable KEYSETUP_SIGN_PASSWORD_ENV names, and reaches the
# tools on a pipe: it is never in the cache, in build.ninja or on a command
# line. Without an identity nothing is signed and the build is unchanged.
#
# The embedded programs are signed right after they are linked, in the same
# build step, so that what keysetup.rc embeds and what the payload listing
# hashes are the signed files; keysetup.exe is signed after its own link.
#
# Exported:
#     keysetup_sign_target(TARGET)    signs the target's file after its link
#     keysetup_sign_command(VAR FILE) sets VAR to the COMMAND (and DEPENDS)
#                                     words that sign FILE, for appending to
#                                     an add_custom_command; empty unsigned

set(KEYSETUP_SIGN_PKCS12 "" CACHE FILEPATH "PKCS#12 file of the signing identity; empty: programs are not signed")
set(KEYSETUP_SIGN_CERT "" CACHE FILEPATH "Certificate (PEM or DER) of the signing identity, with KEYSETUP_SIGN_KEY")
set(KEYSETUP_SIGN_KEY "" CACHE FILEPATH "Private key of the signing identity, with KEYSETUP_SIGN_CERT")
set(KEYSETUP_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File whose first line is the identity's password")
set(KEYSETUP_SIGN_PASSWORD_ENV "" CACHE STRING "Name of the environment variable holding the identity's password when building")
set(KEYSETUP_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server; empty: no timestamp")
set(KEYSETUP_SIGN_TIME "" CACHE STRING "Signing time in seconds since 1970 (reproducible signatures); empty: the time of the build")

set(sign_script ${CMAKE_CURRENT_LIST_DIR}/sign-file.sh)
# Removed with the program being signed when a signature fails, so that no
# program of an earlier build stays beside a missing one.
set(sign_discarded QV_DRVUNI.exe DrvInst64.exe DrvInstA64.exe keysetup.exe keycheck.exe)

function(sign_option_error option text)
    message(FATAL_ERROR "${option}: ${text}")
endfunction()

# Makes a file option absolute (relative to the sources) and checks the file.
function(sign_check_file option)
    get_filename_component(path "${${option}}" ABSOLUTE BASE_DIR ${PROJECT_SOURCE_DIR})
    if(NOT EXISTS "${path}" OR IS_DIRECTORY "${path}")
        sign_option_error(${option} "${path} is not a file")
    endif()
    set(${option}_PATH "${path}" PARENT_SCOPE)
endfunction()

set(KEYSETUP_SIGNING OFF)
set(sign_args "")
set(sign_inputs ${sign_script})
if(NOT "${KEYSETUP_SIGN_PKCS12}${KEYSETUP_SIGN_CERT}${KEYSETUP_SIGN_KEY}" STREQUAL "")
    set(KEYSETUP_SIGNING ON)
endif()

if(NOT KEYSETUP_SIGNING)
    foreach(option PASSWORD_FILE PASSWORD_ENV TIMESTAMP_URL TIME)
        if(NOT KEYSETUP_SIGN_${option} STREQUAL "")
            sign_option_error(KEYSETUP_SIGN_${option}
                "set, but nothing is signed without KEYSETUP_SIGN_PKCS12 or KEYSETUP_SIGN_CERT and KEYSETUP_SIGN_KEY")
        endif()
    endforeach()
else()
    if(NOT KEYSETUP_SIGN_PKCS12 STREQUAL "")
        if(NOT "${KEYSETUP_SIGN_CERT}${KEYSETUP_SIGN_KEY}" STREQUAL "")
            sign_option_error(KEYSETUP_SIGN_PKCS12 "set together with KEYSETUP_SIGN_CERT/KEYSETUP_SIGN_KEY: name one identity")
        endif()
        sign_check_file(KEYSETUP_SIGN_PKCS12)
        list(APPEND sign_args --pkcs12=${KEYSETUP_SIGN_PKCS12_PATH})
        list(APPEND sign_inputs ${KEYSETUP_SIGN_PKCS12_PATH})
        set(identity "KEYSETUP_SIGN_PKCS12 ${KEYSETUP_SIGN_PKCS12_PATH}")
    else()
        foreach(option CERT KEY)
            if(KEYSETUP_SIGN_${option} STREQUAL "")
                sign_option_error(KEYSETUP_SIGN_${option} "not set: a certificate needs its key and a key its certificate")
            endif()
            sign_check_file(KEYSETUP_SIGN_${option})
            string(TOLOWER ${option} word)
            list(APPEND sign_args --${word}=${KEYSETUP_SIGN_${option}_PATH})
            list(APPEND sign_inputs ${KEYSETUP_SIGN_${option}_PATH})
        endforeach()
        set(identity "KEYSETUP_SIGN_CERT ${KEYSETUP_SIGN_CERT_PATH}")
    endif()

    if(KEYSETUP_SIGN_PASSWORD_FILE AND KEYSETUP_SIGN_PASSWORD_ENV)
        sign_option_error(KEYSETUP_SIGN_PASSWORD_FILE "set together with KEYSETUP_SIGN_PASSWORD_ENV: name one password source")
    elseif(KEYSETUP_SIGN_PASSWORD_FILE)
        sign_check_file(KEYSETUP_SIGN_PASSWORD_FILE)
        list(APPEND sign_args --password-file=${KEYSETUP_SIGN_PASSWORD_FILE_PATH})
        list(APPEND sign_inputs ${KEYSETUP_SIGN_PASSWORD_FILE_PATH})
    elseif(KEYSETUP_SIGN_PASSWORD_ENV)
        if(NOT KEYSETUP_SIGN_PASSWORD_ENV MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
            sign_option_error(KEYSETUP_SIGN_PASSWORD_ENV "\"${KEYSETUP_SIGN_PASSWORD_ENV}\" is not the name of an environment variable")
        endif()
        list(APPEND sign_args --password-env=${KEYSETUP_SIGN_PASSWORD_ENV})
    endif()

    if(KEYSETUP_SIGN_TIMESTAMP_URL)
        if(NOT KEYSETUP_SIGN_TIMESTAMP_URL MATCHES "^https?://")
            sign_option_error(KEYSETUP_SIGN_TIMESTAMP_URL "\"${KEYSETUP_SIGN_TIMESTAMP_URL}\" is not an http:// or https:// URL")
        endif()
        list(APPEND sign_args --timestamp-url=${KEYSETUP_SIGN_TIMESTAMP_URL})
    endif()
    if(KEYSETUP_SIGN_TIME)
        if(NOT KEYSETUP_SIGN_TIME MATCHES "^[0-9]+$")
            sign_option_error(KEYSETUP_SIGN_TIME "\"${KEYSETUP_SIGN_TIME}\" is not a number of seconds since 1970")
        endif()
        list(APPEND sign_args --time=${KEYSETUP_SIGN_TIME})
    endif()

    find_program(OSSLSIGNCODE osslsigncode REQUIRED)
    find_program(OPENSSL openssl REQUIRED)
    set(KEYSETUP_SIGN_COMMAND sh ${sign_script} --osslsigncode=${OSSLSIGNCODE} --openssl=${OPENSSL} ${sign_args})
    set(KEYSETUP_SIGN_INPUTS ${sign_inputs})
    list(TRANSFORM sign_discarded PREPEND ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/ OUTPUT_VARIABLE KEYSETUP_SIGN_DISCARDED)
    if(KEYSETUP_SIGN_TIMESTAMP_URL)
        set(stamp "timestamp from ${KEYSETUP_SIGN_TIMESTAMP_URL}")
    else()
        set(stamp "no timestamp")
    endif()
    message(STATUS "keysetup signing: QV_DRVUNI.exe, DrvInst64.exe, DrvInstA64.exe, keysetup.exe and keycheck.exe "
        "(a DrvInst64.exe or DrvInstA64.exe from KEYSETUP_VENDOR_DIR is embedded as the vendor signed it), "
        "SHA-256, ${stamp}, identity ${identity}")
endif()

function(keysetup_sign_target target)
    if(KEYSETUP_SIGNING)
        add_custom_command(TARGET ${target} POST_BUILD
            COMMAND ${KEYSETUP_SIGN_COMMAND} $<TARGET_FILE:${target}> ${KEYSETUP_SIGN_DISCARDED}
            COMMENT "Signing ${target}"
            VERBATIM)
        set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${KEYSETUP_SIGN_INPUTS})
    endif()
endfunction()

function(keysetup_sign_command var file)
    set(words "")
    if(KEYSETUP_SIGNING)
        set(words COMMAND ${KEYSETUP_SIGN_COMMAND} ${file} ${KEYSETUP_SIGN_DISCARDED} DEPENDS ${KEYSETUP_SIGN_INPUTS})
    endif()
    set(${var} ${words} PARENT_SCOPE)
endfunction()
