# .obj and RealFlow readers, format dispatch, and their writers.
korvane_add_gtest(test_formats_b
    SOURCES test_read_obj.cpp test_read_realflow.cpp test_load_from_file.cpp test_load_place.cpp
    LIBS korvane_writers)
# The .obj reader on 1, 2 and 7 threads, in chunks of every size.
korvane_add_gtest(test_obj_threads SOURCES test_obj_threads.cpp LIBS OpenMP::OpenMP_CXX)
