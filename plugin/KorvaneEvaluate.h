// The geometry side of one node evaluation, kept apart from the host's
// headers: Maya's MTypes.h declares its own float3 (an array typedef) that
// cannot share a translation unit with the geometry library's float3
// record. The node reaches the geometry only through these functions and
// the plain views below.
#pragma once

#include <cstdint>

#include "plugin/KorvaneSettings.h"

// A new empty geometry for one evaluation: counting on, no limit, derived
// data built on the calling thread. Null when memory is refused.
ZNQGeometry* KorvaneNewGeometry();
// Clears and frees a geometry from KorvaneNewGeometry; null is skipped.
void KorvaneDeleteGeometry(ZNQGeometry* geometry);
// Empties the geometry (all arrays and derived data freed).
void KorvaneClearGeometry(ZNQGeometry& geometry);

// Loads the file at path with the settings' load options, moves the vertices
// along their motion vectors by fractionStrength x fraction, and runs the
// post-processing chain. Returns the first non-zero code of those steps,
// with the geometry cleared; 0 leaves the finished mesh in the geometry.
// place (optional): where and why the load failed, when the reader knows.
struct ZNQLoadPlace;
int32_t KorvaneLoadAndProcess(ZNQGeometry& geometry, const NodeSettings& settings, const char* path,
                              ZNQLoadPlace* place = nullptr);

// The same with the sub-frame step given by the frame pick (KorvaneFrames.h):
// the vertices move by pick.offset along their motion vectors, or, with a
// partner (Interpolate), towards the partner frame's positions by
// pick.partnerWeight when that file loads with the same vertex count and
// polygon lists (otherwise the offset applies). partnerPath: null or ""
// without a partner.
struct FramePick;
int32_t KorvaneLoadPicked(ZNQGeometry& geometry, const NodeSettings& settings, const FramePick& pick,
                          const char* path, const char* partnerPath, ZNQLoadPlace* place = nullptr);

// What one cache file holds, for KorvaneCreate -f: the load flags that find
// data, and for .drs2 whether the file's own header says ascii.
struct KorvaneFileContents
{
    int32_t error;      // the load's error code, 0 when it loaded
    bool normals, motions, uvws, colors;
    int32_t numVert, numPoly;
};
KorvaneFileContents KorvaneProbeFile(const char* path);

// What the host mesh is made of, read straight from the geometry's arrays.
// Counts are 0 and pointers null for whatever the geometry lacks.
struct KorvaneMeshView
{
    int32_t numVert;
    const float* vertPos;        // [3 * numVert]
    int32_t numPoly;
    const uint8_t* polyNumVert;  // [numPoly]
    const int32_t* polyVInd;     // [numNodes]
    int64_t numNodes;            // sum of polyNumVert
    const float* nodeUvw;        // [3 * numNodes] or null
    const float* nodeNrm;        // [3 * numNodes] or null
    const float* vertMotion;     // [3 * numVert] or null
    bool hasNodeNormals;
    bool hasNodeColors;
};
KorvaneMeshView KorvaneViewOf(const ZNQGeometry& geometry);

// Per-vertex normals (3 floats per vertex: the mean of each vertex's node
// normals) and RGBA colours (4 floats per vertex), built on request and
// owned by the geometry; null when they cannot be derived.
const float* KorvaneVertexNormals(ZNQGeometry& geometry);
const float* KorvaneVertexColors(ZNQGeometry& geometry);
