// korvane eval --out NAME.png and info --png: the pictures are real PNG
// files of the asked size showing the mesh; the progress bar over a frame
// range appears only on a terminal and never with --quiet.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "CliRun.h"
#include "KorvanePreview.h"
#include "SampleMesh.h"
#include "WriteZnq.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

using clitest::CliRun;
using clitest::Has;

namespace {

struct Picture
{
    int width = 0, height = 0;
    std::string rgb;
};

// Decodes a PNG file after checking its signature; empty on failure.
Picture LoadPng(const std::string& path)
{
    Picture p;
    const std::string bytes = clitest::Slurp(path);
    if (bytes.size() < 8 || std::memcmp(bytes.data(), "\x89PNG\r\n\x1a\n", 8) != 0)
        return p;
    int channels = 0;
    unsigned char* data = stbi_load_from_memory(reinterpret_cast<const unsigned char*>(bytes.data()),
                                                static_cast<int>(bytes.size()), &p.width, &p.height, &channels, 3);
    if (!data)
        return Picture();
    p.rgb.assign(reinterpret_cast<char*>(data), static_cast<size_t>(p.width) * p.height * 3);
    stbi_image_free(data);
    return p;
}

// Pixels that differ from the plain background of their row.
int64_t MeshPixels(const Picture& p)
{
    int64_t n = 0;
    for (int y = 0; y < p.height; ++y)
    {
        uint8_t bg[3];
        PreviewBackground(y, p.height, bg);
        for (int x = 0; x < p.width; ++x)
        {
            const char* px = &p.rgb[(static_cast<size_t>(y) * p.width + x) * 3];
            if (std::memcmp(px, bg, 3) != 0)
                ++n;
        }
    }
    return n;
}

class EvalOutput : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir_ = clitest::ScratchDir("cli_eval_out");
        ZNQGeometry g;
        g.Init(0);
        for (int f = 1; f <= 3; ++f)
        {
            ASSERT_TRUE(MakeSampleMesh(g, 300, float(f)));
            const std::string path = dir_ + "/Fluid.000" + std::to_string(f) + ".znq";
            ASSERT_TRUE(WriteZnq(g, path.c_str()));
        }
        g.Clear();
        base_ = "eval --set m_flPath='" + dir_ + "' --set m_flName=Fluid.#### --set m_flLoadNormals=on "
                "--set m_flLoadColors=on ";
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    CliRun Run(const std::string& args) { return clitest::Run(scratch_, args); }

    std::string dir_, base_;
    std::string scratch_ = clitest::ScratchDir("cli_eval_out_io");
};

} // namespace

TEST_F(EvalOutput, PngPerFrame)
{
    const CliRun r = Run(base_ + "--frames 1-2 --out '" + dir_ + "/pic/F.####.png' --size 160x120");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(r.err.empty()) << "no progress output without a terminal: " << r.err;
    EXPECT_TRUE(Has(r.out, "-> " + dir_ + "/pic/F.0001.png")) << r.out;
    for (const char* name : {"/pic/F.0001.png", "/pic/F.0002.png"})
    {
        const Picture p = LoadPng(dir_ + name);
        ASSERT_EQ(p.width, 160) << name;
        ASSERT_EQ(p.height, 120) << name;
        // The blob is framed: a good part of the picture, not all of it.
        const int64_t mesh = MeshPixels(p);
        EXPECT_GT(mesh, 160 * 120 / 5) << name;
        EXPECT_LT(mesh, 160 * 120) << name;
    }
    EXPECT_NE(LoadPng(dir_ + "/pic/F.0001.png").rgb, LoadPng(dir_ + "/pic/F.0002.png").rgb) << "the blob moves";
}

TEST_F(EvalOutput, FacetsColourPolygons)
{
    ASSERT_EQ(Run(base_ + "--frames 1 --out '" + dir_ + "/plain.png' --size 160x120").status, 0);
    ASSERT_EQ(Run(base_ + "--frames 1 --out '" + dir_ + "/facets.png' --size 160x120 --facets").status, 0);
    const Picture plain = LoadPng(dir_ + "/plain.png"), facets = LoadPng(dir_ + "/facets.png");
    ASSERT_EQ(facets.width, 160);
    EXPECT_NE(plain.rgb, facets.rgb);
    // The same outline: the same pixels are mesh in both.
    EXPECT_NEAR(double(MeshPixels(plain)), double(MeshPixels(facets)), 160 * 120 * 0.01);
}

TEST_F(EvalOutput, FailedFrameWritesNoFile)
{
    // An empty picture or mesh on disk would pass for a result: a failed
    // frame writes nothing, the others are written, and one line lists the
    // failed frames; exit 1.
    for (const char* ext : {".png", ".obj", ".ply", ".json"})
    {
        const std::string pattern = dir_ + "/out/F.####" + ext;
        const CliRun r = Run(base_ + "--frames 2-5 --out '" + pattern + "' --size 64x48");
        EXPECT_EQ(r.status, 1) << ext;
        EXPECT_TRUE(Has(r.err, "error 45: unable to find or open file.")) << r.err;
        EXPECT_TRUE(Has(r.err, "korvane eval: 2 frames failed, no file written: 4, 5\n")) << r.err;
        EXPECT_TRUE(std::filesystem::exists(dir_ + "/out/F.0002" + ext)) << ext;
        EXPECT_TRUE(std::filesystem::exists(dir_ + "/out/F.0003" + ext)) << ext;
        EXPECT_FALSE(std::filesystem::exists(dir_ + "/out/F.0004" + ext)) << ext;
        EXPECT_FALSE(std::filesystem::exists(dir_ + "/out/F.0005" + ext)) << ext;
    }
    // Written through a temporary name: none is left behind.
    for (const auto& e : std::filesystem::directory_iterator(dir_ + "/out"))
        EXPECT_FALSE(Has(e.path().filename().string(), "part")) << e.path();
    const CliRun one = Run(base_ + "--frames 9 --out '" + dir_ + "/missing.png'");
    EXPECT_EQ(one.status, 1);
    EXPECT_TRUE(Has(one.err, "korvane eval: 1 frame failed, no file written: 9\n")) << one.err;
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/missing.png"));
}

TEST_F(EvalOutput, LinesKeepTheirOrderInOneFile)
{
    // Standard output and error into the same file: each frame's lines come
    // in the order they were shown, the summary after them.
    const CliRun r = clitest::Run(scratch_, base_ + "--frames 3-4", /*oneFile=*/true);
    ASSERT_NE(r.status, 0);
    const std::string& text = r.out;
    const std::string expected =
        "[Quorbel] initializing plugin Korvane v.1.236.\n"
        "frame 3: kSuccess, ";
    EXPECT_EQ(text.compare(0, expected.size(), expected), 0) << text;
    const size_t failed = text.find("[Korvane] failed to load or create");
    const size_t code = text.find("[Korvane] error 45: unable to find or open file.");
    const size_t mesh = text.find("[Korvane] ERROR creating mesh.");
    const size_t summary = text.find("frame 4: kFailure");
    ASSERT_NE(summary, std::string::npos) << text;
    EXPECT_LT(text.find("frame 3:"), failed) << text;
    EXPECT_LT(failed, code) << text;
    EXPECT_LT(code, mesh) << text;
    EXPECT_LT(mesh, summary) << text;
}

TEST_F(EvalOutput, UsageErrors)
{
    for (const std::string& args : {std::string("--out x.bmp"), std::string("--out x.png --size 0x10"),
                                    std::string("--out x.png --size 100"), std::string("--size 9000x10")})
    {
        const CliRun r = Run("eval " + args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_TRUE(Has(r.err, "usage: korvane eval")) << args << ": " << r.err;
    }
}

TEST_F(EvalOutput, InfoPicture)
{
    const CliRun r = Run("info '" + dir_ + "/Fluid.0002.znq' --all --png '" + dir_ + "/info.png' --size 120x90");
    ASSERT_EQ(r.status, 0) << r.err;
    const Picture p = LoadPng(dir_ + "/info.png");
    ASSERT_EQ(p.width, 120);
    ASSERT_EQ(p.height, 90);
    EXPECT_GT(MeshPixels(p), 120 * 90 / 5);
    // Nothing to draw after a failed load: no picture, status 1.
    const CliRun bad = Run("info '" + dir_ + "/none.znq' --png '" + dir_ + "/none.png'");
    EXPECT_EQ(bad.status, 1);
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/none.png"));
}

TEST_F(EvalOutput, ProgressOnlyOnATerminal)
{
#if defined(_WIN32)
    GTEST_SKIP() << "a POSIX pseudo-terminal (forkpty)";
#else
    const std::string cmd = std::string("'") + KORVANE_EXE + "' " + base_ + "--frames 1-3";
    // Standard output to a file, standard error on the terminal.
    CliRun t = clitest::RunOnTerminal(cmd + " --json >'" + scratch_ + "/lines.json'");
    EXPECT_EQ(t.status, 0) << t.out;
    EXPECT_TRUE(Has(t.out, "\rframe 1 ")) << t.out;
    EXPECT_TRUE(Has(t.out, "1/3")) << t.out; // later frames may come faster than the redraw
    EXPECT_TRUE(Has(t.out, "/frame")) << t.out;
    ASSERT_FALSE(t.out.empty());
    EXPECT_EQ(t.out.back(), '\r') << "the line is wiped at the end";
    const std::string lines = clitest::Slurp(scratch_ + "/lines.json");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 3) << lines;
    EXPECT_EQ(lines.find('\r'), std::string::npos) << "nothing of the bar in the output file";

    // Everything on the terminal: each frame's line starts on a clean line.
    t = clitest::RunOnTerminal(cmd);
    EXPECT_EQ(t.status, 0) << t.out;
    for (const char* line : {"frame 1: kSuccess", "frame 2: kSuccess", "frame 3: kSuccess"})
    {
        const size_t at = t.out.find(line);
        ASSERT_NE(at, std::string::npos) << t.out;
        ASSERT_GT(at, 0u);
        EXPECT_TRUE(t.out[at - 1] == '\r' || t.out[at - 1] == '\n') << t.out;
    }

    t = clitest::RunOnTerminal(cmd + " --json --quiet >/dev/null");
    EXPECT_EQ(t.status, 0);
    EXPECT_TRUE(t.out.empty()) << t.out;
#endif
}

// ---------------------------------------------------------------------------
// Motion for renderers: the colour set in --data, .ply and pictures.

TEST_F(EvalOutput, MotionColorSetInDataPlyAndPictures)
{
    const std::string motion = base_ + "--set m_flLoadMotions=on --set m_msMotionColorSet=velocityPV ";
    CliRun r = Run(motion + "--frames 1 --json --data");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "\"colorSets\":{\"velocityPV\":[[")) << r.out.substr(0, 200);
    EXPECT_TRUE(Has(r.out, "\"faceVertexNormals\":null"));
    r = Run(base_ + "--frames 1 --json --data");
    EXPECT_TRUE(Has(r.out, "\"colorSets\":null"));

    // Per corner normals appear in --data instead of the vertex normals.
    r = Run(base_ + "--set m_msNormalsPerCorner=on --frames 1 --json --data");
    EXPECT_TRUE(Has(r.out, "\"normals\":null"));
    EXPECT_TRUE(Has(r.out, "\"faceVertexNormals\":[["));

    // .ply: vx, vy, vz after the colours, only with a motion set.
    ASSERT_EQ(Run(motion + "--frames 1 --out '" + dir_ + "/m.ply'").status, 0);
    ASSERT_EQ(Run(base_ + "--frames 1 --out '" + dir_ + "/p.ply'").status, 0);
    EXPECT_TRUE(Has(clitest::Slurp(dir_ + "/m.ply"), "property uchar alpha\nproperty float vx\nproperty float vy\n"
                                                     "property float vz\nelement face"));
    EXPECT_FALSE(Has(clitest::Slurp(dir_ + "/p.ply"), "property float vx"));

    // The motion picture differs from the shaded one and carries the legend
    // bar at its right edge.
    ASSERT_EQ(Run(motion + "--frames 1 --out '" + dir_ + "/m.png' --size 200x150 --show motion").status, 0);
    ASSERT_EQ(Run(motion + "--frames 1 --out '" + dir_ + "/s.png' --size 200x150").status, 0);
    const Picture m = LoadPng(dir_ + "/m.png"), s = LoadPng(dir_ + "/s.png");
    ASSERT_EQ(m.width, 200);
    EXPECT_NE(m.rgb, s.rgb);
    EXPECT_NEAR(double(MeshPixels(m)), double(MeshPixels(s)), 200 * 150 * 0.1);

    // Without a motion colour set there is nothing to show.
    r = Run(base_ + "--frames 1 --out '" + dir_ + "/none.png' --show motion");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "no motion color set")) << r.err;
}

TEST_F(EvalOutput, FrameRateAndShowNeedTheirForms)
{
    for (const std::string& args : {std::string("--fps 29"), std::string("--fps 0"), std::string("--fps x"),
                                    std::string("--show motion"), std::string("--out x.png --show speed")})
    {
        const CliRun r = Run(base_ + args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_TRUE(Has(r.err, "usage: korvane eval")) << args << ": " << r.err;
    }
    const CliRun r = Run(base_ + "--set m_flLoadMotions=on --set m_msMotionColorSet=v --set m_msMotionUnit=1 "
                                 "--fps 50 --frames 1 --json --data");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "\"colorSets\":{\"v\":[[")) << r.out.substr(0, 200);
}
