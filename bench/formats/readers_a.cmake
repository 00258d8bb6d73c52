# Load times of the .znq and binary .drs2 readers next to a plain fread of
# the same files, and the sample generator.
if(TARGET korvane_writers)
    korvane_add_bench(bench_formats_a
        SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_readers_a.cpp
        LIBS korvane_writers)
endif()
