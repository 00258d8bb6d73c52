# Tests of the file helpers, the clean-up, the .znq and .drs2 readers and
# their writers.
if(TARGET korvane_writers)
    korvane_add_gtest(test_formats_a
        SOURCES
            ${CMAKE_CURRENT_SOURCE_DIR}/test_helpers_a.cpp
            ${CMAKE_CURRENT_SOURCE_DIR}/test_cleanup.cpp
            ${CMAKE_CURRENT_SOURCE_DIR}/test_read_znq.cpp
            ${CMAKE_CURRENT_SOURCE_DIR}/test_read_drs2.cpp
            ${CMAKE_CURRENT_SOURCE_DIR}/test_writers_a.cpp
        LIBS korvane_writers)
endif()

# The readers at 1, 2 and 7 threads.
if(TARGET korvane_writers)
    korvane_add_gtest(test_read_threads
        SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_read_threads.cpp
        LIBS korvane_writers OpenMP::OpenMP_CXX)
endif()
