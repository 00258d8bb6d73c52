# Warnings for our own targets: on everywhere, errors under KORVANE_WERROR (CI).
# Each compiler gets only flags it knows, so no unknown-option switch is
# needed: gcc (also MinGW-w64) warns of a local hiding a local with
# -Wshadow=local, clang with -Wshadow-uncaptured-local (the same rule; a
# lambda's captures excepted).
function(korvane_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4)
        if(KORVANE_WERROR)
            target_compile_options(${target} PRIVATE /WX)
        endif()
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra)
        if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
            target_compile_options(${target} PRIVATE -Wshadow-uncaptured-local)
        elseif(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
            target_compile_options(${target} PRIVATE -Wshadow=local)
        endif()
        if(KORVANE_WERROR)
            target_compile_options(${target} PRIVATE -Werror)
        endif()
    endif()
endfunction()
