// Edge repair: splitting non-manifold and double edges.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "errors/ZNQError.h"
#include "mesh_util.h"

using namespace kmesh;

namespace
{

// Vertices 0 (origin) and 1 (x = 2) form the shared edge; 2.. are apexes.
std::vector<float3> FinPositions(int apexes)
{
    std::vector<float3> pos = {{0, 0, 0}, {2, 0, 0}};
    for (int i = 0; i < apexes; ++i)
    {
        const float a = 1.0f + static_cast<float>(i);
        pos.push_back(float3{1.0f, std::cos(a), std::sin(a)});
    }
    return pos;
}

} // namespace

TEST(FixEdges, ThreePolygonsOnOneEdge)
{
    // P0 and P2 run 0 -> 1, P1 runs 1 -> 0: P0 pairs with P1, P2 is alone.
    Geo geo;
    Build(geo.g, FinPositions(3), {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}});
    ASSERT_EQ(geo->FixEdges(true, false), 0);
    EXPECT_EQ(geo->_numVert, 7);
    EXPECT_EQ(PolysOf(geo.g), (Polys{{0, 5, 1, 2}, {1, 5, 0, 3}, {0, 6, 1, 4}}));
    for (int v : {5, 6})
        EXPECT_TRUE(Same(geo->_vertPos[v], {1, 0, 0})) << v;
    for (const auto& kv : CensusOf(geo.g))
        EXPECT_LE(kv.second.size(), 2u);
}

TEST(FixEdges, TwoOrientedPairsShareTwoVertices)
{
    Geo geo;
    Build(geo.g, FinPositions(4), {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}, {1, 0, 5}});
    ASSERT_EQ(geo->FixEdges(true, true), 0);
    EXPECT_EQ(geo->_numVert, 8);
    EXPECT_EQ(PolysOf(geo.g), (Polys{{0, 6, 1, 2}, {1, 6, 0, 3}, {0, 7, 1, 4}, {1, 7, 0, 5}}));
    EXPECT_TRUE(CensusOf(geo.g).at({0, 6}) == (std::vector<int>{1, -1}));
}

TEST(FixEdges, SameDirectionPairIsSeparated)
{
    Geo geo;
    Build(geo.g, FinPositions(2), {{0, 1, 2}, {0, 1, 3}});
    {
        const Snapshot before(geo.g);
        ASSERT_NE(geo->_DynGetEdges(), nullptr);
        ASSERT_EQ(geo->FixEdges(true, false), 0) << "not a non-manifold edge";
        EXPECT_TRUE(Snapshot(geo.g) == before);
        EXPECT_NE(geo->_dyn._edges, nullptr) << "nothing to fix keeps derived data";
    }
    ASSERT_EQ(geo->FixEdges(false, true), 0);
    EXPECT_EQ(geo->_numVert, 6);
    EXPECT_EQ(PolysOf(geo.g), (Polys{{0, 4, 1, 2}, {0, 5, 1, 3}}));
    EXPECT_EQ(geo->_dyn._edges, nullptr) << "derived data released";
    for (const auto& kv : CensusOf(geo.g))
        EXPECT_EQ(kv.second.size(), 1u);
}

TEST(FixEdges, NonManifoldBeforeDoubleAndNumbering)
{
    // Edge (0,1) is double, edge (2,3) non-manifold; the non-manifold one is
    // fixed first, so its vertices get the lower new numbers.
    std::vector<float3> pos = {{0, 0, 0}, {1, 0, 0}, {0, 2, 0}, {1, 2, 0}, {0, -1, 0}, {0, -2, 0},
                               {0, 3, 0}, {0, 4, 0}, {0, 5, 0}};
    Geo geo;
    Build(geo.g, pos, {{0, 1, 4}, {0, 1, 5}, {2, 3, 6}, {3, 2, 7}, {2, 3, 8}});
    ASSERT_EQ(geo->FixEdges(true, true), 0);
    EXPECT_EQ(geo->_numVert, 13);
    EXPECT_EQ(PolysOf(geo.g), (Polys{{0, 11, 1, 4}, {0, 12, 1, 5}, {2, 9, 3, 6}, {3, 9, 2, 7}, {2, 10, 3, 8}}));
    EXPECT_EQ(geo->_vertPos[11].x, 0.5f);
    EXPECT_EQ(geo->_vertPos[9].y, 2.0f);
}

TEST(FixEdges, NewVerticesAndNodesInterpolate)
{
    Geo geo;
    Build(geo.g, FinPositions(2), {{0, 1, 2}, {0, 1, 3}});
    AddVertexData(geo.g);
    AddNodeData(geo.g);
    const Snapshot before(geo.g);
    std::vector<float3> nrm(geo->_nodeNrm, geo->_nodeNrm + 6);
    std::vector<float3> uvw(geo->_nodeUvw, geo->_nodeUvw + 6);
    std::vector<float4> col(geo->_nodeCol, geo->_nodeCol + 6);
    ASSERT_EQ(geo->FixEdges(false, true), 0);
    ASSERT_EQ(geo->_numVert, 6);
    // Vertex 4 and 5 sit between 0 and 1: exact midpoints of every channel.
    for (int v : {4, 5})
    {
        EXPECT_TRUE(Same(geo->_vertMotion[v], {0.5f, 1.0f, 1.5f}));
        EXPECT_TRUE(Same(geo->_vertUser4[v], {0.75f, 1.0f, 1.25f, 1.5f}));
        EXPECT_TRUE(Same(geo->_vertUser3[0][v], {10.5f, -0.5f, 0.5f}));
        EXPECT_TRUE(Same(geo->_vertUser3[1][v], {20.5f, -0.5f, 0.5f}));
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(geo->_vertUser1[c][v], (float(c) + (0.1f + float(c))) * 0.5f) << c;
    }
    // Old vertices keep their values.
    EXPECT_EQ(std::memcmp(geo->_vertMotion, before.arrays[1].data(), 4 * 12), 0);
    // Polygon 0 is (0, 4, 1, 2): node 1 is new, between old nodes 0 and 1.
    ASSERT_EQ(geo->NumNodes(), 8);
    auto expectNode = [&](int dst, int a, int b) {
        float3 m{(nrm[a].x + nrm[b].x) * 0.5f, (nrm[a].y + nrm[b].y) * 0.5f, (nrm[a].z + nrm[b].z) * 0.5f};
        const float len = std::sqrt(m.x * m.x + m.y * m.y + m.z * m.z);
        EXPECT_FLOAT_EQ(geo->_nodeNrm[dst].x, m.x / len);
        EXPECT_FLOAT_EQ(geo->_nodeNrm[dst].z, m.z / len);
        const float3& n = geo->_nodeNrm[dst];
        EXPECT_NEAR(n.x * n.x + n.y * n.y + n.z * n.z, 1.0f, 1e-6f);
        EXPECT_EQ(geo->_nodeUvw[dst].x, (uvw[a].x + uvw[b].x) * 0.5f);
        EXPECT_EQ(geo->_nodeUvw[dst].z, (uvw[a].z + uvw[b].z) * 0.5f);
        EXPECT_EQ(geo->_nodeCol[dst].x, (col[a].x + col[b].x) * 0.5f);
        EXPECT_EQ(geo->_nodeCol[dst].y, (col[a].y + col[b].y) * 0.5f);
    };
    expectNode(1, 0, 1);
    expectNode(5, 3, 4);
    // Copied nodes keep their data.
    EXPECT_EQ(std::memcmp(&geo->_nodeUvw[0], &uvw[0], 12), 0);
    EXPECT_EQ(std::memcmp(&geo->_nodeUvw[2], &uvw[1], 12), 0);
    EXPECT_EQ(std::memcmp(&geo->_nodeUvw[7], &uvw[5], 12), 0);
}

TEST(FixEdges, CleanMeshOrNoFlagIsUntouched)
{
    Geo geo;
    Build(geo.g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}});
    const Snapshot before(geo.g);
    ASSERT_NE(geo->_DynGetEdgeAdjPolyNum(), nullptr);
    EXPECT_EQ(geo->FixEdges(true, true), 0);
    EXPECT_EQ(geo->FixEdges(false, false), 0);
    EXPECT_TRUE(Snapshot(geo.g) == before);
    EXPECT_NE(geo->_dyn._edgeAdjPolyNum, nullptr);
}

TEST(FixEdges, PolygonPast255CornersIsRefused)
{
    // A 255-gon and a triangle running along its edge 0 -> 1 the same way.
    std::vector<float3> pos;
    std::vector<int32_t> big;
    for (int i = 0; i < 255; ++i)
    {
        const float a = 6.2831853f * static_cast<float>(i) / 255.0f;
        pos.push_back(float3{std::cos(a), std::sin(a), 0});
        big.push_back(i);
    }
    pos.push_back(float3{0, 0, 1});
    Geo geo;
    Build(geo.g, pos, {big, {0, 1, 255}});
    const Snapshot before(geo.g);
    EXPECT_EQ(geo->FixEdges(true, true), ZNQ_ERR_POLYGON_TOO_LARGE);
    EXPECT_TRUE(Snapshot(geo.g) == before);
}

TEST(FixEdges, PileOfEqualPolygonsSplitsEveryCopy)
{
    // 255 copies of one 100-gon, all running the same way: every edge is
    // non-manifold with 255 polygons and no two of them pair, so each copy
    // gets its own new vertex on each of its edges. (A hostile pile like
    // this once cost seconds: every polygon's start node was looked up again
    // for every earlier one.)
    const int corners = 100, copies = 255;
    std::vector<float3> pos;
    std::vector<int32_t> ring;
    for (int i = 0; i < corners; ++i)
    {
        const float a = 6.2831853f * static_cast<float>(i) / static_cast<float>(corners);
        pos.push_back(float3{std::cos(a), std::sin(a), 0});
        ring.push_back(i);
    }
    Geo geo;
    Build(geo.g, pos, Polys(copies, ring));
    ASSERT_EQ(geo->FixEdges(true, true), 0);
    EXPECT_EQ(geo->_numVert, corners + corners * copies);
    ASSERT_EQ(geo->_numPoly, copies);
    for (int p = 0; p < copies; ++p)
        EXPECT_EQ(geo->_polyNumVert[p], 2 * corners) << p;
    for (const auto& kv : CensusOf(geo.g))
        EXPECT_EQ(kv.second.size(), 1u);
}

TEST(FixEdges, MemoryRefusalsLeaveMeshUnchanged)
{
    MemorySweep(
        [](ZNQGeometry& g) {
            Build(g, FinPositions(4), {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}, {0, 1, 5}});
            AddVertexData(g);
            AddNodeData(g);
        },
        [](ZNQGeometry& g) { return g.FixEdges(true, true); });
}

TEST(FixEdges, RandomDuplicatesEndManifoldAndOriented)
{
    std::mt19937 rng(1234);
    for (int round = 0; round < 20; ++round)
    {
        const int nx = 6, ny = 5;
        std::vector<float3> pos;
        GridVerts(nx, ny, pos);
        Polys polys;
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x)
                CellTris(nx, x, y, polys);
        // Copies of random triangles, some flipped, some twice.
        const size_t base = polys.size();
        for (int i = 0; i < 12; ++i)
        {
            std::vector<int32_t> t = polys[rng() % base];
            if (rng() & 1)
                std::swap(t[1], t[2]);
            polys.push_back(t);
        }
        std::shuffle(polys.begin(), polys.end(), rng);
        Geo geo;
        Build(geo.g, pos, polys);
        AddNodeData(geo.g);
        const int64_t nodesBefore = geo->NumNodes();
        ASSERT_EQ(geo->FixEdges(true, true), 0);
        for (const auto& kv : CensusOf(geo.g))
        {
            ASSERT_LE(kv.second.size(), 2u) << "round " << round;
            if (kv.second.size() == 2)
            {
                ASSERT_NE(kv.second[0], kv.second[1]) << "round " << round;
            }
        }
        // Every added node names a new vertex; the polygon count is kept.
        EXPECT_EQ(geo->_numPoly, static_cast<int32_t>(polys.size()));
        int64_t newRefs = 0;
        for (const auto& poly : PolysOf(geo.g))
            for (int32_t v : poly)
                newRefs += v >= static_cast<int32_t>(pos.size());
        EXPECT_EQ(geo->NumNodes() - nodesBefore, newRefs);
        // A second run finds nothing left to fix.
        const Snapshot after(geo.g);
        ASSERT_EQ(geo->FixEdges(true, true), 0);
        EXPECT_TRUE(Snapshot(geo.g) == after);
    }
}
