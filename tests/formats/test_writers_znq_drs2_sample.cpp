// Writers and the sample generator: exact bytes of the tricky layouts and
// the shape of the sample blob.
#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

#include <gtest/gtest.h>

#include "SampleMesh.h"
#include "WriteDrs2.h"
#include "WriteZnq.h"
#include "../common/KvTest.h"

using namespace kvt;

namespace
{

// Triangle (0 1 2) at (0,0,0), (1,0,0), (0,1,0).
void Triangle(ZNQGeometry& g)
{
    Build(g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
}

Bytes ChunkHead(uint32_t type, const char* name, uint32_t size)
{
    Bytes b;
    char padded[24] = {};
    std::strncpy(padded, name, 23);
    return b.u32(type).raw(padded, 24).u32(size);
}

} // namespace

TEST(WriteZnq, TriangleBytesExactly)
{
    Geo g;
    Triangle(g);
    g->_nodeNrm = g->_MemAllocArr<float3>(3, false);
    for (int k = 0; k < 3; ++k)
        g->_nodeNrm[k] = {0, 0, 1};
    ZnqWriteOptions opt;
    opt.indices16 = true;
    opt.prescan = true;
    opt.prescanValue = 7;
    std::vector<uint8_t> out;
    ASSERT_TRUE(WriteZnqToMemory(g, opt, out));

    Bytes e;
    e.str("    ZNQ-File-Format    ").u8(0);
    e.add(ChunkHead(0xE5100000u, "Prescan", 4)).u32(7);
    e.add(ChunkHead(0x0ABC0001u, "Mesh", 4 + 36 + 4 + 1 + 4 + 6));
    e.i32(3).f32(0).f32(0).f32(0).f32(1).f32(0).f32(0).f32(0).f32(1).f32(0);
    e.i32(1).u8(3).i32(2).u16(0).u16(1).u16(2);
    e.add(ChunkHead(0xDA7A0011u, "Normals", 4 + 18)).i32(3);
    for (int k = 0; k < 3; ++k)
        e.u16(0).u16(0).u16(0x3C00);
    e.str("   >> END OF FILE <<   ").u8(0);
    EXPECT_EQ(out, e.b);
}

TEST(WriteZnq, RefusesWhatCannotBeWritten)
{
    Geo g;
    std::vector<uint8_t> out;
    EXPECT_FALSE(WriteZnqToMemory(g, ZnqWriteOptions(), out)) << "no positions";
    Build(g, Line(3), {{0, 1, 70000}});
    ZnqWriteOptions opt;
    opt.indices16 = true;
    EXPECT_FALSE(WriteZnqToMemory(g, opt, out));
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(WriteZnqToMemory(g, ZnqWriteOptions(), out));
}

TEST(WriteDrs2, AsciiTextExactly)
{
    Geo g;
    Triangle(g);
    g->_vertMotion = g->_MemAllocArr<float3>(3, true);
    g->_vertMotion[2] = {0.5f, -0.25f, 1e-7f};
    std::vector<uint8_t> out;
    ASSERT_TRUE(WriteDrs2ToMemory(g, Drs2WriteOptions(), out));
    const std::string text(out.begin(), out.end());
    EXPECT_EQ(text, "Drosil2-File-Format 2024 asc format\n"
                    "AmountOfVertices 3\n0 0 0\n1 0 0\n0 1 0\n"
                    "AmountOfPolygonValues 4\n3 0 1 2\n"
                    "AmountOfVertexColors 0\n"
                    "AmountOfMotionVectors 3\n0 0 0\n0 0 0\n0.5 -0.25 1e-07\n"
                    "AmountOfNormalVectors 0\n");
}

TEST(WriteDrs2, BinaryBytesExactly)
{
    Geo g;
    Triangle(g);
    g->_nodeCol = g->_MemAllocArr<float4>(3, false);
    g->_nodeCol[0] = {0, 1, 0.5f, 1};
    g->_nodeCol[1] = {0, 0, 0, 0};
    g->_nodeCol[2] = {1, 1, 1, 1};
    g->_nodeNrm = g->_MemAllocArr<float3>(3, false);
    for (int k = 0; k < 3; ++k)
        g->_nodeNrm[k] = {0, 0, float(k)};
    Drs2WriteOptions opt;
    opt.binary = true;
    opt.countWidth = 1;
    opt.indexWidth = 2;
    std::vector<uint8_t> out;
    ASSERT_TRUE(WriteDrs2ToMemory(g, opt, out));

    Bytes e;
    e.str("Drosil2-File-Format 2024 bin format\r\n");
    e.i32(3).f32(0).f32(0).f32(0).f32(1).f32(0).f32(0).f32(0).f32(1).f32(0);
    e.i32(4).i32(1).i32(2).u8(3).u16(0).u16(1).u16(2);
    e.i32(3).f32(0).f32(1); // range of all components
    e.u16(0).u16(65000).u16(32500).u16(65000);
    e.u16(0).u16(0).u16(0).u16(0);
    e.u16(65000).u16(65000).u16(65000).u16(65000);
    e.i32(0); // no motions
    e.i32(3).f32(0).f32(0).f32(0).f32(0).f32(0).f32(1).f32(0).f32(0).f32(2);
    EXPECT_EQ(out, e.b);
}

TEST(WriteDrs2, RefusesWhatDoesNotFitItsWidth)
{
    Geo g;
    Build(g, Line(300), {{0, 1, 299}});
    Drs2WriteOptions opt;
    opt.binary = true;
    opt.indexWidth = 1;
    std::vector<uint8_t> out;
    EXPECT_FALSE(WriteDrs2ToMemory(g, opt, out));
    opt.indexWidth = 2;
    EXPECT_TRUE(WriteDrs2ToMemory(g, opt, out));
    opt.countWidth = 3;
    EXPECT_FALSE(WriteDrs2ToMemory(g, opt, out));
}

TEST(SampleMesh, ClosedOutwardAndSized)
{
    for (int32_t tris : {1, 100, 5000})
    {
        Geo g;
        ASSERT_TRUE(MakeSampleMesh(g, tris, 1.5f));
        const int32_t rings = std::max(2, int(std::lround(std::sqrt(tris / 4.0))));
        EXPECT_EQ(g->_numPoly, 4 * rings * rings);
        EXPECT_EQ(g->_numVert, 2 * rings * rings + 2);

        // Every directed edge once and its reverse once: closed, consistently
        // wound, no polygon repeats a vertex.
        std::map<std::pair<int, int>, int> directed;
        double volume = 0;
        for (int32_t p = 0; p < g->_numPoly; ++p)
        {
            ASSERT_EQ(g->_polyNumVert[p], 3);
            const int32_t* t = g->_polyVInd + 3 * p;
            ASSERT_TRUE(t[0] != t[1] && t[1] != t[2] && t[0] != t[2]);
            for (int i = 0; i < 3; ++i)
                ++directed[{t[i], t[(i + 1) % 3]}];
            const float3 a = g->_vertPos[t[0]], b = g->_vertPos[t[1]], c = g->_vertPos[t[2]];
            volume += (a.x * (b.y * c.z - b.z * c.y) - a.y * (b.x * c.z - b.z * c.x) +
                       a.z * (b.x * c.y - b.y * c.x)) / 6.0;
        }
        for (auto& [edge, count] : directed)
        {
            ASSERT_EQ(count, 1);
            ASSERT_EQ(directed.count({edge.second, edge.first}), 1u);
        }
        EXPECT_GT(volume, 1.5) << "outward winding encloses about 4/3 pi (less when coarse)";
        EXPECT_LT(volume, 6.0);

        for (int64_t k = 0; k < g->NumNodes(); ++k)
        {
            const float3 n = g->_nodeNrm[k];
            ASSERT_NEAR(n.x * n.x + n.y * n.y + n.z * n.z, 1.0, 1e-4);
            const float3 uv = g->_nodeUvw[k];
            ASSERT_TRUE(uv.x >= 0 && uv.x <= 1 && uv.y >= 0 && uv.y <= 1 && uv.z == 0);
            const float4 c = g->_nodeCol[k];
            ASSERT_TRUE(c.x >= 0 && c.x <= 1 && c.y >= 0 && c.y <= 1 && c.z >= 0 && c.z <= 1);
            ASSERT_EQ(c.w, 1.0f);
        }
    }
}

TEST(SampleMesh, MotionIsTheTimeDerivativeAndOutputIsDeterministic)
{
    Geo a, b, c;
    const float t = 3.0f, h = 0.01f;
    ASSERT_TRUE(MakeSampleMesh(a, 800, t - h));
    ASSERT_TRUE(MakeSampleMesh(b, 800, t));
    ASSERT_TRUE(MakeSampleMesh(c, 800, t + h));
    double worst = 0;
    for (int32_t v = 0; v < b->_numVert; ++v)
    {
        const float3 m = b->_vertMotion[v];
        const float3 p0 = a->_vertPos[v], p1 = c->_vertPos[v];
        worst = std::max({worst, double(std::fabs((p1.x - p0.x) / (2 * h) - m.x)),
                          double(std::fabs((p1.y - p0.y) / (2 * h) - m.y)),
                          double(std::fabs((p1.z - p0.z) / (2 * h) - m.z))});
    }
    // Central difference of float positions: error about 1e-7 / h.
    EXPECT_LT(worst, 2e-3);

    Geo d;
    ASSERT_TRUE(MakeSampleMesh(d, 800, t));
    EXPECT_EQ(0, std::memcmp(d->_vertPos, b->_vertPos, size_t(b->_numVert) * sizeof(float3)));
    EXPECT_EQ(0, std::memcmp(d->_nodeCol, b->_nodeCol, size_t(b->NumNodes()) * sizeof(float4)));
}

TEST(SampleMesh, RefusesSillySizes)
{
    Geo g;
    EXPECT_FALSE(MakeSampleMesh(g, 0, 0));
    EXPECT_FALSE(MakeSampleMesh(g, -5, 0));
    EXPECT_EQ(g->_vertPos, nullptr);
}
