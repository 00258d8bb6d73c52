// ReadRealFlowBin: hand-made byte sequences with known answers, every error
// code, hostile counts and cut files.
#include <gtest/gtest.h>

#include <random>

#include "WriteRealFlowBin.h"
#include "errors/ZNQError.h"
#include "../common/KvTest.h"

using namespace kvt;

namespace {

constexpr uint32_t kMagic = 0xDADADADAu;
constexpr uint32_t kVertex = 0xCCCCCCCCu;
constexpr uint32_t kTexture = 0xCCCCCC00u;
constexpr uint32_t kVelocity = 0xCCCCCC11u;

int32_t Read(ZNQGeometry& g, const std::vector<uint8_t>& bytes, bool motions = true, bool uvws = true)
{
    const std::string path = WriteBytes("t.bin", bytes);
    return ReadRealFlowBin(g, path.c_str(), motions, uvws);
}
int32_t Read(ZNQGeometry& g, const Bytes& bytes, bool motions = true, bool uvws = true)
{
    return Read(g, bytes.b, motions, uvws);
}

// Header plus a vertex chunk with one triangle; file vertices (1,2,3),
// (4,5,6), (7,8,9).
Bytes Triangle()
{
    Bytes b;
    b.u32(kMagic).u32(3).u32(kVertex).i32(3).f3(1, 2, 3).f3(4, 5, 6).f3(7, 8, 9).i32(1).i32(0).i32(1).i32(2);
    return b;
}

} // namespace

TEST(ReadRealFlowBin, PositionsAreReversedIndicesKept)
{
    Geo g;
    ASSERT_EQ(Read(g, Triangle().u32(0)), 0);
    ASSERT_EQ(g->_numVert, 3);
    EXPECT_TRUE(SameFloat3(g->_vertPos[0], {3, 2, 1}));
    EXPECT_TRUE(SameFloat3(g->_vertPos[2], {9, 8, 7}));
    EXPECT_EQ(PolysOf(g), (PolyList{{0, 1, 2}}));
    EXPECT_FALSE(g->_vertMotion || g->_nodeUvw);
}

TEST(ReadRealFlowBin, EndOfDataNeedsACode)
{
    Geo g;
    EXPECT_EQ(Read(g, Triangle().b), ZNQ_ERR_LOAD_READ);
    EXPECT_TRUE(IsEmpty(g));
    Bytes b = Triangle();
    b.u32(0x12345678); // an unknown code ends the data too
    EXPECT_EQ(Read(g, b.b), 0);
    b.u32(0xFFFFFFFF); // anything after the end is not read
    EXPECT_EQ(Read(g, b.b), 0);
}

TEST(ReadRealFlowBin, TextureChunkSkipsFillerValues)
{
    // K = 3: per vertex two 4-byte values to skip, then u, v, w.
    Bytes b = Triangle();
    b.u32(kTexture).i32(3);
    for (int v = 0; v < 3; ++v)
        b.u32(0xEEEEEEEE).u32(0xEEEEEEEE).f3(0.1f * v, 0.5f, 1.0f + v);
    b.u32(0);
    Geo g;
    ASSERT_EQ(Read(g, b.b), 0);
    ASSERT_TRUE(g->_nodeUvw);
    // Node k has the coordinates of the vertex it names; order kept.
    for (int k = 0; k < 3; ++k)
        EXPECT_TRUE(SameFloat3(g->_nodeUvw[k], {0.1f * float(k), 0.5f, 1.0f + float(k)})) << k;
    // Off: read over, nothing kept.
    ASSERT_EQ(Read(g, b.b, true, false), 0);
    EXPECT_FALSE(g->_nodeUvw);
    EXPECT_EQ(g->_numVert, 3);
}

TEST(ReadRealFlowBin, FluidCountOneOrLessSkipsNothing)
{
    for (int32_t k : {1, 0, -5})
    {
        Bytes b = Triangle();
        b.u32(kTexture).i32(k).f3(1, 2, 3).f3(4, 5, 6).f3(7, 8, 9).u32(0);
        Geo g;
        ASSERT_EQ(Read(g, b.b), 0) << k;
        EXPECT_EQ(g->_nodeUvw[2].x, 7.0f);
        EXPECT_EQ(g->_nodeUvw[2].z, 9.0f);
    }
}

TEST(ReadRealFlowBin, VelocitiesAreReversed)
{
    Bytes b = Triangle();
    b.u32(kVelocity).f3(1, 2, 3).f3(0, 0, 0).f3(-1, -2, -3).u32(0);
    Geo g;
    ASSERT_EQ(Read(g, b.b), 0);
    ASSERT_TRUE(g->_vertMotion);
    EXPECT_TRUE(SameFloat3(g->_vertMotion[0], {3, 2, 1}));
    EXPECT_TRUE(SameFloat3(g->_vertMotion[2], {-3, -2, -1}));
    ASSERT_EQ(Read(g, b.b, false, true), 0);
    EXPECT_FALSE(g->_vertMotion);
    // A short velocity chunk fails with motions on and off.
    Bytes s = Triangle();
    s.u32(kVelocity).f3(1, 2, 3);
    EXPECT_EQ(Read(g, s.b, true, true), ZNQ_ERR_LOAD_READ);
    EXPECT_EQ(Read(g, s.b, false, true), ZNQ_ERR_LOAD_READ);
}

TEST(ReadRealFlowBin, HeaderAndChunkOrder)
{
    Geo g;
    EXPECT_EQ(Read(g, Bytes().u32(kMagic).u32(2).u32(0)), ZNQ_ERR_UNKNOWN_FORMAT);
    EXPECT_EQ(Read(g, Bytes().u32(0xDADADADB).u32(3).u32(0)), ZNQ_ERR_UNKNOWN_FORMAT);
    EXPECT_EQ(Read(g, {0xDA, 0xDA, 0xDA}), ZNQ_ERR_UNKNOWN_FORMAT);
    EXPECT_EQ(Read(g, Bytes()), ZNQ_ERR_UNKNOWN_FORMAT);
    EXPECT_EQ(Read(g, Bytes().u32(kMagic).u32(3)), ZNQ_ERR_LOAD_READ);
    for (uint32_t code : {kVelocity, kTexture, 0u, 0x1234u})
    {
        EXPECT_EQ(Read(g, Bytes().u32(kMagic).u32(7).u32(code).i32(0).u32(0)), ZNQ_ERR_UNKNOWN_FORMAT) << code;
        EXPECT_TRUE(IsEmpty(g));
    }
    EXPECT_EQ(ReadRealFlowBin(g, (ScratchDir() + "/none.bin").c_str(), true, true), ZNQ_ERR_LOAD_OPEN);
}

TEST(ReadRealFlowBin, EmptyVertexChunkEndsTheRead)
{
    Bytes b;
    b.u32(kMagic).u32(3).u32(kVertex).i32(0).u32(0xBADBAD); // garbage after it is never read
    Geo g;
    ASSERT_EQ(Read(g, b.b), 0);
    EXPECT_TRUE(g->_vertPos);
    EXPECT_EQ(g->_numVert, 0);
    EXPECT_EQ(g->_numPoly, 0);
}

TEST(ReadRealFlowBin, NegativeCounts)
{
    Geo g;
    EXPECT_EQ(Read(g, Bytes().u32(kMagic).u32(3).u32(kVertex).i32(-1).u32(0)), ZNQ_ERR_LOAD_MEMORY);
    EXPECT_EQ(Read(g, Bytes().u32(kMagic).u32(3).u32(kVertex).i32(1).f3(0, 0, 0).i32(-1).u32(0)), ZNQ_ERR_MEMORY);
    EXPECT_TRUE(IsEmpty(g));
}

TEST(ReadRealFlowBin, HostileCountsAllocateNothing)
{
    const int32_t big[] = {INT32_MAX, 0x7FFFFFF0, 1 << 30, 1000};
    for (int32_t n : big)
    {
        Geo g;
        EXPECT_EQ(Read(g, Bytes().u32(kMagic).u32(3).u32(kVertex).i32(n).f3(1, 2, 3).u32(0)), ZNQ_ERR_LOAD_READ) << n;
        EXPECT_LT(g->_memPeak, 1 << 16) << n;

        Bytes f;
        f.u32(kMagic).u32(3).u32(kVertex).i32(1).f3(0, 0, 0).i32(n).i32(0).i32(0).i32(0).u32(0);
        EXPECT_EQ(Read(g, f.b), ZNQ_ERR_LOAD_READ) << n;
        EXPECT_LT(g->_memPeak, 1 << 16) << n;

        Bytes t = Triangle();
        t.u32(kTexture).i32(n).f3(0, 0, 0).u32(0);
        EXPECT_EQ(Read(g, t.b, true, true), ZNQ_ERR_LOAD_READ) << n;
        EXPECT_EQ(Read(g, t.b, true, false), ZNQ_ERR_LOAD_READ) << n;
        EXPECT_LT(g->_memPeak, 1 << 16) << n;
    }
}

TEST(ReadRealFlowBin, OutOfRangeIndicesReadNothing)
{
    Bytes b;
    b.u32(kMagic).u32(3).u32(kVertex).i32(4).f3(0, 0, 0).f3(1, 0, 0).f3(0, 1, 0).f3(1, 1, 0);
    b.i32(2).i32(0).i32(1).i32(2).i32(1).i32(3).i32(-7); // second triangle names -7
    b.u32(kTexture).i32(1).f3(1, 1, 1).f3(2, 2, 2).f3(3, 3, 3).f3(4, 4, 4);
    b.u32(0);
    Geo g;
    ASSERT_EQ(Read(g, b.b), 0);
    ASSERT_EQ(g->_numPoly, 1); // the clean-up removed the bad triangle
    EXPECT_EQ(g->_numVert, 3); // and vertex 3, used only by it
    EXPECT_EQ(g->_nodeUvw[2].x, 3.0f);
}

TEST(ReadRealFlowBin, SecondVertexChunkReplacesTheFirst)
{
    Bytes b = Triangle();
    b.u32(kTexture).i32(1).f3(1, 1, 1).f3(2, 2, 2).f3(3, 3, 3);
    b.u32(kVelocity).f3(1, 1, 1).f3(2, 2, 2).f3(3, 3, 3);
    b.u32(kVertex).i32(3).f3(0, 0, 10).f3(0, 0, 20).f3(0, 0, 30).i32(1).i32(2).i32(1).i32(0);
    b.u32(0);
    Geo g;
    ASSERT_EQ(Read(g, b.b), 0);
    EXPECT_EQ(g->_numVert, 3);
    EXPECT_EQ(g->_vertPos[1].x, 20.0f);
    EXPECT_EQ(g->_polyVInd[0], 2);
    EXPECT_FALSE(g->_nodeUvw); // data of the old mesh dropped
    EXPECT_FALSE(g->_vertMotion);
    // An empty second chunk leaves an empty mesh.
    ASSERT_EQ(Read(g, Triangle().u32(kVertex).i32(0)), 0);
    EXPECT_EQ(g->_numVert, 0);
    EXPECT_EQ(g->_numPoly, 0);
}

TEST(ReadRealFlowBin, CutAtEveryLengthAndAppendedBytes)
{
    Bytes b = Triangle();
    b.u32(kTexture).i32(2);
    for (int v = 0; v < 3; ++v)
        b.u32(1).f3(0.5f, 0.5f, 0);
    b.u32(kVelocity).f3(1, 2, 3).f3(4, 5, 6).f3(7, 8, 9).u32(0);
    ExpectEveryCutFailsCleanly(b.b, [](ZNQGeometry& geo, const std::vector<uint8_t>& x) { return Read(geo, x); },
                               [](size_t, int32_t rc) { return rc == ZNQ_ERR_LOAD_READ || rc == ZNQ_ERR_UNKNOWN_FORMAT; });
    Geo g;
    std::vector<uint8_t> more = b.b;
    more.push_back(0x42);
    EXPECT_EQ(Read(g, more), 0);
    EXPECT_TRUE(g->_vertMotion && g->_nodeUvw);
}

TEST(ReadRealFlowBin, ManyVerticesWithInterleavedTexture)
{
    // A strip of triangles, large enough that the interleaved texture records
    // span several read blocks.
    const int32_t numVert = 70001;
    std::vector<float3> pos, mot, uvw;
    PolyList polys;
    for (int32_t v = 0; v < numVert; ++v)
    {
        pos.push_back({float(v / 2), float(v % 2), 0.0f});
        mot.push_back({0.0f, 0.0f, float(v)});
    }
    for (int32_t p = 0; p + 2 < numVert; ++p)
    {
        polys.push_back({p, p + 1, p + 2});
        for (int32_t v = p; v < p + 3; ++v)
            uvw.push_back({float(v), 0.25f, -float(v)});
    }
    Geo src;
    Build(src, pos, polys);
    src->_vertMotion = CountedCopy(src.g, mot.data(), mot.size());
    src->_nodeUvw = CountedCopy(src.g, uvw.data(), uvw.size());
    for (int32_t k : {1, 2})
    {
        RealFlowBinWriteOptions o;
        o.fluidCount = k;
        o.velocityFirst = k == 2;
        std::vector<uint8_t> bytes;
        ASSERT_EQ(WriteRealFlowBinToBuffer(src, o, bytes), 0);
        Geo g;
        ASSERT_EQ(Read(g, bytes), 0) << k;
        ASSERT_EQ(g->_numVert, numVert);
        for (int32_t p = 0; p < g->_numPoly; p += 9973)
            for (int c = 0; c < 3; ++c)
            {
                const int64_t n = 3 * int64_t(p) + c;
                EXPECT_EQ(g->_nodeUvw[n].x, float(g->_polyVInd[n])) << k;
                EXPECT_EQ(g->_nodeUvw[n].z, -float(g->_polyVInd[n])) << k;
            }
        EXPECT_EQ(g->_vertMotion[numVert - 1].z, float(numVert - 1));
        EXPECT_EQ(g->_vertPos[numVert - 1].x, src->_vertPos[numVert - 1].x);
    }
}

TEST(ReadRealFlowBin, TextureRecordsLargerThanAReadBlock)
{
    // K = 300000: each vertex's record is about 1.2 MB of filler values.
    const int32_t k = 300000;
    Bytes b = Triangle();
    b.u32(kTexture).i32(k);
    for (int v = 0; v < 3; ++v)
    {
        b.b.insert(b.b.end(), 4 * size_t(k - 1), 0xEE);
        b.f3(float(v), 1, 2);
    }
    Geo g;
    EXPECT_EQ(Read(g, b.b), ZNQ_ERR_LOAD_READ); // no end code yet
    b.u32(0);
    ASSERT_EQ(Read(g, b.b), 0);
    EXPECT_EQ(g->_nodeUvw[2].x, 2.0f);
    EXPECT_EQ(g->_nodeUvw[2].z, 2.0f);
    b.b.resize(b.b.size() - 9); // inside the last coordinates
    EXPECT_EQ(Read(g, b.b), ZNQ_ERR_LOAD_READ);
}

TEST(ReadRealFlowBin, WriterBytesAreTheFormat)
{
    // One triangle, positions (1,2,3) (4,5,6) (7,8,9), UVWs per vertex,
    // motions; K = 2 with one filler value per vertex.
    Geo src;
    Build(src, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, {{2, 1, 0}});
    const float3 mot[3] = {{0, 0.5f, 0}, {-1, 0.5f, 1}, {-2, 0.5f, 2}};
    const float3 uvw[3] = {{2, 0, 1}, {1, 0, 1}, {0, 0, 1}};
    src->_vertMotion = CountedCopy(src.g, mot, 3);
    src->_nodeUvw = CountedCopy(src.g, uvw, 3);
    RealFlowBinWriteOptions o;
    o.fluidCount = 2;
    std::vector<uint8_t> bytes;
    ASSERT_EQ(WriteRealFlowBinToBuffer(src, o, bytes), 0);
    Bytes want;
    want.u32(kMagic).u32(3).u32(kVertex).i32(3).f3(3, 2, 1).f3(6, 5, 4).f3(9, 8, 7).i32(1).i32(2).i32(1).i32(0);
    want.u32(kTexture).i32(2);
    for (int v = 0; v < 3; ++v)
        want.u32(0xEEEEEEEE).f3(float(v), 0, 1);
    want.u32(kVelocity).f3(0, 0.5f, 0).f3(1, 0.5f, -1).f3(2, 0.5f, -2).u32(0);
    EXPECT_EQ(bytes, want.b);
    // Not a triangle: refused.
    src->_polyNumVert[0] = 4;
    bytes.clear();
    EXPECT_EQ(WriteRealFlowBinToBuffer(src, o, bytes), 131);
}
