// Stanford .ply writer (binary, little-endian) of a geometry, for
// `korvane convert`. Part of korvane_writers; never linked into the plug-in.
//
// One vertex element with float properties: x y z, then, when the geometry
// holds them, nx ny nz (normals), red green blue alpha (colours), s t (the
// first two UVW components) and vx vy vz (motion vectors); one face element
// with "list uchar int vertex_indices". Normals, colours and UVWs are per node
// in the geometry and per vertex in the file: a vertex takes the value of the
// first node naming it (zero for a vertex no node names).
#pragma once

#include <cstdint>
#include <string>

#include "geometry/ZNQGeometry.h"

struct PlyWriteOptions
{
    // Text of the header's comment line ("comment " + text).
    const char* comment = "written by korvane";
    // Colours as "uchar red green blue alpha": each component clamped to
    // [0, 1] (NaN as 0) and rounded from component x 255. false: floats.
    bool colorsAsBytes = false;
    // Writes "s t" from _nodeUvw when present.
    bool writeUvws = true;
    // Accepts a mesh of no vertices (positions present); else 131.
    bool allowEmpty = false;
};

// Appends the file's bytes to out. 0, or 131 ("geometry is not valid and
// therefore cannot be saved.") without positions or vertices (see allowEmpty)
// or with an index out of range.
int32_t WritePlyToString(const ZNQGeometry& geometry, std::string& out,
                         const PlyWriteOptions& options = PlyWriteOptions());
// Writes the file. 0, 131 as above, 132 when the file cannot be created,
// 134 when writing fails.
int32_t WritePly(const ZNQGeometry& geometry, const char* path, const PlyWriteOptions& options = PlyWriteOptions());
