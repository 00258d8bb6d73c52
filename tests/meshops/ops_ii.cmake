# Mesh operations II: push, thickness, triangulation, disconnect.
korvane_add_gtest(test_meshops_ii SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/test_push.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_triangulate.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_disconnect.cpp)

# The post-processing chain, once the plug-in's host-neutral chain library exists.
if(TARGET korvane_chain)
    korvane_add_gtest(test_meshops_chain SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_chain.cpp
        LIBS korvane_chain)
endif()
