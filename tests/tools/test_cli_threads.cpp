// --threads N on info and eval: output identical for 1, 2 and 7 threads on a
// mesh large enough to be split; a bad N is a usage error.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "CliRun.h"

using clitest::CliRun;

namespace {

std::string Scratch()
{
    static const std::string dir = clitest::ScratchDir("cli_threads");
    return dir;
}

// A 300 x 150 grid of triangles with one unused vertex and one broken face,
// so that the clean-up has work to do.
std::string WriteGrid()
{
    const std::string path = Scratch() + "/Grid.0001.obj";
    std::ofstream f(path, std::ios::binary);
    const int nu = 300, nv = 150;
    for (int i = 0; i < nu; ++i)
        for (int j = 0; j < nv; ++j)
            f << "v " << i << ' ' << j << ' ' << (i * 7 + j * 3) % 11 << "\nvn 0 0 1\n";
    f << "v 0 0 99\n";
    for (int i = 0; i + 1 < nu; ++i)
        for (int j = 0; j + 1 < nv; ++j)
        {
            const int a = i * nv + j + 1, b = a + nv, c = b + 1, d = a + 1;
            f << "f " << a << "//" << a << ' ' << b << "//" << b << ' ' << c << "//" << c << '\n';
            f << "f " << a << "//" << a << ' ' << c << "//" << c << ' ' << d << "//" << d << '\n';
        }
    f << "f 1 2 1\n";
    return path;
}

// The JSON line without the fields that measure the run (time, memory).
std::string Stable(const std::string& json)
{
    std::string out = json;
    for (const char* key : {"\"loadMs\":", "\"memPeak\":", "\"evalMs\":", "\"ms\":"})
    {
        for (size_t at = out.find(key); at != std::string::npos; at = out.find(key, at))
        {
            size_t end = at + std::char_traits<char>::length(key);
            while (end < out.size() && std::string("-0123456789.e+").find(out[end]) != std::string::npos)
                ++end;
            out.erase(at, end - at);
        }
    }
    return out;
}

} // namespace

TEST(KorvaneThreads, InfoAndEvalSameForEveryThreadCount)
{
    const std::string grid = WriteGrid();
    std::string info1;
    std::string obj1;
    for (const char* n : {"1", "2", "7"})
    {
        SCOPED_TRACE(n);
        const CliRun i = clitest::Run(Scratch(), "info '" + grid + "' --all --json --data --threads " + n);
        ASSERT_EQ(i.status, 0) << i.err;
        const std::string out = Scratch() + "/out_" + n + ".obj";
        const CliRun e = clitest::Run(
            Scratch(), std::string("eval --threads ") + n + " --set m_flPath='" + Scratch() +
                           "' --set m_flName=Grid.#### --set m_flFormat=2 --set m_flLoadNormals=on "
                           "--frames 1 --out '" + out + "'");
        ASSERT_EQ(e.status, 0) << e.err;
        const std::string obj = clitest::Slurp(out);
        ASSERT_FALSE(obj.empty());
        if (info1.empty())
        {
            info1 = Stable(i.out);
            obj1 = obj;
        }
        else
        {
            EXPECT_TRUE(Stable(i.out) == info1);
            EXPECT_TRUE(obj == obj1);
        }
    }
}

TEST(KorvaneThreads, BadCountIsAUsageError)
{
    for (const char* bad : {"0", "-2", "x", "3x", "5000"})
    {
        SCOPED_TRACE(bad);
        const CliRun r = clitest::Run(Scratch(), std::string("info nothing.obj --threads ") + bad);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("--threads needs a whole number from 1 to 4096"), std::string::npos) << r.err;
    }
    const CliRun r = clitest::Run(Scratch(), "eval --threads");
    EXPECT_EQ(r.status, 2);
}
