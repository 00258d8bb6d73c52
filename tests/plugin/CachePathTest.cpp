// Cache file naming and frame derivation, both separators on every platform.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>

#include "plugin/KorvaneCachePath.h"

namespace {

std::string Compose(const char* dir, const char* pattern, const char* ext, int32_t frame, char sep)
{
    char out[kCachePathSize];
    const char* r = ComposeCachePath(dir, pattern, ext, frame, out, sep);
    return r ? std::string(r) : std::string("<null>");
}

std::string Expand(const char* pattern, int32_t frame, char sep = '/')
{
    char out[kCachePathSize];
    const char* r = ExpandFramePattern(pattern, frame, out, sep);
    return r ? std::string(r) : std::string("<null>");
}

} // namespace

TEST(CachePath, ComposedForms)
{
    const struct
    {
        const char *dir, *pattern, *ext;
        int32_t frame;
        char sep;
        const char* path;
    } cases[] = {
        // The node's defaults: the directory's own trailing separator and the
        // added one both remain.
        {"C:/Temp/Cache/", "File.#", ".znq", 1, '\\', "C:\\Temp\\Cache\\\\File.1.znq"},
        {"C:/Temp/Cache/", "File.#", ".znq", 1, '/', "C:/Temp/Cache//File.1.znq"},
        {"/data/cache", "Fluid.####", ".znq", 12, '/', "/data/cache/Fluid.0012.znq"},
        // Only the inserted separator changes with the platform.
        {"a\\b", "f#", ".obj", 3, '/', "a\\b/f3.obj"},
        {"a\\b", "f#", ".obj", 3, '\\', "a\\b\\f3.obj"},
        // Extensions: a dot added, as given, nothing after the pattern.
        {"d", "f.#", "znq", 2, '/', "d/f.2.znq"},
        {"d", "f.#", ".znq", 2, '/', "d/f.2.znq"},
        {"d", "f.#", "", 2, '/', "d/f.2"},
        {"d", "f.#.obj", "", 2, '\\', "d\\f.2.obj"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Compose(c.dir, c.pattern, c.ext, c.frame, c.sep), c.path) << c.dir << " " << c.pattern;
}

TEST(CachePath, PlatformDefaultSeparator)
{
    char out[kCachePathSize];
    ASSERT_NE(ComposeCachePath("d", "f", "", 0, out), nullptr);
#if defined(_WIN32)
    EXPECT_STREQ(out, "d\\f");
#else
    EXPECT_STREQ(out, "d/f");
#endif
}

TEST(CachePath, ExtensionOfEveryFormat)
{
    const char* expect[] = {"", ".drs2", ".drs2", ".obj", ".bin", ".znq", ""}; // formats -1 to 5
    for (int f = -1; f <= 5; ++f)
        EXPECT_STREQ(CacheExtensionOfFormat(f), expect[f + 1]) << f;
}

TEST(CachePath, FrameRunWidths)
{
    EXPECT_EQ(Expand("shot_####", 7), "shot_0007");
    EXPECT_EQ(Expand("shot_####", 12345), "shot_12345");
    EXPECT_EQ(Expand("shot_####", -7), "shot_-007"); // the sign counts toward the width
    EXPECT_EQ(Expand("shot_#", -7), "shot_-7");
    EXPECT_EQ(Expand("a#b#", 3), "a3b#");            // only the first run
    EXPECT_EQ(Expand("plain.obj", 42), "plain.obj");
    EXPECT_EQ(Expand("#", INT_MIN), "-2147483648");
    EXPECT_EQ(Expand("", 5), "");
}

TEST(CachePath, SlashesBecomeTheSeparator)
{
    EXPECT_EQ(Expand("a/b/#", 1, '\\'), "a\\b\\1");
    EXPECT_EQ(Expand("a/b/#", 1, '/'), "a/b/1");
}

TEST(CachePath, RefusedBuffers)
{
    char buf[kCachePathSize] = "x";
    EXPECT_EQ(ComposeCachePath("d", "f", "e", 1, nullptr, '/'), nullptr);
    EXPECT_EQ(ComposeCachePath(buf, "f", "e", 1, buf, '/'), nullptr);
    EXPECT_EQ(ComposeCachePath("d", buf, "e", 1, buf, '/'), nullptr);
    EXPECT_EQ(ComposeCachePath("d", "f", buf, 1, buf, '/'), nullptr);
    EXPECT_STREQ(buf, "x"); // nothing written
    EXPECT_EQ(ExpandFramePattern(buf, 1, buf, '/'), nullptr);
    EXPECT_EQ(ExpandFramePattern("f", 1, nullptr, '/'), nullptr);
}

TEST(CachePath, NullInputsGiveEmptyText)
{
    const char* args[3][3] = {{nullptr, "f", "e"}, {"d", nullptr, "e"}, {"d", "f", nullptr}};
    char out[kCachePathSize];
    for (const auto& a : args)
    {
        std::strcpy(out, "junk");
        EXPECT_EQ(ComposeCachePath(a[0], a[1], a[2], 1, out, '/'), out);
        EXPECT_STREQ(out, "");
    }
    std::strcpy(out, "junk");
    EXPECT_EQ(ExpandFramePattern(nullptr, 1, out, '/'), out);
    EXPECT_STREQ(out, "");
}

TEST(CachePath, LongestPathFitsAndOneMoreIsRefused)
{
    // "d" + separator + pattern + ".znq" = 2047 characters exactly.
    const std::string fits(2047 - 1 - 1 - 4, 'p');
    std::string path = Compose("d", fits.c_str(), ".znq", 1, '/');
    EXPECT_EQ(path.size(), 2047u);

    const std::string tooLong(fits.size() + 1, 'p');
    char out[kCachePathSize];
    std::memset(out, 'z', sizeof(out));
    EXPECT_EQ(ComposeCachePath("d", tooLong.c_str(), ".znq", 1, out, '/'), nullptr);
    EXPECT_EQ(out[0], '\0'); // refused, and no cut path left behind
}

TEST(CachePath, FrameNumberPushesPastTheLimit)
{
    // The composed text fits, the expanded one does not: refused and emptied.
    std::string pattern(2040, 'p');
    pattern += "#";
    char out[kCachePathSize];
    EXPECT_EQ(ComposeCachePath("d", pattern.c_str(), "", 1234567, out, '/'), nullptr);
    EXPECT_STREQ(out, "");
    // A '#' run wider than the buffer cannot overflow it either.
    const std::string wide(kCachePathSize - 1, '#');
    EXPECT_EQ(ExpandFramePattern(wide.c_str(), 1, out, '/'), out);
    EXPECT_EQ(std::strlen(out), wide.size());
    const std::string wider(kCachePathSize, '#');
    EXPECT_EQ(ExpandFramePattern(wider.c_str(), 1, out, '/'), nullptr);
}

// ---------------------------------------------------------------------------

namespace {
struct FrameCase
{
    float value;
    int16_t mode;
    int32_t frame;
    float fraction;
};
} // namespace

TEST(FrameOfIndex, ThreeModes)
{
    const FrameCase cases[] = {
        {12.5f, 0, 13, -0.5f}, {12.5f, 1, 12, 0.5f},  {12.5f, 2, 13, -0.5f},
        {-0.5f, 0, -1, 0.5f},  {-2.5f, 0, -3, 0.5f},  {0.4f, 0, 0, 0.4f},
        {3.25f, 1, 3, 0.25f},  {3.25f, 2, 4, -0.75f}, {3.25f, 0, 3, 0.25f},
        {-3.25f, 1, -4, 0.75f}, {-3.25f, 2, -3, -0.25f}, {2.0f, 7, 2, 0.0f}, // unknown mode rounds
    };
    for (const FrameCase& c : cases)
    {
        int32_t frame = 0;
        float fraction = 9.0f;
        FrameOfIndexValue(c.value, c.mode, 1.0f, frame, fraction);
        EXPECT_EQ(frame, c.frame) << c.value << " mode " << c.mode;
        EXPECT_FLOAT_EQ(fraction, c.fraction) << c.value << " mode " << c.mode;
    }
}

TEST(FrameOfIndex, FractionOnlyWithStrength)
{
    int32_t frame = 0;
    float fraction = 9.0f;
    FrameOfIndexValue(3.25f, 1, 0.0f, frame, fraction);
    EXPECT_EQ(frame, 3);
    EXPECT_EQ(fraction, 0.0f);
}

TEST(FrameOfIndex, FractionRanges)
{
    // [0,1) floor, (-1,0] ceil, [-0.5,0.5] round, over a sweep of values.
    for (int k = -400; k <= 400; ++k)
    {
        const float v = static_cast<float>(k) * 0.0625f;
        int32_t f = 0;
        float r = 0.0f;
        FrameOfIndexValue(v, 1, 1.0f, f, r);
        EXPECT_TRUE(r >= 0.0f && r < 1.0f) << v;
        FrameOfIndexValue(v, 2, 1.0f, f, r);
        EXPECT_TRUE(r > -1.0f && r <= 0.0f) << v;
        FrameOfIndexValue(v, 0, 1.0f, f, r);
        EXPECT_TRUE(r >= -0.5f && r <= 0.5f) << v;
    }
}

TEST(FrameOfIndex, OutOfRangeValuesClamp)
{
    int32_t frame = 0;
    float fraction = 0.0f;
    FrameOfIndexValue(1e30f, 0, 0.0f, frame, fraction);
    EXPECT_EQ(frame, INT32_MAX);
    FrameOfIndexValue(-1e30f, 1, 0.0f, frame, fraction);
    EXPECT_EQ(frame, INT32_MIN);
    FrameOfIndexValue(INFINITY, 2, 0.0f, frame, fraction);
    EXPECT_EQ(frame, INT32_MAX);
    FrameOfIndexValue(NAN, 0, 1.0f, frame, fraction);
    EXPECT_EQ(frame, 0);
}
