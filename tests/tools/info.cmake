# korvane info: output, options and exit codes, on small written files.
korvane_add_gtest(test_cli_info SOURCES test_cli_info.cpp LIBS korvane_writers)
target_compile_definitions(test_cli_info PRIVATE KORVANE_EXE="$<TARGET_FILE:korvane>")
add_dependencies(test_cli_info korvane)
