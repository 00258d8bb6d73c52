# korvane convert: the conversion core on every input x output format, and the
# command line (patterns, failures, the warning line, inputs never written).
korvane_add_gtest(test_cli_convert
    SOURCES test_cli_convert.cpp ${PROJECT_SOURCE_DIR}/tools/KorvaneConvert.cpp
    LIBS korvane_writers)
target_include_directories(test_cli_convert PRIVATE ${PROJECT_SOURCE_DIR}/tools)
target_compile_definitions(test_cli_convert PRIVATE KORVANE_EXE="$<TARGET_FILE:korvane>")
add_dependencies(test_cli_convert korvane)
