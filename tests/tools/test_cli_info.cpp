// korvane info, run as a program: JSON and human output, load options, exit
// codes 0 / 1 / 2.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "CliRun.h"

using clitest::CliRun;
using clitest::Has;

namespace {

std::string Scratch()
{
    static const std::string dir = clitest::ScratchDir("cli_info");
    return dir;
}

std::string WriteText(const std::string& name, const std::string& text)
{
    const std::string path = Scratch() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

CliRun Info(const std::string& args) { return clitest::Run(Scratch(), "info " + args); }

// One triangle with UVWs (2 components) and normals, a fourth vertex unused.
const char* kTri = "v 0 0 0\nv 1 0 0\nv 0 0.1 -2\nv 9 9 9\nvt 0.5 0.25\nvn 0 0 1\n"
                   "f 1/1/1 2/1/1 3/1/1\n";

} // namespace

TEST(KorvaneInfo, JsonSummary)
{
    const std::string p = WriteText("tri.obj", kTri);
    const CliRun r = Info("'" + p + "' --all --json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    // Exactly one object on one line.
    ASSERT_FALSE(r.out.empty());
    EXPECT_EQ(r.out.front(), '{');
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1);
    EXPECT_TRUE(Has(r.out, "\"path\":\"" + clitest::Json(p) + "\"")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"error\":0,\"message\":\"no error.\"")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"numVert\":3,\"numPoly\":1,\"numNodes\":3")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"tris\":1,\"quads\":0,\"fivePlus\":0,\"twoMinus\":0")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"has\":{\"normals\":true,\"motions\":false,\"colors\":false,\"uvws\":true}")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"bbox\":[[0,0,-2],[1,0.100000001,0]]")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"memPeak\":")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"loadMs\":")) << r.out;
    EXPECT_FALSE(Has(r.out, "\"vertPos\"")) << r.out;
}

TEST(KorvaneInfo, JsonData)
{
    const std::string p = WriteText("tri.obj", kTri);
    CliRun r = Info("'" + p + "' --uvws --json --data");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "\"vertPos\":[[0,0,0],[1,0,0],[0,0.100000001,-2]]")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"vertMotion\":null")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"polyNumVert\":[3],\"polyVInd\":[0,1,2]")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"nodeNrm\":null")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"nodeUvw\":[[0.5,0.25,0],[0.5,0.25,0],[0.5,0.25,0]]")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"nodeCol\":null")) << r.out;
    // Non-finite values are strings.
    const std::string q = WriteText("inf.obj", "v inf 0 0\nv 1 -inf 0\nv 0 1 nan\nf 1 2 3\n");
    r = Info("'" + q + "' --json --data");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "\"vertPos\":[[\"inf\",0,0],[1,\"-inf\",0],[0,1,\"nan\"]]")) << r.out;
}

TEST(KorvaneInfo, GroupOptions)
{
    const std::string p = WriteText("g.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\ng a\nf 1 2 3\ng b\nf 2 4 3\nf 1 2 4\n");
    CliRun r = Info("'" + p + "' --json --groups 'b;'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "\"numPoly\":2")) << r.out;
    r = Info("'" + p + "' --groups 'b;' --invert-groups --json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "\"numPoly\":1")) << r.out;
}

TEST(KorvaneInfo, HumanSummary)
{
    const std::string p = WriteText("tri.obj", kTri);
    const CliRun r = Info("'" + p + "' --normals");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "vertices:  3")) << r.out;
    EXPECT_TRUE(Has(r.out, "triangles 1")) << r.out;
    EXPECT_TRUE(Has(r.out, "normals:   yes")) << r.out;
    // The file's texture coordinates were not asked for: said so.
    EXPECT_TRUE(Has(r.out, "uvws:      in file, not loaded (--uvws)")) << r.out;
    EXPECT_TRUE(Has(r.out, "colors:    no")) << r.out;
}

TEST(KorvaneInfo, DataInTheFileButNotLoaded)
{
    const std::string p = WriteText("carry.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\n"
                                                 "f 1/1/1 2/1/1 3/1/1\n");
    CliRun r = Info("'" + p + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "normals:   in file, not loaded (--normals)")) << r.out;
    EXPECT_TRUE(Has(r.out, "uvws:      in file, not loaded (--uvws)")) << r.out;
    EXPECT_TRUE(Has(r.out, "motions:   no")) << r.out;
    r = Info("'" + p + "' --uvws");
    EXPECT_TRUE(Has(r.out, "uvws:      yes")) << r.out;
    EXPECT_TRUE(Has(r.out, "normals:   in file, not loaded (--normals)")) << r.out;
}

TEST(KorvaneInfo, LoadFailures)
{
    const std::string bad = WriteText("bad.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\n");
    CliRun r = Info("'" + bad + "'");
    EXPECT_EQ(r.status, 1);
    // The code's line, then where and why.
    EXPECT_EQ(r.err, "error 50: unknown file format.\nline 4: vertex index 4 out of range 1..3\n");
    EXPECT_TRUE(r.out.empty()) << r.out;

    r = Info("'" + bad + "' --json --data");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.out, "\"error\":50,\"message\":\"unknown file format.\",\"where\":\"line 4\","
                           "\"reason\":\"vertex index 4 out of range 1..3\"")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"numVert\":0,\"numPoly\":0,\"numNodes\":0")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"bbox\":null")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"vertPos\":[]")) << r.out;

    // Neither "where" nor "reason" on success or without a reader's place.
    const std::string good = WriteText("good.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    r = Info("'" + good + "' --json");
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(Has(r.out, "\"where\"") || Has(r.out, "\"reason\"")) << r.out;
    r = Info("'" + Scratch() + "/missing.obj' --json");
    EXPECT_FALSE(Has(r.out, "\"where\"") || Has(r.out, "\"reason\"")) << r.out;

    r = Info("'" + Scratch() + "/missing.obj'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "error 45: unable to find or open file.\n");
    const std::string txt = WriteText("f.txt", "x");
    r = Info("'" + txt + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "error 51: unknown file extension.\n");
}

TEST(KorvaneInfo, UsageErrors)
{
    const std::string p = WriteText("tri.obj", kTri);
    for (const std::string& args : {std::string(""), "'" + p + "' --bogus", "'" + p + "' --groups",
                                    "'" + p + "' '" + p + "'", "'" + p + "' --data"})
    {
        const CliRun r = Info(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_TRUE(Has(r.err, "usage: korvane info")) << args << ": " << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
        EXPECT_TRUE(r.out.empty()) << args;
    }
    const CliRun h = Info("--help");
    EXPECT_EQ(h.status, 0);
    EXPECT_TRUE(Has(h.out, "usage: korvane info"));
}
