# Strict warnings (and the sanitizers when asked for) on one target.
function(tarvellin_strict target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wold-style-cast -Wnon-virtual-dtor
                                                 -Woverloaded-virtual)
        if(TARVELLIN_WERROR)
            target_compile_options(${target} PRIVATE -Werror)
        endif()
    endif()
    if(TARVELLIN_SANITIZE)
        target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-sanitize-recover=all
                                                 -fno-omit-frame-pointer)
        target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    endif()
endfunction()
