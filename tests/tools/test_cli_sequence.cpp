// korvane info PATTERN: the sequence check an artist runs before a shot goes
// to the farm. Small sequences written with the format writers, with gaps, a
// damaged frame, frames without some optional data and files that look like
// frames but are not the names the node reads.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CliRun.h"
#include "SampleMesh.h"
#include "WriteZnq.h"

using clitest::CliRun;
using clitest::Has;

namespace {

class SequenceCheck : public ::testing::Test
{
protected:
    void SetUp() override { dir_ = clitest::ScratchDir("cli_sequence"); }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // A blob of about `tris` triangles at `time`, as .znq.
    void WriteFrame(const std::string& name, int tris, bool colors = true)
    {
        ZNQGeometry g;
        g.Init(0);
        ASSERT_TRUE(MakeSampleMesh(g, tris, 1.0f));
        ZnqWriteOptions opt;
        opt.colors = colors;
        ASSERT_TRUE(WriteZnq(g, (dir_ + "/" + name).c_str(), opt)) << name;
        g.Clear();
    }
    void WriteBytes(const std::string& name, const std::string& bytes)
    {
        std::ofstream(dir_ + "/" + name, std::ios::binary) << bytes;
    }
    CliRun Info(const std::string& args) { return clitest::Run(scratch_, "info " + args); }

    std::string dir_;
    std::string scratch_ = clitest::ScratchDir("cli_sequence_io");
};

} // namespace

// Frames 1, 2, 4 and 5 of Fluid.####.znq: 3 is missing, 5 is cut short,
// 4 has no colours. Files with other padding or names are not frames.
TEST_F(SequenceCheck, GapCorruptFrameAndCounts)
{
    WriteFrame("Fluid.0001.znq", 100);         // 52 vertices, 100 triangles
    WriteFrame("Fluid.0002.znq", 400);         // 202 vertices, 400 triangles
    WriteFrame("Fluid.0004.znq", 200, false);  // 100 vertices, 196 triangles, no colours
    WriteFrame("Fluid.0005.znq", 100);
    std::filesystem::resize_file(dir_ + "/Fluid.0005.znq", 60);
    // Not frames of the pattern: the node would ask for Fluid.0003.znq, never these.
    WriteFrame("Fluid.003.znq", 100);
    WriteFrame("Fluid.00003.znq", 100);
    WriteFrame("Fluid.0003.znq.bak", 100);
    WriteFrame("fluid.0003.znq", 100);
    WriteFrame("Fluid.00x3.znq", 100);
    std::filesystem::create_directory(dir_ + "/Fluid.0006.znq"); // a directory is no frame

    const std::string pattern = dir_ + "/Fluid.####.znq";
    CliRun r = Info("'" + pattern + "' --json");
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_TRUE(r.err.empty()) << "no progress output without a terminal: " << r.err;
    ASSERT_FALSE(r.out.empty());
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << "one object on one line";
    EXPECT_TRUE(Has(r.out, "{\"pattern\":\"" + clitest::Json(pattern) + "\",\"directory\":\"" + clitest::Json(dir_) + "\"")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"first\":1,\"last\":5,\"numFiles\":4,\"numLoaded\":3")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"numMissing\":1,\"missing\":[[3,3]]")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"numFailed\":1,\"failed\":[{\"frame\":5,\"path\":\"" + clitest::Json(dir_) +
                               "/Fluid.0005.znq\",\"error\":128,\"message\":\"error while loading geometry: read "
                               "error.\"}]"))
        << r.out;
    EXPECT_TRUE(Has(r.out, "\"numVert\":{\"min\":52,\"minFrame\":1,\"max\":202,\"maxFrame\":2}")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"numPoly\":{\"min\":100,\"minFrame\":1,\"max\":400,\"maxFrame\":2}")) << r.out;
    // Without load options the check loads all four items.
    EXPECT_TRUE(Has(r.out, "\"load\":{\"normals\":true,\"motions\":true,\"colors\":true,\"uvws\":true}")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"has\":{\"normals\":true,\"motions\":true,\"colors\":false,\"uvws\":true}")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"lacking\":{\"normals\":[],\"motions\":[],\"colors\":[4],\"uvws\":[]}")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"loadMs\":")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"ok\":false}")) << r.out;

    r = Info("'" + pattern + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.empty()) << r.err;
    EXPECT_TRUE(Has(r.out, "frames:    4 files, 1 to 5")) << r.out;
    EXPECT_TRUE(Has(r.out, "missing:   1 frame: 3")) << r.out;
    EXPECT_TRUE(Has(r.out, "  frame 5: error 128: error while loading geometry: read error.")) << r.out;
    EXPECT_TRUE(Has(r.out, "vertices:  min 52 (frame 1), max 202 (frame 2)")) << r.out;
    EXPECT_TRUE(Has(r.out, "colors:    missing in 1 of 3 frames: 4")) << r.out;
    EXPECT_TRUE(Has(r.out, "normals:   in every frame")) << r.out;
    EXPECT_TRUE(Has(r.out, "result:    FAILED: 1 missing frame, 1 frame failed to load")) << r.out;

    // Only what is asked for is loaded and judged.
    r = Info("'" + pattern + "' --normals --json");
    EXPECT_TRUE(Has(r.out, "\"load\":{\"normals\":true,\"motions\":false,\"colors\":false,\"uvws\":false}")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"lacking\":{\"normals\":[],\"motions\":null,\"colors\":null,\"uvws\":null}")) << r.out;
}

TEST_F(SequenceCheck, CompleteSequencePasses)
{
    for (const char* name : {"shot_07.obj", "shot_08.obj", "shot_09.obj"})
        WriteBytes(name, "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nf 1//1 2//1 3//1\n");
    CliRun r = Info("'" + dir_ + "/shot_##.obj' --normals");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Has(r.out, "frames:    3 files, 7 to 9")) << r.out;
    EXPECT_TRUE(Has(r.out, "missing:   none")) << r.out;
    EXPECT_TRUE(Has(r.out, "failed:    none")) << r.out;
    EXPECT_TRUE(Has(r.out, "motions:   not loaded")) << r.out;
    EXPECT_TRUE(Has(r.out, "result:    OK")) << r.out;

    // The shot needs 5-10: the ends are missing too.
    r = Info("'" + dir_ + "/shot_##.obj' --normals --frames 5-10 --json");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.out, "\"first\":5,\"last\":10,\"numFiles\":3")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"numMissing\":3,\"missing\":[[5,6],[10,10]]")) << r.out;
    // Frames outside the range are left out.
    r = Info("'" + dir_ + "/shot_##.obj' --normals --frames 8-8 --json");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Has(r.out, "\"first\":8,\"last\":8,\"numFiles\":1,\"numLoaded\":1,\"numMissing\":0")) << r.out;
}

// The '#' run is a minimum width: longer numbers are written in full, the
// minus sign of a negative frame counts toward the width.
TEST_F(SequenceCheck, PaddingRules)
{
    const std::string tri = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
    for (const char* name : {"s.-1.obj", "s.00.obj", "s.01.obj", "s.100.obj"})
        WriteBytes(name, tri);
    for (const char* name : {"s.-01.obj", "s.1.obj", "s.001.obj", "s.+2.obj", "s.-.obj", "s..obj"})
        WriteBytes(name, tri); // never composed by the node for ##
    const CliRun r = Info("'" + dir_ + "/s.##.obj' --json");
    EXPECT_EQ(r.status, 1); // 2..99 are missing
    EXPECT_TRUE(Has(r.out, "\"first\":-1,\"last\":100,\"numFiles\":4,\"numLoaded\":4")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"numMissing\":98,\"missing\":[[2,99]]")) << r.out;
    // These .obj files carry none of the optional data.
    EXPECT_TRUE(Has(r.out, "\"has\":{\"normals\":false,\"motions\":false,\"colors\":false,\"uvws\":false}"))
        << r.out;
    EXPECT_TRUE(Has(r.out, "\"lacking\":{\"normals\":[-1,0,1,100],\"motions\":[-1,0,1,100]")) << r.out;
}

TEST_F(SequenceCheck, NothingMatches)
{
    CliRun r = Info("'" + dir_ + "/none.####.znq'");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.out, "frames:    no file matches")) << r.out;
    EXPECT_TRUE(Has(r.out, "result:    FAILED: no file matches")) << r.out;
    r = Info("'" + dir_ + "/none.####.znq' --json");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.out, "\"first\":null,\"last\":null,\"numFiles\":0")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"numVert\":null,\"numPoly\":null")) << r.out;
    // An unreadable directory is reported, not a crash.
    r = Info("'" + dir_ + "/no/such/dir/f.####.znq'");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "cannot read the directory")) << r.err;
}

// A pattern that matches nothing names the files another run length or
// extension would match, and the pattern to use.
TEST_F(SequenceCheck, NothingMatchesNamesThePatternToUse)
{
    for (const char* n : {"Fluid.0001.znq", "Fluid.0002.znq", "Fluid.0120.znq", "Fluid.7.obj"})
        WriteBytes(n, "x");
    CliRun r = Info("'" + dir_ + "/Fluid.##.znq'");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.out, "hint:      found Fluid.0001.znq .. Fluid.0120.znq: use " + dir_ + "/Fluid.####.znq"))
        << r.out;
    // The same extension first, then another.
    r = Info("'" + dir_ + "/Fluid.####.obj'");
    EXPECT_TRUE(Has(r.out, "hint:      found Fluid.7.obj: use " + dir_ + "/Fluid.#.obj")) << r.out;
    r = Info("'" + dir_ + "/Fluid.####.bin'");
    EXPECT_TRUE(Has(r.out, "hint:      found Fluid.0001.znq .. Fluid.0120.znq: use " + dir_ + "/Fluid.####.znq"))
        << r.out;
    r = Info("'" + dir_ + "/Other.####.znq'");
    EXPECT_FALSE(Has(r.out, "hint:")) << r.out;
}

// A file whose real name holds '#' is still loaded as that one file.
TEST_F(SequenceCheck, LiteralHashFileName)
{
    WriteBytes("odd#name.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    const CliRun r = Info("'" + dir_ + "/odd#name.obj' --json");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "\"numVert\":3,\"numPoly\":1")) << r.out;
}

TEST_F(SequenceCheck, UsageErrors)
{
    WriteBytes("plain.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    const std::string seq = "'" + dir_ + "/f.####.znq'";
    for (const std::string& args :
         {seq + " --json --data", seq + " --png x.png", "'" + dir_ + "/plain.obj' --frames 1-3", seq + " --frames 3-1",
          seq + " --frames", seq + " --frames 1.5-3", "'" + dir_ + "/plain.obj' --png"})
    {
        const CliRun r = Info(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_TRUE(Has(r.err, "usage: korvane info")) << args << ": " << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    }
    const CliRun h = Info("--help");
    EXPECT_EQ(h.status, 0);
    EXPECT_TRUE(Has(h.out, "all four optional data")) << h.out;
}

// On a terminal the check draws a progress line on standard error and wipes
// it; --quiet draws nothing.
TEST_F(SequenceCheck, ProgressOnlyOnATerminal)
{
#if defined(_WIN32)
    GTEST_SKIP() << "a POSIX pseudo-terminal (forkpty)";
#else
    for (const char* name : {"p.1.obj", "p.2.obj", "p.3.obj"})
        WriteBytes(name, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    const std::string cmd = std::string("'") + KORVANE_EXE + "' info '" + dir_ + "/p.#.obj' >/dev/null";
    CliRun t = clitest::RunOnTerminal(cmd);
    EXPECT_EQ(t.status, 0);
    EXPECT_TRUE(Has(t.out, "\rframe 1 ")) << t.out;
    EXPECT_TRUE(Has(t.out, "1/3")) << t.out;
    EXPECT_TRUE(Has(t.out, "left")) << t.out;
    ASSERT_FALSE(t.out.empty());
    EXPECT_EQ(t.out.back(), '\r') << "the line is wiped at the end";

    t = clitest::RunOnTerminal(cmd + " --quiet");
    EXPECT_EQ(t.status, 0);
    EXPECT_TRUE(t.out.empty()) << t.out;
#endif
}

// The sequence check names the one line that plays the sequence in Maya.
TEST_F(SequenceCheck, PrintsTheCreateFromFileLine)
{
    for (const char* name : {"shot_010_v2.0003.obj", "shot_010_v2.0004.obj", "shot_010_v2.10000.obj"})
        WriteBytes(name, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    CliRun r = Info("'" + dir_ + "/shot_010_v2.####.obj'");
    EXPECT_TRUE(Has(r.out, "create:    KorvaneCreate -f \"" + clitest::Generic(dir_) + "/shot_010_v2.0003.obj\"")) << r.out;
    r = Info("'" + dir_ + "/shot_010_v2.####.obj' --json");
    EXPECT_TRUE(Has(r.out, "\"create\":\"KorvaneCreate -f \\\"" + clitest::Generic(dir_) + "/shot_010_v2.0003.obj\\\"\",\"ok\":false"))
        << r.out;
    // Digits after the frame: -f would read those, so no line is offered.
    WriteBytes("take0001_v2.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    r = Info("'" + dir_ + "/take####_v2.obj' --json");
    EXPECT_TRUE(Has(r.out, "\"create\":null")) << r.out;
}

// korvane eval: comma lists of frames, and --time for a node that follows
// the scene time (made by KorvaneCreate -f).
TEST_F(SequenceCheck, EvalTimeAndFrameLists)
{
    for (int f = 1; f <= 3; ++f)
        WriteBytes("m." + std::to_string(f) + ".obj",
                   "v " + std::to_string(f) + " 0 0\nv 9 0 0\nv 0 9 0\nf 1 2 3\n");
    const std::string file = dir_ + "/m.2.obj";
    CliRun r = clitest::Run(scratch_, "eval --create-args '-f " + file + "' --time 0,2-3,7 --json --data");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    // Hold before and after the files; the time sets the frame.
    EXPECT_TRUE(Has(r.out, "\"frame\":0,")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"frame\":7,")) << r.out;
    size_t lines = 0, ones = 0, threes = 0;
    for (size_t at = 0; (at = r.out.find("\"points\":[[", at)) != std::string::npos; ++at)
    {
        ++lines;
        const std::string x = r.out.substr(at + 11, 2);
        ones += x == "1,";
        threes += x == "3,";
    }
    EXPECT_EQ(lines, 4u);
    EXPECT_EQ(ones, 1u);   // time 0 holds frame 1
    EXPECT_EQ(threes, 2u); // times 3 and 7

    // --frames cannot set an Idx Value that the scene time drives.
    r = clitest::Run(scratch_, "eval --create-args '-f " + file + "' --frames 2");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Has(r.err, "use --time")) << r.err;

    // Comma lists of --frames.
    r = clitest::Run(scratch_, "eval --set m_flPath='" + dir_ + "' --set m_flName=m.# --set m_flFormat=2 --frames 1-2,3,1");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "frame 1: kSuccess")) << r.out;
    EXPECT_TRUE(Has(r.out, "frame 3: kSuccess")) << r.out;
    for (const char* bad : {"--frames 1,,2", "--frames 1,", "--time x", "--frames 1 --time 2", "--time 0-2000000"})
    {
        r = clitest::Run(scratch_, std::string("eval ") + bad);
        EXPECT_EQ(r.status, 2) << bad;
    }
}
