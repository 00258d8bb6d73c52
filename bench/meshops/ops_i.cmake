# Benchmarks of the blurs, edge repair, hole closing, inversion and
# quadrangulation; one smoothing iteration next to OpenMesh's Jacobi Laplace
# smoother when OpenMesh is installed (Debian: libopenmesh-dev).
find_package(OpenMesh QUIET CONFIG)
if(TARGET OpenMeshCore)
    korvane_add_bench(bench_meshops_i SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_ops_i.cpp
        LIBS OpenMeshCore OpenMeshTools)
    target_compile_definitions(bench_meshops_i PRIVATE KORVANE_BENCH_OPENMESH)
    # GCC 12 reports a false maybe-uninitialized inside std::vector growth of
    # OpenMesh's VectorT (its default constructor leaves the values unset by
    # design); the report points into system headers we cannot change.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        target_compile_options(bench_meshops_i PRIVATE -Wno-maybe-uninitialized)
    endif()
else()
    korvane_add_bench(bench_meshops_i SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_ops_i.cpp)
endif()
