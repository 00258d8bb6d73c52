// Internal helpers shared by the mesh operations in meshops/. Not installed
// API: only the .cpp files of this folder include it.
//
// - Small inline vector helpers on float3/float4 with explicit rounding order
//   (no fused operations, so results are the same on every build); Sub,
//   Cross, Dot and the length threshold come from geometry/ZNQGeomRules.h.
// - NewVertexArrays, NewPolygonArrays: the replacement arrays of an operation
//   that rebuilds the vertices or the polygons, swapped in together.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "errors/ZNQError.h"
#include "geometry/ZNQGeomRules.h"
#include "geometry/ZNQGeometry.h"

namespace znq_ops
{

using znq_rules::Cross;
using znq_rules::Dot;
using znq_rules::InRange;
using znq_rules::Sub;

// Below this length a vector counts as zero and is left unnormalised.
constexpr float kTinyLength = znq_rules::kMinNormalLen;

// Divides v by its length unless the length is below kTinyLength.
inline void NormalizeNonTiny(float3& v)
{
    const float len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (!(len < kTinyLength))
    {
        v.x /= len;
        v.y /= len;
        v.z /= len;
    }
}

inline float3 Mid(const float3& a, const float3& b)
{
    return float3{(a.x + b.x) * 0.5f, (a.y + b.y) * 0.5f, (a.z + b.z) * 0.5f};
}

inline float4 Mid(const float4& a, const float4& b)
{
    return float4{(a.x + b.x) * 0.5f, (a.y + b.y) * 0.5f, (a.z + b.z) * 0.5f, (a.w + b.w) * 0.5f};
}

// Flips the sign bit of f (0.0 becomes -0.0, NaN keeps its payload).
inline float FlipSign(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    bits ^= 0x80000000u;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

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

} // namespace znq_ops
