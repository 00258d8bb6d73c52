# korvane eval --time and comma lists, info's KorvaneCreate -f line: a cache
# set up from one of its files plays with the scene time.
korvane_add_gtest(test_cli_playback SOURCES test_cli_playback.cpp LIBS korvane_writers)
target_compile_definitions(test_cli_playback PRIVATE KORVANE_EXE="$<TARGET_FILE:korvane>")
find_library(KORVANE_UTIL_LIBRARY util)
if(KORVANE_UTIL_LIBRARY)
    target_link_libraries(test_cli_playback PRIVATE ${KORVANE_UTIL_LIBRARY})
endif()
add_dependencies(test_cli_playback korvane Korvane)
