// Helpers for the tests of blurs, edge repair, hole closing, inversion and
// quadrangulation: hand-made meshes, optional per-vertex and per-node data,
// snapshots for "unchanged" checks, an independent edge census and a
// memory-limit sweep.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "geometry/ZNQGeometry.h"

namespace opsi
{

using Polys = std::vector<std::vector<int32_t>>;

// A geometry initialised and cleared with the test's scope.
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

// Positions and polygons; every other array stays null.
inline void Build(ZNQGeometry& g, const std::vector<float3>& pos, const Polys& polys)
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

// Distinct values in every per-vertex channel (motion, user 4/3/1).
inline void AddVertexChannels(ZNQGeometry& g)
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
        const float f = static_cast<float>(v);
        g._vertMotion[v] = float3{f, 2 * f, -f};
        g._vertUser4[v] = float4{f + 1, f + 2, f + 3, f + 4};
        g._vertUser3[0][v] = float3{10 * f, 0.5f, f};
        g._vertUser3[1][v] = float3{-f, f * f, 7};
        for (int c = 0; c < 4; ++c)
            g._vertUser1[c][v] = f * static_cast<float>(c + 1);
    }
}

// Distinct node data per node: normal (unit, varying), UVW and colour.
inline void AddNodeData(ZNQGeometry& g, bool nrm = true, bool uvw = true, bool col = true)
{
    const size_t n = static_cast<size_t>(g.NumNodes());
    if (nrm)
        g._nodeNrm = g._MemAllocArr<float3>(n, false);
    if (uvw)
        g._nodeUvw = g._MemAllocArr<float3>(n, false);
    if (col)
        g._nodeCol = g._MemAllocArr<float4>(n, false);
    for (size_t k = 0; k < n; ++k)
    {
        const float f = static_cast<float>(k);
        if (nrm)
        {
            const float a = 0.3f * f;
            g._nodeNrm[k] = float3{std::sin(a) * 0.6f, std::cos(a) * 0.6f, 0.8f};
        }
        if (uvw)
            g._nodeUvw[k] = float3{f, 0.25f * f, 1.0f - f};
        if (col)
            g._nodeCol[k] = float4{f / 16.0f, 1.0f - f / 32.0f, 0.5f, 1.0f};
    }
}

inline Polys PolysOf(const ZNQGeometry& g)
{
    Polys out;
    int64_t k = 0;
    for (int32_t p = 0; p < g._numPoly; ++p)
    {
        std::vector<int32_t> poly(g._polyVInd + k, g._polyVInd + k + g._polyNumVert[p]);
        out.push_back(poly);
        k += g._polyNumVert[p];
    }
    return out;
}

template <typename T>
inline std::vector<uint8_t> Bytes(const T* p, size_t n)
{
    if (!p)
        return {};
    const uint8_t* b = reinterpret_cast<const uint8_t*>(p);
    return std::vector<uint8_t>(b, b + n * sizeof(T));
}

// Byte-exact copy of everything a mesh operation may change.
struct Snapshot
{
    int32_t numVert = 0, numPoly = 0;
    std::vector<std::vector<uint8_t>> arrays;

    explicit Snapshot(const ZNQGeometry& g)
    {
        numVert = g._numVert;
        numPoly = g._numPoly;
        const size_t nv = static_cast<size_t>(g._numVert);
        const size_t nn = static_cast<size_t>(g.NumNodes());
        arrays.push_back(Bytes(g._vertPos, nv));
        arrays.push_back(Bytes(g._vertMotion, nv));
        arrays.push_back(Bytes(g._vertUser4, nv));
        for (int c = 0; c < 2; ++c)
            arrays.push_back(Bytes(g._vertUser3[c], nv));
        for (int c = 0; c < 4; ++c)
            arrays.push_back(Bytes(g._vertUser1[c], nv));
        arrays.push_back(Bytes(g._polyNumVert, static_cast<size_t>(g._numPoly)));
        arrays.push_back(Bytes(g._polyVInd, nn));
        arrays.push_back(Bytes(g._nodeNrm, nn));
        arrays.push_back(Bytes(g._nodeUvw, nn));
        arrays.push_back(Bytes(g._nodeCol, nn));
    }
    bool operator==(const Snapshot& o) const
    {
        return numVert == o.numVert && numPoly == o.numPoly && arrays == o.arrays;
    }
};

// Independent edge census: per undirected edge, the directions in which
// polygons run along it (+1 from the lower to the higher index, -1 back).
using EdgeCensus = std::map<std::pair<int32_t, int32_t>, std::vector<int>>;
inline EdgeCensus CensusOf(const ZNQGeometry& g)
{
    EdgeCensus m;
    for (const auto& poly : PolysOf(g))
    {
        const size_t n = poly.size();
        for (size_t i = 0; i < n; ++i)
        {
            const int32_t a = poly[i], b = poly[(i + 1) % n];
            m[{std::min(a, b), std::max(a, b)}].push_back(a < b ? 1 : -1);
        }
    }
    return m;
}

// True when every edge has two polygons running along it in opposite ways.
inline bool IsClosedAndOriented(const ZNQGeometry& g)
{
    for (const auto& kv : CensusOf(g))
        if (kv.second.size() != 2 || kv.second[0] == kv.second[1])
            return false;
    return true;
}

// Regular grid in the xy-plane: (nx + 1) x (ny + 1) vertices, each cell split
// into two counter-clockwise triangles along its diagonal.
inline void GridVerts(int nx, int ny, std::vector<float3>& pos)
{
    pos.clear();
    for (int y = 0; y <= ny; ++y)
        for (int x = 0; x <= nx; ++x)
            pos.push_back(float3{static_cast<float>(x), static_cast<float>(y), 0.0f});
}
inline void CellTris(int nx, int x, int y, Polys& polys)
{
    const int32_t v0 = y * (nx + 1) + x, v1 = v0 + 1, v2 = v0 + nx + 2, v3 = v0 + nx + 1;
    polys.push_back({v0, v1, v2});
    polys.push_back({v0, v2, v3});
}

// Runs op on fresh copies of a mesh under rising memory limits. Every refusal
// (error 10, or the code of a derived-data getter whose build was refused)
// must leave the mesh byte for byte as it was; the first
// limit that suffices must give the same result as an unlimited run. After
// Clear() the books must balance (_memUsed back to 0).
inline void MemorySweep(const std::function<void(ZNQGeometry&)>& make,
                        const std::function<int32_t(ZNQGeometry&)>& op, int64_t step = 16)
{
    Snapshot expected = [&] {
        Geo ref;
        make(ref.g);
        EXPECT_EQ(op(ref.g), 0);
        return Snapshot(ref.g);
    }();
    int refusals = 0, memoryRefusals = 0;
    for (int64_t extra = 0;; extra += step)
    {
        Geo geo;
        make(geo.g);
        const Snapshot before(geo.g);
        geo->_memLimitOn = 1;
        geo->_memLimit = geo->_memUsed + extra;
        const int32_t rc = op(geo.g);
        if (rc != 0)
        {
            ++refusals;
            memoryRefusals += rc == 10;
            ASSERT_TRUE(Snapshot(geo.g) == before) << "refusal at limit +" << extra << " changed the mesh";
        }
        else
        {
            ASSERT_EQ(rc, 0) << "limit +" << extra;
            ASSERT_TRUE(Snapshot(geo.g) == expected) << "limit +" << extra;
        }
        geo->_memLimitOn = 0;
        geo->Clear();
        ASSERT_EQ(geo->_memUsed, 0) << "limit +" << extra;
        if (rc == 0)
            break;
        ASSERT_LT(extra, int64_t(1) << 24) << "never succeeded";
    }
    EXPECT_GT(refusals, 0) << "the sweep never hit a refusal";
    EXPECT_GT(memoryRefusals, 0) << "no refusal of the operation's own arrays";
}

} // namespace opsi
