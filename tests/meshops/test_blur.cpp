// Blurs and smoothing: BlurVertexData in all five layouts against a plain
// reference, the wrappers for normals, motions, colours, UVWs and positions,
// FillZeroNodeNormals, and the failure paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <Imath/half.h>

#include "errors/ZNQError.h"
#include "mesh_util.h"

using namespace kmesh;

namespace
{

// Neighbour lists as the geometry defines them: per node, the next and then
// the previous node's vertex, each once, polygons and nodes in order.
std::vector<std::vector<int32_t>> RefAdjacency(const ZNQGeometry& g)
{
    std::vector<std::vector<int32_t>> adj(static_cast<size_t>(g._numVert));
    for (const auto& poly : PolysOf(g))
    {
        const size_t n = poly.size();
        for (size_t i = 0; i < n; ++i)
        {
            auto& list = adj[static_cast<size_t>(poly[i])];
            for (int32_t w : {poly[(i + 1) % n], poly[(i + n - 1) % n]})
                if (std::find(list.begin(), list.end(), w) == list.end())
                    list.push_back(w);
        }
    }
    return adj;
}

// Reference Jacobi blur on C floats per element, single precision.
std::vector<float> RefBlur(const ZNQGeometry& g, std::vector<float> data, int C, float strength, int iterations,
                           const float* weights = nullptr)
{
    const auto adj = RefAdjacency(g);
    strength = std::min(strength, 1.0f);
    for (int it = 0; it < iterations; ++it)
    {
        std::vector<float> next(data.size());
        for (size_t v = 0; v < adj.size(); ++v)
        {
            float f = strength;
            if (weights)
                f = std::min(1.0f, std::max(0.0f, strength * weights[v]));
            for (int c = 0; c < C; ++c)
            {
                const size_t i = v * C + c;
                if (adj[v].empty())
                {
                    next[i] = data[i];
                    continue;
                }
                float s = 0.0f;
                for (int32_t w : adj[v])
                    s += data[static_cast<size_t>(w) * C + c];
                next[i] = (1.0f - f) * data[i] + f * s / static_cast<float>(adj[v].size());
            }
        }
        data = next;
    }
    return data;
}

// 3 x 2 grid of triangles plus vertex 12, which no polygon uses.
void GridWithIsolated(ZNQGeometry& g)
{
    std::vector<float3> pos;
    GridVerts(3, 2, pos);
    Polys polys;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            CellTris(3, x, y, polys);
    pos.push_back(float3{9.0f, 9.0f, 9.0f});
    Build(g, pos, polys);
}

std::vector<float> Values(int n, int C, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(-4.0f, 4.0f);
    std::vector<float> v(static_cast<size_t>(n) * C);
    for (float& x : v)
        x = d(rng);
    return v;
}

} // namespace

TEST(BlurVertexData, MatchesReferenceForFloatLayouts)
{
    // Three iterations against the plain Jacobi reference; the unused
    // vertex 12 keeps its value.
    Geo geo;
    GridWithIsolated(geo.g);
    const int n = geo->_numVert;
    for (int type : {0, 2, 14})
    {
        const int C = type == 0 ? 3 : (type == 2 ? 4 : 1);
        for (float strength : {0.3f, 1.0f})
        {
            std::vector<float> data = Values(n, C, 7u + static_cast<unsigned>(type));
            const std::vector<float> expect = RefBlur(geo.g, data, C, strength, 3);
            ASSERT_EQ(geo->BlurVertexData(strength, nullptr, 3, data.data(), n, type), 0);
            for (size_t i = 0; i < data.size(); ++i)
                ASSERT_EQ(data[i], expect[i]) << "type " << type << " strength " << strength << " at " << i;
        }
    }
}

TEST(BlurVertexData, StrengthRules)
{
    // Triangle 0-1-2: with strength 1 each value becomes the mean of the other two.
    Geo geo;
    Build(geo.g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    std::vector<float> data = {1.0f, 2.0f, 4.0f};
    ASSERT_EQ(geo->BlurVertexData(1.0f, nullptr, 1, data.data(), 3, 14), 0);
    EXPECT_EQ(data, (std::vector<float>{3.0f, 2.5f, 1.5f}));

    std::vector<float> above = {1.0f, 2.0f, 4.0f};
    ASSERT_EQ(geo->BlurVertexData(7.5f, nullptr, 1, above.data(), 3, 14), 0);
    EXPECT_EQ(above, data) << "strength above 1 acts as 1";

    for (float s : {0.0f, -1.0f, std::nanf("")})
    {
        std::vector<float> same = {1.0f, 2.0f, 4.0f};
        EXPECT_EQ(geo->BlurVertexData(s, nullptr, 3, same.data(), 3, 14), 0);
        EXPECT_EQ(same, (std::vector<float>{1.0f, 2.0f, 4.0f})) << "strength " << s;
    }
    std::vector<float> none = {1.0f, 2.0f, 4.0f};
    EXPECT_EQ(geo->BlurVertexData(1.0f, nullptr, 0, none.data(), 3, 14), 0);
    EXPECT_EQ(none, (std::vector<float>{1.0f, 2.0f, 4.0f})) << "zero iterations";
}

TEST(BlurVertexData, WeightsScaleAndClamp)
{
    Geo geo;
    GridWithIsolated(geo.g);
    const int n = geo->_numVert;
    std::vector<float> weights(static_cast<size_t>(n), 0.5f);
    weights[4] = 0.0f;          // fixed
    weights[5] = 3.0f;          // 0.8 * 3 clamps to 1
    weights[6] = -2.0f;         // clamps to 0
    weights[7] = std::nanf(""); // treated as 0
    std::vector<float> data = Values(n, 3, 5u);
    const std::vector<float> orig = data;
    const std::vector<float> expect = RefBlur(geo.g, data, 3, 0.8f, 2, weights.data());
    ASSERT_EQ(geo->BlurVertexData(0.8f, weights.data(), 2, data.data(), n, 0), 0);
    EXPECT_EQ(data, expect);
    for (int v : {4, 6, 7})
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(data[v * 3 + c], orig[v * 3 + c]) << "vertex " << v;
}

TEST(BlurVertexData, HalfAndDoubleLayouts)
{
    Geo geo;
    Build(geo.g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    // Halves: exact values; the zero result is stored as +0.
    std::vector<half> h = {half(0.0f), half(1.0f), half(-1.0f)};
    ASSERT_EQ(geo->BlurVertexData(1.0f, nullptr, 1, h.data(), 3, 7), 0);
    EXPECT_EQ(h[0].bits(), half(0.0f).bits()) << "(1 + -1) / 2 stored as +0";
    EXPECT_EQ(static_cast<float>(h[1]), -0.5f);
    EXPECT_EQ(static_cast<float>(h[2]), 0.5f);
    // Half rounding: 1/3 is not a half; the blend converts through half.
    std::vector<half> r = {half(1.0f), half(0.0f), half(0.0f)};
    ASSERT_EQ(geo->BlurVertexData(1.0f / 3.0f, nullptr, 1, r.data(), 3, 7), 0);
    const float third = 1.0f / 3.0f;
    EXPECT_EQ(r[0].bits(), half((1.0f - third) * 1.0f + third * 0.0f / 2.0f).bits());
    EXPECT_EQ(r[1].bits(), half(third * 1.0f / 2.0f).bits());

    // Negative zeros everywhere: the zero result comes out as +0.
    std::vector<float> nz = {-0.0f, -0.0f, -0.0f};
    ASSERT_EQ(geo->BlurVertexData(1.0f, nullptr, 1, nz.data(), 3, 14), 0);
    for (float f : nz)
        EXPECT_EQ(Bits(f), 0u);
    std::vector<half> hz = {half(-0.0f), half(-0.0f), half(-0.0f)};
    ASSERT_EQ(geo->BlurVertexData(1.0f, nullptr, 1, hz.data(), 3, 7), 0);
    for (half f : hz)
        EXPECT_EQ(f.bits(), 0u);

    // Doubles are blended in double precision: 0.1 + 0.2 is not 0.3 here.
    std::vector<double> d = {0.0, 0.1, 0.2};
    ASSERT_EQ(geo->BlurVertexData(1.0f, nullptr, 1, d.data(), 3, 15), 0);
    EXPECT_EQ(d[0], (0.1 + 0.2) / 2.0);
    EXPECT_EQ(d[1], (0.2 + 0.0) / 2.0);
    const double f = static_cast<double>(0.3f);
    std::vector<double> d2 = {1.0, 0.0, 0.0};
    ASSERT_EQ(geo->BlurVertexData(0.3f, nullptr, 1, d2.data(), 3, 15), 0);
    EXPECT_EQ(d2[0], (1.0 - f) * 1.0);
    EXPECT_EQ(d2[1], f * 1.0 / 2.0);
}

TEST(BlurVertexData, RefusalsLeaveDataUnchanged)
{
    Geo geo;
    GridWithIsolated(geo.g);
    const int n = geo->_numVert;
    std::vector<float> data = Values(n, 3, 3u);
    const std::vector<float> orig = data;
    EXPECT_EQ(geo->BlurVertexData(1.0f, nullptr, 1, data.data(), n - 1, 0), ZNQ_ERR_ILLEGAL_PARAMETER);
    EXPECT_EQ(geo->BlurVertexData(1.0f, nullptr, 1, nullptr, n, 0), ZNQ_ERR_ILLEGAL_PARAMETER);
    EXPECT_EQ(geo->BlurVertexData(1.0f, nullptr, 1, data.data(), n, 3), ZNQ_ERR_UNSUPPORTED_DATA_TYPE);
    EXPECT_EQ(data, orig);

    // Scratch refused by the memory limit: error 10, data and books intact.
    ASSERT_NE(geo->_DynGetVertAdjVertNum(), nullptr);
    const int64_t used = geo->_memUsed;
    geo->_memLimitOn = 1;
    geo->_memLimit = used + 8;
    EXPECT_EQ(geo->BlurVertexData(1.0f, nullptr, 2, data.data(), n, 0), ZNQ_ERR_MEMORY);
    EXPECT_EQ(data, orig);
    EXPECT_EQ(geo->_memUsed, used);
    geo->_memLimitOn = 0;

    // Nothing to do without polygons or with fewer than two vertices.
    Geo lone;
    Build(lone.g, {{0, 0, 0}}, {});
    float one[3] = {1, 2, 3};
    EXPECT_EQ(lone->BlurVertexData(1.0f, nullptr, 1, one, 5, 0), 0);
}

TEST(BlurVertexData, HighValenceVertexFailsWithAdjacencyCode)
{
    // A fan of 300 triangles around vertex 0: 300 neighbours do not fit a
    // one-byte count, so the adjacency build fails and so does the blur.
    std::vector<float3> pos = {{0, 0, 0}};
    Polys polys;
    for (int i = 0; i < 300; ++i)
    {
        const float a = 6.2831853f * static_cast<float>(i) / 300.0f;
        pos.push_back(float3{std::cos(a), std::sin(a), 0});
        polys.push_back({0, 1 + i, 1 + (i + 1) % 300});
    }
    Geo geo;
    Build(geo.g, pos, polys);
    std::vector<float> data = Values(geo->_numVert, 1, 1u);
    const std::vector<float> orig = data;
    EXPECT_EQ(geo->BlurVertexData(1.0f, nullptr, 1, data.data(), geo->_numVert, 14), 102);
    EXPECT_EQ(data, orig);
    EXPECT_EQ(geo->SimpleSmooth(1.0f, 1), 102);
}

TEST(BlurNormals, NodeNormalsTakeSmoothedUnitVertexNormals)
{
    Geo geo;
    GridWithIsolated(geo.g);
    // Bend the grid so that vertex normals differ.
    for (int v = 0; v < geo->_numVert - 1; ++v)
        geo->_vertPos[v].z = 0.3f * geo->_vertPos[v].x * geo->_vertPos[v].x;
    // Reference: the unsmoothed vertex normals, blurred and normalised.
    const float3* vn0 = geo->_DynGetVertNrm();
    ASSERT_NE(vn0, nullptr);
    std::vector<float> ref(reinterpret_cast<const float*>(vn0),
                           reinterpret_cast<const float*>(vn0) + 3 * geo->_numVert);
    ref = RefBlur(geo.g, ref, 3, 1.0f, 2);

    ASSERT_EQ(geo->BlurNormals(1.0f, 2), 0);
    ASSERT_NE(geo->_nodeNrm, nullptr);
    const float3* vn = geo->_dyn._vertNrm;
    ASSERT_NE(vn, nullptr) << "the smoothed vertex normals stay cached";
    EXPECT_EQ(geo->_DynGetVertNrm(), vn);
    for (int v = 0; v < geo->_numVert; ++v)
    {
        float3 e{ref[3 * v], ref[3 * v + 1], ref[3 * v + 2]};
        const float len = std::sqrt(e.x * e.x + e.y * e.y + e.z * e.z);
        EXPECT_NEAR(vn[v].x, e.x / len, 1e-6f);
        EXPECT_NEAR(vn[v].y, e.y / len, 1e-6f);
        EXPECT_NEAR(vn[v].z, e.z / len, 1e-6f);
    }
    const Polys polys = PolysOf(geo.g);
    int64_t k = 0;
    for (const auto& poly : polys)
        for (int32_t v : poly)
        {
            EXPECT_EQ(std::memcmp(&geo->_nodeNrm[k], &vn[v], sizeof(float3)), 0) << "node " << k;
            ++k;
        }
    const Snapshot smoothed(geo.g);
    EXPECT_EQ(geo->BlurNormals(0.0f, 1), 0);
    EXPECT_TRUE(Snapshot(geo.g) == smoothed) << "strength 0 changes nothing";
}

TEST(BlurNormals, TinyNormalStaysUnnormalised)
{
    Geo geo;
    Build(geo.g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    AddNodeData(geo.g, true, false, false);
    for (int k = 0; k < 3; ++k)
        geo->_nodeNrm[k] = float3{1e-20f, 0.0f, 0.0f};
    ASSERT_EQ(geo->BlurNormals(1.0f, 1), 0);
    for (int k = 0; k < 3; ++k)
    {
        EXPECT_GT(geo->_nodeNrm[k].x, 0.0f);
        EXPECT_LT(geo->_nodeNrm[k].x, 1e-15f);
    }
}

TEST(BlurMotionsColorsUvws, SmoothPerVertexAndDropSeams)
{
    Geo geo;
    GridWithIsolated(geo.g);
    AddVertexData(geo.g);
    AddNodeData(geo.g);
    const int n = geo->_numVert;

    // Motions: the reference blur on the motion array.
    std::vector<float> mot(reinterpret_cast<float*>(geo->_vertMotion),
                           reinterpret_cast<float*>(geo->_vertMotion) + 3 * n);
    mot = RefBlur(geo.g, mot, 3, 1.0f, 2);
    ASSERT_EQ(geo->BlurMotions(1.0f, 2), 0);
    EXPECT_EQ(std::memcmp(geo->_vertMotion, mot.data(), mot.size() * 4), 0);

    // Colours and UVWs: vertex means, blurred, then written to every node.
    const float4* vc0 = geo->_DynGetVertCol();
    ASSERT_NE(vc0, nullptr);
    std::vector<float> col = RefBlur(geo.g, std::vector<float>(&vc0[0].x, &vc0[0].x + 4 * n), 4, 0.5f, 3);
    const float3* vu0 = geo->_DynGetVertUvw();
    ASSERT_NE(vu0, nullptr);
    std::vector<float> uvw = RefBlur(geo.g, std::vector<float>(&vu0[0].x, &vu0[0].x + 3 * n), 3, 0.5f, 3);
    ASSERT_EQ(geo->BlurColors(0.5f, 3), 0);
    ASSERT_EQ(geo->BlurUvws(0.5f, 3), 0);
    EXPECT_EQ(std::memcmp(geo->_dyn._vertCol, col.data(), col.size() * 4), 0) << "cache keeps smoothed colours";
    EXPECT_EQ(std::memcmp(geo->_dyn._vertUvw, uvw.data(), uvw.size() * 4), 0) << "cache keeps smoothed UVWs";
    int64_t k = 0;
    for (const auto& poly : PolysOf(geo.g))
        for (int32_t v : poly)
        {
            EXPECT_EQ(std::memcmp(&geo->_nodeCol[k], &col[4 * v], 16), 0) << "node " << k;
            EXPECT_EQ(std::memcmp(&geo->_nodeUvw[k], &uvw[3 * v], 12), 0) << "node " << k;
            ++k;
        }
}

TEST(BlurMotionsColorsUvws, NothingWithoutTheirData)
{
    Geo geo;
    GridWithIsolated(geo.g);
    const Snapshot before(geo.g);
    EXPECT_EQ(geo->BlurMotions(1.0f, 3), 0);
    EXPECT_EQ(geo->BlurColors(1.0f, 3), 0);
    EXPECT_EQ(geo->BlurUvws(1.0f, 3), 0);
    EXPECT_TRUE(Snapshot(geo.g) == before);
}

TEST(SimpleSmooth, SmoothsPositionsAndReleasesDerivedData)
{
    Geo geo;
    GridWithIsolated(geo.g);
    AddNodeData(geo.g);
    const int n = geo->_numVert;
    std::vector<float> pos(&geo->_vertPos[0].x, &geo->_vertPos[0].x + 3 * n);
    pos = RefBlur(geo.g, pos, 3, 1.0f, 3);
    const std::vector<uint8_t> nodes = ArrayBytes(geo->_nodeUvw, static_cast<size_t>(geo->NumNodes()));
    ASSERT_EQ(geo->SimpleSmooth(1.0f, 3), 0);
    EXPECT_EQ(std::memcmp(geo->_vertPos, pos.data(), pos.size() * 4), 0);
    EXPECT_EQ(geo->_dyn._vertAdjVertNum, nullptr) << "derived data released";
    EXPECT_EQ(ArrayBytes(geo->_nodeUvw, static_cast<size_t>(geo->NumNodes())), nodes);

    // Nothing to do: derived data stay.
    ASSERT_NE(geo->_DynGetVertAdjVertNum(), nullptr);
    EXPECT_EQ(geo->SimpleSmooth(1.0f, 0), 0);
    EXPECT_NE(geo->_dyn._vertAdjVertNum, nullptr);
}

TEST(FillZeroNodeNormals, ZeroNodeNormalsTakeThePolygonNormal)
{
    Geo geo;
    Build(geo.g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}},
          {{0, 1, 2, 3}, {0, 4, 1}});
    AddNodeData(geo.g, true, false, false);
    geo->_nodeNrm[0] = float3{0.0f, 0.0f, 0.0f};
    geo->_nodeNrm[1] = float3{0.0f, 0.0f, -0.0f};
    geo->_nodeNrm[2] = float3{0.0f, std::nanf(""), 0.0f};
    geo->_nodeNrm[5] = float3{-0.0f, 0.0f, 0.0f};
    const float3 keep3 = geo->_nodeNrm[3];
    ASSERT_NE(geo->_DynGetVertNrm(), nullptr);
    ASSERT_EQ(geo->FillZeroNodeNormals(), 0);
    const float3* pn = geo->_DynGetPolyNrm();
    ASSERT_NE(pn, nullptr);
    EXPECT_EQ(pn[0].z, 1.0f);
    for (int k : {0, 1})
        EXPECT_EQ(std::memcmp(&geo->_nodeNrm[k], &pn[0], 12), 0) << "node " << k;
    EXPECT_EQ(std::memcmp(&geo->_nodeNrm[5], &pn[1], 12), 0);
    EXPECT_TRUE(std::isnan(geo->_nodeNrm[2].y)) << "a NaN component is not zero";
    EXPECT_EQ(std::memcmp(&geo->_nodeNrm[3], &keep3, 12), 0);

    Geo empty;
    EXPECT_EQ(empty->FillZeroNodeNormals(), ZNQ_ERR_INVALID_STATE);
    Geo bare;
    Build(bare.g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    EXPECT_EQ(bare->FillZeroNodeNormals(), 0);
    EXPECT_EQ(bare->_nodeNrm, nullptr);
}

TEST(FillZeroNodeNormals, VertexNormalsFollowTheFilledNodes)
{
    // The cached vertex normals average node normals; after filling they
    // must be rebuilt from the new values.
    Geo geo;
    Build(geo.g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    AddNodeData(geo.g, true, false, false);
    for (int k = 0; k < 3; ++k)
        geo->_nodeNrm[k] = float3{0, 0, 0};
    ASSERT_NE(geo->_DynGetVertNrm(), nullptr);
    ASSERT_EQ(geo->FillZeroNodeNormals(), 0);
    const float3* vn = geo->_DynGetVertNrm();
    ASSERT_NE(vn, nullptr);
    EXPECT_FLOAT_EQ(vn[1].z, 1.0f);
}

TEST(BlurOps, MemoryRefusalsLeaveMeshUnchanged)
{
    auto make = [](ZNQGeometry& g) {
        GridWithIsolated(g);
        AddVertexData(g);
        AddNodeData(g);
    };
    MemorySweep(make, [](ZNQGeometry& g) { return g.BlurNormals(1.0f, 1); });
    MemorySweep(make, [](ZNQGeometry& g) { return g.BlurMotions(1.0f, 2); });
    MemorySweep(make, [](ZNQGeometry& g) { return g.BlurColors(0.5f, 1); });
    MemorySweep(make, [](ZNQGeometry& g) { return g.SimpleSmooth(1.0f, 1); });
}
