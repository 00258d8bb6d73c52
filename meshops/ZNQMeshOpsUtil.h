// Internal helpers shared by the mesh operations in meshops/. Not installed
// API: only the .cpp files of this folder include it.
//
// - Small inline vector helpers on float3/float4 with explicit rounding order
//   (no fused operations, so results are the same on every build); Sub,
//   Cross, Dot and the length threshold come from geometry/ZNQGeomRules.h.
// - NewVertexArrays, NewPolygonArrays, CopyNodeData (geometry/ZNQMeshArrays.h):
//   the replacement arrays of an operation that rebuilds the vertices or the
//   polygons, swapped in together.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "errors/ZNQError.h"
#include "geometry/ZNQGeomRules.h"
#include "geometry/ZNQGeometry.h"
#include "geometry/ZNQMeshArrays.h"

namespace znq_ops
{

using znq_mesh::CopyNodeData;
using znq_mesh::NewPolygonArrays;
using znq_mesh::NewVertexArrays;

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

// Releases all derived data of the geometry when the scope ends: for an
// operation that leaves them released on every exit.
struct DynReleaseOnExit
{
    ZNQGeometry& g;
    ~DynReleaseOnExit() { g._DynRelease(kDynAll); }
};

} // namespace znq_ops
