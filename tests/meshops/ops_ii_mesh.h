// Small helpers for the tests of push, thickness, triangulation, disconnect
// and the post-processing chain: building meshes by hand, copying them,
// snapshots for "unchanged" checks, and memory-limit sweeps.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "geometry/ZNQGeometry.h"

namespace opsii
{

// A geometry that is initialised and cleared with the test's scope.
struct Geo
{
    ZNQGeometry g;
    Geo() { g.Init(0); }
    ~Geo() { g.Clear(); }
    Geo(const Geo&) = delete;
    Geo& operator=(const Geo&) = delete;
    ZNQGeometry* operator->() { return &g; }
};

template <typename T>
inline T* CountedCopy(ZNQGeometry& g, const T* src, size_t n)
{
    T* p = g._MemAllocArr<T>(n, false);
    if (p && n)
        std::memcpy(p, src, n * sizeof(T));
    return p;
}

// Sets positions and polygons; every other array stays null.
inline void Build(ZNQGeometry& g, const std::vector<float3>& pos,
                  const std::vector<std::vector<int32_t>>& polys)
{
    g.Clear();
    std::vector<uint8_t> counts;
    std::vector<int32_t> vInd;
    for (const auto& p : polys)
    {
        counts.push_back(static_cast<uint8_t>(p.size()));
        vInd.insert(vInd.end(), p.begin(), p.end());
    }
    g._numVert = static_cast<int32_t>(pos.size());
    g._vertPos = CountedCopy(g, pos.data(), pos.size());
    g._numPoly = static_cast<int32_t>(polys.size());
    g._polyNumVert = CountedCopy(g, counts.data(), counts.size());
    g._polyVInd = CountedCopy(g, vInd.data(), vInd.size());
    g._DynRelease(kDynAll);
}

// Distinct node data per node: UVW (polygon, corner, node), colour
// (node, polygon, corner, 1) and, if wanted, the given node normal.
inline void AddNodeUvwCol(ZNQGeometry& g)
{
    const int64_t n = g.NumNodes();
    g._nodeUvw = g._MemAllocArr<float3>(static_cast<size_t>(n), false);
    g._nodeCol = g._MemAllocArr<float4>(static_cast<size_t>(n), false);
    int64_t k = 0;
    for (int32_t p = 0; p < g._numPoly; ++p)
        for (int32_t c = 0; c < g._polyNumVert[p]; ++c, ++k)
        {
            g._nodeUvw[k] = float3{float(p), float(c), float(k)};
            g._nodeCol[k] = float4{float(k), float(p), float(c), 1.0f};
        }
}

inline void AddNodeNormals(ZNQGeometry& g, float3 n)
{
    const int64_t cnt = g.NumNodes();
    g._nodeNrm = g._MemAllocArr<float3>(static_cast<size_t>(cnt), false);
    for (int64_t k = 0; k < cnt; ++k)
        g._nodeNrm[k] = n;
}

// Per-vertex data on every channel: value depends on the vertex and channel.
inline void AddVertexData(ZNQGeometry& g)
{
    const size_t n = static_cast<size_t>(g._numVert);
    g._vertMotion = g._MemAllocArr<float3>(n, false);
    g._vertUser4 = g._MemAllocArr<float4>(n, false);
    for (int c = 0; c < 2; ++c)
        g._vertUser3[c] = g._MemAllocArr<float3>(n, false);
    for (int c = 0; c < 4; ++c)
        g._vertUser1[c] = g._MemAllocArr<float>(n, false);
    for (size_t v = 0; v < n; ++v)
    {
        const float f = float(v);
        g._vertMotion[v] = float3{f, 2 * f, 3 * f};
        g._vertUser4[v] = float4{f + 0.25f, f + 0.5f, f + 0.75f, f + 1.0f};
        for (int c = 0; c < 2; ++c)
            g._vertUser3[c][v] = float3{f + 10 * (c + 1), -f, 0.5f};
        for (int c = 0; c < 4; ++c)
            g._vertUser1[c][v] = f * 0.1f + float(c);
    }
}

// Deep copy through dst's own counted allocator.
inline void Clone(const ZNQGeometry& src, ZNQGeometry& dst)
{
    dst.Clear();
    const size_t nv = static_cast<size_t>(src._numVert);
    const size_t np = static_cast<size_t>(src._numPoly);
    const size_t nn = static_cast<size_t>(src.NumNodes());
    dst._numVert = src._numVert;
    dst._numPoly = src._numPoly;
    auto cp = [&dst](auto* s, size_t n) { return s ? CountedCopy(dst, s, n) : nullptr; };
    dst._vertPos = cp(src._vertPos, nv);
    dst._vertMotion = cp(src._vertMotion, nv);
    dst._vertUser4 = cp(src._vertUser4, nv);
    for (int c = 0; c < 2; ++c)
        dst._vertUser3[c] = cp(src._vertUser3[c], nv);
    for (int c = 0; c < 4; ++c)
        dst._vertUser1[c] = cp(src._vertUser1[c], nv);
    dst._polyNumVert = cp(src._polyNumVert, np);
    dst._polyVInd = cp(src._polyVInd, nn);
    dst._nodeNrm = cp(src._nodeNrm, nn);
    dst._nodeUvw = cp(src._nodeUvw, nn);
    dst._nodeCol = cp(src._nodeCol, nn);
    dst._DynRelease(kDynAll);
}

// Byte image of every array of a geometry (null arrays marked as such).
struct Snapshot
{
    int32_t numVert = 0, numPoly = 0;
    std::vector<std::vector<uint8_t>> arrays;
    std::vector<bool> present;

    bool operator==(const Snapshot& o) const
    {
        return numVert == o.numVert && numPoly == o.numPoly && arrays == o.arrays &&
               present == o.present;
    }
};

inline Snapshot Take(const ZNQGeometry& g)
{
    Snapshot s;
    s.numVert = g._numVert;
    s.numPoly = g._numPoly;
    const size_t nv = static_cast<size_t>(g._numVert);
    const size_t np = static_cast<size_t>(g._numPoly);
    const size_t nn = static_cast<size_t>(g._polyNumVert ? g.NumNodes() : 0);
    auto add = [&s](const void* p, size_t bytes) {
        s.present.push_back(p != nullptr);
        const uint8_t* b = static_cast<const uint8_t*>(p);
        s.arrays.emplace_back(p ? std::vector<uint8_t>(b, b + bytes) : std::vector<uint8_t>());
    };
    add(g._vertPos, nv * 12);
    add(g._vertMotion, nv * 12);
    add(g._vertUser4, nv * 16);
    for (int c = 0; c < 2; ++c)
        add(g._vertUser3[c], nv * 12);
    for (int c = 0; c < 4; ++c)
        add(g._vertUser1[c], nv * 4);
    add(g._polyNumVert, np);
    add(g._polyVInd, nn * 4);
    add(g._nodeNrm, nn * 12);
    add(g._nodeUvw, nn * 12);
    add(g._nodeCol, nn * 16);
    return s;
}

// Polygon p's vertex indices.
inline std::vector<int32_t> Poly(const ZNQGeometry& g, int32_t p)
{
    int64_t o = 0;
    for (int32_t i = 0; i < p; ++i)
        o += g._polyNumVert[i];
    return std::vector<int32_t>(g._polyVInd + o, g._polyVInd + o + g._polyNumVert[p]);
}

// Node offset of polygon p.
inline int64_t Offset(const ZNQGeometry& g, int32_t p)
{
    int64_t o = 0;
    for (int32_t i = 0; i < p; ++i)
        o += g._polyNumVert[i];
    return o;
}

inline bool Near(const float3& a, const float3& b, float eps = 1e-5f)
{
    return std::fabs(a.x - b.x) <= eps && std::fabs(a.y - b.y) <= eps &&
           std::fabs(a.z - b.z) <= eps;
}

inline bool Same(const float3& a, const float3& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}
inline bool Same(const float4& a, const float4& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Runs op on copies of src under memory limits from "no headroom" up to the
// op's own peak. Every refusal must leave the arrays unchanged and, once the
// derived data are released, the books back at the baseline; the full peak
// must succeed. Returns the number of limits that failed.
inline int SweepMemoryLimits(const ZNQGeometry& src, const std::function<int32_t(ZNQGeometry&)>& op,
                             int steps = 48)
{
    int64_t need = 0;
    {
        Geo t;
        Clone(src, t.g);
        const int64_t base = t.g._memUsed;
        t.g._memPeak = base;
        EXPECT_EQ(op(t.g), 0) << "unlimited run";
        need = t.g._memPeak - base;
    }
    int failures = 0;
    for (int i = 0; i <= steps; ++i)
    {
        const int64_t headroom = i == steps ? need : need * i / steps;
        Geo t;
        Clone(src, t.g);
        const Snapshot before = Take(t.g);
        const int64_t base = t.g._memUsed;
        t.g._memLimitOn = 1;
        t.g._memLimit = base + headroom;
        const int32_t rc = op(t.g);
        if (i == steps)
        {
            EXPECT_EQ(rc, 0) << "limit at the peak must suffice";
        }
        if (rc != 0)
        {
            ++failures;
            EXPECT_TRUE(Take(t.g) == before) << "refusal changed the geometry, headroom " << headroom;
            t.g._DynRelease(kDynAll);
            EXPECT_EQ(t.g._memUsed, base) << "books unbalanced, headroom " << headroom;
        }
        t.g._memLimitOn = 0;
    }
    return failures;
}

} // namespace opsii
