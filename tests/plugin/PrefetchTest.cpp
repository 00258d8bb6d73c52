// Read-ahead of the next frame: the neighbour is chosen in the direction of
// play, and the hint never fails loudly on a missing file.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include "../common/TestEnv.h"
#include "formats/ZNQPrefetch.h"
#include "plugin/KorvaneCachePath.h"
#include "plugin/KorvanePrefetch.h"

namespace {


NodeSettings Settings(const char* dir, const char* pattern, int16_t format, int32_t frame)
{
    NodeSettings s;
    std::memset(&s, 0, sizeof s);
    s.active = true;
    std::snprintf(s.path, sizeof s.path, "%s", dir);
    std::snprintf(s.name, sizeof s.name, "%s", pattern);
    s.format = format;
    s.frame = frame;
    return s;
}

// The path that the hint composes after an evaluation of frame, or "<none>".
std::string Next(KorvanePlayHint& hint, int32_t frame, bool active = true)
{
    NodeSettings s = Settings("/cache", "fluid.####", 3, frame);
    s.active = active;
    char out[kCachePathSize];
    return KorvaneNextFramePath(s, hint, out) ? std::string(out) : std::string("<none>");
}

std::string PathOf(int32_t frame)
{
    const NodeSettings s = Settings("/cache", "fluid.####", 3, frame);
    char out[kCachePathSize];
    return ComposeCachePath(s.path, s.name, CacheExtensionOfFormat(s.format), frame, out);
}

} // namespace

TEST(Prefetch, NeighbourFollowsTheDirectionOfPlay)
{
    KorvanePlayHint hint;
    EXPECT_EQ(Next(hint, 10), PathOf(11)); // first evaluation: forward
    EXPECT_EQ(Next(hint, 11), PathOf(12));
    EXPECT_EQ(Next(hint, 10), PathOf(9));  // playing backwards
    EXPECT_EQ(Next(hint, 10), PathOf(9));  // same frame again keeps the direction
    EXPECT_EQ(Next(hint, 9), PathOf(8));
    EXPECT_EQ(Next(hint, 20), PathOf(21)); // a jump forward
    EXPECT_EQ(Next(hint, -1), PathOf(-2));
    EXPECT_EQ(hint.frame, -1);

    // Inactive: nothing composed, the hint unchanged.
    EXPECT_EQ(Next(hint, 5, false), "<none>");
    EXPECT_EQ(hint.frame, -1);
    EXPECT_EQ(hint.step, -1);

    // No neighbour beyond the ends of the frame range.
    KorvanePlayHint up;
    EXPECT_EQ(Next(up, INT_MAX), "<none>");
    KorvanePlayHint down;
    down.seen = true;
    down.frame = INT_MIN + 1;
    EXPECT_EQ(Next(down, INT_MIN), "<none>");
    EXPECT_EQ(down.step, -1);
}

TEST(Prefetch, PathTooLongIsNoNeighbour)
{
    KorvanePlayHint hint;
    NodeSettings s = Settings("", "", 3, 1);
    std::memset(s.path, 'd', sizeof s.path - 1);
    std::memset(s.name, 'n', sizeof s.name - 1);
    char out[kCachePathSize] = "untouched";
    EXPECT_FALSE(KorvaneNextFramePath(s, hint, out));
    EXPECT_STREQ(out, "untouched");
    EXPECT_FALSE(KorvanePrefetchNextFrame(s, hint));
}

TEST(Prefetch, HintOnMissingAndPresentFiles)
{
    EXPECT_FALSE(FilePrefetch(nullptr));
    EXPECT_FALSE(FilePrefetch(""));
    EXPECT_FALSE(FilePrefetch("/nonexistent-korvane-dir/fluid.0001.bin"));

    const std::string dir = ::testing::TempDir();
    const std::string file = dir + "/korvane_prefetch.0002.bin";
    FILE* f = std::fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("payload", f);
    std::fclose(f);
#if defined(__linux__) || defined(__APPLE__)
    EXPECT_TRUE(FilePrefetch(file.c_str()));
#else
    FilePrefetch(file.c_str()); // no hint on this platform; never an error
#endif

#if !defined(_WIN32)
    // A named pipe without a writer and a directory: no hint, and no wait.
    const std::string fifo = dir + "/korvane_prefetch_fifo.bin";
    std::remove(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(FilePrefetch(fifo.c_str()));
    std::remove(fifo.c_str());
    EXPECT_FALSE(FilePrefetch(dir.c_str()));
#endif

    // Frame 1 evaluated: frame 2 exists and gets the hint; frame 3 does not.
    KorvanePlayHint hint;
    NodeSettings s = Settings(dir.c_str(), "korvane_prefetch.####", 3, 1);
#if defined(__linux__) || defined(__APPLE__)
    EXPECT_TRUE(KorvanePrefetchNextFrame(s, hint));
#endif
    s.frame = 2;
    EXPECT_FALSE(KorvanePrefetchNextFrame(s, hint));

    // Switched off, nothing is read ahead; the direction is still followed.
    kvt::SetVariable("KORVANE_READ_AHEAD", "off");
    EXPECT_FALSE(KorvaneReadAheadEnabled());
    s.frame = 1;
    EXPECT_FALSE(KorvanePrefetchNextFrame(s, hint));
    EXPECT_EQ(hint.step, -1);
    kvt::SetVariable("KORVANE_READ_AHEAD", "0");
    EXPECT_FALSE(KorvaneReadAheadEnabled());
    kvt::SetVariable("KORVANE_READ_AHEAD", "1");
    EXPECT_TRUE(KorvaneReadAheadEnabled());
    kvt::SetVariable("KORVANE_READ_AHEAD", nullptr);
    EXPECT_TRUE(KorvaneReadAheadEnabled());
    std::remove(file.c_str());
}
