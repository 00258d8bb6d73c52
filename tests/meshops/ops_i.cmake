# Mesh operations I: blurs and smoothing, edge repair, hole closing,
# inversion and quadrangulation.
korvane_add_gtest(test_meshops_i
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/test_blur.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_fixedges.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_closeholes.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_invert_quad.cpp
        ${CMAKE_CURRENT_LIST_DIR}/test_ops_i_robust.cpp)
