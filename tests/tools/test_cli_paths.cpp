// korvane on awkward paths, as artists' folders have them: blanks, '%'
// (never a printf format), the platform's own separators (backslashes on
// Windows), a folder given with a separator at its end (on Windows the
// argv pitfall: a backslash before the closing quote), and outputs written
// again over earlier ones (the temporary name renamed over the old file).
// Also the word splitting of the test helper itself.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CliRun.h"

using clitest::CliRun;
using clitest::Has;
namespace fs = std::filesystem;

namespace {

// A folder with blanks and '%' in its name, in the platform's spelling.
fs::path OddDir()
{
    static const fs::path d = [] {
        fs::path p = fs::path(clitest::ScratchDir("cli_paths")) / "shot 100% %s %d";
        fs::create_directories(p);
        return p.make_preferred();
    }();
    return d;
}

void WriteTriangle(const fs::path& p, int size)
{
    std::ofstream(p, std::ios::binary) << "v 0 0 0\nv " << size << " 0 0\nv 0 " << size << " 0\nf 1 2 3\n";
}

size_t FilesIn(const fs::path& dir)
{
    size_t n = 0;
    for (const auto& e : fs::directory_iterator(dir))
        n += e.is_regular_file() ? 1 : 0;
    return n;
}

} // namespace

TEST(CliPaths, SplitWordsFollowsTheShellQuoting)
{
    std::vector<std::string> w;
    std::string why;
    ASSERT_TRUE(clitest::SplitWords(" a  'b c' \"d \\\"e\\\\\" f\\ g 'C:\\x\\' h'i'\"j\" ''", w, why)) << why;
    const std::vector<std::string> expected = {"a", "b c", "d \"e\\", "f g", "C:\\x\\", "hij", ""};
    EXPECT_EQ(w, expected);
    for (const char* bad : {"a >f", "a | b", "a; b", "$HOME", "'open", "\"open", "a 2>&1"})
        EXPECT_FALSE(clitest::SplitWords(bad, w, why)) << bad;
    // A refused line runs nothing and says why.
    const CliRun r = clitest::Run(clitest::ScratchDir("cli_paths_io"), "info x.obj >out");
    EXPECT_EQ(r.status, -1);
    EXPECT_TRUE(Has(r.err, "shell operator '>'")) << r.err;
}

TEST(CliPaths, OddFolderNativeSeparatorsAndOutputsWrittenAgain)
{
    const fs::path d = OddDir();
    const std::string io = clitest::ScratchDir("cli_paths_io");
    WriteTriangle(d / "p%n.1.obj", 1);
    WriteTriangle(d / "p%n.2.obj", 1);
    const std::string in1 = (d / "p%n.1.obj").string();

    CliRun r = clitest::Run(io, "info '" + in1 + "' --json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "{\"path\":\"" + clitest::Json(in1) + "\",\"error\":0,")) << r.out;
    EXPECT_EQ(r.out.find('\r'), std::string::npos) << "one \\n per line on every platform";
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << r.out;

    // A pattern, then the same conversion again over the first outputs: each
    // output replaced, nothing else left in the folder.
    const std::string in = (d / "p%n.#.obj").string(), out = (d / "q%s.#.obj").string();
    for (int round = 1; round <= 2; ++round)
    {
        WriteTriangle(d / "p%n.1.obj", round * 4);
        r = clitest::Run(io, "convert '" + in + "' '" + out + "'");
        ASSERT_EQ(r.status, 0) << round << ": " << r.err;
        EXPECT_TRUE(Has(r.out, in1 + " -> " + (d / "q%s.1.obj").string() + "\n")) << r.out;
        EXPECT_EQ(r.out.find('\r'), std::string::npos) << r.out;
        const std::string text = clitest::Slurp((d / "q%s.1.obj").string());
        EXPECT_TRUE(Has(text, "v " + std::to_string(round * 4) + " 0 0")) << round << ": " << text;
        EXPECT_EQ(FilesIn(d), 4u) << "two inputs, two outputs, no temporary file";
    }

    // eval: the folder given with a separator at its end, a '%' in the name
    // and in the output; written twice over the same output.
    const std::string folder = d.string() + std::string(1, fs::path::preferred_separator);
    for (int round = 1; round <= 2; ++round)
    {
        r = clitest::Run(io, "eval --set m_flPath='" + folder + "' --set m_flName=p%n.# --set m_flFormat=obj "
                             "--frames 2 --out '" + (d / "e%d.#.obj").string() + "'");
        ASSERT_EQ(r.status, 0) << round << ": " << r.out << r.err;
        EXPECT_TRUE(Has(r.out, "frame 2: kSuccess, 3 vertices, 1 polygons")) << r.out;
        EXPECT_TRUE(fs::exists(d / "e%d.2.obj"));
        EXPECT_EQ(FilesIn(d), 5u) << round;
    }

    // Exit status 1 for a missing file, 2 for a usage error, on every platform.
    EXPECT_EQ(clitest::Run(io, "info '" + (d / "none%s.obj").string() + "'").status, 1);
    EXPECT_EQ(clitest::Run(io, "info '" + in1 + "' --bogus").status, 2);
    fs::remove_all(d.parent_path());
}
