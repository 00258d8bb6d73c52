// The derived data and the clean-up give the same bits for 1, 2 and 7
// threads, on generated meshes large enough to be cut into ranges.
#include <gtest/gtest.h>

#include <omp.h>

#include <algorithm>
#include <string>
#include <vector>

#include "GeoTestMesh.h"
#include "formats/ZNQFormats.h"
#include "geometry/ZNQParallel.h"

namespace
{

constexpr int kThreadCounts[] = {1, 2, 7};

struct Threads
{
    int old;
    explicit Threads(int n) : old(omp_get_max_threads()) { omp_set_num_threads(n); }
    ~Threads() { omp_set_num_threads(old); }
};

struct Rng
{
    uint32_t s;
    uint32_t Next()
    {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
    int32_t Below(int32_t n) { return static_cast<int32_t>(Next() % static_cast<uint32_t>(n)); }
    float Unit() { return static_cast<float>(Next() & 0xFFFFFF) / 16777216.0f; }
};

// Polygons of 3 to 7 corners from small windows of vertices; with dirty set,
// some polygons are illegal (too few corners, an index out of range, one
// index twice) and some vertices unused.
void FillRandom(ZNQGeometry& g, Rng& rng, int32_t numVert, int32_t numPoly, bool dirty)
{
    std::vector<float3> pos(static_cast<size_t>(numVert));
    for (float3& p : pos)
        p = float3{rng.Unit() * 10.0f, rng.Unit() * 10.0f, rng.Unit() * 10.0f};
    kvt::PolyList polys;
    for (int32_t p = 0; p < numPoly; ++p)
    {
        const int32_t n = 3 + rng.Below(5);
        std::vector<int32_t> poly;
        const int32_t base = rng.Below(numVert - 12);
        while (static_cast<int32_t>(poly.size()) < n)
        {
            const int32_t v = base + rng.Below(12);
            if (std::find(poly.begin(), poly.end(), v) == poly.end())
                poly.push_back(v);
        }
        if (dirty && rng.Below(500) == 0)
        {
            switch (rng.Below(3))
            {
            case 0: poly.resize(2); break;
            case 1: poly[1] = numVert + 5; break;
            default: poly[2] = poly[0]; break;
            }
        }
        polys.push_back(poly);
    }
    Build(g, pos, polys);
}

void AddNodeData(ZNQGeometry& g, Rng& rng)
{
    const size_t nn = static_cast<size_t>(g.NumNodes());
    std::vector<float3> nrm(nn), uvw(nn);
    std::vector<float4> col(nn);
    for (size_t i = 0; i < nn; ++i)
    {
        nrm[i] = float3{rng.Unit() - 0.5f, rng.Unit() - 0.5f, rng.Unit()};
        uvw[i] = float3{rng.Unit(), rng.Unit(), rng.Unit()};
        col[i] = float4{rng.Unit(), rng.Unit(), rng.Unit(), rng.Unit()};
    }
    g._nodeNrm = AllocNodeArray(g, nrm);
    g._nodeUvw = AllocNodeArray(g, uvw);
    g._nodeCol = AllocNodeArray(g, col);
}

// Byte images of the items an evaluation builds, and of the lists.
std::vector<std::vector<uint8_t>> Derived(ZNQGeometry& g)
{
    const size_t nv = static_cast<size_t>(g._numVert);
    const size_t np = static_cast<size_t>(g._numPoly);
    const size_t nn = static_cast<size_t>(g.NumNodes());
    std::vector<std::vector<uint8_t>> out;
    out.push_back(kvt::ArrayBytes(g._DynGetPolyNodeFlags(), nn));
    out.push_back(kvt::ArrayBytes(g._DynGetPolyNrm(), np));
    out.push_back(kvt::ArrayBytes(g._DynGetPolyAreas(), np));
    out.push_back(kvt::ArrayBytes(g._DynGetPolyFlags(), np));
    out.push_back(kvt::ArrayBytes(g._DynGetVertNrm(), nv));
    out.push_back(kvt::ArrayBytes(g._DynGetVertUvw(), nv));
    out.push_back(kvt::ArrayBytes(g._DynGetVertCol(), nv));
    const uint8_t* num = g._DynGetVertAdjPolyNum();
    int32_t* const* arr = g._DynGetVertAdjPolyArr();
    out.push_back(kvt::ArrayBytes(num, nv));
    std::vector<uint8_t> lists;
    for (size_t v = 0; num && arr && v < nv; ++v)
    {
        const std::vector<uint8_t> b = kvt::ArrayBytes(arr[v], num[v]);
        lists.insert(lists.end(), b.begin(), b.end());
    }
    out.push_back(lists);
    return out;
}

// Byte images of the topology items: vertex adjacency (with each node's
// place in its neighbour list), edges, node edges and edge polygons.
std::vector<std::vector<uint8_t>> Topology(ZNQGeometry& g)
{
    const size_t nv = static_cast<size_t>(g._numVert);
    const size_t nn = static_cast<size_t>(g.NumNodes());
    std::vector<std::vector<uint8_t>> out;
    auto lists = [&out](const uint8_t* num, int32_t* const* arr, size_t count) {
        out.push_back(kvt::ArrayBytes(num, num ? count : 0));
        std::vector<uint8_t> all;
        for (size_t i = 0; num && arr && i < count; ++i)
        {
            const std::vector<uint8_t> b = kvt::ArrayBytes(arr[i], num[i]);
            all.insert(all.end(), b.begin(), b.end());
        }
        out.push_back(all);
    };
    lists(g._DynGetVertAdjVertNum(), g._DynGetVertAdjVertArr(), nv);
    out.push_back(kvt::ArrayBytes(g._dyn._nodeAdjNextSlot, g._dyn._nodeAdjNextSlot ? nn : 0));
    const int32_t numEdges = g._DynGetNumEdges();
    const size_t ne = static_cast<size_t>(numEdges > 0 ? numEdges : 0);
    out.push_back(kvt::ArrayBytes(&numEdges, 1));
    out.push_back(kvt::ArrayBytes(g._DynGetEdges(), 2 * ne));
    lists(g._DynGetVertAdjEdgeNum(), g._DynGetVertAdjEdgeArr(), nv);
    out.push_back(kvt::ArrayBytes(g._DynGetPolyEInd(), nn));
    lists(g._DynGetEdgeAdjPolyNum(), g._DynGetEdgeAdjPolyArr(), ne);
    return out;
}

// A random mesh with non-manifold edges (polygons drawn from small vertex
// windows), holes (some polygons left out), repeated polygons and, when
// dirty, illegal ones.
void FillRandomTopology(ZNQGeometry& g, uint32_t seed, bool dirty)
{
    Rng rng{seed};
    FillRandom(g, rng, 70000, 90000, dirty);
    kvt::PolyList polys = kvt::PolysOf(g);
    std::vector<float3> pos(g._vertPos, g._vertPos + g._numVert);
    kvt::PolyList out;
    for (size_t p = 0; p < polys.size(); ++p)
    {
        if (rng.Below(20) == 0)
            continue; // a hole
        out.push_back(polys[p]);
        if (rng.Below(50) == 0)
            out.push_back(polys[p]); // repeated, right after
        if (rng.Below(50) == 0)
            out.push_back(polys[static_cast<size_t>(rng.Below(static_cast<int32_t>(p + 1)))]); // repeated later
    }
    g.Clear();
    Build(g, pos, out);
}

} // namespace

TEST(GeometryThreads, TopologySameBitsForEveryThreadCount)
{
    // Random meshes share most vertices between polygon ranges; the torus
    // keeps nearly every vertex inside one range.
    for (int kind = 0; kind < 3; ++kind)
    {
        SCOPED_TRACE(kind);
        std::vector<std::vector<uint8_t>> first;
        for (const int threads : kThreadCounts)
        {
            SCOPED_TRACE(threads);
            Threads t(threads);
            kvt::Geo geo;
            if (kind == 2)
                FillTorus(geo.g, 400, 200, true);
            else
                FillRandomTopology(geo.g, 4321u + static_cast<uint32_t>(kind), kind == 1);
            EXPECT_GT(geo.g._numPoly, 65536);
            const auto d = Topology(geo.g);
            ASSERT_EQ(d.size(), 10u);
            EXPECT_FALSE(d[1].empty()); // neighbour lists
            EXPECT_FALSE(d[9].empty()); // edge polygons
            if (first.empty())
                first = d;
            else
                EXPECT_TRUE(d == first);
        }
    }
}

TEST(GeometryThreads, NodeNormalMeansSameBitsForEveryThreadCount)
{
    // Vertices inside one polygon range and vertices shared by ranges.
    std::vector<std::vector<uint8_t>> first;
    for (const int threads : kThreadCounts)
    {
        SCOPED_TRACE(threads);
        Threads t(threads);
        kvt::Geo geo;
        FillTorus(geo.g, 400, 200, true);
        Rng rng{55u};
        AddNodeData(geo.g, rng);
        const auto d = Derived(geo.g);
        EXPECT_FALSE(d[4].empty());
        if (first.empty())
            first = d;
        else
            EXPECT_TRUE(d == first);
    }
}

TEST(GeometryThreads, TooManyPolygonsOnOneEdgeFailsForEveryThreadCount)
{
    // 256 triangles on the edge 0-1, spread over the polygon ranges: the
    // edge polygon lists fail, the items before them stay.
    for (const int threads : kThreadCounts)
    {
        SCOPED_TRACE(threads);
        Threads t(threads);
        kvt::Geo geo;
        Rng rng{8u};
        FillRandom(geo.g, rng, 90000, 110000, false);
        kvt::PolyList polys = kvt::PolysOf(geo.g);
        std::vector<float3> pos(geo.g._vertPos, geo.g._vertPos + geo.g._numVert);
        for (int i = 0; i < 256; ++i)
            polys[static_cast<size_t>(i) * 400] = {0, 1, 1000 + i % 8};
        geo.g.Clear();
        Build(geo.g, pos, polys);
        EXPECT_NE(geo.g._DynGetPolyEInd(), nullptr);
        EXPECT_EQ(geo.g._DynGetEdgeAdjPolyNum(), nullptr);
        EXPECT_EQ(geo.g._DynGetEdgeAdjPolyArr(), nullptr);
    }
}

TEST(GeometryThreads, DerivedDataSameBitsForEveryThreadCount)
{
    for (const bool nodeData : {false, true})
    {
        SCOPED_TRACE(nodeData ? "node data" : "no node data");
        std::vector<std::vector<uint8_t>> first;
        for (const int threads : kThreadCounts)
        {
            SCOPED_TRACE(threads);
            Threads t(threads);
            kvt::Geo geo;
            Rng rng{12345u + (nodeData ? 1u : 0u)};
            FillRandom(geo.g, rng, 90000, 110000, false);
            if (nodeData)
                AddNodeData(geo.g, rng);
            const auto d = Derived(geo.g);
            EXPECT_FALSE(d[4].empty()); // vertex normals
            EXPECT_EQ(d[6].empty(), !nodeData); // vertex colours
            if (first.empty())
                first = d;
            else
                EXPECT_TRUE(d == first);
        }
    }
}

TEST(GeometryThreads, TooManyPolygonsOnOneVertexFailsForEveryThreadCount)
{
    // 256 triangles fan around vertex 0, spread over the polygon ranges.
    for (const int threads : kThreadCounts)
    {
        SCOPED_TRACE(threads);
        Threads t(threads);
        kvt::Geo geo;
        Rng rng{7u};
        FillRandom(geo.g, rng, 90000, 110000, false);
        kvt::PolyList polys = kvt::PolysOf(geo.g);
        std::vector<float3> pos(geo.g._vertPos, geo.g._vertPos + geo.g._numVert);
        for (int i = 0; i < 256; ++i)
            polys[static_cast<size_t>(i) * 400][0] = 0;
        geo.g.Clear();
        Build(geo.g, pos, polys);
        EXPECT_EQ(geo.g._DynGetVertAdjPolyNum(), nullptr);
        EXPECT_EQ(geo.g._DynGetVertNrm(), nullptr);
        EXPECT_EQ(geo.g._DynGetVertAdjVertNum(), nullptr); // more than 255 neighbours
        EXPECT_EQ(geo.g._DynGetEdges(), nullptr);
    }
}

TEST(GeometryThreads, CleanUpSameBitsForEveryThreadCount)
{
    for (const bool dirty : {false, true})
    {
        SCOPED_TRACE(dirty ? "dirty" : "clean");
        kvt::Snapshot first;
        for (const int threads : kThreadCounts)
        {
            SCOPED_TRACE(threads);
            Threads t(threads);
            kvt::Geo geo;
            Rng rng{99u};
            if (dirty)
                FillRandom(geo.g, rng, 100000, 100000, true); // also unused vertices
            else
                FillTorus(geo.g, 400, 200, true);            // nothing to clean
            AddNodeData(geo.g, rng);
            const kvt::Snapshot before(geo.g);
            ASSERT_EQ(CleanUp(geo.g), 0);
            const kvt::Snapshot after(geo.g);
            if (!dirty)
            {
                EXPECT_TRUE(after == before);
            }
            else
            {
                EXPECT_LT(geo.g._numPoly, before.numPoly);
            }
            if (threads == 1)
                first = after;
            else
                EXPECT_TRUE(after == first);
        }
    }
}

TEST(GeometryThreads, LoadedFileSameBitsForEveryThreadCount)
{
    // A torus with one broken face late in the file and one unused vertex.
    std::string text;
    const int nu = 300, nvs = 150;
    for (int i = 0; i < nu; ++i)
        for (int j = 0; j < nvs; ++j)
            text += "v " + std::to_string(i) + " " + std::to_string(j) + " " +
                    std::to_string((i * 7 + j * 3) % 11) + "\n";
    text += "v 0 0 99\n";
    for (int i = 0; i < nu; ++i)
        for (int j = 0; j < nvs; ++j)
        {
            const int a = i * nvs + j + 1, b = ((i + 1) % nu) * nvs + j + 1;
            const int c = ((i + 1) % nu) * nvs + (j + 1) % nvs + 1, d = i * nvs + (j + 1) % nvs + 1;
            text += "f " + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c) + "\n";
            text += "f " + std::to_string(a) + " " + std::to_string(c) + " " + std::to_string(d) + "\n";
        }
    text += "f 1 2 1\n";
    const std::string path = kvt::WriteText("threads_torus.obj", text);
    std::vector<std::vector<uint8_t>> firstDerived;
    kvt::Snapshot first;
    for (const int threads : kThreadCounts)
    {
        SCOPED_TRACE(threads);
        Threads t(threads);
        kvt::Geo geo;
        ASSERT_EQ(LoadFromFile(geo.g, path.c_str(), true, true, true, true, nullptr, nullptr,
                               nullptr, nullptr, false),
                  0);
        EXPECT_EQ(geo.g._numPoly, 2 * nu * nvs);
        EXPECT_EQ(geo.g._numVert, nu * nvs);
        const kvt::Snapshot s(geo.g);
        const auto d = Derived(geo.g);
        if (threads == 1)
        {
            first = s;
            firstDerived = d;
        }
        else
        {
            EXPECT_TRUE(s == first);
            EXPECT_TRUE(d == firstDerived);
        }
    }
}

TEST(GeometryThreads, RangesCoverEveryElementOnce)
{
    {
        Threads t(1);
        EXPECT_EQ(znqpar::RangesFor(10000000), 1); // one thread: the serial loop
    }
    Threads t(7);
    EXPECT_EQ(znqpar::RangesFor(2 * znqpar::kMinPerRange - 1), 1);
    EXPECT_EQ(znqpar::RangesFor(2 * znqpar::kMinPerRange), 2);
    EXPECT_EQ(znqpar::RangesFor(100 * znqpar::kMinPerRange), 7);
    for (const int64_t count : {int64_t(0), int64_t(1), int64_t(65536), int64_t(1000003)})
        for (const int32_t ranges : {1, 2, 7, 64})
        {
            EXPECT_EQ(znqpar::RangeStart(count, ranges, 0), 0);
            EXPECT_EQ(znqpar::RangeStart(count, ranges, ranges), count);
            for (int32_t r = 0; r < ranges; ++r)
            {
                const int64_t size = znqpar::RangeStart(count, ranges, r + 1) - znqpar::RangeStart(count, ranges, r);
                EXPECT_GE(size, count / ranges);
                EXPECT_LE(size, count / ranges + 1);
            }
        }

    // Polygon ranges start at the right node.
    std::vector<uint8_t> counts(100000);
    Rng rng{3u};
    for (uint8_t& c : counts)
        c = static_cast<uint8_t>(rng.Below(9));
    znqpar::PolyRanges pr;
    znqpar::SplitPolygons(counts.data(), static_cast<int32_t>(counts.size()), 7, pr);
    ASSERT_EQ(pr.count, 7);
    for (int32_t r = 0; r <= pr.count; ++r)
    {
        int64_t nodes = 0;
        for (int32_t p = 0; p < pr.poly[r]; ++p)
            nodes += counts[static_cast<size_t>(p)];
        EXPECT_EQ(pr.node[r], nodes);
    }
    EXPECT_EQ(pr.poly[pr.count], static_cast<int32_t>(counts.size()));
}

TEST(GeometryThreads, CountSumsAreExactAcrossBlocks)
{
    // All counts at 255 fill each 256-count block to its 16-bit limit;
    // starts and ends off the block grid leave partial blocks at both ends.
    std::vector<uint8_t> full(5000, 255);
    std::vector<uint8_t> mixed(5000);
    Rng rng{11u};
    for (uint8_t& c : mixed)
        c = static_cast<uint8_t>(rng.Next());
    for (const std::vector<uint8_t>* c : {&full, &mixed})
        for (const int64_t begin : {0, 1, 255, 256, 700})
            for (const int64_t end : {int64_t(700), int64_t(955), int64_t(956), int64_t(957), int64_t(5000)})
            {
                int64_t want = 0;
                for (int64_t i = begin; i < end; ++i)
                    want += (*c)[static_cast<size_t>(i)];
                EXPECT_EQ(znqpar::SumCounts(c->data(), begin, end), want) << begin << " " << end;
            }
}

TEST(GeometryThreads, KeyCountsTellAWrap)
{
    // Keys outside [0, 3) are skipped; a count of 255 is exact, 256 and 512
    // wrap (to 0 for 256 x 2), and a range counts only its own keys.
    std::vector<int32_t> keys = {-1, 3, 2, 2, 7};
    keys.insert(keys.end(), 255, 1);
    std::vector<uint8_t> counts(3, 0);
    EXPECT_TRUE(znqpar::CountKeys(keys.data(), 0, static_cast<int64_t>(keys.size()), 3, counts.data()));
    EXPECT_EQ(counts, (std::vector<uint8_t>{0, 255, 2}));
    for (const int32_t n : {256, 257, 512})
    {
        SCOPED_TRACE(n);
        const std::vector<int32_t> many(static_cast<size_t>(n), 0);
        uint8_t one = 0;
        EXPECT_FALSE(znqpar::CountKeys(many.data(), 0, n, 1, &one));
        one = 0;
        EXPECT_TRUE(znqpar::CountKeys(many.data(), n - 255, n, 1, &one));
        EXPECT_EQ(one, 255);
    }
}

TEST(GeometryThreads, VertexOfManyRepeatedPolygonsKeepsItsShortList)
{
    // Copies of one triangle in a row (one polygon range holds them all) in
    // a torus: its vertices have more nodes than a byte counts (6 + 250: a
    // count that wraps to 0 over the whole mesh; 6 + 300: one that wraps in
    // one range) but six neighbours each, as without the copies.
    for (const int copies : {250, 300})
    {
        SCOPED_TRACE(copies);
        std::vector<std::vector<uint8_t>> first;
        for (const int threads : kThreadCounts)
        {
            SCOPED_TRACE(threads);
            Threads t(threads);
            kvt::Geo geo;
            FillTorus(geo.g, 400, 200, true);
            kvt::PolyList polys = kvt::PolysOf(geo.g);
            std::vector<float3> pos(geo.g._vertPos, geo.g._vertPos + geo.g._numVert);
            const kvt::PolyList::value_type tri = polys[0];
            polys.insert(polys.begin() + 1000, static_cast<size_t>(copies), tri);
            geo.g.Clear();
            Build(geo.g, pos, polys);
            const uint8_t* num = geo.g._DynGetVertAdjVertNum();
            int32_t* const* arr = geo.g._DynGetVertAdjVertArr();
            ASSERT_NE(num, nullptr);
            ASSERT_NE(arr, nullptr);
            for (const int32_t v : tri)
                EXPECT_EQ(num[v], 6);
            EXPECT_EQ(arr[tri[0]][0], tri[1]);
            EXPECT_EQ(arr[tri[0]][1], tri[2]);
            EXPECT_EQ(geo.g._DynGetVertAdjPolyNum(), nullptr); // 256 or more polygons at a vertex
            const auto d = Topology(geo.g);
            if (first.empty())
                first = d;
            else
                EXPECT_TRUE(d == first);
        }
    }
}
