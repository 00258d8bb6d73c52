// Writer of .drs2 files, ascii and binary, in every variant the reader
// accepts. Part of korvane_writers; never linked into the plug-in.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/ZNQGeometry.h"

struct Drs2WriteOptions
{
    bool binary = false;
    int32_t countWidth = 1; // binary: bytes per corner count, 1, 2 or 4
    int32_t indexWidth = 4; // binary: bytes per vertex index, 1, 2 or 4
    // Optional items, each written only when the geometry holds it. The file
    // keeps colours and normals per vertex: a vertex takes the value of the
    // first node naming it (zero for a vertex without nodes).
    bool colors = true;
    bool motions = true;
    bool normals = true;
    int32_t year = 2024;          // header version token
    const char* headerEnd = "\r\n"; // binary: bytes after "format" (the reader skips two)
};

// Appends the whole file to out (cleared first). Binary colours are stored
// quantised between the smallest and the largest component as 16-bit codes
// 0..65000. False, with out empty, for a geometry without positions, a width
// other than 1, 2 or 4, or a count or index that does not fit its width.
bool WriteDrs2ToMemory(const ZNQGeometry& geometry, const Drs2WriteOptions& options,
                       std::vector<uint8_t>& out);

// The same into a file (created or replaced). False also when writing fails.
bool WriteDrs2(const ZNQGeometry& geometry, const char* path,
               const Drs2WriteOptions& options = Drs2WriteOptions());
