// Randomized invariant checks of the topology items on generated meshes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <set>
#include <utility>
#include <vector>

#include "GeoTestMesh.h"

using GeometryRandom = GeoTest;

namespace
{
struct Rng
{
    uint32_t s;
    uint32_t Next()
    {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
    int32_t Below(int32_t n) { return static_cast<int32_t>(Next() % static_cast<uint32_t>(n)); }
    float Unit() { return static_cast<float>(Next() & 0xFFFFFF) / 16777216.0f; }
};

// A random soup of legal polygons of 3 to 7 distinct corners, some sharing
// edges, plus a few unused vertices.
void FillRandomMesh(ZNQGeometry& g, Rng& rng, int32_t numVert, int32_t numPoly)
{
    std::vector<float3> pos(numVert);
    for (float3& p : pos)
        p = float3{rng.Unit() * 10.0f, rng.Unit() * 10.0f, rng.Unit() * 10.0f};
    std::vector<std::vector<int32_t>> polys;
    for (int32_t p = 0; p < numPoly; ++p)
    {
        const int32_t n = 3 + rng.Below(5);
        std::vector<int32_t> poly;
        // Corners drawn from a small window so that polygons share vertices.
        const int32_t base = rng.Below(numVert - 12);
        while (static_cast<int32_t>(poly.size()) < n)
        {
            const int32_t v = base + rng.Below(12);
            if (std::find(poly.begin(), poly.end(), v) == poly.end())
                poly.push_back(v);
        }
        polys.push_back(poly);
    }
    Build(g, pos, polys);
}

int32_t Find(const int32_t* list, int32_t n, int32_t value)
{
    for (int32_t i = 0; i < n; ++i)
        if (list[i] == value)
            return i;
    return -1;
}

void CheckTopologyInvariants(ZNQGeometry& g)
{
    const int32_t numVert = g._numVert;
    uint8_t* epNum = g._DynGetEdgeAdjPolyNum();
    ASSERT_NE(epNum, nullptr);
    int32_t** epArr = g._DynGetEdgeAdjPolyArr();
    const uint8_t* adjNum = g._DynGetVertAdjVertNum();
    int32_t** adj = g._DynGetVertAdjVertArr();
    const uint8_t* veNum = g._DynGetVertAdjEdgeNum();
    int32_t** ve = g._DynGetVertAdjEdgeArr();
    const int32_t* edges = g._DynGetEdges();
    const int32_t numEdges = g._DynGetNumEdges();
    const int32_t* eind = g._DynGetPolyEInd();
    const uint8_t* vpNum = g._DynGetVertAdjPolyNum();
    int32_t** vp = g._DynGetVertAdjPolyArr();
    ASSERT_TRUE(adj && ve && edges && eind && vp && epArr);

    // The neighbour relation is exactly "consecutive in some polygon".
    std::set<std::pair<int32_t, int32_t>> pairs;
    {
        const int32_t* ind = g._polyVInd;
        for (int32_t p = 0; p < g._numPoly; ++p)
        {
            const int32_t n = g._polyNumVert[p];
            for (int32_t k = 0; k < n; ++k)
            {
                const int32_t a = ind[k], b = ind[(k + 1) % n];
                pairs.insert({std::min(a, b), std::max(a, b)});
            }
            ind += n;
        }
    }
    ASSERT_EQ(static_cast<size_t>(numEdges), pairs.size());

    // The lists in the order of the node walk: each node adds its next
    // node's vertex, then its previous node's, when not listed yet; each
    // node keeps the place of its next node's vertex.
    {
        std::vector<std::vector<int32_t>> want(static_cast<size_t>(numVert));
        std::vector<int32_t> wantSlot;
        const int32_t* ind = g._polyVInd;
        for (int32_t p = 0; p < g._numPoly; ++p)
        {
            const int32_t n = g._polyNumVert[p];
            for (int32_t k = 0; k < n; ++k)
            {
                std::vector<int32_t>& l = want[static_cast<size_t>(ind[k])];
                for (const int32_t w : {ind[(k + 1) % n], ind[(k + n - 1) % n]})
                    if (std::find(l.begin(), l.end(), w) == l.end())
                        l.push_back(w);
                wantSlot.push_back(Find(l.data(), static_cast<int32_t>(l.size()), ind[(k + 1) % n]));
            }
            ind += n;
        }
        for (int32_t v = 0; v < numVert; ++v)
            ASSERT_EQ(std::vector<int32_t>(adj[v], adj[v] + adjNum[v]), want[static_cast<size_t>(v)]) << v;
        const uint8_t* slot = g._dyn._nodeAdjNextSlot;
        ASSERT_NE(slot, nullptr);
        for (size_t i = 0; i < wantSlot.size(); ++i)
            ASSERT_EQ(slot[i], wantSlot[i]) << i;
    }

    int64_t adjSum = 0;
    for (int32_t v = 0; v < numVert; ++v)
    {
        adjSum += adjNum[v];
        ASSERT_EQ(veNum[v], adjNum[v]);
        for (int32_t k = 0; k < adjNum[v]; ++k)
        {
            const int32_t w = adj[v][k];
            ASSERT_NE(w, v);
            ASSERT_TRUE(pairs.count({std::min(v, w), std::max(v, w)})) << v << " " << w;
            ASSERT_EQ(Find(adj[v], k, w), -1) << "listed once";
            // Entry k of the edge list joins v with entry k of the neighbours.
            const int32_t e = ve[v][k];
            ASSERT_TRUE(e >= 0 && e < numEdges);
            ASSERT_EQ(std::min(v, w), edges[2 * e]);
            ASSERT_EQ(std::max(v, w), edges[2 * e + 1]);
        }
    }
    ASSERT_EQ(adjSum, 2 * static_cast<int64_t>(numEdges));

    // Every edge's ends are neighbours of each other, and edges are numbered
    // by lower end.
    for (int32_t e = 0; e < numEdges; ++e)
    {
        const int32_t a = edges[2 * e], b = edges[2 * e + 1];
        ASSERT_LT(a, b);
        const int32_t ia = Find(adj[a], adjNum[a], b);
        const int32_t ib = Find(adj[b], adjNum[b], a);
        ASSERT_GE(ia, 0);
        ASSERT_GE(ib, 0);
        ASSERT_EQ(ve[a][ia], e);
        ASSERT_EQ(ve[b][ib], e);
        if (e > 0)
        {
            ASSERT_LE(edges[2 * (e - 1)], a);
        }
    }

    // Node edge k joins node k's vertex with the next node's; edge-to-polygon
    // and vertex-to-polygon lists hold each polygon once per node, ascending.
    std::vector<int32_t> perEdge(numEdges, 0), perVert(numVert, 0);
    const int32_t* ind = g._polyVInd;
    for (int32_t p = 0; p < g._numPoly; ++p)
    {
        const int32_t n = g._polyNumVert[p];
        for (int32_t k = 0; k < n; ++k)
        {
            const int32_t a = ind[k], b = ind[(k + 1) % n];
            const int32_t e = eind[k];
            ASSERT_EQ(edges[2 * e], std::min(a, b));
            ASSERT_EQ(edges[2 * e + 1], std::max(a, b));
            int32_t inEdgeList = 0, nodesOnEdge = 0, inVertList = 0, nodesOnVert = 0;
            for (int32_t i = 0; i < epNum[e]; ++i)
                inEdgeList += epArr[e][i] == p;
            for (int32_t j = 0; j < n; ++j)
            {
                nodesOnEdge += eind[j] == e;
                nodesOnVert += ind[j] == a;
            }
            for (int32_t i = 0; i < vpNum[a]; ++i)
                inVertList += vp[a][i] == p;
            ASSERT_EQ(inEdgeList, nodesOnEdge);
            ASSERT_EQ(inVertList, nodesOnVert);
            ++perEdge[e];
            ++perVert[a];
        }
        ind += n;
        eind += n;
    }
    for (int32_t e = 0; e < numEdges; ++e)
    {
        ASSERT_EQ(epNum[e], perEdge[e]);
        ASSERT_TRUE(std::is_sorted(epArr[e], epArr[e] + epNum[e]));
    }
    for (int32_t v = 0; v < numVert; ++v)
    {
        ASSERT_EQ(vpNum[v], perVert[v]);
        ASSERT_TRUE(std::is_sorted(vp[v], vp[v] + vpNum[v]));
    }
}

// Connected components by union-find, for comparison with the islands.
std::vector<int32_t> ReferenceComponents(const ZNQGeometry& g)
{
    std::vector<int32_t> parent(g._numVert);
    std::iota(parent.begin(), parent.end(), 0);
    auto root = [&](int32_t v) {
        while (parent[v] != v)
            v = parent[v] = parent[parent[v]];
        return v;
    };
    const int32_t* ind = g._polyVInd;
    for (int32_t p = 0; p < g._numPoly; ++p)
    {
        const int32_t n = g._polyNumVert[p];
        for (int32_t k = 1; k < n; ++k)
            parent[root(ind[k])] = root(ind[0]);
        ind += n;
    }
    for (int32_t v = 0; v < g._numVert; ++v)
        parent[v] = root(v);
    return parent;
}
} // namespace

TEST_F(GeometryRandom, TopologyInvariants)
{
    Rng rng{0x2545F491u};
    for (int32_t round = 0; round < 12; ++round)
    {
        Geo t;
        ZNQGeometry& g = t.g;
        const int64_t start = g._memUsed;
        if (round % 4 == 3)
            FillTorus(g, 8 + rng.Below(30), 3 + rng.Below(20), round % 8 == 3);
        else
            FillRandomMesh(g, rng, 60 + rng.Below(400), 20 + rng.Below(300));
        SCOPED_TRACE(round);
        CheckTopologyInvariants(g);
        g.Clear();
        EXPECT_EQ(g._memUsed, start);
    }
}

TEST_F(GeometryRandom, IslandsMatchConnectedComponents)
{
    Rng rng{0x9E3779B9u};
    for (int32_t round = 0; round < 8; ++round)
    {
        Geo t;
        ZNQGeometry& g = t.g;
        // Sparse polygons over many vertices: many islands of all sizes.
        FillRandomMesh(g, rng, 200 + rng.Below(2000), 10 + rng.Below(400));
        const std::vector<int32_t> ref = ReferenceComponents(g);
        const int32_t numI = g._DynGetNumVertI();
        const int32_t* id = g._DynGetVertIID();
        ASSERT_NE(id, nullptr);
        // Same partition, islands numbered by their lowest vertex.
        std::vector<int32_t> firstOf(numI, -1);
        for (int32_t v = 0; v < g._numVert; ++v)
        {
            ASSERT_TRUE(id[v] >= 0 && id[v] < numI);
            if (firstOf[id[v]] < 0)
            {
                ASSERT_TRUE(id[v] == 0 || firstOf[id[v] - 1] >= 0) << "numbered in seed order";
                firstOf[id[v]] = v;
            }
            ASSERT_EQ(ref[v], ref[firstOf[id[v]]]);
        }
        std::set<int32_t> roots(ref.begin(), ref.end());
        ASSERT_EQ(static_cast<size_t>(numI), roots.size());
        const ZNQDynData& d = g._dyn;
        int32_t total = 0;
        for (int32_t i = 0; i < numI; ++i)
        {
            total += d._vertINumVert[i];
            ASSERT_TRUE(std::is_sorted(d._vertIVertArr[i], d._vertIVertArr[i] + d._vertINumVert[i]));
            for (int32_t k = 0; k < d._vertINumVert[i]; ++k)
                ASSERT_EQ(id[d._vertIVertArr[i][k]], i);
        }
        ASSERT_EQ(total, g._numVert);
    }
}

TEST_F(GeometryRandom, CachedItemsStayUntilReleasedAndRebuildIdentically)
{
    Rng rng{77u};
    FillRandomMesh(g, rng, 500, 400);
    int32_t** adj = g._DynGetVertAdjVertArr();
    int32_t* edges = g._DynGetEdges();
    int32_t* eind = g._DynGetPolyEInd();
    float3* nrm = g._DynGetPolyNrm();
    ZNQNodeFlags* nf = g._DynGetPolyNodeFlags();
    ASSERT_TRUE(adj && edges && eind && nrm && nf);
    const int32_t numEdges = g._DynGetNumEdges();
    const std::vector<int32_t> edgesCopy(edges, edges + 2 * numEdges);
    const std::vector<int32_t> eindCopy(eind, eind + g.NumNodes());
    std::vector<float3> nrmCopy(nrm, nrm + g._numPoly);

    for (int32_t i = 0; i < 3; ++i)
    {
        g._DynGetVertNrm(); // other items come and go
        g._DynRelease(kDynVertNrm | kDynPolyFlags);
        EXPECT_EQ(g._DynGetVertAdjVertArr(), adj);
        EXPECT_EQ(g._DynGetEdges(), edges);
        EXPECT_EQ(g._DynGetPolyEInd(), eind);
        EXPECT_EQ(g._DynGetPolyNrm(), nrm);
        EXPECT_EQ(g._DynGetPolyNodeFlags(), nf);
    }

    g._DynRelease(kDynAll);
    EXPECT_EQ(g._dyn._edges, nullptr);
    EXPECT_EQ(g._dyn._polyEInd, nullptr);
    ASSERT_EQ(g._DynGetNumEdges(), numEdges);
    EXPECT_EQ(std::vector<int32_t>(g._DynGetEdges(), g._DynGetEdges() + 2 * numEdges), edgesCopy);
    EXPECT_EQ(std::vector<int32_t>(g._DynGetPolyEInd(), g._DynGetPolyEInd() + g.NumNodes()),
              eindCopy);
    // Without the neighbour lists cached the node edges come from the edge
    // ends instead of the kept list places: the same numbers.
    g._DynRelease(kDynPolyEInd | kDynVertAdjVert);
    EXPECT_EQ(g._dyn._nodeAdjNextSlot, nullptr);
    ASSERT_NE(g._DynGetPolyEInd(), nullptr);
    EXPECT_EQ(g._dyn._vertAdjVertNum, nullptr);
    EXPECT_EQ(std::vector<int32_t>(g._DynGetPolyEInd(), g._DynGetPolyEInd() + g.NumNodes()),
              eindCopy);
    const float3* again = g._DynGetPolyNrm();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(std::memcmp(again, nrmCopy.data(), sizeof(float3) * nrmCopy.size()), 0);

    // Asking with several bits at once builds them all, in order.
    g._DynRelease(kDynAll);
    EXPECT_TRUE(g._DynBuild(kDynAll));
    EXPECT_EQ(g._dyn._numEdges, numEdges);
    EXPECT_NE(g._dyn._vertIOctree, nullptr);
    EXPECT_NE(g._dyn._vertNrm, nullptr);
}

TEST_F(GeometryRandom, RandomIndicesNeverLeaveBounds)
{
    // Arbitrary index soup, out-of-range and repeated indices included: every
    // item must build or fail without touching memory outside its arrays.
    Rng rng{4242u};
    for (int32_t round = 0; round < 20; ++round)
    {
        Geo t;
        ZNQGeometry& g = t.g;
        const int32_t numVert = 1 + rng.Below(40);
        std::vector<float3> pos(numVert);
        for (float3& p : pos)
            p = float3{rng.Unit(), rng.Unit(), rng.Unit()};
        std::vector<std::vector<int32_t>> polys(rng.Below(60));
        for (auto& poly : polys)
        {
            poly.resize(rng.Below(8));
            for (int32_t& v : poly)
                v = rng.Below(numVert + 4) - 2;
        }
        Build(g, pos, polys);
        const int64_t loaded = g._memUsed;
        EXPECT_TRUE(g._DynBuild(kDynAll)) << round;
        EXPECT_NE(g._DynGetPolyFlags(), nullptr);
        EXPECT_NE(g._DynGetEdgeAdjPolyArr(), nullptr);
        g._DynRelease(kDynAll);
        EXPECT_EQ(g._memUsed, loaded);
    }
}
