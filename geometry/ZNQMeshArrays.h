// Internal header, not installed: the replacement arrays of an operation
// that rebuilds a geometry's vertices or polygons (the mesh operations and
// the clean-up). Every new array is allocated at its final size before any
// is replaced, and the set is swapped in at once, so a refusal leaves the
// geometry as it was; on every other exit the arrays are freed (counted).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "geometry/ZNQGeometry.h"

namespace znq_mesh
{

// The new per-vertex arrays of an operation that replaces all of them: one
// for each per-vertex array the geometry holds, freed on every exit that does
// not swap them in.
struct NewVertexArrays
{
    ZNQScopedArray<float3> pos, motion, user3a, user3b;
    ZNQScopedArray<float4> user4;
    ZNQScopedArray<float> user1[4];

    explicit NewVertexArrays(ZNQGeometry& g)
        : pos(g), motion(g), user3a(g), user3b(g), user4(g),
          user1{ZNQScopedArray<float>(g), ZNQScopedArray<float>(g), ZNQScopedArray<float>(g),
                ZNQScopedArray<float>(g)}
    {
    }
    // count elements of positions and of every array g holds; false on a refusal.
    bool Alloc(const ZNQGeometry& g, int64_t count)
    {
        bool ok = pos.Alloc(true, count) && motion.Alloc(g._vertMotion, count) &&
                  user4.Alloc(g._vertUser4, count) && user3a.Alloc(g._vertUser3[0], count) &&
                  user3b.Alloc(g._vertUser3[1], count);
        for (int c = 0; c < 4 && ok; ++c)
            ok = user1[c].Alloc(g._vertUser1[c], count);
        return ok;
    }
    // Replaces every per-vertex array of g and its vertex count.
    void SwapInto(ZNQGeometry& g, int32_t numVert)
    {
        pos.SwapInto(g._vertPos);
        motion.SwapInto(g._vertMotion);
        user4.SwapInto(g._vertUser4);
        user3a.SwapInto(g._vertUser3[0]);
        user3b.SwapInto(g._vertUser3[1]);
        for (int c = 0; c < 4; ++c)
            user1[c].SwapInto(g._vertUser1[c]);
        g._numVert = numVert;
    }
};

// Copies n nodes of each node array g holds (normals, UVWs, colours) from
// node src of g to node dst of the new arrays nrm, uvw, col.
inline void CopyNodeData(const ZNQGeometry& g, size_t dst, size_t src, size_t n, float3* nrm, float3* uvw,
                         float4* col)
{
    if (g._nodeNrm)
        std::memcpy(nrm + dst, g._nodeNrm + src, n * sizeof(float3));
    if (g._nodeUvw)
        std::memcpy(uvw + dst, g._nodeUvw + src, n * sizeof(float3));
    if (g._nodeCol)
        std::memcpy(col + dst, g._nodeCol + src, n * sizeof(float4));
}

// The new polygon and node arrays of an operation that rebuilds the polygon
// list: corner counts, indices, and one array for each node array the
// geometry holds, freed on every exit that does not swap them in.
struct NewPolygonArrays
{
    ZNQScopedArray<uint8_t> num;
    ZNQScopedArray<int32_t> vInd;
    ZNQScopedArray<float3> nrm, uvw;
    ZNQScopedArray<float4> col;

    explicit NewPolygonArrays(ZNQGeometry& g) : num(g), vInd(g), nrm(g), uvw(g), col(g) {}
    // polys corner counts and nodes entries of every node array; false on a refusal.
    bool Alloc(const ZNQGeometry& g, int64_t polys, int64_t nodes)
    {
        return num.Alloc(true, polys) && vInd.Alloc(true, nodes) && nrm.Alloc(g._nodeNrm, nodes) &&
               uvw.Alloc(g._nodeUvw, nodes) && col.Alloc(g._nodeCol, nodes);
    }
    // Releases the derived data, then replaces the polygon and node arrays of
    // g and its polygon count.
    void SwapInto(ZNQGeometry& g, int32_t numPoly)
    {
        g._DynRelease(kDynAll);
        num.SwapInto(g._polyNumVert);
        vInd.SwapInto(g._polyVInd);
        nrm.SwapInto(g._nodeNrm);
        uvw.SwapInto(g._nodeUvw);
        col.SwapInto(g._nodeCol);
        g._numPoly = numPoly;
    }
};

} // namespace znq_mesh
