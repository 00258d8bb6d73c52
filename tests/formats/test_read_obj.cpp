// ReadObj: statements, corner forms, texture component count, group filter,
// number conversion, every error code, and attacks on the text.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "errors/ZNQError.h"
#include "../common/KvTest.h"

using namespace kvt;

namespace {

int32_t Read(ZNQGeometry& g, const std::string& text, bool normals = true, bool uvws = true,
             const char* groups = nullptr, bool invert = false)
{
    const std::string path = WriteText("t.obj", text);
    return ReadObj(g, path.c_str(), normals, uvws, groups, invert);
}

// Polygons left after reading text with a group filter (no optional data),
// or -1000 - the code of a failed read.
int32_t NumPolys(ZNQGeometry& g, const std::string& text, const char* groups, bool invert = false)
{
    const int32_t rc = Read(g, text, false, false, groups, invert);
    return rc ? -1000 - rc : g._numPoly;
}

// Three vertices, UVWs and normals; one triangle referencing all three.
const char* kTri = "v 0 0 0\nv 1 0 0\nv 0 1 0\n"
                   "vt 0.25 0.5 0.75\nvt 1 0 0\nvt 0 1 0\n"
                   "vn 0 0 1\nvn 0 0 -1\nvn 1 0 0\n"
                   "f 1/1/1 2/2/2 3/3/3\n";

// Two triangles per group, groups in order grp1, grp3, grp2:
//   vertices 1..4 shared; polygon i of group n has first corner 1.
std::string ThreeGroups()
{
    return "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
           "g grp1\nf 1 2 3\n"
           "g grp3\nf 1 3 4\nf 2 3 4\n"
           "g grp2\nf 1 2 4\n";
}

} // namespace

// ---------------------------------------------------------------------------
// Statements and corner forms

TEST(ReadObj, TriangleWithUvwsAndNormals)
{
    Geo g;
    ASSERT_EQ(Read(g, kTri), 0);
    ASSERT_EQ(g->_numVert, 3);
    EXPECT_EQ(PolysOf(g), (PolyList{{0, 1, 2}}));
    EXPECT_FLOAT_EQ(g->_vertPos[1].x, 1.0f);
    ASSERT_TRUE(g->_nodeUvw && g->_nodeNrm);
    EXPECT_FLOAT_EQ(g->_nodeUvw[0].x, 0.25f);
    EXPECT_FLOAT_EQ(g->_nodeUvw[0].y, 0.5f);
    EXPECT_FLOAT_EQ(g->_nodeUvw[0].z, 0.75f);
    EXPECT_FLOAT_EQ(g->_nodeNrm[1].z, -1.0f);
    EXPECT_FLOAT_EQ(g->_nodeNrm[2].x, 1.0f);
}

TEST(ReadObj, OptionalDataOnlyWhenAskedAndPresent)
{
    Geo g;
    ASSERT_EQ(Read(g, kTri, false, false), 0);
    EXPECT_FALSE(g->_nodeUvw || g->_nodeNrm);
    // Asked for but absent from the file: nothing either.
    ASSERT_EQ(Read(g, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"), 0);
    EXPECT_FALSE(g->_nodeUvw || g->_nodeNrm);
}

TEST(ReadObj, CornersWithoutReferencesGetDefaults)
{
    Geo g;
    // Corner 1 has no texture or normal part, corner 2 only a texture part.
    ASSERT_EQ(Read(g, "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0.5 0.5\nvn 0 0 1\nf 1 2/1 3/1/1\n"), 0);
    EXPECT_FLOAT_EQ(g->_nodeUvw[0].x, 0.0f);
    EXPECT_FLOAT_EQ(g->_nodeUvw[1].x, 0.5f);
    EXPECT_FLOAT_EQ(g->_nodeNrm[0].y, 1.0f); // (0, 1, 0)
    EXPECT_FLOAT_EQ(g->_nodeNrm[1].y, 1.0f);
    EXPECT_FLOAT_EQ(g->_nodeNrm[2].z, 1.0f);
}

TEST(ReadObj, EmptyTexturePartFailsOnlyWhenTextureIsTaken)
{
    const std::string noVt = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nf 1//1 2//1 3//1\n";
    const std::string withVt = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\nf 1//1 2//1 3//1\n";
    Geo g;
    EXPECT_EQ(Read(g, noVt), 0);
    EXPECT_EQ(g->_numPoly, 1);
    EXPECT_EQ(Read(g, withVt, true, false), 0);
    EXPECT_EQ(Read(g, withVt, true, true), ZNQ_ERR_UNKNOWN_FORMAT);
    EXPECT_TRUE(IsEmpty(g));
}

TEST(ReadObj, IndicesOutOfRangeFail)
{
    const char* head = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\n";
    const char* faces[] = {
        "f -3 -2 -1\n",                 // relative indices are not supported
        "f 0 1 2\n",                    // 1-based
        "f 1 2 4\n",                    // past the end
        "f 1 2 99999999999999999999\n", // huge: saturates, out of range
        "f 1/2 2/1 3/1\n",              // texture index past the end
        "f 1/1/2 2/1/1 3/1/1\n",        // normal index past the end
        "f 1/1/ 2/1/1 3/1/1\n",         // empty normal part
        "f a 2 3\n",                    // no digits: index 0
    };
    for (const char* f : faces)
    {
        Geo g;
        EXPECT_EQ(Read(g, std::string(head) + f), ZNQ_ERR_UNKNOWN_FORMAT) << f;
        EXPECT_TRUE(IsEmpty(g)) << f;
    }
    // Texture and normal indices are not looked at when not taken.
    Geo g;
    EXPECT_EQ(Read(g, std::string(head) + "f 1/9/9 2/9/9 3/9/9\n", false, false), 0);
    EXPECT_EQ(g->_numPoly, 1);
}

TEST(ReadObj, IndexReadingStopsAtOtherCharacters)
{
    Geo g;
    // "+2" is 2, "3abc" is 3: reading stops at the first non-digit.
    ASSERT_EQ(Read(g, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 +2 3abc\n"), 0);
    EXPECT_EQ(PolysOf(g), (PolyList{{0, 1, 2}}));
}

TEST(ReadObj, PointStatementsAndIgnoredLines)
{
    Geo g;
    const std::string text = "# comment\no thing\nmtllib a.mtl\nusemtl m\ns 1\n"
                             "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n"
                             " v 9 9 9\n"  // leading blank: ignored
                             "v\t8 8 8\n"  // tab after the keyword: ignored
                             "l 1 2\n"
                             "p 1 2 4\n";
    ASSERT_EQ(Read(g, text), 0);
    EXPECT_EQ(g->_numVert, 3); // vertex 3 unused, removed by the clean-up
    EXPECT_EQ(g->_numPoly, 1);
}

TEST(ReadObj, LineBreakVariants)
{
    for (const char* br : {"\r\n", "\r", "\n\n\r\n"})
    {
        std::string t = std::string("v 0 0 0") + br + "v 1 0 0" + br + "v 0 1 0" + br + "f 1 2 3" + br;
        Geo g;
        ASSERT_EQ(Read(g, br + t), 0);
        EXPECT_EQ(g->_numPoly, 1);
        EXPECT_EQ(g->_numVert, 3);
    }
}

TEST(ReadObj, ByteOrderMarkAtTheStartIsSkipped)
{
    // The mark would otherwise hide the first vertex and shift every index.
    const std::string bom = "\xEF\xBB\xBF";
    Geo g;
    ASSERT_EQ(Read(g, bom + "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"), 0);
    ASSERT_EQ(g->_numVert, 3);
    EXPECT_EQ(g->_vertPos[1].x, 1.0f);
    // Only at the very start: elsewhere it stays part of its line.
    ASSERT_EQ(Read(g, "v 0 0 0\n" + bom + "v 1 0 0\nv 0 1 0\nv 0 0 1\nf 1 2 3\n"), 0);
    EXPECT_EQ(g->_numVert, 3);
    EXPECT_EQ(g->_vertPos[1].y, 1.0f);
}

TEST(ReadObj, EmptyResults)
{
    Geo g;
    // No vertex at all (faces not looked at), or vertices but no face (the
    // clean-up removes them): success, an empty mesh.
    for (const char* text : {"# nothing\nf 1 2 3\n", "", "v 0 0 0\nv 1 0 0\n"})
    {
        ASSERT_EQ(Read(g, text), 0) << text;
        EXPECT_TRUE(g->_vertPos != nullptr);
        EXPECT_EQ(g->_numVert, 0);
        EXPECT_EQ(g->_numPoly, 0);
    }
}

TEST(ReadObj, IllegalPolygonsAreCleanedUp)
{
    Geo g;
    ASSERT_EQ(Read(g, "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nf 1 2\nf 1 2 2 3\nf 2 4 3\n"), 0);
    ASSERT_EQ(g->_numVert, 3); // vertex 1 was used only by the deleted ones
    // (2, 4, 3) renumbered over the remaining vertices 2, 3, 4.
    EXPECT_EQ(PolysOf(g), (PolyList{{0, 2, 1}}));
    EXPECT_EQ(g->_vertPos[0].x, 1.0f);
}

TEST(ReadObj, PolygonSizeLimit)
{
    std::string text;
    for (int i = 0; i < 256; ++i)
        text += "v " + std::to_string(std::cos(i * 0.0245)) + " " + std::to_string(std::sin(i * 0.0245)) + " 0\n";
    std::string f255 = "f", f256 = "f";
    for (int i = 1; i <= 255; ++i)
        f255 += " " + std::to_string(i);
    f256 = f255 + " 256";
    Geo g;
    ASSERT_EQ(Read(g, text + f255 + "\n"), 0);
    EXPECT_EQ(g->_polyNumVert[0], 255);
    EXPECT_EQ(Read(g, text + f256 + "\n"), ZNQ_ERR_POLYGON_TOO_LARGE);
    EXPECT_TRUE(IsEmpty(g));
    // The size check wins over a bad index elsewhere.
    EXPECT_EQ(Read(g, text + "f 1 2 999\n" + f256 + "\n"), ZNQ_ERR_POLYGON_TOO_LARGE);
}

// ---------------------------------------------------------------------------
// Values

TEST(ReadObj, ValueCountsAndTrailingWhitespace)
{
    Geo g;
    EXPECT_EQ(Read(g, "v 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"), ZNQ_ERR_UNKNOWN_FORMAT);
    EXPECT_EQ(Read(g, "v 0 0 0 1 0.5\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"), 0); // extra values ignored
    // The last value of a file needs whitespace after it.
    EXPECT_EQ(Read(g, "v 0 0 0\nv 1 0 0\nv 0 1 0"), ZNQ_ERR_UNKNOWN_FORMAT);
    EXPECT_EQ(Read(g, "v 0 0 0\nv 1 0 0\nv 0 1 0 "), 0);
    // A face on the last line needs no line break.
    EXPECT_EQ(Read(g, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3"), 0);
    EXPECT_EQ(g->_numPoly, 1);
    // Normals: checked only when taken.
    const std::string badVn = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 1\nf 1 2 3\n";
    EXPECT_EQ(Read(g, badVn, true, true), ZNQ_ERR_UNKNOWN_FORMAT);
    EXPECT_EQ(Read(g, badVn, false, true), 0);
}

TEST(ReadObj, TextGluedToANumberIsNoValue)
{
    // Old Windows exporters write infinity as 1.#INF; a misplaced sign makes
    // 3.1+e2. Neither is a value, so the statement is a value short.
    const char* tail = "v 1 0 0\nv 0 1 0\nf 1 2 3\n";
    Geo g;
    EXPECT_EQ(Read(g, std::string("v 1.#INF 0 0\n") + tail), ZNQ_ERR_UNKNOWN_FORMAT);
    EXPECT_EQ(Read(g, std::string("v 3.1+e2 1 0\n") + tail), ZNQ_ERR_UNKNOWN_FORMAT);
    EXPECT_EQ(Read(g, std::string("v 0 0 1.#IND\n") + tail), ZNQ_ERR_UNKNOWN_FORMAT);
    // The spelled-out forms are values.
    ASSERT_EQ(Read(g, std::string("v inf -inf 3.1e+2\n") + tail), 0);
    EXPECT_TRUE(std::isinf(g->_vertPos[0].x));
    EXPECT_FLOAT_EQ(g->_vertPos[0].z, 310.0f);
    // Values beyond the third are not read, glued or not.
    EXPECT_EQ(Read(g, std::string("v 0 0 0 1.#INF\n") + tail), 0);
    // vn and vt: glued values fail when taken.
    const std::string head = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    EXPECT_EQ(Read(g, head + "vn 0 1.#INF 0\nf 1//1 2//1 3//1\n", true, false), ZNQ_ERR_UNKNOWN_FORMAT);
    EXPECT_EQ(Read(g, head + "vn 0 1.#INF 0\nf 1//1 2//1 3//1\n", false, false), 0);
    EXPECT_EQ(Read(g, head + "vt 0.5 3.1+e2\nf 1/1 2/1 3/1\n", false, true), ZNQ_ERR_UNKNOWN_FORMAT);
    EXPECT_EQ(Read(g, head + "vt 0.5 0.5\nvt 1.#INF 0\nf 1/1 2/2 3/1\n", false, true),
              ZNQ_ERR_UNKNOWN_FORMAT);
    // A glued fourth token of the first vt statement is not a fourth value
    // but still no value: the count is not known, so the file fails.
    EXPECT_EQ(Read(g, head + "vt 0.5 0.5 0 1.#INF\nf 1/1 2/1 3/1\n", false, true), ZNQ_ERR_UNKNOWN_FORMAT);
}

TEST(ReadObj, TextureComponentCountFromFirstStatement)
{
    const char* head = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    Geo g;
    // Two components: w stays 0, a third value of a later statement is ignored.
    ASSERT_EQ(Read(g, std::string(head) + "vt 0.5 0.25\nvt 1 1 1\nf 1/1 2/2 3/1\n"), 0);
    EXPECT_FLOAT_EQ(g->_nodeUvw[0].y, 0.25f);
    EXPECT_EQ(g->_nodeUvw[1].z, 0.0f);
    EXPECT_FLOAT_EQ(g->_nodeUvw[1].y, 1.0f);
    // One component.
    ASSERT_EQ(Read(g, std::string(head) + "vt 0.5\nf 1/1 2/1 3/1\n"), 0);
    EXPECT_FLOAT_EQ(g->_nodeUvw[0].x, 0.5f);
    EXPECT_EQ(g->_nodeUvw[0].y, 0.0f);
    // Too many, none, fewer in a later statement.
    EXPECT_EQ(Read(g, std::string(head) + "vt 1 2 3 4\nf 1/1 2/1 3/1\n"), ZNQ_ERR_UNKNOWN_FORMAT);
    EXPECT_EQ(Read(g, std::string(head) + "vt \nf 1/1 2/1 3/1\n"), ZNQ_ERR_UNKNOWN_FORMAT);
    EXPECT_EQ(Read(g, std::string(head) + "vt 1 2 3\nvt 1 2\nf 1/1 2/1 3/1\n"), ZNQ_ERR_UNKNOWN_FORMAT);
    // The first statement's line must end with a line break.
    EXPECT_EQ(Read(g, "f 1/1 2/1 3/1\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 1 2"), ZNQ_ERR_UNKNOWN_FORMAT);
    // Without loadUvws, none of this is looked at.
    EXPECT_EQ(Read(g, std::string(head) + "vt 1 2 3 4\nf 1/1 2/1 3/1\n", true, false), 0);
    // A "vt " inside another line does not fix the count; the statement does.
    ASSERT_EQ(Read(g, std::string("# a vt 1 2 3 4 5\n") + head + "vt 0.5 0.25\nf 1/1 2/1 3/1\n"), 0);
    EXPECT_FLOAT_EQ(g->_nodeUvw[0].y, 0.25f);
}

// ---------------------------------------------------------------------------
// Group filter

TEST(ReadObj, GroupFilterKeepsNamedGroups)
{
    Geo g;
    ASSERT_EQ(Read(g, ThreeGroups(), false, false, "grp1;grp2;"), 0);
    EXPECT_EQ(PolysOf(g), (PolyList{{0, 1, 2}, {0, 1, 3}})) << "grp1's and grp2's";
    ASSERT_EQ(Read(g, ThreeGroups(), false, false, "grp1;grp2;", true), 0);
    EXPECT_EQ(PolysOf(g), (PolyList{{0, 2, 3}, {1, 2, 3}})) << "grp3's two";
}

TEST(ReadObj, GroupFilterDetails)
{
    Geo g;
    EXPECT_EQ(NumPolys(g, ThreeGroups(), "Grp1"), 0) << "case-sensitive";
    EXPECT_EQ(NumPolys(g, ThreeGroups(), ";;"), 4) << "no name left: no filter";
    EXPECT_EQ(NumPolys(g, ThreeGroups(), ""), 4);
    EXPECT_EQ(NumPolys(g, "v 0 0 0\nv 1 0 0\nv 0 1 0\ng a b  c\nf 1 2 3\n", "c"), 1)
        << "any name of a group statement may match";
    EXPECT_EQ(NumPolys(g, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\ng x\nf 1 2 3\n", "y"), 1)
        << "polygons before the first group statement are inside the filter";
    EXPECT_EQ(NumPolys(g, ThreeGroups(), "grp1;grp2;grp3", true), 0) << "inverted, every polygon inside";
    EXPECT_EQ(g->_numVert, 0);
}

TEST(ReadObj, GroupStatementAboveOtherLinesBeforeFirstFace)
{
    // The usual exporter layout: "g", then "usemtl", then the faces.
    const std::string text = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n"
                             "g first\nusemtl m\nf 1 2 3\n"
                             "g second\nusemtl m\nf 2 4 3\n";
    Geo g;
    ASSERT_EQ(Read(g, text, false, false, "second"), 0);
    // Only (2, 4, 3) remains, over the remaining vertices 2, 3, 4.
    EXPECT_EQ(PolysOf(g), (PolyList{{0, 2, 1}}));
    EXPECT_TRUE(SameFloat3(g->_vertPos[0], {1, 0, 0}));
    ASSERT_EQ(Read(g, text, false, false, "first"), 0);
    EXPECT_EQ(PolysOf(g), (PolyList{{0, 1, 2}}));
}

TEST(ReadObj, LongFilterStrings)
{
    Geo g;
    // Far beyond any fixed buffer: names are used in place.
    std::string filter(5000, 'x');
    filter += ";grp2;";
    EXPECT_EQ(NumPolys(g, ThreeGroups(), filter.c_str()), 1);
    // At most 128 names: the 129th is not part of the filter.
    std::string many;
    for (int i = 0; i < 128; ++i)
        many += "n" + std::to_string(i) + ";";
    EXPECT_EQ(NumPolys(g, ThreeGroups(), (many + "grp2").c_str()), 0);
    EXPECT_EQ(NumPolys(g, ThreeGroups(), ("grp2;" + many).c_str()), 1);
}

TEST(ReadObj, FilterKeepsNodeDataWithItsPolygons)
{
    const std::string text = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nvt 0.1 0\nvt 0.2 0\nvn 1 0 0\nvn 0 0 1\n"
                             "g a\nf 1/1/1 2/1/1 3/1/1\ng b\nf 2/2/2 4/2/2 3/2/2\n";
    Geo g;
    ASSERT_EQ(Read(g, text, true, true, "b"), 0);
    ASSERT_EQ(g->_numPoly, 1);
    EXPECT_FLOAT_EQ(g->_nodeUvw[0].x, 0.2f);
    EXPECT_FLOAT_EQ(g->_nodeNrm[2].z, 1.0f);
}

// ---------------------------------------------------------------------------
// Failures and attacks

TEST(ReadObj, MissingFileAndTextEnd)
{
    Geo g;
    EXPECT_EQ(ReadObj(g, (ScratchDir() + "/none.obj").c_str(), true, true, nullptr, false), ZNQ_ERR_LOAD_OPEN);
    EXPECT_TRUE(IsEmpty(g));
    EXPECT_EQ(ReadObj(g, nullptr, true, true, nullptr, false), ZNQ_ERR_LOAD_OPEN);
    // The text ends at the first NUL byte.
    const std::string text = std::string("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n") + '\0' + "f 1 2 9\n";
    ASSERT_EQ(Read(g, text), 0);
    EXPECT_EQ(g->_numPoly, 1);
}

TEST(ReadObj, DirectoryIsAReadError)
{
    Geo g;
    const std::string dir = ScratchDir() + "/dir.obj";
    std::filesystem::create_directories(dir);
    const int32_t rc = ReadObj(g, dir.c_str(), true, true, nullptr, false);
    EXPECT_TRUE(rc == ZNQ_ERR_READ || rc == ZNQ_ERR_LOAD_OPEN) << rc;
    EXPECT_TRUE(IsEmpty(g));
    EXPECT_LT(g->_memPeak, 1 << 20);
}

TEST(ReadObj, CutAtEveryLengthNeverBreaks)
{
    const std::string full = std::string(kTri) + "g a b\nf 3/3/3 2/2/2 1/1/1\n";
    Geo g;
    const int64_t base = g->_memUsed;
    for (size_t n = 0; n <= full.size(); ++n)
    {
        const int32_t rc = Read(g, full.substr(0, n), true, true, "a");
        EXPECT_TRUE(rc == 0 || rc == ZNQ_ERR_UNKNOWN_FORMAT) << n << " " << rc;
        if (rc)
            EXPECT_TRUE(IsEmpty(g)) << n;
        else
            EXPECT_LE(g->_numPoly, 2) << n;
        g->Clear();
        EXPECT_EQ(g->_memUsed, base) << n;
    }
}

TEST(ReadObj, AppendedBytesAndRandomGarbage)
{
    std::mt19937 rng(7);
    const std::string alphabet = "vtnfpg /0123456789.-+e\n\r\t#x";
    Geo g;
    const int64_t base = g->_memUsed;
    for (int round = 0; round < 400; ++round)
    {
        std::string t = kTri;
        const int extra = std::uniform_int_distribution<int>(1, 200)(rng);
        for (int i = 0; i < extra; ++i)
            t += alphabet[std::uniform_int_distribution<size_t>(0, alphabet.size() - 1)(rng)];
        const int32_t rc = Read(g, t, round & 1, round & 2, (round & 4) ? "a;b" : nullptr, round & 8);
        if (rc)
            EXPECT_TRUE(IsEmpty(g));
        else
        {
            // Every index in range, node arrays consistent.
            const int64_t nodes = g->NumNodes();
            for (int64_t k = 0; k < nodes; ++k)
                ASSERT_TRUE(g->_polyVInd[k] >= 0 && g->_polyVInd[k] < g->_numVert);
        }
        g->Clear();
        EXPECT_EQ(g->_memUsed, base);
    }
}

TEST(ReadObj, MemoryLimitBeforeLoadHasNoEffect)
{
    Geo g;
    g->_memLimitOn = 1;
    g->_memLimit = 1;
    ASSERT_EQ(Read(g, kTri), 0);
    EXPECT_EQ(g->_numPoly, 1);
}
