// Writer of .znq chunk files, in every variant the reader accepts.
// Part of korvane_writers (tests, sample generator, benchmarks, fuzz seeds);
// never linked into the plug-in.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/ZNQGeometry.h"

struct ZnqWriteOptions
{
    bool indices16 = false; // 16-bit indices; refused when an index lies outside 0..65535
    // Optional items, each written only when the geometry holds it.
    bool normals = true;
    bool motions = true;
    bool colors = true;
    bool uvws = true;
    bool userData = true; // every user-data channel the geometry holds
    // Per-vertex chunks instead of per-node ones. The value of a vertex is
    // that of the first node naming it (zero for a vertex without nodes), so
    // per-node data that differ around a vertex do not survive.
    bool normalsPerVertex = false;
    bool colorsPerVertex = false;
    bool uvwsPerVertex = false;
    // A pre-scan chunk (type 0xE5100000) with this value before the mesh chunk.
    bool prescan = false;
    uint32_t prescanValue = 1;
};

// Appends the whole file to out (cleared first). Normals, motions and
// colours are stored as half floats, UVWs and user data as 32-bit values.
// False, with out empty, for a geometry without positions, negative counts or
// indices that do not fit 16 bits when asked for.
bool WriteZnqToMemory(const ZNQGeometry& geometry, const ZnqWriteOptions& options,
                      std::vector<uint8_t>& out);

// The same into a file (created or replaced). False also when writing fails.
bool WriteZnq(const ZNQGeometry& geometry, const char* path,
              const ZnqWriteOptions& options = ZnqWriteOptions());
