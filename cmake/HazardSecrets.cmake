# The built-in secrets: cache variables checked here so that a malformed value
# stops the configure step instead of producing a station that silently refuses
# its content or its server. The defaults match the bundled demo content pack.

set(HAZARD_AUTH_SECRET "0df3fc47fc0986172a8c7ffc3750e4c34b112727411e66c1537d49937"
    CACHE STRING "Shared authentication secret (57 lowercase hex characters)")
set(HAZARD_DB_SALT "970e353578c63a59dc0876ec66d0ff4edc926a56b24aea5905a9e1aa2"
    CACHE STRING "Content database digest salt (57 lowercase hex characters)")
set(HAZARD_DB_DIGEST "b13814f65b1005d90bace9db3857fb8e"
    CACHE STRING "Salted MD5 digest of the content database (32 lowercase hex characters)")
set(HAZARD_DB_PASSWORD "dcfd70b1e8574d6625e2be3418918737fc2c6c"
    CACHE STRING "Content database password (38 lowercase hex characters)")
set(HAZARD_VIDEO_KEY "1671c20e3bfcb7b646c746622132f593"
    CACHE STRING "RC4 video key (32 lowercase hex characters)")

function(hazard_check_secret name length)
    set(value "${${name}}")
    string(LENGTH "${value}" actual)
    if(NOT actual EQUAL ${length})
        message(FATAL_ERROR "${name} must be ${length} lowercase hexadecimal characters; it has ${actual} characters")
    endif()
    if(NOT value MATCHES "^[0-9a-f]+$")
        message(FATAL_ERROR "${name} must hold only lowercase hexadecimal characters (0-9, a-f)")
    endif()
endfunction()

hazard_check_secret(HAZARD_AUTH_SECRET 57)
hazard_check_secret(HAZARD_DB_SALT 57)
hazard_check_secret(HAZARD_DB_DIGEST 32)
hazard_check_secret(HAZARD_DB_PASSWORD 38)
hazard_check_secret(HAZARD_VIDEO_KEY 32)

configure_file(${CMAKE_CURRENT_LIST_DIR}/HazardSecrets.h.in
               ${CMAKE_BINARY_DIR}/generated/HazardSecrets.h @ONLY)
