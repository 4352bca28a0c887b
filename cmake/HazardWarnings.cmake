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

