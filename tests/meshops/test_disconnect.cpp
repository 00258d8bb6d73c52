// DisconnectPolygons: one vertex per node.
#include <gtest/gtest.h>

#include "errors/ZNQError.h"
#include "geometry/ZNQGeometry.h"
#include "mesh_util.h"

using namespace kmesh;

namespace
{
//  3 ---- 2
//  |    / |    two triangles sharing the edge 0-2, plus an unused vertex 4
//  |  /   |
//  0 ---- 1
void TwoTriangles(ZNQGeometry& g)
{
    Build(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {9, 9, 9}}, {{0, 1, 2}, {0, 2, 3}});
}
} // namespace

TEST(Disconnect, EveryNodeGetsItsOwnVertex)
{
    Geo g;
    TwoTriangles(g.g);
    ASSERT_NE(g->_DynGetPolyNrm(), nullptr);
    ASSERT_EQ(g->DisconnectPolygons(), 0);
    ASSERT_EQ(g->_numVert, 6);
    ASSERT_EQ(g->_numPoly, 2);
    for (int32_t k = 0; k < 6; ++k)
        EXPECT_EQ(g->_polyVInd[k], k);
    const int32_t from[6] = {0, 1, 2, 0, 2, 3};
    const float3 ref[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    for (int k = 0; k < 6; ++k)
        EXPECT_TRUE(Same(g->_vertPos[k], ref[from[k]])) << k;
    EXPECT_EQ(g->_dyn._polyNrm, nullptr);
    EXPECT_EQ(g->_DynGetNumVertUnused(), 0) << "the unused vertex is gone";
}

TEST(Disconnect, PerVertexDataFollowAndNodeDataStay)
{
    Geo g;
    TwoTriangles(g.g);
    AddVertexData(g.g);
    AddNodeUvwCol(g.g);
    AddNodeNormals(g.g, {0, 0, 1});
    Geo in;
    Clone(g.g, in.g);
    const Snapshot before = Take(g.g);
    ASSERT_EQ(g->DisconnectPolygons(), 0);
    const Snapshot after = Take(g.g);
    // Snapshot order ends: polygon counts, index list, normals, UVWs, colours.
    // All but the index list are byte-identical.
    const size_t n = after.arrays.size();
    for (size_t a : {n - 5, n - 3, n - 2, n - 1})
        EXPECT_EQ(after.arrays[a], before.arrays[a]) << a;
    for (int32_t k = 0; k < 6; ++k)
    {
        const int32_t v = in->_polyVInd[k];
        EXPECT_TRUE(Same(g->_vertMotion[k], in->_vertMotion[v]));
        EXPECT_TRUE(Same(g->_vertUser4[k], in->_vertUser4[v]));
        for (int c = 0; c < 2; ++c)
            EXPECT_TRUE(Same(g->_vertUser3[c][k], in->_vertUser3[c][v]));
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(g->_vertUser1[c][k], in->_vertUser1[c][v]);
    }
}

TEST(Disconnect, EmptyGeometryAndRepeatedCalls)
{
    Geo e;
    EXPECT_EQ(e->DisconnectPolygons(), 0);
    EXPECT_EQ(e->_vertPos, nullptr);

    Geo g;
    TwoTriangles(g.g);
    ASSERT_EQ(g->DisconnectPolygons(), 0);
    const Snapshot once = Take(g.g);
    ASSERT_EQ(g->DisconnectPolygons(), 0);
    EXPECT_TRUE(Take(g.g) == once) << "a disconnected mesh stays as it is";
}

TEST(Disconnect, OutOfRangeIndexIsRefusedUnchanged)
{
    Geo g;
    TwoTriangles(g.g);
    g->_polyVInd[4] = 7; // past the last vertex
    const Snapshot before = Take(g.g);
    EXPECT_EQ(g->DisconnectPolygons(), ZNQ_ERR_ILLEGAL_POLYGONS);
    EXPECT_TRUE(Take(g.g) == before);
    g->_polyVInd[4] = -3;
    EXPECT_EQ(g->DisconnectPolygons(), ZNQ_ERR_ILLEGAL_POLYGONS);
}

TEST(Disconnect, MemoryRefusalLeavesGeometryUnchanged)
{
    Geo g;
    TwoTriangles(g.g);
    AddVertexData(g.g);
    AddNodeUvwCol(g.g);
    MemorySweep(g.g, [](ZNQGeometry& x) { return x.DisconnectPolygons(); });
}
