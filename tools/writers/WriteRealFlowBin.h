// RealFlow binary mesh (.bin) writer for tests, benchmarks and fuzz seeds.
//
// Writes the magic 0xDADADADA, the version, a vertex chunk (positions with
// their components reversed, as RealFlow stores them: x, y, z go to the file
// as z, y, x; then the triangles), optionally a texture chunk (K - 1 filler
// values of 4 bytes before each vertex's u, v, w) and a velocity chunk
// (_vertMotion, reversed like the positions), and an end code.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/ZNQGeometry.h"

struct RealFlowBinWriteOptions
{
    uint32_t version = 3;
    // Texture chunk from _nodeUvw: each vertex gets the UVW of the last node
    // that names it (vertices no node names get 0). Ignored without _nodeUvw.
    bool writeUvws = true;
    // K of the texture chunk; K - 1 filler values (bytes 0xEE) precede each
    // vertex's coordinates when K > 1.
    int32_t fluidCount = 1;
    // Velocity chunk from _vertMotion; ignored without it.
    bool writeMotions = true;
    // Velocity chunk before the texture chunk.
    bool velocityFirst = false;
    // Ends the file with the chunk code 0; false ends it after the last chunk.
    bool writeEndCode = true;
};

// Appends the file's bytes to out. 0, or 131 ("geometry is not valid and
// therefore cannot be saved.") without positions or when a polygon is not a
// triangle.
int32_t WriteRealFlowBinToBuffer(const ZNQGeometry& geometry, const RealFlowBinWriteOptions& options,
                                 std::vector<uint8_t>& out);

// Writes the file. 0, 131 as above, 132 when the file cannot be created,
// 134 when writing fails.
int32_t WriteRealFlowBin(const ZNQGeometry& geometry, const char* path,
                         const RealFlowBinWriteOptions& options);
