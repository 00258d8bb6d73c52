// Post-load clean-up: which polygons and vertices go, what travels with
// them, and that a refused allocation changes nothing.
#include <random>

#include <gtest/gtest.h>

#include "errors/ZNQError.h"
#include "formats/ZNQFormats.h"
#include "../common/KvTest.h"

using namespace kvt;

namespace
{

// Node data whose value names the node: normal (k, 0, 0), UVW (0, k, 0),
// colour (0, 0, k, 1).
void AddNodeData(ZNQGeometry& g)
{
    const int64_t n = g.NumNodes();
    g._nodeNrm = g._MemAllocArr<float3>(size_t(n), false);
    g._nodeUvw = g._MemAllocArr<float3>(size_t(n), false);
    g._nodeCol = g._MemAllocArr<float4>(size_t(n), false);
    for (int64_t k = 0; k < n; ++k)
    {
        g._nodeNrm[k] = {float(k), 0, 0};
        g._nodeUvw[k] = {0, float(k), 0};
        g._nodeCol[k] = {0, 0, float(k), 1};
    }
}

// Every per-vertex array, each value derived from the vertex number v.
void AddVertexData(ZNQGeometry& g)
{
    const size_t n = size_t(g._numVert);
    g._vertMotion = g._MemAllocArr<float3>(n, false);
    g._vertUser4 = g._MemAllocArr<float4>(n, false);
    for (int i = 0; i < 2; ++i)
        g._vertUser3[i] = g._MemAllocArr<float3>(n, false);
    for (int i = 0; i < 4; ++i)
        g._vertUser1[i] = g._MemAllocArr<float>(n, false);
    for (size_t v = 0; v < n; ++v)
    {
        const float f = float(v);
        g._vertMotion[v] = {f, -f, 0.5f * f};
        g._vertUser4[v] = {f, f + 1, f + 2, f + 3};
        for (int i = 0; i < 2; ++i)
            g._vertUser3[i][v] = {f + 10 * i, 0, 0};
        for (int i = 0; i < 4; ++i)
            g._vertUser1[i][v] = f + 100 * i;
    }
}

// Checks that vertex v of the geometry carries the data of old vertex old.
void ExpectVertexFrom(const ZNQGeometry& g, int v, int old)
{
    const float f = float(old);
    EXPECT_TRUE(SameFloat3(g._vertPos[v], {f, 10 * f, 100 * f})) << "vertex " << v;
    EXPECT_TRUE(!g._vertMotion || SameFloat3(g._vertMotion[v], {f, -f, 0.5f * f})) << "motion " << v;
    EXPECT_TRUE(!g._vertUser4 || g._vertUser4[v].w == f + 3) << "user4 " << v;
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(!g._vertUser3[i] || g._vertUser3[i][v].x == f + 10 * i) << "user3 " << v;
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(!g._vertUser1[i] || g._vertUser1[i][v] == f + 100 * i) << "user1 " << v;
}

} // namespace

TEST(CleanUp, CleanMeshIsUntouchedAndKeepsDerivedData)
{
    Geo g;
    Build(g, Line(4), {{0, 1, 2}, {0, 2, 3}});
    float3* pos = g->_vertPos;
    ASSERT_EQ(CleanUp(g), ZNQ_OK);
    EXPECT_EQ(g->_vertPos, pos);
    EXPECT_EQ(g->_numPoly, 2);
    EXPECT_EQ(g->_dyn._numPolyIllegal, 0) << "derived counts stay cached";
    EXPECT_EQ(g->_dyn._numVertUnused, 0);
}

TEST(CleanUp, WithoutPositionsNothingHappens)
{
    Geo g;
    EXPECT_EQ(CleanUp(g), ZNQ_OK);
    EXPECT_EQ(DeleteUnusedVertices(g), ZNQ_OK);
    EXPECT_EQ(DeletePolygons(g, nullptr, 0, true), ZNQ_OK);
}

TEST(CleanUp, OutOfRangeTriangleGoesWithItsNodesAndVertices)
{
    // Vertices 0..4; triangle 0 names vertex 7. Vertex 4 is used only by it.
    Geo g;
    Build(g, Line(5), {{1, 4, 7}, {0, 1, 2}, {2, 1, 3}});
    AddNodeData(g);
    AddVertexData(g);
    ASSERT_EQ(CleanUp(g), ZNQ_OK);
    ASSERT_EQ(g->_numPoly, 2);
    EXPECT_EQ(PolysOf(g), (PolyList{{0, 1, 2}, {2, 1, 3}}));
    for (int k = 0; k < 6; ++k)
    {
        EXPECT_EQ(g->_nodeNrm[k].x, float(k + 3)) << "node " << k;
        EXPECT_EQ(g->_nodeUvw[k].y, float(k + 3));
        EXPECT_EQ(g->_nodeCol[k].z, float(k + 3));
    }
    ASSERT_EQ(g->_numVert, 4);
    for (int v = 0; v < 4; ++v)
        ExpectVertexFrom(g, v, v);
}

TEST(CleanUp, ShortAndRepeatingPolygonsGo)
{
    Geo g;
    Build(g, Line(6), {{}, {0}, {0, 1}, {0, 1, 1, 2}, {3, 4, 5}, {2, 3, 4, 2}});
    ASSERT_EQ(CleanUp(g), ZNQ_OK);
    EXPECT_EQ(PolysOf(g), (PolyList{{0, 1, 2}}));
    ASSERT_EQ(g->_numVert, 3);
    for (int v = 0; v < 3; ++v)
        ExpectVertexFrom(g, v, v + 3);
}

TEST(CleanUp, AllIllegalLeavesNothing)
{
    Geo g;
    Build(g, Line(3), {{0, 1}, {0, 0, 1}, {-1, 0, 1}});
    AddNodeData(g);
    ASSERT_EQ(CleanUp(g), ZNQ_OK);
    EXPECT_EQ(g->_numPoly, 0);
    EXPECT_EQ(g->_numVert, 0);
    EXPECT_EQ(g->_nodeNrm, nullptr);
    EXPECT_EQ(g->_nodeCol, nullptr);
}

TEST(CleanUp, UnusedVerticesGoInOrderWithAllTheirData)
{
    // Vertices 0, 2, 5, 7 unused.
    Geo g;
    Build(g, Line(8), {{1, 3, 4}, {4, 3, 6}});
    AddNodeData(g);
    AddVertexData(g);
    ASSERT_EQ(CleanUp(g), ZNQ_OK);
    ASSERT_EQ(g->_numVert, 4);
    const int old[4] = {1, 3, 4, 6};
    for (int v = 0; v < 4; ++v)
        ExpectVertexFrom(g, v, old[v]);
    EXPECT_EQ(PolysOf(g), (PolyList{{0, 1, 2}, {2, 1, 3}}));
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(g->_nodeNrm[k].x, float(k)) << "node data stay with their nodes";
}

TEST(DeletePolygons, KeepListedWithEmptyListDeletesAllPolygonsKeepsVertices)
{
    Geo g;
    Build(g, Line(4), {{0, 1, 2}, {1, 2, 3}});
    AddNodeData(g);
    ASSERT_EQ(DeletePolygons(g, nullptr, 0, true), ZNQ_OK);
    EXPECT_EQ(g->_numPoly, 0);
    EXPECT_EQ(g->_numVert, 4);
    EXPECT_EQ(g->_polyVInd, nullptr);
    EXPECT_EQ(g->_nodeNrm, nullptr);
}

TEST(DeletePolygons, ListSemantics)
{
    Geo g;
    Build(g, Line(5), {{0, 1, 2}, {1, 2, 3}, {2, 3, 4}, {0, 2, 4}});
    AddNodeData(g);
    // Out-of-range entries are ignored, repeats do no harm.
    const int32_t del[] = {-1, 4, 2, 2, 0, 1000};
    ASSERT_EQ(DeletePolygons(g, del, 6, false), ZNQ_OK);
    EXPECT_EQ(PolysOf(g), (PolyList{{1, 2, 3}, {0, 2, 4}}));
    EXPECT_EQ(g->_nodeUvw[0].y, 3.0f);
    EXPECT_EQ(g->_nodeUvw[5].y, 11.0f);

    const int32_t keep[] = {1, -7, 1};
    ASSERT_EQ(DeletePolygons(g, keep, 3, true), ZNQ_OK);
    EXPECT_EQ(PolysOf(g), (PolyList{{0, 2, 4}}));
    EXPECT_EQ(g->_nodeCol[2].z, 11.0f);
    EXPECT_EQ(g->_numVert, 5) << "vertices are not touched";

    // Nothing listed, not keeping: no change.
    ASSERT_EQ(DeletePolygons(g, keep, 0, false), ZNQ_OK);
    EXPECT_EQ(g->_numPoly, 1);
    EXPECT_EQ(DeletePolygons(g, nullptr, 2, false), 8);
    EXPECT_EQ(g->_numPoly, 1);
}

TEST(CleanUp, RefusedAllocationsLeaveTheGeometryAsItWas)
{
    Geo g;
    Build(g, Line(6), {{0, 1, 2}, {0, 0, 1}, {2, 3, 4}});
    AddNodeData(g);
    AddVertexData(g);
    const PolyList before = PolysOf(g);
    const float3* pos = g->_vertPos;
    const int64_t used = g->_memUsed;

    // Room for the marks only: the new polygon arrays are refused.
    g->_memLimitOn = 1;
    g->_memLimit = used + 64;
    const int32_t del[] = {1};
    EXPECT_EQ(DeletePolygons(g, del, 1, false), ZNQ_ERR_MEMORY);
    EXPECT_EQ(PolysOf(g), before);
    EXPECT_EQ(g->_nodeNrm[4].x, 4.0f);
    EXPECT_EQ(g->_memUsed, used);

    // Without room at all, the whole clean-up fails and changes nothing.
    g->_memLimit = used;
    EXPECT_NE(CleanUp(g), ZNQ_OK);
    EXPECT_EQ(PolysOf(g), before);
    EXPECT_EQ(g->_vertPos, pos);
    EXPECT_EQ(g->_numVert, 6);
    EXPECT_EQ(g->_memUsed, used);

    // Polygons legal now; the vertex table fits but the new arrays do not.
    g->_memLimitOn = 0;
    ASSERT_EQ(DeletePolygons(g, del, 1, false), ZNQ_OK);
    const int64_t used2 = g->_memUsed;
    g->_memLimitOn = 1;
    g->_memLimit = used2 + 64;
    EXPECT_EQ(DeleteUnusedVertices(g), ZNQ_ERR_MEMORY);
    EXPECT_EQ(g->_numVert, 6);
    ExpectVertexFrom(g, 5, 5);
    EXPECT_EQ(g->_memUsed, used2);
    g->_memLimitOn = 0;
    ASSERT_EQ(DeleteUnusedVertices(g), ZNQ_OK);
    EXPECT_EQ(g->_numVert, 5);
    ExpectVertexFrom(g, 4, 4);
}

TEST(DeleteUnusedVertices, RefusesIndicesOutOfRange)
{
    Geo g;
    Build(g, Line(4), {{0, 1, 9}});
    EXPECT_EQ(DeleteUnusedVertices(g), ZNQ_ERR_INVALID_STATE);
    EXPECT_EQ(g->_numVert, 4);
    EXPECT_EQ(PolysOf(g), (PolyList{{0, 1, 9}}));
}

TEST(CleanUp, RandomMeshesKeepExactlyTheLegalPolygonsInOrder)
{
    // Odd rounds draw polygons of up to 18 corners: past 16 the illegality
    // check takes another path.
    std::mt19937 rng(1234);
    for (int round = 0; round < 120; ++round)
    {
        const int nv = 1 + int(rng() % 30);
        PolyList polys(rng() % 25);
        for (auto& p : polys)
        {
            p.resize(rng() % (round % 2 ? 19 : 6));
            for (auto& v : p)
                v = int32_t(rng() % (nv + 3)) - 1; // some -1 and some >= nv
        }
        Geo g;
        Build(g, Line(nv), polys);
        AddVertexData(g);
        ASSERT_EQ(CleanUp(g), ZNQ_OK);

        // Reference: legal polygons in order, as position lists.
        PolyList legal;
        for (auto& p : polys)
        {
            bool ok = p.size() >= 3;
            for (size_t i = 0; ok && i < p.size(); ++i)
            {
                ok = p[i] >= 0 && p[i] < nv;
                for (size_t j = 0; ok && j < i; ++j)
                    ok = p[i] != p[j];
            }
            if (ok)
                legal.push_back(p);
        }
        ASSERT_EQ(size_t(g->_numPoly), legal.size());
        std::vector<uint8_t> usedV(size_t(g->_numVert), 0);
        const auto got = PolysOf(g);
        for (size_t p = 0; p < legal.size(); ++p)
        {
            ASSERT_EQ(got[p].size(), legal[p].size());
            for (size_t i = 0; i < got[p].size(); ++i)
            {
                ASSERT_GE(got[p][i], 0);
                ASSERT_LT(got[p][i], g->_numVert);
                usedV[size_t(got[p][i])] = 1;
                // The renumbered vertex carries the old vertex's data.
                EXPECT_EQ(g->_vertPos[got[p][i]].x, float(legal[p][i]));
                EXPECT_EQ(g->_vertUser1[3][got[p][i]], float(legal[p][i] + 300));
            }
        }
        for (uint8_t u : usedV)
            EXPECT_TRUE(u) << "no unused vertex remains";
        // Remaining vertices keep their order.
        for (int v = 1; v < g->_numVert; ++v)
            EXPECT_LT(g->_vertPos[v - 1].x, g->_vertPos[v].x);
        g->_DynRelease(kDynAll);
        EXPECT_EQ(g->_DynGetNumPolyIllegal(), 0) << "round " << round;
        EXPECT_EQ(g->_DynGetNumVertUnused(), 0) << "round " << round;
    }
}

TEST(CleanUp, QuickCheckLeavesOnlyCleanMeshesAlone)
{
    // A quad repeating its first index at its last corner, a legal polygon of
    // 17 corners, and a mesh whose only flaw is one unused vertex: each must
    // still be cleaned.
    {
        Geo g;
        Build(g, Line(5), {{0, 1, 2}, {1, 2, 3, 1}, {2, 3, 4}});
        ASSERT_EQ(CleanUp(g), ZNQ_OK);
        EXPECT_EQ(PolysOf(g), (PolyList{{0, 1, 2}, {2, 3, 4}}));
    }
    {
        Geo g;
        std::vector<int32_t> big;
        for (int32_t v = 0; v < 17; ++v)
            big.push_back(v);
        Build(g, Line(17), {big});
        ASSERT_EQ(CleanUp(g), ZNQ_OK);
        EXPECT_EQ(PolysOf(g), (PolyList{big}));
        EXPECT_EQ(g->_dyn._numPolyIllegal, 0);
    }
    {
        Geo g;
        Build(g, Line(5), {{0, 1, 2}, {0, 2, 4}});
        ASSERT_EQ(CleanUp(g), ZNQ_OK);
        EXPECT_EQ(g->_numVert, 4);
        EXPECT_EQ(PolysOf(g), (PolyList{{0, 1, 2}, {0, 2, 3}}));
    }
}
