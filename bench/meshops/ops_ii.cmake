# Benchmarks of push, thickness, triangulation and disconnect.
if(TARGET korvane_writers)
    korvane_add_bench(bench_meshops_ii SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_ops_ii.cpp
        LIBS korvane_writers)
endif()

# Triangulate next to CGAL's triangulate_faces (header-only CGAL, when installed).
find_package(CGAL QUIET)
if(CGAL_FOUND)
    korvane_add_bench(bench_triangulate_cgal SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_triangulate_cgal.cpp
        LIBS CGAL::CGAL)
endif()
