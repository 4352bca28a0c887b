# Project-wide compiler flags: warnings everywhere, optionally fatal, and the
# sanitizer build used by CI.
add_compile_options(-Wall -Wextra)
if(HAZARD_WERROR)
    add_compile_options(-Werror)
endif()

if(HAZARD_SANITIZE)
    set(_hazard_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_compile_options(${_hazard_san})
    add_link_options(${_hazard_san})
endif()


# The link's threads are checked in a build of their own: ThreadSanitizer
# cannot share a process with AddressSanitizer.
if(HAZARD_TSAN)
    if(HAZARD_SANITIZE)
        message(FATAL_ERROR "HAZARD_TSAN and HAZARD_SANITIZE need separate builds")
    endif()
    set(_hazard_tsan -fsanitize=thread -fno-omit-frame-pointer)
    add_compile_options(${_hazard_tsan})
    add_link_options(${_hazard_tsan})
endif()
