// Deterministic sample geometry: an animated, closed, fluid-like blob.
// Part of korvane_writers; never linked into the plug-in.
#pragma once

#include <cstdint>

#include "geometry/ZNQGeometry.h"

// Clears geometry and fills it with a wobbling sphere built from a
// latitude-longitude grid with welded poles: rings R = round(sqrt(T / 4)),
// at least 2, and C = 2R columns, so 4R^2 triangles and 2R^2 + 2 vertices for
// approxTris T. The pole valence stays within the one-byte topology counts:
// above 254 columns C stays 254 and R = round(T / 508) (2CR triangles). Radius 1 around the origin plus a displacement of a few sines
// in time (in frames); the centre drifts slowly along +y.
// Fills: positions, motion vectors (the time derivative of the positions, in
// units per frame), per-node normals (normalised area-weighted vertex
// normals), per-node UVWs (u around, v from south to north, w 0; seam and
// pole nodes get their own u) and per-node colours (per vertex, RGBA in 0..1).
// Triangles wind counter-clockwise seen from outside.
// False (geometry cleared) for approxTris outside 1..100,000,000 or a refused
// allocation.
bool MakeSampleMesh(ZNQGeometry& geometry, int32_t approxTris, float time);
