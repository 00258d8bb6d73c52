// Frame marks, environment variables in the path, the frame range, the
// frames that exist in a folder, which file an evaluation loads, and what
// KorvaneCreate -f reads out of one file. No host needed.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

#include "../common/TestEnv.h"
#include "geometry/ZNQGeometry.h"
#include "plugin/KorvaneCachePath.h"
#include "plugin/KorvaneFrames.h"
#include "WriteDrs2.h"
#include "WriteRealFlowBin.h"
#include "WriteZnq.h"

namespace fs = std::filesystem;

namespace {

std::string Expand(const char* pattern, int32_t frame)
{
    char out[kCachePathSize];
    const char* r = ExpandFramePattern(pattern, frame, out, '/');
    return r ? std::string(r) : std::string("<null>");
}

long ProcessId()
{
#if defined(_WIN32)
    return static_cast<long>(_getpid());
#else
    return static_cast<long>(getpid());
#endif
}


// Result text, or "<unset NAME>" / "<too long>".
std::string Vars(const char* text, size_t size = kSettingsPathSize)
{
    std::vector<char> out(size > 0 ? size : 1);
    char name[64];
    const int32_t rc = ExpandPathVariables(text, out.data(), size, name, sizeof(name));
    if (rc == kPathVariableUnset)
        return std::string("<unset ") + name + ">";
    if (rc != kPathExpanded)
        return "<too long>";
    return out.data();
}

class FolderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        // The process id keeps runs of the suite side by side apart.
        dir_ = fs::temp_directory_path() /
               ("korvane_frames_" + std::string(info->name()) + "_" + std::to_string(ProcessId()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Touch(const std::string& name, const std::string& text = "x")
    {
        const fs::path p = dir_ / fs::u8path(name);
        std::ofstream(p, std::ios::binary) << text;
        return p.u8string();
    }
    std::string Dir() const { return dir_.u8string(); }

    SequenceScan Scan(const char* pattern, const char* ext, int32_t around, int32_t lo = INT32_MIN,
                      int32_t hi = INT32_MAX)
    {
        char templ[kCachePathSize];
        size_t start = 0;
        EXPECT_NE(ComposeCacheTemplate(Dir().c_str(), pattern, ext, templ, &start, kCachePathSeparator), nullptr);
        return ScanSequence(templ, start, around, lo, hi);
    }

    fs::path dir_;
};

NodeSettings Plain(const std::string& name, int32_t frame, float fraction = 0.0f, float strength = 0.0f)
{
    NodeSettings s;
    std::memset(&s, 0, sizeof(s));
    s.active = true;
    std::snprintf(s.name, sizeof(s.name), "%s", name.c_str());
    s.format = 2; // .obj
    s.frame = frame;
    s.fraction = fraction;
    s.fractionStrength = strength;
    s.rangeStart = 1;
    s.rangeEnd = 100;
    return s;
}

const char kTriangleObj[] = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";

} // namespace

// ---------------------------------------------------------------------------
// Frame marks.

TEST(FrameMarks, PrintfAndHoudiniFormsBesideTheHashRun)
{
    EXPECT_EQ(Expand("shot_%04d", 7), "shot_0007");
    EXPECT_EQ(Expand("shot_%d", 7), "shot_7");
    EXPECT_EQ(Expand("shot_%012d.x", -5), "shot_-00000000005.x");
    EXPECT_EQ(Expand("shot_$F4", 12), "shot_0012");
    EXPECT_EQ(Expand("shot_$F.v", 12), "shot_12.v");
    EXPECT_EQ(Expand("shot_$F4.$F2", 3), "shot_0003.$F2"); // only the first mark
    // '#' wins wherever it is; other marks then stay as they are.
    EXPECT_EQ(Expand("%04d_##", 3), "%04d_03");
    // Not frame marks: other variables and printf forms.
    EXPECT_EQ(Expand("a$FF", 3), "a$FF");
    EXPECT_EQ(Expand("a$Frame", 3), "a$Frame");
    EXPECT_EQ(Expand("a$F4_b", 3), "a$F4_b");
    EXPECT_EQ(Expand("a$F0", 3), "a$F0");
    EXPECT_EQ(Expand("a%4d", 3), "a%4d");
    EXPECT_EQ(Expand("a%0d", 3), "a%0d");
    EXPECT_EQ(Expand("a%s%", 3), "a%s%");
    EXPECT_EQ(Expand("100%", 3), "100%");
    // Frames at the int limits in every form.
    EXPECT_EQ(Expand("f%04d", INT32_MIN), "f-2147483648");
    EXPECT_EQ(Expand("f$F", INT32_MAX), "f2147483647");
    EXPECT_EQ(Expand("f%099d", 1), "f" + std::string(98, '0') + "1");
}

TEST(FrameMarks, ComposeLooksForPrintfMarksInThePatternOnly)
{
    char out[kCachePathSize];
    ASSERT_NE(ComposeCachePath("/cache/%03d/$F", "fluid_%03d", ".bin", 5, out, '/'), nullptr);
    EXPECT_STREQ(out, "/cache/%03d/$F/fluid_005.bin");
    // A '#' run counts anywhere, as it always did.
    ASSERT_NE(ComposeCachePath("/c#", "f_%03d", ".bin", 5, out, '/'), nullptr);
    EXPECT_STREQ(out, "/c5/f_%03d.bin");
    ASSERT_NE(ComposeCachePath("C:/Temp/Cache/", "File.#", ".znq", 1, out, '\\'), nullptr);
    EXPECT_STREQ(out, "C:\\Temp\\Cache\\\\File.1.znq");
}

// ---------------------------------------------------------------------------
// Environment variables.

TEST(PathVariables, AllFormsAndAClearErrorForAnUnsetOne)
{
    kvt::SetVariable("KV_SHOW", "/jobs/show");
    kvt::SetVariable("KV_SEQ", "sq010");
    kvt::SetVariable("KV_EMPTY", "");
    kvt::SetVariable("KV_DOLLAR", "$KV_SHOW");
    kvt::SetVariable("KV_UNSET_ONE", nullptr);
    EXPECT_EQ(Vars("$KV_SHOW/cache"), "/jobs/show/cache");
    EXPECT_EQ(Vars("${KV_SHOW}_x/${KV_SEQ}"), "/jobs/show_x/sq010");
    EXPECT_EQ(Vars("%KV_SHOW%\\%KV_SEQ%\\cache"), "/jobs/show\\sq010\\cache");
#if !defined(_WIN32)
    // Windows has no empty variables: setting one to "" removes it.
    EXPECT_EQ(Vars("a$KV_EMPTY.b"), "a.b");
#endif
    // Values are not expanded again.
    EXPECT_EQ(Vars("$KV_DOLLAR"), "$KV_SHOW");
    // Unset: an error naming the variable, never an empty text.
    EXPECT_EQ(Vars("/x/$KV_UNSET_ONE/y"), "<unset KV_UNSET_ONE>");
    EXPECT_EQ(Vars("${KV_UNSET_ONE}"), "<unset KV_UNSET_ONE>");
    EXPECT_EQ(Vars("%KV_UNSET_ONE%"), "<unset KV_UNSET_ONE>");
    // What stays as it is.
    for (const char* literal : {"C:/Temp/Cache/", "100%", "50% of %", "a$", "a$1", "${", "${KV_SHOW", "%KV_SHOW",
                                "a~b", "x/~/y", "~user/x", "$ {KV_SHOW}", "%1%"})
        EXPECT_EQ(Vars(literal), literal);
    EXPECT_FALSE(HasPathVariables("C:/Temp/Cache/"));
    EXPECT_TRUE(HasPathVariables("/a/$KV_SHOW"));
    EXPECT_TRUE(HasPathVariables("~/a"));
}

TEST(PathVariables, LeadingTildeIsHome)
{
#if defined(_WIN32)
    const char* home = "USERPROFILE";
#else
    const char* home = "HOME";
#endif
    const char* saved = std::getenv(home);
    const std::string keep = saved ? saved : "";
    kvt::SetVariable(home, "/home/artist");
    EXPECT_EQ(Vars("~/cache"), "/home/artist/cache");
    EXPECT_EQ(Vars("~\\cache"), "/home/artist\\cache");
    EXPECT_EQ(Vars("~"), "/home/artist");
    kvt::SetVariable(home, nullptr);
    EXPECT_EQ(Vars("~/cache"), std::string("<unset ") + home + ">");
    kvt::SetVariable(home, saved ? keep.c_str() : nullptr);
}

TEST(PathVariables, LongResultsAreRefusedNotCut)
{
    const std::string big(1000, 'v');
    kvt::SetVariable("KV_BIG", big.c_str());
    EXPECT_EQ(Vars("$KV_BIG/$KV_BIG"), "<too long>");
    EXPECT_EQ(Vars("$KV_BIG"), big);
    EXPECT_EQ(Vars("abc", 3), "<too long>");
    EXPECT_EQ(Vars("ab", 3), "ab");
    char name[4];
    char out[16];
    kvt::SetVariable("KV_A_LONG_NAME_UNSET", nullptr);
    EXPECT_EQ(ExpandPathVariables("$KV_A_LONG_NAME_UNSET", out, sizeof(out), name, sizeof(name)), kPathVariableUnset);
    EXPECT_STREQ(name, "KV_"); // cut to its buffer
}

// ---------------------------------------------------------------------------
// Frame range.

TEST(FrameRange, EveryModeAtItsEdgesAndFarOutside)
{
    struct Case
    {
        int32_t frame, start, end;
        int16_t mode; // used on both sides
        int32_t want;
        int32_t factor;
        bool blank;
    } cases[] = {
        {10, 10, 20, kRangeHold, 10, 1, false},
        {20, 10, 20, kRangeHold, 20, 1, false},
        {9, 10, 20, kRangeHold, 10, 0, false},
        {21, 10, 20, kRangeHold, 20, 0, false},
        {-1000000, 10, 20, kRangeHold, 10, 0, false},
        {9, 10, 20, kRangeBlank, 9, 0, true},
        {21, 10, 20, kRangeBlank, 21, 0, true},
        {15, 10, 20, kRangeBlank, 15, 1, false},
        // Loop: period end - start + 1, end + 1 gives start.
        {21, 10, 20, kRangeLoop, 10, 1, false},
        {9, 10, 20, kRangeLoop, 20, 1, false},
        {32, 10, 20, kRangeLoop, 10, 1, false},
        {-2, 10, 20, kRangeLoop, 20, 1, false},
        {5, 7, 7, kRangeLoop, 7, 1, false},
        // Ping-Pong: end + 1 gives end - 1, period 2 x (end - start).
        {21, 10, 20, kRangePingPong, 19, -1, false},
        {29, 10, 20, kRangePingPong, 11, -1, false},
        // The frames it turns at are held, inside the range and out.
        {30, 10, 20, kRangePingPong, 10, 0, false},
        {20, 10, 20, kRangePingPong, 20, 0, false},
        {10, 10, 20, kRangePingPong, 10, 0, false},
        {40, 10, 20, kRangePingPong, 20, 0, false},
        {15, 10, 20, kRangePingPong, 15, 1, false},
        {31, 10, 20, kRangePingPong, 11, 1, false},
        {9, 10, 20, kRangePingPong, 11, -1, false},
        {0, 10, 20, kRangePingPong, 20, 0, false},
        {1, 10, 20, kRangePingPong, 19, -1, false},
        {3, 7, 7, kRangePingPong, 7, 0, false},
        // Unknown modes hold.
        {25, 10, 20, 9, 20, 0, false},
    };
    for (const Case& c : cases)
    {
        const RangeMapping m = MapFrameIntoRange(c.frame, c.start, c.end, c.mode, c.mode);
        SCOPED_TRACE(std::to_string(c.frame) + " in " + std::to_string(c.start) + ".." + std::to_string(c.end) +
                     " mode " + std::to_string(c.mode));
        EXPECT_EQ(m.blank, c.blank);
        if (!c.blank)
        {
            EXPECT_EQ(m.frame, c.want);
            EXPECT_EQ(m.motionFactor, c.factor);
        }
    }
    // Each side its own mode.
    EXPECT_TRUE(MapFrameIntoRange(0, 1, 5, kRangeBlank, kRangeHold).blank);
    EXPECT_EQ(MapFrameIntoRange(6, 1, 5, kRangeBlank, kRangeHold).frame, 5);
}

TEST(FrameRange, LimitsOfTheIntRangeAndRandomInvariants)
{
    // Ranges and frames at the limits: no overflow, the answer in range.
    const int32_t lo = INT32_MIN, hi = INT32_MAX;
    EXPECT_EQ(MapFrameIntoRange(hi, lo, hi, kRangeLoop, kRangeLoop).frame, hi);
    EXPECT_EQ(MapFrameIntoRange(lo, lo + 1, hi, kRangeLoop, kRangeLoop).frame, hi);
    EXPECT_EQ(MapFrameIntoRange(hi, lo, lo, kRangeLoop, kRangeLoop).frame, lo);
    EXPECT_EQ(MapFrameIntoRange(lo, hi - 1, hi, kRangePingPong, kRangePingPong).frame, hi - 1);
    EXPECT_EQ(MapFrameIntoRange(lo + 1, hi - 1, hi, kRangePingPong, kRangePingPong).frame, hi);
    EXPECT_EQ(MapFrameIntoRange(hi, lo, lo + 1, kRangeLoop, kRangeLoop).frame, lo + 1);
    EXPECT_EQ(MapFrameIntoRange(lo, 0, hi, kRangeHold, kRangeHold).frame, 0);

    std::mt19937 rng(17);
    for (int i = 0; i < 20000; ++i)
    {
        const int32_t a = static_cast<int32_t>(rng());
        const int32_t b = static_cast<int32_t>(rng());
        const int32_t start = (i % 3 == 0) ? static_cast<int32_t>(rng() % 50) : std::min(a, b);
        const int32_t end = (i % 3 == 0) ? start + static_cast<int32_t>(rng() % 20) : std::max(a, b);
        const int32_t frame = (i % 2 == 0) ? start - 100 + static_cast<int32_t>(rng() % 300) : static_cast<int32_t>(rng());
        for (int16_t mode : {static_cast<int16_t>(kRangeHold), static_cast<int16_t>(kRangeLoop), static_cast<int16_t>(kRangePingPong)})
        {
            const RangeMapping m = MapFrameIntoRange(frame, start, end, mode, mode);
            ASSERT_GE(m.frame, start);
            ASSERT_LE(m.frame, end);
            if (mode == kRangeLoop && (int64_t)end - start < 1000)
            {
                // One period later gives the same frame.
                const int64_t later = (int64_t)frame + ((int64_t)end - start + 1);
                if (later <= INT32_MAX)
                {
                    ASSERT_EQ(MapFrameIntoRange((int32_t)later, start, end, mode, mode).frame, m.frame);
                }
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Frames in a folder.

TEST_F(FolderTest, ScanFindsExactlyTheFramesTheNodeComposes)
{
    for (const char* n : {"File.1.obj", "File.2.obj", "File.7.obj", "File.007.obj", "File.-3.obj", "File.x.obj",
                          "File.9.OBJ", "Other.4.obj", "File.99999999999.obj", "File.2147483647.obj"})
        Touch(n);
    fs::create_directories(dir_ / "File.5.obj"); // a folder is no frame
    SequenceScan s = Scan("File.#", ".obj", 4);
    ASSERT_TRUE(s.listed);
    EXPECT_EQ(s.count, 5); // -3, 1, 2, 7, 2147483647
    EXPECT_EQ(s.first, -3);
    EXPECT_EQ(s.last, INT32_MAX);
    EXPECT_TRUE(s.hasBefore);
    EXPECT_EQ(s.before, 2);
    EXPECT_TRUE(s.hasAfter);
    EXPECT_EQ(s.after, 7);
    // Limited to a range.
    s = Scan("File.#", ".obj", 4, 3, 6);
    EXPECT_FALSE(s.hasBefore);
    EXPECT_FALSE(s.hasAfter);
    // Padded names under a padded pattern; printf and $F marks the same way.
    Touch("s_0008.obj");
    Touch("s_8.obj");
    Touch("s_12345.obj");
    EXPECT_EQ(Scan("s_####", ".obj", 0).count, 2);
    EXPECT_EQ(Scan("s_%04d", ".obj", 0).count, 2);
    EXPECT_EQ(Scan("s_$F4", ".obj", 0).count, 2);
    EXPECT_EQ(Scan("s_$F", ".obj", 0).count, 2); // 8 and 12345
    // No mark, or one in the folder: nothing listed.
    EXPECT_FALSE(Scan("File", ".obj", 0).listed);
    // A folder that does not exist.
    char templ[kCachePathSize];
    size_t start = 0;
    ASSERT_NE(ComposeCacheTemplate((Dir() + "/nope").c_str(), "File.#", ".obj", templ, &start, '/'), nullptr);
    EXPECT_FALSE(ScanSequence(templ, start, 0, INT32_MIN, INT32_MAX).listed);
}

TEST_F(FolderTest, OddCharactersInNames)
{
#if defined(_WIN32)
    // '"', '*' and '?' cannot be part of a Windows file name.
    const char* const quote = "a b;c'd.";
    const char* const glob = "[x]+.";
#else
    const char* const quote = "a b;c\"d'.";
    const char* const glob = "[x]*?.";
#endif
    Touch(std::string(quote) + "1.obj");
    Touch("\xc3\xa9t\xc3\xa9$HOME%x%.2.obj");
    Touch(std::string(glob) + "3.obj");
    EXPECT_EQ(Scan((std::string(quote) + "#").c_str(), ".obj", 0).count, 1);
    EXPECT_EQ(Scan("\xc3\xa9t\xc3\xa9$HOME%x%.#", ".obj", 0).count, 1);
    EXPECT_EQ(Scan((std::string(glob) + "#").c_str(), ".obj", 0).count, 1);
}

TEST_F(FolderTest, HundredThousandFilesAreListedOnce)
{
    // 100,000 names that are not frames and a gap of 99,998 frames between
    // the two that are: the listing answers at once, with no file check per
    // frame of the gap. Under Windows (Wine in the tests) creating a file
    // costs some fifty times more, so there the folder holds 10,000.
#if defined(_WIN32)
    const int noise = 10000;
#else
    const int noise = 100000;
#endif
    for (int i = 0; i < noise; ++i)
        Touch("noise_" + std::to_string(i), "");
    Touch("File.1.obj");
    Touch("File.99999.obj");
    const SequenceScan s = Scan("File.#", ".obj", 50000);
    EXPECT_EQ(s.count, 2);
    EXPECT_EQ(s.before, 1);
    EXPECT_EQ(s.after, 99999);
}

// ---------------------------------------------------------------------------
// Which file an evaluation loads.

TEST_F(FolderTest, DefaultsLookAtNoFileAndKeepTheOffset)
{
    NodeSettings s = Plain("File.#", 4, 0.25f, 0.5f);
    FramePick p;
    char path[kCachePathSize], partner[kCachePathSize];
    ASSERT_EQ(ResolveFrame(s, Dir().c_str(), p, path, partner), kResolveLoad);
    EXPECT_EQ(p.frame, 4);
    EXPECT_FLOAT_EQ(p.offset, 0.125f);
    EXPECT_EQ(p.motionFactor, 1.0f);
    EXPECT_FALSE(p.blank || p.missing || p.substituted || p.hasPartner);
    EXPECT_EQ(std::string(path), Dir() + kCachePathSeparator + "File.4.obj");
    // Interpolate without files: the partner is named, loading decides.
    s.subFrameMode = kSubFrameInterpolate;
    ASSERT_EQ(ResolveFrame(s, Dir().c_str(), p, path, partner), kResolveLoad);
    EXPECT_TRUE(p.hasPartner);
    EXPECT_EQ(p.partner, 5);
    EXPECT_FLOAT_EQ(p.partnerWeight, 0.125f);
    s.fraction = -0.25f;
    ASSERT_EQ(ResolveFrame(s, Dir().c_str(), p, path, partner), kResolveLoad);
    EXPECT_EQ(p.partner, 3);
    EXPECT_FLOAT_EQ(p.partnerWeight, 0.125f);
}

TEST_F(FolderTest, MissingFramePolicies)
{
    Touch("File.3.obj");
    Touch("File.7.obj");
    NodeSettings s = Plain("File.#", 5, 0.25f, 1.0f);
    FramePick p;
    char path[kCachePathSize], partner[kCachePathSize];

    s.missingFrames = kMissingBlank;
    EXPECT_EQ(ResolveFrame(s, Dir().c_str(), p, path, partner), kResolveMissingBlank);
    EXPECT_TRUE(p.blank && p.missing);
    EXPECT_NE(std::string(path).find("File.5.obj"), std::string::npos);

    s.missingFrames = kMissingHoldPrevious;
    ASSERT_EQ(ResolveFrame(s, Dir().c_str(), p, path, partner), kResolveLoad);
    EXPECT_EQ(p.frame, 3);
    EXPECT_EQ(p.offset, 0.0f);
    EXPECT_EQ(p.motionFactor, 0.0f);
    EXPECT_NE(std::string(path).find("File.3.obj"), std::string::npos);

    // Nearest: 5 is as far from 3 as from 7, the earlier wins; moved by
    // strength x (5.25 - 3).
    s.missingFrames = kMissingNearest;
    ASSERT_EQ(ResolveFrame(s, Dir().c_str(), p, path, partner), kResolveLoad);
    EXPECT_EQ(p.frame, 3);
    EXPECT_FLOAT_EQ(p.offset, 2.25f);
    EXPECT_EQ(p.motionFactor, 1.0f);
    s.frame = 6;
    s.fraction = -0.25f;
    ASSERT_EQ(ResolveFrame(s, Dir().c_str(), p, path, partner), kResolveLoad);
    EXPECT_EQ(p.frame, 7);
    EXPECT_FLOAT_EQ(p.offset, -1.25f);

    // Hold Previous before the first file: blank; Nearest far outside.
    s.missingFrames = kMissingHoldPrevious;
    s.frame = 1;
    EXPECT_EQ(ResolveFrame(s, Dir().c_str(), p, path, partner), kResolveMissingBlank);
    s.missingFrames = kMissingNearest;
    s.frame = INT32_MAX;
    s.fraction = 0.0f;
    ASSERT_EQ(ResolveFrame(s, Dir().c_str(), p, path, partner), kResolveLoad);
    EXPECT_EQ(p.frame, 7);
    s.frame = INT32_MIN;
    ASSERT_EQ(ResolveFrame(s, Dir().c_str(), p, path, partner), kResolveLoad);
    EXPECT_EQ(p.frame, 3);

    // A file that exists is used as it is, whatever the policy.
    s.frame = 7;
    ASSERT_EQ(ResolveFrame(s, Dir().c_str(), p, path, partner), kResolveLoad);
    EXPECT_FALSE(p.missing || p.substituted);

    // Error (and values without a field): no look at the folder.
    s.frame = 5;
    for (int16_t policy : {static_cast<int16_t>(kMissingError), static_cast<int16_t>(9)})
    {
        s.missingFrames = policy;
        ASSERT_EQ(ResolveFrame(s, Dir().c_str(), p, path, partner), kResolveLoad);
        EXPECT_EQ(p.frame, 5);
        EXPECT_FALSE(p.missing);
    }
}

TEST_F(FolderTest, RangeThenMissingFramesThenPartner)
{
    for (int f = 1; f <= 4; ++f)
        Touch("File." + std::to_string(f) + ".obj");
    NodeSettings s = Plain("File.#", 0, 0.5f, 1.0f);
    s.rangeActive = true;
    s.rangeStart = 1;
    s.rangeEnd = 4;
    FramePick p;
    char path[kCachePathSize], partner[kCachePathSize];

    // Held before the range: no offset, no partner.
    s.subFrameMode = kSubFrameInterpolate;
    ASSERT_EQ(ResolveFrame(s, Dir().c_str(), p, path, partner), kResolveLoad);
    EXPECT_EQ(p.frame, 1);
    EXPECT_EQ(p.offset, 0.0f);
    EXPECT_FALSE(p.hasPartner);

    // Ping-Pong backwards: frame 5 is file 3 moving back, partner 6 -> 2.
    s.afterRange = kRangePingPong;
    s.frame = 5;
    s.fraction = 0.5f;
    ASSERT_EQ(ResolveFrame(s, Dir().c_str(), p, path, partner), kResolveLoad);
    EXPECT_EQ(p.frame, 3);
    EXPECT_EQ(p.motionFactor, -1.0f);
    EXPECT_FLOAT_EQ(p.offset, -0.5f);
    ASSERT_TRUE(p.hasPartner);
    EXPECT_EQ(p.partner, 2);

    // Loop: the partner of the end is the start.
    s.afterRange = kRangeLoop;
    s.frame = 4;
    ASSERT_EQ(ResolveFrame(s, Dir().c_str(), p, path, partner), kResolveLoad);
    EXPECT_EQ(p.partner, 1);

    // Blank outside.
    s.afterRange = kRangeBlank;
    s.frame = 5;
    EXPECT_EQ(ResolveFrame(s, Dir().c_str(), p, path, partner), kResolveBlank);

    // Nearest looks inside the range only.
    Touch("File.9.obj");
    fs::remove(dir_ / "File.4.obj");
    s.afterRange = kRangeHold;
    s.missingFrames = kMissingNearest;
    s.frame = 8;
    s.fraction = 0.0f;
    ASSERT_EQ(ResolveFrame(s, Dir().c_str(), p, path, partner), kResolveLoad);
    EXPECT_EQ(p.frame, 3);

    // Start after end: refused.
    s.rangeStart = 5;
    EXPECT_EQ(ResolveFrame(s, Dir().c_str(), p, path, partner), kResolveRangeReversed);
    // A range of one frame at the int limits.
    s.rangeStart = s.rangeEnd = INT32_MAX;
    s.missingFrames = kMissingError;
    s.frame = INT32_MIN;
    ASSERT_EQ(ResolveFrame(s, Dir().c_str(), p, path, partner), kResolveLoad);
    EXPECT_EQ(p.frame, INT32_MAX);
}

// ---------------------------------------------------------------------------
// KorvaneCreate -f.

TEST_F(FolderTest, CreateFromFileReadsNameFormatRangeAndContents)
{
    Touch("shot_010_v2.0003.obj", kTriangleObj);
    Touch("shot_010_v2.0001.obj", kTriangleObj);
    Touch("shot_010_v2.0012.obj", kTriangleObj);
    Touch("shot_010_v2.12.obj", kTriangleObj); // not padded: another sequence
    CacheFileFacts f;
    char message[1024];
    ASSERT_TRUE(AnalyzeCacheFile((Dir() + "/shot_010_v2.0003.obj").c_str(), f, message, sizeof(message))) << message;
    EXPECT_STREQ(f.pattern, "shot_010_v2.####");
    EXPECT_EQ(f.format, 2);
    EXPECT_EQ(f.frame, 3);
    EXPECT_EQ(f.first, 1);
    EXPECT_EQ(f.last, 12);
    EXPECT_EQ(fs::path(fs::u8path(f.directory)), fs::absolute(dir_));
    EXPECT_FALSE(f.normals || f.motions || f.uvws || f.colors);

    // Several digit runs: the last one before the extension is the frame.
    Touch("v2_take3_17.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nvt 0 0\nf 1/1/1 2/1/1 3/1/1\n");
    ASSERT_TRUE(AnalyzeCacheFile((Dir() + "/v2_take3_17.obj").c_str(), f, message, sizeof(message))) << message;
    EXPECT_STREQ(f.pattern, "v2_take3_##");
    EXPECT_EQ(f.first, 17);
    EXPECT_EQ(f.last, 17);
    EXPECT_TRUE(f.normals && f.uvws);

    // .drs2: ascii or binary from the header, whatever the name says.
    Touch("a.1.drs2", "Drosil2-File-Format 2000 asc format\namountofvertices 3\n0 0 0\n1 0 0\n0 1 0\n"
                      "amountofpolygonvalues 4\n3 0 1 2\namountofvertexcolors 0\namountofmotionvectors 3\n"
                      "1 0 0\n1 0 0\n1 0 0\namountofnormalvectors 0\n");
    ASSERT_TRUE(AnalyzeCacheFile((Dir() + "/a.1.drs2").c_str(), f, message, sizeof(message))) << message;
    EXPECT_EQ(f.format, 1);
    EXPECT_TRUE(f.motions);
    EXPECT_FALSE(f.colors || f.normals);
}

TEST_F(FolderTest, CreateFromFileOfEveryBinaryFormat)
{
    // One moving triangle, written in every binary format.
    ZNQGeometry m;
    m.Init(0);
    m._vertPos = m._MemAllocArr<float3>(3, false);
    m._polyNumVert = m._MemAllocArr<uint8_t>(1, false);
    m._polyVInd = m._MemAllocArr<int32_t>(3, false);
    m._vertMotion = m._MemAllocArr<float3>(3, false);
    ASSERT_TRUE(m._vertPos && m._polyNumVert && m._polyVInd && m._vertMotion);
    m._numVert = 3;
    m._vertPos[0] = {0, 0, 0};
    m._vertPos[1] = {1, 0, 0};
    m._vertPos[2] = {0, 1, 0};
    m._numPoly = 1;
    m._polyNumVert[0] = 3;
    m._polyVInd[0] = 0;
    m._polyVInd[1] = 1;
    m._polyVInd[2] = 2;
    for (int i = 0; i < 3; ++i)
        m._vertMotion[i] = {0, 0, 1};

    Drs2WriteOptions bin;
    bin.binary = true;
    ASSERT_TRUE(WriteDrs2(m, (Dir() + "/d_0005.drs2").c_str(), bin));
    ASSERT_TRUE(WriteDrs2(m, (Dir() + "/d_0006.drs2").c_str(), bin));
    ASSERT_TRUE(WriteZnq(m, (Dir() + "/z.42.znq").c_str()));
    RealFlowBinWriteOptions rf;
    ASSERT_EQ(WriteRealFlowBin(m, (Dir() + "/Fluid00007.bin").c_str(), rf), 0);
    m.Clear();

    CacheFileFacts f;
    char message[1024];
    ASSERT_TRUE(AnalyzeCacheFile((Dir() + "/d_0006.drs2").c_str(), f, message, sizeof(message))) << message;
    EXPECT_EQ(f.format, 0);
    EXPECT_STREQ(f.pattern, "d_####");
    EXPECT_EQ(f.first, 5);
    EXPECT_EQ(f.last, 6);
    EXPECT_TRUE(f.motions);
    ASSERT_TRUE(AnalyzeCacheFile((Dir() + "/z.42.znq").c_str(), f, message, sizeof(message))) << message;
    EXPECT_EQ(f.format, 4);
    EXPECT_STREQ(f.pattern, "z.##");
    EXPECT_TRUE(f.motions);
    ASSERT_TRUE(AnalyzeCacheFile((Dir() + "/Fluid00007.bin").c_str(), f, message, sizeof(message))) << message;
    EXPECT_EQ(f.format, 3);
    EXPECT_STREQ(f.pattern, "Fluid#####");
    EXPECT_EQ(f.frame, 7);
}

TEST_F(FolderTest, CreateFromFileRefusesWhatTheNodeCannotName)
{
    Touch("nodigits.obj", kTriangleObj);
    Touch("take#2_0001.obj", kTriangleObj);
    Touch("big.99999999999.obj", kTriangleObj);
    Touch("f.0001.txt", kTriangleObj);
    Touch("f.0001.drs2", "not a drs2 file at all\n");
    Touch("bad.0001.znq", "garbage, not a chunk file");
    Touch("f.0001", kTriangleObj);
    struct Case
    {
        std::string path;
        const char* says;
    } cases[] = {
        {Dir() + "/absent.0001.obj", "no such file"},
        {Dir(), "no such file"},
        {"", "missing path"},
        {Dir() + "/nodigits.obj", "has no frame number"},
        {Dir() + "/take#2_0001.obj", "holds '#'"},
        {Dir() + "/big.99999999999.obj", "larger than 2147483647"},
        {Dir() + "/f.0001.txt", "no cache file extension"},
        {Dir() + "/f.0001", "no cache file extension"},
        {Dir() + "/f.0001.drs2", "does not start with a .drs2 header"},
        {Dir() + "/bad.0001.znq", "cannot load"},
        {Dir() + "/a\nb.0001.obj", "control character"},
    };
    for (const Case& c : cases)
    {
        CacheFileFacts f;
        char message[1024];
        SCOPED_TRACE(c.path);
        EXPECT_FALSE(AnalyzeCacheFile(c.path.c_str(), f, message, sizeof(message)));
        EXPECT_EQ(std::string(message).rfind("[KorvaneCreate] ", 0), 0u) << message;
        EXPECT_NE(std::string(message).find(c.says), std::string::npos) << message;
    }
    // A folder whose text the Path input would read as a variable.
    fs::create_directories(dir_ / "$shot");
    const fs::path odd = dir_ / "$shot" / "f.0001.obj";
    std::ofstream(odd) << kTriangleObj;
    CacheFileFacts f;
    char message[1024];
    EXPECT_FALSE(AnalyzeCacheFile(odd.u8string().c_str(), f, message, sizeof(message)));
    EXPECT_NE(std::string(message).find("environment variable"), std::string::npos) << message;
}
