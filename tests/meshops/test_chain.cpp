// The post-processing chain: which operations run, in which order, and how a
// failing step ends it.
#include <gtest/gtest.h>

#include "errors/ZNQError.h"
#include "geometry/ZNQGeometry.h"
#include "mesh_util.h"
#include "plugin/KorvaneSettings.h"

using namespace kmesh;

namespace
{

NodeSettings Defaults()
{
    NodeSettings s{};
    s.active = true;
    s.motionScale = 1.0f;
    s.triangulate = kTriangulateOff;
    return s;
}

//  Mesh of a convex quad (0), a triangle (1), a convex pentagon (2) and a
//  dart quad (3), all in z = 0, each on its own vertices.
void Mixed(ZNQGeometry& g)
{
    Build(g,
          {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},                    // quad 0..3
           {2, 0, 0}, {3, 0, 0}, {2, 1, 0},                               // triangle 4..6
           {5, 0, 0}, {6, 0, 0}, {6.5f, 1, 0}, {5.5f, 2, 0}, {4.5f, 1, 0}, // pentagon 7..11
           {8, 0, 0}, {10, 1, 0}, {8, 2, 0}, {8.5f, 1, 0}},                // dart 12..15
          {{0, 1, 2, 3}, {4, 5, 6}, {7, 8, 9, 10, 11}, {12, 13, 14, 15}});
    AddVertexData(g);
}

// A unit square split into two triangles, in a 2 x 2 grid: 8 triangles.
void TriangleGrid(ZNQGeometry& g)
{
    std::vector<float3> pos;
    GridVerts(2, 2, pos);
    Polys polys;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            CellTris(2, x, y, polys);
    Build(g, pos, polys);
}

int CountPolys(const ZNQGeometry& g, int corners)
{
    int n = 0;
    for (int32_t p = 0; p < g._numPoly; ++p)
        n += g._polyNumVert[p] == corners;
    return n;
}

} // namespace

TEST(Chain, AllOffScalesMotionsAndSplitsOnlyFivePlus)
{
    Geo g;
    Mixed(g.g);
    Geo in;
    Clone(g.g, in.g);
    NodeSettings s = Defaults();
    s.motionScale = 2.5f;
    ASSERT_EQ(RunPostProcessingChain(g.g, s), 0);
    ASSERT_EQ(g->_numVert, in->_numVert);
    for (int32_t v = 0; v < g->_numVert; ++v)
    {
        EXPECT_FLOAT_EQ(g->_vertMotion[v].y, in->_vertMotion[v].y * 2.5f);
        EXPECT_TRUE(Same(g->_vertPos[v], in->_vertPos[v]));
    }
    EXPECT_EQ(g->_numPoly, 1 + 1 + 3 + 1);
    EXPECT_EQ(Poly(g.g, 0), (std::vector<int32_t>{0, 1, 2, 3}));
    EXPECT_EQ(Poly(g.g, 5), (std::vector<int32_t>{12, 13, 14, 15})) << "dart quad stays";
}

TEST(Chain, ConcaveModeAlsoSplitsConcaveQuads)
{
    Geo g;
    Mixed(g.g);
    NodeSettings s = Defaults();
    s.triangulate = kTriangulateConcave;
    ASSERT_EQ(RunPostProcessingChain(g.g, s), 0);
    EXPECT_EQ(g->_numPoly, 1 + 1 + 3 + 2);
    EXPECT_EQ(Poly(g.g, 0), (std::vector<int32_t>{0, 1, 2, 3})) << "convex quad stays";
    EXPECT_EQ(Poly(g.g, 5), (std::vector<int32_t>{13, 14, 15}));
    EXPECT_EQ(Poly(g.g, 6), (std::vector<int32_t>{13, 15, 12}));
}

TEST(Chain, QuadrangulateRunsBeforeTriangulateAll)
{
    Geo quads, tris;
    TriangleGrid(quads.g);
    TriangleGrid(tris.g);
    NodeSettings s = Defaults();
    s.quadrangulate = true;
    ASSERT_EQ(RunPostProcessingChain(quads.g, s), 0);
    EXPECT_EQ(CountPolys(quads.g, 4), 4) << "quadrangulate alone leaves quads";

    s.triangulate = kTriangulateAll;
    ASSERT_EQ(RunPostProcessingChain(tris.g, s), 0);
    EXPECT_EQ(tris->_numPoly, 8);
    EXPECT_EQ(CountPolys(tris.g, 3), 8) << "the quads are split again";
}

TEST(Chain, ThicknessThenTriangulateAllThenDisconnect)
{
    Geo g;
    Build(g.g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}});
    NodeSettings s = Defaults();
    s.thickness = 0.2f;
    s.triangulate = kTriangulateAll;
    s.disconnectPolygons = true;
    ASSERT_EQ(RunPostProcessingChain(g.g, s), 0);
    EXPECT_EQ(g->_numPoly, 12) << "6 shell quads, 2 triangles each";
    EXPECT_EQ(CountPolys(g.g, 3), 12);
    EXPECT_EQ(g->_numVert, 36) << "one vertex per node";
    for (int32_t k = 0; k < 36; ++k)
        EXPECT_EQ(g->_polyVInd[k], k);
}

TEST(Chain, NegativeThicknessInvertsEveryPolygon)
{
    Geo g;
    Build(g.g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}});
    AddNodeNormals(g.g, {0, 0, 1});
    NodeSettings s = Defaults();
    s.thickness = -0.2f; // Thickness(0.1, -0.1): outer below inner
    ASSERT_EQ(RunPostProcessingChain(g.g, s), 0);
    ASSERT_EQ(g->_numPoly, 6);
    EXPECT_EQ(Poly(g.g, 0), (std::vector<int32_t>{3, 2, 1, 0}));
    for (int k = 0; k < 4; ++k)
        EXPECT_FLOAT_EQ(g->_nodeNrm[k].z, -1.0f);
    EXPECT_LT(g->_vertPos[0].z, g->_vertPos[4].z);
}

TEST(Chain, IllegalPolygonStopsTheChainAtTriangulation)
{
    // A 2-gon left in the mesh: triangulation fails with 136, and the later
    // steps (smoothing, disconnect) are skipped.
    Geo g;
    Build(g.g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0.5f, 2, 0}, {0, 1, 0}, {5, 5, 5}},
          {{0, 1, 2, 3, 4}, {0, 5}});
    const Snapshot before = Take(g.g);
    for (int32_t mode : {kTriangulateOff, kTriangulateConcave, kTriangulateAll})
    {
        NodeSettings s = Defaults();
        s.triangulate = mode;
        s.smoothIterations = 3;
        s.disconnectPolygons = true;
        EXPECT_EQ(RunPostProcessingChain(g.g, s), ZNQ_ERR_ILLEGAL_POLYGONS) << mode;
        EXPECT_TRUE(Take(g.g) == before) << mode;
    }
}

TEST(Chain, MemoryRefusalStopsTheChain)
{
    // With no memory headroom the push fails; thickness, triangulation and
    // disconnect must not run.
    Geo g;
    Mixed(g.g);
    const Snapshot before = Take(g.g);
    NodeSettings s = Defaults();
    s.push = 0.1f;
    s.thickness = 0.1f;
    s.triangulate = kTriangulateAll;
    s.disconnectPolygons = true;
    g->_memLimitOn = 1;
    g->_memLimit = g->_memUsed;
    EXPECT_NE(RunPostProcessingChain(g.g, s), 0);
    EXPECT_TRUE(Take(g.g) == before);
    g->_memLimitOn = 0;
    g->_DynRelease(kDynAll);
}

TEST(Chain, PostBlurSeesTheTriangulatedMesh)
{
    // The post blur writes one node normal per node of the final mesh.
    Geo g;
    Mixed(g.g);
    NodeSettings s = Defaults();
    s.triangulate = kTriangulateAll;
    s.postBlurNormals = 1;
    ASSERT_EQ(RunPostProcessingChain(g.g, s), 0);
    ASSERT_NE(g->_nodeNrm, nullptr);
    EXPECT_EQ(CountPolys(g.g, 3), g->_numPoly);
    EXPECT_EQ(g->NumNodes(), 3 * g->_numPoly);
    for (int64_t k = 0; k < g->NumNodes(); ++k)
        EXPECT_NEAR(g->_nodeNrm[k].z, 1.0f, 1e-5f);
}
