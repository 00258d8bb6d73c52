// Derived topology data on small hand-made meshes with known answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "GeoTestMesh.h"
#include "geometry/ZNQOctree.h"

using GeometryDyn = GeoTest;

namespace
{
using V = std::vector<int32_t>;

// The first n entries of an array, empty for a null array.
template <typename T>
std::vector<T> Vec(const T* a, int64_t n)
{
    return a ? std::vector<T>(a, a + n) : std::vector<T>();
}

// Every list of a list-of-lists item, empty for a null item.
std::vector<V> Lists(int32_t** arr, const uint8_t* num, int32_t count)
{
    std::vector<V> out;
    for (int32_t i = 0; arr && num && i < count; ++i)
        out.emplace_back(arr[i], arr[i] + num[i]);
    return out;
}

void ExpectVec(const float3& v, float x, float y, float z, float tol = 1e-6f)
{
    EXPECT_NEAR(v.x, x, tol);
    EXPECT_NEAR(v.y, y, tol);
    EXPECT_NEAR(v.z, z, tol);
}

// L-shaped hexagon, counter-clockwise seen from +z; the corner at vertex 3
// (1,1) is the reflex one.
//   5---4
//   |   |
//   |   3---2
//   |       |
//   0-------1
const std::vector<std::vector<float>> kLShape = {{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}};
} // namespace

TEST_F(GeometryDyn, SingleTriangle)
{
    Build(g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});

    ASSERT_EQ(g._DynGetNumEdges(), 3);
    EXPECT_EQ(Vec(g._DynGetEdges(), 6), (V{0, 1, 0, 2, 1, 2}));
    EXPECT_EQ(Lists(g._DynGetVertAdjVertArr(), g._DynGetVertAdjVertNum(), 3), (std::vector<V>{{1, 2}, {2, 0}, {0, 1}}));
    EXPECT_EQ(Lists(g._DynGetVertAdjEdgeArr(), g._DynGetVertAdjEdgeNum(), 3), (std::vector<V>{{0, 1}, {2, 0}, {1, 2}}));
    EXPECT_EQ(Vec(g._DynGetPolyEInd(), 3), (V{0, 2, 1}));
    EXPECT_EQ(Lists(g._DynGetEdgeAdjPolyArr(), g._DynGetEdgeAdjPolyNum(), 3), (std::vector<V>{{0}, {0}, {0}}));

    ASSERT_NE(g._DynGetPolyNrm(), nullptr);
    ExpectVec(g._DynGetPolyNrm()[0], 0, 0, 1);
    EXPECT_EQ(Vec(g._DynGetPolyAreas(), 1), std::vector<float>{0.5f});
    EXPECT_EQ(Vec(g._DynGetPolyFlags(), 1), std::vector<uint8_t>{kPolyFlagConvex});

    const ZNQNodeFlags* nf = g._DynGetPolyNodeFlags();
    ASSERT_NE(nf, nullptr);
    EXPECT_EQ(nf[0]._reserved, 0);
    EXPECT_EQ(nf[0]._convex, 1);
    EXPECT_NEAR(float(nf[0]._cos), 0.0f, 1e-3f);
    EXPECT_NEAR(float(nf[1]._cos), std::sqrt(0.5f), 1e-3f);

    // Used, unused, illegal, triangles, quads, five and more, two and fewer.
    EXPECT_EQ((V{g._DynGetNumVertUsed(), g._DynGetNumVertUnused(), g._DynGetNumPolyIllegal(), g._DynGetNumPolyTris(),
                 g._DynGetNumPolyQuads(), g._DynGetNumPolyFivePlus(), g._DynGetNumPolyTwoMinus()}),
              (V{3, 0, 0, 1, 0, 0, 0}));

    const float* dist = g._DynGetVertAvrgDistToAdjVert();
    ASSERT_NE(dist, nullptr);
    EXPECT_NEAR(dist[0], 1.0f, 1e-6f);
    EXPECT_NEAR(dist[1], 0.5f * (1.0f + std::sqrt(2.0f)), 1e-6f);
}

TEST_F(GeometryDyn, TriangleNormalFollowsCornerOrder)
{
    const float3 p0{0.3f, -1.0f, 2.0f}, p1{1.5f, 0.25f, 1.0f}, p2{-0.5f, 0.75f, 0.5f};
    Build(g, {p0, p1, p2}, {{0, 1, 2}, {0, 2, 1}});
    const float3 a{p1.x - p0.x, p1.y - p0.y, p1.z - p0.z};
    const float3 b{p2.x - p0.x, p2.y - p0.y, p2.z - p0.z};
    float3 c{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    const float len = std::sqrt(c.x * c.x + c.y * c.y + c.z * c.z);
    const float3* n = g._DynGetPolyNrm();
    ASSERT_NE(n, nullptr);
    ExpectVec(n[0], c.x / len, c.y / len, c.z / len, 1e-5f);
    ExpectVec(n[1], -c.x / len, -c.y / len, -c.z / len, 1e-5f);
    EXPECT_NEAR(g._DynGetPolyAreas()[0], 0.5f * len, 1e-5f);
    EXPECT_NEAR(g._DynGetPolyAreas()[1], 0.5f * len, 1e-5f);
}

TEST_F(GeometryDyn, UnitSquare)
{
    Build(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}});
    const ZNQNodeFlags* nf = g._DynGetPolyNodeFlags();
    ASSERT_NE(nf, nullptr);
    for (int32_t k = 0; k < 4; ++k)
        EXPECT_TRUE(nf[k]._convex == 1 && float(nf[k]._cos) == 0.0f) << k;
    ExpectVec(g._DynGetPolyNrm()[0], 0, 0, 1);
    EXPECT_EQ(Vec(g._DynGetPolyAreas(), 1), std::vector<float>{1.0f});
    EXPECT_EQ(Vec(g._DynGetPolyFlags(), 1), std::vector<uint8_t>{kPolyFlagConvex});
    EXPECT_EQ(g._DynGetNumPolyQuads(), 1);
}

TEST_F(GeometryDyn, LShapedHexagonHasOneReflexCornerInEveryPlane)
{
    // The same L in the xy, xz and yz planes, in both orientations: the
    // dominant-axis test has a separate sign rule per axis.
    for (int plane = 0; plane < 3; ++plane)
    {
        for (bool reversed : {false, true})
        {
            Geo t;
            ZNQGeometry& g = t.g;
            std::vector<float3> pos;
            for (const auto& q : kLShape)
            {
                if (plane == 0)
                    pos.push_back(float3{q[0], q[1], 0.5f});
                else if (plane == 1)
                    pos.push_back(float3{q[0], -0.25f, q[1]});
                else
                    pos.push_back(float3{2.0f, q[0], q[1]});
            }
            const V poly = reversed ? V{5, 4, 3, 2, 1, 0} : V{0, 1, 2, 3, 4, 5};
            Build(g, pos, {poly});

            const ZNQNodeFlags* nf = g._DynGetPolyNodeFlags();
            ASSERT_NE(nf, nullptr);
            V reflex;
            for (int32_t k = 0; k < 6; ++k)
                if (nf[k]._convex == 0)
                    reflex.push_back(poly[k]);
            EXPECT_EQ(reflex, V{3}) << "plane " << plane << " reversed " << reversed;
            EXPECT_EQ(g._DynGetPolyFlags()[0], 0) << "not convex, not illegal";
            EXPECT_NEAR(g._DynGetPolyAreas()[0], 3.0f, 1e-5f) << "plane " << plane;
            const float3 n = g._DynGetPolyNrm()[0];
            EXPECT_NEAR(n.x * n.x + n.y * n.y + n.z * n.z, 1.0f, 1e-5f);
        }
    }
}

TEST_F(GeometryDyn, ReflexFirstCornerFlipsNormalBack)
{
    // Start the L at its reflex corner: the normal is taken there and negated
    // because that corner is not convex, so it still points to +z.
    std::vector<float3> pos;
    for (const auto& q : kLShape)
        pos.push_back(float3{q[0], q[1], 0.0f});
    Build(g, pos, {{3, 4, 5, 0, 1, 2}});
    ASSERT_EQ(g._DynGetPolyNodeFlags()[0]._convex, 0);
    ExpectVec(g._DynGetPolyNrm()[0], 0, 0, 1);
    EXPECT_NEAR(g._DynGetPolyAreas()[0], 3.0f, 1e-5f);
}

TEST_F(GeometryDyn, RepeatedIndexIsIllegal)
{
    Build(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{0, 1, 1, 2}, {0, 1, 2}});
    EXPECT_EQ(g._DynGetNumPolyIllegal(), 1);
    // Illegal, and no convex bit.
    EXPECT_EQ(Vec(g._DynGetPolyFlags(), 2), (std::vector<uint8_t>{kPolyFlagIllegal, kPolyFlagConvex}));

    // No edge from vertex 1 to itself; that node has no edge.
    EXPECT_EQ(g._DynGetNumEdges(), 3);
    EXPECT_EQ(Vec(g._DynGetPolyEInd(), 4), (V{0, -1, 2, 1}));
    EXPECT_EQ(Lists(g._DynGetEdgeAdjPolyArr(), g._DynGetEdgeAdjPolyNum(), 3), (std::vector<V>(3, V{0, 1})));
}

TEST_F(GeometryDyn, LargePolygonsIllegalityAndConvexity)
{
    // Above 16 corners the repeated-index test takes its stamp path.
    const int32_t n = 40;
    std::vector<float3> pos;
    std::vector<int32_t> circle, repeated;
    for (int32_t i = 0; i < n; ++i)
    {
        const float a = 2.0f * 3.14159265f * static_cast<float>(i) / static_cast<float>(n);
        pos.push_back(float3{std::cos(a), std::sin(a), 0.0f});
        circle.push_back(i);
        repeated.push_back(i == 30 ? 7 : i);
    }
    Build(g, pos, {circle, repeated, circle});
    EXPECT_EQ(g._DynGetNumPolyIllegal(), 1);
    EXPECT_EQ(g._DynGetNumPolyFivePlus(), 3);
    // The same vertices in a later polygon are fine.
    EXPECT_EQ(Vec(g._DynGetPolyFlags(), 3), (std::vector<uint8_t>{kPolyFlagConvex, kPolyFlagIllegal, kPolyFlagConvex}));
    const float area = 0.5f * n * std::sin(2.0f * 3.14159265f / n);
    EXPECT_NEAR(g._DynGetPolyAreas()[0], area, 1e-4f);
}

TEST_F(GeometryDyn, CollinearPolygonKeepsZeroNormal)
{
    Build(g, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}}, {{0, 1, 2}, {0, 1, 2, 3}});
    const float3* n = g._DynGetPolyNrm();
    ASSERT_NE(n, nullptr);
    ExpectVec(n[0], 0, 0, 0, 0.0f);
    ExpectVec(n[1], 0, 0, 0, 0.0f);
    EXPECT_EQ(Vec(g._DynGetPolyAreas(), 2), (std::vector<float>{0, 0}));
    const ZNQNodeFlags* nf = g._DynGetPolyNodeFlags();
    EXPECT_EQ(float(nf[0]._cos), 1.0f);
    EXPECT_EQ(float(nf[1]._cos), -1.0f);
}

TEST_F(GeometryDyn, VertexNormalsFromPolygonsAndFromNodes)
{
    // A roof: one triangle facing +z, one facing +x, sharing edge 0-1;
    // vertex 5 is used by no polygon.
    Build(g,
             {{0, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, 0, -1}, {9, 9, 9}, {5, 5, 5}},
             {{0, 1, 2}, {0, 3, 1}});
    ExpectVec(g._DynGetPolyNrm()[0], 0, 0, 1);
    ExpectVec(g._DynGetPolyNrm()[1], 1, 0, 0);
    const float3* vn = g._DynGetVertNrm();
    ASSERT_NE(vn, nullptr);
    const float s = std::sqrt(0.5f);
    ExpectVec(vn[0], s, 0, s);
    ExpectVec(vn[1], s, 0, s);
    ExpectVec(vn[2], 0, 0, 1);
    ExpectVec(vn[3], 1, 0, 0);
    ExpectVec(vn[4], 0, 1, 0);
    ExpectVec(vn[5], 0, 1, 0); // vertices without polygons

    // With node normals: plain mean over the vertex's nodes, not normalised.
    g._nodeNrm = AllocNodeArray<float3>(g, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1},
                                            {0, 1, 0}, {0, 0, 2}, {1, 1, 1}});
    g._DynRelease(kDynVertNrm);
    vn = g._DynGetVertNrm();
    ASSERT_NE(vn, nullptr);
    ExpectVec(vn[0], 0.5f, 0.5f, 0);
    ExpectVec(vn[1], 0.5f, 1.0f, 0.5f);
    ExpectVec(vn[3], 0, 0, 2);
    ExpectVec(vn[5], 0, 0, 0);
}

TEST_F(GeometryDyn, VertexUvwsAndColours)
{
    Build(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}});
    // Absent node data: null, and no failure.
    EXPECT_EQ(g._DynGetVertUvw(), nullptr);
    EXPECT_EQ(g._DynGetVertCol(), nullptr);
    EXPECT_TRUE(g._DynBuild(kDynVertUvw));
    EXPECT_TRUE(g._DynBuild(kDynVertCol));

    g._nodeUvw = AllocNodeArray<float3>(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0},
                                            {0.5f, 0, 1}, {1, 0.5f, 0}, {0, 1, 0}});
    g._nodeCol = AllocNodeArray<float4>(g, {{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1},
                                            {0, 0, 0, 0}, {0, 0, 1, 0}, {1, 1, 1, 1}});
    const float3* uvw = g._DynGetVertUvw();
    const float4* col = g._DynGetVertCol();
    ASSERT_TRUE(uvw && col);
    ExpectVec(uvw[0], 0.25f, 0, 0.5f);
    ExpectVec(uvw[2], 1, 0.75f, 0);
    ExpectVec(uvw[3], 0, 1, 0);
    EXPECT_TRUE(kvt::Same(col[0], {0.5f, 0, 0, 0.5f}) && kvt::Same(col[2], {0, 0, 1, 0.5f}));
    EXPECT_EQ(g._DynGetVertUvw(), uvw) << "cached";
}

TEST_F(GeometryDyn, EdgeAdjPolyBuildsAndKeepsItsDependencies)
{
    Build(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}});
    // Building the edge-to-polygon lists builds what they need, and the
    // getters then hand out those same arrays.
    uint8_t* epNum = g._DynGetEdgeAdjPolyNum();
    ASSERT_NE(epNum, nullptr);
    const ZNQDynData& d = g._dyn;
    ASSERT_TRUE(d._vertAdjVertNum && d._polyEInd && d._numEdges == 5);
    const int32_t* edges = d._edges;
    EXPECT_EQ(g._DynGetVertAdjVertNum(), d._vertAdjVertNum);
    EXPECT_EQ(g._DynGetEdges(), edges);
    EXPECT_EQ(g._DynGetPolyEInd(), d._polyEInd);
    EXPECT_EQ(g._DynGetEdgeAdjPolyNum(), epNum);

    // Edges by lower end: 0-1, the diagonal 0-2, 0-3, 1-2, 2-3. The diagonal
    // has both triangles, the four sides one each.
    EXPECT_EQ(Vec(edges, 10), (V{0, 1, 0, 2, 0, 3, 1, 2, 2, 3}));
    EXPECT_EQ(Lists(g._DynGetEdgeAdjPolyArr(), epNum, 5), (std::vector<V>{{0}, {0, 1}, {1}, {0}, {1}}));
}

TEST_F(GeometryDyn, VertexWithMoreThan255NeighboursFailsCleanly)
{
    // Vertex 0 is the apex of separate triangles (0, 2i+1, 2i+2): every
    // triangle brings two new neighbours with one node.
    auto fan = [](int32_t tris, bool extraShared) {
        std::vector<float3> pos{{0, 0, 0}};
        std::vector<std::vector<int32_t>> polys;
        for (int32_t i = 0; i < tris; ++i)
        {
            const float a = 0.01f * static_cast<float>(i);
            pos.push_back(float3{std::cos(a), std::sin(a), 0.0f});
            pos.push_back(float3{std::cos(a), std::sin(a), 1.0f});
            polys.push_back({0, 2 * i + 1, 2 * i + 2});
        }
        if (extraShared) // one more neighbour: 2 * tris + 1
        {
            pos.push_back(float3{0, 0, 5});
            polys.push_back({0, 2 * tris, 2 * tris + 1});
        }
        return std::make_pair(pos, polys);
    };

    {
        Geo t;
        ZNQGeometry& g = t.g;
        auto m = fan(127, true); // 255 neighbours: the limit itself
        Build(g, m.first, m.second);
        ASSERT_NE(g._DynGetVertAdjVertArr(), nullptr);
        EXPECT_EQ(g._DynGetVertAdjVertNum()[0], 255);
        EXPECT_EQ(g._DynGetNumEdges(), 255 + 128);
    }
    {
        Geo t;
        ZNQGeometry& g = t.g;
        auto m = fan(128, false); // 256 neighbours from 128 nodes
        Build(g, m.first, m.second);
        const int64_t loaded = g._memUsed;
        EXPECT_EQ(g._DynGetVertAdjVertArr(), nullptr);
        EXPECT_EQ(g._DynGetVertAdjVertNum(), nullptr);
        EXPECT_EQ(g._DynGetEdges(), nullptr);
        EXPECT_EQ(g._DynGetNumEdges(), 0);
        EXPECT_EQ(g._DynGetPolyEInd(), nullptr);
        EXPECT_EQ(g._DynGetEdgeAdjPolyArr(), nullptr);
        EXPECT_EQ(g._DynGetVertIID(), nullptr);
        EXPECT_FALSE(g._DynBuild(kDynVertAdjVert));
        EXPECT_EQ(g._memUsed, loaded) << "nothing is left behind";
        // Items that do not need the neighbour lists still build.
        EXPECT_NE(g._DynGetVertAdjPolyArr(), nullptr);
        EXPECT_EQ(g._DynGetVertAdjPolyNum()[0], 128);
        EXPECT_NE(g._DynGetVertNrm(), nullptr);
    }
}

TEST_F(GeometryDyn, MoreThan255NodesOnVertexOrPolygonsOnEdgeFail)
{
    const std::vector<float3> pos{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    Build(g, pos, std::vector<std::vector<int32_t>>(255, {0, 1, 2}));
    ASSERT_NE(g._DynGetEdgeAdjPolyNum(), nullptr);
    EXPECT_EQ(g._DynGetEdgeAdjPolyNum()[0], 255);
    ASSERT_NE(g._DynGetVertAdjPolyNum(), nullptr);
    EXPECT_EQ(g._DynGetVertAdjPolyNum()[0], 255);

    Build(g, pos, std::vector<std::vector<int32_t>>(256, {0, 1, 2}));
    const int64_t loaded = g._memUsed;
    EXPECT_EQ(g._DynGetNumEdges(), 3) << "three neighbours each: edges are fine";
    const int64_t withEdges = g._memUsed;
    EXPECT_EQ(g._DynGetEdgeAdjPolyNum(), nullptr);
    EXPECT_EQ(g._DynGetEdgeAdjPolyArr(), nullptr);
    EXPECT_EQ(g._DynGetVertAdjPolyNum(), nullptr);
    EXPECT_EQ(g._DynGetVertNrm(), nullptr);
    EXPECT_GE(withEdges, loaded);
    EXPECT_EQ(g._dyn._edgeAdjPolyNum, nullptr);
    EXPECT_EQ(g._dyn._vertAdjPolyBlock, nullptr);
}

TEST_F(GeometryDyn, IllegalPolygonsStayInBounds)
{
    Build(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}},
             {{0, 1, 9}, {-1, 2, 3}, {0, 1, 2}, {2, 3, 3, 1}, {1, 2}, {3}, {}, {0, 1, 2, 3},
              {2147483647, -2147483647 - 1, 0}});
    g._nodeUvw = g._MemAllocArr<float3>(static_cast<size_t>(g.NumNodes()), true);
    g._nodeCol = g._MemAllocArr<float4>(static_cast<size_t>(g.NumNodes()), true);

    for (int32_t bit = 1; bit != 0 && bit <= kDynVertCol; bit <<= 1)
        g._DynBuild(bit);
    EXPECT_EQ(g._DynGetNumPolyIllegal(), 7);
    EXPECT_EQ(g._DynGetNumPolyTris(), 4);
    EXPECT_EQ(g._DynGetNumPolyQuads(), 2);
    EXPECT_EQ(g._DynGetNumPolyTwoMinus(), 3);
    EXPECT_EQ(g._DynGetNumVertUsed(), 4);

    EXPECT_EQ(Vec(g._DynGetPolyFlags(), 9),
              (std::vector<uint8_t>{0x80, 0x80, 0x01, 0x80, 0x80, 0x80, 0x80, 0x01, 0x80}));

    // Edges only between distinct in-range vertices: the square's four sides
    // and its diagonals 0-2 and 1-3.
    EXPECT_EQ(g._DynGetNumEdges(), 6);
    const int32_t* ne = g._DynGetPolyEInd();
    ASSERT_NE(ne, nullptr);
    EXPECT_GE(ne[0], 0);  // 0 -> 1
    EXPECT_EQ(ne[1], -1); // 1 -> 9
    EXPECT_EQ(ne[2], -1); // 9 -> 0
    EXPECT_EQ(ne[3], -1); // -1 -> 2
    EXPECT_GE(ne[9], 0);   // 2 -> 3 in (2, 3, 3, 1)
    EXPECT_EQ(ne[10], -1); // 3 -> 3
    EXPECT_GE(ne[14], 0);  // 2 -> 1 in (1, 2)
    EXPECT_EQ(ne[15], -1) << "(3): no edge to itself";
    EXPECT_NE(g._DynGetEdgeAdjPolyArr(), nullptr);
    EXPECT_NE(g._DynGetVertNrm(), nullptr);
    EXPECT_NE(g._DynGetVertUvw(), nullptr);
    EXPECT_NE(g._DynGetVertIID(), nullptr);
    EXPECT_EQ(g._DynGetNumVertI(), 1);
    ASSERT_NE(g._DynGetPolyNrm(), nullptr);
    ExpectVec(g._DynGetPolyNrm()[6], 0, 0, 0, 0.0f);
    EXPECT_EQ(g._DynGetPolyAreas()[6], 0.0f);
    EXPECT_TRUE(std::isfinite(g._DynGetPolyAreas()[0]));
}

TEST_F(GeometryDyn, BoundaryLoops)
{
    Build(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}});
    ASSERT_EQ(g._DynGetNumVertBL(), 1);
    EXPECT_EQ(Vec(g._DynGetVertBLVertIdx(), 4), (V{0, 1, 2, 3}));
    EXPECT_EQ(Vec(g._DynGetVertBLIntIdx(), 1), V{3});

    Build(g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 0, 0}, {6, 0, 0}, {5, 1, 0}},
             {{3, 5, 4}, {0, 1, 2}});
    ASSERT_EQ(g._DynGetNumVertBL(), 2);
    EXPECT_EQ(Vec(g._DynGetVertBLVertIdx(), 6), (V{0, 1, 2, 3, 5, 4}));
    EXPECT_EQ(Vec(g._DynGetVertBLIntIdx(), 2), (V{2, 5}));

    // A closed tetrahedron has none: count 0 and both arrays null, no failure.
    Build(g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
             {{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {0, 3, 2}});
    EXPECT_TRUE(g._DynBuild(kDynVertBL));
    EXPECT_EQ(g._DynGetNumVertBL(), 0);
    EXPECT_EQ(g._dyn._numVertBL, 0);
    EXPECT_EQ(g._DynGetVertBLVertIdx(), nullptr);
    EXPECT_EQ(g._DynGetVertBLIntIdx(), nullptr);
}

TEST_F(GeometryDyn, IslandsCentresAndAreas)
{
    Build(g,
             {{0, 0, 0}, {10, 0, 0}, {11, 0, 0}, {10, 1, 0}, {2, 0, 0}, {0, 2, 0}, {11, 1, 0},
              {-4, -4, -4}},
             {{0, 4, 5}, {1, 2, 3}, {2, 6, 3}});
    ASSERT_EQ(g._DynGetNumVertI(), 3);
    EXPECT_EQ(Vec(g._DynGetVertIID(), 8), (V{0, 1, 1, 1, 0, 0, 1, 2}));
    const ZNQDynData& d = g._dyn;
    EXPECT_EQ(Vec(d._vertINumVert, 3), (V{3, 4, 1}));
    EXPECT_EQ(Vec(d._vertIVertArr[1], 4), (V{1, 2, 3, 6}));
    EXPECT_EQ(d._vertIVertArr[2][0], 7);

    const float3* ctr = g._DynGetVertICtr();
    ASSERT_NE(ctr, nullptr);
    ExpectVec(ctr[0], 2.0f / 3, 2.0f / 3, 0);
    ExpectVec(ctr[1], 10.5f, 0.5f, 0);
    ExpectVec(ctr[2], -4, -4, -4);
    EXPECT_EQ(Vec(g._DynGetVertIArea(), 3), (std::vector<float>{2, 1, 0}));
}

TEST_F(GeometryDyn, IslandFloodBeyondTheDepthLimit)
{
    // A strip of 2 x 30000 vertices: a depth-first flood goes far deeper than
    // the recursion limit. Vertex indices are shuffled so that the upward
    // rescans have real work to do; a second strip must stay separate.
    const int32_t len = 30000;
    std::vector<int32_t> perm(2 * len + 3);
    for (size_t i = 0; i < perm.size(); ++i)
        perm[i] = static_cast<int32_t>(i);
    uint32_t seed = 12345;
    for (size_t i = perm.size() - 1; i > 0; --i)
    {
        seed = seed * 1664525u + 1013904223u;
        std::swap(perm[i], perm[seed % (i + 1)]);
    }
    std::vector<float3> pos(perm.size());
    std::vector<std::vector<int32_t>> polys;
    for (int32_t i = 0; i < len; ++i)
    {
        pos[perm[2 * i]] = float3{static_cast<float>(i), 0, 0};
        pos[perm[2 * i + 1]] = float3{static_cast<float>(i), 1, 0};
        if (i + 1 < len)
        {
            polys.push_back({perm[2 * i], perm[2 * i + 2], perm[2 * i + 3]});
            polys.push_back({perm[2 * i], perm[2 * i + 3], perm[2 * i + 1]});
        }
    }
    const int32_t a = perm[2 * len], b = perm[2 * len + 1], c = perm[2 * len + 2];
    pos[a] = float3{0, 5, 0};
    pos[b] = float3{1, 5, 0};
    pos[c] = float3{0, 6, 0};
    polys.push_back({a, b, c});

    Build(g, pos, polys);
    ASSERT_EQ(g._DynGetNumVertI(), 2);
    const int32_t* id = g._DynGetVertIID();
    const int32_t strip = id[perm[0]];
    int32_t inStrip = 0;
    for (int32_t i = 0; i < 2 * len; ++i)
        inStrip += id[perm[i]] == strip;
    EXPECT_EQ(inStrip, 2 * len);
    EXPECT_NE(id[a], strip);
    EXPECT_EQ(id[a], id[b]);
    EXPECT_EQ(id[a], id[c]);
    EXPECT_EQ(g._dyn._vertINumVert[strip], 2 * len);
}

TEST_F(GeometryDyn, OctreeFindsPointsInRadius)
{
    Geo t(1);
    ZNQGeometry& g = t.g;
    FillTorus(g, 60, 24, true);
    ZNQOctree* oct = g._DynGetOctree();
    ASSERT_NE(oct, nullptr);
    EXPECT_EQ(oct->_numPoints, g._numVert);
    EXPECT_EQ(oct->_levels, 11);
    // Extent of the torus: 8 along x and y.
    EXPECT_NEAR(oct->_cellEdge, 2.0f * 8.0f / 2048.0f, 1e-4f);
    for (int32_t i = 1; i < oct->_numPoints; ++i)
        ASSERT_LE(oct->_codes[i - 1], oct->_codes[i]);

    std::vector<int32_t> out(g._numVert);
    const float3 probes[] = {{4, 0, 0}, {0, -3, 1}, {0, 0, 0}, {2.5f, 2.5f, 0.3f}};
    for (const float3& p : probes)
    {
        for (float r : {0.0f, 0.3f, 1.0f, 3.0f, 20.0f})
        {
            std::vector<int32_t> expect;
            for (int32_t v = 0; v < g._numVert; ++v)
            {
                const float3& q = g._vertPos[v];
                const float dx = q.x - p.x, dy = q.y - p.y, dz = q.z - p.z;
                if (dx * dx + dy * dy + dz * dz <= r * r)
                    expect.push_back(v);
            }
            const int32_t found =
                ZNQOctreeFindInRadius(*oct, p, r, out.data(), static_cast<int32_t>(out.size()));
            ASSERT_EQ(found, static_cast<int32_t>(expect.size())) << r;
            std::vector<int32_t> got(out.begin(), out.begin() + found);
            std::sort(got.begin(), got.end());
            EXPECT_EQ(got, expect) << r;
        }
    }
    EXPECT_EQ(ZNQOctreeFindInRadius(*oct, probes[0], 1.0f, nullptr, 0),
              ZNQOctreeFindInRadius(*oct, probes[0], 1.0f, out.data(), 5))
        << "the count does not depend on the room given";
}

TEST_F(GeometryDyn, IslandOctrees)
{
    for (int32_t threading : {0, 1})
    {
        Geo t(threading);
        ZNQGeometry& g = t.g;
        // Three separate tori side by side, plus single points.
        std::vector<float3> pos;
        std::vector<std::vector<int32_t>> polys;
        for (int32_t k = 0; k < 3; ++k)
        {
            FillTorus(g, 20 + 10 * k, 12, false);
            const int32_t base = static_cast<int32_t>(pos.size());
            for (int32_t v = 0; v < g._numVert; ++v)
                pos.push_back(float3{g._vertPos[v].x + 10.0f * k, g._vertPos[v].y,
                                     g._vertPos[v].z});
            const int32_t* ind = g._polyVInd;
            for (int32_t p = 0; p < g._numPoly; ++p, ind += 4)
                polys.push_back({base + ind[0], base + ind[1], base + ind[2], base + ind[3]});
        }
        pos.push_back(float3{0, 0, 50});
        Build(g, pos, polys);
        ASSERT_EQ(g._DynGetNumVertI(), 4);
        ZNQOctree* octs = g._DynGetVertIOctree();
        ASSERT_NE(octs, nullptr);
        const int32_t* id = g._DynGetVertIID();
        for (int32_t i = 0; i < 4; ++i)
        {
            EXPECT_EQ(octs[i]._numPoints, g._dyn._vertINumVert[i]);
            EXPECT_EQ(octs[i]._levels, 10);
            std::vector<int32_t> out(g._numVert);
            const int32_t found = ZNQOctreeFindInRadius(octs[i], float3{10, 0, 0}, 100.0f,
                                                        out.data(), g._numVert);
            EXPECT_EQ(found, g._dyn._vertINumVert[i]);
            for (int32_t k = 0; k < found; ++k)
                EXPECT_EQ(id[out[k]], i);
        }
        const int64_t before = g._memUsed;
        g._DynRelease(kDynVertIOctree);
        EXPECT_LT(g._memUsed, before);
        EXPECT_EQ(g._dyn._vertIOctree, nullptr);
    }
}
