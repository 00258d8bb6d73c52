# korvane eval and info: .png pictures and the progress bar (needs the
# plug-in and the preview renderer).
if(TARGET Korvane AND TARGET korvane_preview)
    korvane_add_gtest(test_cli_eval_out SOURCES test_cli_eval_out.cpp LIBS korvane_writers korvane_preview)
    target_include_directories(test_cli_eval_out SYSTEM PRIVATE ${KORVANE_STB_INCLUDE_DIR})
    target_compile_definitions(test_cli_eval_out PRIVATE KORVANE_EXE="$<TARGET_FILE:korvane>")
    find_library(KORVANE_UTIL_LIBRARY util)
    if(KORVANE_UTIL_LIBRARY)
        target_link_libraries(test_cli_eval_out PRIVATE ${KORVANE_UTIL_LIBRARY})
    endif()
    add_dependencies(test_cli_eval_out korvane Korvane)
endif()
