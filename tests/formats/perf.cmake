# Short paths of the readers against the general conversions they replace.
korvane_add_gtest(test_formats_perf SOURCES test_obj_fast_paths.cpp)
