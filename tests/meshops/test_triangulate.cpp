// Triangulate, TriangulateFivePlus and TriangulateConcave.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>

#include "errors/ZNQError.h"
#include "geometry/ZNQGeometry.h"
#include "mesh_util.h"

using namespace kmesh;

namespace
{

using Tri = std::vector<int32_t>;

// Points in z = 0, polygon 0 over all of them in order.
void FlatPolygon(ZNQGeometry& g, const std::vector<std::pair<float, float>>& xy)
{
    std::vector<float3> pos;
    std::vector<int32_t> idx;
    for (const auto& p : xy)
    {
        idx.push_back(static_cast<int32_t>(pos.size()));
        pos.push_back({p.first, p.second, 0});
    }
    Build(g, pos, {idx});
}

float SignedAreaZ(const ZNQGeometry& g, const std::vector<int32_t>& idx)
{
    float a = 0;
    for (size_t k = 0; k < idx.size(); ++k)
    {
        const float3& p = g._vertPos[idx[k]];
        const float3& q = g._vertPos[idx[(k + 1) % idx.size()]];
        a += p.x * q.y - q.x * p.y;
    }
    return 0.5f * a;
}

// Regular c-gon (optionally a star with alternating radii) in z = 0.
std::vector<std::pair<float, float>> Ring(int c, float r0, float r1)
{
    std::vector<std::pair<float, float>> xy;
    for (int k = 0; k < c; ++k)
    {
        const double t = 2.0 * M_PI * k / c;
        const float r = (k % 2) ? r1 : r0;
        xy.emplace_back(float(r * std::cos(t)), float(r * std::sin(t)));
    }
    return xy;
}

} // namespace

// ---------------------------------------------------------------------------
// Hand-made polygons with known splits

TEST(Triangulate, ConvexQuadAlwaysSplitsAlongNodeZeroToTwo)
{
    // The 0-2 diagonal is four times as long as 1-3; it is still the one cut.
    Geo g;
    FlatPolygon(g.g, {{-2, 0}, {0, -0.5f}, {2, 0}, {0, 0.5f}});
    ASSERT_EQ(g->Triangulate(nullptr, 0, false), 0);
    EXPECT_EQ(PolysOf(g.g), (Polys{{0, 1, 2}, {0, 2, 3}}));
}

TEST(Triangulate, DartQuadsCutThroughTheReflexCorner)
{
    //        0 (0,2)
    //        |  \__
    //        1     3 (2,1)      reflex corner 1 at (0.5, 1)
    //        |  __/
    //        2 (0,0)
    Geo a, b, c;
    FlatPolygon(a.g, {{0, 2}, {0.5f, 1}, {0, 0}, {2, 1}});
    FlatPolygon(b.g, {{0, 0}, {2, 1}, {0, 2}, {0.5f, 1}}); // reflex at 3
    FlatPolygon(c.g, {{0.5f, 1}, {0, 0}, {2, 1}, {0, 2}}); // reflex at 0
    ASSERT_EQ(a->Triangulate(nullptr, 0, false), 0);
    ASSERT_EQ(b->Triangulate(nullptr, 0, false), 0);
    ASSERT_EQ(c->Triangulate(nullptr, 0, false), 0);
    EXPECT_EQ(PolysOf(a.g), (Polys{{1, 2, 3}, {1, 3, 0}}));
    EXPECT_EQ(PolysOf(b.g), (Polys{{1, 2, 3}, {1, 3, 0}}));
    EXPECT_EQ(PolysOf(c.g), (Polys{{0, 1, 2}, {0, 2, 3}}));
}

TEST(Triangulate, ConvexHexagonFansFromNodeZero)
{
    Geo g;
    FlatPolygon(g.g, Ring(6, 1, 1));
    ASSERT_EQ(g->Triangulate(nullptr, 0, false), 0);
    EXPECT_EQ(PolysOf(g.g), (Polys{{0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {0, 4, 5}}));
}

TEST(Triangulate, LShapedHexagonByEarClipping)
{
    //  5 - 4
    //  |   |
    //  |   3 - 2
    //  |       |
    //  0 ----- 1
    Geo g;
    FlatPolygon(g.g, {{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}});
    ASSERT_EQ(g->Triangulate(nullptr, 0, false), 0);
    const auto tris = PolysOf(g.g);
    EXPECT_EQ(tris, (Polys{{4, 5, 3}, {5, 0, 3}, {3, 0, 2}, {0, 1, 2}}));
    float area = 0;
    for (const auto& t : tris)
    {
        EXPECT_GT(SignedAreaZ(g.g, t), 0.0f);
        area += SignedAreaZ(g.g, t);
    }
    EXPECT_FLOAT_EQ(area, 3.0f);
}

TEST(Triangulate, SevenGonGivesFiveTriangles)
{
    for (float inner : {1.0f, 0.4f}) // convex, then a concave star
    {
        Geo g;
        std::vector<float3> pos;
        for (const auto& p : Ring(7, 1, inner))
            pos.push_back({p.first, p.second, 0});
        pos.push_back({5, 5, 5});
        pos.push_back({5, 6, 5});
        pos.push_back({6, 6, 5});
        Build(g.g, pos, {{7, 8, 9}, {0, 1, 2, 3, 4, 5, 6}});
        ASSERT_EQ(g->Triangulate(nullptr, 0, false), 0);
        EXPECT_EQ(g->_numPoly, 2 + 4);
        EXPECT_EQ(g->NumNodes(), 3 + 15);
        EXPECT_EQ(Poly(g.g, 0), (Tri{7, 8, 9}));
        // Convex fan or ears cut from the star: no triangle turns over.
        for (int32_t p = 1; p < g->_numPoly; ++p)
            EXPECT_GT(SignedAreaZ(g.g, Poly(g.g, p)), 0.0f) << "inner " << inner << " tri " << p;
    }
}

// ---------------------------------------------------------------------------
// Selection

namespace
{
// Four unit quads in a row, polygons 0..3.
void QuadRow(ZNQGeometry& g)
{
    std::vector<float3> pos;
    for (int i = 0; i < 5; ++i)
        pos.push_back({float(i), 0, 0});
    for (int i = 0; i < 5; ++i)
        pos.push_back({float(i), 1, 0});
    Build(g, pos, {{0, 1, 6, 5}, {1, 2, 7, 6}, {2, 3, 8, 7}, {3, 4, 9, 8}});
}
} // namespace

TEST(Triangulate, SelectionListWithAndWithoutKeep)
{
    const int32_t list[] = {2, -1, 99}; // out-of-range entries are ignored
    Geo split, keep;
    QuadRow(split.g);
    QuadRow(keep.g);
    ASSERT_EQ(split->Triangulate(list, 3, false), 0);
    EXPECT_EQ(PolysOf(split.g), (Polys{{0, 1, 6, 5}, {1, 2, 7, 6}, {2, 3, 8}, {2, 8, 7},
                                                   {3, 4, 9, 8}}));
    ASSERT_EQ(keep->Triangulate(list, 3, true), 0);
    EXPECT_EQ(PolysOf(keep.g), (Polys{{0, 1, 6}, {0, 6, 5}, {1, 2, 7}, {1, 7, 6},
                                                  {2, 3, 8, 7}, {3, 4, 9}, {3, 9, 8}}));
}

TEST(Triangulate, EmptyListSplitsNothingOrEverything)
{
    const int32_t list[] = {1};
    Geo none, all;
    QuadRow(none.g);
    QuadRow(all.g);
    const Snapshot before = Take(none.g);
    EXPECT_EQ(none->Triangulate(list, 0, false), 0);
    EXPECT_TRUE(Take(none.g) == before);
    EXPECT_EQ(all->Triangulate(list, 0, true), 0);
    EXPECT_EQ(all->_numPoly, 8);
}

TEST(Triangulate, TwoGonFailsBeforeAnyChange)
{
    Geo g;
    Build(g.g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {3, 3, 3}},
          {{0, 1, 2, 3}, {0, 4}, {0, 1, 2, 3, 4}});
    AddNodeUvwCol(g.g);
    const Snapshot before = Take(g.g);
    EXPECT_EQ(g->Triangulate(nullptr, 0, false), ZNQ_ERR_ILLEGAL_POLYGONS);
    EXPECT_EQ(g->TriangulateFivePlus(), ZNQ_ERR_ILLEGAL_POLYGONS);
    EXPECT_EQ(g->TriangulateConcave(), ZNQ_ERR_ILLEGAL_POLYGONS);
    EXPECT_TRUE(Take(g.g) == before);
}

TEST(Triangulate, TrianglesOnlyKeepDerivedData)
{
    Geo g;
    Build(g.g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}});
    ASSERT_NE(g->_DynGetPolyNrm(), nullptr);
    const Snapshot before = Take(g.g);
    EXPECT_EQ(g->Triangulate(nullptr, 0, false), 0);
    EXPECT_EQ(g->TriangulateFivePlus(), 0);
    EXPECT_EQ(g->TriangulateConcave(), 0);
    EXPECT_TRUE(Take(g.g) == before);
    EXPECT_NE(g->_dyn._polyNrm, nullptr);
}

TEST(Triangulate, ReleasesDerivedDataAfterSplitting)
{
    Geo g;
    QuadRow(g.g);
    ASSERT_NE(g->_DynGetPolyNrm(), nullptr);
    ASSERT_EQ(g->Triangulate(nullptr, 0, false), 0);
    EXPECT_EQ(g->_dyn._polyNrm, nullptr);
    EXPECT_EQ(g->_dyn._polyNodeFlags, nullptr);
    EXPECT_EQ(g->_dyn._numPolyTris, -1);
    EXPECT_EQ(g->_DynGetNumPolyTris(), 8);
}

TEST(Triangulate, FivePlusSplitsOnlyLargePolygons)
{
    Geo g;
    std::vector<float3> pos;
    for (const auto& p : Ring(6, 1, 0.5f)) // concave hexagon: vertices 0..5
        pos.push_back({p.first, p.second, 0});
    for (const auto& p : Ring(5, 1, 1)) // pentagon: 6..10
        pos.push_back({p.first + 3, p.second, 0});
    pos.push_back({0, 3, 0}); // 11
    pos.push_back({2, 3, 0}); // 12
    pos.push_back({2.5f, 4, 0}); // 13: dart quad 11 12 13 14 stays a quad
    pos.push_back({1, 3.2f, 0}); // 14
    Build(g.g, pos, {{11, 12, 13}, {0, 1, 2, 3, 4, 5}, {11, 12, 13, 14}, {6, 7, 8, 9, 10}});
    ASSERT_EQ(g->TriangulateFivePlus(), 0);
    EXPECT_EQ(g->_numPoly, 1 + 4 + 1 + 3);
    EXPECT_EQ(Poly(g.g, 0), (Tri{11, 12, 13}));
    EXPECT_EQ(Poly(g.g, 5), (Tri{11, 12, 13, 14}));
    EXPECT_EQ(Poly(g.g, 6), (Tri{6, 7, 8}));
    EXPECT_EQ(Poly(g.g, 8), (Tri{6, 9, 10}));
}

TEST(Triangulate, ConcaveSplitsOnlyConcavePolygons)
{
    Geo g;
    std::vector<float3> pos = {{0, 0, 0}, {2, 1, 0}, {0, 2, 0}, {0.5f, 1, 0}, // dart 0..3
                               {3, 0, 0}, {4, 0, 0}, {4, 1, 0}, {3, 1, 0}};   // square 4..7
    for (const auto& p : Ring(5, 1, 1))
        pos.push_back({p.first + 6, p.second, 0}); // pentagon 8..12
    Build(g.g, pos, {{4, 5, 6, 7}, {0, 1, 2, 3}, {8, 9, 10, 11, 12}, {4, 5, 6}});
    ASSERT_EQ(g->TriangulateConcave(), 0);
    EXPECT_EQ(PolysOf(g.g), (Polys{{4, 5, 6, 7}, {1, 2, 3}, {1, 3, 0},
                                               {8, 9, 10, 11, 12}, {4, 5, 6}}));
}

// ---------------------------------------------------------------------------
// Memory, degenerate input, random polygons (node data follow their corners)

TEST(Triangulate, MemoryRefusalLeavesGeometryUnchanged)
{
    Geo g;
    QuadRow(g.g);
    AddNodeUvwCol(g.g);
    AddNodeNormals(g.g, {0, 0, 1});
    MemorySweep(g.g, [](ZNQGeometry& x) { return x.Triangulate(nullptr, 0, false); });
    Geo h;
    FlatPolygon(h.g, Ring(9, 1, 0.5f));
    AddNodeUvwCol(h.g);
    MemorySweep(h.g, [](ZNQGeometry& x) { return x.TriangulateFivePlus(); });
    MemorySweep(h.g, [](ZNQGeometry& x) { return x.TriangulateConcave(); });
}

TEST(Triangulate, LargestPolygonsAndDegenerateCorners)
{
    const float nan = std::nanf("");
    const float inf = INFINITY;
    std::vector<std::vector<std::pair<float, float>>> shapes = {
        Ring(255, 1, 1),     // convex: fan
        Ring(255, 1, 0.3f),  // star: ear clipping over 255 corners
        Ring(8, 1, -1),      // self-intersecting
    };
    // Collinear, coincident, NaN and infinite corners.
    shapes.push_back({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}});
    shapes.push_back({{0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}});
    shapes.push_back({{0, 0}, {1, 0}, {nan, 1}, {1, 1}, {0.5f, 0.2f}, {0, 1}});
    shapes.push_back({{0, 0}, {inf, 0}, {1, 1}, {0.5f, 0.2f}, {0, inf}, {-inf, 2}, {0, 1}});
    for (const auto& s : shapes)
    {
        Geo g;
        FlatPolygon(g.g, s);
        const int32_t c = static_cast<int32_t>(s.size());
        ASSERT_EQ(g->Triangulate(nullptr, 0, false), 0) << c;
        ASSERT_EQ(g->_numPoly, c - 2) << c;
        std::set<int32_t> used;
        for (int32_t p = 0; p < g->_numPoly; ++p)
        {
            const auto t = Poly(g.g, p);
            ASSERT_EQ(t.size(), 3u);
            EXPECT_TRUE(t[0] != t[1] && t[1] != t[2] && t[0] != t[2]);
            for (int32_t v : t)
            {
                ASSERT_GE(v, 0);
                ASSERT_LT(v, c);
                used.insert(v);
            }
        }
        EXPECT_EQ(used.size(), s.size()) << "every corner lies in some triangle";
    }
}

TEST(Triangulate, RandomizedInvariants)
{
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (int round = 0; round < 40; ++round)
    {
        // Polygons in random planes, star-shaped around a centre, convex or not.
        std::vector<float3> pos;
        std::vector<std::vector<int32_t>> polys;
        const int np = 1 + static_cast<int>(rng() % 30);
        for (int p = 0; p < np; ++p)
        {
            const int sizes[] = {3, 4, 4, 5, 6, 7, 9, 16, 40, 255};
            const int c = sizes[rng() % 10];
            const bool convex = rng() % 2;
            float3 ex{u(rng), u(rng), u(rng)}, ey{u(rng), u(rng), u(rng)};
            const float3 ctr{u(rng) * 10, u(rng) * 10, u(rng) * 10};
            std::vector<int32_t> idx;
            double t = 0;
            for (int k = 0; k < c; ++k)
            {
                t += (0.2 + 0.8 * (u(rng) + 1)) * 2.0 * M_PI / c / 1.2; // increasing angle
                const float r = convex ? 1.0f : 0.3f + 0.35f * (u(rng) + 1);
                const float a = float(r * std::cos(t)), b = float(r * std::sin(t));
                idx.push_back(static_cast<int32_t>(pos.size()));
                pos.push_back({ctr.x + a * ex.x + b * ey.x, ctr.y + a * ex.y + b * ey.y,
                               ctr.z + a * ex.z + b * ey.z});
            }
            polys.push_back(idx);
        }
        Geo g;
        Build(g.g, pos, polys);
        AddNodeUvwCol(g.g);
        AddNodeNormals(g.g, {1, 2, 3});
        for (int64_t k = 0; k < g->NumNodes(); ++k)
            g->_nodeNrm[k].x = float(k);
        Geo in;
        Clone(g.g, in.g);

        // Random selection, either way round, or everything.
        std::vector<int32_t> list;
        for (int p = 0; p < np; ++p)
            if (rng() % 3 == 0)
                list.push_back(p);
        const int mode = static_cast<int>(rng() % 3);
        const bool keep = mode == 1;
        const int32_t none = -1; // a list pointer even when the list is empty
        const int32_t* listPtr = list.empty() ? &none : list.data();
        ASSERT_EQ(mode == 2 ? g->Triangulate(nullptr, 0, false)
                            : g->Triangulate(listPtr, static_cast<int32_t>(list.size()), keep),
                  0);

        int32_t out = 0;
        for (int p = 0; p < np; ++p)
        {
            const int32_t c = static_cast<int32_t>(polys[p].size());
            const bool listed = std::find(list.begin(), list.end(), p) != list.end();
            const bool split = c > 3 && (mode == 2 || (list.empty() ? keep : listed != keep));
            const int64_t inOff = Offset(in.g, p);
            const int32_t made = split ? c - 2 : 1;
            std::set<int32_t> corners;
            for (int32_t q = out; q < out + made; ++q)
            {
                ASSERT_LT(q, g->_numPoly);
                const auto vs = Poly(g.g, q);
                ASSERT_EQ(static_cast<int32_t>(vs.size()), split ? 3 : c) << "round " << round;
                const int64_t o = Offset(g.g, q);
                for (size_t k = 0; k < vs.size(); ++k)
                {
                    // The input node of this polygon on the same vertex.
                    const auto it = std::find(polys[p].begin(), polys[p].end(), vs[k]);
                    ASSERT_NE(it, polys[p].end());
                    const int64_t src = inOff + (it - polys[p].begin());
                    corners.insert(vs[k]);
                    EXPECT_TRUE(Same(g->_nodeNrm[o + k], in->_nodeNrm[src]));
                    EXPECT_TRUE(Same(g->_nodeUvw[o + k], in->_nodeUvw[src]));
                    EXPECT_TRUE(Same(g->_nodeCol[o + k], in->_nodeCol[src]));
                }
            }
            EXPECT_EQ(static_cast<int32_t>(corners.size()), c);
            out += made;
        }
        EXPECT_EQ(out, g->_numPoly);
        EXPECT_EQ(g->_numVert, in->_numVert);
    }
}

// The split of each quad, worked out locally from the positions, is the one
// the derived records give: every corner convex, or the corner measures
// (1 - cos over convex corners, 3 + cos over reflex ones) favouring the
// diagonal 0-2, cut 0-2; else 1-3. Random quads, planar or twisted, convex,
// darts, with straight and nearly coincident corners; with node data and
// without (two writers).
TEST(Triangulate, QuadSplitsAgreeWithTheDerivedRecords)
{
    std::mt19937 rng(77);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (int round = 0; round < 200; ++round)
    {
        std::vector<float3> pos;
        std::vector<std::vector<int32_t>> polys;
        for (int q = 0; q < 50; ++q)
        {
            std::vector<int32_t> idx;
            const int kind = static_cast<int>(rng() % 4);
            for (int k = 0; k < 4; ++k)
            {
                float3 p{u(rng), u(rng), kind == 0 ? u(rng) : 0.0f}; // kind 0: twisted
                if (kind == 2 && k == 2) // corner 1 straight
                    p = {2.0f * pos.back().x - pos[pos.size() - 2].x, 2.0f * pos.back().y - pos[pos.size() - 2].y,
                         0.0f};
                if (kind == 3 && k == 3)
                    p = {pos.back().x + 1e-7f, pos.back().y, 0.0f}; // nearly coincident
                idx.push_back(static_cast<int32_t>(pos.size()));
                pos.push_back(p);
            }
            polys.push_back(idx);
        }
        Geo g;
        Build(g.g, pos, polys);
        if (round % 2)
            AddNodeUvwCol(g.g);
        const uint8_t* polyFlags = g->_DynGetPolyFlags();
        const ZNQNodeFlags* nodeFlags = g->_DynGetPolyNodeFlags();
        ASSERT_TRUE(polyFlags && nodeFlags);
        std::vector<bool> cutZeroTwo;
        for (int p = 0; p < 50; ++p)
        {
            const ZNQNodeFlags* f = nodeFlags + 4 * p;
            float m[4];
            for (int k = 0; k < 4; ++k)
            {
                const float cs = static_cast<float>(f[k]._cos);
                m[k] = (f[k]._convex & 1) ? 1.0f - cs : 3.0f + cs;
            }
            cutZeroTwo.push_back((polyFlags[p] & kPolyFlagConvex) || m[0] + m[2] >= m[1] + m[3]);
        }
        ASSERT_EQ(g->Triangulate(nullptr, 0, false), 0);
        ASSERT_EQ(g->_numPoly, 100);
        for (int p = 0; p < 50; ++p)
        {
            const std::vector<int32_t>& s = polys[p];
            const Tri a = Poly(g.g, 2 * p), b = Poly(g.g, 2 * p + 1);
            if (cutZeroTwo[p])
                EXPECT_TRUE(a == (Tri{s[0], s[1], s[2]}) && b == (Tri{s[0], s[2], s[3]})) << round << " " << p;
            else
                EXPECT_TRUE(a == (Tri{s[1], s[2], s[3]}) && b == (Tri{s[1], s[3], s[0]})) << round << " " << p;
        }
    }
}

// Polygons of 5 to 32 corners are judged convex or concave by Triangulate's
// own analysis, larger ones by the derived records; both call the one corner
// rule. The judgement must be the derived one: a polygon the records flag
// convex comes out as the fan from node 0, a concave one never does (ear
// clipping starts its first triangle at the clipped corner). Random rings,
// stars, twisted and nearly straight polygons.
TEST(Triangulate, FivePlusConvexityAgreesWithTheDerivedRecords)
{
    std::mt19937 rng(91);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (int round = 0; round < 100; ++round)
    {
        std::vector<float3> pos;
        std::vector<std::vector<int32_t>> polys;
        for (int q = 0; q < 20; ++q)
        {
            const int c = 5 + static_cast<int>(rng() % 28);
            const int kind = static_cast<int>(rng() % 4);
            std::vector<int32_t> idx;
            for (int k = 0; k < c; ++k)
            {
                const double t = 2.0 * M_PI * k / c;
                float r = 1.0f;
                if (kind == 1)
                    r = (k % 2) ? 0.4f : 1.0f; // star
                else if (kind == 2)
                    r = 1.0f + 0.3f * u(rng); // ragged
                const float z = kind == 3 ? 0.2f * u(rng) : 0.0f; // twisted
                idx.push_back(static_cast<int32_t>(pos.size()));
                pos.push_back({float(r * std::cos(t)), float(r * std::sin(t)), z});
            }
            polys.push_back(idx);
        }
        Geo g;
        Build(g.g, pos, polys);
        const uint8_t* polyFlags = g->_DynGetPolyFlags();
        ASSERT_TRUE(polyFlags);
        std::vector<bool> convex;
        for (size_t p = 0; p < polys.size(); ++p)
            convex.push_back((polyFlags[p] & kPolyFlagConvex) != 0);
        ASSERT_EQ(g->Triangulate(nullptr, 0, false), 0);
        int32_t out = 0;
        for (size_t p = 0; p < polys.size(); ++p)
        {
            const std::vector<int32_t>& s = polys[p];
            bool fan = true;
            for (size_t k = 0; k + 2 < s.size(); ++k)
                fan = fan && Poly(g.g, out + static_cast<int32_t>(k)) == (Tri{s[0], s[k + 1], s[k + 2]});
            EXPECT_EQ(fan, convex[p]) << round << " " << p;
            out += static_cast<int32_t>(s.size()) - 2;
        }
    }
}
