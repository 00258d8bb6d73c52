// FormatFromExtension and LoadFromFile: the dispatch by extension, its order
// of checks, and the .obj writer's text.
#include <gtest/gtest.h>

#include "WriteObj.h"
#include "WriteRealFlowBin.h"
#include "errors/ZNQError.h"
#include "../common/KvTest.h"

using namespace kvt;

namespace {

const char* kTri = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";

int32_t Load(ZNQGeometry& g, const char* path, const char* groups = nullptr, bool invert = false)
{
    return LoadFromFile(g, path, true, true, true, true, nullptr, nullptr, nullptr, groups, invert);
}

// A filled geometry, to see that failures clear it.
void Fill(ZNQGeometry& g)
{
    const std::string p = WriteText("fill.obj", kTri);
    ASSERT_EQ(Load(g, p.c_str()), 0);
    ASSERT_EQ(g._numPoly, 1);
}

} // namespace

TEST(FormatFromExtension, Table)
{
    EXPECT_EQ(FormatFromExtension(nullptr), -1);
    EXPECT_EQ(FormatFromExtension("a.drs2"), kFormatDrs2);
    EXPECT_EQ(FormatFromExtension("a.obj"), kFormatObj);
    EXPECT_EQ(FormatFromExtension("a.bin"), kFormatRealFlowBin);
    EXPECT_EQ(FormatFromExtension("a.znq"), kFormatZnq);
    EXPECT_EQ(FormatFromExtension("frame.0001.ZNQ"), kFormatZnq);
    EXPECT_EQ(FormatFromExtension("frame.0001.Obj"), kFormatObj);
    EXPECT_EQ(FormatFromExtension("C:\\cache\\f.0001.DRS2"), kFormatDrs2);
    EXPECT_EQ(FormatFromExtension(".bin"), kFormatRealFlowBin);
    EXPECT_EQ(FormatFromExtension("frame"), -1);
    EXPECT_EQ(FormatFromExtension("cache.v2/frame"), -1);
    EXPECT_EQ(FormatFromExtension("a.drs2x"), -1);
    EXPECT_EQ(FormatFromExtension("a.znq.bak"), -1);
    EXPECT_EQ(FormatFromExtension("a.ob"), -1);
    EXPECT_EQ(FormatFromExtension("a."), -1);
    // 15 characters with the dot are compared; 16 or more are not.
    EXPECT_EQ(FormatFromExtension("a.abcdefghijklmn"), -1);
    EXPECT_EQ(FormatFromExtension("a.abcdefghijklmnopqrstuvwxyz0123456789"), -1);
    EXPECT_EQ(FormatFromExtension("x.obj.abcdefghijklmnopqrstuvwxyz.obj"), kFormatObj);
}

TEST(LoadFromFile, NullPathClearsAndFails)
{
    Geo g;
    Fill(g);
    EXPECT_EQ(Load(g, nullptr), ZNQ_ERR_ILLEGAL_PARAMETER);
    EXPECT_TRUE(IsEmpty(g));
}

TEST(LoadFromFile, MissingFileBeforeExtension)
{
    Geo g;
    Fill(g);
    EXPECT_EQ(Load(g, (ScratchDir() + "/missing.xyz").c_str()), ZNQ_ERR_FILE_NOT_FOUND);
    EXPECT_TRUE(IsEmpty(g));
    EXPECT_EQ(Load(g, (ScratchDir() + "/missing.obj").c_str()), ZNQ_ERR_FILE_NOT_FOUND);
    EXPECT_EQ(Load(g, ""), ZNQ_ERR_FILE_NOT_FOUND);
}

TEST(LoadFromFile, UnknownExtensions)
{
    Geo g;
    const std::string dir = ScratchDir() + "/cache.v2";
    std::filesystem::create_directories(dir);
    const std::string frame = dir + "/frame";
    WriteFile("cache.v2/frame", kTri, std::strlen(kTri));
    Fill(g);
    EXPECT_EQ(Load(g, frame.c_str()), ZNQ_ERR_UNKNOWN_EXTENSION);
    EXPECT_TRUE(IsEmpty(g));
    for (const char* name : {"f.znq.bak", "f.drs2x", "f.txt"})
    {
        const std::string p = WriteText(name, kTri);
        EXPECT_EQ(Load(g, p.c_str()), ZNQ_ERR_UNKNOWN_EXTENSION) << name;
    }
}

TEST(LoadFromFile, DispatchIgnoresCase)
{
    Geo g;
    const std::string obj = WriteText("frame.0001.Obj", kTri);
    ASSERT_EQ(Load(g, obj.c_str()), 0);
    EXPECT_EQ(g->_numPoly, 1);
    // A .bin file read by the RealFlow reader.
    std::vector<uint8_t> bytes;
    ASSERT_EQ(WriteRealFlowBinToBuffer(g, RealFlowBinWriteOptions(), bytes), 0);
    const std::string bin = WriteBytes("frame.0001.BIN", bytes);
    ASSERT_EQ(Load(g, bin.c_str()), 0);
    EXPECT_EQ(g->_numPoly, 1);
    // The other readers get their files: garbage is their failure, not 51.
    const std::string znq = WriteText("frame.0001.ZNQ", "garbage");
    const int32_t rc = Load(g, znq.c_str());
    EXPECT_NE(rc, 0);
    EXPECT_NE(rc, ZNQ_ERR_UNKNOWN_EXTENSION);
    EXPECT_TRUE(IsEmpty(g));
    const std::string drs = WriteText("frame.0001.Drs2", "garbage");
    EXPECT_NE(Load(g, drs.c_str()), ZNQ_ERR_UNKNOWN_EXTENSION);
}

TEST(LoadFromFile, ReaderFailuresAndArguments)
{
    Geo g;
    Fill(g);
    const std::string bad = WriteText("bad.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\n");
    EXPECT_EQ(Load(g, bad.c_str()), ZNQ_ERR_UNKNOWN_FORMAT);
    EXPECT_TRUE(IsEmpty(g));
    // The group filter reaches the .obj reader.
    const std::string grp = WriteText("grp.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\ng a\nf 1 2 3\ng b\nf 3 2 1\n");
    ASSERT_EQ(Load(g, grp.c_str(), "b"), 0);
    ASSERT_EQ(g->_numPoly, 1);
    EXPECT_EQ(g->_polyVInd[0], 2);
    ASSERT_EQ(Load(g, grp.c_str(), "b", true), 0);
    ASSERT_EQ(g->_numPoly, 1);
    EXPECT_EQ(g->_polyVInd[0], 0);
}

TEST(LoadFromFile, DirectoryPathNeverCrashes)
{
    Geo g;
    Fill(g);
    for (const char* name : {"d.obj", "d.bin", "d.znq", "d.drs2", "d.dir"})
    {
        const std::string dir = ScratchDir() + "/" + name;
        std::filesystem::create_directories(dir);
        EXPECT_NE(Load(g, dir.c_str()), 0) << name;
        EXPECT_TRUE(IsEmpty(g)) << name;
    }
}

// ---------------------------------------------------------------------------
// The .obj writer's text, against hand-written expectations.

TEST(WriteObj, FormsGroupsAndComponentCounts)
{
    ZNQGeometry g;
    g.Init(0);
    const std::string p = WriteText("w.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nvt 0.5 0.25 1\nvn 0 0 1\n"
                                             "f 1/1/1 2/1/1 3/1/1\nf 2/1/1 4/1/1 3/1/1\n");
    ASSERT_EQ(ReadObj(g, p.c_str(), true, true, nullptr, false), 0);
    const char* names[] = {"left", "right"};
    const int32_t groups[] = {0, 1};
    ObjWriteOptions o;
    o.uvwComponents = 2;
    o.polyGroup = groups;
    o.groupNames = names;
    o.numGroups = 2;
    std::string text;
    ASSERT_EQ(WriteObjToString(g, o, text), 0);
    EXPECT_EQ(text, "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n"
                    "vt 0.5 0.25\nvt 0.5 0.25\nvt 0.5 0.25\nvt 0.5 0.25\n"
                    "vn 0 0 1\nvn 0 0 1\nvn 0 0 1\nvn 0 0 1\n"
                    "g left\nf 1/1/1 2/2/2 3/3/3\ng right\nf 2/2/2 4/4/4 3/3/3\n");
    // v//vn form, one vn per node, CRLF.
    o.uvwComponents = 0;
    o.shareByVertex = false;
    o.polyGroup = nullptr;
    o.lineBreak = "\r\n";
    text.clear();
    ASSERT_EQ(WriteObjToString(g, o, text), 0);
    EXPECT_NE(text.find("f 1//1 2//2 3//3\r\nf 2//4 4//5 3//6\r\n"), std::string::npos) << text;
    // Plain v form.
    o.writeNormals = false;
    o.lineBreak = "\n";
    text.clear();
    ASSERT_EQ(WriteObjToString(g, o, text), 0);
    EXPECT_NE(text.find("\nf 1 2 3\nf 2 4 3\n"), std::string::npos) << text;
    // Round trip: written and read back gives the same floats.
    g._vertPos[1].x = 0.1f;
    g._vertPos[2].y = -3.4028235e38f;
    g._vertPos[3].z = 1.17549435e-38f;
    const std::string back = ScratchDir() + "/back.obj";
    ObjWriteOptions all;
    ASSERT_EQ(WriteObj(g, back.c_str(), all), 0);
    ZNQGeometry r;
    r.Init(0);
    ASSERT_EQ(ReadObj(r, back.c_str(), true, true, nullptr, false), 0);
    ASSERT_EQ(r._numVert, 4);
    for (int v = 0; v < 4; ++v)
    {
        EXPECT_EQ(Bits(r._vertPos[v].x), Bits(g._vertPos[v].x));
        EXPECT_EQ(Bits(r._vertPos[v].y), Bits(g._vertPos[v].y));
        EXPECT_EQ(Bits(r._vertPos[v].z), Bits(g._vertPos[v].z));
    }
    EXPECT_EQ(Bits(r._nodeUvw[5].z), Bits(1.0f));
    r.Clear();
    g.Clear();
}
