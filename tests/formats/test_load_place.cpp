// Where and why a load failed: each reader notes its first failure's place
// (a line in text files, a byte offset and section in binary ones) and a
// short reason; a successful load leaves the record empty.
#include <gtest/gtest.h>

#include <string>

#include "errors/ZNQError.h"
#include "formats/ZNQLoadPlace.h"
#include "../common/KvTest.h"

using namespace kvt;

namespace {

struct Outcome
{
    int32_t rc;
    std::string where;
    std::string reason;
    std::string text;
};

Outcome Load(const std::string& path, bool all = true)
{
    Geo g;
    ZNQLoadPlace place;
    // Something stale in the record must not survive the load.
    PlaceAtLine(&place, 99, "stale");
    Outcome o;
    o.rc = LoadFromFile(g, path.c_str(), all, all, all, all, nullptr, nullptr, nullptr, nullptr, false, &place);
    char buf[320];
    PlaceWhere(place, buf, sizeof buf);
    o.where = buf;
    o.reason = place.reason;
    PlaceFormat(place, buf, sizeof buf);
    o.text = buf;
    return o;
}

Outcome LoadText(const std::string& name, const std::string& text, bool all = true)
{
    return Load(WriteText(name, text), all);
}

Outcome LoadBytes(const std::string& name, const Bytes& b) { return Load(WriteBytes(name, b.b)); }

const char* kTriV = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";

} // namespace

TEST(LoadPlace, RecordAndText)
{
    ZNQLoadPlace p;
    EXPECT_FALSE(p.Known());
    char buf[128];
    EXPECT_EQ(PlaceFormat(p, buf, sizeof buf), 0u);
    EXPECT_STREQ(buf, "");
    PlaceAtOffset(&p, 4096, "mesh chunk", "count %u past the end of the file", 4294967295u);
    PlaceAtLine(&p, 3, "later failure"); // the first one counts
    EXPECT_EQ(p.offset, 4096);
    EXPECT_STREQ(p.section, "mesh chunk");
    PlaceFormat(p, buf, sizeof buf);
    EXPECT_STREQ(buf, "byte 4096 (mesh chunk): count 4294967295 past the end of the file");
    // Cut to the buffer, NUL-terminated.
    char small[10];
    EXPECT_EQ(PlaceFormat(p, small, sizeof small), 9u);
    EXPECT_STREQ(small, "byte 4096");
    PlaceReset(&p);
    EXPECT_FALSE(p.Known());
    PlaceAtLine(nullptr, 1, "x"); // null records nothing
    const char* text = "a\nb\r\nc\rd";
    EXPECT_EQ(PlaceLineOf(text, text + 8), 4);
}

TEST(LoadPlace, ObjLinesAndReasons)
{
    Outcome o = LoadText("p.obj", std::string("# head\n\n") + "v 0 0 0\nv 1 0\nv 0 1 0\nf 1 2 3\n");
    EXPECT_EQ(o.rc, ZNQ_ERR_UNKNOWN_FORMAT);
    EXPECT_EQ(o.text, "line 4: vertex: 3 values expected, 2 found");

    o = LoadText("p.obj", std::string(kTriV) + "f -3 -2 -1\n");
    EXPECT_EQ(o.rc, ZNQ_ERR_UNKNOWN_FORMAT);
    EXPECT_EQ(o.where, "line 4");
    EXPECT_EQ(o.reason, "negative index -3: relative indices are not read");

    o = LoadText("p.obj", std::string(kTriV) + "f 1 2 3\r\nf 1 2 7\r\n");
    EXPECT_EQ(o.where, "line 5");
    EXPECT_EQ(o.reason, "vertex index 7 out of range 1..3");

    o = LoadText("p.obj", std::string("v 1.#INF 0 0\n") + "v 1 0 0\nv 0 1 0\nf 1 2 3\n");
    EXPECT_EQ(o.text, "line 1: vertex: '1.#INF' is not a number");

    o = LoadText("p.obj", std::string(kTriV) + "vn 0 1\nf 1//1 2//1 3//1\n");
    EXPECT_EQ(o.text, "line 4: normal: 3 values expected, 2 found");

    o = LoadText("p.obj", std::string(kTriV) + "vt 0 0\nf 1//1 2//1 3//1\n");
    EXPECT_EQ(o.where, "line 5");
    EXPECT_NE(o.reason.find("v//n"), std::string::npos) << o.reason;

    std::string big = std::string(kTriV) + "f";
    for (int i = 0; i < 256; ++i)
        big += " 1";
    o = LoadText("p.obj", big + "\n");
    EXPECT_EQ(o.rc, ZNQ_ERR_POLYGON_TOO_LARGE);
    EXPECT_EQ(o.text, "line 4: polygon of 256 corners, at most 255 are read");

    // A bad normal that is not taken is no failure, and success leaves the
    // record empty.
    o = LoadText("p.obj", std::string(kTriV) + "vn 0 1\nf 1 2 3\n", false);
    EXPECT_EQ(o.rc, 0);
    EXPECT_EQ(o.text, "");
}

TEST(LoadPlace, Drs2AsciiLinesAndBinaryOffsets)
{
    Outcome o = LoadText("p.drs2", "Drosil2-File-Format 2024 asc format\nAmountOfVertices 3\n0 0 0\n1 0 0\n0 1\n"
                                   "AmountOfPolygonValues 4\n3 0 1 2\n");
    EXPECT_NE(o.rc, 0);
    EXPECT_EQ(o.where, "line 6");
    EXPECT_NE(o.reason.find("'AmountOfPolygonValues' is not a number"), std::string::npos) << o.reason;

    Bytes b;
    b.str("Drosil2-File-Format 2024 bin format").str("\r\n").i32(-1);
    o = LoadBytes("p.drs2", b);
    EXPECT_EQ(o.rc, ZNQ_ERR_UNKNOWN_FORMAT);
    EXPECT_EQ(o.where.rfind("byte ", 0), 0u) << o.where;
    EXPECT_NE(o.where.find("(vertices)"), std::string::npos) << o.where;
    EXPECT_EQ(o.reason, "negative count -1");

    Bytes c;
    c.str("Drosil2-File-Format 2024 bin format").str("\r\n").i32(1000000).f3(0, 0, 0);
    o = LoadBytes("p.drs2", c);
    EXPECT_NE(o.rc, 0);
    EXPECT_EQ(o.reason, "count 1000000 past the end of the file");
}

TEST(LoadPlace, ZnqAndRealFlowOffsetsAndSections)
{
    Bytes z;
    z.str("    ZNQ-File-Format    ").u8(0).u32(0x0ABC0001u).zeros(24).u32(16).i32(2000000000).zeros(12);
    z.str("   >> END OF FILE <<   ").u8(0);
    Outcome o = LoadBytes("p.znq", z);
    EXPECT_NE(o.rc, 0);
    EXPECT_EQ(o.where.rfind("byte ", 0), 0u) << o.where;
    EXPECT_NE(o.reason.find("past the end of the file"), std::string::npos) << o.reason;

    Bytes r;
    r.u32(0xDADADADAu).u32(3).u32(0xCCCCCCCCu).u32(0x7FFFFFFFu);
    o = LoadBytes("p.bin", r);
    EXPECT_EQ(o.rc, ZNQ_ERR_LOAD_READ);
    EXPECT_EQ(o.text, "byte 16 (vertex chunk): count 2147483647 past the end of the file");

    // Not a .znq at all: the header is named.
    Bytes h;
    h.str("definitely not a znq file header");
    o = LoadBytes("p.znq", h);
    EXPECT_EQ(o.rc, ZNQ_ERR_UNKNOWN_FORMAT);
    EXPECT_NE(o.where.find("header"), std::string::npos) << o.where;
}

TEST(LoadPlace, NoPlaceWithoutAReaderFailure)
{
    Outcome o = Load(TempPath("no_such_file.obj"));
    EXPECT_EQ(o.rc, ZNQ_ERR_FILE_NOT_FOUND);
    EXPECT_EQ(o.where, "");
    o = LoadText("p.xyz", "v 0 0 0\n");
    EXPECT_EQ(o.rc, ZNQ_ERR_UNKNOWN_EXTENSION);
    EXPECT_EQ(o.where, "");
}

TEST(LoadPlace, Drs2ItemCountsNameTheCountAndTheVertexCount)
{
    const std::string head = "Drosil2-File-Format 2024 asc format\nAmountOfVertices 3\n0 0 0\n1 0 0\n0 1 0\n"
                             "AmountOfPolygonValues 4\n3 0 1 2\n";
    Outcome o = LoadText("count.drs2", head + "AmountOfVertexColors 2\n");
    EXPECT_EQ(o.rc, ZNQ_ERR_LOAD_USERDATA_COUNT);
    EXPECT_EQ(o.text, "line 8: 'amountofvertexcolors' 2, 0 or the vertex count 3 expected");

    Bytes b;
    b.str("Drosil2-File-Format 2024 bin format\r\n").i32(3).f3(0, 0, 0).f3(1, 0, 0).f3(0, 1, 0);
    b.i32(4).i32(1).i32(4).u8(3).i32(0).i32(1).i32(2).i32(0).i32(5);
    o = LoadBytes("count_bin.drs2", b);
    EXPECT_EQ(o.rc, ZNQ_ERR_LOAD_USERDATA_COUNT);
    EXPECT_EQ(o.text, "byte " + std::to_string(b.size() - 4) + " (motion vectors): count 5, 0 or the vertex count 3 expected");
}
