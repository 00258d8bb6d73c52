# korvane on awkward paths (blanks, '%', native separators, a folder ending
# in a separator) and outputs written over earlier ones. Needs the plug-in.
if(TARGET Korvane)
    korvane_add_gtest(test_cli_paths SOURCES test_cli_paths.cpp)
    target_compile_definitions(test_cli_paths PRIVATE KORVANE_EXE="$<TARGET_FILE:korvane>")
    add_dependencies(test_cli_paths korvane Korvane)
endif()
