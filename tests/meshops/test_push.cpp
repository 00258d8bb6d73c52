// Push and Thickness on small hand-made meshes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "errors/ZNQError.h"
#include "geometry/ZNQGeometry.h"
#include "mesh_util.h"

using namespace kmesh;

namespace
{

//  3 ---- 2
//  |      |     unit square in z = 0, counter-clockwise seen from +z
//  0 ---- 1
void UnitQuad(ZNQGeometry& g, float size = 1.0f)
{
    Build(g, {{0, 0, 0}, {size, 0, 0}, {size, size, 0}, {0, size, 0}}, {{0, 1, 2, 3}});
}

// Closed tetrahedron, outward facing.
void Tetrahedron(ZNQGeometry& g)
{
    Build(g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
          {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}});
}

// Normal of a polygon by Newell's method, normalised.
float3 NewellNormal(const ZNQGeometry& g, int32_t p)
{
    const auto idx = Poly(g, p);
    float3 n{0, 0, 0};
    for (size_t k = 0; k < idx.size(); ++k)
    {
        const float3& a = g._vertPos[idx[k]];
        const float3& b = g._vertPos[idx[(k + 1) % idx.size()]];
        n.x += (a.y - b.y) * (a.z + b.z);
        n.y += (a.z - b.z) * (a.x + b.x);
        n.z += (a.x - b.x) * (a.y + b.y);
    }
    const float l = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    return l > 0 ? float3{n.x / l, n.y / l, n.z / l} : n;
}

bool DerivedReleased(const ZNQGeometry& g)
{
    return g._dyn._numEdges == -1 && g._dyn._vertNrm == nullptr && g._dyn._polyNrm == nullptr &&
           g._dyn._vertAvrgDistToAdjVert == nullptr && g._dyn._vertAdjVertNum == nullptr;
}

} // namespace

// ---------------------------------------------------------------------------
// Push

TEST(Push, MovesAlongVertexNormalsBothWays)
{
    Geo a, b;
    UnitQuad(a.g);
    UnitQuad(b.g);
    ASSERT_EQ(a->Push(0.25f, false, 0), 0);
    ASSERT_EQ(b->Push(-0.25f, false, 0), 0);
    for (int v = 0; v < 4; ++v)
    {
        EXPECT_FLOAT_EQ(a->_vertPos[v].z, 0.25f) << v;
        EXPECT_FLOAT_EQ(b->_vertPos[v].z, -0.25f) << v;
    }
    EXPECT_FLOAT_EQ(a->_vertPos[2].x, 1.0f);
    EXPECT_TRUE(DerivedReleased(a.g));
}

TEST(Push, ZeroDistanceOrEmptyGeometryChangesNothing)
{
    Geo g;
    UnitQuad(g.g);
    ASSERT_NE(g->_DynGetPolyNrm(), nullptr);
    const Snapshot before = Take(g.g);
    EXPECT_EQ(g->Push(0.0f, true, 4), 0);
    EXPECT_TRUE(Take(g.g) == before);
    EXPECT_NE(g->_dyn._polyNrm, nullptr) << "nothing done: derived data kept";

    Geo empty;
    EXPECT_EQ(empty->Push(1.0f, true, 4), 0);
    EXPECT_EQ(empty->_vertPos, nullptr);
}

TEST(Push, RelativeScalesByAverageNeighbourDistance)
{
    // Square of side 2: every vertex has two neighbours at distance 2, and
    // smoothing a constant keeps it.
    Geo g;
    UnitQuad(g.g, 2.0f);
    ASSERT_EQ(g->Push(0.5f, true, 4), 0);
    for (int v = 0; v < 4; ++v)
        EXPECT_FLOAT_EQ(g->_vertPos[v].z, 1.0f) << v;
}

TEST(Push, KeepsEveryOtherArray)
{
    Geo g;
    UnitQuad(g.g);
    AddVertexData(g.g);
    AddNodeUvwCol(g.g);
    AddNodeNormals(g.g, {0, 0, 1});
    Snapshot before = Take(g.g);
    ASSERT_EQ(g->Push(1.0f, false, 0), 0);
    Snapshot after = Take(g.g);
    // Only the positions (array 0) differ.
    EXPECT_NE(after.arrays[0], before.arrays[0]);
    after.arrays[0] = before.arrays[0];
    EXPECT_TRUE(after == before);
}

TEST(Push, MemoryRefusalLeavesGeometryUnchanged)
{
    Geo g;
    UnitQuad(g.g);
    AddVertexData(g.g);
    MemorySweep(g.g, [](ZNQGeometry& x) { return x.Push(0.5f, true, 4); });
    MemorySweep(g.g, [](ZNQGeometry& x) { return x.Push(0.5f, false, 0); });
}

// ---------------------------------------------------------------------------
// Thickness

TEST(Thickness, SingleQuadShell)
{
    Geo g;
    UnitQuad(g.g);
    ASSERT_EQ(g->Thickness(-0.5f, 0.5f, false, 0, 0, 0), 0);
    ASSERT_EQ(g->_numVert, 8);
    for (int v = 0; v < 4; ++v)
    {
        EXPECT_FLOAT_EQ(g->_vertPos[v].z, 0.5f) << v;
        EXPECT_FLOAT_EQ(g->_vertPos[v + 4].z, -0.5f) << v;
        EXPECT_FLOAT_EQ(g->_vertPos[v].x, g->_vertPos[v + 4].x);
        EXPECT_FLOAT_EQ(g->_vertPos[v].y, g->_vertPos[v + 4].y);
    }
    // Outer quad, inner quad reversed, then the side quads of the edges in
    // ascending order (0,1) (0,3) (1,2) (2,3), each running against its
    // polygon's direction along the edge.
    EXPECT_EQ(PolysOf(g.g),
              (Polys{{0, 1, 2, 3}, {7, 6, 5, 4}, {1, 0, 4, 5}, {0, 3, 7, 4}, {2, 1, 5, 6}, {3, 2, 6, 7}}));
    EXPECT_TRUE(DerivedReleased(g.g));
}

TEST(Thickness, ShellIsClosedAndConsistentlyOriented)
{
    // Every edge of the shell has two polygons running along it in opposite
    // ways: a closed, consistently wound surface.
    Geo g;
    Build(g.g, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 1.5f, 0}},
          {{0, 1, 4, 3}, {1, 2, 5}, {1, 5, 4}});
    ASSERT_EQ(g->Thickness(-0.1f, 0.2f, false, 0, 0, 0), 0);
    EXPECT_TRUE(IsClosedAndOriented(g.g));
    EXPECT_EQ(g->_numPoly, 3 * 2 + 6); // six boundary edges
}

TEST(Thickness, SideQuadNormalsAreTheirPolygonNormals)
{
    Geo g;
    UnitQuad(g.g);
    AddNodeNormals(g.g, {0, 0, 1});
    AddNodeUvwCol(g.g);
    ASSERT_EQ(g->Thickness(-0.5f, 0.5f, false, 0, 0, 0), 0);
    ASSERT_NE(g->_nodeNrm, nullptr);
    for (int k = 0; k < 4; ++k)
    {
        EXPECT_TRUE(Same(g->_nodeNrm[k], float3{0, 0, 1}));
        EXPECT_TRUE(Same(g->_nodeNrm[4 + k], float3{-0.0f, -0.0f, -1}));
    }
    for (int32_t p = 2; p < 6; ++p)
    {
        const float3 expect = NewellNormal(g.g, p);
        for (int k = 0; k < 4; ++k)
        {
            const float3& n = g->_nodeNrm[4 * p + k];
            EXPECT_TRUE(Near(n, expect)) << "side " << p << " node " << k;
            EXPECT_FALSE(n.x == 0 && n.y == 0 && n.z == 0);
        }
    }
    // The side quad of edge (0,1) faces -y: outwards.
    EXPECT_TRUE(Near(g->_nodeNrm[8], float3{0, -1, 0}));
}

TEST(Thickness, NodeDataOfInnerAndSidePolygons)
{
    Geo g;
    UnitQuad(g.g);
    AddNodeUvwCol(g.g);
    ASSERT_EQ(g->Thickness(-0.5f, 0.5f, false, 0, 0, 0), 0);
    // Inner copy: node j takes node 3 - j of the quad.
    for (int j = 0; j < 4; ++j)
    {
        EXPECT_FLOAT_EQ(g->_nodeUvw[4 + j].y, float(3 - j));
        EXPECT_FLOAT_EQ(g->_nodeCol[4 + j].z, float(3 - j));
    }
    // Side quad (1, 0, 4, 5) of edge 0 -> 1: nodes at b=1, a=0, a, b.
    const float corner[4] = {1, 0, 0, 1};
    for (int k = 0; k < 4; ++k)
        EXPECT_FLOAT_EQ(g->_nodeUvw[8 + k].y, corner[k]) << k;
    // Side quad (0, 3, 7, 4) of edge 3 -> 0: nodes at 0, 3, 3, 0.
    const float corner2[4] = {0, 3, 3, 0};
    for (int k = 0; k < 4; ++k)
        EXPECT_FLOAT_EQ(g->_nodeCol[12 + k].z, corner2[k]) << k;
}

TEST(Thickness, ClosedMeshHasNoSideQuads)
{
    Geo g;
    Tetrahedron(g.g);
    ASSERT_EQ(g->Thickness(-0.1f, 0.1f, false, 0, 0, 0), 0);
    EXPECT_EQ(g->_numVert, 8);
    EXPECT_EQ(PolysOf(g.g), (Polys{{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3},
                                   {5, 6, 4}, {7, 5, 4}, {6, 7, 4}, {7, 6, 5}}));
}

TEST(Thickness, CarriesPerVertexArraysToBothCopies)
{
    Geo g;
    UnitQuad(g.g);
    AddVertexData(g.g);
    Geo ref;
    Clone(g.g, ref.g);
    ASSERT_EQ(g->Thickness(-0.5f, 0.5f, false, 0, 0, 0), 0);
    for (int v = 0; v < 8; ++v)
    {
        const int s = v % 4;
        EXPECT_TRUE(Same(g->_vertMotion[v], ref->_vertMotion[s]));
        EXPECT_TRUE(Same(g->_vertUser4[v], ref->_vertUser4[s]));
        for (int c = 0; c < 2; ++c)
            EXPECT_TRUE(Same(g->_vertUser3[c][v], ref->_vertUser3[c][s]));
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(g->_vertUser1[c][v], ref->_vertUser1[c][s]);
    }
}

TEST(Thickness, PerVertexFactorChannels)
{
    Geo g;
    UnitQuad(g.g);
    AddVertexData(g.g); // _vertUser1[c][v] = 0.1 v + c
    ASSERT_EQ(g->Thickness(-1.0f, 1.0f, false, 0, /*inner*/ 3, /*outer*/ 2), 0);
    for (int v = 0; v < 4; ++v)
    {
        EXPECT_FLOAT_EQ(g->_vertPos[v].z, 1.0f * (0.1f * v + 1.0f)) << v;
        EXPECT_FLOAT_EQ(g->_vertPos[4 + v].z, -1.0f * (0.1f * v + 2.0f)) << v;
    }
    // A selector outside 1..4, or a channel that is not there, means factor 1.
    Geo h;
    UnitQuad(h.g);
    ASSERT_EQ(h->Thickness(-1.0f, 1.0f, false, 0, 9, 1), 0);
    EXPECT_FLOAT_EQ(h->_vertPos[0].z, 1.0f);
    EXPECT_FLOAT_EQ(h->_vertPos[4].z, -1.0f);
}

TEST(Thickness, RelativeShellIsThinnerWhereFinelyTessellated)
{
    // A strip of quads, coarse on the left (width 2), fine on the right (0.25).
    const float xs[] = {0, 2, 4, 6, 6.25f, 6.5f, 6.75f, 7.0f};
    std::vector<float3> pos;
    for (float x : xs)
        pos.push_back({x, 0, 0});
    for (float x : xs)
        pos.push_back({x, 1, 0});
    std::vector<std::vector<int32_t>> polys;
    for (int i = 0; i + 1 < 8; ++i)
        polys.push_back({i, i + 1, 9 + i, 8 + i});
    Geo g;
    Build(g.g, pos, polys);
    ASSERT_EQ(g->Thickness(-0.5f, 0.5f, true, 0, 0, 0), 0);
    const float coarse = g->_vertPos[0].z - g->_vertPos[16].z;
    const float fine = g->_vertPos[7].z - g->_vertPos[23].z;
    EXPECT_GT(coarse, 0.0f);
    EXPECT_GT(fine, 0.0f);
    EXPECT_GT(coarse, 2.0f * fine);
    // Unsmoothed, vertex 0 has neighbours at 2 and 1: scale 1.5.
    EXPECT_FLOAT_EQ(coarse, 1.5f);
}

TEST(Thickness, OuterBelowInnerInvertsEverything)
{
    Geo g;
    UnitQuad(g.g);
    AddNodeNormals(g.g, {0, 0, 1});
    ASSERT_EQ(g->Thickness(0.5f, -0.5f, false, 0, 0, 0), 0);
    ASSERT_EQ(g->_numPoly, 6);
    EXPECT_EQ(Poly(g.g, 0), (std::vector<int32_t>{3, 2, 1, 0}));
    EXPECT_EQ(Poly(g.g, 1), (std::vector<int32_t>{4, 5, 6, 7}));
    EXPECT_EQ(Poly(g.g, 2), (std::vector<int32_t>{5, 4, 0, 1}));
    for (int k = 0; k < 4; ++k)
    {
        EXPECT_FLOAT_EQ(g->_nodeNrm[k].z, -1.0f);
        EXPECT_FLOAT_EQ(g->_nodeNrm[4 + k].z, 1.0f);
    }
    // The "outer" copy lies below: offsets as given.
    EXPECT_FLOAT_EQ(g->_vertPos[0].z, -0.5f);
    EXPECT_FLOAT_EQ(g->_vertPos[4].z, 0.5f);
}

TEST(Thickness, EmptyGeometryDoesNothing)
{
    Geo g;
    EXPECT_EQ(g->Thickness(-1, 1, true, 4, 0, 0), 0);
    EXPECT_EQ(g->_vertPos, nullptr);
}

TEST(Thickness, MemoryRefusalLeavesGeometryUnchanged)
{
    Geo g;
    Build(g.g, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 1, 0}},
          {{0, 1, 4, 3}, {1, 2, 5, 4}});
    AddVertexData(g.g);
    AddNodeUvwCol(g.g);
    AddNodeNormals(g.g, {0, 0, 1});
    MemorySweep(g.g, [](ZNQGeometry& x) { return x.Thickness(-0.5f, 0.5f, true, 4, 1, 2); });
}

TEST(Thickness, DegenerateInputStaysInBounds)
{
    // Collinear and coincident corners, a NaN position, a non-manifold edge
    // (three polygons on 0-1): the shell is built and every index is valid.
    Geo g;
    const float nan = std::nanf("");
    Build(g.g, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 0, 0}, {nan, 1, 0}, {0, 1, 1}},
          {{0, 1, 2}, {0, 1, 3}, {1, 0, 4}, {0, 1, 5}});
    ASSERT_EQ(g->Thickness(-0.5f, 0.5f, true, 2, 0, 0), 0);
    EXPECT_EQ(g->_numVert, 12);
    const int64_t nn = g->NumNodes();
    for (int64_t k = 0; k < nn; ++k)
    {
        EXPECT_GE(g->_polyVInd[k], 0);
        EXPECT_LT(g->_polyVInd[k], g->_numVert);
    }
}
