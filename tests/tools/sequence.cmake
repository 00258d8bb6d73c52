# korvane info on a '#' pattern: the sequence check, its output and exit codes.
korvane_add_gtest(test_cli_sequence SOURCES test_cli_sequence.cpp LIBS korvane_writers)
target_compile_definitions(test_cli_sequence PRIVATE KORVANE_EXE="$<TARGET_FILE:korvane>")
find_library(KORVANE_UTIL_LIBRARY util)
if(KORVANE_UTIL_LIBRARY)
    target_link_libraries(test_cli_sequence PRIVATE ${KORVANE_UTIL_LIBRARY})
endif()
add_dependencies(test_cli_sequence korvane)
