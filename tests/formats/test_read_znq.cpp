// .znq reader: hand-made byte sequences for each layout rule, every error
// code, truncation and hostile counts, and round trips through the writer.
#include <cmath>
#include <limits>
#include <random>

#include <gtest/gtest.h>

#include "SampleMesh.h"
#include "WriteZnq.h"
#include "errors/ZNQError.h"
#include "formats/ZNQFormats.h"
#include "../common/KvTest.h"

using namespace kvt;

namespace
{

const uint32_t kMesh = 0x0ABC0001u, kNrmV = 0xDA7A0001u, kNrmN = 0xDA7A0011u, kMotV = 0xDA7A0002u,
               kColV = 0xDA7A0003u, kColN = 0xDA7A0013u, kUvwV = 0xDA7A0004u, kUvwN = 0xDA7A0014u,
               kUser4 = 0xDA7A0100u, kUser3 = 0xDA7A0200u, kUser1 = 0xDA7A0300u,
               kPrescan = 0xE5100000u;

Bytes Header() { return Bytes().str("    ZNQ-File-Format    ").u8(0); }
Bytes Trailer() { return Bytes().str("   >> END OF FILE <<   ").u8(0); }
Bytes Chunk(uint32_t type, const Bytes& payload, int64_t sizeOverride = -1)
{
    Bytes b;
    const char name[24] = "chunk name";
    b.u32(type).raw(name, 24).u32(uint32_t(sizeOverride >= 0 ? sizeOverride : int64_t(payload.size())));
    return b.add(payload);
}

// Mesh payload of positions (i, 2i, 3i) and the given polygons.
Bytes MeshPayload(int32_t numVert, const std::vector<std::vector<int32_t>>& polys, int32_t width = 4)
{
    Bytes b;
    b.i32(numVert);
    for (int i = 0; i < numVert; ++i)
        b.f32(float(i)).f32(float(2 * i)).f32(float(3 * i));
    b.i32(int32_t(polys.size()));
    for (auto& p : polys)
        b.u8(uint8_t(p.size()));
    b.i32(width);
    for (auto& p : polys)
        for (int32_t v : p)
            width == 2 ? b.u16(uint16_t(v)) : b.i32(v);
    return b;
}

// Payload of an optional chunk: count, then raw 16-bit or 32-bit values.
Bytes Halfs(int32_t count, const std::vector<uint16_t>& bits)
{
    Bytes b;
    b.i32(count);
    for (uint16_t h : bits)
        b.u16(h);
    return b;
}
Bytes Floats(int32_t count, const std::vector<float>& v)
{
    Bytes b;
    b.i32(count);
    for (float f : v)
        b.f32(f);
    return b;
}

Bytes File(std::initializer_list<Bytes> chunks, bool trailer = true)
{
    Bytes b = Header();
    for (auto& c : chunks)
        b.add(c);
    if (trailer)
        b.add(Trailer());
    return b;
}

const std::vector<std::vector<int32_t>> kTri = {{0, 1, 2}};

int32_t Read(ZNQGeometry& g, const char* path)
{
    return ReadZnq(g, path, true, true, true, true, nullptr, nullptr, nullptr);
}
int32_t Load(ZNQGeometry& g, const std::vector<uint8_t>& bytes, bool all = true,
             const uint8_t* u4 = nullptr, const uint8_t* u3 = nullptr, const uint8_t* u1 = nullptr)
{
    const std::string p = TempPath("t.znq");
    WriteBytes(p, bytes);
    return ReadZnq(g, p.c_str(), all, all, all, all, u4, u3, u1);
}
const LoadFn kLoad = [](ZNQGeometry& g, const std::vector<uint8_t>& b) { return Load(g, b); };

} // namespace

// ---------------------------------------------------------------------------
// Layout

TEST(ReadZnq, HandMadeTriangleWithEveryItem)
{
    Geo g;
    const Bytes f = File({
        Chunk(kMesh, MeshPayload(3, kTri)),
        Chunk(kNrmN, Halfs(3, {0x3C00, 0, 0, 0, 0x3C00, 0, 0, 0, 0xBC00})), // 1, 1, -1
        Chunk(kMotV, Halfs(3, {0x3800, 0, 0, 0, 0, 0, 0, 0, 0x4000})),     // 0.5 ... 2
        Chunk(kColV, Halfs(3, {0x3C00, 0, 0, 0x3C00, 0, 0x3C00, 0, 0x3C00, 0, 0, 0x3C00, 0x3C00})),
        Chunk(kUvwN, Floats(3, {0.25f, 0.5f, 0, 1, 0, 0, 0, 1, 0})),
    });
    ASSERT_EQ(Load(g, f.b), ZNQ_OK);
    ASSERT_EQ(g->_numVert, 3);
    EXPECT_TRUE(SameFloat3(g->_vertPos[2], {2, 4, 6}));
    EXPECT_EQ(PolysOf(g), kTri);
    EXPECT_TRUE(Same(g->_nodeNrm[0], {1, 0, 0}) && Same(g->_nodeNrm[2], {0, 0, -1}));
    EXPECT_TRUE(Same(g->_vertMotion[0], {0.5f, 0, 0}) && Same(g->_vertMotion[2], {0, 0, 2}));
    EXPECT_TRUE(Same(g->_nodeCol[1], {0, 1, 0, 1}) && Same(g->_nodeCol[2], {0, 0, 1, 1}));
    EXPECT_TRUE(Same(g->_nodeUvw[0], {0.25f, 0.5f, 0}));
}

TEST(ReadZnq, HalfPatternsConvertExactly)
{
    Geo g;
    const Bytes f = File({
        Chunk(kMesh, MeshPayload(3, kTri)),
        Chunk(kMotV, Halfs(3, {0x3C00, 0x7C00, 0x0001, 0xFC00, 0x8000, 0x03FF, 0x7BFF, 0xC000, 0x3555})),
    });
    ASSERT_EQ(Load(g, f.b), ZNQ_OK);
    const float3* m = g->_vertMotion;
    const float inf = std::numeric_limits<float>::infinity(), tiny = std::ldexp(1.0f, -24);
    EXPECT_TRUE(Same(m[0], {1.0f, inf, tiny}));
    EXPECT_TRUE(Same(m[1], {-inf, -0.0f, 1023 * tiny})); // -0 and the largest subnormal
    EXPECT_TRUE(Same(m[2], {65504.0f, -2.0f, 0.333251953125f}));
}

TEST(ReadZnq, SixteenBitIndicesWidenWithoutSign)
{
    // 65536 vertices, one triangle using vertex 65535; clean-up keeps 3.
    Geo g;
    Bytes f = File({Chunk(kMesh, MeshPayload(65536, {{65535, 0, 32768}}, 2))});
    ASSERT_EQ(Load(g, f.b), ZNQ_OK);
    ASSERT_EQ(g->_numVert, 3);
    EXPECT_EQ(PolysOf(g), (std::vector<std::vector<int32_t>>{{2, 0, 1}}));
    EXPECT_TRUE(SameFloat3(g->_vertPos[2], {65535, 131070, 196605}));
    EXPECT_TRUE(SameFloat3(g->_vertPos[1], {32768, 65536, 98304}));
}

TEST(ReadZnq, PerVertexDataBecomesNodeData)
{
    // Quad (0 1 2 3) and triangle (3 2 4): nodes get their vertex's value.
    Geo g;
    const std::vector<std::vector<int32_t>> polys = {{0, 1, 2, 3}, {3, 2, 4}};
    std::vector<uint16_t> nrm, col;
    std::vector<float> uvw;
    for (int v = 0; v < 5; ++v)
    {
        const uint16_t h = half(float(v)).bits();
        nrm.insert(nrm.end(), {h, 0, 0});
        col.insert(col.end(), {0, h, 0, 0x3C00});
        uvw.insert(uvw.end(), {0, 0, float(v) / 4});
    }
    const Bytes f = File({Chunk(kMesh, MeshPayload(5, polys)), Chunk(kNrmV, Halfs(5, nrm)),
                          Chunk(kColV, Halfs(5, col)), Chunk(kUvwV, Floats(5, uvw))});
    ASSERT_EQ(Load(g, f.b), ZNQ_OK);
    const int nodeVert[7] = {0, 1, 2, 3, 3, 2, 4};
    for (int k = 0; k < 7; ++k)
    {
        EXPECT_EQ(g->_nodeNrm[k].x, float(nodeVert[k])) << k;
        EXPECT_EQ(g->_nodeCol[k].y, float(nodeVert[k])) << k;
        EXPECT_EQ(g->_nodeUvw[k].z, float(nodeVert[k]) / 4) << k;
    }
}

TEST(ReadZnq, FirstChunkOfAnItemWins)
{
    Geo g;
    const Bytes f = File({
        Chunk(kMesh, MeshPayload(3, kTri)),
        Chunk(kNrmV, Halfs(3, {0x3C00, 0, 0, 0x3C00, 0, 0, 0x3C00, 0, 0})),
        Chunk(kNrmN, Halfs(3, {0, 0x3C00, 0, 0, 0x3C00, 0, 0, 0x3C00, 0})),
        Chunk(kNrmN, Halfs(99, {})), // would fail with 130 if it were read
    });
    ASSERT_EQ(Load(g, f.b), ZNQ_OK);
    for (int k = 0; k < 3; ++k)
        EXPECT_TRUE(SameFloat3(g->_nodeNrm[k], {1, 0, 0}));
}

TEST(ReadZnq, DeselectedItemsAreSkippedEvenWithWrongCounts)
{
    Geo g;
    const Bytes f = File({
        Chunk(kMesh, MeshPayload(3, kTri)),
        Chunk(kColV, Halfs(7, {1, 2, 3})), // count differs from V
        Chunk(0x12345678u, Bytes().zeros(10)), // unknown
        Chunk(kPrescan, Bytes().u32(0)),
    });
    const std::string p = WriteBytes("desel.znq", f.b);
    ASSERT_EQ(ReadZnq(g, p.c_str(), true, true, false, true, nullptr, nullptr, nullptr), ZNQ_OK);
    EXPECT_EQ(g->_nodeCol, nullptr);
    EXPECT_EQ(g->_numPoly, 1);
    EXPECT_EQ(ReadZnq(g, p.c_str(), false, false, true, false, nullptr, nullptr, nullptr),
              ZNQ_ERR_LOAD_USERDATA_COUNT);
    EXPECT_TRUE(IsEmpty(g));
}

TEST(ReadZnq, UserDataChannelsBySelectionByte)
{
    Geo g;
    std::vector<float> v4, v3, v1;
    for (int v = 0; v < 3; ++v)
    {
        v4.insert(v4.end(), {float(v), 1, 2, 3});
        v3.insert(v3.end(), {float(v), 5, 6});
        v1.push_back(float(v) + 0.5f);
    }
    const Bytes f = File({
        Chunk(kMesh, MeshPayload(3, kTri)),
        Chunk(kUser4, Floats(3, v4)),
        Chunk(kUser3 + 0, Floats(3, v3)),
        Chunk(kUser3 + 1, Floats(3, v3)),
        Chunk(kUser1 + 2, Floats(3, v1)),
        Chunk(kUser1 + 3, Floats(3, v1)),
        Chunk(kUser3 + 2, Bytes().zeros(5)), // no such channel: unknown, skipped
    });
    const uint8_t u4[1] = {1}, u3[2] = {0, 1}, u1[4] = {0, 0, 1, 0};
    ASSERT_EQ(Load(g, f.b, false, u4, u3, u1), ZNQ_OK);
    ASSERT_TRUE(g->_vertUser4 && g->_vertUser3[1] && g->_vertUser1[2]);
    EXPECT_TRUE(!g->_vertUser3[0] && !g->_vertUser1[0] && !g->_vertUser1[3] && !g->_nodeNrm);
    EXPECT_EQ(g->_vertUser4[2].x, 2.0f);
    EXPECT_EQ(g->_vertUser3[1][1].z, 6.0f);
    EXPECT_EQ(g->_vertUser1[2][2], 2.5f);

    ASSERT_EQ(Load(g, f.b, true), ZNQ_OK); // null selections load no user data
    EXPECT_EQ(g->_vertUser4, nullptr);
    EXPECT_EQ(g->_vertUser1[2], nullptr);
}

TEST(ReadZnq, EmptyMeshEndsTheReadAtOnce)
{
    Geo g;
    // The main pass stops at V = 0: the broken chunk after it is never read
    // (the pre-scan only steps over it by its size).
    const Bytes f = File({Chunk(kMesh, Bytes().i32(0)), Chunk(kMesh, Bytes().i32(-1))});
    ASSERT_EQ(Load(g, f.b), ZNQ_OK);
    EXPECT_TRUE(g->_vertPos && g->_numVert == 0 && g->_numPoly == 0);
    // The pre-scan still needs the trailer.
    EXPECT_EQ(Load(g, File({Chunk(kMesh, Bytes().i32(0))}, false).b), ZNQ_ERR_LOAD_READ);
}

TEST(ReadZnq, SecondMeshChunkReplacesTheFirstWithItsData)
{
    Geo g;
    const Bytes f = File({
        Chunk(kMesh, MeshPayload(4, {{0, 1, 2}, {0, 2, 3}})),
        Chunk(kNrmN, Halfs(6, std::vector<uint16_t>(18, 0x3C00))),
        Chunk(kMesh, MeshPayload(3, kTri)),
        Chunk(kColN, Halfs(3, std::vector<uint16_t>(12, 0x3C00))),
    });
    ASSERT_EQ(Load(g, f.b), ZNQ_OK);
    EXPECT_EQ(g->_numVert, 3);
    EXPECT_EQ(g->_numPoly, 1);
    EXPECT_EQ(g->_nodeNrm, nullptr) << "normals of the first mesh are dropped";
    ASSERT_NE(g->_nodeCol, nullptr);
}

TEST(ReadZnq, PrescanChunkVariants)
{
    Geo g;
    for (uint32_t value : {0u, 1u, 77u})
    {
        const Bytes f = File({Chunk(kPrescan, Bytes().u32(value)), Chunk(kMesh, MeshPayload(3, kTri))});
        EXPECT_EQ(Load(g, f.b), ZNQ_OK) << value;
    }
    // Longer and shorter payloads are stepped over as a whole.
    const Bytes longer = File({Chunk(kPrescan, Bytes().u32(1).u32(99)), Chunk(kMesh, MeshPayload(3, kTri))});
    EXPECT_EQ(Load(g, longer.b), ZNQ_OK);
    const Bytes shorter = File({Chunk(kPrescan, Bytes().u8(1)), Chunk(kMesh, MeshPayload(3, kTri))});
    EXPECT_EQ(Load(g, shorter.b), ZNQ_OK);
}

TEST(ReadZnq, OnlyTheFirst23BytesOfHeaderAndTrailerCount)
{
    Geo g;
    Bytes f = File({Chunk(kMesh, MeshPayload(3, kTri))});
    f.b[23] = 'X';
    f.b[f.size() - 1] = 'Y';
    EXPECT_EQ(Load(g, f.b), ZNQ_OK);
    f.b.push_back(0xEE); // bytes after the trailer are not read
    EXPECT_EQ(Load(g, f.b), ZNQ_OK);
}

// ---------------------------------------------------------------------------
// Error codes

TEST(ReadZnqErrors, CannotOpen)
{
    Geo g;
    EXPECT_EQ(Read(g, TempPath("missing.znq").c_str()), ZNQ_ERR_LOAD_OPEN);
    EXPECT_EQ(Read(g, nullptr), ZNQ_ERR_LOAD_OPEN);
    EXPECT_TRUE(IsEmpty(g));
}

TEST(ReadZnqErrors, HeaderMismatch)
{
    Geo g;
    Bytes f = File({Chunk(kMesh, MeshPayload(3, kTri))});
    f.b[4] = 'z'; // "zNQ-File-Format"
    EXPECT_EQ(Load(g, f.b), ZNQ_ERR_UNKNOWN_FORMAT);
    Bytes lower;
    lower.str("    znq-file-format    ").u8(0).add(Chunk(kMesh, MeshPayload(3, kTri))).add(Trailer());
    EXPECT_EQ(Load(g, lower.b), ZNQ_ERR_UNKNOWN_FORMAT);
    EXPECT_TRUE(IsEmpty(g));
}

TEST(ReadZnqErrors, ShortReads)
{
    Geo g;
    EXPECT_EQ(Load(g, Header().b), ZNQ_ERR_LOAD_READ) << "no chunk head";
    EXPECT_EQ(Load(g, File({}).b), ZNQ_ERR_LOAD_READ) << "header and trailer only";
    EXPECT_EQ(Load(g, File({Chunk(kMesh, MeshPayload(3, kTri))}, false).b), ZNQ_ERR_LOAD_READ)
        << "no trailer";
    EXPECT_EQ(Load(g, std::vector<uint8_t>(10, ' ')), ZNQ_ERR_LOAD_READ) << "short header";
    EXPECT_TRUE(IsEmpty(g));
}

TEST(ReadZnqErrors, CountMismatch)
{
    Geo g;
    EXPECT_EQ(Load(g, File({Chunk(kMesh, MeshPayload(3, kTri)), Chunk(kMotV, Halfs(2, {0, 0, 0, 0, 0, 0}))}).b),
              ZNQ_ERR_LOAD_USERDATA_COUNT);
    // Per-node chunks compare with the node count, not the vertex count.
    EXPECT_EQ(Load(g, File({Chunk(kMesh, MeshPayload(4, {{0, 1, 2, 3}})),
                            Chunk(kUvwN, Floats(4, std::vector<float>(12, 0)))}).b),
              ZNQ_OK);
    EXPECT_EQ(Load(g, File({Chunk(kMesh, MeshPayload(4, {{0, 1, 2}})),
                            Chunk(kUvwN, Floats(4, std::vector<float>(12, 0)))}).b),
              ZNQ_ERR_LOAD_USERDATA_COUNT);
    EXPECT_TRUE(IsEmpty(g));
}

TEST(ReadZnqErrors, StructureErrorsAreUnknownError)
{
    Geo g;
    EXPECT_EQ(Load(g, File({Chunk(kMesh, Bytes().i32(-1))}).b), -1) << "negative V";
    EXPECT_EQ(Load(g, File({Chunk(kMesh, Bytes().i32(1).f32(0).f32(0).f32(0).i32(-5))}).b), -1)
        << "negative P";
    EXPECT_EQ(Load(g, File({Chunk(kMesh, MeshPayload(3, kTri, 3))}).b), -1) << "width 3";
    EXPECT_EQ(Load(g, File({Chunk(kNrmV, Halfs(3, std::vector<uint16_t>(9, 0))),
                            Chunk(kMesh, MeshPayload(3, kTri))}).b),
              -1)
        << "optional chunk before the mesh";
    EXPECT_STREQ(ZNQErrorText(-1), "unknown error.");
    EXPECT_TRUE(IsEmpty(g));
}

TEST(ReadZnqErrors, UnseekableStreamIsASeekError)
{
#if defined(_WIN32)
    GTEST_SKIP() << "POSIX named pipes (mkfifo): no such file on Windows";
#endif
    const std::string p = TempPath("pipe.znq");
    const int fd = MakeFifo(p, File({Chunk(kMesh, MeshPayload(3, kTri))}).b);
    ASSERT_GE(fd, 0);
    Geo g;
    EXPECT_EQ(Read(g, p.c_str()), ZNQ_ERR_LOAD_SEEK);
    EXPECT_TRUE(IsEmpty(g));
    close(fd);
    unlink(p.c_str());
}

TEST(ReadZnqErrors, RefusedAllocationIsAMemoryProblem)
{
    if (!AddressLimitUsable())
        GTEST_SKIP() << "address-space limits do not mix with sanitizers";
    // 50 million vertices (600 MB of positions) in a sparse file; the child
    // process may grow by 256 MB only.
    const int32_t nv = 50000000;
    const int64_t payload = 4 + int64_t(nv) * 12;
    Bytes head = Header();
    head.u32(kMesh).zeros(24).u32(uint32_t(payload)).i32(nv);
    const std::string p = TempPath("huge.znq");
    WriteSparse(p, head.b, 24 + 32 + payload + 24, Trailer().b);
    ExpectUnderAddressLimit(256ll << 20, [&] {
        Geo g;
        return Read(g, p.c_str()) == ZNQ_ERR_LOAD_MEMORY && !g->_vertPos;
    });
    std::remove(p.c_str());
}

// ---------------------------------------------------------------------------
// Damaged and hostile files

TEST(ReadZnqHostile, EveryTruncationIsAReadError)
{
    Geo src;
    ASSERT_TRUE(MakeSampleMesh(src, 16, 1.0f));
    ZnqWriteOptions opt;
    opt.prescan = true;
    std::vector<uint8_t> full;
    ASSERT_TRUE(WriteZnqToMemory(src, opt, full));
    ExpectEveryCutFailsCleanly(full, kLoad, [](size_t, int32_t rc) { return rc == ZNQ_ERR_LOAD_READ; });
}

TEST(ReadZnqHostile, CountsBeyondTheFileAllocateNothing)
{
    Geo g;
    auto expectSmall = [&](const Bytes& f, int32_t code, const char* what) {
        ExpectSmallFailure(g, kLoad, f.b, code, what);
    };
    for (int32_t v : {INT32_MAX, 1 << 30, 100})
        expectSmall(File({Chunk(kMesh, Bytes().i32(v).zeros(12))}), ZNQ_ERR_LOAD_READ, "vertex count");
    expectSmall(File({Chunk(kMesh, Bytes().i32(1).zeros(12).i32(INT32_MAX).u8(3))}), ZNQ_ERR_LOAD_READ,
                "polygon count");
    // 255-corner polygons claim more indices than the file holds.
    Bytes many;
    many.i32(1).zeros(12).i32(40);
    for (int i = 0; i < 40; ++i)
        many.u8(255);
    many.i32(4);
    expectSmall(File({Chunk(kMesh, many)}), ZNQ_ERR_LOAD_READ, "index count");
    for (uint32_t size : {0xFFFFFFFFu, 0x7FFFFFFFu, 1000u})
        expectSmall(File({Chunk(0x1234u, Bytes().zeros(4), size)}), ZNQ_ERR_LOAD_READ, "payload size");
    for (int32_t c : {INT32_MAX, -1, 0})
        expectSmall(File({Chunk(kMesh, MeshPayload(3, kTri)), Chunk(kNrmV, Halfs(c, {}))}),
                    ZNQ_ERR_LOAD_USERDATA_COUNT, "item count");
    // A 100-byte file claiming 2^31-1 vertices in a mesh chunk of 2^32-1 bytes.
    Bytes tiny = Header();
    tiny.add(Chunk(kMesh, Bytes().i32(INT32_MAX), 0xFFFFFFFFu)).zeros(100 - 24 - 36);
    expectSmall(tiny, ZNQ_ERR_LOAD_READ, "tiny hostile file");
}

TEST(ReadZnqHostile, OutOfRangeIndicesNeverReadOutsideVertexData)
{
    // Triangle 0 names vertex 1000 and -7: its nodes get zeros and the
    // clean-up removes it; triangle 1 keeps its per-vertex values.
    Geo g;
    std::vector<uint16_t> nrm;
    std::vector<float> uvw;
    for (int v = 0; v < 3; ++v)
    {
        nrm.insert(nrm.end(), {half(float(v + 1)).bits(), 0, 0});
        uvw.insert(uvw.end(), {float(v + 1), 0, 0});
    }
    const Bytes f = File({Chunk(kMesh, MeshPayload(3, {{0, 1000, -7}, {2, 1, 0}})),
                          Chunk(kNrmV, Halfs(3, nrm)), Chunk(kUvwV, Floats(3, uvw)),
                          Chunk(kColV, Halfs(3, std::vector<uint16_t>(12, 0x3C00)))});
    ASSERT_EQ(Load(g, f.b), ZNQ_OK);
    ASSERT_EQ(g->_numPoly, 1);
    EXPECT_EQ(PolysOf(g), (std::vector<std::vector<int32_t>>{{2, 1, 0}}));
    EXPECT_EQ(g->_nodeNrm[0].x, 3.0f);
    EXPECT_EQ(g->_nodeUvw[2].x, 1.0f);
}

// ---------------------------------------------------------------------------
// Round trips through the writer

TEST(ReadZnqRoundTrip, SampleMeshPerNodeAndPerVertex)
{
    Geo src;
    ASSERT_TRUE(MakeSampleMesh(src, 400, 2.5f));
    for (int variant = 0; variant < 4; ++variant)
    {
        ZnqWriteOptions opt;
        opt.indices16 = variant & 1;
        opt.normalsPerVertex = opt.colorsPerVertex = (variant & 2) != 0;
        opt.prescan = variant == 3;
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(WriteZnqToMemory(src, opt, bytes));
        Geo g;
        const int64_t before = g->_memUsed;
        ASSERT_EQ(Load(g, bytes), ZNQ_OK) << variant;
        ASSERT_EQ(g->_numVert, src->_numVert);
        ASSERT_EQ(g->_numPoly, src->_numPoly);
        EXPECT_EQ(PolysOf(g), PolysOf(src));
        const int64_t n = src->NumNodes();
        for (int32_t v = 0; v < src->_numVert; ++v)
        {
            ASSERT_TRUE(SameFloat3(g->_vertPos[v], src->_vertPos[v]));
            ASSERT_EQ(g->_vertMotion[v].y, float(half(src->_vertMotion[v].y)));
        }
        for (int64_t k = 0; k < n; ++k)
        {
            // The sample's normals and colours are the same on every node of
            // a vertex, so per-vertex chunks give the same nodes.
            ASSERT_EQ(g->_nodeNrm[k].x, float(half(src->_nodeNrm[k].x))) << k;
            ASSERT_EQ(g->_nodeCol[k].z, float(half(src->_nodeCol[k].z))) << k;
            ASSERT_TRUE(SameFloat3(g->_nodeUvw[k], src->_nodeUvw[k])) << k;
        }
        g->Clear();
        EXPECT_EQ(g->_memUsed, before) << "every array goes back";
    }
}

TEST(ReadZnqHostile, RandomByteChangesNeverBreakTheReader)
{
    Geo src;
    ASSERT_TRUE(MakeSampleMesh(src, 16, 0.25f));
    ZnqWriteOptions opt;
    opt.indices16 = true;
    opt.colorsPerVertex = true;
    std::vector<uint8_t> full;
    ASSERT_TRUE(WriteZnqToMemory(src, opt, full));
    ExpectRandomChangesSafe(full, kLoad, 400, 77, [](std::mt19937& rng) { return uint8_t(rng()); });
}
