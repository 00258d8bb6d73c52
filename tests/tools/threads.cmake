# korvane info and eval with --threads: the same output for every count.
korvane_add_gtest(test_cli_threads SOURCES test_cli_threads.cpp)
target_compile_definitions(test_cli_threads PRIVATE KORVANE_EXE="$<TARGET_FILE:korvane>")
add_dependencies(test_cli_threads korvane)
