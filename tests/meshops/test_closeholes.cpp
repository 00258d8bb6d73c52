// Close holes: walks, orientation, limits and node data of the new polygons.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <set>
#include <vector>

#include "errors/ZNQError.h"
#include "mesh_util.h"

using namespace kmesh;

namespace
{

// Open cylinder of n quads around the z axis, rings at z = 0 and z = 1.
void Cylinder(ZNQGeometry& g, int n)
{
    std::vector<float3> pos;
    Polys polys;
    for (int ring = 0; ring < 2; ++ring)
        for (int i = 0; i < n; ++i)
        {
            const float a = 6.2831853f * static_cast<float>(i) / static_cast<float>(n);
            pos.push_back(float3{std::cos(a), std::sin(a), static_cast<float>(ring)});
        }
    for (int i = 0; i < n; ++i)
    {
        const int32_t j = (i + 1) % n;
        polys.push_back({i, j, n + j, n + i});
    }
    Build(g, pos, polys);
}

} // namespace

TEST(CloseHoles, SingleQuadGetsItsReverse)
{
    Geo geo;
    Build(geo.g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}});
    ASSERT_EQ(geo->CloseHoles(-1.0f, 255), 0);
    EXPECT_EQ(PolysOf(geo.g), (Polys{{0, 1, 2, 3}, {1, 0, 3, 2}}));
    EXPECT_TRUE(IsClosedAndOriented(geo.g));
    EXPECT_EQ(geo->_dyn._edges, nullptr) << "derived data released";
}

TEST(CloseHoles, OpenCylinderGetsTwoCaps)
{
    Geo geo;
    Cylinder(geo.g, 7);
    ASSERT_EQ(geo->CloseHoles(-1.0f, 255), 0);
    ASSERT_EQ(geo->_numPoly, 9);
    EXPECT_EQ(geo->_polyNumVert[7], 7);
    EXPECT_EQ(geo->_polyNumVert[8], 7);
    EXPECT_TRUE(IsClosedAndOriented(geo.g));
    // Each cap lies on one rim.
    const Polys polys = PolysOf(geo.g);
    std::set<int32_t> a(polys[7].begin(), polys[7].end()), b(polys[8].begin(), polys[8].end());
    EXPECT_TRUE((*a.begin() == 0 && *b.begin() == 7) || (*a.begin() == 7 && *b.begin() == 0));
}

TEST(CloseHoles, HolesMeetingAtAVertexStayOpen)
{
    // Two quads touching at vertex 2 only: vertex 2 has four open edges, and
    // whichever edge a walk starts from, neither hole closes through it. A
    // separate quad (7..10) is closed as usual.
    Geo geo;
    Build(geo.g,
          {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 1, 0}, {2, 2, 0}, {1, 2, 0},
           {5, 0, 0}, {6, 0, 0}, {6, 1, 0}, {5, 1, 0}},
          {{0, 1, 2, 3}, {2, 4, 5, 6}, {7, 8, 9, 10}});
    ASSERT_EQ(geo->CloseHoles(-1.0f, 255), 0);
    EXPECT_EQ(PolysOf(geo.g), (Polys{{0, 1, 2, 3}, {2, 4, 5, 6}, {7, 8, 9, 10}, {8, 7, 10, 9}}));
}

TEST(CloseHoles, VertexLimit)
{
    for (int n : {255, 256})
    {
        Geo geo;
        Cylinder(geo.g, n);
        ASSERT_EQ(geo->CloseHoles(-1.0f, 255), 0);
        EXPECT_EQ(geo->_numPoly, n == 255 ? n + 2 : n) << "rim of " << n;
    }
    Geo small;
    Cylinder(small.g, 5);
    const Snapshot before(small.g);
    ASSERT_EQ(small->CloseHoles(-1.0f, 4), 0);
    EXPECT_TRUE(Snapshot(small.g) == before);
    ASSERT_EQ(small->CloseHoles(-1.0f, 2), 0);
    ASSERT_EQ(small->CloseHoles(0.0f, 255), 0);
    EXPECT_TRUE(Snapshot(small.g) == before);
    ASSERT_EQ(small->CloseHoles(-1.0f, 5), 0);
    EXPECT_EQ(small->_numPoly, 7);
}

TEST(CloseHoles, SizeLimit)
{
    // The quad's hole spans 2.0 along y: closed only without a limit or
    // with a larger one.
    for (const auto& [limit, polys] : {std::pair<float, int32_t>{1.0f, 1}, {2.5f, 2}, {-1.0f, 2}})
    {
        Geo geo;
        Build(geo.g, {{0, 0, 0}, {1, 0, 0}, {1, 2, 0}, {0, 2, 0}}, {{0, 1, 2, 3}});
        ASSERT_EQ(geo->CloseHoles(limit, 255), 0);
        EXPECT_EQ(geo->_numPoly, polys) << "limit " << limit;
    }
}

TEST(CloseHoles, NewNodesCarryVertexValues)
{
    // Two quads sharing edge 1-4: vertices 1 and 4 have two nodes each.
    Geo geo;
    Build(geo.g, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 1, 0}},
          {{0, 1, 4, 3}, {1, 2, 5, 4}});
    AddNodeData(geo.g);
    // Means of the node data per vertex (checked by the geometry tests).
    geo->_DynRelease(kDynAll);
    const std::vector<float3> nMean(geo->_DynGetVertNrm(), geo->_DynGetVertNrm() + 6);
    const std::vector<float3> uMean(geo->_DynGetVertUvw(), geo->_DynGetVertUvw() + 6);
    const std::vector<float4> cMean(geo->_DynGetVertCol(), geo->_DynGetVertCol() + 6);
    const std::vector<uint8_t> oldUvw = ArrayBytes(geo->_nodeUvw, 8);
    ASSERT_EQ(geo->CloseHoles(-1.0f, 255), 0);
    ASSERT_EQ(geo->_numPoly, 3);
    ASSERT_EQ(geo->_polyNumVert[2], 6);
    EXPECT_EQ(ArrayBytes(geo->_nodeUvw, 8), oldUvw) << "old nodes keep their data";
    const Polys after = PolysOf(geo.g);
    for (int j = 0; j < 6; ++j)
    {
        const int32_t v = after[2][j];
        EXPECT_TRUE(Near(geo->_nodeUvw[8 + j], uMean[v])) << "vertex " << v;
        EXPECT_TRUE(Near(geo->_nodeNrm[8 + j], nMean[v])) << "vertex " << v;
        EXPECT_NEAR(geo->_nodeCol[8 + j].x, cMean[v].x, 1e-6f) << "vertex " << v;
        EXPECT_NEAR(geo->_nodeCol[8 + j].y, cMean[v].y, 1e-6f) << "vertex " << v;
    }
    EXPECT_TRUE(IsClosedAndOriented(geo.g));
}

TEST(CloseHoles, ClosedMeshKeepsDerivedData)
{
    // Tetrahedron: no boundary edge.
    Geo geo;
    Build(geo.g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {0, 3, 2}});
    ASSERT_TRUE(IsClosedAndOriented(geo.g));
    const Snapshot before(geo.g);
    ASSERT_EQ(geo->CloseHoles(-1.0f, 255), 0);
    EXPECT_TRUE(Snapshot(geo.g) == before);
    EXPECT_NE(geo->_dyn._edgeAdjPolyNum, nullptr);
}

TEST(CloseHoles, MemoryRefusalsLeavePolygonsUnchanged)
{
    MemorySweep(
        [](ZNQGeometry& g) {
            Cylinder(g, 6);
            AddNodeData(g);
        },
        [](ZNQGeometry& g) { return g.CloseHoles(-1.0f, 255); });
}

TEST(CloseHoles, RandomRectangularHolesAllClose)
{
    // Grids with separated rectangular holes: every hole and the outer rim is
    // a simple loop, so afterwards every edge has two opposite polygons.
    std::mt19937 rng(99);
    for (int round = 0; round < 25; ++round)
    {
        const int nx = 18, ny = 14;
        std::vector<bool> hole(static_cast<size_t>(nx * ny), false);
        std::vector<bool> blocked(static_cast<size_t>(nx * ny), false);
        int holes = 0;
        for (int tries = 0; tries < 40; ++tries)
        {
            const int w = 1 + static_cast<int>(rng() % 3), h = 1 + static_cast<int>(rng() % 3);
            const int x0 = 1 + static_cast<int>(rng() % static_cast<unsigned>(nx - w - 1));
            const int y0 = 1 + static_cast<int>(rng() % static_cast<unsigned>(ny - h - 1));
            bool free = true;
            for (int y = y0 - 1; y <= y0 + h && free; ++y)
                for (int x = x0 - 1; x <= x0 + w && free; ++x)
                    free = !blocked[static_cast<size_t>(y * nx + x)];
            if (!free)
                continue;
            for (int y = y0 - 1; y <= y0 + h; ++y)
                for (int x = x0 - 1; x <= x0 + w; ++x)
                    blocked[static_cast<size_t>(y * nx + x)] = true;
            for (int y = y0; y < y0 + h; ++y)
                for (int x = x0; x < x0 + w; ++x)
                    hole[static_cast<size_t>(y * nx + x)] = true;
            ++holes;
        }
        std::vector<float3> pos;
        GridVerts(nx, ny, pos);
        Polys polys;
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x)
                if (!hole[static_cast<size_t>(y * nx + x)])
                    CellTris(nx, x, y, polys);
        Geo geo;
        Build(geo.g, pos, polys);
        ASSERT_EQ(geo->CloseHoles(-1.0f, 255), 0);
        EXPECT_EQ(geo->_numPoly, static_cast<int32_t>(polys.size()) + holes + 1) << "round " << round;
        EXPECT_TRUE(IsClosedAndOriented(geo.g)) << "round " << round;
    }
}
