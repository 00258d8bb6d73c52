// Helpers of the mesh-operation tests (on top of the shared ones): channel
// data with known values, an independent edge census, grids and the two
// memory-limit sweeps.
#pragma once

#include <map>
#include <utility>

#include "../common/KvTest.h"

namespace kmesh
{

using namespace kvt;
using Polys = PolyList;

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

// Node offset of polygon p.
inline int64_t Offset(const ZNQGeometry& g, int32_t p)
{
    int64_t o = 0;
    for (int32_t i = 0; i < p; ++i)
        o += g._polyNumVert[i];
    return o;
}

// Polygon p's vertex indices.
inline std::vector<int32_t> Poly(const ZNQGeometry& g, int32_t p)
{
    const int32_t* first = g._polyVInd + Offset(g, p);
    return std::vector<int32_t>(first, first + g._polyNumVert[p]);
}

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

// The same sweep on copies of src.
inline void MemorySweep(const ZNQGeometry& src, const std::function<int32_t(ZNQGeometry&)>& op, int64_t step = 16)
{
    MemorySweep([&src](ZNQGeometry& g) { Clone(src, g); }, op, step);
}

} // namespace kmesh
