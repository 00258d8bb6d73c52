// The .obj reader with its chunking made explicit (internal header, not part
// of the public interface of formats/). ReadObj is ReadObjChunked with
// ObjDefaultChunking(); the tests use small chunks to put chunk boundaries
// in awkward places of small files.
#pragma once

#include <cstdint>

#include "formats/ZNQLoadPlace.h"

struct ZNQGeometry;

struct ObjChunking
{
    // Texts shorter than this are parsed on one thread.
    int64_t minParallelBytes;
    // Text per chunk; between 2 and 256 chunks whatever the size.
    int64_t chunkBytes;
};

// 512 KiB and 256 KiB.
ObjChunking ObjDefaultChunking();

// ReadObj with the given chunking. The text is parsed in chunks when the
// OpenMP run time has more than one thread (omp_get_max_threads), the text
// has at least minParallelBytes and the geometry has no memory limit on;
// otherwise on the calling thread alone. Same result, code and failure place
// either way.
int32_t ReadObjChunked(ZNQGeometry& geometry, const char* path, bool loadNormals, bool loadUvws,
                       const char* objGroups, bool objGroupsInvert, ZNQLoadPlace* place,
                       const ObjChunking& chunking);
