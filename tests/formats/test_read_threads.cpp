// The readers give the same bits, codes, messages and failure places for 1,
// 2 and 7 threads: .drs2 ascii (text cut into chunks at line breaks, the cuts
// in awkward places), .drs2 binary, .znq and RealFlow .bin (expansions,
// widenings and gathers in ranges), on generated files large enough to be
// split.
#include <omp.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "WriteDrs2.h"
#include "WriteRealFlowBin.h"
#include "WriteZnq.h"
#include "errors/ZNQError.h"
#include "formats/ZNQFormats.h"
#include "formats/ZNQReaderUtil.h"
#include "geometry/ZNQParallel.h"
#include "../common/KvTest.h"

using namespace kvt;

namespace
{

constexpr int kThreadCounts[] = {1, 2, 7};

// Sets the thread count, the ascii chunk size and the range size for a
// scope; restores them after.
struct Setting
{
    int oldThreads = omp_get_max_threads();
    int64_t oldChunk = znq_reader::g_drs2ChunkBytes;
    int64_t oldRange = znqpar::g_minPerRange;
    int64_t oldReadBytes = znq_reader::g_parallelReadBytes;
    // Blocks from 40 bytes on are read in parts: every test file takes the
    // parallel reads.
    Setting(int threads, int64_t chunkBytes, int64_t minPerRange)
    {
        omp_set_num_threads(threads);
        znq_reader::g_drs2ChunkBytes = chunkBytes;
        znqpar::g_minPerRange = minPerRange;
        znq_reader::g_parallelReadBytes = 40;
    }
    ~Setting()
    {
        omp_set_num_threads(oldThreads);
        znq_reader::g_drs2ChunkBytes = oldChunk;
        znqpar::g_minPerRange = oldRange;
        znq_reader::g_parallelReadBytes = oldReadBytes;
    }
};

// What a load gives: code, place and every array of the geometry, as bytes.
struct Outcome
{
    int32_t rc = 0;
    std::string place;
    std::vector<uint8_t> data;
    int32_t numVert = 0, numPoly = 0;
    bool operator==(const Outcome& o) const
    {
        return rc == o.rc && place == o.place && data == o.data && numVert == o.numVert && numPoly == o.numPoly;
    }
};

void Append(std::vector<uint8_t>& out, const void* p, int64_t bytes)
{
    const uint8_t flag = p ? 1 : 0;
    out.push_back(flag);
    if (p && bytes > 0)
        out.insert(out.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + bytes);
}

Outcome Snapshot(ZNQGeometry& g, int32_t rc, const ZNQLoadPlace& place)
{
    Outcome o;
    o.rc = rc;
    char text[256];
    PlaceFormat(place, text, sizeof text);
    o.place = text;
    o.numVert = g._numVert;
    o.numPoly = g._numPoly;
    const int64_t nv = g._numVert, nn = g.NumNodes();
    Append(o.data, g._vertPos, 12 * nv);
    Append(o.data, g._vertMotion, 12 * nv);
    Append(o.data, g._polyNumVert, g._numPoly);
    Append(o.data, g._polyVInd, 4 * nn);
    Append(o.data, g._nodeNrm, 12 * nn);
    Append(o.data, g._nodeUvw, 12 * nn);
    Append(o.data, g._nodeCol, 16 * nn);
    Append(o.data, g._vertUser4, 16 * nv);
    for (const float3* u : g._vertUser3)
        Append(o.data, u, 12 * nv);
    for (const float* u : g._vertUser1)
        Append(o.data, u, 4 * nv);
    return o;
}

using Loader = std::function<int32_t(ZNQGeometry&, ZNQLoadPlace&)>;

Loader Drs2(const std::string& path, bool all = true)
{
    return [path, all](ZNQGeometry& g, ZNQLoadPlace& p) { return ReadDrs2(g, path.c_str(), all, all, all, &p); };
}

// Loads at 1, 2 and 7 threads with the given chunk and range sizes; every
// outcome must equal the one-thread outcome, which is returned.
Outcome SameAtEveryThreadCount(const Loader& load, int64_t chunkBytes = int64_t(256) * 1024,
                               int64_t minPerRange = znqpar::kMinPerRange, const char* what = "")
{
    Outcome first;
    for (int threads : kThreadCounts)
    {
        Setting s(threads, chunkBytes, minPerRange);
        Geo g;
        ZNQLoadPlace place;
        const int32_t rc = load(g, place);
        const Outcome o = Snapshot(g, rc, place);
        if (threads == 1)
            first = o;
        else
        {
            EXPECT_EQ(o.rc, first.rc) << what << " threads " << threads;
            EXPECT_EQ(o.place, first.place) << what << " threads " << threads;
            EXPECT_TRUE(o == first) << what << " threads " << threads << ": the data differ";
        }
    }
    return first;
}

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
    float Unit() { return static_cast<float>(Next() & 0xFFFFFF) / 16777216.0f - 0.5f; }
};

// numPoly polygons of 3 to 7 distinct corners over numVert vertices, with
// motions, node normals, colours and UVWs of random values.
void RandomMesh(ZNQGeometry& g, int32_t numVert, int32_t numPoly, uint32_t seed, int32_t maxCorners = 7)
{
    Rng rng{seed};
    std::vector<float3> pos(static_cast<size_t>(numVert));
    for (float3& p : pos)
        p = float3{rng.Unit() * 100.0f, rng.Unit(), rng.Unit() * 1e-3f};
    PolyList polys(static_cast<size_t>(numPoly));
    for (auto& p : polys)
    {
        const int32_t n = 3 + rng.Below(maxCorners - 2);
        const int32_t base = rng.Below(numVert - n);
        for (int32_t i = 0; i < n; ++i)
            p.push_back(base + i);
    }
    Build(g, pos, polys);
    const size_t nv = static_cast<size_t>(numVert), nn = static_cast<size_t>(g.NumNodes());
    g._vertMotion = g._MemAllocArr<float3>(nv, false);
    g._nodeNrm = g._MemAllocArr<float3>(nn, false);
    g._nodeUvw = g._MemAllocArr<float3>(nn, false);
    g._nodeCol = g._MemAllocArr<float4>(nn, false);
    ASSERT_TRUE(g._vertMotion && g._nodeNrm && g._nodeUvw && g._nodeCol);
    for (size_t i = 0; i < nv; ++i)
        g._vertMotion[i] = float3{rng.Unit(), rng.Unit(), rng.Unit()};
    for (size_t k = 0; k < nn; ++k)
    {
        g._nodeNrm[k] = float3{rng.Unit(), rng.Unit(), 1.0f};
        g._nodeUvw[k] = float3{rng.Unit(), rng.Unit(), rng.Unit()};
        g._nodeCol[k] = float4{rng.Unit() + 0.5f, rng.Unit() + 0.5f, 0.25f, 1.0f};
    }
}

std::string AsciiText(ZNQGeometry& g)
{
    std::vector<uint8_t> bytes;
    Drs2WriteOptions opt;
    EXPECT_TRUE(WriteDrs2ToMemory(g, opt, bytes));
    return std::string(bytes.begin(), bytes.end());
}

// The ascii text of a random mesh, written once per test binary.
const std::string& BigAscii()
{
    static const std::string text = [] {
        Geo g;
        RandomMesh(g, 40000, 60000, 7u);
        return AsciiText(g);
    }();
    return text;
}

std::string Replace(std::string s, const std::string& from, const std::string& to)
{
    std::string out;
    size_t at = 0;
    for (size_t hit; (hit = s.find(from, at)) != std::string::npos; at = hit + from.size())
        out += s.substr(at, hit - at) + to;
    return out + s.substr(at);
}

// Byte offset of the start of the line holding value k (0-based, counted
// over the values after the keyword) of the section that keyword opens.
size_t ValueOffset(const std::string& text, const std::string& keyword, int64_t k)
{
    size_t p = text.find(keyword);
    EXPECT_NE(p, std::string::npos) << keyword;
    p += keyword.size();
    // Past the count.
    while (text[p] == ' ')
        ++p;
    while (text[p] != ' ' && text[p] != '\n' && text[p] != '\r')
        ++p;
    for (int64_t i = 0; i <= k; ++i)
    {
        while (std::isspace(static_cast<unsigned char>(text[p])))
            ++p;
        if (i == k)
            break;
        while (!std::isspace(static_cast<unsigned char>(text[p])))
            ++p;
    }
    return p;
}

// The text with the token at offset at replaced by word.
std::string SwapToken(const std::string& text, size_t at, const std::string& word)
{
    size_t end = at;
    while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])))
        ++end;
    return text.substr(0, at) + word + text.substr(end);
}

// Byte offset of the start of line k after the keyword's line.
size_t LineStart(const std::string& text, const std::string& keyword, int64_t k)
{
    size_t p = text.find(keyword);
    EXPECT_NE(p, std::string::npos) << keyword;
    for (int64_t i = 0; i <= k; ++i)
        p = text.find('\n', p) + 1;
    return p;
}

std::string Save(const std::string& name, const std::string& text) { return WriteText(TempPath(name), text); }

} // namespace

TEST(ReadThreads, Drs2AsciiSameBitsForEveryThreadCountAndChunkSize)
{
    const std::string& text = BigAscii();
    ASSERT_GT(text.size(), size_t(2) << 20); // several default chunks
    const std::string path = Save("big.drs2", text);
    const Outcome ref = SameAtEveryThreadCount(Drs2(path));
    ASSERT_EQ(ref.rc, 0) << ref.place;
    EXPECT_EQ(ref.numPoly, 60000);
    // Options off: the skipped sections are still parsed, the same way.
    const Outcome off = SameAtEveryThreadCount(Drs2(path, false));
    EXPECT_EQ(off.rc, 0);
    // Cuts in awkward places: chunks shorter than a line, a few lines, or a
    // prime number of bytes (cuts fall inside records and between sections).
    for (int64_t chunk : {int64_t(1), int64_t(7), int64_t(61), int64_t(4093), int64_t(65536)})
    {
        const Outcome o = SameAtEveryThreadCount(Drs2(path), chunk, znqpar::kMinPerRange, "chunk");
        EXPECT_TRUE(o == ref) << "chunk " << chunk;
    }
}

TEST(ReadThreads, Drs2AsciiLineBreaksAndLayouts)
{
    // A smaller mesh, laid out in every way the tokens allow.
    Geo g;
    RandomMesh(g, 3000, 4000, 11u);
    const std::string text = AsciiText(g);
    const std::string header = text.substr(0, text.find('\n') + 1);
    const std::string body = text.substr(header.size());
    const std::string layouts[] = {
        text,
        Replace(text, "\n", "\r\n"),                    // CR LF
        Replace(text, "\n", "\r"),                      // CR alone
        header + Replace(body, "\n", " "),              // one long line: one chunk
        header + Replace(Replace(body, " ", "\n"), "\n", "\n\n\t "), // one value a line, blank lines
        header + Replace(body, "\n", "\n\n\n\n\n\n\n\n"), // long runs of line breaks
    };
    const Outcome ref = SameAtEveryThreadCount(Drs2(Save("l0.drs2", text)), 61);
    ASSERT_EQ(ref.rc, 0) << ref.place;
    int i = 0;
    for (const std::string& t : layouts)
    {
        const std::string path = Save("l" + std::to_string(++i) + ".drs2", t);
        for (int64_t chunk : {int64_t(1), int64_t(29), int64_t(1000)})
        {
            const Outcome o = SameAtEveryThreadCount(Drs2(path), chunk, znqpar::kMinPerRange, "layout");
            EXPECT_TRUE(o == ref) << "layout " << i << " chunk " << chunk << ": " << o.place;
        }
    }
}

TEST(ReadThreads, Drs2AsciiErrorsEarlyAndLateGiveTheSameCodeMessageAndLine)
{
    const std::string& text = BigAscii();
    struct Case
    {
        const char* keyword;
        int64_t value; // value index in the section
        std::string word;
        int32_t rc;
    };
    const std::string poly = "AmountOfPolygonValues";
    static const std::string longToken(70, '1');
    static const std::string withNul("1\0" "5", 3);
    const Case cases[] = {
        {"AmountOfVertices", 5, "1.0x", ZNQ_ERR_LOAD_READ},
        {"AmountOfVertices", 110000, "nan?", ZNQ_ERR_LOAD_READ},
        {"AmountOfVertices", 7, longToken, ZNQ_ERR_LOAD_READ}, // over-long token
        {"AmountOfPolygonValues", 0, "300", ZNQ_ERR_POLYGON_TOO_LARGE},
        {"AmountOfPolygonValues", 2, "abc", ZNQ_ERR_LOAD_READ},
        {"AmountOfPolygonValues", 0, "99999999999", ZNQ_ERR_POLYGON_TOO_LARGE},
        {"AmountOfPolygonValues", 0, "-1", ZNQ_ERR_POLYGON_TOO_LARGE},
        {"AmountOfNormalVectors", 3, "--1", ZNQ_ERR_LOAD_READ},
        {"AmountOfNormalVectors", 119990, "1e", ZNQ_ERR_LOAD_READ},
        {"AmountOfMotionVectors", 60000, "x", ZNQ_ERR_LOAD_READ},
        {"AmountOfMotionVectors", 70000, "1\xE9\x80\xFF", ZNQ_ERR_LOAD_READ}, // bytes above 127
        {"AmountOfPolygonValues", 9, withNul, ZNQ_ERR_LOAD_READ},              // a NUL byte
        {"AmountOfVertexColors", 150000, "0x1", ZNQ_ERR_LOAD_READ},
    };
    int i = 0;
    for (const Case& c : cases)
    {
        const std::string t = SwapToken(text, ValueOffset(text, c.keyword, c.value), c.word);
        const std::string path = Save("e" + std::to_string(++i) + ".drs2", t);
        for (int64_t chunk : {int64_t(4093), int64_t(256) * 1024})
        {
            const Outcome o = SameAtEveryThreadCount(Drs2(path), chunk, znqpar::kMinPerRange, c.word.c_str());
            EXPECT_EQ(o.rc, c.rc) << c.keyword << " " << c.word << ": " << o.place;
            EXPECT_FALSE(o.place.empty());
            if (c.word == "99999999999")
            {
                EXPECT_NE(o.place.find("polygon of 99999999999 corners"), std::string::npos) << o.place;
            }
        }
    }
    // A polygon index that is not a number late in the polygon values, and
    // a corner count that runs past the values.
    {
        const size_t at = text.find(poly);
        size_t colours = text.find("AmountOfVertexColors");
        // The last record's count (its line starts after the last line
        // break before the colours).
        size_t lastLine = text.rfind('\n', colours - 2) + 1;
        const std::string past = SwapToken(text, lastLine, "9");
        const Outcome o = SameAtEveryThreadCount(Drs2(Save("past.drs2", past)), 4093);
        EXPECT_EQ(o.rc, ZNQ_ERR_UNKNOWN_FORMAT) << o.place;
        const size_t lateIndex = text.rfind(' ', colours - 2) + 1;
        const std::string late = SwapToken(text, lateIndex, "?");
        const Outcome o2 = SameAtEveryThreadCount(Drs2(Save("late.drs2", late)), 4093);
        EXPECT_EQ(o2.rc, ZNQ_ERR_LOAD_READ) << o2.place;
        EXPECT_NE(o2.place.find("'?' is not an index"), std::string::npos) << o2.place;
        EXPECT_GT(at, 0u);
    }
    // Cut short in every section: the count of values found, the last line.
    for (const char* keyword : {"AmountOfVertices", "AmountOfPolygonValues", "AmountOfVertexColors",
                                "AmountOfMotionVectors", "AmountOfNormalVectors"})
    {
        const size_t cut = ValueOffset(text, keyword, 1000);
        const Outcome o = SameAtEveryThreadCount(Drs2(Save("cut.drs2", text.substr(0, cut))), 4093);
        EXPECT_NE(o.rc, 0) << keyword;
        EXPECT_FALSE(o.place.empty()) << keyword;
    }
}

TEST(ReadThreads, Drs2AsciiTwoErrorsInDifferentChunksReportTheFirst)
{
    const std::string& text = BigAscii();
    const size_t early = LineStart(text, "AmountOfPolygonValues", 40001); // a corner count
    const size_t late = ValueOffset(text, "AmountOfNormalVectors", 100000);
    const size_t veryEarly = ValueOffset(text, "AmountOfVertices", 4);
    const std::string firstOnly = SwapToken(text, early, "q");
    const std::string both = SwapToken(SwapToken(text, late, "z"), early, "q");
    const Outcome one = SameAtEveryThreadCount(Drs2(Save("one.drs2", firstOnly)), 4093);
    const Outcome two = SameAtEveryThreadCount(Drs2(Save("two.drs2", both)), 4093);
    EXPECT_NE(one.rc, 0);
    EXPECT_EQ(two.rc, one.rc);
    EXPECT_EQ(two.place, one.place);
    // The other way round: a bad vertex value early, a polygon of 999
    // corners later; the vertex value is reported.
    const std::string vertFirst = SwapToken(SwapToken(text, early, "999"), veryEarly, "v");
    const Outcome v = SameAtEveryThreadCount(Drs2(Save("v.drs2", vertFirst)), 4093);
    EXPECT_EQ(v.rc, ZNQ_ERR_LOAD_READ);
    EXPECT_NE(v.place.find("vertices: 'v' is not a number"), std::string::npos) << v.place;
    EXPECT_NE(v.place.find("line 4:"), std::string::npos) << v.place; // header, keyword, vertex 0, vertex 1
}

// A block read in parts gives what fread gives: the bytes, the count and the
// stream's position after, from a position inside the stream's buffer, up to
// and past the end of the file, with or without a path for parts of their own.
TEST(ReadThreads, BlockReadInPartsEqualsFread)
{
    std::vector<uint8_t> bytes(1000);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    const std::string path = WriteBytes("block_read.bin", bytes);
    struct Case
    {
        int64_t start, want, parallelBytes;
        bool withPath;
    } cases[] = {{3, 900, 64, true}, {3, 900, 64, false}, {0, 1000, 40, true}, {600, 500, 40, true},
                 {999, 2, 2, true}, {1000, 50, 2, true},  {10, 990, 0, true},  {10, 30, 64, true}};
    for (int threads : kThreadCounts)
        for (const Case& c : cases)
        {
            const int oldThreads = omp_get_max_threads();
            omp_set_num_threads(threads);
            FILE* f = FileOpen(path.c_str(), "rb");
            ASSERT_NE(f, nullptr);
            // Fill the stream's buffer first, as a reader's small reads do.
            std::vector<uint8_t> head(static_cast<size_t>(c.start) + 1);
            ASSERT_EQ(FileRead(head.data(), 1, static_cast<size_t>(c.start), f), static_cast<size_t>(c.start));
            std::vector<uint8_t> got(static_cast<size_t>(c.want), 0xEE);
            znq_reader::PartStreams streams;
            streams.path = path.c_str();
            const size_t n = znq_reader::ReadBlock(got.data(), got.size(), f, c.withPath ? &streams : nullptr,
                                                   c.parallelBytes);
            const int64_t expect = std::min<int64_t>(c.want, 1000 - c.start);
            const std::string what = "threads " + std::to_string(threads) + " start " + std::to_string(c.start) +
                                     " want " + std::to_string(c.want);
            EXPECT_EQ(static_cast<int64_t>(n), expect) << what;
            EXPECT_TRUE(std::equal(got.begin(), got.begin() + expect, bytes.begin() + c.start)) << what;
            EXPECT_EQ(FileTell(f), c.start + expect) << what;
            uint8_t next = 0;
            EXPECT_EQ(FileRead(&next, 1, 1, f), c.start + expect < 1000 ? 1u : 0u) << what;
            if (c.start + expect < 1000)
            {
                EXPECT_EQ(next, bytes[static_cast<size_t>(c.start + expect)]) << what;
            }
            // The parts' streams serve a second block of the same file.
            if (c.start + expect + 1 + 64 <= 1000)
            {
                std::vector<uint8_t> more(64);
                EXPECT_EQ(znq_reader::ReadBlock(more.data(), more.size(), f, c.withPath ? &streams : nullptr, 16),
                          64u)
                    << what;
                EXPECT_TRUE(std::equal(more.begin(), more.end(), bytes.begin() + c.start + expect + 1)) << what;
            }
            FileClose(f);
            omp_set_num_threads(oldThreads);
        }
    EXPECT_EQ(znq_reader::ReadBlock(nullptr, 4, nullptr, nullptr, 1), 0u);
}

TEST(ReadThreads, BinaryReadersSameBitsForEveryThreadCount)
{
    Geo g;
    RandomMesh(g, 60000, 50000, 3u);
    // Small ranges, so that every loop is cut many times.
    for (int64_t range : {int64_t(16), znqpar::kMinPerRange})
    {
        // .drs2 binary in every width that holds the indices.
        for (int32_t cw : {1, 2, 4})
            for (int32_t iw : {2, 4})
            {
                Drs2WriteOptions opt;
                opt.binary = true;
                opt.countWidth = cw;
                opt.indexWidth = iw;
                const std::string path = TempPath("b.drs2");
                ASSERT_TRUE(WriteDrs2(g, path.c_str(), opt));
                const Outcome o = SameAtEveryThreadCount(Drs2(path), 0, range, ".drs2 binary");
                EXPECT_EQ(o.rc, 0) << o.place;
                EXPECT_EQ(o.numPoly, 50000);
            }
        // .znq: 16- and 32-bit indices, per-node and per-vertex items.
        for (int variant = 0; variant < 4; ++variant)
        {
            ZnqWriteOptions opt;
            opt.indices16 = (variant & 1) != 0;
            opt.normalsPerVertex = opt.colorsPerVertex = opt.uvwsPerVertex = (variant & 2) != 0;
            const std::string path = TempPath("b.znq");
            ASSERT_TRUE(WriteZnq(g, path.c_str(), opt));
            const Outcome o = SameAtEveryThreadCount(
                [path](ZNQGeometry& geo, ZNQLoadPlace& p) {
                    return ReadZnq(geo, path.c_str(), true, true, true, true, nullptr, nullptr, nullptr, &p);
                },
                0, range, ".znq");
            EXPECT_EQ(o.rc, 0) << o.place;
        }
    }
    // RealFlow .bin: triangles; texture records with and without filler.
    Geo tri;
    RandomMesh(tri, 40000, 70000, 5u, 3);
    for (int32_t fluids : {1, 3})
    {
        RealFlowBinWriteOptions opt;
        opt.fluidCount = fluids;
        const std::string path = TempPath("b.bin");
        ASSERT_EQ(WriteRealFlowBin(tri, path.c_str(), opt), 0);
        for (int64_t range : {int64_t(16), znqpar::kMinPerRange})
        {
            const Outcome o = SameAtEveryThreadCount(
                [path](ZNQGeometry& geo, ZNQLoadPlace& p) {
                    return ReadRealFlowBin(geo, path.c_str(), true, true, &p);
                },
                0, range, ".bin");
            EXPECT_EQ(o.rc, 0) << o.place;
            EXPECT_EQ(o.numPoly, 70000);
        }
    }
}

TEST(ReadThreads, WideningInPhasesEqualsTheSerialWidening)
{
    // Every count around the phase bounds, with ranges of 1 to 3 elements.
    for (int64_t range : {int64_t(1), int64_t(3)})
        for (int64_t count = 0; count < 130; ++count)
        {
            std::vector<uint16_t> src(static_cast<size_t>(count));
            for (int64_t i = 0; i < count; ++i)
                src[static_cast<size_t>(i)] = static_cast<uint16_t>(i * 40503u + 17u);
            std::vector<int32_t> buf(static_cast<size_t>(count) + 1);
            if (count > 0)
                std::memcpy(reinterpret_cast<unsigned char*>(buf.data()) + 2 * count, src.data(), 2 * size_t(count));
            {
                Setting s(7, 0, range);
                znq_reader::WidenInPlace<int32_t>(buf.data(), count,
                                                  [](uint16_t v) { return static_cast<int32_t>(v); });
            }
            for (int64_t i = 0; i < count; ++i)
                ASSERT_EQ(buf[static_cast<size_t>(i)], src[static_cast<size_t>(i)]) << count << " " << i;
        }
}
