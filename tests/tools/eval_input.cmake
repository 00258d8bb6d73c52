# korvane eval: forgiving --set input (aliases, labels, nice names,
# suggestions) and the input list of --help. Needs the plug-in.
if(TARGET Korvane)
    korvane_add_gtest(test_cli_eval_input SOURCES test_cli_eval_input.cpp)
    target_compile_definitions(test_cli_eval_input PRIVATE KORVANE_EXE="$<TARGET_FILE:korvane>")
    add_dependencies(test_cli_eval_input korvane Korvane)
endif()
