# The install ships exactly the public headers: every one of them and none of
# the internal ones (ZNQGeomRules.h, ZNQMeshArrays.h, ZNQParallel.h,
# ZNQReaderUtil.h, ZNQMeshOpsUtil.h).
set(root ${PREFIX}/include/korvane)
file(GLOB_RECURSE installed RELATIVE ${root} ${root}/*)
list(SORT installed)
set(expected errors/ZNQError.h formats/ZNQFormats.h formats/ZNQLoadPlace.h formats/ZNQPrefetch.h
    geometry/ZNQGeometry.h geometry/ZNQOctree.h)
if(NOT installed STREQUAL expected)
    message(FATAL_ERROR "installed headers: ${installed}; expected exactly: ${expected}")
endif()
