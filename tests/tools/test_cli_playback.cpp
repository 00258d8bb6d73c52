// A cache set up from one of its files (KorvaneCreate -f) plays with the
// scene time: korvane eval --time, comma lists of frames and times, and the
// KorvaneCreate -f line that korvane info prints for a sequence.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "CliRun.h"
#include "SampleMesh.h"
#include "WriteRealFlowBin.h"

using clitest::CliRun;
using clitest::Has;

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n')
        {
            lines.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    return lines;
}

class Playback : public ::testing::Test
{
protected:
    // RealFlow frames 2, 3 and 4 of shot_010_v2.####.bin (note the other
    // digit runs of the name), each with its own polygon count.
    void SetUp() override
    {
        dir_ = clitest::ScratchDir("cli_playback");
        ZNQGeometry g;
        g.Init(0);
        for (int f = 2; f <= 4; ++f)
        {
            ASSERT_TRUE(MakeSampleMesh(g, 100 * f, float(f)));
            polys_.push_back(g._numPoly);
            RealFlowBinWriteOptions o;
            ASSERT_EQ(WriteRealFlowBin(g, (dir_ + "/shot_010_v2.000" + std::to_string(f) + ".bin").c_str(), o), 0);
        }
        g.Clear();
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    CliRun Run(const std::string& args) { return clitest::Run(scratch_, args); }
    std::string Polys(int frame) const { return "\"numPolygons\":" + std::to_string(polys_[frame - 2]); }

    std::string dir_;
    std::vector<int32_t> polys_;
    std::string scratch_ = clitest::ScratchDir("cli_playback_io");
};

} // namespace

TEST_F(Playback, CreateFromOneFileThenPlayTheSceneTime)
{
    const std::string create = "eval --create-args '-f \"" + clitest::Generic(dir_) + "/shot_010_v2.0003.bin\"' --json ";
    // Before the first file and after the last the ends hold.
    CliRun r = Run(create + "--time 1,3,5-6");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 4u) << r.out;
    const int shown[] = {2, 3, 4, 4};
    const char* times[] = {"\"frame\":1,", "\"frame\":3,", "\"frame\":5,", "\"frame\":6,"};
    for (size_t i = 0; i < 4; ++i)
    {
        EXPECT_TRUE(Has(lines[i], times[i])) << lines[i];
        EXPECT_TRUE(Has(lines[i], "\"status\":\"kSuccess\"")) << lines[i];
        EXPECT_TRUE(Has(lines[i], Polys(shown[i]))) << lines[i];
        EXPECT_TRUE(Has(lines[i], "\"errors\":[]")) << lines[i];
    }

    // Idx Value is driven by the scene time: --frames cannot set it.
    r = Run(create + "--frames 3");
    EXPECT_EQ(r.status, 2) << r.out << r.err;
    EXPECT_TRUE(Has(r.err, "use --time")) << r.err;

    // A file that does not exist: the command's one line, nothing to play.
    r = Run("eval --create-args '-f \"" + clitest::Generic(dir_) + "/shot_010_v2.0009.bin\"' --time 1");
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(Has(r.err, "[KorvaneCreate] no such file: \"" + clitest::Generic(dir_) + "/shot_010_v2.0009.bin\".")) << r.err;
}

TEST_F(Playback, CommaListsOfFramesAndTimes)
{
    const std::string base = "eval --set m_flPath='" + dir_ + "' --set m_flName=shot_010_v2.#### --set m_flFormat=3 --json ";
    CliRun r = Run(base + "--frames 4,2-3");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_TRUE(Has(lines[0], "\"frame\":4,") && Has(lines[0], Polys(4))) << lines[0];
    EXPECT_TRUE(Has(lines[1], "\"frame\":2,") && Has(lines[1], Polys(2))) << lines[1];
    EXPECT_TRUE(Has(lines[2], "\"frame\":3,") && Has(lines[2], Polys(3))) << lines[2];

    // --time on a node nothing drives: the scene time changes, the index
    // value stays at its 1, which has no file.
    r = Run(base + "--time 2,3");
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out;
    EXPECT_TRUE(Has(lines[0], "\"status\":\"kFailure\"")) << lines[0];

    for (const char* bad : {"1,", ",1", "1,,2", "1-", "a,2", "2,1-x"})
    {
        r = Run(base + "--frames '" + bad + "'");
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_TRUE(Has(r.err, "bad frame list")) << bad << ": " << r.err;
        r = Run(base + "--time '" + bad + "'");
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_TRUE(Has(r.err, "bad time list")) << bad << ": " << r.err;
    }
    r = Run(base + "--frames 1 --time 2");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Has(r.err, "exclude each other")) << r.err;
}

TEST_F(Playback, InfoPrintsTheCreateLine)
{
    const std::string pattern = dir_ + "/shot_010_v2.####.bin";
    CliRun r = Run("info '" + pattern + "'");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "create:    KorvaneCreate -f \"" + clitest::Generic(dir_) + "/shot_010_v2.0002.bin\"\n")) << r.out;
    r = Run("info '" + pattern + "' --json");
    EXPECT_TRUE(Has(r.out, "\"create\":\"KorvaneCreate -f \\\"" + clitest::Generic(dir_) + "/shot_010_v2.0002.bin\\\"\"")) << r.out;

    // Digits after the frame number: -f would take those instead, so no line.
    for (int f = 1; f <= 2; ++f)
    {
        ZNQGeometry g;
        g.Init(0);
        ASSERT_TRUE(MakeSampleMesh(g, 50, 1.0f));
        RealFlowBinWriteOptions o;
        ASSERT_EQ(WriteRealFlowBin(g, (dir_ + "/F" + std::to_string(f) + "_v2.bin").c_str(), o), 0);
        g.Clear();
    }
    r = Run("info '" + dir_ + "/F#_v2.bin' --json");
    EXPECT_TRUE(Has(r.out, "\"create\":null")) << r.out;
    r = Run("info '" + dir_ + "/F#_v2.bin'");
    EXPECT_TRUE(Has(r.out, "create:    no KorvaneCreate -f line")) << r.out;
}
