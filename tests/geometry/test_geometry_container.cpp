// ZNQGeometry container: creation, Clear, counted allocation, memory limit,
// motion scaling.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "GeoTestMesh.h"

using GeometryContainer = GeoTest;

namespace
{
void ExpectDerivedNotComputed(const ZNQGeometry& g)
{
    const ZNQDynData& d = g._dyn;
    const std::vector<int32_t> counts = {d._numVertUsed,     d._numVertUnused,   d._numPolyIllegal, d._numPolyTris,
                                         d._numPolyQuads,    d._numPolyFivePlus, d._numPolyTwoMinus, d._numEdges,
                                         d._numVertBL,       d._numVertI};
    EXPECT_EQ(counts, std::vector<int32_t>(10, -1));
    EXPECT_TRUE(!d._octree && !d._vertAdjVertNum && !d._polyNrm && !d._vertNrm);
}

// Every item of the table, fetched through its getter.
void GetEveryItem(ZNQGeometry& g)
{
    g._DynGetNumVertUsed();
    g._DynGetNumPolyIllegal();
    g._DynGetNumPolyTris();
    g._DynGetOctree();
    g._DynGetEdges();
    g._DynGetEdgeAdjPolyArr();
    g._DynGetVertAdjVertArr();
    g._DynGetVertAdjPolyArr();
    g._DynGetVertAvrgDistToAdjVert();
    g._DynGetNumVertBL();
    g._DynGetVertIID();
    g._DynGetVertICtr();
    g._DynGetVertIArea();
    g._DynGetVertIOctree();
    g._DynGetPolyNodeFlags();
    g._DynGetPolyVIndOffset();
    g._DynGetPolyEInd();
    g._DynGetPolyFlags();
    g._DynGetPolyAreas();
    g._DynGetPolyNrm();
    g._DynGetVertNrm();
    g._DynGetVertUvw();
    g._DynGetVertCol();
}
} // namespace

TEST_F(GeometryContainer, InitAndClearOfEmptyGeometry)
{
    ZNQGeometry g;
    std::memset(static_cast<void*>(&g), 0x5A, sizeof(g));
    g.Init(1);
    EXPECT_EQ((std::vector<int64_t>{g._memTrack, g._memLimitOn, g._memUsed, g._memPeak, g._numVert, g._numPoly,
                                    g._threading}),
              (std::vector<int64_t>{1, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(g._vertPos, nullptr);
    ExpectDerivedNotComputed(g);

    g.Clear();
    EXPECT_EQ(g._memTrack, 1);
    EXPECT_EQ(g._memUsed, 0);
    EXPECT_EQ(g._threading, 1) << "_threading survives Clear";
    ExpectDerivedNotComputed(g);

    // Every getter of an empty geometry: 0 / null, nothing allocated.
    GetEveryItem(g);
    EXPECT_EQ(g._DynGetNumEdges(), 0);
    EXPECT_EQ(g._DynGetVertNrm(), nullptr);
    EXPECT_FALSE(g._DynBuild(kDynEdges)) << "no positions: build fails";
    EXPECT_EQ(g._memUsed, 0);
}

TEST_F(GeometryContainer, ClearReturnsMemoryAndKeepsPeak)
{
    const int64_t before = g._memUsed;
    FillTorus(g, 40, 30, true);
    g._nodeUvw = g._MemAllocArr<float3>(static_cast<size_t>(g.NumNodes()), true);
    g._vertMotion = g._MemAllocArr<float3>(static_cast<size_t>(g._numVert), true);
    GetEveryItem(g);
    ASSERT_NE(g._DynGetEdgeAdjPolyArr(), nullptr);
    const int64_t high = g._memUsed;
    EXPECT_GT(high, before);
    EXPECT_GE(g._memPeak, high);

    g.Clear();
    EXPECT_EQ(g._memUsed, before);
    EXPECT_GE(g._memPeak, high) << "the peak is kept";
    EXPECT_EQ(g._vertPos, nullptr);
    EXPECT_EQ(g._nodeUvw, nullptr);
    EXPECT_EQ(g._vertMotion, nullptr);
    ExpectDerivedNotComputed(g);
}

TEST_F(GeometryContainer, ClearRestartsBooksOnlyWhenCountingWasOff)
{
    Build(g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    g._memLimitOn = 1;
    g._memLimit = 1 << 30;
    g.Clear();
    EXPECT_EQ(g._memLimitOn, 0);
    EXPECT_EQ(g._memLimit, 0);
    EXPECT_EQ(g._memUsed, 0);
    EXPECT_GT(g._memPeak, 0);

    g._memTrack = 0;
    g._memUsed = 1234; // stale figures from an uncounted period
    g._memPeak = 5678;
    g.Clear();
    EXPECT_EQ(g._memTrack, 1);
    EXPECT_EQ(g._memUsed, 0);
    EXPECT_EQ(g._memPeak, 0);
}

// The books are kept in numbers fixed by the requests alone, so one load
// counts the same on Linux, on Windows and under the sanitizers: small blocks
// their request plus the 16-byte header rounded up to 16, large ones (from
// 1 MiB) the request plus 64 rounded up to 2 MiB, also when a kept mapping
// of another length is reused.
TEST_F(GeometryContainer, CountsTheSameOnEveryPlatform)
{
    const std::vector<std::pair<size_t, int64_t>> sizes = {
        {0, 16}, {1, 32}, {16, 32}, {17, 48}, {100, 128}, {4096, 4112},
        {(size_t(1) << 20) - 17, int64_t(1) << 20}, {size_t(1) << 20, int64_t(2) << 20},
        {(size_t(2) << 20) - 64, int64_t(2) << 20}, {(size_t(2) << 20) - 63, int64_t(4) << 20},
        {size_t(5) << 20, int64_t(6) << 20}};
    int64_t sum = 0;
    std::vector<void*> held;
    for (const auto& s : sizes)
    {
        EXPECT_EQ(ZNQGeometry::CountedBytes(s.first), uint64_t(s.second)) << s.first;
        void* b = g._MemAlloc(s.first, false);
        ASSERT_NE(b, nullptr);
        held.push_back(b);
        sum += s.second;
        EXPECT_EQ(g._memUsed, sum) << s.first;
    }
    EXPECT_EQ(g._memPeak, sum);
    for (void* b : held)
        g._MemFreeRaw(b);
    EXPECT_EQ(g._memUsed, 0);

    // Released mappings are kept and served again to requests they exceed by
    // up to a quarter; such a block still counts by its own request.
    for (size_t bytes : {(size_t(11) << 19), (size_t(9) << 19), (size_t(17) << 19), (size_t(5) << 20)})
    {
        void* b = g._MemAlloc(bytes, true);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(g._memUsed, int64_t(ZNQGeometry::CountedBytes(bytes))) << bytes;
        g._MemFreeRaw(b);
        EXPECT_EQ(g._memUsed, 0);
    }
}

TEST_F(GeometryContainer, CountedAllocation)
{

    void* empty = g._MemAlloc(0, false);
    ASSERT_NE(empty, nullptr) << "0 bytes still give a block";
    EXPECT_GT(g._memUsed, 0);
    g._MemFree(empty);
    EXPECT_EQ(empty, nullptr);
    EXPECT_EQ(g._memUsed, 0);

    // Small and large blocks count at least their request and are zeroed on
    // request; freeing subtracts exactly what was added.
    for (size_t bytes : {size_t(24), size_t(4096), size_t(3) << 20, size_t(5) << 20})
    {
        uint8_t* b = static_cast<uint8_t*>(g._MemAlloc(bytes, true));
        ASSERT_NE(b, nullptr);
        EXPECT_GE(g._memUsed, static_cast<int64_t>(bytes));
        EXPECT_GE(g._memPeak, g._memUsed);
        size_t nonZero = 0;
        for (size_t i = 0; i < bytes; ++i)
            nonZero += b[i] != 0;
        EXPECT_EQ(nonZero, 0u) << bytes;
        b[0] = 1;
        b[bytes - 1] = 2; // the whole request is writable
        g._MemFree(b);
        EXPECT_EQ(g._memUsed, 0) << bytes;
    }

    // Sizes that would overflow are refused, not wrapped.
    EXPECT_EQ(g._MemAllocArr<float3>(static_cast<size_t>(-1) / 4, false), nullptr);
    EXPECT_EQ(g._MemAlloc(static_cast<size_t>(-1), false), nullptr);
    EXPECT_EQ(g._memUsed, 0);

    // Without counting nothing moves.
    g._memTrack = 0;
    void* quiet = g._MemAlloc(100, false);
    ASSERT_NE(quiet, nullptr);
    EXPECT_EQ(g._memUsed, 0);
    g._MemFreeRaw(quiet);
    g._memTrack = 1;
    g._MemFreeRaw(nullptr); // skipped
}

// Large blocks given back are kept and handed out again, to this geometry or
// another, from any thread: a zeroed request must still see only zeros, the
// whole request must be writable, and every free must subtract what its
// allocation added.
TEST_F(GeometryContainer, ReleasedLargeBlocksComeBackCleanAndCounted)
{
    ZNQGeometry other;
    other.Init(0);
    for (size_t bytes : {size_t(6) << 20, size_t(6) << 20, (size_t(6) << 20) - 100, size_t(5) << 20})
        for (ZNQGeometry* geo : {&g, &other})
        {
            uint8_t* b = static_cast<uint8_t*>(geo->_MemAlloc(bytes, true));
            ASSERT_NE(b, nullptr);
            EXPECT_EQ(std::count(b, b + bytes, uint8_t(0)), static_cast<std::ptrdiff_t>(bytes)) << bytes;
            std::memset(b, 0xAB, bytes);
            geo->_MemFree(b);
            EXPECT_EQ(geo->_memUsed, 0);
        }

    // Several threads, each with its own geometry, trading blocks of mixed
    // sizes through the shared store.
    std::vector<std::thread> threads;
    std::atomic<int> bad{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &bad] {
            ZNQGeometry mine;
            mine.Init(0);
            std::mt19937 rng(static_cast<uint32_t>(t + 1));
            uint8_t* held[3] = {nullptr, nullptr, nullptr};
            size_t sizes[3] = {0, 0, 0};
            for (int i = 0; i < 300; ++i)
            {
                const int k = static_cast<int>(rng() % 3);
                if (held[k])
                {
                    if (held[k][0] != uint8_t(t) || held[k][sizes[k] - 1] != uint8_t(t))
                        ++bad;
                    mine._MemFreeRaw(held[k]);
                    held[k] = nullptr;
                    continue;
                }
                sizes[k] = (size_t(1) << 20) + rng() % (size_t(12) << 20);
                held[k] = static_cast<uint8_t*>(mine._MemAlloc(sizes[k], true));
                if (!held[k] || held[k][sizes[k] / 2] != 0 || held[k][sizes[k] - 1] != 0)
                {
                    ++bad;
                    break;
                }
                held[k][0] = uint8_t(t);
                held[k][sizes[k] - 1] = uint8_t(t);
            }
            for (uint8_t* h : held)
                mine._MemFreeRaw(h);
            if (mine._memUsed != 0)
                ++bad;
        });
    for (std::thread& th : threads)
        th.join();
    EXPECT_EQ(bad.load(), 0);
}

TEST_F(GeometryContainer, MemoryLimitRefusesAllocation)
{
    void* keep = g._MemAlloc(1000, false);
    const int64_t used = g._memUsed;
    g._memLimitOn = 1;
    g._memLimit = used + 500;
    EXPECT_EQ(g._MemAlloc(501, false), nullptr);
    EXPECT_EQ(g._MemAlloc(size_t(8) << 20, true), nullptr);
    EXPECT_EQ(g._memUsed, used) << "a refusal allocates nothing";
    void* fits = g._MemAlloc(400, false);
    EXPECT_NE(fits, nullptr);
    g._MemFree(fits);
    g._memLimitOn = 0;
    g._MemFree(keep);
    EXPECT_EQ(g._memUsed, 0);
}

TEST_F(GeometryContainer, MemoryLimitFailsDerivedBuildCleanly)
{
    FillTorus(g, 30, 20, true);
    const int64_t loaded = g._memUsed;

    // Room for the vertex adjacency but not for the edges after it.
    ASSERT_NE(g._DynGetVertAdjVertArr(), nullptr);
    const int64_t adjacency = g._memUsed - loaded;
    g._DynRelease(kDynAll);
    ASSERT_EQ(g._memUsed, loaded);

    g._memLimitOn = 1;
    g._memLimit = loaded + adjacency + 64;
    EXPECT_EQ(g._DynGetEdges(), nullptr);
    EXPECT_EQ(g._DynGetNumEdges(), 0);
    EXPECT_EQ(g._dyn._numEdges, -1) << "the failed item is released";
    EXPECT_EQ(g._dyn._edges, nullptr);
    EXPECT_NE(g._dyn._vertAdjVertNum, nullptr) << "the finished dependency stays";
    EXPECT_FALSE(g._DynBuild(kDynEdges));
    EXPECT_EQ(g._memUsed, loaded + adjacency) << "no partial arrays are left";

    g._memLimit = loaded; // nothing more fits
    g._DynRelease(kDynAll);
    EXPECT_EQ(g._DynGetPolyNrm(), nullptr);
    EXPECT_EQ(g._DynGetVertNrm(), nullptr);
    EXPECT_EQ(g._DynGetNumVertUsed(), 0);
    EXPECT_EQ(g._memUsed, loaded);

    g._memLimitOn = 0;
    EXPECT_NE(g._DynGetEdges(), nullptr);
    EXPECT_EQ(g._DynGetNumEdges(), 30 * 20 * 3);
}

TEST_F(GeometryContainer, NumNodesAndEmptyPolygons)
{
    Build(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {}, {0, 2, 3}});
    EXPECT_EQ(g.NumNodes(), 6);
    const int32_t* off = g._DynGetPolyVIndOffset();
    ASSERT_NE(off, nullptr);
    EXPECT_EQ(off[0], 0);
    EXPECT_EQ(off[1], 3);
    EXPECT_EQ(off[2], 3) << "a polygon with 0 vertices owns no nodes";
    EXPECT_EQ(g._DynGetNumPolyTwoMinus(), 1);
    EXPECT_EQ(g._DynGetNumPolyTris(), 2);
}

TEST_F(GeometryContainer, ScaleMotionVectors)
{
    Build(g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    g.ScaleMotionVectors(2.0f); // no motions: nothing happens
    g._vertMotion = AllocNodeArray<float3>(g, {{1, 2, 3}, {-1, 0, 0.5f}, {0, 0, 0}});
    float3* nrm = g._DynGetPolyNrm();
    ASSERT_NE(nrm, nullptr);
    g.ScaleMotionVectors(-0.5f);
    EXPECT_TRUE(kvt::Same(g._vertMotion[0], {-0.5f, -1.0f, -1.5f}));
    EXPECT_TRUE(kvt::Same(g._vertMotion[1], {0.5f, -0.0f, -0.25f}));
    EXPECT_EQ(g._dyn._polyNrm, nrm) << "derived data is kept";
}
