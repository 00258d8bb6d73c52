// .drs2 reader, ascii and binary: header rules, hand-made layouts, every
// error code, truncation, hostile counts and writer round trips.
#include <cmath>
#include <cstring>
#include <random>

#include <gtest/gtest.h>

#include "SampleMesh.h"
#include "WriteDrs2.h"
#include "errors/ZNQError.h"
#include "formats/ZNQFormats.h"
#include "../common/KvTest.h"

using namespace kvt;

namespace
{

int32_t Load(ZNQGeometry& g, const std::vector<uint8_t>& bytes, bool all = true)
{
    const std::string p = TempPath("t.drs2");
    WriteBytes(p, bytes);
    return ReadDrs2(g, p.c_str(), all, all, all);
}
int32_t Load(ZNQGeometry& g, const std::string& text, bool all = true)
{
    return Load(g, Text(text), all);
}
int32_t Read(ZNQGeometry& g, const std::string& path) { return ReadDrs2(g, path.c_str(), true, true, true); }
const LoadFn kLoad = [](ZNQGeometry& g, const std::vector<uint8_t>& b) { return Load(g, b); };

// Ascii triangle with the three optional sections (counts given).
std::string AsciiTri(const std::string& head = "Drosil2-File-Format 2024 asc format", int colors = 3,
                     int motions = 3, int normals = 3)
{
    std::string s = head + "\nAmountOfVertices 3\n0 0 0\n1 0 0\n0 1 0\n"
                           "AmountOfPolygonValues 4\n3 0 1 2\n";
    s += "AmountOfVertexColors " + std::to_string(colors) + "\n";
    for (int i = 0; i < colors; ++i)
        s += "1 0.5 0 1\n";
    s += "AmountOfMotionVectors " + std::to_string(motions) + "\n";
    for (int i = 0; i < motions; ++i)
        s += "0 0 " + std::to_string(i) + "\n";
    s += "AmountOfNormalVectors " + std::to_string(normals) + "\n";
    for (int i = 0; i < normals; ++i)
        s += "0 0 1\n";
    return s;
}

// Binary head: header line with CR LF, then V and the positions of (i, 0, 0).
Bytes BinHead(int32_t numVert, const char* lineEnd = "\r\n")
{
    Bytes b;
    b.str("Drosil2-File-Format 2024 bin format").str(lineEnd).i32(numVert);
    for (int i = 0; i < numVert; ++i)
        b.f32(float(i)).f32(float(i * i)).f32(0);
    return b;
}

// Binary triangle file; polygons as given with the widths, no optional data.
Bytes BinMesh(int32_t numVert, const std::vector<std::vector<int32_t>>& polys, int32_t cw = 4,
              int32_t iw = 4)
{
    Bytes b = BinHead(numVert);
    int32_t t = 0;
    for (auto& p : polys)
        t += 1 + int32_t(p.size());
    b.i32(t).i32(cw).i32(iw);
    auto put = [&](int64_t v, int32_t w) { w == 1 ? b.u8(uint8_t(v)) : w == 2 ? b.u16(uint16_t(v)) : b.i32(int32_t(v)); };
    for (auto& p : polys)
    {
        put(int64_t(p.size()), cw);
        for (int32_t v : p)
            put(v, iw);
    }
    return b;
}

const std::vector<std::vector<int32_t>> kTri = {{0, 1, 2}};

} // namespace

// ---------------------------------------------------------------------------
// Header

TEST(ReadDrs2Header, YearCaseAndTokens)
{
    Geo g;
    EXPECT_EQ(Load(g, AsciiTri("Drosil2-File-Format 1971 asc format")), ZNQ_ERR_UNKNOWN_FORMAT);
    EXPECT_EQ(Load(g, AsciiTri("Drosil2-File-Format 1972 asc format")), ZNQ_OK);
    EXPECT_EQ(Load(g, AsciiTri("Drosil2-File-Format 2024 ASC FORMAT")), ZNQ_OK);
    EXPECT_EQ(Load(g, AsciiTri("drosil2-file-format 2024 asc format")), ZNQ_ERR_UNKNOWN_FORMAT);
    EXPECT_EQ(Load(g, AsciiTri("Drosil2-File-Format twenty asc format")), ZNQ_ERR_UNKNOWN_FORMAT);
    EXPECT_EQ(Load(g, AsciiTri("Drosil2-File-Format 2024 txt format")), ZNQ_ERR_UNKNOWN_FORMAT);
    EXPECT_EQ(Load(g, AsciiTri("Drosil2-File-Format 2024 asc formats")), ZNQ_ERR_UNKNOWN_FORMAT);
    EXPECT_EQ(Load(g, AsciiTri("Drosil2-File-Format 2024 asc " + std::string(5000, 'f'))),
              ZNQ_ERR_UNKNOWN_FORMAT)
        << "over-long token";
    EXPECT_EQ(Load(g, std::string("Drosil2-File-Format 2024")), ZNQ_ERR_UNKNOWN_FORMAT);
    EXPECT_EQ(Load(g, std::string("")), ZNQ_ERR_UNKNOWN_FORMAT);
    EXPECT_TRUE(IsEmpty(g));
}

// ---------------------------------------------------------------------------
// Ascii

TEST(ReadDrs2Ascii, TriangleWithEverything)
{
    Geo g;
    ASSERT_EQ(Load(g, AsciiTri()), ZNQ_OK);
    ASSERT_EQ(g->_numVert, 3);
    EXPECT_TRUE(SameFloat3(g->_vertPos[1], {1, 0, 0}));
    EXPECT_EQ(PolysOf(g), kTri);
    EXPECT_EQ(g->_nodeCol[2].y, 0.5f);
    EXPECT_EQ(g->_vertMotion[2].z, 2.0f);
    EXPECT_EQ(g->_nodeNrm[1].z, 1.0f);
}

TEST(ReadDrs2Ascii, KeywordsInAnyCaseAndFreeWhitespace)
{
    Geo g;
    const std::string s = "Drosil2-File-Format 2024 asc format amountofvertices 3 0 0 0\t1 0 0\r\n0 1 0 "
                          "AMOUNTOFPOLYGONVALUES 4 3 0 1 2 amountOfVertexColors 0 "
                          "AmountOfMotionVectors 0 AmountOfNormalVectors 0";
    ASSERT_EQ(Load(g, s), ZNQ_OK);
    EXPECT_EQ(g->_numPoly, 1);
    EXPECT_EQ(g->_nodeCol, nullptr);
}

TEST(ReadDrs2Ascii, UnselectedItemsAreParsedAndDropped)
{
    Geo g;
    ASSERT_EQ(Load(g, AsciiTri(), false), ZNQ_OK);
    EXPECT_EQ(g->_nodeCol, nullptr);
    EXPECT_EQ(g->_vertMotion, nullptr);
    EXPECT_EQ(g->_nodeNrm, nullptr);
    std::string bad = AsciiTri();
    bad.replace(bad.find("1 0.5 0 1"), 9, "1 0.5 x 1");
    EXPECT_EQ(Load(g, bad, false), ZNQ_ERR_LOAD_READ) << "a malformed colour still fails";
    EXPECT_TRUE(IsEmpty(g));
}

TEST(ReadDrs2Ascii, NumberSyntax)
{
    Geo g;
    std::string s = AsciiTri();
    s.replace(s.find("1 0 0\n"), 6, "+1.0e0 -0 0x\n");
    EXPECT_EQ(Load(g, s), ZNQ_ERR_LOAD_READ) << "0x is no number";
    s = AsciiTri();
    s.replace(s.find("1 0 0\n"), 6, "+1.0e0 -0 1e400\n");
    ASSERT_EQ(Load(g, s), ZNQ_OK);
    EXPECT_EQ(g->_vertPos[1].x, 1.0f);
    EXPECT_TRUE(std::signbit(g->_vertPos[1].y));
    EXPECT_TRUE(std::isinf(g->_vertPos[1].z));
}

TEST(ReadDrs2Ascii, EmptyMeshAndEarlyEnds)
{
    Geo g;
    ASSERT_EQ(Load(g, std::string("Drosil2-File-Format 2024 asc format\nAmountOfVertices 0")), ZNQ_OK);
    EXPECT_NE(g->_vertPos, nullptr);
    EXPECT_EQ(g->_numVert, 0);
    // Ends right after the normal count 0; trailing text is not read.
    EXPECT_EQ(Load(g, AsciiTri("Drosil2-File-Format 2024 asc format", 3, 3, 0)), ZNQ_OK);
    EXPECT_EQ(Load(g, AsciiTri() + "garbage 1 2 3"), ZNQ_OK);
}

TEST(ReadDrs2Ascii, ErrorCodes)
{
    Geo g;
    std::string s = AsciiTri();
    EXPECT_EQ(Load(g, s.substr(0, s.find("AmountOfVertexColors"))), ZNQ_ERR_UNKNOWN_FORMAT)
        << "missing count";
    s.replace(s.find("AmountOfMotionVectors"), 6, "Amount_");
    EXPECT_EQ(Load(g, s), ZNQ_ERR_UNKNOWN_FORMAT) << "wrong keyword";
    s = AsciiTri();
    s.replace(s.find("AmountOfVertices 3"), 18, "AmountOfVertices -3");
    EXPECT_EQ(Load(g, s), ZNQ_ERR_UNKNOWN_FORMAT) << "negative count";
    EXPECT_EQ(Load(g, AsciiTri("Drosil2-File-Format 2024 asc format", 2)), ZNQ_ERR_LOAD_USERDATA_COUNT);
    EXPECT_EQ(Load(g, AsciiTri("Drosil2-File-Format 2024 asc format", 3, 4)), ZNQ_ERR_LOAD_USERDATA_COUNT);
    EXPECT_EQ(Load(g, AsciiTri("Drosil2-File-Format 2024 asc format", 0, 0, 1)), ZNQ_ERR_LOAD_USERDATA_COUNT);
    s = AsciiTri();
    s.replace(s.find("0 1 0\n"), 6, "0 1 zero\n");
    EXPECT_EQ(Load(g, s), ZNQ_ERR_LOAD_READ) << "bad position";
    s = AsciiTri();
    s.replace(s.find("4\n3 0 1 2"), 9, "4\n3 0 1 y");
    EXPECT_EQ(Load(g, s), ZNQ_ERR_LOAD_READ) << "bad index";
    s = AsciiTri();
    s.replace(s.find("4\n3 0 1 2"), 9, "4\n256 0 1");
    EXPECT_EQ(Load(g, s), ZNQ_ERR_POLYGON_TOO_LARGE);
    s = AsciiTri();
    s.replace(s.find("4\n3 0 1 2"), 9, "4\n-1 0 1 ");
    EXPECT_EQ(Load(g, s), ZNQ_ERR_POLYGON_TOO_LARGE);
    s = AsciiTri();
    s.replace(s.find("4\n3 0 1 2"), 9, "3\n3 0 1 2");
    EXPECT_EQ(Load(g, s), ZNQ_ERR_UNKNOWN_FORMAT) << "last record runs past T";
    EXPECT_TRUE(IsEmpty(g));
}

TEST(ReadDrs2Ascii, ZeroCornerRecordsArePolygonsThenCleanedUp)
{
    Geo g;
    std::string s = AsciiTri("Drosil2-File-Format 2024 asc format", 0, 0, 0);
    s.replace(s.find("4\n3 0 1 2"), 9, "6\n0 3 0 1 2 0");
    ASSERT_EQ(Load(g, s), ZNQ_OK);
    EXPECT_EQ(PolysOf(g), kTri);
}

TEST(ReadDrs2Ascii, EveryTruncationFailsCleanlyOrReadsAShorterLastNumber)
{
    Geo src;
    ASSERT_TRUE(MakeSampleMesh(src, 16, 0.5f));
    std::vector<uint8_t> full;
    ASSERT_TRUE(WriteDrs2ToMemory(src, Drs2WriteOptions(), full));
    // The last token starts after the last whitespace: cuts inside it still
    // parse as a (different) number. A count cut short ("20" to "2") before
    // the end is a count mismatch.
    while (full.back() == '\n')
        full.pop_back();
    size_t lastToken = full.size();
    while (lastToken > 0 && full[lastToken - 1] != ' ' && full[lastToken - 1] != '\n')
        --lastToken;
    ExpectEveryCutFailsCleanly(full, kLoad, [&](size_t len, int32_t rc) {
                                   if (len > lastToken)
                                       return rc == ZNQ_OK || rc == ZNQ_ERR_LOAD_READ;
                                   return rc == ZNQ_ERR_UNKNOWN_FORMAT || rc == ZNQ_ERR_LOAD_READ ||
                                          rc == ZNQ_ERR_LOAD_USERDATA_COUNT;
                               });
}

TEST(ReadDrs2Ascii, HostileCountsAllocateNothing)
{
    Geo g;
    for (const char* v : {"2147483647", "4294967295", "99999999999999999999999", "1000"})
    {
        g->_memPeak = 0;
        EXPECT_EQ(Load(g, std::string("Drosil2-File-Format 2024 asc format AmountOfVertices ") + v + " 1 2 3"),
                  ZNQ_ERR_LOAD_READ)
            << v;
        EXPECT_LT(g->_memPeak, 4096);
        g->_memPeak = 0;
        std::string s = AsciiTri();
        s.replace(s.find("Values 4"), 8, std::string("Values ") + v);
        EXPECT_EQ(Load(g, s), ZNQ_ERR_LOAD_READ) << v;
        EXPECT_LT(g->_memPeak, 4096);
    }
}

// ---------------------------------------------------------------------------
// Binary

TEST(ReadDrs2Binary, AllWidthCombinations)
{
    const std::vector<std::vector<int32_t>> polys = {{0, 1, 2, 3}, {3, 2, 4}, {4, 3, 2, 1, 0}, {}};
    for (int32_t cw : {1, 2, 4})
        for (int32_t iw : {1, 2, 4})
        {
            Bytes f = BinMesh(5, polys, cw, iw);
            f.i32(0).i32(0).i32(0);
            Geo g;
            ASSERT_EQ(Load(g, f.b), ZNQ_OK) << cw << iw;
            EXPECT_EQ(PolysOf(g), (std::vector<std::vector<int32_t>>{{0, 1, 2, 3}, {3, 2, 4}, {4, 3, 2, 1, 0}}));
            EXPECT_TRUE(SameFloat3(g->_vertPos[4], {4, 16, 0}));
        }
}

// Long runs of one polygon size are checked and counted eight records at a
// time: runs that end at every place, a size change inside a run, and errors
// inside runs give what the record-by-record checks give.
TEST(ReadDrs2Binary, RunsOfOneSizeReadAsRecordByRecord)
{
    for (int32_t cw : {1, 2, 4})
        for (int32_t iw : {1, 2, 4})
            for (int32_t len : {1, 7, 8, 9, 16, 17, 23})
            {
                std::vector<std::vector<int32_t>> polys;
                for (int32_t i = 0; i < len; ++i)
                    polys.push_back({i % 5, (i + 1) % 5, (i + 2) % 5});
                polys.push_back({0, 1, 2, 3});
                for (int32_t i = 0; i < len + 3; ++i)
                    polys.push_back({4, i % 4, (i + 1) % 4});
                Bytes f = BinMesh(5, polys, cw, iw);
                f.i32(0).i32(0).i32(0);
                Geo g;
                ASSERT_EQ(Load(g, f.b), ZNQ_OK) << cw << iw << " " << len;
                EXPECT_EQ(PolysOf(g), polys) << cw << iw << " " << len;
            }

    // 20 triangles of 4-byte counts and indices; record r starts at byte
    // head + 16 r, its count there.
    std::vector<std::vector<int32_t>> tris(20, std::vector<int32_t>{0, 1, 2});
    const Bytes good = BinMesh(3, tris, 4, 4);
    const size_t head = good.b.size() - 20 * 16;
    auto setCount = [&](Bytes f, int32_t record, int32_t count) {
        std::memcpy(f.b.data() + head + 16 * size_t(record), &count, 4);
        return f;
    };
    Geo g;
    for (int32_t record : {1, 8, 9, 13, 19})
    {
        EXPECT_EQ(Load(g, setCount(good, record, 256).i32(0).i32(0).i32(0).b), ZNQ_ERR_POLYGON_TOO_LARGE) << record;
        EXPECT_EQ(Load(g, setCount(good, record, -3).i32(0).i32(0).i32(0).b), ZNQ_ERR_POLYGON_TOO_LARGE) << record;
    }
    // T one value short: the last record of the run runs past it.
    Bytes shortT = good;
    const int32_t t = 20 * 4 - 1;
    std::memcpy(shortT.b.data() + head - 12, &t, 4);
    EXPECT_EQ(Load(g, shortT.i32(0).i32(0).i32(0).b), ZNQ_ERR_UNKNOWN_FORMAT);
    // The file ends inside the run.
    for (size_t cut : {size_t(17), size_t(16 * 9 + 4), size_t(16 * 19 + 8)})
    {
        Bytes cutFile;
        cutFile.b.assign(good.b.begin(), good.b.begin() + std::ptrdiff_t(head + cut));
        EXPECT_EQ(Load(g, cutFile.b), ZNQ_ERR_LOAD_READ) << cut;
    }
    EXPECT_TRUE(IsEmpty(g));
}

TEST(ReadDrs2Binary, WideIndicesAreUnsignedNarrowAndSignedAtFourBytes)
{
    // Width 2 index 65535 names vertex 65535; width 4 index -1 is out of range.
    Bytes f = BinHead(3);
    f.i32(8).i32(1).i32(2).u8(3).u16(0).u16(1).u16(2).u8(3).u16(0).u16(65535).u16(2);
    f.i32(0).i32(0).i32(0);
    Geo g;
    ASSERT_EQ(Load(g, f.b), ZNQ_OK);
    EXPECT_EQ(g->_numPoly, 1) << "the polygon naming 65535 is removed";
    Bytes h = BinHead(3);
    h.i32(4).i32(4).i32(4).i32(3).i32(0).i32(-1).i32(2).i32(0).i32(0).i32(0);
    ASSERT_EQ(Load(g, h.b), ZNQ_OK);
    EXPECT_EQ(g->_numPoly, 0);
}

TEST(ReadDrs2Binary, QuantisedColoursDecodeWithThe65000Divisor)
{
    Bytes f = BinMesh(3, kTri);
    const float lo = -2.0f, hi = 3.0f;
    f.i32(3).f32(lo).f32(hi);
    f.u16(0).u16(65000).u16(13000).u16(65535);
    f.u16(32500).u16(1).u16(0).u16(0);
    f.u16(0).u16(0).u16(0).u16(0);
    f.i32(0).i32(0);
    Geo g;
    ASSERT_EQ(Load(g, f.b), ZNQ_OK);
    const float scale = float(double(hi - lo) / 65000.0);
    const float4& c = g->_nodeCol[0];
    EXPECT_EQ(c.x, lo);
    EXPECT_EQ(c.y, hi);
    EXPECT_EQ(c.z, 13000.0f * scale + lo);
    EXPECT_NEAR(c.z, -1.0f, 1e-6);
    EXPECT_GT(c.w, hi) << "codes above 65000 decode above the maximum";
    EXPECT_EQ(c.w, 65535.0f * scale + lo);
    EXPECT_EQ(g->_nodeCol[1].x, 32500.0f * scale + lo);
    EXPECT_EQ(g->_nodeCol[1].y, scale + lo);
}

// Every 16-bit code, each lane of a vertex a different one, through nodes
// that name the vertices in scrambled order: each value is the code times
// the step plus the minimum, rounded after each operation. The normals of
// the same nodes come from the same vertices.
TEST(ReadDrs2Binary, EveryColourCodeDecodesAsCodeTimesStepPlusMinimum)
{
    const int32_t numVert = 16384;
    std::vector<std::vector<int32_t>> tris;
    for (int32_t t = 0; t < numVert; ++t)
        tris.push_back({(t * 7919) % numVert, (t * 7919 + 1) % numVert, (t * 7919 + 2) % numVert});
    Bytes f = BinMesh(numVert, tris);
    const float lo = -0.37f, hi = 1.9f;
    f.i32(numVert).f32(lo).f32(hi);
    for (int32_t code = 0; code < 65536; ++code)
        f.u16(uint16_t((code * 40503) & 0xFFFF)); // a permutation of all codes
    f.i32(0).i32(numVert); // normals too: both are written in one pass
    for (int32_t v = 0; v < numVert; ++v)
        f.f32(float(v)).f32(-0.5f).f32(float(-v));
    Geo g;
    ASSERT_EQ(Load(g, f.b), ZNQ_OK);
    ASSERT_EQ(g->_numPoly, numVert);
    const float scale = float(double(hi - lo) / 65000.0);
    const int32_t* vind = g->_polyVInd;
    int mismatches = 0;
    for (int64_t k = 0; k < 3 * int64_t(numVert); ++k)
    {
        const float4& c = g->_nodeCol[k];
        const float lanes[4] = {c.x, c.y, c.z, c.w};
        for (int32_t i = 0; i < 4; ++i)
        {
            const uint16_t code = uint16_t(((4 * vind[k] + i) * 40503) & 0xFFFF);
            mismatches += lanes[i] != float(code) * scale + lo;
        }
        mismatches += !SameFloat3(g->_nodeNrm[k], {float(vind[k]), -0.5f, float(-vind[k])});
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(ReadDrs2Binary, MotionsAndNormals)
{
    Bytes f = BinMesh(3, {{2, 1, 0}});
    f.i32(0).i32(3);
    for (int i = 0; i < 9; ++i)
        f.f32(float(i));
    f.i32(3);
    for (int i = 0; i < 9; ++i)
        f.f32(float(10 + i));
    Geo g;
    ASSERT_EQ(Load(g, f.b), ZNQ_OK);
    EXPECT_TRUE(SameFloat3(g->_vertMotion[1], {3, 4, 5}));
    EXPECT_TRUE(SameFloat3(g->_nodeNrm[0], {16, 17, 18})) << "node 0 names vertex 2";
    // Not selected: skipped by seeking, the file still loads.
    ASSERT_EQ(Load(g, f.b, false), ZNQ_OK);
    EXPECT_EQ(g->_vertMotion, nullptr);
    EXPECT_EQ(g->_nodeNrm, nullptr);
    f.u8(0x55); // trailing bytes are not read
    EXPECT_EQ(Load(g, f.b), ZNQ_OK);
}

TEST(ReadDrs2Binary, SingleLineFeedShiftsEverythingByOneByte)
{
    // V = 3 is stored 03 00 00 00; one byte off, the reader takes 00 00 00 00
    // (the last byte from the positions): an empty mesh.
    Bytes f;
    f.str("Drosil2-File-Format 2024 bin format\n").i32(3).zeros(36).i32(4).i32(4).i32(4);
    f.i32(3).i32(0).i32(1).i32(2).i32(0).i32(0).i32(0);
    Geo g;
    ASSERT_EQ(Load(g, f.b), ZNQ_OK);
    EXPECT_EQ(g->_numVert, 0);
    f.b[35] = '\r'; // CR LF after "format": the same bytes read as 3 vertices
    f.b.insert(f.b.begin() + 36, '\n');
    ASSERT_EQ(Load(g, f.b), ZNQ_OK);
    EXPECT_EQ(g->_numVert, 3);
}

TEST(ReadDrs2Binary, ErrorCodes)
{
    Geo g;
    auto load = [&](const Bytes& f, bool all = true) { return Load(g, f.b, all); };
    EXPECT_EQ(load(BinHead(3)), ZNQ_ERR_UNKNOWN_FORMAT) << "T missing";
    EXPECT_EQ(load(BinHead(-1)), ZNQ_ERR_UNKNOWN_FORMAT) << "negative V";
    EXPECT_EQ(load(BinHead(3).i32(-4).i32(4).i32(4)), ZNQ_ERR_UNKNOWN_FORMAT) << "negative T";
    EXPECT_EQ(load(BinMesh(3, kTri, 3, 4)), ZNQ_ERR_UNKNOWN_FORMAT) << "count width 3";
    EXPECT_EQ(load(BinMesh(3, kTri, 4, 0)), ZNQ_ERR_UNKNOWN_FORMAT) << "index width 0";
    EXPECT_EQ(load(BinMesh(3, kTri)), ZNQ_ERR_UNKNOWN_FORMAT) << "C missing";
    EXPECT_EQ(load(BinMesh(3, kTri).i32(0).i32(-1)), ZNQ_ERR_UNKNOWN_FORMAT) << "negative M";
    EXPECT_EQ(load(BinMesh(3, kTri).i32(0).i32(0).i32(2)), ZNQ_ERR_LOAD_USERDATA_COUNT);
    EXPECT_EQ(load(BinMesh(3, kTri).i32(4)), ZNQ_ERR_LOAD_USERDATA_COUNT);
    Bytes shortPos = BinHead(3);
    shortPos.b.pop_back();
    EXPECT_EQ(load(shortPos), ZNQ_ERR_LOAD_READ);
    EXPECT_EQ(load(BinHead(3).i32(2).i32(2).i32(4).u16(256).i32(0)), ZNQ_ERR_POLYGON_TOO_LARGE) << "256 corners";
    EXPECT_EQ(load(BinHead(3).i32(2).i32(4).i32(4).i32(-2).i32(0)), ZNQ_ERR_POLYGON_TOO_LARGE) << "negative corners";
    EXPECT_EQ(load(BinHead(3).i32(3).i32(4).i32(4).i32(3).i32(0).i32(1).i32(2).i32(0).i32(0).i32(0)),
              ZNQ_ERR_UNKNOWN_FORMAT)
        << "last record runs past T";
    EXPECT_EQ(load(BinMesh(3, kTri).i32(3).zeros(20), false), ZNQ_ERR_LOAD_READ) << "skipped colours not in the file";
    EXPECT_EQ(load(BinMesh(3, kTri).i32(3).f32(0).f32(1).zeros(20)), ZNQ_ERR_LOAD_READ);
    EXPECT_EQ(Read(g, TempPath("missing.drs2")), ZNQ_ERR_LOAD_OPEN);
    EXPECT_EQ(ReadDrs2(g, nullptr, true, true, true), ZNQ_ERR_LOAD_OPEN);
    EXPECT_TRUE(IsEmpty(g));
}

TEST(ReadDrs2Binary, EmptyMeshNeedsNothingAfterTheCount)
{
    Geo g;
    ASSERT_EQ(Load(g, BinHead(0).b), ZNQ_OK);
    EXPECT_EQ(g->_numVert, 0);
    EXPECT_NE(g->_vertPos, nullptr);
}

TEST(ReadDrs2Binary, OutOfRangeIndicesNeverReadOutsideVertexData)
{
    Bytes f = BinMesh(3, {{0, 1, 70000}, {0, 1, 2}});
    f.i32(3).f32(0).f32(1);
    for (int i = 0; i < 12; ++i)
        f.u16(65000);
    f.i32(0).i32(3);
    for (int i = 0; i < 9; ++i)
        f.f32(1.0f);
    Geo g;
    ASSERT_EQ(Load(g, f.b), ZNQ_OK);
    EXPECT_EQ(PolysOf(g), kTri);
    EXPECT_NEAR(g->_nodeCol[2].x, 1.0f, 1e-6);
    EXPECT_EQ(g->_nodeNrm[2].z, 1.0f);
}

TEST(ReadDrs2Binary, EveryTruncationFailsCleanly)
{
    Geo src;
    ASSERT_TRUE(MakeSampleMesh(src, 16, 0.5f));
    Drs2WriteOptions opt;
    opt.binary = true;
    opt.countWidth = 2;
    std::vector<uint8_t> full;
    ASSERT_TRUE(WriteDrs2ToMemory(src, opt, full));
    ExpectEveryCutFailsCleanly(full, kLoad,
                               [](size_t, int32_t rc) { return rc == ZNQ_ERR_UNKNOWN_FORMAT || rc == ZNQ_ERR_LOAD_READ; });
}

TEST(ReadDrs2Binary, HostileCountsAllocateNothing)
{
    Geo g;
    auto expectSmall = [&](const Bytes& f, int32_t code, const char* what) {
        ExpectSmallFailure(g, kLoad, f.b, code, what);
    };
    for (int32_t v : {INT32_MAX, 1 << 28, 50})
        expectSmall(Bytes().str("Drosil2-File-Format 2024 bin format\r\n").i32(v).zeros(40),
                    ZNQ_ERR_LOAD_READ, "vertex count");
    for (int32_t t : {INT32_MAX, 1 << 30, 100})
    {
        Bytes f = BinHead(3);
        f.i32(t).i32(4).i32(4).i32(3).zeros(12);
        expectSmall(f, ZNQ_ERR_LOAD_READ, "polygon value count");
    }
    for (int32_t c : {INT32_MAX, 1 << 30})
    {
        Bytes f = BinMesh(3, kTri);
        f.i32(c);
        expectSmall(f, ZNQ_ERR_LOAD_USERDATA_COUNT, "colour count");
    }
}

TEST(ReadDrs2Errors, UnseekableStreamIsRefused)
{
#if defined(_WIN32)
    GTEST_SKIP() << "POSIX named pipes (mkfifo): no such file on Windows";
#endif
    const std::string p = TempPath("pipe.drs2");
    const int fd = MakeFifo(p, Text(AsciiTri()));
    ASSERT_GE(fd, 0);
    Geo g;
    EXPECT_EQ(Read(g, p), ZNQ_ERR_LOAD_READ);
    close(fd);
    unlink(p.c_str());
}

TEST(ReadDrs2Errors, RefusedAllocations)
{
    if (!AddressLimitUsable())
        GTEST_SKIP() << "address-space limits do not mix with sanitizers";
    // 50 million vertices (600 MB) in a sparse file, 256 MB of room: 127.
    Bytes head;
    head.str("Drosil2-File-Format 2024 bin format\r\n").i32(50000000);
    const std::string p = TempPath("huge.drs2");
    WriteSparse(p, head.b, int64_t(head.size()) + 600000000 + 64);
    ExpectUnderAddressLimit(256ll << 20, [&] {
        Geo g;
        return Read(g, p) == ZNQ_ERR_LOAD_MEMORY;
    });

    // 48 million zero-corner records of one byte: the 48 MB record block
    // fits in 80 MB of room, the 48 MB of corner counts after it do not: 10.
    Bytes rec = BinHead(1);
    rec.i32(48000000).i32(1).i32(1);
    const std::string q = TempPath("records.drs2");
    WriteSparse(q, rec.b, int64_t(rec.size()) + 48000000 + 12);
    ExpectUnderAddressLimit(80ll << 20, [&] {
        Geo g;
        return Read(g, q) == ZNQ_ERR_MEMORY;
    });
    std::remove(p.c_str());
    std::remove(q.c_str());
}

// ---------------------------------------------------------------------------
// Round trips

TEST(ReadDrs2RoundTrip, AsciiAndBinaryWidths)
{
    Geo src;
    ASSERT_TRUE(MakeSampleMesh(src, 120, 3.0f)); // 64 vertices: every width fits
    ASSERT_LE(src->_numVert, 255);
    for (int variant = 0; variant < 10; ++variant)
    {
        Drs2WriteOptions opt;
        opt.binary = variant > 0;
        if (opt.binary)
        {
            const int32_t widths[3] = {1, 2, 4};
            opt.countWidth = widths[(variant - 1) / 3];
            opt.indexWidth = widths[(variant - 1) % 3];
        }
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(WriteDrs2ToMemory(src, opt, bytes));
        Geo g;
        ASSERT_EQ(Load(g, bytes), ZNQ_OK) << variant;
        ASSERT_EQ(g->_numVert, src->_numVert);
        EXPECT_EQ(PolysOf(g), PolysOf(src));
        for (int32_t v = 0; v < src->_numVert; ++v)
        {
            ASSERT_TRUE(SameFloat3(g->_vertPos[v], src->_vertPos[v])) << variant;
            ASSERT_TRUE(SameFloat3(g->_vertMotion[v], src->_vertMotion[v])) << variant;
        }
        for (int64_t k = 0; k < src->NumNodes(); ++k)
        {
            ASSERT_TRUE(SameFloat3(g->_nodeNrm[k], src->_nodeNrm[k])) << variant;
            // Binary colours are quantised to 1/65000 of their range.
            const float tol = opt.binary ? 1e-4f : 0.0f;
            ASSERT_NEAR(g->_nodeCol[k].x, src->_nodeCol[k].x, tol);
            ASSERT_NEAR(g->_nodeCol[k].w, src->_nodeCol[k].w, tol);
        }
    }
}

TEST(ReadDrs2Hostile, RandomByteChangesNeverBreakTheReader)
{
    Geo src;
    ASSERT_TRUE(MakeSampleMesh(src, 16, 0.25f));
    Drs2WriteOptions bin;
    bin.binary = true;
    bin.countWidth = 1;
    bin.indexWidth = 2;
    std::vector<uint8_t> ascii, binary;
    ASSERT_TRUE(WriteDrs2ToMemory(src, Drs2WriteOptions(), ascii));
    ASSERT_TRUE(WriteDrs2ToMemory(src, bin, binary));
    ExpectRandomChangesSafe(ascii, kLoad, 300, 99, [](std::mt19937& rng) {
        static const char alphabet[] = "0123456789-+.eE \n\tx";
        return uint8_t(alphabet[rng() % (sizeof(alphabet) - 1)]);
    });
    ExpectRandomChangesSafe(binary, kLoad, 300, 98, [](std::mt19937& rng) { return uint8_t(rng()); });
}
