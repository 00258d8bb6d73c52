// ZNQOctree: point octree over a set of vertex positions of one geometry.
//
// A linear octree: every point gets the Morton code of the finest cell that
// holds it (levels bits per axis, x in bit 0 of each triple, then y, then z),
// and the points are kept sorted by that code. The points of any cell then
// form one contiguous run of the sorted arrays, found by binary search, so the
// tree needs no node records: cell = (level, code prefix).
//
// Cell sizes: the root cell is centred on the bounding box of the points and
// its edge is twice the box's largest extent; the finest cell edge is the root
// edge / 2^levels. _DynGetOctree uses 11 levels over all vertices,
// _DynGetVertIOctree 10 levels over each island's vertices.
//
// The octree reads positions from the geometry's _vertPos; it is valid until
// the owning item is released (which every change of positions implies).
// All arrays are counted allocations of the owning geometry.
#pragma once

#include <cstdint>

#include "geometry/ZNQGeometry.h"

struct ZNQOctree
{
    const float3* _pos;  // positions the point indices refer to (not owned)
    int32_t _numPoints;  // points in this octree
    int32_t _levels;     // levels below the root (bits per axis of a code)
    float3 _center;      // centre of the root cell
    float _halfEdge;     // half the root cell edge (largest extent of the box)
    float _cellEdge;     // edge of a finest cell; 0 when all points coincide
    uint64_t* _codes;    // [_numPoints] ascending Morton codes
    int32_t* _pointIdx;  // [_numPoints] vertex index of each code
    // Owned blocks. A single octree owns its two arrays; in an array of
    // island octrees element 0 owns the shared blocks that all elements
    // slice, and the other elements own nothing.
    uint64_t* _codeBlock;
    int32_t* _idxBlock;
};

// Builds oct over points: pos[indices[i]] for i < n, or pos[i] when indices
// is null. codes and pointIdx receive the sorted result (n entries each);
// tmpCodes and tmpIdx are scratch of n entries each. Leaves the owned-block
// fields untouched. No allocation. Returns false only for n < 0.
bool ZNQOctreeBuild(ZNQOctree& oct, const float3* pos, const int32_t* indices, int32_t n,
                    int32_t levels, uint64_t* codes, int32_t* pointIdx, uint64_t* tmpCodes,
                    int32_t* tmpIdx);

// Morton code of the finest cell that holds p (clamped into the root cell).
uint64_t ZNQOctreeCode(const ZNQOctree& oct, float3 p);

// Finds the points within radius of p (distance <= radius). Writes up to
// capacity vertex indices to out (may be null with capacity 0), in no
// particular order, and returns the number of points found, which may exceed
// capacity. Returns 0 for an empty octree or a negative radius.
int32_t ZNQOctreeFindInRadius(const ZNQOctree& oct, float3 p, float radius, int32_t* out,
                              int32_t capacity);

// Frees a single octree or an array of island octrees (see the owned-block
// fields) through geo's counted free, and nulls the pointer.
void ZNQOctreeRelease(ZNQGeometry& geo, ZNQOctree*& octree);
