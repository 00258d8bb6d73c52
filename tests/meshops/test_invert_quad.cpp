// InvertPolygons and Quadrangulate.
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

const float kH = std::sqrt(3.0f) * 0.5f;

} // namespace

TEST(InvertPolygons, ReversesCornersAndNodeData)
{
    Geo geo;
    Build(geo.g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}},
          {{0, 1, 4}, {0, 1, 2, 3}});
    AddNodeData(geo.g);
    geo->_nodeNrm[0] = float3{0.0f, -0.0f, 1.0f};
    std::vector<float3> uvw(geo->_nodeUvw, geo->_nodeUvw + 7);
    std::vector<float3> nrm(geo->_nodeNrm, geo->_nodeNrm + 7);
    geo->InvertPolygons(true);
    EXPECT_EQ(PolysOf(geo.g), (Polys{{4, 1, 0}, {3, 2, 1, 0}}));
    const int from[7] = {2, 1, 0, 6, 5, 4, 3};
    for (int k = 0; k < 7; ++k)
    {
        EXPECT_EQ(std::memcmp(&geo->_nodeUvw[k], &uvw[from[k]], 12), 0) << "node " << k;
        EXPECT_EQ(Bits(geo->_nodeNrm[k].x), Bits(nrm[from[k]].x) ^ 0x80000000u) << "node " << k;
        EXPECT_EQ(Bits(geo->_nodeNrm[k].y), Bits(nrm[from[k]].y) ^ 0x80000000u) << "node " << k;
    }
    EXPECT_EQ(Bits(geo->_nodeNrm[2].x), 0x80000000u) << "0.0 becomes -0.0";

    geo->InvertPolygons(false);
    EXPECT_EQ(PolysOf(geo.g), (Polys{{0, 1, 4}, {0, 1, 2, 3}}));
    EXPECT_EQ(Bits(geo->_nodeNrm[0].x), 0x80000000u) << "normals kept without negateNormals";
}

TEST(InvertPolygons, TwiceIsTheIdentity)
{
    std::mt19937 rng(5);
    for (int round = 0; round < 10; ++round)
    {
        std::vector<float3> pos(40, float3{0, 0, 0});
        Polys polys;
        for (int p = 0; p < 30; ++p)
        {
            std::vector<int32_t> poly(3 + rng() % 6);
            for (auto& v : poly)
                v = static_cast<int32_t>(rng() % 40);
            polys.push_back(poly);
        }
        polys.push_back({});
        Geo geo;
        Build(geo.g, pos, polys);
        AddVertexData(geo.g);
        AddNodeData(geo.g);
        const Snapshot before(geo.g);
        geo->InvertPolygons(true);
        EXPECT_FALSE(Snapshot(geo.g) == before);
        geo->InvertPolygons(true);
        EXPECT_TRUE(Snapshot(geo.g) == before) << "round " << round;
    }
}

TEST(InvertPolygons, DerivedNormalsFollowTheWinding)
{
    Geo geo;
    Build(geo.g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}});
    const float3* vn = geo->_DynGetVertNrm();
    ASSERT_NE(vn, nullptr);
    EXPECT_EQ(vn[0].z, 1.0f);
    geo->InvertPolygons(true);
    EXPECT_EQ(geo->_dyn._vertNrm, nullptr) << "released";
    vn = geo->_DynGetVertNrm();
    ASSERT_NE(vn, nullptr);
    EXPECT_EQ(vn[0].z, -1.0f);

    Geo empty;
    empty->InvertPolygons(true); // no mesh: nothing happens
    EXPECT_EQ(empty->_polyVInd, nullptr);
}

TEST(Quadrangulate, UnitSquareFromTwoTriangles)
{
    Geo geo;
    Build(geo.g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}});
    AddNodeData(geo.g);
    std::vector<float3> uvw(geo->_nodeUvw, geo->_nodeUvw + 6);
    ASSERT_EQ(geo->Quadrangulate(30.0f, 45.0f), 0);
    // R = (0,1,2), S = (0,2,3): edge a = 2 -> b = 0 in R, r = 1, s = 3.
    EXPECT_EQ(PolysOf(geo.g), (Polys{{0, 1, 2, 3}}));
    // Nodes: R's at b (node 0), r (node 1), a (node 2), S's at s (node 5).
    const int from[4] = {0, 1, 2, 5};
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(std::memcmp(&geo->_nodeUvw[k], &uvw[from[k]], 12), 0) << "node " << k;
    EXPECT_EQ(geo->_dyn._numPolyTris, -1) << "derived data released";
}

TEST(Quadrangulate, PilesOfCopiesMergeCopyWithCopy)
{
    // Three copies of each half of the unit square (a non-manifold diagonal).
    // Copies are tested once per shape, with the same outcome as testing every
    // pair: the first pass merges copy a with a (at vertex 0) and b with b (at
    // vertex 2), the second pass c with c.
    Geo geo;
    Build(geo.g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}},
          {{0, 1, 2}, {0, 1, 2}, {0, 1, 2}, {0, 2, 3}, {0, 2, 3}, {0, 2, 3}});
    AddNodeData(geo.g);
    std::vector<float3> uvw(geo->_nodeUvw, geo->_nodeUvw + 18);
    ASSERT_EQ(geo->Quadrangulate(30.0f, 45.0f), 0);
    EXPECT_EQ(PolysOf(geo.g), (Polys{{0, 1, 2, 3}, {0, 1, 2, 3}, {0, 1, 2, 3}}));
    const int from[12] = {0, 1, 2, 11, 3, 4, 5, 14, 6, 7, 8, 17};
    for (int k = 0; k < 12; ++k)
        EXPECT_EQ(std::memcmp(&geo->_nodeUvw[k], &uvw[from[k]], 12), 0) << "node " << k;
}

TEST(Quadrangulate, PartnerFoundAtACrowdedVertex)
{
    // Vertex 0 is in 40 thin wedges (a partial fan that never merges) and then
    // in the two halves of the unit square below it: many triangles at one
    // vertex are searched by shared neighbour, with the same outcome.
    std::vector<float3> pos = {{0, 0, 0}, {1, 0, 0}, {1, -1, 0}, {0, -1, 0}};
    std::vector<std::vector<int32_t>> polys;
    for (int i = 0; i <= 40; ++i)
    {
        const float a = 0.02f * static_cast<float>(i);
        pos.push_back({std::cos(a), std::sin(a) + 0.5f, 0});
    }
    for (int32_t i = 0; i < 40; ++i)
        polys.push_back({0, 4 + i, 5 + i});
    polys.push_back({0, 3, 2});
    polys.push_back({0, 2, 1});
    Geo geo;
    Build(geo.g, pos, polys);
    ASSERT_EQ(geo->Quadrangulate(30.0f, 45.0f), 0);
    Polys expected(polys.begin(), polys.begin() + 40);
    expected.push_back({0, 3, 2, 1});
    EXPECT_EQ(PolysOf(geo.g), expected);
}

TEST(Quadrangulate, FoldedPairs)
{
    // The square folded along its diagonal 0-2 by angle t.
    for (float deg : {20.0f, 40.0f})
    {
        const float t = deg * 0.017453292f;
        // Fold vertex 3 about the diagonal through 0 and 2.
        const float3 axis{std::sqrt(0.5f), std::sqrt(0.5f), 0};
        const float3 d{-0.5f, 0.5f, 0}; // from the diagonal's midpoint to vertex 3
        const float3 m{0.5f, 0.5f, 0};
        const float3 c{axis.y * d.z - axis.z * d.y, axis.z * d.x - axis.x * d.z, axis.x * d.y - axis.y * d.x};
        const float3 p3{m.x + d.x * std::cos(t) + c.x * std::sin(t), m.y + d.y * std::cos(t) + c.y * std::sin(t),
                        m.z + d.z * std::cos(t) + c.z * std::sin(t)};
        Geo geo;
        Build(geo.g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, p3}, {{0, 1, 2}, {0, 2, 3}});
        ASSERT_EQ(geo->Quadrangulate(30.0f, 45.0f), 0);
        EXPECT_EQ(geo->_numPoly, deg < 30.0f ? 1 : 2) << deg << " degrees";
    }
}

TEST(Quadrangulate, RhombusOnlyInTheSecondPass)
{
    // Polygons 0, 1: a rhombus of two equilateral triangles (corners 60 and
    // 120 degrees). Polygons 2, 3: a unit square, away from the rhombus. The
    // square merges in the first pass, the rhombus only in the second, so its
    // quad comes last although its triangles come first.
    std::vector<float3> pos = {{0, 0, 0}, {1, 0, 0}, {1.5f, kH, 0}, {0.5f, kH, 0},
                               {5, 0, 0}, {6, 0, 0}, {6, 1, 0},     {5, 1, 0}};
    Geo geo;
    Build(geo.g, pos, {{0, 1, 3}, {1, 2, 3}, {4, 5, 6}, {4, 6, 7}});
    ASSERT_EQ(geo->Quadrangulate(30.0f, 45.0f), 0);
    const Polys polys = PolysOf(geo.g);
    ASSERT_EQ(polys.size(), 2u);
    EXPECT_EQ(polys[0], (std::vector<int32_t>{4, 5, 6, 7}));
    // Rhombus: R = (0,1,3), S = (1,2,3); the pair is found at vertex 1 where
    // R runs 1 -> 3 and S runs 3 -> 1: a = 1, b = 3, r = 0, s = 2.
    EXPECT_EQ(polys[1], (std::vector<int32_t>{3, 0, 1, 2}));

    // A tolerance below 30 degrees never merges the rhombus.
    Geo strict;
    Build(strict.g, pos, {{0, 1, 3}, {1, 2, 3}, {4, 5, 6}, {4, 6, 7}});
    ASSERT_EQ(strict->Quadrangulate(30.0f, 29.0f), 0);
    EXPECT_EQ(strict->_numPoly, 3);
}

TEST(Quadrangulate, OppositeWindingNeverMerges)
{
    Geo geo;
    Build(geo.g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 3, 2}});
    const Snapshot before(geo.g);
    ASSERT_EQ(geo->Quadrangulate(180.0f, 90.0f), 0);
    EXPECT_TRUE(Snapshot(geo.g) == before);
}

TEST(Quadrangulate, NothingToDoKeepsDerivedData)
{
    Geo one;
    Build(one.g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 1, 2, 3}});
    ASSERT_NE(one->_DynGetVertAdjVertNum(), nullptr);
    const Snapshot before(one.g);
    ASSERT_EQ(one->Quadrangulate(30.0f, 45.0f), 0);
    EXPECT_TRUE(Snapshot(one.g) == before);
    EXPECT_NE(one->_dyn._vertAdjVertNum, nullptr);

    Geo single;
    Build(single.g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{0, 1, 2}});
    ASSERT_EQ(single->Quadrangulate(30.0f, 45.0f), 0);
    EXPECT_EQ(single->_numPoly, 1);

    // Two triangles without a shared vertex, and a negative normal angle.
    Geo apart;
    Build(apart.g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {5, 0, 0}, {6, 0, 0}, {6, 1, 0}}, {{0, 1, 2}, {3, 4, 5}});
    ASSERT_NE(apart->_DynGetVertAdjVertNum(), nullptr);
    ASSERT_EQ(apart->Quadrangulate(30.0f, 45.0f), 0);
    EXPECT_NE(apart->_dyn._vertAdjVertNum, nullptr);
    Geo square;
    Build(square.g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}});
    ASSERT_EQ(square->Quadrangulate(-1.0f, 45.0f), 0);
    ASSERT_EQ(square->Quadrangulate(std::nanf(""), 45.0f), 0);
    ASSERT_EQ(square->Quadrangulate(30.0f, std::nanf("")), 0);
    EXPECT_EQ(square->_numPoly, 2);
}

TEST(Quadrangulate, IllegalTrianglesAreKept)
{
    // A square pair plus a triangle with an out-of-range and one with a
    // repeated index: both stay, only the square merges.
    Geo geo;
    Build(geo.g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {-3, 1, 2}, {0, 2, 3}, {2, 2, 3}});
    ASSERT_EQ(geo->Quadrangulate(30.0f, 45.0f), 0);
    EXPECT_EQ(PolysOf(geo.g), (Polys{{-3, 1, 2}, {2, 2, 3}, {0, 1, 2, 3}}));
}

TEST(Quadrangulate, MemoryRefusalsLeavePolygonsUnchanged)
{
    MemorySweep(
        [](ZNQGeometry& g) {
            std::vector<float3> pos;
            GridVerts(3, 2, pos);
            Polys polys;
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 3; ++x)
                    CellTris(3, x, y, polys);
            Build(g, pos, polys);
            AddNodeData(g);
        },
        [](ZNQGeometry& g) { return g.Quadrangulate(30.0f, 45.0f); });
}

TEST(Quadrangulate, RandomGridsBecomeCellQuads)
{
    // Jittered grids: every merge joins a cell's two triangles along its
    // diagonal; joins across cell sides leave a straight corner and fail.
    std::mt19937 rng(77);
    std::uniform_real_distribution<float> jitter(-0.05f, 0.05f);
    for (int round = 0; round < 10; ++round)
    {
        const int nx = 9, ny = 7;
        std::vector<float3> pos;
        GridVerts(nx, ny, pos);
        for (auto& p : pos)
        {
            p.x += jitter(rng);
            p.y += jitter(rng);
            p.z += jitter(rng);
        }
        Polys polys;
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x)
                CellTris(nx, x, y, polys);
        Geo geo;
        Build(geo.g, pos, polys);
        AddNodeData(geo.g);
        ASSERT_EQ(geo->Quadrangulate(30.0f, 45.0f), 0);
        EXPECT_EQ(geo->_numPoly, nx * ny) << "round " << round;
        EXPECT_EQ(geo->NumNodes(), 4 * nx * ny);
        // Each quad is one cell, wound like the triangles.
        for (const auto& q : PolysOf(geo.g))
        {
            ASSERT_EQ(q.size(), 4u);
            float area2 = 0.0f;
            for (int i = 0; i < 4; ++i)
            {
                const float3& a = pos[q[i]];
                const float3& b = pos[q[(i + 1) % 4]];
                area2 += a.x * b.y - a.y * b.x;
            }
            EXPECT_GT(area2, 1.6f);
        }
        EXPECT_TRUE(CensusOf(geo.g).size() == static_cast<size_t>(nx * (ny + 1) + ny * (nx + 1)));
    }
}
